// The quick signature test: does a file start like something the viewer can
// show?  It looks only at bytes it has read; an offset at or past them fails.
#include <cstring>

#include "imaging/core/files.h"
#include "viewer/browse/file_list.h"

namespace zelmo {

namespace {

constexpr size_t kHeadBytes = 4096;
constexpr size_t kMinimumBytes = 50;

bool StartsWith(std::span<const uint8_t> b, const char* text) {
  size_t n = std::strlen(text);
  return b.size() >= n && std::memcmp(b.data(), text, n) == 0;
}

bool StartsWith(std::span<const uint8_t> b, std::initializer_list<uint8_t> bytes) {
  if (b.size() < bytes.size()) return false;
  size_t i = 0;
  for (uint8_t v : bytes) {
    if (b[i++] != v) return false;
  }
  return true;
}

bool ByteIs(std::span<const uint8_t> b, size_t at, uint8_t value) {
  return at < b.size() && b[at] == value;
}

}  // namespace

bool QuickSignatureTest(std::span<const uint8_t> b) {
  if (b.size() < kMinimumBytes) return false;
  // PDF, and MO:DCA/IOCA documents.
  if (StartsWith(b, "%PDF") || StartsWith(b, {0x0B, 0x23, 0xC8})) return true;
  // CALS: the record type in the seventh header record.
  if (StartsWith(b, "srcd")) return ByteIs(b, 775, '1');
  // BMP: a Windows or OS/2 information header.
  if (StartsWith(b, "BM")) {
    unsigned header = b[14] | (b[15] << 8);
    return b[14] == 40 || header == 12 || header >= 20;
  }
  // JFIF, DCX, PCX.
  if (StartsWith(b, {0xFF, 0xD8, 0xFF}) || StartsWith(b, {0xB1, 0x68, 0xDE, 0x3A}) ||
      (b[0] == 10 && b[1] < 6 && b[2] == 1))
    return true;
  // AWD (a compound document).
  if (StartsWith(b, {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1})) return true;
  if (StartsWith(b, "GIF8") || StartsWith(b, "II") || StartsWith(b, "MM")) return true;
  // PSEG: a 'Z' record introducer, and the next one where the length says.
  if (b[0] == 'Z') return ByteIs(b, 1 + (static_cast<size_t>(b[1]) * 256 + b[2]), 'Z');
  // BitFAX, WinFAX, WinFAX 10, Quicklinks II.
  if (StartsWith(b, "BIT  FAX")) return true;
  if (StartsWith(b, {0x0B, 0x23, 0x64, 0xC0}) || StartsWith(b, "WINF")) return true;
  if (StartsWith(b, "QLII") && b[4] == 0x46 && b[5] == 0x41) return true;
  if (StartsWith(b, "RIFF") && std::memcmp(b.data() + 8, "AVI ", 4) == 0) return true;
  // QuickTime as current writers start it: a "qt  " file-type atom, or the
  // atoms that may come before the movie (the library checks the rest).
  if (std::memcmp(b.data() + 4, "ftyp", 4) == 0) return std::memcmp(b.data() + 8, "qt  ", 4) == 0;
  for (const char* atom : {"wide", "free", "skip", "mdat"})
    if (std::memcmp(b.data() + 4, atom, 4) == 0) return true;
  // QuickTime: a small first atom followed by one of the movie atoms.
  if (b[0] != 0 || b[1] != 0) return false;
  return std::memcmp(b.data() + 4, "pnot", 4) == 0 || std::memcmp(b.data() + 4, "moov", 4) == 0;
}

// Through the library's file primitives, which open only regular files and
// never wait: a FIFO or a terminal in the folder is no image and must not
// stop the scan.
bool FileLooksLikeImage(const char16_t* path) {
  quillon::FileHandle f = quillon::OpenForRead(path);
  if (f == quillon::kInvalidHandle) return false;
  uint8_t head[kHeadBytes];
  const int64_t got = quillon::Read(f, head, sizeof(head));
  quillon::Close(f);
  if (got <= 0 || static_cast<uint64_t>(got) > sizeof(head)) return false;
  return QuickSignatureTest(std::span<const uint8_t>(head, static_cast<size_t>(got)));
}

}  // namespace zelmo
