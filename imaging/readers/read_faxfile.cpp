// The headerless G3 fax files (WinFAX, BitFAX, Quicklinks II): coded lines
// without a line count, least significant bit first.  The reader decodes
// them itself into run lists, line by line up to the first damage.
#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/codecs/codecs.h"
#include "imaging/codecs/fax.h"
#include "imaging/core/runlist.h"
#include "imaging/readers/readers.h"

namespace quillon {

namespace {

constexpr int32_t kFaxWidth = 1728;
constexpr int32_t kMaxLines = 20000;
// Damage within the first lines means the data is no fax; later damage
// only ends the page.
constexpr int32_t kTrustedLines = 100;

struct BitPosition {
  uint32_t byte = 0;
  int32_t bit = 0;
  uint64_t Bits() const { return uint64_t{byte} * 8 + static_cast<uint32_t>(bit); }
  void Set(uint64_t b) {
    byte = static_cast<uint32_t>(b / 8);
    bit = static_cast<int32_t>(b % 8);
  }
  void Back(uint32_t bits) { Set(Bits() >= bits ? Bits() - bits : 0); }
};

// Appends one line in run-list form: `decoded` alternates white and black,
// white first, already cut at the width.  Zero-length runs inside the line
// join their neighbours, and a short line is padded with white.
void AppendLine(std::vector<uint8_t>& out, const std::vector<uint32_t>& decoded, uint32_t width) {
  std::vector<uint32_t> runs;  // white first, no empty run but a leading one
  bool white = true;
  uint32_t covered = 0;
  for (uint32_t r : decoded) {
    const bool backIsWhite = runs.size() % 2 == 1;
    if (runs.empty()) {
      runs.push_back(white ? r : 0);
      if (!white) runs.push_back(r);
    } else if (r != 0) {
      if (backIsWhite == white) runs.back() += r;
      else runs.push_back(r);
    }
    covered += r;
    white = !white;
  }
  if (runs.empty()) runs.push_back(0);
  if (covered < width) {
    if (runs.size() % 2 == 1) runs.back() += width - covered;
    else runs.push_back(width - covered);
  }
  uint8_t encoded[2];
  for (uint32_t r : runs) out.insert(out.end(), encoded, PutRun(encoded, r));
  out.insert(out.end(), 3, 0);
}

// Where page `index` of the file lies: offset and size in the view.
bool Locate(const ImageFile* file, int32_t index, uint64_t* offset, uint64_t* size) {
  const Bytes f{file->view, static_cast<uint64_t>(file->fileSize)};
  switch (file->fileType) {
    case kFileWinFax: {
      // Data starts at byte 126; when that byte is not 0 the 0xFF fill
      // bytes after it are skipped (at most 176).
      uint64_t at = 126;
      if (f.U8(at) != 0)
        for (int skipped = 0; skipped < 176 && at < f.n && f.U8(at) == 0xFF; ++skipped) ++at;
      *offset = at;
      *size = at < f.n ? f.n - at : 0;
      return at < f.n;
    }
    case kFileBitFax: {
      uint64_t entry = 16 + 16 * static_cast<uint64_t>(index);
      *size = f.LE32(entry + 4);
      *offset = f.LE32(entry + 8);
      break;
    }
    default: {  // Quicklinks II: a table of page offsets at byte 32
      *offset = f.LE32(32 + 4 * static_cast<uint64_t>(index));
      uint64_t next = f.LE32(32 + 4 * static_cast<uint64_t>(index) + 4);
      *size = next > *offset && next <= f.n ? next - *offset : f.n - std::min<uint64_t>(*offset, f.n);
      break;
    }
  }
  if (*offset >= f.n) return false;
  if (*size > f.n - *offset) *size = f.n - *offset;
  return *size > 0;
}

}  // namespace

int32_t ReadFaxFile(ImageFile* file, PageRecord* page, int32_t index) {
  uint64_t offset, size;
  if (!Locate(file, index, &offset, &size)) return kErrBadHeader;
  std::vector<uint8_t> bits(size);
  ReverseBits(file->view + offset, bits.data(), static_cast<uint32_t>(size));
  const uint8_t* data = bits.data();
  const uint32_t n = static_cast<uint32_t>(size);

  // Lines go into one growing block; pointers are laid down at the end.
  std::vector<uint8_t> runs;
  std::vector<uint64_t> starts;
  std::vector<uint32_t> line;
  BitPosition at;
  int32_t lines = 0;
  bool damaged = false;
  while (lines < kMaxLines && at.byte < n && !damaged) {
    // Codes up to the end-of-line that starts the line; garbage and fill
    // bits before it are passed over.
    bool eol = false;
    while (at.byte < n) {
      const uint64_t before = at.Bits();
      int32_t r = DecodeWhiteRun(data, n, &at.byte, &at.bit);
      if (at.Bits() == before) at.Set(before + 1);  // always move on
      if (r == kFaxEol) {
        eol = true;
        break;
      }
    }
    if (!eol || at.byte >= n) break;
    // Alternating runs, white first, until they cover the width.
    line.clear();
    int32_t total = 0;
    bool white = true, endedAtEol = false;
    while (total < kFaxWidth) {
      if (at.byte >= n) break;
      int32_t r = white ? DecodeWhiteRun(data, n, &at.byte, &at.bit)
                        : DecodeBlackRun(data, n, &at.byte, &at.bit);
      if (r == kFaxEol) {
        at.Back(12);  // the next line starts at this code
        endedAtEol = true;
        break;
      }
      if (r < 0) break;
      int32_t take = r < kFaxWidth - total ? r : kFaxWidth - total;
      line.push_back(static_cast<uint32_t>(take));
      total += r;
      white = !white;
    }
    // Data that ends right after an end-of-line (the page's closing codes)
    // ends the page; a line cut off inside its runs is damage.
    if (total == 0 && at.byte >= n) break;
    if (total != kFaxWidth && !endedAtEol) {
      if (lines < kTrustedLines) return kErrDecompress;
      damaged = true;  // the page ends before the damaged line
      break;
    }
    starts.push_back(runs.size());
    AppendLine(runs, line, kFaxWidth);
    ++lines;
  }
  // One white line closes the page.
  starts.push_back(runs.size());
  AppendLine(runs, {}, kFaxWidth);
  const int32_t height = lines + 1;
  const uint64_t table = static_cast<uint64_t>(height) * sizeof(uint8_t*);
  uint8_t* buffer = static_cast<uint8_t*>(Allocate(table + runs.size()));
  if (!buffer) return kErrMemory;
  std::memcpy(buffer + table, runs.data(), runs.size());
  uint8_t** pointers = reinterpret_cast<uint8_t**>(buffer);
  for (int32_t y = 0; y < height; ++y) pointers[y] = buffer + table + starts[y];

  page->data = buffer;
  page->dataOffset = 0;
  page->dataSize = static_cast<uint32_t>(table + runs.size());
  page->dataOwnership = kOwnedByPage;
  page->compression = kRunLists;
  page->bitsPerPixel = 1;
  page->photometric = 0;
  page->fillOrderReversed = 0;
  page->planes = 1;
  page->width = kFaxWidth;
  page->height = height;
  page->xResolution = 204;
  page->yResolution = 196;
  page->layoutFlags = kLayoutTopDown;
  page->stripCount = 0;
  return kOk;
}

}  // namespace quillon
