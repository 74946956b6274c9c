// IndexPdf: finds the image objects of a PDF file through its
// cross-reference data, classic "xref" tables and, for files written since
// PDF 1.5, cross-reference streams.
#include <cstring>
#include <vector>

#include "imaging/core/identify_walks.h"
#include "imaging/core/pdf.h"
#include "imaging/core/pdf_syntax.h"
#include "imaging/core/readers.h"

namespace quillon {

namespace {

constexpr int kMaxSections = 64;

struct Walk {
  const Bytes& file;
  std::vector<uint32_t> candidates;  // object offsets, in the order found
  std::vector<uint64_t> visited;     // sections already read
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

bool ReadSection(Walk& walk, uint64_t offset, int depth);

// The trailer's links: an older section (/Prev) and, in files that carry
// both forms, a cross-reference stream (/XRefStm).
void FollowTrailer(Walk& walk, uint64_t begin, uint64_t end, int depth) {
  uint32_t value;
  if (PdfKeyNumber(walk.file, begin, end, "/XRefStm", &value)) ReadSection(walk, value, depth + 1);
  if (PdfKeyNumber(walk.file, begin, end, "/Prev", &value)) ReadSection(walk, value, depth + 1);
}

// A classic table: subsections of "first count" followed by entries
// "offset generation n|f", read as tokens so that every form of line end
// (CR LF, " \n", " \r", a lone LF) is taken.
bool ReadClassic(Walk& walk, uint64_t at, int depth) {
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
  FollowTrailer(walk, at, close > 0 ? static_cast<uint64_t>(close) : end, depth);
  return true;
}

}  // namespace

uint64_t UndoPngRows(uint8_t* data, uint64_t size, uint32_t columns, uint32_t bytesPerPixel) {
  const uint64_t stride = static_cast<uint64_t>(columns) + 1;
  const uint64_t rows = size / stride;
  std::vector<uint8_t> previous(columns, 0);
  for (uint64_t r = 0; r < rows; ++r) {
    uint8_t* row = data + r * stride;
    const uint8_t filter = row[0];
    uint8_t* cur = row + 1;
    for (uint32_t i = 0; i < columns; ++i) {
      uint32_t left = i >= bytesPerPixel ? cur[i - bytesPerPixel] : 0;
      uint32_t up = previous[i];
      uint32_t upLeft = i >= bytesPerPixel ? previous[i - bytesPerPixel] : 0;
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
    std::memcpy(previous.data(), cur, columns);
    std::memmove(data + r * columns, cur, columns);
  }
  return rows * columns;
}

namespace {

// A cross-reference stream: entries of /W widths, type 1 = an object at an
// offset.
bool ReadStream(Walk& walk, uint64_t at, int depth) {
  const Bytes& f = walk.file;
  PdfObject o = PdfObjectAt(f, at, 65536);
  if (!o.streamData || PdfFindKey(f, o.begin, o.end, "/XRef") < 0) return false;
  uint32_t widths[3] = {0, 0, 0};
  int64_t w = PdfFindKey(f, o.begin, o.end, "/W");
  if (w < 0) return false;
  uint64_t p = static_cast<uint64_t>(w);
  PdfSkipSpace(f, p);
  if (p >= f.n || f.p[p] != '[') return false;
  ++p;
  for (uint32_t& width : widths)
    if (!PdfNumber(f, p, &width) || width > 8) return false;
  const uint32_t entrySize = widths[0] + widths[1] + widths[2];
  if (entrySize == 0) return false;

  uint32_t size = 0;
  PdfKeyNumber(f, o.begin, o.end, "/Size", &size);
  std::vector<uint32_t> index;  // pairs: first object, count
  int64_t ix = PdfFindKey(f, o.begin, o.end, "/Index");
  if (ix >= 0) {
    uint64_t q = static_cast<uint64_t>(ix);
    PdfSkipSpace(f, q);
    if (q < f.n && f.p[q] == '[') {
      ++q;
      uint32_t v;
      while (index.size() < 2048 && PdfNumber(f, q, &v)) index.push_back(v);
    }
  }
  if (index.size() < 2) index = {0, size};

  uint32_t length = 0;
  uint64_t available = f.n - o.streamData;
  if (!PdfKeyNumber(f, o.begin, o.end, "/Length", &length) || length > available) {
    int64_t e = f.Find("endstream", 9, o.streamData, f.n);
    length = static_cast<uint32_t>(e > 0 ? static_cast<uint64_t>(e) - o.streamData : available);
  }
  uint64_t entries = 0;
  for (size_t k = 1; k < index.size(); k += 2) entries += index[k];
  uint32_t predictor = 1, columns = entrySize;
  PdfKeyNumber(f, o.begin, o.end, "/Predictor", &predictor);
  PdfKeyNumber(f, o.begin, o.end, "/Columns", &columns);
  if (columns != entrySize) columns = entrySize;
  const bool png = predictor >= 10;
  uint64_t want = SizeProduct(entries, entrySize + (png ? 1 : 0));
  if (want > (uint64_t{64} << 20)) return false;  // no real table is this large
  std::vector<uint8_t> data(want);
  uint64_t got;
  if (PdfFindKey(f, o.begin, o.end, "/FlateDecode") >= 0) {
    got = InflateInto(f.p + o.streamData, length, data.data(), want);
  } else {
    got = want < length ? want : length;
    std::memcpy(data.data(), f.p + o.streamData, got);
  }
  if (png) got = UndoPngRows(data.data(), got, entrySize, 1);

  const Bytes table{data.data(), got};
  uint64_t e = 0;
  for (size_t k = 1; k < index.size(); k += 2) {
    for (uint32_t i = 0; i < index[k] && (e + 1) * entrySize <= table.n; ++i, ++e) {
      uint64_t fieldAt = e * entrySize;
      uint64_t fields[3] = {widths[0] ? 0u : 1u, 0, 0};
      for (int c = 0; c < 3; ++c) {
        if (widths[c] == 0) continue;
        uint64_t v = 0;
        for (uint32_t b = 0; b < widths[c]; ++b) v = (v << 8) | table.p[fieldAt + b];
        fields[c] = v;
        fieldAt += widths[c];
      }
      if (fields[0] == 1) walk.Add(fields[1]);
    }
  }
  FollowTrailer(walk, o.begin, o.end, depth);
  return true;
}

bool ReadSection(Walk& walk, uint64_t offset, int depth) {
  if (depth > kMaxSections || offset >= walk.file.n || walk.Seen(offset)) return false;
  if (walk.file.Equals(offset, "xref", 4)) return ReadClassic(walk, offset, depth);
  return ReadStream(walk, offset, depth);
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
  if (keyword < 0) return kOk;
  uint64_t at = static_cast<uint64_t>(keyword) + 9;
  uint32_t start;
  if (!PdfNumber(f, at, &start)) return kOk;

  Walk walk{f, {}, {}};
  if (!ReadSection(walk, start, 0)) return kOk;
  int32_t count = 0;
  for (uint32_t offset : walk.candidates)
    if (PdfImageCandidate(f, offset, nullptr)) file->pageOffsets[count++] = offset;
  file->pageCount = count;
  return kOk;
}

}  // namespace quillon
