#include "support/pnm.h"

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
  if (b.size() < 3 || b[0] != 'P' || (b[1] != '5' && b[1] != '6')) return out;
  size_t at = 2;
  int w, h, maxval;
  if (!Number(b, at, &w) || !Number(b, at, &h) || !Number(b, at, &maxval) || maxval != 255)
    return out;
  ++at;  // the single white space after the header
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
