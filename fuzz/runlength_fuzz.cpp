// PackBits, PCX and BMP run-length decoding on fuzzed geometry, and the
// encoders' round trip of whatever decoded.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "imaging/codecs/runlength.h"
#include "imaging/core/core.h"
#include "imaging/core/runlist.h"

namespace {

// Bilevel PackBits run lists against the same data decoded to rows, each
// finished row made into runs, and against the run lists made without the
// vector loop: the same bytes line by line.
void CheckPackBitsRuns(quillon::PageRecord* source, const quillon::PageRecord& decoded, int32_t flags) {
  using namespace quillon;
  PageRecord rows{}, plain{};
  rows.compression = kUncompressed;
  plain.compression = kRunLists;
  SetPackBitsVectorLoops(false);
  const bool ok = ConvertPage(source, &rows, flags) == kOk && ConvertPage(source, &plain, flags) == kOk;
  SetPackBitsVectorLoops(true);
  if (!ok) std::abort();
  std::vector<uint8_t> expected(RunLineWorstCase(decoded.width));
  for (int32_t y = 0; y < decoded.height; ++y) {
    const uint8_t* line = LinePointers(decoded)[y];
    const uint32_t length = RunLineLength(line) + 3;
    if (length != RunLineLength(LinePointers(plain)[y]) + 3 || std::memcmp(line, LinePointers(plain)[y], length) != 0)
      std::abort();
    if (length == 3) continue;  // a row the data did not finish
    const uint32_t n = PackedRowToRuns(decoded.width, expected.data(),
                                       rows.data + static_cast<uint64_t>(y) * rows.bytesPerLine, rows.photometric == 1);
    if (n != length || std::memcmp(line, expected.data(), n) != 0) std::abort();
  }
  FreePage(&rows);
  FreePage(&plain);
}

}  // namespace

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
  if (bpp == 1 && (mode & 0x80)) source.photometric = 1;  // 0 is white: run lists made inverted
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
    if (source.compression == quillon::kPackBits && bpp == 1) CheckPackBitsRuns(&source, decoded, flags);
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
