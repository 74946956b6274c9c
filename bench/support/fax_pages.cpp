#include "support/fax_pages.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

namespace bench {

namespace {

constexpr int32_t kWidth = 1728, kHeight = 2200;

struct Canvas {
  BilevelPage page;
  uint32_t rowBytes;
  Canvas(int32_t width, int32_t height) : rowBytes((width + 7) / 8) {
    page.width = width;
    page.height = height;
    page.rows.assign(static_cast<size_t>(rowBytes) * height, 0);
  }
  void Set(int32_t x, int32_t y) {
    if (x < 0 || y < 0 || x >= page.width || y >= page.height) return;
    page.rows[static_cast<size_t>(y) * rowBytes + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
  }
  void Box(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    for (int32_t y = y0; y < y1; ++y)
      for (int32_t x = x0; x < x1; ++x) Set(x, y);
  }
  // A stroke of the given thickness from (x0, y0) to (x1, y1).
  void Stroke(double x0, double y0, double x1, double y1, int32_t thick) {
    const int steps = static_cast<int>(std::max(std::fabs(x1 - x0), std::fabs(y1 - y0))) * 2 + 1;
    for (int i = 0; i <= steps; ++i) {
      const double t = static_cast<double>(i) / steps;
      const int32_t x = static_cast<int32_t>(std::lround(x0 + (x1 - x0) * t));
      const int32_t y = static_cast<int32_t>(std::lround(y0 + (y1 - y0) * t));
      Box(x, y, x + thick, y + thick);
    }
  }
};

// A glyph: two to four strokes on a 10 x 15 cell, like the letters of a
// bitmap font (stems, bars, diagonals, a bowl).
struct Glyph {
  double strokes[4][4];
  int count;
};

std::vector<Glyph> MakeGlyphs(std::mt19937& random) {
  std::vector<Glyph> glyphs(72);
  auto coordinate = [&](int limit) { return static_cast<double>(random() % (limit + 1)); };
  for (Glyph& g : glyphs) {
    g.count = 2 + static_cast<int>(random() % 3);
    for (int s = 0; s < g.count; ++s) {
      switch (random() % 4) {
        case 0: {  // stem
          double x = coordinate(9);
          g.strokes[s][0] = x, g.strokes[s][1] = 0, g.strokes[s][2] = x, g.strokes[s][3] = 14;
          break;
        }
        case 1: {  // bar
          double y = coordinate(14);
          g.strokes[s][0] = 0, g.strokes[s][1] = y, g.strokes[s][2] = 9, g.strokes[s][3] = y;
          break;
        }
        default:  // diagonal or curve piece
          for (double& v : g.strokes[s]) v = coordinate(9);
          g.strokes[s][1] = coordinate(14);
          g.strokes[s][3] = coordinate(14);
      }
    }
  }
  return glyphs;
}

void DrawGlyph(Canvas& c, const Glyph& g, int32_t x, int32_t y, double scale, int32_t thick) {
  for (int s = 0; s < g.count; ++s)
    c.Stroke(x + g.strokes[s][0] * scale, y + g.strokes[s][1] * scale,
             x + g.strokes[s][2] * scale, y + g.strokes[s][3] * scale, thick);
}

// One line of words from `x0`, no further than `x1`; returns the end.
int32_t DrawWords(Canvas& c, std::mt19937& random, const std::vector<Glyph>& glyphs,
                  int32_t x0, int32_t x1, int32_t y, double scale, int32_t thick) {
  const int32_t pitch = static_cast<int32_t>(14 * scale);
  int32_t x = x0;
  for (;;) {
    const int32_t letters = 2 + static_cast<int32_t>(random() % 8);
    if (x + letters * pitch > x1) break;
    for (int32_t i = 0; i < letters; ++i, x += pitch)
      DrawGlyph(c, glyphs[random() % glyphs.size()], x, y, scale, thick);
    x += pitch;  // the space
  }
  return x;
}

}  // namespace

BilevelPage TextPage() {
  std::mt19937 random(1728);
  const std::vector<Glyph> glyphs = MakeGlyphs(random);
  Canvas c(kWidth, kHeight);
  const int32_t left = 110, right = kWidth - 110;
  // Letterhead: large bold type and a heavy rule.
  DrawWords(c, random, glyphs, left, 1100, 90, 3.0, 5);
  c.Box(left, 160, right, 168);
  DrawWords(c, random, glyphs, left, 900, 185, 1.0, 2);
  DrawWords(c, random, glyphs, 1150, right, 185, 1.0, 2);
  // Body text: paragraphs with ragged right edges.
  int32_t y = 290;
  for (int paragraph = 0; paragraph < 6; ++paragraph) {
    const int lines = 4 + static_cast<int>(random() % 5);
    for (int line = 0; line < lines && y < 1500; ++line, y += 34) {
      const int32_t end = line == lines - 1 ? left + 400 + static_cast<int32_t>(random() % 800)
                                            : right - static_cast<int32_t>(random() % 60);
      DrawWords(c, random, glyphs, line == 0 ? left + 60 : left, end, y, 1.0, 2);
    }
    y += 34;
  }
  // A table: ruled cells with short entries.
  const int32_t top = std::max(y, 1560), columns[] = {left, 520, 900, 1250, right};
  for (int row = 0; row <= 8; ++row) c.Box(left, top + row * 40, right, top + row * 40 + 2);
  for (int32_t x : columns) c.Box(x, top, x + 2, top + 8 * 40 + 2);
  for (int row = 0; row < 8; ++row)
    for (int col = 0; col < 4; ++col)
      DrawWords(c, random, glyphs, columns[col] + 12, columns[col + 1] - 12, top + row * 40 + 12,
                0.8, 2);
  // Signature: a loose scrawl, then the typed name.
  const int32_t sy = std::min(top + 8 * 40 + 60, kHeight - 120);
  double px = left, py = sy + 20;
  for (int i = 0; i < 40; ++i) {
    const double nx = px + 6 + static_cast<double>(random() % 14);
    const double ny = sy + static_cast<double>(random() % 40);
    c.Stroke(px, py, nx, ny, 2);
    px = nx, py = ny;
  }
  DrawWords(c, random, glyphs, left, left + 500, sy + 60, 1.0, 2);
  return c.page;
}

BilevelPage DensePage() {
  Canvas c(kWidth, kHeight);
  // A smooth picture, dithered with an 8 x 8 Bayer matrix.
  int bayer[8][8];
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      int v = 0;
      for (int bit = 0; bit < 3; ++bit) {
        const int xb = (x >> bit) & 1, yb = (y >> bit) & 1;
        v |= ((xb ^ yb) << (5 - 2 * bit)) | (yb << (4 - 2 * bit));
      }
      bayer[y][x] = v;
    }
  for (int32_t y = 0; y < kHeight; ++y)
    for (int32_t x = 0; x < kWidth; ++x) {
      const double fx = x / 1728.0, fy = y / 2200.0;
      double level = 0.5 + 0.25 * std::sin(fx * 9 + fy * 4) + 0.2 * std::cos(fy * 13 - fx * 3) +
                     0.05 * std::sin((fx - 0.5) * (fy - 0.4) * 80);
      level = std::clamp(level, 0.0, 1.0);
      if (level * 64 > bayer[y % 8][x % 8] + 0.5) c.Set(x, y);
    }
  return c.page;
}

}  // namespace bench
