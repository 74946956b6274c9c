// Writing rasters as PNG (libpng) and as binary PNM.
#include <png.h>

#include <cstdio>
#include <memory>

#include "tools/quillon/pages.h"

namespace quillon_tool {

namespace {

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

bool EndsWith(const std::string& s, const std::string& tail) {
  if (s.size() < tail.size()) return false;
  for (size_t i = 0; i < tail.size(); ++i) {
    char a = s[s.size() - tail.size() + i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (a != tail[i]) return false;
  }
  return true;
}

// Gray level of pixel i (RGB rasters by luminance).
uint8_t GrayAt(const Raster& r, size_t i) {
  if (r.channels == 1) return r.pixels[i];
  const uint8_t* p = &r.pixels[3 * i];
  return static_cast<uint8_t>((p[0] * 299 + p[1] * 587 + p[2] * 114 + 500) / 1000);
}

std::string WritePng(const Raster& r, FILE* out) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return "out of memory";
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return "PNG encoder failed";
  }
  png_init_io(png, out);
  const int bitDepth = r.bilevel ? 1 : 8;
  const int colour = r.channels == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY;
  png_set_IHDR(png, info, static_cast<png_uint_32>(r.width), static_cast<png_uint_32>(r.height),
               bitDepth, colour, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  const size_t w = static_cast<size_t>(r.width);
  std::vector<uint8_t> row(r.bilevel ? (w + 7) / 8 : w * r.channels);
  for (int32_t y = 0; y < r.height; ++y) {
    const uint8_t* src = r.pixels.data() + static_cast<size_t>(y) * w * r.channels;
    if (r.bilevel) {
      std::fill(row.begin(), row.end(), 0);
      for (size_t x = 0; x < w; ++x)
        if (src[x]) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    } else {
      std::copy(src, src + row.size(), row.begin());
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return "";
}

std::string WritePnm(const Raster& r, FILE* out, char kind) {
  const size_t w = static_cast<size_t>(r.width), h = static_cast<size_t>(r.height);
  std::fprintf(out, "P%c\n%d %d\n", kind, r.width, r.height);
  if (kind != '4') std::fprintf(out, "255\n");
  std::vector<uint8_t> row;
  for (size_t y = 0; y < h; ++y) {
    row.clear();
    for (size_t x = 0; x < w; ++x) {
      size_t i = y * w + x;
      switch (kind) {
        case '6':
          if (r.channels == 3) row.insert(row.end(), &r.pixels[3 * i], &r.pixels[3 * i] + 3);
          else row.insert(row.end(), 3, r.pixels[i]);
          break;
        case '5': row.push_back(GrayAt(r, i)); break;
        case '4':  // 1 = black in a bitmap
          if (x % 8 == 0) row.push_back(0);
          if (GrayAt(r, i) < 128) row.back() |= static_cast<uint8_t>(0x80 >> (x % 8));
          break;
      }
    }
    if (std::fwrite(row.data(), 1, row.size(), out) != row.size()) return "write failed";
  }
  return "";
}

}  // namespace

std::string WriteRaster(const Raster& raster, const std::string& path) {
  char kind;
  if (EndsWith(path, ".png")) kind = 'p';
  else if (EndsWith(path, ".ppm")) kind = '6';
  else if (EndsWith(path, ".pgm")) kind = '5';
  else if (EndsWith(path, ".pbm")) kind = '4';
  else return "unknown output type (use .png, .ppm, .pgm or .pbm)";
  FilePtr out(std::fopen(path.c_str(), "wb"));
  if (!out) return "cannot create the file";
  std::string error = kind == 'p' ? WritePng(raster, out.get()) : WritePnm(raster, out.get(), kind);
  if (error.empty() && std::fflush(out.get()) != 0) error = "write failed";
  return error;
}

}  // namespace quillon_tool
