// The clipboard: one block of one format (the packed DIB is what the viewer
// copies), readable by tests and written as a BMP file with
// --clipboard-dump.
#include <cstdio>
#include <cstring>

#include "platform/gdi/gdi_internal.h"

namespace ce {

using namespace internal;

namespace {

struct ClipState {
  std::mutex lock;
  bool open = false;
  HWND owner = nullptr;
  UINT format = 0;
  HLOCAL data = nullptr;
};

ClipState& Clip() {
  static ClipState* s = new ClipState;
  return *s;
}

// Bytes from the start of a packed DIB to its pixels, 0 when the header
// does not fit the block.
size_t PixelOffset(const uint8_t* dib, size_t size) {
  if (size < sizeof(BITMAPINFOHEADER)) return 0;
  BITMAPINFOHEADER h;
  std::memcpy(&h, dib, sizeof(h));
  if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biSize > size) return 0;
  size_t table = 0;
  if (h.biBitCount <= 8) {
    size_t colors = h.biClrUsed ? h.biClrUsed : (size_t{1} << h.biBitCount);
    if (colors > 256) return 0;
    table = colors * 4;
  } else if (h.biCompression == BI_BITFIELDS) {
    table = 12;
  }
  size_t offset = h.biSize + table;
  return offset <= size ? offset : 0;
}

void Dump(const uint8_t* dib, size_t size, const std::string& path) {
  size_t offset = PixelOffset(dib, size);
  if (!offset || path.empty()) return;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  uint8_t header[14] = {'B', 'M'};
  uint32_t total = static_cast<uint32_t>(14 + size), off = static_cast<uint32_t>(14 + offset);
  std::memcpy(header + 2, &total, 4);
  std::memcpy(header + 10, &off, 4);
  std::fwrite(header, 1, sizeof(header), f);
  std::fwrite(dib, 1, size, f);
  std::fclose(f);
}

}  // namespace

namespace internal {
void ResetClipboard() {
  std::lock_guard<std::mutex> lk(Clip().lock);
  LocalFree(Clip().data);
  Clip() .data = nullptr;
  Clip().format = 0;
  Clip().open = false;
}
}  // namespace internal

BOOL OpenClipboard(HWND owner) {
  std::lock_guard<std::mutex> lk(Clip().lock);
  Clip().open = true;
  Clip().owner = owner;
  return TRUE;
}

BOOL CloseClipboard() {
  std::lock_guard<std::mutex> lk(Clip().lock);
  bool was = Clip().open;
  Clip().open = false;
  return was ? TRUE : FALSE;
}

BOOL EmptyClipboard() {
  std::lock_guard<std::mutex> lk(Clip().lock);
  if (!Clip().open) return FALSE;
  LocalFree(Clip().data);
  Clip().data = nullptr;
  Clip().format = 0;
  return TRUE;
}

HANDLE SetClipboardData(UINT format, HANDLE data) {
  std::string dump;
  {
    std::lock_guard<std::mutex> lk(Sys().lock);
    dump = Sys().config.clipboardDump;
  }
  std::lock_guard<std::mutex> lk(Clip().lock);
  if (!Clip().open || !data) return nullptr;
  if (Clip().data != data) LocalFree(Clip().data);
  Clip().data = data;
  Clip().format = format;
  size_t size = LocalSize(data);
  LogEvent("clipboard format=" + std::to_string(format) + " bytes=" + std::to_string(size));
  if (format == CF_DIB) Dump(static_cast<const uint8_t*>(data), size, dump);
  return data;
}

HANDLE GetClipboardData(UINT format) {
  std::lock_guard<std::mutex> lk(Clip().lock);
  return Clip().format == format ? Clip().data : nullptr;
}

BOOL IsClipboardFormatAvailable(UINT format) {
  std::lock_guard<std::mutex> lk(Clip().lock);
  return Clip().data && Clip().format == format;
}

std::vector<uint8_t> ClipboardDib() {
  std::lock_guard<std::mutex> lk(Clip().lock);
  if (Clip().format != CF_DIB || !Clip().data) return {};
  const auto* p = static_cast<const uint8_t*>(Clip().data);
  return std::vector<uint8_t>(p, p + LocalSize(Clip().data));
}

}  // namespace ce
