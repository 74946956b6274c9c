#include "hostile/hostile_files.h"

#include <zlib.h>

#include <string_view>

#include "imaging/core/tiff_tags.h"

namespace hostile {

namespace {

struct Out {
  std::vector<uint8_t> b;
  bool big = false;
  Out& Text(std::string_view s) { return b.insert(b.end(), s.begin(), s.end()), *this; }
  Out& N(uint32_t v, int bytes) {
    for (int k = 0; k < bytes; ++k) b.push_back(static_cast<uint8_t>(v >> 8 * (big ? bytes - 1 - k : k)));
    return *this;
  }
  Out& U16(uint32_t v) { return N(v, 2); }
  Out& U32(uint32_t v) { return N(v, 4); }
  Out& Zeros(size_t n) { return b.insert(b.end(), n, 0), *this; }
  void Set32(size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k) b[at + k] = static_cast<uint8_t>(v >> 8 * (big ? 3 - k : k));
  }
};

// An animation of a huge screen whose every one of 300 frames clears it.
HostileFile ClearingFlc(uint32_t side) {
  Out o;
  o.U32(0).U16(0xAF12).U16(300).U16(side).U16(side).U16(8).Zeros(114);
  for (int k = 0; k < 300; ++k) o.U32(22).U16(0xF1FA).U16(1).Zeros(8).U32(6).U16(13);
  o.Set32(0, static_cast<uint32_t>(o.b.size()));
  return {"flc-300-clears.flc", o.b};
}

// TIFF directories of uncompressed RGB pages over one byte; with `count`
// above 1, every other page lies beyond the pixel cap.
HostileFile RgbTiffPages(const char* name, uint32_t count, uint32_t side) {
  Out o;
  o.Text("II").U16(42).U32(8);
  for (uint32_t k = 0; k < count; ++k) {
    const uint32_t s = k % 2 ? 18000 : side;
    using namespace quillon;
    const uint32_t entries[8][2] = {{kTagImageWidth, s},    {kTagImageLength, s},     {kTagBitsPerSample, 8},
                                    {kTagCompression, 1},   {kTagPhotometric, 2},     {kTagStripOffsets, 0},
                                    {kTagSamplesPerPixel, 3}, {kTagStripByteCounts, 1}};
    o.U16(8);
    for (const auto& e : entries)
      o.U16(e[0]).U16(e[0] <= kTagImageLength ? kTiffLong : kTiffShort).U32(1).U32(e[1]);
    o.U32(k + 1 < count ? static_cast<uint32_t>(o.b.size() + 4) : 0);
  }
  return {name, o.b};
}

// 65 cross-reference streams chained by /Prev, each claiming 67 million
// one-byte entries over no data.
HostileFile ChainedXrefStreams() {
  Out o;
  o.Text("%PDF-1.5\n");
  size_t previous = 0;
  for (int k = 1; k <= 65; ++k) {
    const size_t at = o.b.size();
    o.Text(std::to_string(k) + " 0 obj\n<< /Type /XRef /Size 67000000 /W [1 0 0]" +
           (previous ? " /Prev " + std::to_string(previous) : "") +
           " /Length 0 >>\nstream\r\n\r\nendstream\nendobj\n");
    previous = at;
  }
  o.Text("startxref\n" + std::to_string(previous) + "\n%%EOF\n");
  return {"pdf-xref-chain.pdf", o.b};
}

// Images whose colour spaces each name another object that does not exist.
HostileFile MissingColourSpaces(uint32_t images) {
  uint8_t packed[32];
  uLongf packedSize = sizeof packed;
  const uint8_t pixel = 0x80;
  compress(packed, &packedSize, &pixel, 1);
  Out o;
  o.Text("%PDF-1.4\n");
  std::string xref = "xref\n0 " + std::to_string(images + 1) + "\n0000000000 65535 f \n";
  for (uint32_t k = 1; k <= images; ++k) {
    const std::string at = std::to_string(o.b.size());
    xref += std::string(10 - at.size(), '0') + at + " 00000 n \n";
    // No "endobj": images are taken whatever their length.
    o.Text(std::to_string(k) + " 0 obj\n<< /Subtype /Image /Width 1 /Height 1 /BitsPerComponent 8"
           " /ColorSpace " + std::to_string(100000 + k) + " 0 R /Filter /FlateDecode /Length " +
           std::to_string(packedSize) + " >>\nstream\r\n");
    o.b.insert(o.b.end(), packed, packed + packedSize);
    o.Text("\nendstream\n");
  }
  // An object stream, so that every lookup also had streams to search.
  o.Text("90000 0 obj\n<< /Type /ObjStm /N 2 /First 8 /Length 17 >>\nstream\r\n"
         "7 0 8 5 <<>> <<>>\nendstream\n");
  const std::string start = std::to_string(o.b.size());
  o.Text(xref + "trailer\n<< /Size " + std::to_string(images + 1) + " >>\nstartxref\n" + start +
         "\n%%EOF\n");
  return {"pdf-4096-missing-objects.pdf", o.b};
}

// A movie whose sample-to-chunk first chunks alternate between 1 and the
// last of `chunks` chunks.
HostileFile AlternatingSampleToChunk(uint32_t entries, uint32_t chunks) {
  Out o;
  o.big = true;
  std::vector<size_t> open;
  auto atom = [&](const char* type) { open.push_back(o.b.size()), o.U32(0).Text(type); };
  auto close = [&] { o.Set32(open.back(), static_cast<uint32_t>(o.b.size() - open.back())), open.pop_back(); };
  o.U32(8).Text("wide");  // movies start with a small atom
  atom("moov"), atom("trak"), atom("mdia");
  atom("mdhd"), o.Zeros(12).U32(600).Zeros(8), close();
  atom("minf"), atom("vmhd"), o.Zeros(12), close();
  atom("stbl");
  atom("stsd"), o.U32(0).U32(1).U32(16).Text("jpeg").Zeros(8), close();
  atom("stts"), o.U32(0).U32(1).U32(100).U32(20), close();
  atom("stsz"), o.U32(0).U32(16).U32(100), close();  // 100 frames of 16 bytes
  atom("stsc"), o.U32(0).U32(entries);
  for (uint32_t e = 0; e < entries; ++e) o.U32(e % 2 ? chunks : 1).U32(1).U32(1);
  close();
  atom("stco"), o.U32(0).U32(chunks);
  for (uint32_t c = 0; c < chunks; ++c) o.U32(8);
  while (!open.empty()) close();
  return {"quicktime-stsc.mov", o.b};
}

// A fax file declaring 65535 pages whose table names the same 2 KB of
// white lines (end of line, make-up 1728, terminating white 0).
HostileFile RepeatedFaxPages() {
  Out o;
  o.Text("QLIIFAX").Zeros(1).U16(65535).Zeros(22).U32(48).U32(48).U32(48).U32(48);
  std::string bits;
  while (bits.size() < 8 * 2048) bits += "000000000001" "010011011" "00110101";
  for (size_t i = 0; i + 8 <= bits.size(); i += 8) {
    uint32_t v = 0;
    for (int k = 0; k < 8; ++k) v |= (bits[i + k] == '1') << k;  // least significant bit first
    o.N(v, 1);
  }
  return {"quicklinks-65535-pages.qlk", o.b};
}

// A clip without an index whose movie list is zeros to `total` bytes.
HostileFile ZeroMovieList(uint64_t total, bool sparse) {
  Out o;
  o.Text("RIFF").U32(static_cast<uint32_t>(total - 8)).Text("AVI LIST").U32(144).Text("hdrl");
  o.Text("avih").U32(56).U32(40000).Zeros(52).Text("LIST").U32(68).Text("strl");
  o.Text("strh").U32(56).Text("vidsmjpg").Zeros(48);
  o.Text("LIST").U32(static_cast<uint32_t>(total - o.b.size() - 8)).Text("movi");
  HostileFile f{"avi-zero-movie-list.avi", o.b};
  if (sparse) f.sparseSize = total;
  else f.bytes.resize(total, 0);
  return f;
}

}  // namespace

std::vector<HostileFile> HostileFiles(Scale scale) {
  const bool full = scale == Scale::kFull;
  return {ClearingFlc(full ? 16384 : 2048),
          RgbTiffPages("tiff-4096-pages.tif", full ? 4096 : 64, full ? 16384 : 2048),
          RgbTiffPages("tiff-16384-rgb.tif", 1, 16384),
          ChainedXrefStreams(),
          MissingColourSpaces(full ? 4096 : 64),
          AlternatingSampleToChunk(full ? 100000 : 2000, full ? 262144 : 4096),
          RepeatedFaxPages(),
          ZeroMovieList(full ? 0x7FFF0000u : 65712, full)};
}

}  // namespace hostile
