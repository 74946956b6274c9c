#include "tools/quillon/pages.h"

#include <algorithm>
#include <cstring>

#include "imaging/core/files.h"
#include "imaging/core/runlist.h"

namespace quillon_tool {

File::File(const std::string& name) {
  std::u16string path = quillon::Utf8ToUtf16(name);
  result_ = quillon::OpenImageFile(path.c_str(), &file_);
}

File::~File() {
  if (file_.accessMode != quillon::kAccessClosed) quillon::CloseImageFile(&file_);
}

int32_t ExtractPageOf(File& file, int32_t index, OwnedPage& page) {
  quillon::ImageFile* f = file.get();
  if (index < 0 || index >= f->pageCount) return quillon::kErrPageNotFound;
  quillon::FreePage(&page.record);
  page.record = quillon::PageRecord{};
  if (f->fileType == quillon::kFileFli) {
    // Each frame is decoded on top of the previous one, in the same record.
    for (int32_t k = 0; k < index; ++k) {
      int32_t r = quillon::ExtractPage(f, &page.record, k);
      if (r != quillon::kOk) return r;
    }
  }
  return quillon::ExtractPage(f, &page.record, index);
}

int32_t LoadDisplayPage(File& file, int32_t index, int32_t flags, OwnedPage& page) {
  OwnedPage source;
  int32_t r = ExtractPageOf(file, index, source);
  if (r != quillon::kOk) return r;
  quillon::FreePage(&page.record);
  page.record = quillon::PageRecord{};
  page.record.compression = static_cast<int8_t>(
      source.record.bitsPerPixel == 1 ? quillon::kRunLists : quillon::kUncompressed);
  r = quillon::ConvertPage(&source.record, &page.record, flags);
  if (r != quillon::kOk) page.record = quillon::PageRecord{};
  return r;
}

namespace {

// Expands a 16-bit 5-6-5 channel to 8 bits by replicating its high bits.
inline uint8_t Widen5(uint32_t v) { return static_cast<uint8_t>((v << 3) | (v >> 2)); }
inline uint8_t Widen6(uint32_t v) { return static_cast<uint8_t>((v << 2) | (v >> 4)); }

}  // namespace

Raster ToRaster(const quillon::PageRecord& page) {
  Raster out;
  out.width = page.width;
  out.height = page.height;
  const int bpp = page.bitsPerPixel;
  const size_t w = static_cast<size_t>(page.width), h = static_cast<size_t>(page.height);
  if (bpp == 1) {
    out.bilevel = true;
    out.pixels.assign(w * h, 255);
    // Run lists (decoded pages) or packed rows (rendered views).
    const bool runs = page.compression == quillon::kRunLists;
    std::vector<uint8_t> row(quillon::RowBytes(page.width, 1) + 1);
    for (size_t y = 0; y < h; ++y) {
      if (runs)
        quillon::RunsToRow(quillon::LinePointers(page)[y], page.width, row.data());
      else
        std::copy_n(page.data + page.dataOffset + y * page.bytesPerLine, row.size() - 1, row.begin());
      for (size_t x = 0; x < w; ++x)
        out.pixels[y * w + x] = (row[x / 8] >> (7 - x % 8)) & 1 ? 255 : 0;
    }
    return out;
  }
  bool grayPalette = false;
  if ((bpp == 4 || bpp == 8) && page.palette) {
    grayPalette = true;
    for (int i = 0; i < (1 << bpp) && grayPalette; ++i) {
      const uint8_t* e = page.palette + 3 * i;
      grayPalette = e[0] == e[1] && e[1] == e[2];
    }
  }
  out.channels = grayPalette ? 1 : 3;
  out.pixels.assign(w * h * out.channels, 0);
  const bool upsideDown = page.layoutFlags & quillon::kLayoutBottomUp;
  for (size_t y = 0; y < h; ++y) {
    const uint8_t* src = page.data + page.dataOffset +
                         (upsideDown ? h - 1 - y : y) * page.bytesPerLine;
    uint8_t* dst = out.pixels.data() + y * w * out.channels;
    for (size_t x = 0; x < w; ++x) {
      uint8_t rgb[3] = {0, 0, 0};
      switch (bpp) {
        case 4:
        case 8: {
          uint32_t index = bpp == 8 ? src[x] : (x % 2 ? src[x / 2] & 15 : src[x / 2] >> 4);
          const uint8_t* e = page.palette ? page.palette + 3 * index : nullptr;
          if (e) rgb[0] = e[2], rgb[1] = e[1], rgb[2] = e[0];
          else rgb[0] = rgb[1] = rgb[2] = static_cast<uint8_t>(index);
          break;
        }
        case 16: {
          uint32_t v = src[2 * x] | (src[2 * x + 1] << 8);
          rgb[0] = Widen5(v >> 11);
          rgb[1] = Widen6((v >> 5) & 63);
          rgb[2] = Widen5(v & 31);
          break;
        }
        case 24:
          rgb[0] = src[3 * x + 2], rgb[1] = src[3 * x + 1], rgb[2] = src[3 * x];
          break;
      }
      if (out.channels == 1) {
        dst[x] = rgb[0];
      } else {
        std::memcpy(dst + 3 * x, rgb, 3);
      }
    }
  }
  return out;
}

}  // namespace quillon_tool
