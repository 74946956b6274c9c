#include "hostile/hostile_files.h"

#include <zlib.h>

#include <string_view>

namespace hostile {

namespace {

struct Out {
  std::vector<uint8_t> b;
  bool big = false;
  void Text(std::string_view s) { b.insert(b.end(), s.begin(), s.end()); }
  void U8(uint32_t v) { b.push_back(static_cast<uint8_t>(v)); }
  void U16(uint32_t v) {
    for (int k = 0; k < 2; ++k) U8(v >> (big ? 8 * (1 - k) : 8 * k));
  }
  void U32(uint32_t v) {
    for (int k = 0; k < 4; ++k) U8(v >> (big ? 8 * (3 - k) : 8 * k));
  }
  void Zeros(size_t n) { b.insert(b.end(), n, 0); }
  void Set32(size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k) b[at + k] = static_cast<uint8_t>(v >> (big ? 8 * (3 - k) : 8 * k));
  }
};

// An animation of a huge screen whose every frame clears it.
HostileFile ClearingFlc(Scale scale) {
  const uint32_t side = scale == Scale::kFull ? 16384 : 2048, frames = 300;
  Out o;
  o.U32(0);
  o.U16(0xAF12);
  o.U16(frames);
  o.U16(side);
  o.U16(side);
  o.U16(8);
  o.Zeros(128 - o.b.size());
  for (uint32_t k = 0; k < frames; ++k) {
    o.U32(22), o.U16(0xF1FA), o.U16(1), o.Zeros(8);  // frame header, one chunk
    o.U32(6), o.U16(13);                             // "black"
  }
  o.Set32(0, static_cast<uint32_t>(o.b.size()));
  return {"flc-300-clears.flc", o.b};
}

// Directories of uncompressed RGB pages over one byte of data, every other
// one beyond the pixel cap.
HostileFile ManyLargeTiffPages(Scale scale) {
  const uint32_t count = scale == Scale::kFull ? 4096 : 64;
  const uint32_t side = scale == Scale::kFull ? 16384 : 2048;
  Out o;
  o.Text("II"), o.U16(42), o.U32(8);
  for (uint32_t k = 0; k < count; ++k) {
    const uint32_t s = k % 2 ? 18000 : side;
    const uint32_t entries[8][2] = {{256, s}, {257, s}, {258, 8}, {259, 1},
                                    {262, 2}, {273, 0}, {277, 3}, {279, 1}};
    o.U16(8);
    for (const auto& e : entries) o.U16(e[0]), o.U16(e[0] == 256 || e[0] == 257 ? 4 : 3), o.U32(1), o.U32(e[1]);
    o.U32(k + 1 < count ? static_cast<uint32_t>(o.b.size() + 4) : 0);
  }
  return {"tiff-4096-pages.tif", o.b};
}

// The largest page the library holds, from a hundred bytes.
HostileFile LargestRgbPage() {
  Out o;
  o.Text("II"), o.U16(42), o.U32(8);
  const uint32_t entries[8][2] = {{256, 16384}, {257, 16384}, {258, 8}, {259, 1},
                                  {262, 2},     {273, 0},     {277, 3}, {279, 1}};
  o.U16(8);
  for (const auto& e : entries) o.U16(e[0]), o.U16(e[0] <= 257 ? 4 : 3), o.U32(1), o.U32(e[1]);
  o.U32(0);
  return {"tiff-16384-rgb.tif", o.b};
}

// Cross-reference streams chained by /Prev, each claiming 67 million
// one-byte entries over no data at all.
HostileFile ChainedXrefStreams() {
  Out o;
  o.Text("%PDF-1.5\n");
  uint32_t previous = 0;
  for (int k = 1; k <= 65; ++k) {
    const uint32_t at = static_cast<uint32_t>(o.b.size());
    std::string prev = previous ? " /Prev " + std::to_string(previous) : "";
    o.Text(std::to_string(k) + " 0 obj\n<< /Type /XRef /Size 67000000 /W [1 0 0]" + prev +
           " /Length 0 >>\nstream\r\n\r\nendstream\nendobj\n");
    previous = at;
  }
  o.Text("startxref\n" + std::to_string(previous) + "\n%%EOF\n");
  return {"pdf-xref-chain.pdf", o.b};
}

// Images whose colour spaces name objects that do not exist, each another.
HostileFile MissingColourSpaces(Scale scale) {
  const uint32_t images = scale == Scale::kFull ? 4096 : 64;
  uint8_t packed[32];
  uLongf packedSize = sizeof packed;
  const uint8_t pixel = 0x80;
  compress(packed, &packedSize, &pixel, 1);
  Out o;
  o.Text("%PDF-1.4\n");
  std::vector<uint32_t> offsets;
  for (uint32_t k = 1; k <= images; ++k) {
    offsets.push_back(static_cast<uint32_t>(o.b.size()));
    // No "endobj": the images are taken whatever their length.
    o.Text(std::to_string(k) + " 0 obj\n<< /Type /XObject /Subtype /Image /Width 1 /Height 1"
           " /BitsPerComponent 8 /ColorSpace " + std::to_string(100000 + k) +
           " 0 R /Filter /FlateDecode /Length " + std::to_string(packedSize) + " >>\nstream\r\n");
    o.b.insert(o.b.end(), packed, packed + packedSize);
    o.Text("\nendstream\n");
  }
  // An object stream, so that every lookup also had streams to search.
  o.Text("90000 0 obj\n<< /Type /ObjStm /N 2 /First 8 /Length 17 >>\nstream\r\n"
         "7 0 8 5 <<>> <<>>\nendstream\n");
  const uint32_t xref = static_cast<uint32_t>(o.b.size());
  o.Text("xref\n0 " + std::to_string(images + 1) + "\n0000000000 65535 f \n");
  for (uint32_t at : offsets) {
    std::string entry = std::to_string(at);
    o.Text(std::string(10 - entry.size(), '0') + entry + " 00000 n \n");
  }
  o.Text("trailer\n<< /Size " + std::to_string(images + 1) + " >>\nstartxref\n" +
         std::to_string(xref) + "\n%%EOF\n");
  return {"pdf-4096-missing-objects.pdf", o.b};
}

// A sample-to-chunk table whose first chunks alternate between 1 and the
// last chunk, over a chunk-offset table that long.
HostileFile AlternatingSampleToChunk(Scale scale) {
  const uint32_t entries = scale == Scale::kFull ? 100000 : 2000;
  const uint32_t chunks = scale == Scale::kFull ? 262144 : 4096;
  Out o;
  o.big = true;
  std::vector<size_t> sizes;  // where each open atom's size goes
  auto open = [&](const char* type) {
    sizes.push_back(o.b.size());
    o.U32(0), o.Text(type);
  };
  auto close = [&] {
    o.Set32(sizes.back(), static_cast<uint32_t>(o.b.size() - sizes.back()));
    sizes.pop_back();
  };
  o.U32(8), o.Text("wide");  // movies start with a small atom
  open("moov"), open("trak"), open("mdia");
  open("mdhd"), o.Zeros(12), o.U32(600), o.Zeros(8), close();
  open("minf");
  open("vmhd"), o.Zeros(12), close();
  open("stbl");
  open("stsd"), o.U32(0), o.U32(1), o.U32(16), o.Text("jpeg"), o.Zeros(8), close();
  open("stts"), o.U32(0), o.U32(1), o.U32(100), o.U32(20), close();
  open("stsz"), o.U32(0), o.U32(16), o.U32(100), close();
  open("stsc"), o.U32(0), o.U32(entries);
  for (uint32_t e = 0; e < entries; ++e) o.U32(e % 2 ? chunks : 1), o.U32(1), o.U32(1);
  close();
  open("stco"), o.U32(0), o.U32(chunks);
  for (uint32_t c = 0; c < chunks; ++c) o.U32(8);
  close();
  close(), close(), close(), close(), close();
  return {"quicktime-stsc.mov", o.b};
}

// A fax file declaring 65535 pages whose table names the same 2 KB of lines.
HostileFile RepeatedFaxPages() {
  Out o;
  o.Text("QLIIFAX"), o.U8(0), o.U16(65535), o.Zeros(32 - o.b.size());
  for (int k = 0; k < 4; ++k) o.U32(48);
  // White lines: end of line, white 1728 (make-up 1728, terminating 0).
  std::string bits;
  while (bits.size() < 8 * 2048) bits += std::string("000000000001") + "010011011" + "00110101";
  for (size_t i = 0; i + 8 <= bits.size(); i += 8) {
    uint32_t v = 0;
    for (int k = 0; k < 8; ++k) v |= (bits[i + k] == '1') << k;  // least significant bit first
    o.U8(v);
  }
  return {"quicklinks-65535-pages.qlk", o.b};
}

// A clip without an index whose movie list is zeros up to 2 GB.
HostileFile ZeroMovieList(Scale scale) {
  Out o;
  o.Text("RIFF"), o.U32(0), o.Text("AVI ");
  o.Text("LIST"), o.U32(4 + 8 + 56 + 12 + 8 + 56), o.Text("hdrl");
  o.Text("avih"), o.U32(56), o.U32(40000), o.Zeros(52);
  o.Text("LIST"), o.U32(4 + 8 + 56), o.Text("strl");
  o.Text("strh"), o.U32(56), o.Text("vidsmjpg"), o.Zeros(48);
  const uint64_t total = scale == Scale::kFull ? 0x7FFF0000u : o.b.size() + 12 + 65536;
  o.Text("LIST"), o.U32(static_cast<uint32_t>(total - o.b.size() - 8)), o.Text("movi");
  o.Set32(4, static_cast<uint32_t>(total - 8));
  HostileFile f{"avi-zero-movie-list.avi", o.b};
  if (scale == Scale::kFull) f.sparseSize = total;
  else f.bytes.resize(total, 0);
  return f;
}

// A 32-bit BMP line longer than 64 KiB: its stride once wrapped to a few
// bytes, and the conversion wrote whole rows past them.
HostileFile WideBmp() {
  const uint32_t width = 21846, stride = 4 * width;
  Out o;
  o.Text("BM"), o.U32(54 + stride), o.U32(0), o.U32(54);
  o.U32(40), o.U32(width), o.U32(1), o.U16(1), o.U16(32), o.U32(0), o.U32(stride), o.Zeros(16);
  o.b.resize(54 + stride, 0x7F);
  return {"bmp32-21846-wide.bmp", o.b};
}

}  // namespace

std::vector<HostileFile> HostileFiles(Scale scale) {
  std::vector<HostileFile> files = {
      ClearingFlc(scale),       ManyLargeTiffPages(scale), LargestRgbPage(),
      ChainedXrefStreams(),     MissingColourSpaces(scale), AlternatingSampleToChunk(scale),
      RepeatedFaxPages(),       ZeroMovieList(scale),       WideBmp(),
  };
  return files;
}

}  // namespace hostile
