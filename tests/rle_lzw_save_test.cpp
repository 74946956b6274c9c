// Pages saved through the run-length and LZW save types and read back, by
// the library itself and by libtiff and giflib: the pixels survive.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <string>
#include <vector>

#include "imaging/codecs/codecs.h"
#include "imaging/core/core.h"
#include "imaging/core/files.h"
#include "imaging/writers/writers.h"
#include "support/rle_lzw_pages.h"
#include "support/test_util.h"

using namespace quillon;
using namespace testutil;

namespace {

using Bytes = std::vector<uint8_t>;

}  // namespace

TEST(RleLzwSave, SavedPagesReadBackUnchanged) {
  TempDir dir;
  const char* types[] = {"TIFF PackBits", "TIFF LZW", "WIN BMP RLE", "PCX", "DCX", "GIF"};
  int n = 0;
  for (const char* name : types) {
    const int type = FindSaveType(name);
    ASSERT_GE(type, 0) << name;
    for (int bpp : {1, 4, 8, 24}) {
      if (!SaveTypeAccepts(type, bpp)) continue;
      const int32_t width = 45, height = 13;
      SCOPED_TRACE(std::string(name) + " bpp " + std::to_string(bpp));
      const Bytes rows = PatternRows(width, height, bpp, Pattern::kRuns, 4);
      Page original;
      MakeDecodedPage(width, height, bpp, rows, &original);
      const std::string path = dir.Path("saved" + std::to_string(n++) + (kSaveTypes[type].pattern + 1));
      ASSERT_EQ(SavePage(Utf8ToUtf16(path).c_str(), original.get(), type, 0), kOk);
      // The library reads it back.
      OpenedFile f(path);
      ASSERT_EQ(f.result, kOk);
      Page page;
      ASSERT_EQ(ExtractPage(&f.file, page.get(), 0), kOk);
      EXPECT_EQ(page->compression, kSaveTypes[type].compression);
      Page decoded;
      ASSERT_EQ(DecodeToPixels(page.get(), &decoded), kOk);
      EXPECT_EQ(MaskPadding(PageRows(decoded.record), width, height, bpp),
                MaskPadding(rows, width, height, bpp));
      // So do the peers.
      if (kSaveTypes[type].fileType == kFileTiff) {
        Bytes peer = LibtiffDecode(path);
        TIFF* tif = TIFFOpen(path.c_str(), "r");
        ASSERT_NE(tif, nullptr);
        uint16_t photometric = 0;
        TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
        TIFFClose(tif);
        if (bpp == 1 && photometric == PHOTOMETRIC_MINISWHITE)
          for (uint8_t& b : peer) b = static_cast<uint8_t>(~b);
        if (bpp == 24)
          for (int32_t y = 0; y < height; ++y) SwapRedBlue(peer.data() + static_cast<size_t>(y) * 3 * width, width);
        EXPECT_EQ(MaskPadding(peer, width, height, bpp), MaskPadding(rows, width, height, bpp));
      }
      if (kSaveTypes[type].fileType == kFileGif) {
        std::vector<Bytes> images = GiflibDecode(ReadFileBytes(path));
        ASSERT_EQ(images.size(), 1u);
        Bytes packed(rows.size(), 0);
        const uint32_t rowBytes = RowBytes(width, bpp);
        for (int32_t y = 0; y < height; ++y)
          for (int32_t x = 0; x < width; ++x) {
            const uint8_t v = images[0][static_cast<size_t>(y) * width + x];
            uint8_t* row = packed.data() + static_cast<size_t>(y) * rowBytes;
            if (bpp == 1) row[x >> 3] |= static_cast<uint8_t>((v & 1) << (7 - (x & 7)));
            else if (bpp == 4) row[x >> 1] |= static_cast<uint8_t>((x & 1) ? v : v << 4);
            else row[x] = v;
          }
        EXPECT_EQ(packed, MaskPadding(rows, width, height, bpp));
      }
    }
  }
}
