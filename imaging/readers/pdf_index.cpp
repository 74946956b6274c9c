// IndexPdf: finds the image objects of a PDF file through its
// cross-reference data, classic "xref" tables and, for files written since
// PDF 1.5, cross-reference streams; where that data cannot be found, through
// the object headers of the file itself.
#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/readers/identify_walks.h"
#include "imaging/readers/pdf.h"
#include "imaging/readers/pdf_syntax.h"
#include "imaging/readers/readers.h"

namespace quillon {

namespace {

// Bounds on what one file's cross-reference data may cost, whatever its
// sections claim: how many sections are read, and how many table bytes
// (inflated) all of them together may hold.
constexpr int kMaxSections = 1024;
constexpr uint64_t kMaxTableBytes = uint64_t{64} << 20;
// How far from a stated offset a table is looked for (some writers count
// a line end too many or too few), and how many object headers a file
// rebuilt from its headers may list.
constexpr uint64_t kOffsetSlack = 32;
constexpr uint64_t kMaxObjects = uint64_t{1} << 20;

struct Walk {
  const Bytes& file;
  std::vector<uint32_t> candidates;  // object offsets, in the order found
  std::vector<uint64_t> visited;     // sections already read
  std::vector<uint64_t> pending;     // sections still to read, the next last
  uint64_t tableBytes = 0;           // stream table bytes read so far
  bool Seen(uint64_t offset) {
    for (uint64_t v : visited)
      if (v == offset) return true;
    visited.push_back(offset);
    return false;
  }
  void Add(uint64_t offset) {
    if (offset == 0 || offset >= file.n || candidates.size() >= kPageTableSize) return;
    for (uint32_t c : candidates)
      if (c == offset) return;
    candidates.push_back(static_cast<uint32_t>(offset));
  }
};

// The trailer's links: an older section (/Prev) and, in files that carry
// both forms, a cross-reference stream (/XRefStm), which is read first.
void FollowTrailer(Walk& walk, uint64_t begin, uint64_t end) {
  uint32_t value;
  if (PdfKeyNumber(walk.file, begin, end, "/Prev", &value)) walk.pending.push_back(value);
  if (PdfKeyNumber(walk.file, begin, end, "/XRefStm", &value)) walk.pending.push_back(value);
}

// A classic table: subsections of "first count" followed by entries
// "offset generation n|f", read as tokens so that every form of line end
// (CR LF, " \n", " \r", a lone LF) is taken.
bool ReadClassic(Walk& walk, uint64_t at) {
  const Bytes& f = walk.file;
  at += 4;  // "xref"
  for (;;) {
    uint32_t first, count;
    uint64_t p = at;
    if (!PdfNumber(f, p, &first) || !PdfNumber(f, p, &count)) break;
    at = p;
    for (uint32_t k = 0; k < count; ++k) {
      uint32_t offset, generation;
      if (!PdfNumber(f, at, &offset) || !PdfNumber(f, at, &generation)) return false;
      PdfSkipSpace(f, at);
      if (at >= f.n) return false;
      if (f.p[at] == 'n') walk.Add(offset);
      ++at;
    }
    (void)first;
  }
  PdfSkipSpace(f, at);
  if (!f.Equals(at, "trailer", 7)) return true;  // no trailer: the walk ends here
  uint64_t end = at + 4096 < f.n ? at + 4096 : f.n;
  int64_t close = f.Find("startxref", 9, at, end);
  FollowTrailer(walk, at, close > 0 ? static_cast<uint64_t>(close) : end);
  return true;
}

}  // namespace

void UndoPngRow(uint8_t filter, uint8_t* cur, const uint8_t* previous, uint32_t columns,
                uint32_t bytesPerPixel) {
  for (uint32_t i = 0; i < columns; ++i) {
    uint32_t left = i >= bytesPerPixel ? cur[i - bytesPerPixel] : 0;
    uint32_t up = previous ? previous[i] : 0;
    uint32_t upLeft = previous && i >= bytesPerPixel ? previous[i - bytesPerPixel] : 0;
    uint32_t add = 0;
    switch (filter) {
      case 1: add = left; break;
      case 2: add = up; break;
      case 3: add = (left + up) / 2; break;
      case 4: {
        int pa = static_cast<int>(up) - static_cast<int>(upLeft);
        int pb = static_cast<int>(left) - static_cast<int>(upLeft);
        int pc = pa + pb;
        pa = pa < 0 ? -pa : pa;
        pb = pb < 0 ? -pb : pb;
        pc = pc < 0 ? -pc : pc;
        add = pa <= pb && pa <= pc ? left : pb <= pc ? up : upLeft;
        break;
      }
      default: break;
    }
    cur[i] = static_cast<uint8_t>(cur[i] + add);
  }
}

uint64_t UndoPngRows(uint8_t* data, uint64_t size, uint32_t columns, uint32_t bytesPerPixel) {
  const uint64_t stride = static_cast<uint64_t>(columns) + 1;
  const uint64_t rows = size / stride;
  // The first row has no row above (zeros); later ones have the row just
  // moved into place.
  const uint8_t* previous = nullptr;
  for (uint64_t r = 0; r < rows; ++r) {
    uint8_t* row = data + r * stride;
    UndoPngRow(row[0], row + 1, previous, columns, bytesPerPixel);
    std::memmove(data + r * columns, row + 1, columns);
    previous = data + r * columns;
  }
  return rows * columns;
}

namespace {

// The rows of a cross-reference stream's table as they arrive, inflated
// or not: each row (after its PNG filter byte, when there is one) is one
// entry of /W widths; type 1 entries are objects at an offset.
struct TableRows {
  Walk* walk;
  uint32_t widths[3];
  uint32_t entrySize;
  bool png;
  uint64_t entries;  // still to take
  uint8_t row[32];   // filter byte and entry
  uint8_t previous[32];
  uint32_t filled;

  // Takes bytes; false once every entry is in or the budget is spent.
  bool Take(const uint8_t* bytes, uint32_t count) {
    const uint32_t rowSize = entrySize + (png ? 1 : 0);
    for (uint32_t i = 0; i < count; ++i) {
      if (entries == 0 || walk->tableBytes >= kMaxTableBytes) return false;
      ++walk->tableBytes;
      row[filled++] = bytes[i];
      if (filled < rowSize) continue;
      filled = 0;
      --entries;
      const uint8_t* entry = row;
      if (png) {
        UndoPngRow(row[0], row + 1, previous, entrySize, 1);
        std::memcpy(previous, row + 1, entrySize);
        entry = previous;
      }
      uint64_t fields[3] = {widths[0] ? 0u : 1u, 0, 0};
      uint32_t at = 0;
      for (int c = 0; c < 3; ++c) {
        if (widths[c] == 0) continue;
        uint64_t v = 0;
        for (uint32_t b = 0; b < widths[c]; ++b) v = (v << 8) | entry[at + b];
        fields[c] = v;
        at += widths[c];
      }
      if (fields[0] == 1) walk->Add(fields[1]);
    }
    return entries > 0 && walk->tableBytes < kMaxTableBytes;
  }
  static bool Consume(void* context, const uint8_t* bytes, uint32_t count) {
    return static_cast<TableRows*>(context)->Take(bytes, count);
  }
};

// A cross-reference stream: its table is read as it is inflated, so that
// it costs what its data holds, not what its /Size claims.
bool ReadStream(Walk& walk, uint64_t at) {
  const Bytes& f = walk.file;
  PdfObject o = PdfObjectAt(f, at, 65536);
  if (!o.streamData || PdfFindKey(f, o.begin, o.end, "/XRef") < 0) return false;
  TableRows rows{};
  rows.walk = &walk;
  int64_t w = PdfFindKey(f, o.begin, o.end, "/W");
  if (w < 0) return false;
  uint64_t p = static_cast<uint64_t>(w);
  PdfSkipSpace(f, p);
  if (p >= f.n || f.p[p] != '[') return false;
  ++p;
  for (uint32_t& width : rows.widths)
    if (!PdfNumber(f, p, &width) || width > 8) return false;
  rows.entrySize = rows.widths[0] + rows.widths[1] + rows.widths[2];
  if (rows.entrySize == 0) return false;

  uint32_t size = 0;
  PdfKeyNumber(f, o.begin, o.end, "/Size", &size);
  int64_t ix = PdfFindKey(f, o.begin, o.end, "/Index");
  bool indexed = false;
  if (ix >= 0) {
    // Pairs of first object and count; only the counts matter here.
    uint64_t q = static_cast<uint64_t>(ix);
    PdfSkipSpace(f, q);
    if (q < f.n && f.p[q] == '[') {
      ++q;
      uint32_t first, count;
      for (int pairs = 0; pairs < 1024 && PdfNumber(f, q, &first) && PdfNumber(f, q, &count); ++pairs) {
        rows.entries += count;
        indexed = true;
      }
    }
  }
  if (!indexed) rows.entries = size;

  uint32_t length = 0;
  uint64_t available = f.n - o.streamData;
  if (!PdfKeyNumber(f, o.begin, o.end, "/Length", &length) || length > available) {
    int64_t e = f.Find("endstream", 9, o.streamData, f.n);
    length = static_cast<uint32_t>(e > 0 ? static_cast<uint64_t>(e) - o.streamData : available);
  }
  uint32_t predictor = 1;
  PdfKeyNumber(f, o.begin, o.end, "/Predictor", &predictor);
  rows.png = predictor >= 10;
  const uint64_t want = SizeProduct(rows.entries, rows.entrySize + (rows.png ? 1 : 0));
  if (PdfFindKey(f, o.begin, o.end, "/FlateDecode") >= 0)
    InflateEach(f.p + o.streamData, length, want, TableRows::Consume, &rows);
  else
    rows.Take(f.p + o.streamData, static_cast<uint32_t>(want < length ? want : length));
  FollowTrailer(walk, o.begin, o.end);
  return true;
}

}  // namespace

bool PdfImageCandidate(const Bytes& f, uint64_t offset, int* filter) {
  // An image shorter than 512 bytes (its "endobj" within them) is not a page.
  if (f.Find("endobj", 6, offset, offset + 512) >= 0) return false;
  PdfObject o = PdfObjectAt(f, offset, 65536);
  if (!o.streamData) return false;
  if (PdfFindKey(f, o.begin, o.end, "/Image") < 0) return false;
  struct Filter {
    const char* name;
    int code;
  };
  static constexpr Filter kFilters[] = {{"/CCITTFaxDecode", kG4},
                                        {"/FlateDecode", kFlate},
                                        {"/LZWDecode", kLzwTiff},
                                        {"/DCTDecode", kJpeg}};
  for (const Filter& k : kFilters)
    if (PdfFindKey(f, o.begin, o.end, k.name) >= 0) {
      if (filter) *filter = k.code;
      return true;
    }
  return false;
}

namespace {

// An "N G obj" header starting at `at`: a number that follows white space
// (or starts the file), a generation, then the keyword.
bool ObjectHeaderAt(const Bytes& f, uint64_t at, uint32_t* number) {
  if (at >= f.n || f.p[at] < '0' || f.p[at] > '9' || (at > 0 && !PdfWhite(f.p[at - 1]))) return false;
  uint32_t generation;
  if (!PdfNumber(f, at, number) || !PdfNumber(f, at, &generation)) return false;
  PdfSkipSpace(f, at);
  return f.Equals(at, "obj", 3);
}

bool SectionAt(const Bytes& f, uint64_t at) {
  uint32_t number;
  return f.Equals(at, "xref", 4) || ObjectHeaderAt(f, at, &number);
}

// The section a stated offset means: the offset itself, else the nearest
// "xref" or object header within kOffsetSlack bytes either side; -1 if none.
int64_t LocateSection(const Bytes& f, uint64_t stated) {
  if (SectionAt(f, stated)) return static_cast<int64_t>(stated);
  for (uint64_t d = 1; d <= kOffsetSlack; ++d) {
    if (stated >= d && SectionAt(f, stated - d)) return static_cast<int64_t>(stated - d);
    if (stated + d < f.n && SectionAt(f, stated + d)) return static_cast<int64_t>(stated + d);
  }
  return -1;
}

struct Header {
  uint32_t number;
  uint32_t offset;
  bool stream;  // its "stream" keyword comes before "endobj" and the next header
};

// A file whose cross-reference data cannot be found: every object header
// of the file, the last definition of a number winning, in number order as
// a table would list them.  -8 when the file has no object at all.
int32_t IndexFromHeaders(const Bytes& f, ImageFile* file) {
  const uint64_t room = std::min<uint64_t>(kMaxObjects, f.n / 7 + 1);  // "0 0 obj" at the least
  Header* headers = AllocateArray<Header>(room);
  if (!headers) return kErrMemory;
  uint64_t count = 0;
  for (uint64_t at = 0; at < f.n && count < room; ++at) {
    uint32_t number;
    if (ObjectHeaderAt(f, at, &number)) headers[count++] = {number, static_cast<uint32_t>(at), false};
  }
  // Only objects with a stream can be images; looking for it no further
  // than the next header keeps the whole search one pass over the file.
  for (uint64_t i = 0; i < count; ++i) {
    const uint64_t end = i + 1 < count ? headers[i + 1].offset : f.n;
    headers[i].stream = PdfObjectAt(f, headers[i].offset, end - headers[i].offset).streamData != 0;
  }
  std::stable_sort(headers, headers + count,
                   [](const Header& a, const Header& b) { return a.number < b.number; });
  int32_t pages = 0;
  for (uint64_t i = 0; i < count && pages < kPageTableSize; ++i) {
    if (i + 1 < count && headers[i + 1].number == headers[i].number) continue;  // redefined later
    if (headers[i].stream && PdfImageCandidate(f, headers[i].offset, nullptr))
      file->pageOffsets[pages++] = headers[i].offset;
  }
  Release(headers);
  file->pageCount = pages;
  return count > 0 ? kOk : kErrBadHeader;
}

}  // namespace

int32_t IndexPdf(ImageFile* file) {
  const Bytes f{file->view, static_cast<uint64_t>(file->fileSize)};
  file->pageCount = 0;
  file->pageOffsets = AllocateArray<uint32_t>(kPageTableSize);
  if (!file->pageOffsets) return kErrMemory;
  // The last "startxref" of the file names the newest section.
  uint64_t tail = f.n > 1024 ? f.n - 1024 : 0;
  int64_t keyword = -1;
  for (int64_t at = f.Find("startxref", 9, tail, f.n); at >= 0;
       at = f.Find("startxref", 9, static_cast<uint64_t>(at) + 9, f.n))
    keyword = at;
  uint64_t at = static_cast<uint64_t>(keyword) + 9;
  uint32_t stated;
  const int64_t start = keyword >= 0 && PdfNumber(f, at, &stated) ? LocateSection(f, stated) : -1;
  if (start < 0) return IndexFromHeaders(f, file);

  // The sections, newest first, each read whole before the next; a
  // section's links are followed in the order it gives them.
  Walk walk{f, {}, {}, {static_cast<uint64_t>(start)}, 0};
  for (int sections = 0; !walk.pending.empty() && sections < kMaxSections; ++sections) {
    const uint64_t offset = walk.pending.back();
    walk.pending.pop_back();
    if (offset >= f.n || walk.Seen(offset)) continue;
    const bool read = f.Equals(offset, "xref", 4) ? ReadClassic(walk, offset) : ReadStream(walk, offset);
    if (!read && sections == 0) return IndexFromHeaders(f, file);  // no usable cross-reference data
  }
  int32_t count = 0;
  for (uint32_t offset : walk.candidates)
    if (PdfImageCandidate(f, offset, nullptr)) file->pageOffsets[count++] = offset;
  file->pageCount = count;
  return kOk;
}

}  // namespace quillon
