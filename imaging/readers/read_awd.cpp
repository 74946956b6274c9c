// Microsoft AWD fax documents: the page walk and the page reader.
//
// The pages lie in a stream of a compound document: page records (a 16-bit
// length L and L bytes) hold the page's bands of G4 data, one strip each.
// A stream's sectors need not follow each other in the file (allocation
// table sectors, for one, turn up between them), so both the walk and the
// reader follow the document's own sector chain rather than the file's
// byte order.
#include <algorithm>
#include <cstring>

#include "imaging/readers/identify_walks.h"
#include "imaging/readers/readers.h"

namespace quillon {

namespace {

constexpr uint32_t kBandKindA = 0x000A0008;  // also marks the document's end
constexpr uint32_t kBandKindB = 0x0010000A;
constexpr uint32_t kPageBreakLength = 6;
constexpr uint64_t kBandHeader = 14;  // length, 4 bytes, kind, height, 2 bytes
constexpr uint32_t kHeaderTableEntries = 109;
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;

// The compound document's sectors and its allocation table.  The table
// usually sits at the end of the file: in a file cut short it is gone, and
// the sectors are then taken in file order, passing over those the header
// lists as table sectors, so that every page whose data is there still
// reads.
struct Compound {
  Bytes f;
  uint32_t shift = 9;    // sector size 512 or 4096
  bool chained = false;  // false: the sectors are taken in file order
  uint32_t tables[kHeaderTableEntries] = {};  // in file order: sectors passed over
  uint32_t tableCount = 0;

  explicit Compound(const Bytes& file) : f(file) {
    const uint32_t s = f.LE16(30);
    if ((s == 9 || s == 12) && f.n >= (uint64_t{1} << s)) {
      shift = s;
      chained = TableReadable();
    }
    if (!chained)
      for (uint32_t i = 0; i < kHeaderTableEntries && i < f.LE32(44); ++i)
        tables[tableCount++] = f.LE32(76 + 4 * i);
  }

  // Every table sector that describes a sector of the file lies whole in it.
  bool TableReadable() const {
    const uint64_t perTable = SectorSize() / 4;
    const uint64_t needed = (SectorCount() + perTable - 1) / perTable;
    const uint64_t listed = f.LE32(44);
    if (needed > 0 && listed == 0) return false;
    for (uint64_t i = 0; i < needed && i < listed; ++i) {
      const uint64_t table = TableSector(i);
      if (table >= SectorCount() || !f.Has(SectorOffset(table), SectorSize())) return false;
    }
    return true;
  }
  bool IsTable(uint64_t sector) const {
    for (uint32_t i = 0; i < tableCount; ++i)
      if (tables[i] == sector) return true;
    return false;
  }
  uint64_t SectorSize() const { return uint64_t{1} << shift; }
  uint64_t SectorOffset(uint64_t sector) const { return (sector + 1) << shift; }
  // Sectors that begin inside the file (the last may be cut short).
  uint64_t SectorCount() const {
    return f.n <= SectorSize() ? 0 : (f.n - 1) / SectorSize();
  }

  // The sector that holds allocation-table sector `i`: the first 109 are
  // listed in the header, the rest in a chain of list sectors.
  uint64_t TableSector(uint64_t i) const {
    if (i < kHeaderTableEntries) return f.LE32(76 + 4 * i);
    const uint64_t perList = SectorSize() / 4 - 1;
    uint64_t list = f.LE32(68);
    for (uint64_t k = (i - kHeaderTableEntries) / perList; k > 0; --k) {
      if (list >= SectorCount()) return kEndOfChain;
      list = f.LE32(SectorOffset(list) + perList * 4);
    }
    if (list >= SectorCount()) return kEndOfChain;
    return f.LE32(SectorOffset(list) + 4 * ((i - kHeaderTableEntries) % perList));
  }

  // The sector after `sector` in its chain, or kEndOfChain.
  uint64_t Next(uint64_t sector) const {
    if (!chained) {
      do ++sector;
      while (sector < SectorCount() && IsTable(sector));
      return sector < SectorCount() ? sector : kEndOfChain;
    }
    const uint64_t perTable = SectorSize() / 4;
    const uint64_t table = TableSector(sector / perTable);
    if (table >= SectorCount()) return kEndOfChain;
    const uint64_t entry = SectorOffset(table) + 4 * (sector % perTable);
    if (!f.Has(entry, 4)) return kEndOfChain;
    const uint64_t next = f.LE32(entry);
    return next < SectorCount() ? next : kEndOfChain;
  }
};

// A read position in a stream: a sector of the chain and an offset in it.
// A chain that loops is cut once it has passed as many bytes as the file
// holds.
struct Stream {
  const Compound* doc = nullptr;
  uint64_t sector = kEndOfChain;
  uint64_t offset = 0;
  uint64_t passed = 0;

  bool Ended() const { return sector == kEndOfChain; }
  uint64_t FileOffset() const { return doc->SectorOffset(sector) + offset; }

  // The bytes of the current sector that can be read from here.
  uint64_t Run() const {
    if (Ended()) return 0;
    const uint64_t start = FileOffset();
    if (start >= doc->f.n) return 0;
    return std::min(doc->SectorSize() - offset, doc->f.n - start);
  }

  // Moves on by up to `n` bytes, copying them to `out` when given; returns
  // the bytes passed (fewer when the stream ends).
  uint64_t Take(uint64_t n, uint8_t* out) {
    uint64_t done = 0;
    while (done < n && !Ended()) {
      const uint64_t run = Run();
      if (run == 0) {
        sector = kEndOfChain;
        break;
      }
      const uint64_t k = std::min(run, n - done);
      if (out) std::memcpy(out + done, doc->f.p + FileOffset(), k);
      done += k;
      offset += k;
      passed += k;
      if (passed > doc->f.n) sector = kEndOfChain;
      else if (offset == doc->SectorSize()) {
        sector = doc->Next(sector);
        offset = 0;
      }
    }
    return done;
  }

  // Reads `n` bytes ahead without moving; false when the stream ends first.
  bool Peek(uint8_t* out, uint64_t n) const {
    Stream copy = *this;
    return copy.Take(n, out) == n;
  }
};

// The stream position of file offset `at`; ended when it lies in the
// header.
Stream StreamAt(const Compound& doc, uint64_t at) {
  Stream s;
  s.doc = &doc;
  if (at >= doc.SectorSize() && at < doc.f.n) {
    s.sector = at / doc.SectorSize() - 1;
    s.offset = at % doc.SectorSize();
  }
  return s;
}

// The first bytes of a record: its length, the kind field at bytes 6..9
// and, for a band, its height.  `complete` is false when the stream ends
// inside them.
struct RecordHead {
  uint32_t length;  // L: the record is L + 2 bytes
  uint32_t kind;
  uint32_t height;
};

RecordHead PeekHead(const Stream& s, bool* complete) {
  uint8_t h[kBandHeader] = {};
  *complete = s.Peek(h, sizeof h);
  const Bytes b{h, sizeof h};
  return {b.LE16(0), b.LE32(6), b.LE16(10)};
}

bool IsBand(uint32_t kind) { return kind == kBandKindA || kind == kBandKindB; }

// One pass over a page's records up to the next page break: counts the
// bands, their lines and payload bytes, and with `data` copies the payloads
// and records each band's place in the buffer.
struct PageScan {
  uint64_t bands = 0;
  uint64_t lines = 0;
  uint64_t bytes = 0;
  bool damaged = false;
};

PageScan ScanPage(Stream s, uint8_t* data, uint32_t* offsets, uint32_t* counts) {
  PageScan scan;
  while (!s.Ended()) {
    bool complete;
    const RecordHead r = PeekHead(s, &complete);
    if (r.length == kPageBreakLength) break;
    if (!IsBand(r.kind)) {
      // Not a record of the page: a sector at a time, as the walk does.
      if (s.Take(512, nullptr) < 512) break;
      continue;
    }
    if (!complete) break;
    if (r.length < kBandHeader - 2) {
      scan.damaged = true;
      break;
    }
    s.Take(kBandHeader, nullptr);
    const uint64_t payload = r.length - (kBandHeader - 2);
    // A band cut short by the end of the stream keeps what is there.
    const uint64_t got = s.Take(payload, data ? data + scan.bytes : nullptr);
    if (offsets) {
      offsets[scan.bands] = static_cast<uint32_t>(scan.bytes);
      counts[scan.bands] = static_cast<uint32_t>(got);
    }
    ++scan.bands;
    scan.lines += r.height;
    scan.bytes += got;
    if (got < payload) break;
  }
  return scan;
}

int32_t Fail(PageRecord* page, int32_t result) {
  Release(page->data);
  Release(page->stripOffsets);
  Release(page->stripByteCounts);
  page->data = nullptr;
  page->stripOffsets = page->stripByteCounts = nullptr;
  page->stripCount = 0;
  return result;
}

}  // namespace

// The pages follow the "AWPI" block: the first page's records begin 34
// bytes after the marker's start; a record of length 6 separates pages
// (its kind field, read past its end, marks the document's end); band
// records are skipped by their length; anything else a sector at a time.
// A page without bands is not counted.
int32_t WalkAwd(ImageFile* file, const Bytes& view) {
  file->pageOffsets = AllocateArray<uint32_t>(kPageTableSize);
  if (!file->pageOffsets) return kErrMemory;
  file->pageCount = 0;
  const int64_t marker = view.Find("AWPI", 4, 0, 10000);
  if (marker < 0) return kOk;
  const Compound doc(view);
  Stream s = StreamAt(doc, static_cast<uint64_t>(marker));
  if (s.Take(34, nullptr) < 34) return kOk;
  int32_t count = 0;
  uint64_t pageStart = s.FileOffset();
  bool pageHasBand = false;
  while (!s.Ended() && count < kPageTableSize) {
    bool complete;
    const RecordHead r = PeekHead(s, &complete);
    if (r.length == kPageBreakLength) {
      if (pageHasBand) file->pageOffsets[count++] = static_cast<uint32_t>(pageStart);
      pageHasBand = false;
      if (r.kind == kBandKindA) break;
      if (s.Take(2 + kPageBreakLength, nullptr) < 2 + kPageBreakLength) break;
      pageStart = s.FileOffset();
    } else if (IsBand(r.kind)) {
      if (!complete) break;
      pageHasBand = true;
      const uint64_t record = 2 + static_cast<uint64_t>(r.length);
      if (s.Take(record, nullptr) < record) break;
    } else if (s.Take(512, nullptr) < 512) {
      break;
    }
  }
  // A last page that the stream's end cuts off still counts.
  if (pageHasBand && count < kPageTableSize)
    file->pageOffsets[count++] = static_cast<uint32_t>(pageStart);
  file->pageCount = count;
  return kOk;
}

int32_t ReadAwd(ImageFile* file, PageRecord* page, int32_t index) {
  const Bytes f{file->view, static_cast<uint64_t>(file->fileSize)};
  if (!file->pageOffsets) return kErrPageNotFound;
  page->compression = kG4;
  page->bitsPerPixel = 1;
  page->planes = 1;
  page->photometric = 0;
  page->fillOrderReversed = 1;
  page->layoutFlags = kLayoutTopDown;
  page->width = 1728;
  page->height = 0;
  page->xResolution = page->yResolution = 0;
  page->rowsPerStrip = 74;
  page->bytesPerLine = 0;
  page->dataOffset = 0;
  page->stripCount = 0;

  const Compound doc(f);
  const Stream start = StreamAt(doc, file->pageOffsets[index]);
  const PageScan sizes = ScanPage(start, nullptr, nullptr, nullptr);
  if (sizes.damaged || sizes.bands == 0 || sizes.lines == 0) return kErrBadHeader;
  if (sizes.lines > static_cast<uint64_t>(kMaxDimension)) return kErrBadHeader;

  page->stripOffsets = AllocateArray<uint32_t>(sizes.bands);
  page->stripByteCounts = AllocateArray<uint32_t>(sizes.bands);
  // A few spare zero bytes after the last band, for decoders that look ahead.
  page->data = AllocateBytes(SizeSum(sizes.bytes, 8));
  page->dataOwnership = kOwnedByPage;
  if (!page->stripOffsets || !page->stripByteCounts || !page->data)
    return Fail(page, kErrMemory);
  ScanPage(start, page->data, page->stripOffsets, page->stripByteCounts);
  page->stripCount = static_cast<int32_t>(sizes.bands);
  page->height = static_cast<int32_t>(sizes.lines);
  page->dataSize = static_cast<uint32_t>(sizes.bytes);
  return kOk;
}

}  // namespace quillon
