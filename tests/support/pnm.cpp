#include "support/pnm.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "support/test_util.h"

namespace testutil {

namespace {

// Reads the next header number, skipping white space and comments.
bool Number(const std::vector<uint8_t>& b, size_t& at, int* value) {
  while (at < b.size()) {
    if (b[at] == '#') {
      while (at < b.size() && b[at] != '\n') ++at;
    } else if (b[at] == ' ' || b[at] == '\n' || b[at] == '\r' || b[at] == '\t') {
      ++at;
    } else {
      break;
    }
  }
  if (at >= b.size() || b[at] < '0' || b[at] > '9') return false;
  int v = 0;
  while (at < b.size() && b[at] >= '0' && b[at] <= '9') v = v * 10 + (b[at++] - '0');
  *value = v;
  return true;
}

}  // namespace

Rgb ReadPnm(const std::string& path) {
  Rgb out;
  std::vector<uint8_t> b = ReadFileBytes(path);
  if (b.size() < 3 || b[0] != 'P' || (b[1] != '4' && b[1] != '5' && b[1] != '6')) return out;
  size_t at = 2;
  int w, h, maxval = 255;
  if (!Number(b, at, &w) || !Number(b, at, &h)) return out;
  if (b[1] != '4' && (!Number(b, at, &maxval) || maxval != 255)) return out;
  ++at;  // the single white space after the header
  if (b[1] == '4') {
    const size_t stride = (static_cast<size_t>(w) + 7) / 8;
    if (b.size() < at + stride * h) return out;
    out.width = w;
    out.height = h;
    out.pixels.resize(static_cast<size_t>(w) * h * 3);
    for (size_t y = 0; y < static_cast<size_t>(h); ++y)
      for (size_t x = 0; x < static_cast<size_t>(w); ++x) {
        bool black = (b[at + y * stride + x / 8] >> (7 - x % 8)) & 1;
        std::fill_n(&out.pixels[3 * (y * w + x)], 3, black ? 0 : 255);
      }
    return out;
  }
  const int channels = b[1] == '6' ? 3 : 1;
  const size_t need = static_cast<size_t>(w) * h * channels;
  if (b.size() < at + need) return out;
  out.width = w;
  out.height = h;
  out.pixels.resize(static_cast<size_t>(w) * h * 3);
  for (size_t i = 0; i < static_cast<size_t>(w) * h; ++i)
    for (int c = 0; c < 3; ++c)
      out.pixels[3 * i + c] = b[at + i * channels + (channels == 3 ? c : 0)];
  return out;
}

Rgb ReadPng(const std::string& path) {
  Rgb out;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return out;
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
    png_image_free(&image);
    return out;
  }
  out.width = static_cast<int>(image.width);
  out.height = static_cast<int>(image.height);
  out.pixels = std::move(pixels);
  return out;
}

Rgb ReadImage(const std::string& path) {
  if (path.size() > 4 && path.compare(path.size() - 4, 4, ".png") == 0) return ReadPng(path);
  return ReadPnm(path);
}

int MaxDifference(const Rgb& a, const Rgb& b, int tolerance, std::string* firstDifference) {
  if (a.width != b.width || a.height != b.height) return -1;
  int worst = 0;
  bool reported = false;
  for (size_t i = 0; i < a.pixels.size(); ++i) {
    int d = std::abs(a.pixels[i] - b.pixels[i]);
    if (d > worst) worst = d;
    if (d > tolerance && !reported && firstDifference) {
      size_t p = i / 3;
      char text[128];
      std::snprintf(text, sizeof text, "%zu,%zu: (%d,%d,%d) vs (%d,%d,%d)", p % a.width,
                    p / a.width, a.pixels[3 * p], a.pixels[3 * p + 1], a.pixels[3 * p + 2],
                    b.pixels[3 * p], b.pixels[3 * p + 1], b.pixels[3 * p + 2]);
      *firstDifference = text;
      reported = true;
    }
  }
  return worst;
}

}  // namespace testutil
