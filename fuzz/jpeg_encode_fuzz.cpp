// The JPEG encoder on pages of every depth it codes, any size up to 300 x
// 300, either line order, any line padding and quality: the stream it
// writes decodes again to a page of the same size.
#include <cstdlib>

#include "fuzz/fuzz_support.h"
#include "imaging/codecs/codecs.h"
#include "imaging/core/core.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::LimitMemory();
  fuzz::Input in{data, size};
  static constexpr int kDepths[3] = {8, 16, 24};
  const uint8_t mode = in.Byte();
  const int bpp = kDepths[mode % 3];
  const int32_t quality = (mode >> 2) % 3;
  const bool bottomUp = mode & 0x40;
  const int32_t width = 1 + static_cast<int32_t>(in.Word() % 300);
  const int32_t height = 1 + static_cast<int32_t>(in.Word() % 300);
  const uint32_t padding = in.Byte() % 8;

  quillon::PageRecord page{};
  page.width = width;
  page.height = height;
  page.bitsPerPixel = static_cast<int8_t>(bpp);
  page.bytesPerLine = quillon::RowBytes(width, bpp) + padding;
  page.dataSize = page.bytesPerLine * static_cast<uint32_t>(height);
  page.data = static_cast<uint8_t*>(quillon::Allocate(page.dataSize));
  page.dataOwnership = quillon::kOwnedByPage;
  page.layoutFlags = static_cast<int8_t>(bottomUp ? quillon::kLayoutBottomUp : quillon::kLayoutTopDown);
  if (!page.data) return 0;
  for (uint32_t i = 0; i < page.dataSize; ++i) page.data[i] = in.size ? in.data[i % in.size] : 0;

  quillon::PageRecord coded{};
  coded.compression = quillon::kJpeg;
  const int32_t result = quillon::ConvertPage(&page, &coded, quality);
  quillon::FreePage(&page);
  if (result != quillon::kOk) return 0;
  quillon::PageRecord decoded{};
  decoded.compression = quillon::kUncompressed;
  if (quillon::ConvertPage(&coded, &decoded, 0) != quillon::kOk || decoded.width != width ||
      decoded.height != height)
    std::abort();
  fuzz::Touch(decoded);
  quillon::FreePage(&decoded);
  quillon::FreePage(&coded);
  return 0;
}
