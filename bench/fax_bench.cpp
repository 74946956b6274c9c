// Fax decoding against libtiff: one page coded by libtiff in G4, G3 2-D,
// G3 1-D and Modified Huffman, decoded by our decoders into run lists and
// into a bitmap (each line painted as it is decoded), and by libtiff's
// TIFFReadEncodedStrip from the same in-memory TIFF.
#include <benchmark/benchmark.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "imaging/codecs/codecs.h"
#include "imaging/core/page.h"
#include "imaging/core/runlist.h"
#include "support/compare.h"
#include "support/fax_pages.h"
#include "support/lzw_compare.h"
#include "support/lzw_pages.h"
#include "support/support.h"

namespace {

using namespace quillon;

enum class PageKind { kText, kDense };

struct Coding {
  const char* name;
  int tiffCompression;
  uint32_t group3Options;
  int code;  // our CompressionCode
};

constexpr Coding kCodings[] = {
    {"G4", COMPRESSION_CCITTFAX4, 0, kG4},
    {"G3-2D", COMPRESSION_CCITTFAX3, GROUP3OPT_2DENCODING, kG3TwoD},
    {"G3-1D", COMPRESSION_CCITTFAX3, 0, kG3OneD},
    {"MH", COMPRESSION_CCITTRLE, 0, kModifiedHuffman},
};

// A page coded one way: the TIFF for libtiff and its raw strip for us.
struct CodedPage {
  bench::BilevelPage page;
  std::vector<uint8_t> tiff;
  std::vector<uint8_t> raw;
  bool agree = false;        // our decode to runs equals libtiff's
  bool bitmapAgrees = false;  // and so does our bitmap
};

int32_t Decode(const Coding& coding, PageRecord* source, PageRecord* out) {
  switch (coding.code) {
    case kG4: return DecodeG4(source, out, 0);
    case kG3TwoD: return DecodeG3TwoD(source, out, 0);
    case kG3OneD: return DecodeG3OneD(source, out, 0);
    default: return DecodeModifiedHuffman(source, out, 0);
  }
}

PageRecord SourceRecord(const CodedPage& c, const Coding& coding) {
  PageRecord r{};
  r.width = c.page.width;
  r.height = c.page.height;
  r.bitsPerPixel = 1;
  r.compression = static_cast<int8_t>(coding.code);
  r.data = const_cast<uint8_t*>(c.raw.data());
  r.dataSize = static_cast<uint32_t>(c.raw.size());
  r.dataOwnership = kOwnedByView;
  r.rowsPerStrip = c.page.height;
  return r;
}

// Paints run lists into rows laid out as libtiff's (1 = black).
void PaintBlackRows(const PageRecord& runs, uint8_t* rows, uint32_t rowBytes) {
  uint8_t** lines = LinePointers(runs);
  for (int32_t y = 0; y < runs.height; ++y) {
    uint8_t* row = rows + static_cast<size_t>(y) * rowBytes;
    RunsToRow(lines[y], runs.width, row);
    for (uint32_t i = 0; i < rowBytes; ++i) row[i] = static_cast<uint8_t>(~row[i]);
    if (runs.width % 8) row[rowBytes - 1] &= static_cast<uint8_t>(0xFF << (8 - runs.width % 8));
  }
}

const CodedPage& Coded(PageKind kind, const Coding& coding) {
  static std::map<std::pair<int, int>, std::unique_ptr<CodedPage>> cache;
  auto& slot = cache[{static_cast<int>(kind), coding.code}];
  if (slot) return *slot;
  slot = std::make_unique<CodedPage>();
  CodedPage& c = *slot;
  c.page = kind == PageKind::kText ? bench::TextPage() : bench::DensePage();
  c.tiff = testutil::TiffEncode({c.page.width, c.page.height, 1, 1, PHOTOMETRIC_MINISWHITE, coding.tiffCompression, 1,
                                 0, false, coding.group3Options},
                                c.page.rows);
  c.raw = testutil::TiffRawStrips(c.tiff)[0];
  // Both decoders must give the page back before either is timed.
  PageRecord source = SourceRecord(c, coding), out = source;
  if (Decode(coding, &source, &out) == kOk) {
    const uint32_t rowBytes = RowBytes(c.page.width, 1);
    std::vector<uint8_t> rows(c.page.rows.size());
    PaintBlackRows(out, rows.data(), rowBytes);
    c.agree = rows == c.page.rows;
    FreePage(&out);
  }
  source = SourceRecord(c, coding);
  PageRecord bitmap = source;
  bitmap.compression = kUncompressed;
  if (ConvertPage(&source, &bitmap, 0) == kOk) {
    const uint32_t rowBytes = RowBytes(c.page.width, 1);
    const uint8_t lastMask = static_cast<uint8_t>(0xFF << ((8 - c.page.width % 8) % 8));
    c.bitmapAgrees = true;
    for (int32_t y = 0; y < c.page.height; ++y)
      for (uint32_t i = 0; i < rowBytes; ++i) {
        const uint8_t mask = i + 1 == rowBytes ? lastMask : 0xFF;
        const uint8_t ink = static_cast<uint8_t>(~bitmap.data[static_cast<size_t>(y) * bitmap.bytesPerLine + i]);
        c.bitmapAgrees &= (ink & mask) == c.page.rows[static_cast<size_t>(y) * rowBytes + i];
      }
    FreePage(&bitmap);
  }
  return c;
}

// Pixels per second, and the coded size of the page.
void Report(benchmark::State& state, const CodedPage& c) {
  state.SetItemsProcessed(state.iterations() * c.page.width * c.page.height);
  state.counters["coded_KB"] = static_cast<double>(c.raw.size()) / 1024;
}

void OursToRuns(benchmark::State& state, PageKind kind, Coding coding) {
  const CodedPage& c = Coded(kind, coding);
  if (!c.agree) return state.SkipWithError("our decode differs from the page");
  bench::TimeIterations(state, std::string("fax runs ") + coding.name, bench::Side::kOurs, [&] {
    PageRecord source = SourceRecord(c, coding), out = source;
    if (Decode(coding, &source, &out) != kOk) return state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(out.data);
    FreePage(&out);
  });
  Report(state, c);
}

// The page converted to a bitmap, as the display asks for it: each line
// painted as it is decoded, into the page the caller hands back (flag 8),
// as the peer's kept buffer.
void OursToRows(benchmark::State& state, PageKind kind, Coding coding) {
  const CodedPage& c = Coded(kind, coding);
  if (!c.bitmapAgrees) return state.SkipWithError("our bitmap differs from the page");
  std::vector<uint8_t> kept(static_cast<size_t>(BytesPerLine(c.page.width, 1)) * c.page.height);
  bench::TimeIterations(state, std::string("fax rows ") + coding.name, bench::Side::kOurs, [&] {
    PageRecord source = SourceRecord(c, coding), out = source;
    out.compression = kUncompressed;
    out.data = kept.data();
    out.dataSize = static_cast<uint32_t>(kept.size());
    if (ConvertPage(&source, &out, kFlagIntoDestination) != kOk || out.data != kept.data())
      return state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(kept.data());
  });
  Report(state, c);
}

void Libtiff(benchmark::State& state, PageKind kind, Coding coding) {
  const CodedPage& c = Coded(kind, coding);
  bench::MemoryFile file{&c.tiff};
  TIFF* tif = bench::OpenMemoryTiff(&file);
  if (!tif) return state.SkipWithError("libtiff cannot open the page");
  std::vector<uint8_t> rows(c.page.rows.size());
  bench::TimeIterations(state, std::string("fax libtiff ") + coding.name, bench::Side::kPeer, [&] {
    if (TIFFReadEncodedStrip(tif, 0, rows.data(), static_cast<tmsize_t>(rows.size())) < 0)
      state.SkipWithError("libtiff decode failed");
    benchmark::DoNotOptimize(rows.data());
  });
  TIFFClose(tif);
  if (rows != c.page.rows) state.SkipWithError("libtiff's decode differs from the page");
  Report(state, c);
}

bool Register() {
  TIFFSetWarningHandler(nullptr);
  for (PageKind kind : {PageKind::kText, PageKind::kDense}) {
    const std::string pageName = kind == PageKind::kText ? "text" : "dense";
    for (const Coding& coding : kCodings) {
      const std::string prefix = "fax/" + pageName + "/" + coding.name + "/";
      bench::Fastest(benchmark::RegisterBenchmark((prefix + "libtiff").c_str(), Libtiff, kind,
                                                  coding))
          ->UseManualTime()->Unit(benchmark::kMicrosecond);
      bench::Fastest(benchmark::RegisterBenchmark((prefix + "runs").c_str(), OursToRuns, kind,
                                                  coding))
          ->UseManualTime()->Unit(benchmark::kMicrosecond);
      bench::Fastest(benchmark::RegisterBenchmark((prefix + "rows").c_str(), OursToRows, kind,
                                                  coding))
          ->UseManualTime()->Unit(benchmark::kMicrosecond);
      bench::AddComparison({pageName + " page, " + coding.name, prefix + "libtiff",
                            {{"runs", prefix + "runs"}, {"bitmap", prefix + "rows"}}});
    }
  }
  return true;
}

const bool registered = Register();

}  // namespace
