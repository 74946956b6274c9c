#include "support/support.h"

#include <fcntl.h>
#include <png.h>
#include <sys/file.h>
#include <unistd.h>
#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "imaging/core/core.h"
#include "imaging/core/runlist.h"

namespace testutil {

using namespace quillon;

uint32_t Raster::Rgb(size_t pixel) const {
  const uint8_t* p = &pixels[pixel * channels];
  return channels == 1 ? p[0] * 0x010101u : (p[0] << 16) | (p[1] << 8) | p[2];
}

namespace {

Raster ReadPng(const std::string& path) {
  Raster out;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return out;
  image.format = PNG_FORMAT_RGB;
  out.pixels.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, out.pixels.data(), 0, nullptr)) return Raster();
  out.width = static_cast<int>(image.width);
  out.height = static_cast<int>(image.height);
  out.channels = 3;
  out.result = 0;
  return out;
}

}  // namespace

Raster ReadImage(const std::string& path) {
  if (path.ends_with(".png")) return ReadPng(path);
  const Bytes b = ReadFileBytes(path);
  std::istringstream header(std::string(b.begin(), b.begin() + static_cast<long>(std::min<size_t>(b.size(), 64))));
  std::string magic;
  int w = 0, h = 0, maxval = 255;
  header >> magic >> w >> h;
  if (magic != "P4") header >> maxval;
  if (!header || (magic != "P4" && magic != "P5" && magic != "P6") || maxval != 255) return Raster{};
  const size_t at = static_cast<size_t>(header.tellg()) + 1;  // one white space after the header
  const int channels = magic == "P6" ? 3 : 1;
  const size_t stride = magic == "P4" ? (static_cast<size_t>(w) + 7) / 8 : static_cast<size_t>(w) * channels;
  if (b.size() < at + stride * h) return Raster{};
  Raster out{0, w, h, channels, 0, {}};
  for (size_t y = 0; y < static_cast<size_t>(h); ++y)
    for (size_t x = 0; x < static_cast<size_t>(w) * channels; ++x)
      out.pixels.push_back(magic != "P4" ? b[at + y * stride + x] : (b[at + y * stride + x / 8] >> (7 - x % 8)) & 1 ? 0 : 255);
  return out;
}

Raster PageRaster(const PageRecord& page) {
  const testpix::Image values = testpix::ReadPage(page);
  const int bpp = page.bitsPerPixel;
  bool gray = bpp == 1;
  if (bpp == 8 && page.palette) {
    gray = true;
    for (int i = 0; i < 768 && gray; ++i) gray = page.palette[i] == i / 3;
  }
  if (gray || bpp >= 16) {
    Raster r = testpix::ToRaster(values);
    if (bpp == 8) r.channels = 1;
    return r;
  }
  // Palette pages: Blue, Green, Red entries.
  Raster out{0, page.width, page.height, 3, 0, {}};
  for (uint32_t index : values.px) {
    const uint8_t* c = page.palette ? page.palette + 3 * index : nullptr;
    out.pixels.insert(out.pixels.end(), {c ? c[2] : uint8_t(index), c ? c[1] : uint8_t(index), c ? c[0] : uint8_t(index)});
  }
  return out;
}

Raster DecodedRaster(PageRecord* page, int32_t flags) {
  Page decoded;
  Raster out;
  out.result = Decode(page, decoded, flags);
  if (out.result == kOk) out = PageRaster(decoded.record);
  return out;
}

Raster FileRaster(const std::string& path, int32_t index, int32_t flags) {
  OpenedFile f(path);
  Page page;
  Raster out;
  out.result = f.Extract(page.get(), index);
  return out.result == kOk ? DecodedRaster(page.get(), flags) : out;
}

Raster DecodeBytes(const std::vector<uint8_t>& data, int compression, int32_t flags, void* decoderContext) {
  PageRecord source = CodedPage(data, compression, 0, 0, 24);
  source.decoderContext = decoderContext;
  return DecodedRaster(&source, flags);
}

Raster Widened565(Raster raster) {
  for (size_t i = 0; i < raster.pixels.size(); ++i) {
    const int bits = raster.channels == 3 && i % 3 == 1 ? 6 : 5;
    const unsigned top = raster.pixels[i] >> (8 - bits);
    raster.pixels[i] = static_cast<uint8_t>(top << (8 - bits) | top >> (2 * bits - 8));
  }
  return raster;
}

::testing::AssertionResult SamePixels(const Raster& expected, const Raster& actual, int tolerance) {
  if (expected.width != actual.width || expected.height != actual.height || !expected.channels ||
      !actual.channels)
    return ::testing::AssertionFailure() << "size " << actual.width << "x" << actual.height << ", expected "
                                         << expected.width << "x" << expected.height;
  for (size_t i = 0; i < static_cast<size_t>(expected.width) * expected.height; ++i) {
    const uint32_t a = expected.Rgb(i), b = actual.Rgb(i);
    for (int shift : {0, 8, 16})
      if (std::abs(static_cast<int>((a >> shift) & 255) - static_cast<int>((b >> shift) & 255)) > tolerance)
        return ::testing::AssertionFailure() << "pixel " << i % expected.width << "," << i / expected.width
                                             << " is " << std::hex << b << ", expected " << a;
  }
  return ::testing::AssertionSuccess();
}

double Psnr(const Raster& a, const Raster& b) {
  if (a.width != b.width || a.height != b.height || a.pixels.empty() || b.pixels.empty()) return 0;
  double sum = 0;
  const size_t n = static_cast<size_t>(a.width) * a.height;
  for (size_t i = 0; i < n; ++i)
    for (int shift : {0, 8, 16}) {
      const double d = static_cast<double>((a.Rgb(i) >> shift) & 255) - ((b.Rgb(i) >> shift) & 255);
      sum += d * d;
    }
  return sum == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * 3 * static_cast<double>(n) / sum);
}

::testing::AssertionResult MatchesDigest(const std::string& name, const Raster& raster,
                                         const std::string& peer) {
  uint32_t crc = crc32(0, nullptr, 0);
  const uint32_t shape[3] = {static_cast<uint32_t>(raster.width), static_cast<uint32_t>(raster.height),
                             static_cast<uint32_t>(raster.channels)};
  crc = crc32(crc, reinterpret_cast<const Bytef*>(shape), sizeof shape);
  crc = crc32(crc, raster.pixels.data(), static_cast<uInt>(raster.pixels.size()));
  char digest[16];
  std::snprintf(digest, sizeof digest, "%08x", crc);
  const std::string path = DataPath("digests.txt");
  const bool update = std::getenv("QUILLON_UPDATE_DIGESTS") != nullptr;
  // Test programs run side by side: the file is read and rewritten under a lock.
  const int lock = open(path.c_str(), O_RDWR | O_CREAT, 0644);
  flock(lock, LOCK_EX);
  std::ifstream in(path);
  std::vector<std::string> lines;
  std::string recorded;
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with(name + " ")) {
      std::istringstream(line.substr(name.size())) >> recorded;
      if (update) line = name + " " + digest + " " + peer;
    }
    lines.push_back(line);
  }
  if (update && recorded.empty()) lines.push_back(name + " " + digest + " " + peer);
  if (update && recorded != digest) {
    std::ofstream out(path, std::ios::trunc);
    for (const std::string& line : lines) out << line << "\n";
    std::printf("digest %s: %s -> %s\n", name.c_str(), recorded.empty() ? "(new)" : recorded.c_str(), digest);
  }
  flock(lock, LOCK_UN);
  close(lock);
  if (update || recorded == digest) return ::testing::AssertionSuccess();
  // The picture as it is now, for a look.
  const std::string shot = std::filesystem::temp_directory_path() / ("quillon-digest-" + name + ".pnm");
  std::ofstream out(shot, std::ios::binary);
  out << (raster.channels == 1 ? "P5\n" : "P6\n") << raster.width << " " << raster.height << "\n255\n";
  out.write(reinterpret_cast<const char*>(raster.pixels.data()), static_cast<std::streamsize>(raster.pixels.size()));
  return ::testing::AssertionFailure() << "digest of " << name << " is " << digest << ", recorded "
                                       << (recorded.empty() ? "nothing" : recorded) << " (picture in " << shot
                                       << "; QUILLON_UPDATE_DIGESTS=1 records it)";
}

}  // namespace testutil
