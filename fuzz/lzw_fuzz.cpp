// LZW decoding in both variants on fuzzed geometry (TIFF: strips and the
// predictor; GIF: code size and interlace live in the data's first bytes).
#include <cstdlib>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "imaging/codecs/codecs.h"
#include "imaging/core/core.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::LimitMemory();
  fuzz::Input in{data, size};
  const uint8_t mode = in.Byte();
  const int32_t width = 1 + static_cast<int32_t>(in.Word() % 1500);
  const int32_t height = 1 + static_cast<int32_t>(in.Word() % 700);
  const bool gif = mode & 1;
  static constexpr int kTiffDepths[4] = {1, 4, 8, 24};
  static constexpr int kGifDepths[4] = {1, 4, 8, 8};
  const int bpp = gif ? kGifDepths[(mode >> 1) & 3] : kTiffDepths[(mode >> 1) & 3];
  quillon::PageRecord source{};
  fuzz::Wrap(&source, in.data, in.size);
  if (!source.data) return 0;
  source.width = width;
  source.height = height;
  source.bitsPerPixel = static_cast<int8_t>(bpp);
  source.compression = static_cast<int8_t>(gif ? quillon::kLzwGif : quillon::kLzwTiff);
  source.layoutFlags = static_cast<int8_t>(quillon::kLayoutTopDown | ((mode & 8) ? quillon::kLayoutPredictor : 0));
  source.bytesPerLine = gif ? quillon::BytesPerLine(width, bpp) : quillon::RowBytes(width, bpp);
  fuzz::SplitIntoStrips(&source, !gif && (mode & 0x10) && in.size >= 4 ? 2 + (mode >> 5) % 3 : 0);
  if (bpp == 4 || bpp == 8) source.palette = quillon::MakeGrayPalette(8);
  quillon::PageRecord decoded{};
  decoded.compression = static_cast<int8_t>(bpp == 1 ? quillon::kRunLists : quillon::kUncompressed);
  const int32_t flags = (mode & 0x80) ? quillon::kFlagKeepPartial : 0;
  if (quillon::ConvertPage(&source, &decoded, flags) == quillon::kOk) {
    fuzz::Touch(decoded);
    if (source.compression != quillon::kBmpRle && source.compression != quillon::kLzwGif)
      fuzz::CheckDecodePaths(&source, decoded, flags);
    quillon::PageRecord coded{};
    coded.compression = source.compression;
    if (quillon::ConvertPage(&decoded, &coded, 0) == quillon::kOk) quillon::FreePage(&coded);
    quillon::FreePage(&decoded);
  }
  quillon::FreePage(&source);
  // The vector builds of the fix-up of differenced colour rows against the
  // portable one, on the data as a row.
  const std::vector<uint8_t> row(data, data + (size < 3000 ? size : 3000) / 3 * 3);
  std::vector<uint8_t> portable = row;
  quillon::UndoDifferencingToBgr(portable.data(), static_cast<uint32_t>(portable.size()), quillon::RowsBuild::kPortable);
  for (quillon::RowsBuild build : {quillon::RowsBuild::kSse2, quillon::RowsBuild::kSsse3}) {
    std::vector<uint8_t> fixed = row;
    quillon::UndoDifferencingToBgr(fixed.data(), static_cast<uint32_t>(fixed.size()), build);
    if (fixed != portable) std::abort();
  }
  return 0;
}
