#include "imaging/readers/pdf_syntax.h"

#include "imaging/readers/readers.h"

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

uint32_t PdfReference(const Bytes& b, uint64_t at) {
  uint32_t number, generation;
  if (!PdfNumber(b, at, &number) || !PdfNumber(b, at, &generation)) return 0;
  PdfSkipSpace(b, at);
  return at < b.n && b.p[at] == 'R' ? number : 0;
}

}  // namespace quillon
