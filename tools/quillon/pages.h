// Opening files and loading pages in display form for the tool's commands.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/core/core.h"

namespace quillon_tool {

// An open image file, closed with the object.
class File {
 public:
  explicit File(const std::string& name);
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  int32_t result() const { return result_; }
  quillon::ImageFile* get() { return &file_; }

 private:
  quillon::ImageFile file_{};
  int32_t result_;
};

// A page record released with the object.
struct OwnedPage {
  quillon::PageRecord record{};
  OwnedPage() = default;
  ~OwnedPage() { quillon::FreePage(&record); }
  OwnedPage(const OwnedPage&) = delete;
  OwnedPage& operator=(const OwnedPage&) = delete;
};

// Extracts page `index` (0-based) into `page`.  Animation frames that build
// on the previous one are extracted in order from the first.
int32_t ExtractPageOf(File& file, int32_t index, OwnedPage& page);

// Extracts and decodes page `index`: run lists for bilevel pages, pixels
// for the others.  `flags` are the conversion flags.
int32_t LoadDisplayPage(File& file, int32_t index, int32_t flags,
                        OwnedPage& page);

// An 8-bit raster for output: 1 (gray) or 3 (RGB) channels per pixel.
struct Raster {
  int32_t width = 0;
  int32_t height = 0;
  int channels = 1;
  bool bilevel = false;
  std::vector<uint8_t> pixels;
};

// The page as people see it: palettes expanded, 5-6-5 widened, upright.
// A palette whose used entries are all gray gives a gray raster.
Raster ToRaster(const quillon::PageRecord& page);

// Writes a raster by the file name's extension: .png, .ppm, .pgm, .pbm.
// Returns an empty string or the reason it failed.
std::string WriteRaster(const Raster& raster, const std::string& path);

}  // namespace quillon_tool
