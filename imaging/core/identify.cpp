// Identification of a file's format from its first bytes.
#include "imaging/core/identify.h"

#include <cstring>

#include "imaging/core/files.h"

namespace quillon {

namespace {

constexpr uint32_t FourCc(const char (&s)[5]) {
  return static_cast<uint8_t>(s[0]) | (static_cast<uint8_t>(s[1]) << 8) |
         (static_cast<uint8_t>(s[2]) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[3])) << 24);
}

// QuickTime files written today begin with "ftyp" (brand "qt  ") or with
// "wide", "free", "skip" or "mdat" atoms before "moov": walk the top-level
// atoms until "moov" appears.
bool LooksLikeQuickTime(FileHandle handle, uint64_t fileSize, const Bytes& b) {
  uint32_t type = b.BE32(4);
  if (b.U8(0) == 0 && b.U8(1) == 0 &&
      (b.Equals(4, "pnot", 4) || b.Equals(4, "moov", 4)))
    return true;
  if (type == 0x66747970) {  // "ftyp": major brand, version, compatible
    uint32_t size = b.BE32(0);
    if (b.Equals(8, "qt  ", 4)) return true;
    for (uint32_t at = 16; at + 4 <= size && at + 4 <= b.n; at += 4)
      if (b.Equals(at, "qt  ", 4)) return true;
    return false;
  }
  if (!(b.Equals(4, "wide", 4) || b.Equals(4, "free", 4) ||
        b.Equals(4, "skip", 4) || b.Equals(4, "mdat", 4)))
    return false;
  uint64_t at = 0;
  for (int atoms = 0; atoms < 64 && at + 8 <= fileSize; ++atoms) {
    uint8_t h[16];
    if (ReadAt(handle, at, h, sizeof h) < 8) return false;
    Bytes atom{h, sizeof h};
    uint64_t size = atom.BE32(0);
    if (atom.Equals(4, "moov", 4)) return true;
    if (!(atom.Equals(4, "wide", 4) || atom.Equals(4, "free", 4) ||
          atom.Equals(4, "skip", 4) || atom.Equals(4, "mdat", 4) ||
          atom.Equals(4, "ftyp", 4) || atom.Equals(4, "uuid", 4) ||
          atom.Equals(4, "junk", 4)))
      return false;
    if (size == 1) size = (static_cast<uint64_t>(atom.BE32(8)) << 32) |
                          atom.BE32(12);
    if (size < 8) return false;  // 0 = "to the end": no moov follows
    at += size;
  }
  return false;
}

}  // namespace

// The twenty header tests, strongest signatures first, Targa last.
Identified IdentifyHeader(FileHandle handle, const Bytes& b, uint64_t fileSize) {
  const uint32_t le32 = b.LE32(0);
  const uint32_t be32 = b.BE32(0);
  if (b.U8(0) == 0x0B && b.U8(1) == 0x23 && b.U8(2) == 0xC8)
    return {kOk, kFileWinFax10, Access::kMapped};
  if (le32 == FourCc("srcd")) {
    // The third 128-byte header record must read "rtype: 1".
    if (b.U8(775) != '1') return {kErrUnsupported, kFileCals, Access::kMapped};
    return {kOk, kFileCals, Access::kMapped};
  }
  if (b.U8(0) == 'B' && b.U8(1) == 'M') {
    if (b.U8(14) == 40) return {kOk, kFileWindowsBmp, Access::kMapped};
    uint32_t infoSize = b.LE16(14);
    if (infoSize != 12 && infoSize < 20)
      return {kErrUnknownFormat, kFileOs2Bmp, Access::kMapped};
    return {kOk, kFileOs2Bmp, Access::kMapped};
  }
  if (b.U8(0) == 0xFF && b.U8(1) == 0xD8 && b.U8(2) == 0xFF)
    return {kOk, kFileJfif, Access::kMapped};
  if (le32 == 0x3ADE68B1) return {kOk, kFileDcx, Access::kMapped};
  if (b.U8(0) == 10 && b.U8(1) < 6 && b.U8(2) == 1)
    return {kOk, kFilePcx, Access::kMapped};
  static constexpr uint8_t kCompound[8] = {0xD0, 0xCF, 0x11, 0xE0,
                                           0xA1, 0xB1, 0x1A, 0xE1};
  if (b.Has(0, 8) && std::memcmp(b.p, kCompound, 8) == 0 &&
      b.Find("R\0o\0", 4, 0, b.n) >= 0)
    return {kOk, b.U8(60) == 2 ? kFilePocketPowerpoint : kFileAwd,
            Access::kMapped};
  if (le32 == FourCc("GIF8")) return {kOk, kFileGif, Access::kMapped};
  if ((b.U8(0) == 'I' && b.U8(1) == 'I') || (b.U8(0) == 'M' && b.U8(1) == 'M'))
    return {kOk, kFileTiff, Access::kMapped};
  if (b.U8(0) == 'Z') {
    uint64_t next = static_cast<uint64_t>(b.U8(1)) * 256 + b.U8(2) + 1;
    uint8_t z = 0;
    if (next < b.n)
      z = b.U8(next);
    else if (next < fileSize)
      ReadAt(handle, next, &z, 1);
    if (z == 'Z') return {kOk, kFilePseg, Access::kMapped};
  }
  if (b.Equals(0, "BIT  FAX", 8)) return {kOk, kFileBitFax, Access::kMapped};
  if (le32 == 0xC064230B || le32 == FourCc("WINF"))
    return {kOk, kFileWinFax, Access::kMapped};
  if (le32 == FourCc("QLII") && b.U8(4) == 'F' && b.U8(5) == 'A')
    return {kOk, kFileQuicklinks, Access::kMapped};
  if (b.U8(2) == 0xD3) {
    uint32_t v = b.BE16(0);
    if (v < 4096 && b.U8(v + 2) == 0xD3) return {kOk, kFileIoca, Access::kMapped};
  }
  // FLI/FLC: the size field should equal the file size, but some real files
  // have it a little short; the magic number decides when it lies between
  // 128 and the file size.
  if ((b.LE16(4) & ~3u) == 0xAF10 &&
      (le32 == fileSize || (le32 >= 128 && le32 <= fileSize)))
    return {kOk, kFileFli, Access::kMapped};
  if (be32 == 0x25504446) return {kOk, kFilePdf, Access::kMapped};  // %PDF
  if (be32 == 0x52494646 && b.Equals(8, "AVI ", 4))  // RIFF
    return {kOk, kFileAvi, Access::kRead};
  if (LooksLikeQuickTime(handle, fileSize, b))
    return {kOk, kFileQuickTime, Access::kRead};
  uint8_t imageType = b.U8(2);
  if (b.U8(1) <= 1 && (imageType == 1 || imageType == 2 || imageType == 3 ||
                       imageType == 9 || imageType == 10 || imageType == 11))
    return {kOk, kFileTarga, Access::kMapped};
  return {kErrUnknownFormat, -1, Access::kMapped};
}

}  // namespace quillon
