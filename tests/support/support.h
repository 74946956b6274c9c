// The support library of the tests and the benchmarks, in five parts:
//  - files and records: fixture paths, temporary folders, owners that
//    release records on every path, byte builders, and the one way the
//    tests run the `quillon` tool and other programs;
//  - rasters: pictures as the peers and the library show them (gray or RGB
//    samples, top line first), compared pixel for pixel, by PSNR, or by a
//    recorded digest;
//  - the peer libraries (libtiff, giflib, libjpeg-turbo) writing and
//    reading files;
//  - builders of the files no general tool writes: TIFF directories, fax
//    bit strings, PSEG, WinFAX 10, IOCA, Microsoft AWD inside a compound
//    document, FLI/FLC, each laid out as the format does;
//  - pixel pages (namespace testpix): one value per pixel, built into pages
//    of either form and read back from them, so that expected results are
//    computed pixel by pixel, independently of the library's line loops.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "imaging/core/core.h"
#include "imaging/core/files.h"
#include "imaging/core/page.h"
#include "imaging/core/tiff_tags.h"

namespace testutil {

// === Files and records ========================================================

using Bytes = std::vector<uint8_t>;

std::string DataPath(const std::string& name);
// The files of a folder of tests/data whose names end in one of
// `extensions`, as "folder/name", sorted.
std::vector<std::string> DataFiles(const std::string& folder, std::initializer_list<const char*> extensions);
std::string SamplePath(const std::string& name);
Bytes ReadFileBytes(const std::string& path);

// A folder under the system's temporary directory, removed with its
// contents when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string Path(const std::string& name) const;
  // Writes `bytes` to a new file in the folder and returns its path.
  std::string Write(const std::string& name, const Bytes& bytes) const;

 private:
  std::filesystem::path dir_;
};

// An ImageFile closed when it goes out of scope; opened from a path, or
// from bytes written to a folder of its own (kept while the file is open).
struct OpenedFile {
  TempDir dir;
  quillon::ImageFile file{};
  int32_t result = quillon::kErrIo;
  explicit OpenedFile(const std::string& path);
  explicit OpenedFile(const Bytes& bytes);
  ~OpenedFile();
  OpenedFile(const OpenedFile&) = delete;
  OpenedFile& operator=(const OpenedFile&) = delete;
  quillon::ImageFile* operator->() { return &file; }
  // ExtractPage of page `index` into `page`.
  int32_t Extract(quillon::PageRecord* page, int32_t index = 0);
};

// A PageRecord released when it goes out of scope.
struct Page {
  quillon::PageRecord record{};
  Page() = default;
  ~Page() { quillon::FreePage(&record); }
  Page(const Page&) = delete;
  Page& operator=(const Page&) = delete;
  quillon::PageRecord* operator->() { return &record; }
  quillon::PageRecord* get() { return &record; }
};

// A coded page over `data`, which stays the caller's, as a reader hands it
// on: one block, top line first, lines of RowBytes.
quillon::PageRecord CodedPage(const Bytes& data, int compression, int32_t width, int32_t height,
                              int bitsPerPixel = 1);

// ConvertPage into `out`, set to the display form of the source: run lists
// for 1 bpp, pixels otherwise.
int32_t Decode(quillon::PageRecord* source, Page& out, int32_t flags = 0);

// `text` with every character but letters and digits turned to '_', as a
// parameterised test's name.
std::string TestName(std::string text);

// The parts one after the other.
Bytes Concat(std::initializer_list<Bytes> parts);
// Little-endian and big-endian numbers and text at `at`, growing `b`.
void PutLE16(Bytes& b, size_t at, uint32_t v);
void PutLE32(Bytes& b, size_t at, uint32_t v);
void PutBE16(Bytes& b, size_t at, uint32_t v);
void PutBE32(Bytes& b, size_t at, uint32_t v);
void PutText(Bytes& b, size_t at, const std::string& text);

// A program's exit status (-1 when it did not exit), what it printed on
// standard output (Shell: and standard error) and on standard error, and
// its peak memory.
struct RunResult {
  int status = -1;
  std::string output;
  std::string errors;
  long peakKiB = 0;
};
RunResult Shell(const std::string& command);
// How the tool runs: standard input from a file (else /dev/null), and a
// limit on the size of the files it writes, in bytes (0: none).
struct RunOptions {
  std::string input;
  uint64_t fileSizeLimit = 0;
};
// `quillon` with `arguments`, each one word.
RunResult Tool(const std::vector<std::string>& arguments, const RunOptions& options = {});
std::string Quote(const std::string& text);

// === Rasters ==================================================================

struct Raster {
  int32_t result = -1;  // the decode's answer: 0 or an error
  int width = 0;
  int height = 0;
  int channels = 0;  // 1 gray, 3 RGB
  int warnings = 0;  // peers: warnings about the data
  std::vector<uint8_t> pixels;
  uint32_t Rgb(size_t pixel) const;  // 0xRRGGBB, gray widened
};

// A binary PNM (P4 and P5 as gray, P6) or a PNG (as RGB); width 0 when it
// cannot be read.
Raster ReadImage(const std::string& path);
// A decoded page (run lists, pixels of any depth): bilevel pages and pages
// of 8-bit gray as gray, the rest through their palette as RGB.
Raster PageRaster(const quillon::PageRecord& page);
// A page decoded to its display form (the source itself is left as it is).
Raster DecodedRaster(quillon::PageRecord* page, int32_t flags = 0);
// Every page through the library: open, extract, decode to the display form.
Raster FileRaster(const std::string& path, int32_t index = 0, int32_t flags = 0);

// Coded bytes (a JPEG stream, say) decoded by the library: ConvertPage of a
// page over `data` to its display form.
Raster DecodeBytes(const std::vector<uint8_t>& data, int compression, int32_t flags = 0,
                   void* decoderContext = nullptr);

// RGB samples reduced to 5-6-5 and widened again by repeating their top
// bits, as a 16-bpp page shows them.
Raster Widened565(Raster raster);

// Equal sizes and every sample within `tolerance` (gray against RGB as
// three equal samples); the first pixel that differs in the message.
::testing::AssertionResult SamePixels(const Raster& expected, const Raster& actual, int tolerance = 0);
// Peak signal-to-noise ratio in dB over all samples, 99 when equal, 0 when
// the sizes differ.
double Psnr(const Raster& a, const Raster& b);

// The digest recorded under `name` in tests/data/digests.txt equals the
// picture's.  With QUILLON_UPDATE_DIGESTS=1 in the environment the picture's
// digest is recorded instead (with `peer`, the library or reference it was
// checked against) and the change printed.
::testing::AssertionResult MatchesDigest(const std::string& name, const Raster& raster,
                                         const std::string& peer);

// === The peer libraries =======================================================

// --- libtiff ----------------------------------------------------------------

struct TiffSpec {
  int width = 0, height = 0;
  int bitsPerSample = 8, samples = 1;
  int photometric = 1;  // PHOTOMETRIC_*
  int compression = 1;  // COMPRESSION_*
  int predictor = 1;
  int rowsPerStrip = 0;  // 0 = the whole page
  bool lsbFirst = false;  // FillOrder 2
  uint32_t group3Options = 0;
  Bytes colourMap;  // 3 x 2^bits entries of 16 bits for palette pages
};

// libtiff's coding of `rows` (TIFF scanlines, top line first).
Bytes TiffEncode(const TiffSpec& spec, const Bytes& rows);
// A TIFF file around strips that are already coded.
Bytes TiffWithStrips(const TiffSpec& spec, const std::vector<Bytes>& strips);
// The raw (still coded) strips of the first page.
std::vector<Bytes> TiffRawStrips(const Bytes& file);
// libtiff's picture of page `directory` through its RGBA interface.
Raster TiffRgba(const Bytes& file, int directory = 0);
// libtiff's fax coding of packed rows (1 = black), one block per strip.
std::vector<Bytes> FaxStrips(const Bytes& rows, int width, int height, int compression, int rowsPerStrip,
                             bool lsbFirst);
// libtiff's decode of the fax data a reader left in `page` (its strips or
// its one block).
Raster FaxPeerDecode(const quillon::PageRecord& page);

// --- giflib -----------------------------------------------------------------

// Every image of the file (not composed), through the colour table that
// applies to it.
std::vector<Raster> GifFrames(const Bytes& file);
// giflib's file of one image of palette indexes; `palette` holds RGB
// triplets (2, 4, 16 or 256 of them).
Bytes GifEncode(const Bytes& indexes, int width, int height, const Bytes& palette, bool interlaced);

// --- libjpeg-turbo ------------------------------------------------------------

// The accurate integer transform without fancy upsampling (djpeg -dct int
// -nosmooth), scaled by 1 / denominator.
Raster JpegDecode(const Bytes& jpeg, int denominator = 1);

struct JpegOptions {
  int quality = 85;
  int horizontal = 2, vertical = 2;  // luminance sampling factors
  bool gray = false;
  bool progressive = false;
  bool optimize = false;     // tables fitted to the picture
  bool longDcCodes = false;  // a luminance DC table with codes of 13 to 16 bits
  std::vector<std::array<int, 4>> grayScans;  // a progressive script: {Ss, Se, Ah, Al}
};
Bytes JpegEncode(const Raster& rgb, const JpegOptions& options = {});

// The quantised coefficients as the peer reads them: per component its
// blocks in raster order (whole MCUs), each in natural order.
struct JpegCoefficients {
  int result = -1;
  int mcusWide = 0, mcusHigh = 0;
  struct Component {
    int identifier = 0, horizontal = 0, vertical = 0;
    std::vector<std::array<int16_t, 64>> blocks;
    std::array<uint16_t, 64> quant{};
  };
  std::vector<Component> components;
};
JpegCoefficients JpegReadCoefficients(const Bytes& jpeg);

// The offset of the first segment `marker` (its 0xFF) before the scan
// data, or 0; and the stream with a segment of `body` inserted after SOI.
size_t FindJpegSegment(const Bytes& jpeg, int marker);
Bytes JpegWithSegment(const Bytes& jpeg, int marker, const Bytes& body);

// A photograph-like picture: smooth colour, texture, grain and hard edges.
Raster TestPicture(int width, int height);

// === Built files ==============================================================

// --- TIFF -----------------------------------------------------------------

struct TiffField {
  uint16_t tag;
  uint16_t type;  // 2 ASCII, 3 SHORT, 4 LONG, 5 RATIONAL
  std::vector<uint32_t> values;  // RATIONAL: numerator, denominator pairs
  std::string text;              // ASCII
};

struct TiffDirectory {
  std::vector<TiffField> fields;
  // Image data, written before the directory.  A StripOffsets field with no
  // values receives the data's offset, a StripByteCounts field its size.
  std::vector<uint8_t> image;
  // Sets `tag` to `values` (adding the field when it is missing).
  TiffDirectory& Set(uint16_t tag, uint16_t type, std::vector<uint32_t> values);
};

std::vector<uint8_t> BuildTiff(const std::vector<TiffDirectory>& directories, bool bigEndian = false);

// A bilevel directory with the usual tags for a `width` x `height` page.
TiffDirectory BilevelDirectory(uint32_t width, uint32_t height, uint32_t compression,
                               const std::vector<uint8_t>& image);

// --- Fax bit strings --------------------------------------------------------

// Bits written as text, "0001 1" (spaces ignored, "|" pads to the byte's
// end), most significant first.
struct BitString {
  std::vector<uint8_t> bytes;
  uint32_t bits = 0;
  BitString& Add(const std::string& text);
};

// --- PSEG -----------------------------------------------------------------

// One image cell: packed rows of (width + 7) / 8 bytes, bit 1 = ink.
struct PsegCell {
  int x = 0, y = 0, width = 0;
  std::vector<uint8_t> rows;
};

struct PsegOptions {
  bool cellPositions = true;      // false: no cell position record at all
  uint8_t descriptorExtension = 0;  // extension length on the image descriptor
  uint8_t rasterExtension = 0;      // extension length on the raster records
  size_t rasterChunk = 0;           // raster bytes per record, 0 = one record a cell
};

std::vector<uint8_t> BuildPseg(int width, int height, const std::vector<PsegCell>& cells,
                               const PsegOptions& options = {});

// --- WinFAX 10 ------------------------------------------------------------

struct WinFax10Page {
  int width = 0, height = 0;
  bool g4 = true;  // else G3 1-D
  std::vector<uint8_t> data;  // least significant bit first
};

std::vector<uint8_t> BuildWinFax10(const std::vector<WinFax10Page>& pages);

// --- IOCA -----------------------------------------------------------------

struct IocaPage {
  int width = 0, height = 0;
  int xDpi = 200, yDpi = 200;
  uint8_t encoding = 0x82;          // IOCA compression identifier
  int bitOrder = -1;                // -1: two-byte encoding parameter; else its third byte
  std::vector<uint8_t> image;       // the image data
  size_t imageChunk = 0;            // bytes per image data field, 0 = one field
  size_t pictureChunk = 0;          // self-defining bytes per picture data field, 0 = one
};

std::vector<uint8_t> BuildIoca(const std::vector<IocaPage>& pages);

// --- Microsoft AWD --------------------------------------------------------

struct AwdBand {
  int lines = 0;
  std::vector<uint8_t> data;  // G4, least significant bit first
};

struct AwdLayout {
  // File sectors (numbered as the compound document numbers them) that
  // hold allocation-table sectors.  More are added at the end when needed.
  std::vector<uint32_t> tableSectors;
  // Lay the stream's sectors out in reverse order after the first one.
  bool scrambled = false;
};

struct AwdFile {
  std::vector<uint8_t> bytes;
  std::vector<uint32_t> tableOffsets;  // file offsets of allocation-table sectors
  std::vector<std::pair<uint32_t, uint32_t>> bandSpans;  // file offsets of each band record's first and last byte
};

AwdFile BuildAwd(const std::vector<std::vector<AwdBand>>& pages, const AwdLayout& layout = {});

// --- FLI/FLC --------------------------------------------------------------

struct FliChunk {
  uint16_t type = 0;
  std::vector<uint8_t> body;
};

struct FliFrame {
  std::vector<FliChunk> chunks;
  bool prefix = false;  // a 0xF100 prefix chunk before the frame
};

// A file of the given frames.  `flc` picks the magic number 0xAF12 (else
// 0xAF11); `depth` is the header's depth byte.
std::vector<uint8_t> BuildFli(int width, int height, const std::vector<FliFrame>& frames,
                              bool flc = true, uint8_t depth = 8);

// Chunk bodies made from whole frames (one byte a pixel, `width` per line,
// fewer than 256 pixels), of literal packets: the tests write the others.
std::vector<uint8_t> FliPalette(const std::vector<uint8_t>& rgb, int firstEntry, bool sixBit);
std::vector<uint8_t> FliByteRun(const std::vector<uint8_t>& frame, int width, int height);
std::vector<uint8_t> FliByteDelta(const std::vector<uint8_t>& before,
                                  const std::vector<uint8_t>& after, int width, int height);
std::vector<uint8_t> FliWordDelta(const std::vector<uint8_t>& before,
                                  const std::vector<uint8_t>& after, int width, int height);

}  // namespace testutil

namespace testpix {

// Pixel values: 1 bpp 0 = black, 1 = white; 2, 4, 8 bpp palette indexes;
// 16 bpp the 5-6-5 word; 24 bpp 0xRRGGBB.
struct Image {
  int32_t width = 0;
  int32_t height = 0;
  int bpp = 8;
  std::vector<uint32_t> px;

  Image() = default;
  Image(int32_t w, int32_t h, int depth)
      : width(w), height(h), bpp(depth), px(static_cast<size_t>(w) * h) {}
  uint32_t& at(int32_t x, int32_t y) { return px[static_cast<size_t>(y) * width + x]; }
  uint32_t at(int32_t x, int32_t y) const { return px[static_cast<size_t>(y) * width + x]; }
};

// Deterministic pseudo-random pixels of the depth's range.
Image Noise(int32_t width, int32_t height, int bpp, uint32_t seed);
// Every pixel the same value.
Image Uniform(int32_t width, int32_t height, int bpp, uint32_t value);
// Rows of bytes that exercise the different paths of the coders, read as
// pixels of `bpp`.
enum class Pattern { kNoise, kRuns, kGradient, kConstant, kAlternating };
Image Patterned(int32_t width, int32_t height, int bpp, Pattern pattern, uint32_t seed);
// A bilevel drawing (1 = white): frame, diagonal, box, stripes and speckle,
// so that a fax coder meets runs of every length.
Image Drawing(int32_t width, int32_t height, uint32_t seed);
// The pixels packed into rows of RowBytes (or `stride`) bytes, bilevel
// pixels inverted when `inkIsOne`.
std::vector<uint8_t> PackedRows(const Image& image, bool inkIsOne = false, uint32_t stride = 0);
// As a raster: bilevel pages black and white, 8 bpp as gray levels, 16 and
// 24 bpp as colours.
testutil::Raster ToRaster(const Image& image);

// Each maker first releases what the page held.
// Uncompressed page (lines BytesPerLine apart, owned buffer, dataSize
// exactly height x stride).  4- and 8-bpp pages get `palette` (768 bytes)
// or a gray ramp.  Bottom-up pages store their last line first.
void MakePixelPage(const Image& image, quillon::PageRecord* page,
                   const uint8_t* palette = nullptr, bool bottomUp = false);
// Bilevel page as run lists (CompressionCode 11), built with the core's
// row encoder; bottom-up pages list their last line first.
void MakeRunListPage(const Image& image, quillon::PageRecord* page, bool bottomUp = false);
// A run-list page of hand-written lines, each followed by three zero bytes.
void MakeRunLines(const std::vector<std::vector<uint8_t>>& lines, int32_t width, quillon::PageRecord* page);
// Either form, by depth: run lists for 1 bpp, pixels otherwise.
void MakePage(const Image& image, quillon::PageRecord* page,
              const uint8_t* palette = nullptr, bool bottomUp = false);

// Reads a decoded page (pixels in either line order, packed 1 bpp or run
// lists) back.
Image ReadPage(const quillon::PageRecord& page);
// Reads `height` lines of packed pixels `stride` bytes apart.
Image ReadBuffer(const uint8_t* data, uint32_t stride, int32_t width,
                 int32_t height, int bpp);

// The image turned clockwise by `rotation` (a multiple of 90), mirrored
// left to right or top to bottom.
Image Turned(const Image& image, int rotation);
Image Mirrored(const Image& image, bool horizontal, bool vertical);

// The run lengths of every line of a run-list page, white first; a failure
// is recorded when a line's runs do not add up to the width or a run but a
// first white one is empty.
std::vector<std::vector<uint32_t>> RunLengths(const quillon::PageRecord& page);

// Equality with the first differing pixel in the failure message.
::testing::AssertionResult SameImage(const Image& expected, const Image& actual);

// The fields a pixel operation may change are the same (buffers compared
// by address).
::testing::AssertionResult SameRecord(const quillon::PageRecord& a,
                                      const quillon::PageRecord& b);

// Palette entry i as 0xRRGGBB.
uint32_t PaletteColour(const uint8_t* palette, uint32_t index);
// A palette of distinct, unordered colours with entry 0 black.
std::vector<uint8_t> ColourfulPalette(uint32_t seed);

}  // namespace testpix
