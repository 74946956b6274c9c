#include "support/docreaders_fax.h"

#include <tiffio.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <random>

#include "imaging/core/core.h"
#include "imaging/core/runlist.h"

namespace testutil {

namespace {

// A TIFF file held in memory, for libtiff's client I/O.
struct MemoryFile {
  std::vector<uint8_t> bytes;
  uint64_t position = 0;
};

tmsize_t MemRead(thandle_t h, void* buffer, tmsize_t size) {
  auto* m = static_cast<MemoryFile*>(h);
  uint64_t n = std::min<uint64_t>(static_cast<uint64_t>(size),
                                  m->position < m->bytes.size() ? m->bytes.size() - m->position : 0);
  std::memcpy(buffer, m->bytes.data() + m->position, n);
  m->position += n;
  return static_cast<tmsize_t>(n);
}
tmsize_t MemWrite(thandle_t h, void* buffer, tmsize_t size) {
  auto* m = static_cast<MemoryFile*>(h);
  uint64_t end = m->position + static_cast<uint64_t>(size);
  if (m->bytes.size() < end) m->bytes.resize(end);
  std::memcpy(m->bytes.data() + m->position, buffer, static_cast<size_t>(size));
  m->position = end;
  return size;
}
toff_t MemSeek(thandle_t h, toff_t offset, int whence) {
  auto* m = static_cast<MemoryFile*>(h);
  uint64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? m->position : m->bytes.size();
  m->position = base + offset;
  return m->position;
}
int MemClose(thandle_t) { return 0; }
toff_t MemSize(thandle_t h) { return static_cast<MemoryFile*>(h)->bytes.size(); }
int MemMap(thandle_t, void**, toff_t*) { return 0; }
void MemUnmap(thandle_t, void*, toff_t) {}

TIFF* Open(MemoryFile& m, const char* mode) {
  m.position = 0;
  return TIFFClientOpen("memory", mode, &m, MemRead, MemWrite, MemSeek, MemClose, MemSize,
                        MemMap, MemUnmap);
}

void SetFaxTags(TIFF* t, int width, int height, FaxCode code, uint32_t rowsPerStrip,
                BitOrder order) {
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width));
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height));
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(t, TIFFTAG_FILLORDER,
               order == BitOrder::kLsbFirst ? FILLORDER_LSB2MSB : FILLORDER_MSB2LSB);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
  if (code == FaxCode::kG4) {
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
  } else {
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX3);
    TIFFSetField(t, TIFFTAG_GROUP3OPTIONS, 0);
  }
}

}  // namespace

Bilevel TestDrawing(int width, int height, uint32_t seed) {
  Bilevel p(width, height);
  std::mt19937 random(seed);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      bool frame = x < 3 || y < 2 || x >= width - 3 || y >= height - 2;
      bool diagonal = std::abs((x * height) / std::max(width, 1) - y) < 2;
      bool box = x > width / 4 && x < width / 2 && y > height / 3 && y < height / 2;
      bool stripes = (x / 5 + y / 7) % 4 == 0 && y > height / 2;
      bool speckle = random() % 97 == 0;
      p.at(x, y) = (frame || diagonal || box || stripes || speckle) ? 1 : 0;
    }
  return p;
}

Bilevel Noise(int width, int height, uint32_t seed) {
  Bilevel p(width, height);
  std::mt19937 random(seed);
  for (uint8_t& v : p.ink) v = random() & 1;
  return p;
}

std::vector<uint8_t> PackRows(const Bilevel& picture, bool inkIsOne, uint32_t stride) {
  std::vector<uint8_t> out(static_cast<size_t>(stride) * picture.height, 0);
  for (int y = 0; y < picture.height; ++y)
    for (int x = 0; x < picture.width; ++x)
      if ((picture.at(x, y) != 0) == inkIsOne)
        out[static_cast<size_t>(y) * stride + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
  return out;
}

std::string FirstDifference(const Bilevel& a, const Bilevel& b) {
  if (a.width != b.width || a.height != b.height)
    return "size " + std::to_string(a.width) + "x" + std::to_string(a.height) + " vs " +
           std::to_string(b.width) + "x" + std::to_string(b.height);
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < a.width; ++x)
      if (a.at(x, y) != b.at(x, y))
        return "pixel (" + std::to_string(x) + ", " + std::to_string(y) + ")";
  return "";
}

std::vector<std::vector<uint8_t>> EncodeFax(const Bilevel& picture, FaxCode code,
                                            uint32_t rowsPerStrip, BitOrder order) {
  MemoryFile m;
  TIFF* t = Open(m, "w");
  SetFaxTags(t, picture.width, picture.height, code, rowsPerStrip, order);
  const uint32_t rowBytes = static_cast<uint32_t>((picture.width + 7) / 8);
  std::vector<uint8_t> rows = PackRows(picture, true, rowBytes);
  for (int y = 0; y < picture.height; ++y)
    TIFFWriteScanline(t, rows.data() + static_cast<size_t>(y) * rowBytes,
                      static_cast<uint32_t>(y), 0);
  TIFFClose(t);

  std::vector<std::vector<uint8_t>> strips;
  t = Open(m, "r");
  for (uint32_t s = 0; s < TIFFNumberOfStrips(t); ++s) {
    uint64_t* counts = nullptr;
    TIFFGetField(t, TIFFTAG_STRIPBYTECOUNTS, &counts);
    std::vector<uint8_t> strip(counts[s]);
    TIFFReadRawStrip(t, s, strip.data(), static_cast<tmsize_t>(strip.size()));
    strips.push_back(std::move(strip));
  }
  TIFFClose(t);
  return strips;
}

Bilevel PeerDecode(const quillon::PageRecord& page) {
  std::vector<std::vector<uint8_t>> strips;
  if (page.stripCount >= 1 && page.stripOffsets) {
    for (int s = 0; s < page.stripCount; ++s)
      strips.emplace_back(page.data + page.stripOffsets[s],
                          page.data + page.stripOffsets[s] + page.stripByteCounts[s]);
  } else {
    const uint8_t* begin = page.data + page.dataOffset;
    strips.emplace_back(begin, begin + page.dataSize);
  }
  const uint32_t perStrip = page.stripCount >= 1 ? static_cast<uint32_t>(page.rowsPerStrip)
                                                 : static_cast<uint32_t>(page.height);
  const FaxCode code = page.compression == quillon::kG4 ? FaxCode::kG4 : FaxCode::kG3OneD;
  const BitOrder order = page.fillOrderReversed ? BitOrder::kLsbFirst : BitOrder::kMsbFirst;

  MemoryFile m;
  TIFF* t = Open(m, "w");
  SetFaxTags(t, page.width, page.height, code, perStrip, order);
  for (size_t s = 0; s < strips.size(); ++s)
    TIFFWriteRawStrip(t, static_cast<uint32_t>(s), strips[s].data(),
                      static_cast<tmsize_t>(strips[s].size()));
  TIFFClose(t);

  Bilevel out(page.width, page.height);
  t = Open(m, "r");
  std::vector<uint8_t> row(static_cast<size_t>(TIFFScanlineSize(t)));
  for (int y = 0; y < page.height; ++y) {
    if (TIFFReadScanline(t, row.data(), static_cast<uint32_t>(y), 0) < 0) {
      TIFFClose(t);
      return Bilevel();
    }
    for (int x = 0; x < page.width; ++x) out.at(x, y) = (row[x / 8] >> (7 - x % 8)) & 1;
  }
  TIFFClose(t);
  return out;
}

Bilevel LibraryDecode(quillon::PageRecord& page, int32_t* result) {
  quillon::PageRecord out{};
  out.compression = quillon::kRunLists;
  int32_t r = quillon::ConvertPage(&page, &out, 0);
  if (result) *result = r;
  if (r != quillon::kOk) return Bilevel();
  Bilevel picture(out.width, out.height);
  std::vector<uint8_t> row(quillon::RowBytes(out.width, 1) + 1);
  uint8_t** lines = quillon::LinePointers(out);
  for (int y = 0; y < out.height; ++y) {
    quillon::RunsToRow(lines[y], out.width, row.data());
    for (int x = 0; x < out.width; ++x)
      picture.at(x, y) = ((row[x / 8] >> (7 - x % 8)) & 1) ? 0 : 1;
  }
  quillon::FreePage(&out);
  return picture;
}

Bilevel ReadPbm(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int width = 0, height = 0;
  in >> magic >> width >> height;
  in.get();
  if (magic != "P4" || width <= 0 || height <= 0) return Bilevel();
  const size_t rowBytes = static_cast<size_t>((width + 7) / 8);
  std::vector<uint8_t> rows(rowBytes * height);
  in.read(reinterpret_cast<char*>(rows.data()), static_cast<std::streamsize>(rows.size()));
  if (!in) return Bilevel();
  Bilevel out(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) out.at(x, y) = (rows[y * rowBytes + x / 8] >> (7 - x % 8)) & 1;
  return out;
}

OpenedBytes::OpenedBytes(const std::vector<uint8_t>& bytes, const std::string& name)
    : opened(dir.Write(name, bytes)) {}

uint32_t TouchPage(const quillon::PageRecord& page, const quillon::ImageFile& file) {
  uint32_t sum = 0;
  if (page.dataOwnership == quillon::kOwnedByView) {
    EXPECT_EQ(page.data, file.view);
    EXPECT_LE(uint64_t{page.dataOffset} + page.dataSize, static_cast<uint64_t>(file.fileSize));
  }
  if (page.data) {
    for (uint32_t i = 0; i < page.dataSize; ++i) sum += page.data[page.dataOffset + i];
    for (int s = 0; page.stripOffsets && s < page.stripCount; ++s) {
      EXPECT_LE(uint64_t{page.stripOffsets[s]} + page.stripByteCounts[s], page.dataSize);
      for (uint32_t i = 0; i < page.stripByteCounts[s]; ++i)
        sum += page.data[page.stripOffsets[s] + i];
    }
  }
  if (page.palette)
    for (int i = 0; i < 768; ++i) sum += page.palette[i];
  return sum;
}

}  // namespace testutil
