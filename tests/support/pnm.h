// Reading reference images (binary PNM, PNG) for pixel comparisons.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testutil {

struct Rgb {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;  // RGB triplets, top line first
};

// Reads a P4, P5 or P6 file into RGB; width 0 when it cannot be read.
Rgb ReadPnm(const std::string& path);
// Reads a PNG file (any colour type, through libpng) into RGB.
Rgb ReadPng(const std::string& path);
// ReadPng or ReadPnm by the file name's extension.
Rgb ReadImage(const std::string& path);

// Largest channel difference between two rasters, or -1 when their sizes
// differ.  `firstDifference` receives "x,y: (r,g,b) vs (r,g,b)" of the first
// pixel that differs by more than `tolerance`.
int MaxDifference(const Rgb& a, const Rgb& b, int tolerance, std::string* firstDifference);

}  // namespace testutil
