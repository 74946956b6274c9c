// The little a format writer needs: a header work area with bounds, and
// writes that remember whether anything failed.
#pragma once

#include <cstdint>
#include <cstring>

#include "imaging/core/bytes.h"
#include "imaging/core/files.h"
#include "imaging/core/page.h"

namespace quillon {

// The 64 KB zeroed area headers are built in.  Every put is checked against
// its end, so long texts or large tables can never overrun it.
struct HeaderArea {
  static constexpr uint32_t kSize = 65536;
  uint8_t* p = nullptr;
  uint32_t used = 0;
  bool overflow = false;

  bool Room(uint32_t at, uint32_t n) {
    if (at > kSize || n > kSize - at) {
      overflow = true;
      return false;
    }
    if (at + n > used) used = at + n;
    return true;
  }
  void Byte(uint32_t at, uint8_t v) {
    if (Room(at, 1)) p[at] = v;
  }
  void Le16(uint32_t at, uint32_t v) {
    if (Room(at, 2)) PutLE16(p + at, v);
  }
  void Le32(uint32_t at, uint32_t v) {
    if (Room(at, 4)) PutLE32(p + at, v);
  }
  void Bytes(uint32_t at, const void* data, uint32_t n) {
    if (Room(at, n)) std::memcpy(p + at, data, n);
  }
};

// Writes through the file handle; `failed` stays set after any short write.
struct Output {
  FileHandle handle;
  bool failed = false;
  void Put(const void* data, uint64_t n) {
    if (failed || n == 0) return;
    failed = Write(handle, data, n) != static_cast<int64_t>(n);
  }
};

int32_t WriteBmp(ImageFile* file, const PageRecord* page, HeaderArea& area, Output& out);
int32_t WritePcx(ImageFile* file, const PageRecord* page, HeaderArea& area, Output& out);
int32_t WriteTiff(ImageFile* file, const PageRecord* page, HeaderArea& area, Output& out);
int32_t WriteGif(ImageFile* file, const PageRecord* page, HeaderArea& area, Output& out);
int32_t WriteCals(ImageFile* file, const PageRecord* page, HeaderArea& area, Output& out);

// The page's data bytes (from data + dataOffset).
inline const uint8_t* PageBytes(const PageRecord* page) { return page->data + page->dataOffset; }

}  // namespace quillon
