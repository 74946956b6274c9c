#include "imaging/core/pdf_syntax.h"

#include "imaging/core/readers.h"

namespace quillon {

void PdfSkipSpace(const Bytes& b, uint64_t& at) {
  while (at < b.n) {
    uint8_t c = b.p[at];
    if (PdfWhite(c)) {
      ++at;
    } else if (c == '%') {
      while (at < b.n && b.p[at] != '\n' && b.p[at] != '\r') ++at;
    } else {
      break;
    }
  }
}

std::string_view PdfName(const Bytes& b, uint64_t& at) {
  PdfSkipSpace(b, at);
  if (at >= b.n || b.p[at] != '/') return {};
  uint64_t start = ++at;
  while (at < b.n && !PdfDelimiter(b.p[at])) ++at;
  return std::string_view(reinterpret_cast<const char*>(b.p + start), at - start);
}

bool PdfNumber(const Bytes& b, uint64_t& at, uint32_t* value) {
  PdfSkipSpace(b, at);
  if (at >= b.n || b.p[at] < '0' || b.p[at] > '9') return false;
  uint64_t v = 0;
  while (at < b.n && b.p[at] >= '0' && b.p[at] <= '9') {
    v = v * 10 + (b.p[at] - '0');
    if (v > UINT32_MAX) v = UINT32_MAX;
    ++at;
  }
  // A real number's fraction is dropped.
  if (at < b.n && b.p[at] == '.')
    for (++at; at < b.n && b.p[at] >= '0' && b.p[at] <= '9'; ++at) {
    }
  *value = static_cast<uint32_t>(v);
  return true;
}

PdfObject PdfObjectAt(const Bytes& file, uint64_t object, uint64_t limit) {
  PdfObject o;
  o.begin = object;
  uint64_t stop = object + limit < file.n ? object + limit : file.n;
  o.end = stop;
  for (uint64_t at = object; at + 6 <= stop; ++at) {
    if (file.p[at] == 'e' && file.Equals(at, "endobj", 6)) {
      o.end = at;
      return o;
    }
    if (file.p[at] == 's' && file.Equals(at, "stream", 6) &&
        (at == 0 || PdfDelimiter(file.p[at - 1]))) {
      uint64_t data = at + 6;
      // "stream" ends with CR LF or LF; a lone CR is tolerated.
      if (data < file.n && file.p[data] == '\r') ++data;
      if (data < file.n && file.p[data] == '\n') ++data;
      o.end = at;
      o.streamData = data;
      return o;
    }
  }
  return o;
}

int64_t PdfFindKey(const Bytes& b, uint64_t begin, uint64_t end, std::string_view key) {
  if (end > b.n) end = b.n;
  for (uint64_t at = begin; at + key.size() <= end; ++at) {
    if (b.p[at] != '/' || !b.Equals(at, key.data(), key.size())) continue;
    uint64_t after = at + key.size();
    if (after >= end || PdfDelimiter(b.p[after])) return static_cast<int64_t>(after);
  }
  return -1;
}

bool PdfKeyNumber(const Bytes& b, uint64_t begin, uint64_t end, std::string_view key,
                  uint32_t* value) {
  int64_t at = PdfFindKey(b, begin, end, key);
  if (at < 0) return false;
  uint64_t p = static_cast<uint64_t>(at);
  if (!PdfNumber(b, p, value)) return false;
  // "12 0 R" is an indirect reference, not the number 12.
  uint64_t q = p;
  uint32_t generation;
  if (PdfNumber(b, q, &generation)) {
    PdfSkipSpace(b, q);
    if (q < b.n && b.p[q] == 'R') return false;
  }
  return true;
}

int64_t PdfFindObject(const Bytes& file, uint32_t number) {
  char text[16];
  int n = 0;
  char digits[12];
  uint32_t v = number;
  do {
    digits[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v);
  for (int i = 0; i < n; ++i) text[i] = digits[n - 1 - i];
  for (uint64_t at = 0; at + n < file.n; ++at) {
    if (file.p[at] != static_cast<uint8_t>(text[0]) || !file.Equals(at, text, n)) continue;
    if (at > 0 && !PdfWhite(file.p[at - 1])) continue;
    uint64_t q = at + n;
    uint32_t generation;
    if (!PdfNumber(file, q, &generation)) continue;
    PdfSkipSpace(file, q);
    if (file.Equals(q, "obj", 3)) return static_cast<int64_t>(at);
  }
  return -1;
}

uint32_t PdfReference(const Bytes& b, uint64_t at) {
  uint32_t number, generation;
  if (!PdfNumber(b, at, &number) || !PdfNumber(b, at, &generation)) return 0;
  PdfSkipSpace(b, at);
  return at < b.n && b.p[at] == 'R' ? number : 0;
}

std::vector<uint8_t> PdfObjectText(const Bytes& file, uint32_t number) {
  int64_t object = PdfFindObject(file, number);
  if (object >= 0) {
    int64_t obj = file.Find("obj", 3, static_cast<uint64_t>(object), static_cast<uint64_t>(object) + 32);
    uint64_t begin = obj >= 0 ? static_cast<uint64_t>(obj) + 3 : static_cast<uint64_t>(object);
    PdfObject o = PdfObjectAt(file, begin, 65536);
    return std::vector<uint8_t>(file.p + begin, file.p + o.end);
  }
  // Look through the object streams: each starts with pairs of object
  // number and offset (from /First).
  for (int64_t at = file.Find("/ObjStm", 7, 0, file.n); at >= 0;
       at = file.Find("/ObjStm", 7, static_cast<uint64_t>(at) + 7, file.n)) {
    uint64_t back = static_cast<uint64_t>(at) > 2048 ? static_cast<uint64_t>(at) - 2048 : 0;
    int64_t start = -1;
    for (int64_t k = file.Find("obj", 3, back, static_cast<uint64_t>(at)); k >= 0;
         k = file.Find("obj", 3, static_cast<uint64_t>(k) + 3, static_cast<uint64_t>(at)))
      start = k;
    if (start < 0) continue;
    PdfObject o = PdfObjectAt(file, static_cast<uint64_t>(start), 65536);
    if (!o.streamData) continue;
    uint32_t count = 0, first = 0, length = 0;
    PdfKeyNumber(file, o.begin, o.end, "/N", &count);
    PdfKeyNumber(file, o.begin, o.end, "/First", &first);
    uint64_t available = file.n - o.streamData;
    if (!PdfKeyNumber(file, o.begin, o.end, "/Length", &length) || length > available)
      length = static_cast<uint32_t>(available > UINT32_MAX ? UINT32_MAX : available);
    std::vector<uint8_t> data;
    if (PdfFindKey(file, o.begin, o.end, "/FlateDecode") >= 0) {
      data.resize(uint64_t{1} << 20);
      data.resize(InflateInto(file.p + o.streamData, length, data.data(), data.size()));
    } else {
      data.assign(file.p + o.streamData, file.p + o.streamData + length);
    }
    const Bytes s{data.data(), data.size()};
    uint64_t p = 0;
    for (uint32_t i = 0; i < count && i < 100000; ++i) {
      uint32_t n, offset;
      if (!PdfNumber(s, p, &n) || !PdfNumber(s, p, &offset)) break;
      if (n != number) continue;
      uint64_t begin = static_cast<uint64_t>(first) + offset;
      uint32_t nextNumber, nextOffset;
      uint64_t end = PdfNumber(s, p, &nextNumber) && PdfNumber(s, p, &nextOffset)
                         ? static_cast<uint64_t>(first) + nextOffset
                         : s.n;
      if (begin >= s.n) break;
      if (end > s.n || end < begin) end = s.n;
      return std::vector<uint8_t>(data.begin() + static_cast<long>(begin),
                                  data.begin() + static_cast<long>(end));
    }
  }
  return {};
}

}  // namespace quillon
