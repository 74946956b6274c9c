#include "support/support.h"

#include <algorithm>
#include <cstring>

namespace testutil {

using namespace quillon;  // the TIFF tag and type names

namespace {

void Append(std::vector<uint8_t>& out, const std::vector<uint8_t>& bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}
void AppendBE16(std::vector<uint8_t>& out, uint32_t v) { PutBE16(out, out.size(), v); }
void AppendLE16(std::vector<uint8_t>& out, uint32_t v) { PutLE16(out, out.size(), v); }
void AppendLE32(std::vector<uint8_t>& out, uint32_t v) { PutLE32(out, out.size(), v); }

// --- PSEG: 'Z', length, identifier, flags, two reserved bytes, fields.
void PsegRecord(std::vector<uint8_t>& out, uint32_t id, const std::vector<uint8_t>& fields,
                uint8_t extension = 0) {
  out.push_back('Z');
  AppendBE16(out, static_cast<uint32_t>(8 + extension + fields.size()));
  Append(out, {static_cast<uint8_t>(id >> 16), static_cast<uint8_t>(id >> 8), static_cast<uint8_t>(id),
               static_cast<uint8_t>(extension ? 1 : 0), 0, 0});
  if (extension) {
    out.push_back(extension);  // counts itself
    out.insert(out.end(), extension - 1u, 0xEE);
  }
  Append(out, fields);
}

// --- IOCA: length, 0xD3, type, flags, two sequence bytes, data.
void IocaField(std::vector<uint8_t>& out, uint32_t type, const std::vector<uint8_t>& data) {
  AppendBE16(out, static_cast<uint32_t>(8 + data.size()));
  out.push_back(0xD3);
  AppendBE16(out, type);
  out.insert(out.end(), 3, 0);
  Append(out, data);
}

}  // namespace

TiffDirectory& TiffDirectory::Set(uint16_t tag, uint16_t type, std::vector<uint32_t> values) {
  for (TiffField& f : fields)
    if (f.tag == tag) {
      f.type = type;
      f.values = std::move(values);
      return *this;
    }
  fields.push_back({tag, type, std::move(values), {}});
  return *this;
}

std::vector<uint8_t> BuildTiff(const std::vector<TiffDirectory>& directories, bool big) {
  std::vector<uint8_t> out;
  auto u16 = [&](size_t at, uint32_t v) { big ? PutBE16(out, at, v) : PutLE16(out, at, v); };
  auto u32 = [&](size_t at, uint32_t v) { big ? PutBE32(out, at, v) : PutLE32(out, at, v); };
  PutText(out, 0, big ? "MM" : "II");
  u16(2, 42);
  u32(4, 0);
  size_t linkAt = 4;  // where the next directory's offset goes
  for (const TiffDirectory& dir : directories) {
    const size_t imageAt = out.size();
    out.insert(out.end(), dir.image.begin(), dir.image.end());
    if (out.size() % 2) out.push_back(0);
    std::vector<TiffField> fields = dir.fields;
    std::sort(fields.begin(), fields.end(), [](const TiffField& a, const TiffField& b) { return a.tag < b.tag; });
    const size_t dirAt = out.size(), n = fields.size();
    u32(linkAt, static_cast<uint32_t>(dirAt));
    out.resize(dirAt + 2 + 12 * n + 4, 0);
    u16(dirAt, static_cast<uint32_t>(n));
    for (size_t i = 0; i < n; ++i) {
      TiffField& f = fields[i];
      if (f.tag == kTagStripOffsets && f.values.empty()) f.values = {static_cast<uint32_t>(imageAt)};
      if (f.tag == kTagStripByteCounts && f.values.empty()) f.values = {static_cast<uint32_t>(dir.image.size())};
      const uint32_t count = static_cast<uint32_t>(f.type == 2 ? f.text.size() + 1
                                                   : f.type == 5 ? f.values.size() / 2 : f.values.size());
      const size_t e = dirAt + 2 + 12 * i;
      const size_t bytes = static_cast<size_t>(count) * (f.type == 3 ? 2 : f.type == 4 ? 4 : f.type == 5 ? 8 : 1);
      u16(e, f.tag);
      u16(e + 2, f.type);
      u32(e + 4, count);
      size_t at = e + 8;
      if (bytes > 4) {  // values that do not fit the entry follow the directory
        at = out.size();
        u32(e + 8, static_cast<uint32_t>(at));
        out.resize(at + bytes + bytes % 2, 0);
      }
      if (f.type == 2) PutText(out, at, f.text);
      for (size_t k = 0; k < f.values.size(); ++k) f.type == 3 ? u16(at + 2 * k, f.values[k]) : u32(at + 4 * k, f.values[k]);
    }
    linkAt = dirAt + 2 + 12 * n;
  }
  return out;
}

TiffDirectory BilevelDirectory(uint32_t width, uint32_t height, uint32_t compression,
                               const std::vector<uint8_t>& image) {
  TiffDirectory d;
  d.image = image;
  d.fields = {{kTagImageWidth, kTiffLong, {width}, {}},  {kTagImageLength, kTiffLong, {height}, {}},   {kTagBitsPerSample, kTiffShort, {1}, {}},
              {kTagCompression, kTiffShort, {compression}, {}}, {kTagPhotometric, kTiffShort, {0}, {}}, {kTagStripOffsets, kTiffLong, {}, {}},
              {kTagRowsPerStrip, kTiffLong, {height}, {}}, {kTagStripByteCounts, kTiffLong, {}, {}},      {kTagXResolution, kTiffRational, {204, 1}, {}},
              {kTagYResolution, kTiffRational, {196, 1}, {}}};
  return d;
}

BitString& BitString::Add(const std::string& text) {
  for (char c : text) {
    if (c == '|') bits = static_cast<uint32_t>(bytes.size()) * 8;
    if (c != '0' && c != '1') continue;
    if (bits % 8 == 0) bytes.push_back(0);
    if (c == '1') bytes.back() |= static_cast<uint8_t>(0x80 >> (bits % 8));
    ++bits;
  }
  return *this;
}

std::vector<uint8_t> BuildPseg(int width, int height, const std::vector<PsegCell>& cells,
                               const PsegOptions& options) {
  std::vector<uint8_t> out;
  PsegRecord(out, 0xD3A85F, {'P', 'S', 'E', 'G', 'T', 'E', 'S', 'T'});  // begin segment
  PsegRecord(out, 0xD3A87B, {'I', 'M', 'A', 'G', 'E', ' ', ' ', ' '});  // begin image
  std::vector<uint8_t> descriptor(24, 0);
  PutBE16(descriptor, 2, 2400);  // resolution fields the reader does not use
  PutBE16(descriptor, 4, 2400);
  PutBE16(descriptor, 18, static_cast<uint32_t>(width));
  PutBE16(descriptor, 20, static_cast<uint32_t>(height));
  PsegRecord(out, 0xD3A67B, descriptor, options.descriptorExtension);
  for (const PsegCell& cell : cells) {
    if (options.cellPositions) {
      std::vector<uint8_t> position;
      for (int v : {cell.x, cell.y, cell.width, static_cast<int>(cell.rows.size()) /
                                                    std::max(1, (cell.width + 7) / 8),
                    cell.width, 0})
        AppendBE16(position, static_cast<uint32_t>(v));
      PsegRecord(out, 0xD3AC7B, position);
    }
    const size_t chunk = options.rasterChunk ? options.rasterChunk : cell.rows.size();
    for (size_t at = 0; at < cell.rows.size(); at += chunk) {
      size_t n = std::min(chunk, cell.rows.size() - at);
      PsegRecord(out, 0xD3EE7B,
                 std::vector<uint8_t>(cell.rows.begin() + static_cast<ptrdiff_t>(at),
                                      cell.rows.begin() + static_cast<ptrdiff_t>(at + n)),
                 options.rasterExtension);
    }
  }
  PsegRecord(out, 0xD3A97B, {});  // end image
  PsegRecord(out, 0xD3A95F, {});  // end segment
  return out;
}

std::vector<uint8_t> BuildWinFax10(const std::vector<WinFax10Page>& pages) {
  std::vector<uint8_t> out;
  for (const WinFax10Page& p : pages) {
    size_t h = out.size();
    out.resize(h + 128, 0);
    out[h] = 0x0B, out[h + 1] = 0x23, out[h + 2] = 0xC8;
    PutLE16(out, h + 3, static_cast<uint32_t>(p.width));
    PutLE16(out, h + 5, static_cast<uint32_t>(p.height));
    out[h + 7] = p.g4 ? 1 : 0;
    out[h + 101] = static_cast<uint8_t>(pages.size());
    PutLE32(out, h + 116, static_cast<uint32_t>(p.data.size()));
    Append(out, p.data);
  }
  return out;
}

std::vector<uint8_t> BuildIoca(const std::vector<IocaPage>& pages) {
  std::vector<uint8_t> out;
  IocaField(out, 0xA8A8, {'D', 'O', 'C', 'U', 'M', 'E', 'N', 'T'});  // begin document
  for (const IocaPage& p : pages) {
    IocaField(out, 0xA8AF, {'P', 'A', 'G', 'E', ' ', ' ', ' ', ' '});  // begin page
    std::vector<uint8_t> descriptor = {0x00};  // unit base: ten inches
    for (int v : {p.xDpi * 10, p.yDpi * 10, p.width, p.height})
      AppendBE16(descriptor, static_cast<uint32_t>(v));
    IocaField(out, 0xA6FB, descriptor);

    // The self-defining fields of the image segment.
    std::vector<uint8_t> s = {0x70, 0x00, 0x91, 0x01, 0xFF, 0x94, 0x09, 0x00};
    for (int v : {p.xDpi * 10, p.yDpi * 10, p.width, p.height})
      AppendBE16(s, static_cast<uint32_t>(v));
    if (p.bitOrder < 0) {
      Append(s, {0x95, 0x02, p.encoding, 0x01});
    } else {
      Append(s, {0x95, 0x03, p.encoding, 0x01, static_cast<uint8_t>(p.bitOrder)});
    }
    const size_t chunk = p.imageChunk ? p.imageChunk : std::max<size_t>(p.image.size(), 1);
    for (size_t at = 0; at < p.image.size(); at += chunk) {
      size_t n = std::min(chunk, p.image.size() - at);
      Append(s, {0xFE, 0x92});
      AppendBE16(s, static_cast<uint32_t>(n));
      s.insert(s.end(), p.image.begin() + static_cast<ptrdiff_t>(at),
               p.image.begin() + static_cast<ptrdiff_t>(at + n));
    }
    Append(s, {0x93, 0x00, 0x71, 0x00});

    const size_t per = p.pictureChunk ? p.pictureChunk : 8000;
    for (size_t at = 0; at < s.size(); at += per) {
      size_t n = std::min(per, s.size() - at);
      IocaField(out, 0xEEFB,
                std::vector<uint8_t>(s.begin() + static_cast<ptrdiff_t>(at),
                                     s.begin() + static_cast<ptrdiff_t>(at + n)));
    }
    IocaField(out, 0xA9AF, {'P', 'A', 'G', 'E', ' ', ' ', ' ', ' '});  // end page
  }
  IocaField(out, 0xA9A8, {'D', 'O', 'C', 'U', 'M', 'E', 'N', 'T'});  // end document
  return out;
}

// --- AWD ------------------------------------------------------------------

AwdFile BuildAwd(const std::vector<std::vector<AwdBand>>& pages, const AwdLayout& layout) {
  constexpr uint32_t kSector = 512;
  constexpr uint32_t kEnd = 0xFFFFFFFE, kFree = 0xFFFFFFFF, kTable = 0xFFFFFFFD;

  // The stream: an information block with the marker, the pages' records,
  // the end record.
  std::vector<uint8_t> stream(20, 0);
  Append(stream, {'A', 'W', 'P', 'I'});
  stream.resize(stream.size() + 30, 0x11);
  std::vector<std::pair<size_t, size_t>> bands;
  uint32_t kind = 0;
  for (size_t p = 0; p < pages.size(); ++p) {
    if (p > 0) {
      AppendLE16(stream, 6);  // page break
      stream.insert(stream.end(), 6, 0);
    }
    for (const AwdBand& band : pages[p]) {
      size_t start = stream.size();
      AppendLE16(stream, static_cast<uint32_t>(12 + band.data.size()));
      AppendLE32(stream, 0);
      AppendLE32(stream, (kind++ % 2) ? 0x0010000A : 0x000A0008);
      AppendLE16(stream, static_cast<uint32_t>(band.lines));
      AppendLE16(stream, 0);
      Append(stream, band.data);
      bands.emplace_back(start, stream.size() - 1);
    }
  }
  AppendLE16(stream, 6);  // end of the document
  AppendLE32(stream, 0);
  AppendLE32(stream, 0x000A0008);
  stream.resize(std::max<size_t>(stream.size(), 4096), 0);  // not a small stream

  // Sector roles: allocation-table sectors where asked (and more at the end
  // when needed), the directory, then the stream.
  const uint32_t streamSectors = static_cast<uint32_t>((stream.size() + kSector - 1) / kSector);
  std::vector<uint32_t> tables = layout.tableSectors;
  uint32_t count = 0;
  for (;;) {
    count = streamSectors + 1 + static_cast<uint32_t>(tables.size());
    for (uint32_t t : tables) count = std::max(count, t + 1);
    if (tables.size() * (kSector / 4) >= count) break;
    tables.push_back(count);  // one more, after everything else
  }
  std::vector<int> role(count, -1);  // -1 free, -2 table, -3 directory, else stream index
  for (uint32_t t : tables) role[t] = -2;
  std::vector<uint32_t> free;
  for (uint32_t s = 0; s < count; ++s)
    if (role[s] == -1) free.push_back(s);
  const uint32_t directory = free[0];
  role[directory] = -3;
  std::vector<uint32_t> place(free.begin() + 1, free.begin() + 1 + streamSectors);
  if (layout.scrambled && place.size() > 2) std::reverse(place.begin() + 1, place.end());
  for (uint32_t i = 0; i < streamSectors; ++i) role[place[i]] = static_cast<int>(i);

  std::vector<uint32_t> fat(tables.size() * (kSector / 4), kFree);
  for (uint32_t t : tables) fat[t] = kTable;
  fat[directory] = kEnd;
  for (uint32_t i = 0; i < streamSectors; ++i)
    fat[place[i]] = i + 1 < streamSectors ? place[i + 1] : kEnd;

  AwdFile file;
  std::vector<uint8_t>& out = file.bytes;
  out.assign(static_cast<size_t>(count + 1) * kSector, 0);
  static constexpr uint8_t kMagic[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  std::memcpy(out.data(), kMagic, 8);
  PutLE16(out, 24, 0x3E);
  PutLE16(out, 26, 3);
  PutLE16(out, 28, 0xFFFE);
  PutLE16(out, 30, 9);
  PutLE16(out, 32, 6);
  PutLE32(out, 44, static_cast<uint32_t>(tables.size()));
  PutLE32(out, 48, directory);
  PutLE32(out, 56, 4096);
  PutLE32(out, 60, kEnd);
  PutLE32(out, 68, kEnd);
  for (uint32_t i = 0; i < 109; ++i)
    PutLE32(out, 76 + 4 * i, i < tables.size() ? tables[i] : kFree);
  for (size_t k = 0; k < tables.size(); ++k)
    for (uint32_t e = 0; e < kSector / 4; ++e)
      PutLE32(out, (tables[k] + 1) * kSector + 4 * e, fat[k * (kSector / 4) + e]);

  // Directory: the root entry and the stream.
  auto entry = [&](uint32_t index, const char* name, uint8_t type, uint32_t child,
                   uint32_t start, uint32_t size) {
    size_t at = (directory + 1) * kSector + 128 * index;
    size_t n = std::strlen(name);
    for (size_t i = 0; i < n; ++i) out[at + 2 * i] = static_cast<uint8_t>(name[i]);
    PutLE16(out, at + 64, static_cast<uint32_t>(2 * (n + 1)));
    out[at + 66] = type;
    out[at + 67] = 1;
    PutLE32(out, at + 68, kFree);
    PutLE32(out, at + 72, kFree);
    PutLE32(out, at + 76, child);
    PutLE32(out, at + 116, start);
    PutLE32(out, at + 120, size);
  };
  for (uint32_t i = 2; i < 4; ++i) {
    size_t at = (directory + 1) * kSector + 128 * i;
    PutLE32(out, at + 68, kFree), PutLE32(out, at + 72, kFree), PutLE32(out, at + 76, kFree);
  }
  entry(0, "Root Entry", 5, 1, kEnd, 0);
  entry(1, "Document", 2, kFree, place[0], static_cast<uint32_t>(stream.size()));
  stream.resize(static_cast<size_t>(streamSectors) * kSector, 0);
  for (uint32_t i = 0; i < streamSectors; ++i)
    std::memcpy(out.data() + (place[i] + 1) * kSector, stream.data() + i * kSector, kSector);

  auto fileOffset = [&](size_t at) {
    return static_cast<uint32_t>((place[at / kSector] + 1) * kSector + at % kSector);
  };
  for (auto [first, last] : bands) file.bandSpans.emplace_back(fileOffset(first), fileOffset(last));
  for (uint32_t t : tables) file.tableOffsets.push_back((t + 1) * kSector);
  return file;
}

// --- FLI/FLC ----------------------------------------------------------------

std::vector<uint8_t> BuildFli(int width, int height, const std::vector<FliFrame>& frames,
                              bool flc, uint8_t depth) {
  std::vector<uint8_t> out(128, 0);
  PutLE16(out, 4, flc ? 0xAF12 : 0xAF11);
  PutLE16(out, 6, static_cast<uint32_t>(frames.size()));
  PutLE16(out, 8, static_cast<uint32_t>(width));
  PutLE16(out, 10, static_cast<uint32_t>(height));
  PutLE16(out, 12, depth);
  PutLE32(out, 16, flc ? 70 : 5);
  for (size_t i = 0; i < frames.size(); ++i) {
    const FliFrame& frame = frames[i];
    if (frame.prefix) {
      size_t at = out.size();
      out.resize(at + 16, 0);
      PutLE32(out, at, 16);
      PutLE16(out, at + 4, 0xF100);
    }
    if (i == 0 && flc) PutLE32(out, 80, static_cast<uint32_t>(out.size()));
    size_t start = out.size();
    out.resize(start + 16, 0);
    PutLE16(out, start + 4, 0xF1FA);
    PutLE16(out, start + 6, static_cast<uint32_t>(frame.chunks.size()));
    for (const FliChunk& c : frame.chunks) {
      AppendLE32(out, static_cast<uint32_t>(6 + c.body.size()));
      AppendLE16(out, c.type);
      Append(out, c.body);
    }
    PutLE32(out, start, static_cast<uint32_t>(out.size() - start));
  }
  PutLE32(out, 0, static_cast<uint32_t>(out.size()));
  return out;
}

std::vector<uint8_t> FliPalette(const std::vector<uint8_t>& rgb, int firstEntry, bool sixBit) {
  std::vector<uint8_t> body;
  AppendLE16(body, 1);
  body.push_back(static_cast<uint8_t>(firstEntry));
  body.push_back(static_cast<uint8_t>(rgb.size() / 3));  // 256 entries wrap to 0
  for (uint8_t v : rgb) body.push_back(sixBit ? static_cast<uint8_t>(v >> 2) : v);
  return body;
}

// Literal packets only: the tests write the run packets by hand.
std::vector<uint8_t> FliByteRun(const std::vector<uint8_t>& frame, int width, int height) {
  std::vector<uint8_t> body;
  for (int y = 0; y < height; ++y) {
    body.push_back(static_cast<uint8_t>((width + 127) / 128));
    for (int x = 0; x < width; x += 128) {
      const int n = std::min(128, width - x);
      body.push_back(static_cast<uint8_t>(-n));
      body.insert(body.end(), frame.begin() + y * width + x, frame.begin() + y * width + x + n);
    }
  }
  return body;
}

std::vector<uint8_t> FliByteDelta(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after, int width,
                                  int height) {
  auto changed = [&](int y) { return std::memcmp(before.data() + y * width, after.data() + y * width, width) != 0; };
  int first = 0, last = height - 1;
  while (first < height && !changed(first)) ++first;
  while (last >= first && !changed(last)) --last;
  std::vector<uint8_t> body;
  AppendLE16(body, static_cast<uint32_t>(first < height ? first : 0));
  AppendLE16(body, static_cast<uint32_t>(first < height ? last - first + 1 : 0));
  for (int y = first; y <= last; ++y) {
    const uint8_t *was = before.data() + y * width, *now = after.data() + y * width;
    const size_t countAt = body.size();
    body.push_back(0);
    for (int x = 0, from = 0; x < width; from = x) {
      while (x < width && was[x] == now[x]) ++x;
      int n = 0;
      while (x + n < width && n < 127 && was[x + n] != now[x + n]) ++n;
      if (n == 0) break;
      Append(body, {static_cast<uint8_t>(x - from), static_cast<uint8_t>(n)});
      body.insert(body.end(), now + x, now + x + n);
      ++body[countAt];
      x += n;
    }
  }
  return body;
}

std::vector<uint8_t> FliWordDelta(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after, int width,
                                  int height) {
  std::vector<uint8_t> body(2, 0);
  uint32_t lines = 0, skip = 0;
  const int pairs = width / 2;
  for (int y = 0; y < height; ++y) {
    const uint8_t *was = before.data() + y * width, *now = after.data() + y * width;
    if (std::memcmp(was, now, width) == 0) {
      ++skip;
      continue;
    }
    if (skip) AppendLE16(body, 0x10000 - skip), skip = 0;
    if (width % 2 && was[width - 1] != now[width - 1]) AppendLE16(body, 0x8000 | now[width - 1]);
    const size_t countAt = body.size();
    AppendLE16(body, 0);
    auto changed = [&](int q) { return std::memcmp(was + 2 * q, now + 2 * q, 2) != 0; };
    for (int p = 0, from = 0; p < pairs; from = p) {
      while (p < pairs && !changed(p)) ++p;
      int n = 0;
      while (p + n < pairs && n < 127 && changed(p + n)) ++n;
      if (n == 0) break;
      Append(body, {static_cast<uint8_t>(2 * (p - from)), static_cast<uint8_t>(n)});
      body.insert(body.end(), now + 2 * p, now + 2 * (p + n));
      ++body[countAt];
      p += n;
    }
    ++lines;
  }
  PutLE16(body, 0, lines);
  return body;
}

}  // namespace testutil
