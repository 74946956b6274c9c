// CALS type 1 rasters: eleven 128-byte text records in a 2048-byte header
// of blanks, then the G4 data.
#include <cstdio>
#include <cstring>

#include "imaging/writers/output.h"

namespace quillon {

int32_t WriteCals(ImageFile* file, const PageRecord* page, HeaderArea& area, Output& out) {
  if (page->compression != kG4 || page->bitsPerPixel != 1 || file->pageCount != 0)
    return kErrParameter;
  if (page->width < 1 || page->height < 1 || page->width > 999999 || page->height > 999999)
    return kErrParameter;
  if (!area.Room(0, 2048)) return kErrParameter;
  std::memset(area.p, ' ', 2048);
  char counts[40], density[24];
  std::snprintf(counts, sizeof counts, "rpelcnt: %06d,%06d", page->width, page->height);
  // "rdensty" is the keyword of the CALS standard, which other readers
  // require, as they require a density: an unknown one is written as 200.
  const int32_t dpi = page->xResolution > 0 ? page->xResolution % 10000 : 200;
  std::snprintf(density, sizeof density, "rdensty: %04d", dpi);
  const char* records[11] = {"srcdocid: NONE", "dstdocid: NONE", "txtfilid: NONE",
                             "figid: NONE",    "srcgph: NONE",   "doccls: NONE",
                             "rtype: 1",       "rorient: 000,270", counts,
                             density,          "notes: NONE"};
  for (int i = 0; i < 11; ++i)
    area.Bytes(128 * static_cast<uint32_t>(i), records[i], static_cast<uint32_t>(std::strlen(records[i])));
  out.Put(area.p, 2048);
  out.Put(PageBytes(page), page->dataSize);
  return kOk;
}

}  // namespace quillon
