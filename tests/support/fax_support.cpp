#include "support/fax_support.h"

#include <tiffio.h>

#include <cstring>
#include <memory>

#include "imaging/core/core.h"
#include "imaging/core/runlist.h"
#include "support/test_util.h"

namespace testutil {

using namespace quillon;

namespace {

struct TiffCloser {
  void operator()(TIFF* t) const { TIFFClose(t); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

void QuietWarnings() {
  static bool done = false;
  if (!done) {
    TIFFSetWarningHandler(nullptr);
    done = true;
  }
}

// libtiff's fax decoder writes coded white as 0 bits; ours paint it as 1.
void InvertRows(std::vector<uint8_t>& rows, int32_t width) {
  const uint32_t rowBytes = RowBytes(width, 1);
  const uint8_t lastMask =
      width % 8 ? static_cast<uint8_t>(0xFF << (8 - width % 8)) : 0xFF;
  for (size_t i = 0; i < rows.size(); ++i) {
    rows[i] = static_cast<uint8_t>(~rows[i]);
    if (i % rowBytes == rowBytes - 1) rows[i] &= lastMask;
  }
}

std::vector<uint8_t> DecodeWithLibtiff(TIFF* tif) {
  uint32_t width = 0, height = 0, rowsPerStrip = 0;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
  if (!TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip) ||
      rowsPerStrip > height)
    rowsPerStrip = height;
  const uint32_t rowBytes = RowBytes(static_cast<int32_t>(width), 1);
  std::vector<uint8_t> rows(static_cast<size_t>(rowBytes) * height);
  const tstrip_t strips = TIFFNumberOfStrips(tif);
  for (tstrip_t s = 0; s < strips; ++s) {
    const uint32_t first = s * rowsPerStrip;
    if (first >= height) break;
    const uint32_t count = std::min(rowsPerStrip, height - first);
    if (TIFFReadEncodedStrip(tif, s, rows.data() + size_t{first} * rowBytes,
                             tmsize_t{count} * rowBytes) < 0)
      return {};
  }
  InvertRows(rows, static_cast<int32_t>(width));
  return rows;
}

}  // namespace

::testing::AssertionResult LoadFaxTiff(const std::string& path, FaxPage& page,
                                       FaxDataHome home) {
  QuietWarnings();
  TiffHandle tif(TIFFOpen(path.c_str(), "r"));
  if (!tif) return ::testing::AssertionFailure() << "cannot open " << path;
  uint32_t width = 0, height = 0, rowsPerStrip = 0, t4 = 0;
  uint16_t compression = 0, fillOrder = 1, photometric = 0;
  TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height);
  TIFFGetField(tif.get(), TIFFTAG_COMPRESSION, &compression);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_FILLORDER, &fillOrder);
  TIFFGetField(tif.get(), TIFFTAG_PHOTOMETRIC, &photometric);
  if (!TIFFGetField(tif.get(), TIFFTAG_ROWSPERSTRIP, &rowsPerStrip))
    rowsPerStrip = height;
  TIFFGetField(tif.get(), TIFFTAG_GROUP3OPTIONS, &t4);

  PageRecord& r = page.record;
  r = PageRecord{};
  r.width = static_cast<int32_t>(width);
  r.height = static_cast<int32_t>(height);
  r.bitsPerPixel = 1;
  r.photometric = 0;  // the comparisons are in coded colours
  r.fillOrderReversed = fillOrder == FILLORDER_LSB2MSB ? 1 : 0;
  r.rowsPerStrip = rowsPerStrip > height ? -1 : static_cast<int32_t>(rowsPerStrip);
  switch (compression) {
    case COMPRESSION_CCITTRLE: r.compression = kModifiedHuffman; break;
    case COMPRESSION_CCITTFAX3: r.compression = (t4 & 1) ? kG3TwoD : kG3OneD; break;
    case COMPRESSION_CCITTFAX4: r.compression = kG4; break;
    default: return ::testing::AssertionFailure() << "not CCITT: " << path;
  }

  const tstrip_t strips = TIFFNumberOfStrips(tif.get());
  std::vector<uint8_t> all;
  std::vector<uint32_t> offsets, counts;
  for (tstrip_t s = 0; s < strips; ++s) {
    const tmsize_t size = TIFFRawStripSize(tif.get(), s);
    if (size < 0) return ::testing::AssertionFailure() << "strip size " << s;
    offsets.push_back(static_cast<uint32_t>(all.size()));
    counts.push_back(static_cast<uint32_t>(size));
    all.resize(all.size() + static_cast<size_t>(size));
    if (size && TIFFReadRawStrip(tif.get(), s, all.data() + offsets.back(), size) != size)
      return ::testing::AssertionFailure() << "raw strip " << s;
  }
  r.stripCount = static_cast<int32_t>(strips);
  r.stripOffsets = AllocateArray<uint32_t>(strips);
  r.stripByteCounts = AllocateArray<uint32_t>(strips);
  std::memcpy(r.stripOffsets, offsets.data(), strips * sizeof(uint32_t));
  std::memcpy(r.stripByteCounts, counts.data(), strips * sizeof(uint32_t));
  r.dataSize = static_cast<uint32_t>(all.size());
  if (home == FaxDataHome::kOwned) {
    r.data = static_cast<uint8_t*>(Allocate(all.size() + 1));
    std::memcpy(r.data, all.data(), all.size());
    r.dataOwnership = kOwnedByPage;
  } else {
    page.view = std::move(all);
    r.data = page.view.data();
    r.dataOwnership = kOwnedByView;
  }
  return ::testing::AssertionSuccess();
}

void SetFaxBytes(FaxPage& page, const std::vector<uint8_t>& bytes,
                 int compression, int32_t width, int32_t height) {
  FreePage(&page.record);
  page.record = PageRecord{};
  page.view = bytes;
  page.record.data = page.view.data();
  page.record.dataSize = static_cast<uint32_t>(bytes.size());
  page.record.dataOwnership = kOwnedByView;
  page.record.width = width;
  page.record.height = height;
  page.record.bitsPerPixel = 1;
  page.record.compression = static_cast<int8_t>(compression);
  page.record.rowsPerStrip = height;
}

std::vector<uint8_t> LibtiffRows(const std::string& path, int directory) {
  QuietWarnings();
  TiffHandle tif(TIFFOpen(path.c_str(), "r"));
  if (!tif || !TIFFSetDirectory(tif.get(), static_cast<tdir_t>(directory))) return {};
  return DecodeWithLibtiff(tif.get());
}

std::vector<uint8_t> PaintRows(const PageRecord& page) {
  const uint32_t rowBytes = RowBytes(page.width, 1);
  std::vector<uint8_t> rows(static_cast<size_t>(rowBytes) * page.height);
  uint8_t** lines = LinePointers(page);
  for (int32_t y = 0; y < page.height; ++y) {
    uint8_t* row = rows.data() + static_cast<size_t>(y) * rowBytes;
    RunsToRow(lines[y], page.width, row);
    if (page.width % 8) row[rowBytes - 1] &= static_cast<uint8_t>(0xFF << (8 - page.width % 8));
  }
  return rows;
}

std::vector<uint32_t> LineRuns(const PageRecord& page, int32_t y) {
  std::vector<uint32_t> runs;
  const uint8_t* p = LinePointers(page)[y];
  for (;;) {
    uint32_t white = GetRun(p);
    uint32_t black = GetRun(p);
    if (black == 0) {
      if (white != 0 || runs.empty()) runs.push_back(white);
      break;
    }
    runs.push_back(white);
    runs.push_back(black);
  }
  return runs;
}

::testing::AssertionResult RunLinesValid(const PageRecord& page) {
  if (page.compression != kRunLists || !page.data)
    return ::testing::AssertionFailure() << "not a run-list page";
  const uint8_t* begin = page.data;
  const uint8_t* end = page.data + page.dataSize;
  uint8_t** lines = LinePointers(page);
  for (int32_t y = 0; y < page.height; ++y) {
    const uint8_t* p = lines[y];
    if (p < begin + static_cast<size_t>(page.height) * sizeof(uint8_t*) || p >= end)
      return ::testing::AssertionFailure() << "line " << y << " points outside";
    uint64_t sum = 0;
    std::vector<uint32_t> runs = LineRuns(page, y);
    for (size_t i = 0; i < runs.size(); ++i) {
      if (runs[i] == 0 && !(i == 0 && (runs.size() > 1 || page.width == 0)))
        return ::testing::AssertionFailure() << "line " << y << " zero run at " << i;
      sum += runs[i];
    }
    if (sum != static_cast<uint64_t>(page.width))
      return ::testing::AssertionFailure()
             << "line " << y << " sums to " << sum << ", width " << page.width;
  }
  return ::testing::AssertionSuccess();
}

void MakeRunListPage(PageRecord* page, int32_t width, int32_t height,
                     const std::vector<uint8_t>& rows) {
  PageRecord source{};
  source.width = width;
  source.height = height;
  source.bitsPerPixel = 1;
  source.bytesPerLine = RowBytes(width, 1);
  source.data = const_cast<uint8_t*>(rows.data());
  source.dataSize = static_cast<uint32_t>(rows.size());
  source.dataOwnership = kOwnedByView;
  *page = source;
  page->compression = kRunLists;
  ASSERT_EQ(DecodeUncompressed(&source, page, 0), kOk);
}

std::vector<uint8_t> LibtiffDecodeCoded(const std::vector<uint8_t>& coded,
                                        int tiffCompression, uint32_t t4Options,
                                        int32_t width, int32_t height) {
  QuietWarnings();
  TempDir dir;
  const std::string path = dir.Path("coded.tif");
  {
    TiffHandle out(TIFFOpen(path.c_str(), "w"));
    if (!out) return {};
    TIFFSetField(out.get(), TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width));
    TIFFSetField(out.get(), TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height));
    TIFFSetField(out.get(), TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(out.get(), TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(out.get(), TIFFTAG_COMPRESSION, tiffCompression);
    TIFFSetField(out.get(), TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(out.get(), TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(height));
    if (tiffCompression == COMPRESSION_CCITTFAX3)
      TIFFSetField(out.get(), TIFFTAG_GROUP3OPTIONS, t4Options);
    if (TIFFWriteRawStrip(out.get(), 0, const_cast<uint8_t*>(coded.data()),
                          static_cast<tmsize_t>(coded.size())) < 0)
      return {};
  }
  TiffHandle in(TIFFOpen(path.c_str(), "r"));
  if (!in) return {};
  return DecodeWithLibtiff(in.get());
}

BitString& BitString::Add(const std::string& text) {
  for (char c : text) {
    if (c != '0' && c != '1') continue;
    if (bits % 8 == 0) bytes.push_back(0);
    if (c == '1') bytes.back() |= static_cast<uint8_t>(0x80 >> (bits % 8));
    ++bits;
  }
  return *this;
}

BitString& BitString::Add(uint32_t code, int length) {
  for (int i = length - 1; i >= 0; --i) Add((code >> i) & 1 ? "1" : "0");
  return *this;
}

BitString& BitString::AlignToByte() {
  bits = static_cast<uint32_t>(bytes.size()) * 8;
  return *this;
}

}  // namespace testutil
