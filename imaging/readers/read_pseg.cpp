// PSEG page segments: 'Z'-introduced records whose image raster data is
// ORed into the page cell by cell.  Ink is bit 1, so the page is inverted
// after decoding (photometric 1).
#include <algorithm>

#include "imaging/readers/readers.h"

namespace quillon {

namespace {

// A record: 'Z', 16-bit big-endian length (counting itself, not the 'Z'),
// three-byte identifier, flag byte, two reserved bytes, then its fields.
constexpr uint32_t kImageDescriptor = 0xD3A67B;
constexpr uint32_t kCellPosition = 0xD3AC7B;
constexpr uint32_t kRasterData = 0xD3EE7B;
constexpr uint32_t kEndImage = 0xD3A97B;
constexpr uint64_t kFields = 9;  // record byte where the fields begin

struct Record {
  uint64_t start;
  uint64_t end;       // one past the record's last byte (inside the file)
  uint32_t id;
  uint64_t fields;    // record byte where the fields begin, after any extension
};

// The record at `at`, or false when no complete record starts there.
bool RecordAt(const Bytes& f, uint64_t at, Record& r) {
  if (!f.Has(at, kFields) || f.U8(at) != 'Z') return false;
  const uint64_t length = f.BE16(at + 1);
  if (length < kFields - 1 || !f.Has(at, length + 1)) return false;
  r.start = at;
  r.end = at + length + 1;
  r.id = (f.U8(at + 3) << 16) | (f.U8(at + 4) << 8) | f.U8(at + 5);
  // Flag bit 0 announces an extension; its length byte counts itself.
  r.fields = kFields + ((f.U8(at + 6) & 1) ? f.U8(at + kFields) : 0);
  return true;
}

// The page and the cell that raster data is ORed into.
struct Canvas {
  uint8_t* bits;
  uint32_t rowBytes;
  uint32_t height;
  uint32_t cellX = 0, cellY = 0;
  uint32_t cellRowBytes;
  uint64_t cellByte = 0;  // raster bytes received for the current cell

  // ORs one raster byte in at the cell's next position, shifted right by
  // the cell's bit offset; bits falling outside the page are dropped.
  void Put(uint8_t value) {
    const uint64_t row = cellY + cellByte / cellRowBytes;
    const uint64_t column = cellX / 8 + cellByte % cellRowBytes;
    ++cellByte;
    if (row >= height || value == 0) return;
    const unsigned shift = cellX & 7;
    uint8_t* line = bits + row * rowBytes;
    if (column < rowBytes) line[column] |= static_cast<uint8_t>(value >> shift);
    if (shift != 0 && column + 1 < rowBytes)
      line[column + 1] |= static_cast<uint8_t>(value << (8 - shift));
  }
};

}  // namespace

int32_t ReadPseg(ImageFile* file, PageRecord* page, int32_t /*index*/, bool geometry) {
  const Bytes f{file->view, static_cast<uint64_t>(file->fileSize)};
  page->compression = kUncompressed;
  page->bitsPerPixel = 1;
  page->planes = 1;
  page->photometric = 1;
  page->fillOrderReversed = 0;
  page->layoutFlags = kLayoutTopDown;
  page->xResolution = page->yResolution = 0;
  page->stripCount = 0;
  page->dataOffset = 0;

  Record r{};
  bool found = false;
  for (uint64_t at = 0; RecordAt(f, at, r); at = r.end) {
    if (r.id == kImageDescriptor) {
      found = true;
      break;
    }
  }
  if (!found) return kErrBadHeader;
  const uint32_t width = f.BE16(r.start + r.fields + 18);
  const uint32_t height = f.BE16(r.start + r.fields + 20);
  if (r.start + r.fields + 22 > r.end) return kErrBadHeader;
  if (int32_t result = CheckPageSize(width, height, 1); result != kOk) return result;
  page->width = static_cast<int32_t>(width);
  page->height = static_cast<int32_t>(height);
  page->bytesPerLine = RowBytes(page->width, 1);
  const uint64_t size = SizeProduct(page->bytesPerLine, height);
  if (geometry) return kOk;
  uint8_t* bits = AllocateBytes(SizeSum(size, 4));
  if (!bits) return kErrMemory;

  // Without a cell position record the whole image is one cell at (0, 0).
  Canvas canvas{bits, page->bytesPerLine, height};
  canvas.cellRowBytes = page->bytesPerLine;
  for (uint64_t at = 0; RecordAt(f, at, r) && r.id != kEndImage; at = r.end) {
    const uint64_t fields = r.start + r.fields;
    if (fields > r.end) continue;  // an extension longer than its record
    if (r.id == kCellPosition) {
      canvas.cellX = f.BE16(fields);
      canvas.cellY = f.BE16(fields + 2);
      const uint32_t cellWidth = f.BE16(fields + 4);
      canvas.cellRowBytes = RowBytes(cellWidth == 0 ? page->width : cellWidth, 1);
      canvas.cellByte = 0;
    } else if (r.id == kRasterData) {
      // The raster bytes run to the end of the record; a cell's rows may be
      // split across several records.
      for (uint64_t i = fields; i < r.end; ++i) canvas.Put(f.p[i]);
    }
  }
  page->data = bits;
  page->dataSize = static_cast<uint32_t>(size);
  page->dataOwnership = kOwnedByPage;
  return kOk;
}

}  // namespace quillon
