// CALS type 1 raster files: 2048 bytes of 128-byte text records, then one
// G4 image that stays in the view.
#include "imaging/readers/readers.h"

namespace quillon {

namespace {

constexpr uint32_t kHeaderSize = 2048;
constexpr uint32_t kRecordSize = 128;

// The position just after `keyword` and the blanks that follow it, when one
// of the header records begins with it; 0 when none does.
uint32_t ValueAfter(const Bytes& f, const char* keyword, uint32_t length) {
  for (uint32_t record = 0; record < kHeaderSize; record += kRecordSize) {
    if (!f.Equals(record, keyword, length)) continue;
    uint32_t at = record + length;
    while (at < record + kRecordSize && f.U8(at) == ' ') ++at;
    return at;
  }
  return 0;
}

}  // namespace

int32_t ReadCals(ImageFile* file, PageRecord* page, int32_t /*index*/) {
  const Bytes f{file->view, static_cast<uint64_t>(file->fileSize)};
  page->compression = kG4;
  page->bitsPerPixel = 1;
  page->planes = 1;
  page->photometric = 0;
  page->fillOrderReversed = 0;
  page->layoutFlags = kLayoutTopDown;
  page->stripCount = 0;
  page->bytesPerLine = 0;
  if (f.n < kHeaderSize) return kErrBadHeader;

  // The numbers follow their keywords; files that write the keywords at the
  // usual places but spell the density "rdensty:" (the standard's own
  // spelling) are found the same way.  Without the keywords the usual
  // positions are read.
  uint32_t at = ValueAfter(f, "rpelcnt:", 8);
  if (at == 0) at = 1033;
  const uint32_t limit = (at / kRecordSize + 1) * kRecordSize;
  const uint32_t width = ReadDecimal(f.p, &at, limit);
  while (at < limit && f.U8(at) == ' ') ++at;
  const uint32_t height = ReadDecimal(f.p, &at, limit);
  uint32_t density = ValueAfter(f, "rdensty:", 8);
  if (density == 0) density = ValueAfter(f, "rdensity:", 9);
  if (density == 0) density = 1162;
  const uint32_t resolution =
      ReadDecimal(f.p, &density, (density / kRecordSize + 1) * kRecordSize);

  if (width < 1 || height < 1 || width > kMaxDimension || height > kMaxDimension)
    return kErrBadHeader;
  page->width = static_cast<int32_t>(width);
  page->height = static_cast<int32_t>(height);
  page->xResolution = page->yResolution =
      static_cast<int32_t>(resolution <= 65535 ? resolution : 0);
  page->data = file->view;
  page->dataOffset = kHeaderSize;
  page->dataSize = static_cast<uint32_t>(f.n - kHeaderSize);
  page->dataOwnership = kOwnedByView;
  return kOk;
}

}  // namespace quillon
