// Transforms, depth conversions and renders of decoded pages, with every
// request field fuzzed: whatever the request, nothing outside the page is
// read and nothing outside the output buffer is written.
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "imaging/core/core.h"
#include "imaging/pixels/pixels.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::LimitMemory();
  fuzz::Input in{data, size};
  static constexpr int kDepths[5] = {1, 4, 8, 16, 24};
  const uint8_t mode = in.Byte();
  const int bpp = kDepths[mode % 5];
  const int32_t width = 1 + static_cast<int32_t>(in.Word() % 300);
  const int32_t height = 1 + static_cast<int32_t>(in.Word() % 300);

  // An uncompressed page of the fuzzed depth, filled from the input.
  quillon::PageRecord packed{};
  packed.width = width;
  packed.height = height;
  packed.bitsPerPixel = static_cast<int8_t>(bpp);
  packed.bytesPerLine = quillon::BytesPerLine(width, bpp);
  packed.dataSize = packed.bytesPerLine * static_cast<uint32_t>(height);
  packed.data = static_cast<uint8_t*>(quillon::Allocate(packed.dataSize));
  packed.dataOwnership = quillon::kOwnedByPage;
  packed.layoutFlags = quillon::kLayoutTopDown;
  if (!packed.data) return 0;
  for (uint32_t i = 0; i < packed.dataSize; ++i) packed.data[i] = in.size ? in.data[i % in.size] : 0;
  if (bpp == 4 || bpp == 8) packed.palette = quillon::MakeGrayPalette(8);
  quillon::PageRecord page{};
  page.compression = static_cast<int8_t>(bpp == 1 ? quillon::kRunLists : quillon::kUncompressed);
  if (quillon::ConvertPage(&packed, &page, 0) != quillon::kOk) {
    quillon::FreePage(&packed);
    return 0;
  }
  quillon::FreePage(&packed);

  // A few transforms and conversions in a row.
  static constexpr int kCodes[9] = {1, 2, 4, 5, 6, 7, 9, 10, 11};
  for (int k = 0; k < 3; ++k) {
    int code = kCodes[in.Byte() % 9];
    int target = kDepths[in.Byte() % 5];
    quillon::TransformPage(&page, code, code == 2 ? target : 90, in.Byte() & 2);
  }
  // Renders with hostile requests into a guarded buffer.
  for (int k = 0; k < 4; ++k) {
    quillon::RenderRequest r{};
    r.srcX = static_cast<int16_t>(in.Word());
    r.srcY = static_cast<int16_t>(in.Word());
    r.xStep = static_cast<int32_t>(in.Word() % 4096);
    r.yStep = static_cast<int32_t>(in.Word() % 4096);
    r.dstWidth = static_cast<int32_t>(in.Word() % 400);
    r.dstHeight = static_cast<int32_t>(in.Word() % 400);
    r.rotation = (in.Byte() % 5) * 90;
    r.dstBitsPerPixel = (in.Byte() & 1) ? 4 : 1;
    r.dstBytesPerLine = static_cast<uint32_t>(in.Word() % 1300);
    std::vector<uint8_t> out(static_cast<size_t>(r.dstBytesPerLine) * (r.dstHeight > 0 ? r.dstHeight : 0) + 1);
    r.dstBits = out.size() > 1 ? out.data() : nullptr;
    quillon::RenderPage(&page, &r, in.Byte() & 1);
  }
  quillon::CropRectangle crop{static_cast<int32_t>(in.Byte()), static_cast<int32_t>(in.Byte()),
                              static_cast<int32_t>(in.Byte()), static_cast<int32_t>(in.Byte())};
  quillon::CropPage(&page, crop);
  quillon::PageRecord resized{};
  if (quillon::ResizePage(&page, &resized, 1 + in.Byte(), 1 + in.Byte()) == quillon::kOk) {
    fuzz::Touch(resized);
    quillon::FreePage(&resized);
  }
  fuzz::Touch(page);
  quillon::FreePage(&page);
  return 0;
}
