// The object index of a PDF file: every "N G obj" header of the file and
// every object its object streams hold, found in one pass and kept with the
// ImageFile for the references that image dictionaries make.
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "imaging/core/scratch.h"
#include "imaging/readers/pdf_syntax.h"
#include "imaging/readers/readers.h"

namespace quillon {

namespace {

// What the object streams of one file may inflate to, all together, and
// one of them alone; the pairs one stream may list.
constexpr uint64_t kMaxStreamBytes = uint64_t{64} << 20;
constexpr uint64_t kMaxOneStream = uint64_t{1} << 20;
constexpr uint32_t kMaxPairs = 100000;
constexpr uint32_t kInFile = UINT32_MAX;

}  // namespace

struct PdfObjectIndex {
  struct Entry {
    uint32_t number;
    uint32_t stream;  // kInFile, or the object stream holding it
    uint64_t begin;   // in the file: the header; in a stream: the text
    uint64_t end;
  };
  struct Stream {
    uint8_t* data;  // inflated, from Allocate
    uint64_t size;
  };
  ScratchList<Entry> entries;  // by number; the first found of a number first
  ScratchList<Stream> streams;  // inflated object streams

  ~PdfObjectIndex() {
    for (const Stream& s : streams) Release(s.data);
  }
  const Entry* Find(uint32_t number) const {
    auto e = std::lower_bound(entries.begin(), entries.end(), number,
                              [](const Entry& a, uint32_t n) { return a.number < n; });
    return e != entries.end() && e->number == number ? &*e : nullptr;
  }
};

namespace {

// Every "N G obj" header, in file order: a number that starts after white
// space (or at the start), its generation, then the keyword.  False when
// memory fails, as for the streams below.
bool IndexHeaders(const Bytes& f, PdfObjectIndex& index) {
  for (uint64_t at = 0; at < f.n; ++at) {
    const uint8_t c = f.p[at];
    if (c < '0' || c > '9' || (at > 0 && !PdfWhite(f.p[at - 1]))) continue;
    if (c == '0' && at + 1 < f.n && f.p[at + 1] >= '0' && f.p[at + 1] <= '9') continue;
    uint64_t q = at;
    uint32_t number, generation;
    if (!PdfNumber(f, q, &number) || !PdfNumber(f, q, &generation)) continue;
    PdfSkipSpace(f, q);
    if (f.Equals(q, "obj", 3) && !index.entries.Push({number, kInFile, at, 0})) return false;
  }
  return true;
}

// The objects of every object stream: pairs of object number and offset
// (from /First), then the objects' texts.
bool IndexStreams(const Bytes& f, PdfObjectIndex& index) {
  uint64_t inflated = 0;
  Scratch<uint8_t> work;  // one stream inflated, before it is kept at its size
  for (int64_t at = f.Find("/ObjStm", 7, 0, f.n); at >= 0 && inflated < kMaxStreamBytes;
       at = f.Find("/ObjStm", 7, static_cast<uint64_t>(at) + 7, f.n)) {
    uint64_t back = static_cast<uint64_t>(at) > 2048 ? static_cast<uint64_t>(at) - 2048 : 0;
    int64_t start = -1;
    for (int64_t k = f.Find("obj", 3, back, static_cast<uint64_t>(at)); k >= 0;
         k = f.Find("obj", 3, static_cast<uint64_t>(k) + 3, static_cast<uint64_t>(at)))
      start = k;
    if (start < 0) continue;
    PdfObject o = PdfObjectAt(f, static_cast<uint64_t>(start), 65536);
    if (!o.streamData) continue;
    uint32_t count = 0, first = 0, length = 0;
    PdfKeyNumber(f, o.begin, o.end, "/N", &count);
    PdfKeyNumber(f, o.begin, o.end, "/First", &first);
    uint64_t available = f.n - o.streamData;
    if (!PdfKeyNumber(f, o.begin, o.end, "/Length", &length) || length > available)
      length = static_cast<uint32_t>(available > UINT32_MAX ? UINT32_MAX : available);
    const uint64_t room = std::min(kMaxOneStream, kMaxStreamBytes - inflated);
    const uint8_t* from = f.p + o.streamData;
    uint64_t size = std::min<uint64_t>(length, room);
    if (PdfFindKey(f, o.begin, o.end, "/FlateDecode") >= 0) {
      if (!work && !work.Reset(kMaxOneStream)) return false;
      size = InflateInto(from, length, work.data(), room);
      from = work.data();
    }
    PdfObjectIndex::Stream kept{AllocateBytes(size), size};
    if (!kept.data) return false;
    std::memcpy(kept.data, from, size);
    if (!index.streams.Push(kept)) {
      Release(kept.data);
      return false;
    }
    inflated += size;
    const Bytes s{kept.data, kept.size};
    const uint32_t stream = static_cast<uint32_t>(index.streams.size() - 1);
    uint64_t p = 0;
    uint32_t number, offset;
    bool have = PdfNumber(s, p, &number) && PdfNumber(s, p, &offset);
    for (uint32_t i = 0; have && i < count && i < kMaxPairs; ++i) {
      uint32_t nextNumber = 0, nextOffset = 0;
      const bool next = PdfNumber(s, p, &nextNumber) && PdfNumber(s, p, &nextOffset);
      uint64_t begin = static_cast<uint64_t>(first) + offset;
      uint64_t end = next && i + 1 < count ? static_cast<uint64_t>(first) + nextOffset : s.n;
      if (begin >= s.n) break;
      if (end > s.n || end < begin) end = s.n;
      if (!index.entries.Push({number, stream, begin, end})) return false;
      number = nextNumber, offset = nextOffset, have = next;
    }
  }
  return true;
}

PdfObjectIndex* BuildIndex(const Bytes& f) {
  PdfObjectIndex* index = new (std::nothrow) PdfObjectIndex;
  if (!index) return nullptr;
  if (!IndexHeaders(f, *index) || !IndexStreams(f, *index)) {
    delete index;
    return nullptr;
  }
  // Objects in the file come before those in streams, each in the order
  // found: the first of a number is the one taken.
  std::stable_sort(index->entries.begin(), index->entries.end(),
                   [](const PdfObjectIndex::Entry& a, const PdfObjectIndex::Entry& b) {
                     return a.number < b.number;
                   });
  return index;
}

}  // namespace

const PdfObjectIndex* PdfObjects(ImageFile* file) {
  if (!file->pdfObjects && file->view)
    file->pdfObjects = BuildIndex(Bytes{file->view, static_cast<uint64_t>(file->fileSize)});
  return file->pdfObjects;
}

void ReleasePdfObjects(ImageFile* file) {
  delete file->pdfObjects;
  file->pdfObjects = nullptr;
}

int64_t PdfFindObject(const PdfObjectIndex* index, uint32_t number) {
  const PdfObjectIndex::Entry* e = index ? index->Find(number) : nullptr;
  return e && e->stream == kInFile ? static_cast<int64_t>(e->begin) : -1;
}

std::vector<uint8_t> PdfObjectText(const Bytes& file, const PdfObjectIndex* index,
                                   uint32_t number) {
  const PdfObjectIndex::Entry* e = index ? index->Find(number) : nullptr;
  if (!e) return {};
  if (e->stream != kInFile) {
    const PdfObjectIndex::Stream& s = index->streams[e->stream];
    return std::vector<uint8_t>(s.data + e->begin, s.data + e->end);
  }
  int64_t obj = file.Find("obj", 3, e->begin, e->begin + 32);
  uint64_t begin = obj >= 0 ? static_cast<uint64_t>(obj) + 3 : e->begin;
  PdfObject o = PdfObjectAt(file, begin, 65536);
  return std::vector<uint8_t>(file.p + begin, file.p + o.end);
}

}  // namespace quillon
