#include "support/photo_picture.h"

#include <algorithm>
#include <cmath>

namespace bench {

std::vector<uint8_t> PhotoPicture(int width, int height) {
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
  uint32_t seed = 12345;
  auto next = [&] {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<int>(seed >> 24);
  };
  const int cell = 6;
  const int gw = width / cell + 2, gh = height / cell + 2;
  std::vector<int> grid(static_cast<size_t>(gw) * gh);
  for (int& g : grid) g = next() - 128;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int gx = x / cell, gy = y / cell, fx = x % cell, fy = y % cell;
      const int a = grid[gy * gw + gx], b = grid[gy * gw + gx + 1];
      const int c = grid[(gy + 1) * gw + gx], d = grid[(gy + 1) * gw + gx + 1];
      const int texture = ((a * (cell - fx) + b * fx) * (cell - fy) +
                           (c * (cell - fx) + d * fx) * fy) / (cell * cell) / 3;
      const int grain = (next() & 15) - 8;
      const bool edge = ((x / 150) + (y / 110)) % 5 == 0;
      const double u = x / 2048.0, v = y / 1536.0;
      int r = static_cast<int>(128 + 80 * std::sin(6 * u + 2 * v)) + texture + grain;
      int g = static_cast<int>(110 + 70 * std::cos(5 * v - 3 * u)) + texture + grain;
      int bl = static_cast<int>(100 + 60 * std::sin(9 * u * v + 1)) + texture / 2 + grain;
      if (edge) r = 255 - r, bl = 255 - bl;
      uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
      p[0] = static_cast<uint8_t>(std::clamp(r, 0, 255));
      p[1] = static_cast<uint8_t>(std::clamp(g, 0, 255));
      p[2] = static_cast<uint8_t>(std::clamp(bl, 0, 255));
    }
  }
  return rgb;
}

}  // namespace bench
