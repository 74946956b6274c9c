// Run-length and LZW files end to end (OpenImageFile, ExtractPage,
// ConvertPage): PCX, DCX, run-length BMP, PackBits and LZW TIFF, and GIF
// made by general tools or written here by giflib and libtiff, against
// the tools' own decodes; pages saved in these types, read back by giflib
// and libtiff.
#include "support/suite.h"

namespace {

// A page of a file in tests/data (a path with a folder) or of a sample.
using CodedFile = std::pair<std::string, int32_t>;

class RleLzwFiles : public ::testing::TestWithParam<CodedFile> {};

}  // namespace

// Against the tool's decode beside the file (NAME.ppm, or NAME-PAGE.ppm for
// DCX), libtiff's picture or giflib's frame; the reader reports the coding
// the file's type and name say.
TEST_P(RleLzwFiles, DecodeLikeTheToolThatMadeThem) {
  const auto [name, index] = GetParam();
  const std::string path = name.find('/') != std::string::npos ? DataPath(name) : SamplePath(name);
  const std::string type = path.substr(path.rfind('.') + 1), stem = path.substr(0, path.rfind('.'));
  OpenedFile file(path);
  Page page, decoded;
  ASSERT_EQ(file.Extract(page.get(), index), kOk);
  EXPECT_EQ(page->compression, type == "gif"   ? kLzwGif
                               : type == "bmp" ? kBmpRle
                               : type != "tif" ? kPcxRle
                               : path.find("packbits") != std::string::npos ? kPackBits : kLzwTiff);
  ASSERT_EQ(Decode(page.get(), decoded), kOk);
  EXPECT_EQ(decoded->layoutFlags & kLayoutBottomUp, 0);
  std::vector<Raster> frames = type == "gif" ? GifFrames(ReadFileBytes(path)) : std::vector<Raster>{};
  const Raster expected = type == "tif"   ? TiffRgba(ReadFileBytes(path), index)
                          : type == "gif" ? (index < static_cast<int32_t>(frames.size()) ? frames[index] : Raster{})
                          : ReadImage(type == "dcx" ? stem + "-" + std::to_string(index) + ".ppm" : stem + ".ppm");
  ASSERT_GT(expected.width, 0);
  EXPECT_TRUE(SamePixels(expected, PageRaster(decoded.record)));
}

// Every page of tests/data/rle and tests/data/lzw, and sample pages.
std::vector<CodedFile> CodedFiles() {
  std::vector<CodedFile> pages = {{"chart-packbits.tif", 0}, {"chart.gif", 0},    {"photo-interlaced.gif", 0},
                                  {"spinner.gif", 1},        {"spinner.gif", 3},  {"scan-lzw.tif", 0},
                                  {"pages-bigendian.tif", 2}};
  for (const char* folder : {"rle", "lzw"})
    for (const std::string& name : DataFiles(folder, {".pcx", ".dcx", ".bmp", ".tif", ".gif"}))
      for (int32_t i = 0; i < OpenedFile(DataPath(name))->pageCount; ++i) pages.emplace_back(name, i);
  return pages;
}
INSTANTIATE_TEST_SUITE_P(Files, RleLzwFiles, ::testing::ValuesIn(CodedFiles()),
                         [](const auto& info) { return TestName(info.param.first + "_" + std::to_string(info.param.second)); });

TEST(RleLzwPeers, SamplesMatchTheDigestsOfImageMagicksDecode) {
  for (const auto& [name, page] : {std::pair{"chart-rle8.bmp", 0}, {"chart8.pcx", 0}, {"photo24.pcx", 0},
                                   {"pages.dcx", 0}, {"pages.dcx", 1}, {"pages.dcx", 2}}) {
    const Raster raster = FileRaster(SamplePath(name), page);
    ASSERT_EQ(raster.result, kOk) << name;
    EXPECT_TRUE(MatchesDigest(std::string(name) + "-" + std::to_string(page), raster, "ImageMagick"));
  }
}

TEST(RleLzwPeers, GifsWrittenByGiflibMatchIt) {
  // Large enough for the string table to fill and be cleared many times.
  TempDir dir;
  for (int colours : {2, 4, 16, 256})
    for (bool interlaced : {false, true}) {
      const Image noise = testpix::Noise(301, 97, 8, static_cast<uint32_t>(colours));
      Bytes indexes, palette;
      for (uint32_t v : noise.px) indexes.push_back(static_cast<uint8_t>(v % colours));
      // Levels of gray: two-colour frames are shown black and white.
      for (int i = 0; i < colours; ++i) palette.insert(palette.end(), 3, static_cast<uint8_t>(i * 255 / (colours - 1)));
      const Bytes gif = GifEncode(indexes, 301, 97, palette, interlaced);
      EXPECT_TRUE(SamePixels(GifFrames(gif)[0], FileRaster(dir.Write("g.gif", gif))))
          << colours << (interlaced ? " interlaced" : "");
    }
}

TEST(RleLzwPeers, TiffsWrittenByLibtiffMatchIt) {
  TempDir dir;
  for (int bpp : {1, 4, 8, 24})
    for (int compression : {COMPRESSION_LZW, COMPRESSION_PACKBITS})
      for (int predictor : {1, 2}) {
        if (predictor == 2 && (compression != COMPRESSION_LZW || bpp < 8)) continue;
        for (int rows : {7, 1000}) {
          // Several strips WhiteIsZero, one strip BlackIsZero.
          const int photometric = bpp == 24 ? PHOTOMETRIC_RGB : rows == 7 ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_MINISBLACK;
          const TiffSpec spec{333, 211, bpp == 24 ? 8 : bpp, bpp == 24 ? 3 : 1, photometric, compression, predictor, rows};
          const auto pattern = rows == 7 ? testpix::Pattern::kNoise : testpix::Pattern::kRuns;
          const Bytes tiff = TiffEncode(spec, testpix::PackedRows(testpix::Patterned(333, 211, bpp, pattern, 99)));
          EXPECT_TRUE(SamePixels(TiffRgba(tiff), FileRaster(dir.Write("t.tif", tiff))))
              << bpp << " " << compression << " " << predictor << " " << rows;
        }
      }
}

TEST(RleLzwPeers, SavedPagesReadBackInTheLibraryAndThePeers) {
  // Runs, and noise that fills the LZW string table many times over.
  TempDir dir;
  for (const char* name : {"TIFF PackBits", "TIFF LZW", "WIN BMP RLE", "PCX", "DCX", "GIF"}) {
    const int type = FindSaveType(name);
    for (int bpp : {1, 4, 8, 24})
      for (auto pattern : {testpix::Pattern::kRuns, testpix::Pattern::kNoise}) {
        if (!SaveTypeAccepts(type, bpp)) continue;
        SCOPED_TRACE(std::string(name) + " bpp " + std::to_string(bpp));
        Page original;
        testpix::MakePage(testpix::Patterned(401, 150, bpp, pattern, 9), original.get());
        const Raster expected = PageRaster(original.record);
        const std::string path = dir.Path(std::string("saved") + (kSaveTypes[type].pattern + 1));
        ASSERT_EQ(SavePage(Utf8ToUtf16(path).c_str(), original.get(), type, 0), kOk);
        OpenedFile f(path);
        Page page;
        ASSERT_EQ(f.Extract(page.get()), kOk);
        EXPECT_EQ(page->compression, kSaveTypes[type].compression);
        EXPECT_TRUE(SamePixels(expected, FileRaster(path)));
        const int fileType = kSaveTypes[type].fileType;  // libtiff and giflib read theirs
        EXPECT_TRUE(SamePixels(expected, fileType == kFileTiff  ? TiffRgba(ReadFileBytes(path))
                                         : fileType == kFileGif ? GifFrames(ReadFileBytes(path))[0] : expected));
      }
  }
}
