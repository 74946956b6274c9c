// Image lists: strips of same-sized pictures with an optional mask colour,
// drawn with the masked pixels left alone; and the shell's small system
// icons (folder, file, picture file) with an index per path.
#include <png.h>

#include <algorithm>
#include <map>

#include "platform/gdi/gdi_internal.h"
#include "platform/kernel/resource_internal.h"

namespace ce {

using namespace internal;

namespace {

struct ImageList {
  int cx = 0;
  int cy = 0;
  bool masked = false;
  std::vector<uint32_t> rgb;  // images side by side, cx * cy each
  std::vector<uint8_t> clear;  // 1 = transparent
  int count = 0;
  bool system = false;
};

struct ImageLists {
  std::mutex lock;
  uint32_t next = 1;
  std::map<uint32_t, ImageList> lists;
  HIMAGELIST systemList = nullptr;
};

ImageLists& Lists() {
  static ImageLists* s = new ImageLists;
  return *s;
}

HIMAGELIST AddList(ImageList list) {
  std::lock_guard<std::mutex> lk(Lists().lock);
  uint32_t id = Lists().next++;
  Lists().lists[id] = std::move(list);
  return MakeHandle<HIMAGELIST>(id);
}

// Appends the images of a picture (RGB rows) to a list.
int AppendPicture(ImageList& l, int width, int height, const std::vector<uint32_t>& rgb,
                  const std::vector<uint8_t>& clear) {
  if (l.cx <= 0 || width < l.cx || height < l.cy) return -1;
  int first = l.count;
  int n = width / l.cx;
  for (int k = 0; k < n; ++k) {
    for (int y = 0; y < l.cy; ++y) {
      for (int x = 0; x < l.cx; ++x) {
        size_t at = static_cast<size_t>(y) * width + k * l.cx + x;
        l.rgb.push_back(rgb[at]);
        l.clear.push_back(clear.empty() ? 0 : clear[at]);
      }
    }
  }
  l.count += n;
  return first;
}

std::vector<uint8_t> MaskOf(const std::vector<uint32_t>& rgb, COLORREF mask) {
  std::vector<uint8_t> clear(rgb.size(), 0);
  if (mask == CLR_NONE) return clear;
  uint32_t key = rgb.empty() ? 0 : rgb[0];
  if (mask != CLR_DEFAULT) key = (GetRValue(mask) << 16) | (GetGValue(mask) << 8) | GetBValue(mask);
  for (size_t i = 0; i < rgb.size(); ++i) clear[i] = rgb[i] == key;
  return clear;
}

// A bitmap's pixels as 0xRRGGBB.
bool BitmapPixels(HBITMAP bitmap, int* width, int* height, std::vector<uint32_t>* out) {
  std::lock_guard<std::mutex> lk(Gdi().lock);
  Bitmap* b = FindBitmap(bitmap);
  if (!b) return false;
  Surface s = BitmapSurface(*b);
  *width = b->width;
  *height = b->height;
  out->resize(static_cast<size_t>(b->width) * b->height);
  for (int y = 0; y < b->height; ++y) {
    for (int x = 0; x < b->width; ++x) {
      COLORREF c = RawToColor(s, ReadRaw(s, x, y));
      (*out)[static_cast<size_t>(y) * b->width + x] = (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
    }
  }
  return true;
}

// The shell's small icons, drawn here: folder, file, picture file.
HIMAGELIST SystemList() {
  {
    std::lock_guard<std::mutex> lk(Lists().lock);
    if (Lists().systemList) return Lists().systemList;
  }
  ImageList l;
  l.cx = l.cy = 16;
  l.masked = true;
  int width = 48;
  std::vector<uint32_t> rgb(static_cast<size_t>(width) * 16, 0xFFFFFF);
  std::vector<uint8_t> clear(rgb.size(), 1);
  auto put = [&](int x, int y, uint32_t c) {
    rgb[static_cast<size_t>(y) * width + x] = c;
    clear[static_cast<size_t>(y) * width + x] = 0;
  };
  for (int y = 3; y < 14; ++y) {
    for (int x = 1; x < 15; ++x) {
      bool tab = y < 5 && x > 6;
      if (tab) continue;
      bool edge = x == 1 || x == 14 || y == 3 || y == 13 || (y == 5 && x > 6);
      put(x, y, edge ? 0x806000 : 0xF0D060);
    }
  }
  for (int k = 1; k <= 2; ++k) {
    int ox = k * 16;
    for (int y = 1; y < 15; ++y) {
      for (int x = 3; x < 13; ++x) {
        bool corner = x > 9 && y < 4 && (x - 9) > (y - 1);
        if (corner) continue;
        bool edge = x == 3 || x == 12 || y == 1 || y == 14 || (x > 9 && y == 4) || (x == 9 && y < 4);
        put(ox + x, y, edge ? 0x000000 : 0xFFFFFF);
      }
    }
    if (k == 2) {
      for (int y = 7; y < 12; ++y)
        for (int x = 5; x < 11; ++x) put(ox + x, y, y < 9 ? 0x3080E0 : 0x30A030);
    }
  }
  AppendPicture(l, width, 16, rgb, clear);
  l.system = true;
  HIMAGELIST h = AddList(std::move(l));
  std::lock_guard<std::mutex> lk(Lists().lock);
  if (!Lists().systemList) Lists().systemList = h;
  return Lists().systemList;
}

}  // namespace

namespace internal {
void ResetImageLists() {
  std::lock_guard<std::mutex> lk(Lists().lock);
  Lists().lists.clear();
  Lists().systemList = nullptr;
}
}  // namespace internal

HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int, int) {
  if (cx <= 0 || cy <= 0 || cx > 1024 || cy > 1024) return nullptr;
  ImageList l;
  l.cx = cx;
  l.cy = cy;
  l.masked = (flags & ILC_MASK) != 0;
  return AddList(std::move(l));
}

HIMAGELIST ImageList_LoadImage(HINSTANCE, LPCWSTR name, int cx, int, COLORREF mask, UINT type,
                               UINT) {
  if (type != IMAGE_BITMAP || cx <= 0) return nullptr;
  Picture p;
  if (!LoadPicture("bitmaps", name, &p) || p.width < cx) return nullptr;
  std::vector<uint32_t> rgb(static_cast<size_t>(p.width) * p.height);
  for (size_t i = 0; i < rgb.size(); ++i)
    rgb[i] = (static_cast<uint32_t>(p.rgb[i * 3]) << 16) | (p.rgb[i * 3 + 1] << 8) | p.rgb[i * 3 + 2];
  ImageList l;
  l.cx = cx;
  l.cy = p.height;
  l.masked = mask != CLR_NONE;
  AppendPicture(l, p.width, p.height, rgb, MaskOf(rgb, mask));
  return AddList(std::move(l));
}

int ImageList_AddMasked(HIMAGELIST list, HBITMAP image, COLORREF mask) {
  int w, h;
  std::vector<uint32_t> rgb;
  if (!BitmapPixels(image, &w, &h, &rgb)) return -1;
  std::lock_guard<std::mutex> lk(Lists().lock);
  auto it = Lists().lists.find(HandleId(list));
  if (it == Lists().lists.end() || it->second.system) return -1;
  it->second.masked = true;
  return AppendPicture(it->second, w, h, rgb, MaskOf(rgb, mask));
}

int ImageList_Add(HIMAGELIST list, HBITMAP image, HBITMAP mask) {
  int w, h, mw = 0, mh = 0;
  std::vector<uint32_t> rgb, maskRgb;
  if (!BitmapPixels(image, &w, &h, &rgb)) return -1;
  std::vector<uint8_t> clear;
  if (mask && BitmapPixels(mask, &mw, &mh, &maskRgb) && mw == w && mh == h) {
    clear.resize(maskRgb.size());
    for (size_t i = 0; i < maskRgb.size(); ++i) clear[i] = maskRgb[i] != 0;  // white = transparent
  }
  std::lock_guard<std::mutex> lk(Lists().lock);
  auto it = Lists().lists.find(HandleId(list));
  if (it == Lists().lists.end() || it->second.system) return -1;
  return AppendPicture(it->second, w, h, rgb, clear);
}

BOOL ImageList_Draw(HIMAGELIST list, int index, HDC hdc, int x, int y, UINT) {
  ImageList copy;
  {
    std::lock_guard<std::mutex> lk(Lists().lock);
    auto it = Lists().lists.find(HandleId(list));
    if (it == Lists().lists.end() || index < 0 || index >= it->second.count) return FALSE;
    const ImageList& l = it->second;
    size_t n = static_cast<size_t>(l.cx) * l.cy;
    copy.cx = l.cx;
    copy.cy = l.cy;
    copy.rgb.assign(l.rgb.begin() + static_cast<long>(n * index), l.rgb.begin() + static_cast<long>(n * (index + 1)));
    copy.clear.assign(l.clear.begin() + static_cast<long>(n * index), l.clear.begin() + static_cast<long>(n * (index + 1)));
  }
  std::lock_guard<std::mutex> lk(Gdi().lock);
  Target t;
  if (!ResolveTarget(hdc, &t)) return FALSE;
  std::map<uint32_t, uint32_t> memo;
  for (int j = 0; j < copy.cy; ++j) {
    for (int i = 0; i < copy.cx; ++i) {
      size_t k = static_cast<size_t>(j) * copy.cx + i;
      if (copy.clear[k]) continue;
      int sx = x + i + t.origin.x, sy = y + j + t.origin.y;
      bool inside = false;
      for (const RECT& c : t.clip) inside |= sx >= c.left && sx < c.right && sy >= c.top && sy < c.bottom;
      if (!inside) continue;
      uint32_t rgb = copy.rgb[k];
      auto m = memo.find(rgb);
      uint32_t raw = m != memo.end() ? m->second
                                     : memo[rgb] = ColorToRaw(t.surface, RGB(rgb >> 16, (rgb >> 8) & 255, rgb & 255));
      WriteRaw(t.surface, sx, sy, raw);
    }
  }
  return TRUE;
}

BOOL ImageList_Destroy(HIMAGELIST list) {
  std::lock_guard<std::mutex> lk(Lists().lock);
  auto it = Lists().lists.find(HandleId(list));
  if (it == Lists().lists.end() || it->second.system) return FALSE;
  Lists().lists.erase(it);
  return TRUE;
}

int ImageList_GetImageCount(HIMAGELIST list) {
  std::lock_guard<std::mutex> lk(Lists().lock);
  auto it = Lists().lists.find(HandleId(list));
  return it == Lists().lists.end() ? 0 : it->second.count;
}

BOOL ImageList_GetIconSize(HIMAGELIST list, int* cx, int* cy) {
  std::lock_guard<std::mutex> lk(Lists().lock);
  auto it = Lists().lists.find(HandleId(list));
  if (it == Lists().lists.end()) return FALSE;
  if (cx) *cx = it->second.cx;
  if (cy) *cy = it->second.cy;
  return TRUE;
}

// ---------------------------------------------------------------------------
// Icons (LoadIcon hands out the resource file of the icon's PNG picture)

BOOL DrawIcon(HDC hdc, int x, int y, HICON icon) {
  return DrawIconEx(hdc, x, y, icon, 0, 0, 0, nullptr, DI_NORMAL);
}

BOOL DrawIconEx(HDC hdc, int x, int y, HICON icon, int cx, int cy, UINT, HBRUSH, UINT) {
  const auto* file = reinterpret_cast<const ResourceFile*>(icon);
  if (!file) return FALSE;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, file->data, file->size)) return FALSE;
  image.format = PNG_FORMAT_RGBA;
  if (image.width == 0 || image.height == 0 || image.width > 256 || image.height > 256) {
    png_image_free(&image);
    return FALSE;
  }
  std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) return FALSE;
  int w = static_cast<int>(image.width), h = static_cast<int>(image.height);
  if (cx <= 0) cx = w;
  if (cy <= 0) cy = h;
  cx = std::min(cx, 1024);
  cy = std::min(cy, 1024);
  std::lock_guard<std::mutex> lk(Gdi().lock);
  Target t;
  if (!ResolveTarget(hdc, &t)) return FALSE;
  for (int j = 0; j < cy; ++j) {
    for (int i = 0; i < cx; ++i) {
      const uint8_t* p = &rgba[(static_cast<size_t>(j * h / cy) * w + static_cast<size_t>(i * w / cx)) * 4];
      if (p[3] == 0) continue;
      int sx = x + i + t.origin.x, sy = y + j + t.origin.y;
      bool inside = false;
      for (const RECT& c : t.clip) inside |= sx >= c.left && sx < c.right && sy >= c.top && sy < c.bottom;
      if (!inside) continue;
      // Blended over what is there by the picture's alpha.
      COLORREF under = RawToColor(t.surface, ReadRaw(t.surface, sx, sy));
      auto mix = [&](int a, int b) { return static_cast<BYTE>((a * p[3] + b * (255 - p[3]) + 127) / 255); };
      COLORREF c = RGB(mix(p[0], GetRValue(under)), mix(p[1], GetGValue(under)), mix(p[2], GetBValue(under)));
      WriteRaw(t.surface, sx, sy, ColorToRaw(t.surface, c));
    }
  }
  return TRUE;
}

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init) {
  return init && init->dwSize == sizeof(INITCOMMONCONTROLSEX);
}

uintptr_t SHGetFileInfo(LPCWSTR path, DWORD, SHFILEINFO* info, UINT size, UINT flags) {
  if (!path || !info || size < sizeof(SHFILEINFO) || !(flags & SHGFI_SYSICONINDEX)) return 0;
  std::u16string p = Lower(path);
  int icon = kShellIconFile;
  if (GetFileAttributes(path) == FILE_ATTRIBUTE_DIRECTORY) {
    icon = kShellIconFolder;
  } else {
    static const char16_t* const kPictures[] = {u".tif", u".tiff", u".bmp", u".pcx", u".dcx", u".gif",
                                                u".jpg", u".jpeg", u".tga", u".cal", u".psg", u".ica",
                                                u".awd", u".pdf", u".avi", u".mov", u".fli", u".flc"};
    for (const char16_t* ext : kPictures) {
      std::u16string e = ext;
      if (p.size() > e.size() && p.compare(p.size() - e.size(), e.size(), e) == 0) icon = kShellIconImage;
    }
    size_t dot = p.rfind(u'.');
    if (dot != std::u16string::npos && p.size() - dot == 4 && p.compare(dot, 3, u".fx") == 0)
      icon = kShellIconImage;
  }
  info->iIcon = icon;
  info->hIcon = nullptr;
  info->dwAttributes = 0;
  return reinterpret_cast<uintptr_t>(SystemList());
}

}  // namespace ce
