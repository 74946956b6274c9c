// Copying a rectangle of the view to the clipboard as a packed
// device-independent bitmap: the header, the masks or colours of the
// page's depth, then the region rendered at 100 %, bottom line first.
#include <cstring>

#include "imaging/pixels/palettes.h"
#include "imaging/pixels/pixels.h"
#include "viewer/app/main_window.h"
#include "viewer/app/state.h"
#include "viewer/app/view.h"

namespace zelmo {

using namespace ce;

namespace {

// Room the handheld set aside for header and colours.
constexpr uint64_t kBlockExtra = 1068;

uint32_t TableBytes(int depth) {
  switch (depth) {
    case 1: return 2 * 4;
    case 4: return 16 * 4;
    case 8: return 256 * 4;
    case 16: return 3 * 4;
    default: return 0;
  }
}

}  // namespace

std::vector<uint8_t> MakeClipboardBlock(const quillon::PageRecord& page, const PageRegion& region, int rotation) {
  const int depth = page.bitsPerPixel;
  if (depth != 1 && depth != 4 && depth != 8 && depth != 16 && depth != 24) return {};
  if (region.width < 1 || region.height < 1) return {};
  const uint32_t stride = quillon::BytesPerLine(region.width, depth);
  const uint64_t size = quillon::SizeSum(quillon::SizeProduct(stride, static_cast<uint32_t>(region.height)), kBlockExtra);
  if (stride == 0 || size > quillon::AllocationLimit()) return {};
  std::vector<uint8_t> block(size, 0);
  BITMAPINFOHEADER h{};
  h.biSize = sizeof(h);
  h.biWidth = region.width;
  h.biHeight = region.height;
  h.biPlanes = 1;
  h.biBitCount = static_cast<WORD>(depth);
  h.biCompression = depth == 16 ? BI_BITFIELDS : BI_RGB;
  h.biSizeImage = stride * static_cast<uint32_t>(region.height);
  std::memcpy(block.data(), &h, sizeof(h));
  uint8_t* table = block.data() + sizeof(h);
  if (depth == 16) {
    const uint32_t masks[3] = {0xF800, 0x07E0, 0x001F};
    std::memcpy(table, masks, sizeof(masks));
  } else if (depth == 1) {
    const uint8_t colours[8] = {0, 0, 0, 0, 255, 255, 255, 0};
    std::memcpy(table, colours, sizeof(colours));
  } else if (depth == 4 || depth == 8) {
    const uint8_t* palette = page.palette ? page.palette
                             : depth == 4 ? quillon::kGrayRamp4.data()
                                          : quillon::kGrayRamp8.data();
    for (int i = 0; i < (1 << depth); ++i) std::memcpy(table + 4 * i, palette + 3 * i, 3);
  }
  quillon::RenderRequest request{};
  request.srcX = region.x;
  request.srcY = region.y;
  request.xStep = request.yStep = quillon::kUnitStep;
  request.dstWidth = region.width;
  request.dstHeight = region.height;
  request.dstBytesPerLine = stride;
  request.rotation = static_cast<uint32_t>(rotation);
  request.dstBits = table + TableBytes(depth);
  request.dstBitsPerPixel = 1;
  if (quillon::RenderPage(&page, &request, 0) != quillon::kOk) return {};
  return block;
}

void CopyRectangleToClipboard(HWND hwnd, const RECT& rect) {
  PageRegion region;
  const WindowRect r{rect.left, rect.top - gView.areaTop, rect.right, rect.bottom - gView.areaTop};
  if (!ImageLoaded() || !RegionUnder(r, CurrentFrame(), CurrentPosition(), &region)) return;
  std::vector<uint8_t> block = MakeClipboardBlock(gView.page, region, DisplayedRotation());
  if (block.empty()) return;
  HLOCAL handle = LocalAlloc(LHND, block.size());
  if (!handle) return;
  std::memcpy(LocalLock(handle), block.data(), block.size());
  LocalUnlock(handle);
  if (!OpenClipboard(hwnd)) {
    LocalFree(handle);
    return;
  }
  EmptyClipboard();
  if (!SetClipboardData(CF_DIB, handle)) LocalFree(handle);
  CloseClipboard();
}

}  // namespace zelmo
