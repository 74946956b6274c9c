// PackBits, PCX and BMP run-length decoding on fuzzed geometry, and the
// encoders' round trip of whatever decoded.
#include "fuzz/fuzz_support.h"
#include "imaging/core/core.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::LimitMemory();
  fuzz::Input in{data, size};
  const uint8_t mode = in.Byte();
  const int32_t width = 1 + static_cast<int32_t>(in.Word() % 1500);
  const int32_t height = 1 + static_cast<int32_t>(in.Word() % 700);
  static constexpr int kDepths[4] = {1, 4, 8, 24};
  int bpp = kDepths[(mode >> 2) & 3];
  quillon::PageRecord source{};
  fuzz::Wrap(&source, in.data, in.size);
  if (!source.data) return 0;
  source.width = width;
  source.height = height;
  source.planes = 1;
  source.layoutFlags = quillon::kLayoutTopDown;
  switch (mode & 3) {
    case 0:
      source.compression = quillon::kPackBits;
      break;
    case 1:
      source.compression = quillon::kPcxRle;
      if (bpp == 24) source.planes = 3;
      if (bpp == 4 && (mode & 0x10)) source.planes = 4;
      break;
    default:
      source.compression = quillon::kBmpRle;
      if (bpp == 1) bpp = 8;
      break;
  }
  source.bitsPerPixel = static_cast<int8_t>(bpp);
  source.bytesPerLine = source.compression == quillon::kPcxRle
                            ? quillon::RowBytes(width, bpp) + ((mode >> 5) & 1)
                            : quillon::BytesPerLine(width, bpp);
  if (bpp == 4 || bpp == 8) source.palette = quillon::MakeGrayPalette(8);
  quillon::PageRecord decoded{};
  decoded.compression = static_cast<int8_t>(bpp == 1 ? quillon::kRunLists : quillon::kUncompressed);
  const int32_t flags = (mode & 0x40) ? quillon::kFlagKeepPartial : 0;
  if (quillon::ConvertPage(&source, &decoded, flags) == quillon::kOk) {
    fuzz::Touch(decoded);
    if (source.compression != quillon::kBmpRle && source.compression != quillon::kLzwGif)
      fuzz::CheckDecodePaths(&source, decoded, flags);
    quillon::PageRecord coded{};
    coded.compression = source.compression;
    if (quillon::ConvertPage(&decoded, &coded, 0) == quillon::kOk) {
      fuzz::Touch(coded);
      quillon::FreePage(&coded);
    }
    quillon::FreePage(&decoded);
  }
  quillon::FreePage(&source);
  return 0;
}
