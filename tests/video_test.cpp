// AVI and QuickTime clips: the frame and sound index, on clips written by
// ffmpeg and on clips built here with hostile tables.
#include "support/suite.h"

#include "imaging/readers/video.h"

namespace {

// The smallest frame the index and the extraction accept: SOI and a
// 16 x 8 colour frame header.
Bytes Frame(uint8_t tag) {
  return {0xFF, 0xD8, 0xFF, 0xC0, 0, 17, 8, 0, 8, 0, 16, 3, 1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1, 0xFF, 0xD9, tag};
}

// A RIFF chunk (padded to an even size), or a list of chunks.
Bytes Chunk(const char* code, const Bytes& data, const char* listType = nullptr) {
  Bytes c;
  PutText(c, 0, code);
  PutLE32(c, 4, static_cast<uint32_t>(data.size() + (listType ? 4 : 0)));
  if (listType) PutText(c, 8, listType);
  c = Concat({c, data});
  if (c.size() % 2) c.push_back(0);
  return c;
}

Bytes Le32s(std::initializer_list<uint32_t> values) {
  Bytes b;
  for (uint32_t v : values) PutLE32(b, b.size(), v);
  return b;
}

struct AviOptions {
  const char* handler = "MJPG";
  uint32_t rate = 11000;
  int frames = 3;
  bool index = true;
  bool absoluteIndex = false;
  bool padByte = false;
  uint32_t bogusEntryOffset = 0;  // an extra index entry pointing here
  uint32_t indexPadding = 0;      // zero bytes after the index entries
};

Bytes Avi(const AviOptions& o) {
  Bytes avih(56, 0), vids(56, 0), auds(56, 0);
  PutLE32(avih, 0, 40000);                                 // microseconds per frame
  PutLE32(avih, 16, static_cast<uint32_t>(o.frames + 5));  // a header that overstates
  PutText(vids, 0, std::string("vids") + o.handler);
  PutText(auds, 0, "auds");
  PutLE32(auds, 20, 1);
  PutLE32(auds, 24, o.rate);
  PutLE32(auds, 32, 300);
  const Bytes hdrl = Concat({Chunk("avih", avih), Chunk("LIST", Chunk("strh", vids), "strl"),
                             Chunk("LIST", Concat({Chunk("strh", auds), Chunk("strf", Le32s({1, 0, 0, 0}))}), "strl")});
  Bytes movi, index;
  for (int i = 0; i < o.frames; ++i) {
    Bytes frame = Frame(static_cast<uint8_t>(i));
    if (o.padByte) frame.insert(frame.begin(), 0);
    // Offsets from the "movi" code.
    index = Concat({index, Bytes{'0', '0', 'd', 'c'}, Le32s({0, static_cast<uint32_t>(movi.size() + 4),
                                                             static_cast<uint32_t>(frame.size())})});
    movi = Concat({movi, Chunk("00dc", frame)});
    index = Concat({index, Bytes{'0', '1', 'w', 'b'}, Le32s({0, static_cast<uint32_t>(movi.size() + 4), 100})});
    movi = Concat({movi, Chunk("01wb", Bytes(100, 0x80))});
  }
  if (o.bogusEntryOffset) index = Concat({index, Bytes{'0', '0', 'd', 'c'}, Le32s({0, o.bogusEntryOffset, 0xFFFFFFF0})});
  const Bytes head = Concat({Bytes{'A', 'V', 'I', ' '}, Chunk("LIST", hdrl, "hdrl")});
  if (o.absoluteIndex)  // from the file's start
    for (size_t e = 0; e + 16 <= index.size(); e += 16)
      PutLE32(index, e + 8, static_cast<uint32_t>(index[e + 8] + (index[e + 9] << 8) + 12 + head.size() + 4));
  return Chunk("RIFF", Concat({head, Chunk("LIST", movi, "movi"), o.index ? Chunk("idx1", Concat({index, Bytes(o.indexPadding, 0)})) : Bytes{}}));
}

// QuickTime atoms.
Bytes Atom(const char* type, const Bytes& body) {
  Bytes a;
  PutBE32(a, 0, static_cast<uint32_t>(body.size() + 8));
  PutText(a, 4, type);
  return Concat({a, body});
}

Bytes Be32s(const std::vector<uint32_t>& values) {
  Bytes b;
  for (uint32_t v : values) PutBE32(b, b.size(), v);
  return b;
}

struct QtOptions {
  const char* codec = "jpeg";
  const char* soundFormat = "raw ";
  int framesPerChunk = 2;
  int chunks = 3;
  bool offsets64 = false;
  uint32_t stscChunkClaim = 0;  // a sample-to-chunk entry for a chunk that does not exist
  uint32_t sizesPadding = 0;    // zero bytes after the sample sizes
};

Bytes QuickTime(const QtOptions& o) {
  // Frames first, in "mdat"; then the movie.
  const uint32_t frames = static_cast<uint32_t>(o.framesPerChunk * o.chunks);
  Bytes file = Atom("ftyp", {'q', 't', ' ', ' ', 0, 0, 0, 0, 'q', 't', ' ', ' '}), mdat;
  std::vector<uint32_t> offsets, offsets64, sizes;
  for (int c = 0; c < o.chunks; ++c) {
    offsets.push_back(static_cast<uint32_t>(file.size() + 8 + mdat.size()));
    offsets64.insert(offsets64.end(), {0, offsets.back()});
    for (int k = 0; k < o.framesPerChunk; ++k) {
      mdat = Concat({mdat, Frame(static_cast<uint8_t>(c * 16 + k))});
      sizes.push_back(24);
    }
  }
  file = Concat({file, Atom("mdat", mdat)});
  auto track = [&](bool video) {
    Bytes stsd = Be32s({0, 1, 16});
    PutText(stsd, 12, video ? o.codec : o.soundFormat);
    std::vector<uint32_t> stsz = {0, 0, video ? frames : 300};
    if (video) stsz.insert(stsz.end(), sizes.begin(), sizes.end());
    std::vector<uint32_t> stco = {0, static_cast<uint32_t>(o.chunks)};
    stco.insert(stco.end(), o.offsets64 ? offsets64.begin() : offsets.begin(), o.offsets64 ? offsets64.end() : offsets.end());
    const Bytes stsc = o.stscChunkClaim ? Be32s({0, 2, 1, static_cast<uint32_t>(o.framesPerChunk), 1, o.stscChunkClaim, 1000, 1})
                                        : Be32s({0, 1, 1, video ? static_cast<uint32_t>(o.framesPerChunk) : 100, 1});
    const Bytes stbl = Concat({Atom("stsd", stsd), Atom("stsz", Concat({Be32s(stsz), Bytes(o.sizesPadding, 0)})), Atom("stsc", stsc),
                               Atom(o.offsets64 ? "co64" : "stco", Be32s(stco)),
                               Atom("stts", Be32s({0, 1, video ? frames : 300, video ? 50u : 1u}))});
    const Bytes minf = Concat({Atom(video ? "vmhd" : "smhd", Be32s({0, 0, 0})), Atom("stbl", stbl)});
    return Atom("trak", Atom("mdia", Concat({Atom("mdhd", Be32s({0, 0, 0, video ? 600u : 11025u, 0})), Atom("minf", minf)})));
  };
  return Concat({file, Atom("moov", Concat({Atom("mvhd", Bytes(100, 0)), track(true), track(false)}))});
}

}  // namespace

TEST(Video, ClipsWrittenByFfmpeg) {
  struct Expected {
    const char* path;
    int type, frames, duration, rate;
  };
  const Expected clips[] = {
      {"video/tiny.avi", kFileAvi, 12, 83, 8000},   {"video/tiny.mov", kFileQuickTime, 12, 83, 8000},
      {"video/silent.avi", kFileAvi, 12, 83, 0},    {"video/twos.mov", kFileQuickTime, 12, 83, 0},
  };
  for (const Expected& e : clips) {
    SCOPED_TRACE(e.path);
    OpenedFile f(DataPath(e.path));
    ASSERT_EQ(f.result, kOk);
    EXPECT_EQ(std::tuple(f->fileType, f->accessMode, f->pageCount, f->frameDuration, f->audioSampleRate),
              std::tuple(e.type, kAccessRead, e.frames, e.duration, e.rate));
    EXPECT_NE(f.file.jpegState, nullptr);
    if (e.rate) {
      int64_t total = 0;
      for (int i = 0; i < f.file.audioChunkCount; ++i) total += f.file.audioChunkSizes[i];
      EXPECT_EQ(total, 8000);  // one second of 8-bit samples
    }
    // The frames themselves: jpeg_motion_test decodes them against ffmpeg.
    Page last;
    ASSERT_EQ(f.Extract(last.get(), e.frames - 1), kOk);
    EXPECT_EQ(last->decoderContext, f.file.jpegState);
  }
  for (const char* sample : {"clip.avi", "clip.mov"}) {
    OpenedFile f(SamplePath(sample));
    ASSERT_EQ(f.result, kOk) << sample;
    EXPECT_EQ(f.file.pageCount, 20) << sample;
    EXPECT_EQ(f.file.audioSampleRate, 11025) << sample;
  }
}

TEST(Video, AviIndexForms) {
  AviOptions plain;
  OpenedFile f(Avi(plain));
  ASSERT_EQ(f.result, kOk);
  EXPECT_EQ(f.file.pageCount, 3);  // the index, not the header's count
  EXPECT_EQ(f.file.frameDuration, 40);
  EXPECT_EQ(f.file.audioSampleRate, 11025);  // 11000 snapped
  EXPECT_EQ(f.file.audioChunkCount, 3);
  Page page;
  ASSERT_EQ(f.Extract(page.get(), 2), kOk);
  EXPECT_EQ(page->data[page->dataSize - 1], 2);  // the third frame's own bytes
  EXPECT_EQ(page->width, 16);

  for (AviOptions o : {AviOptions{.absoluteIndex = true}, AviOptions{.index = false},
                       AviOptions{.padByte = true}, AviOptions{.bogusEntryOffset = 0x7FFFFFF0}}) {
    SCOPED_TRACE(testing::Message() << o.absoluteIndex << o.index << o.padByte << o.bogusEntryOffset);
    OpenedFile g(Avi(o));
    ASSERT_EQ(g.result, kOk);
    EXPECT_EQ(g.file.pageCount, 3);
    for (int i = 0; i < 3; ++i) {
      Page p;
      ASSERT_EQ(g.Extract(p.get(), i), kOk) << i;
      EXPECT_EQ(p->data[p->dataOffset], 0xFF);
      EXPECT_EQ(p->data[p->dataOffset + p->dataSize - 1], i);
    }
  }
  // A frame after a pad byte whose header is damaged is refused.
  Bytes damaged = Avi({.padByte = true});
  const size_t frame = std::search(damaged.begin(), damaged.end(), std::begin("00dc"), std::end("00dc") - 1) - damaged.begin();
  damaged[frame + 8 + 1 + 3] = 0x00;  // past the chunk header and the pad byte: SOF0's marker
  OpenedFile bad(damaged);
  Page refused;
  EXPECT_LT(bad.Extract(refused.get()), 0);
  AviOptions lower{.handler = "mjpg"};
  OpenedFile h(Avi(lower));
  EXPECT_EQ(h.result, kOk);
  AviOptions other{.handler = "DIVX"};
  OpenedFile k(Avi(other));
  EXPECT_EQ(k.result, kErrUnsupported);
}

TEST(Video, QuickTimeTables) {
  QtOptions plain;
  OpenedFile f(QuickTime(plain));
  ASSERT_EQ(f.result, kOk);
  EXPECT_EQ(f.file.pageCount, 6);
  EXPECT_EQ(f.file.frameDuration, 83);  // 50 / 600 s
  EXPECT_EQ(f.file.audioSampleRate, 11025);
  for (int i = 0; i < 6; ++i) {
    Page page;
    ASSERT_EQ(f.Extract(page.get(), i), kOk);
    EXPECT_EQ(page->data[page->dataSize - 1], (i / 2) * 16 + i % 2);
  }
  // 64-bit chunk offsets and a table far past 4096 bytes.
  QtOptions big{.framesPerChunk = 1, .chunks = 1500, .offsets64 = true};
  OpenedFile g(QuickTime(big));
  ASSERT_EQ(g.result, kOk);
  EXPECT_EQ(g.file.pageCount, 1500);
  Page last;
  ASSERT_EQ(g.Extract(last.get(), 1499), kOk);
  EXPECT_EQ(last->data[last->dataSize - 1], static_cast<uint8_t>(1499 * 16));
  // Sound that is not raw 8-bit samples is dropped; the video stays.
  QtOptions twos{.soundFormat = "twos"};
  OpenedFile h(QuickTime(twos));
  ASSERT_EQ(h.result, kOk);
  EXPECT_EQ(h.file.audioSampleRate, 0);
  EXPECT_EQ(h.file.pageCount, 6);
  // A sample-to-chunk table that claims chunks the offset table lacks.
  QtOptions claim{.stscChunkClaim = 2};
  OpenedFile k(QuickTime(claim));
  ASSERT_EQ(k.result, kOk);
  EXPECT_LE(k.file.pageCount, 6);
  // Any other video codec is refused.
  QtOptions avc{.codec = "avc1"};
  OpenedFile m(QuickTime(avc));
  EXPECT_EQ(m.result, kErrUnsupported);
}

TEST(Video, QuickTimeIsIdentifiedAsCurrentToolsWriteIt) {
  // Clips identify and are then refused by the index (no frames here, -7);
  // anything else is -9.
  const Bytes qt = Atom("ftyp", {'q', 't', ' ', ' ', 0, 0, 0, 0, 'q', 't', ' ', ' '}), moov = Atom("moov", Bytes(28, 0));
  EXPECT_EQ(OpenedFile(Concat({qt, Atom("wide", {}), moov})).result, kErrUnsupported);
  Bytes mp4 = Concat({qt, Atom("wide", {}), moov});
  PutText(mp4, 8, "isom    mp41");
  EXPECT_EQ(OpenedFile(mp4).result, kErrUnknownFormat);
  EXPECT_EQ(OpenedFile(Concat({Atom("wide", {}), Atom("mdat", Bytes(92, 0)), Atom("moov", Bytes(84, 0))})).result,
            kErrUnsupported);
  EXPECT_EQ(OpenedFile(Concat({Atom("wide", {}), Atom("mdat", Bytes(92, 0)), Atom("xxxx", Bytes(84, 0))})).result,
            kErrUnknownFormat);
  EXPECT_EQ(OpenedFile(Atom("moov", Bytes(56, 0))).result, kErrUnsupported);
}

TEST(Video, SampleRateSnapping) {
  EXPECT_EQ(SnapSampleRate(7801), 8000);
  EXPECT_EQ(SnapSampleRate(7800), 7800);
  EXPECT_EQ(SnapSampleRate(11000), 11025);
  EXPECT_EQ(SnapSampleRate(22249), 22050);
  EXPECT_EQ(SnapSampleRate(44999), 44100);
  EXPECT_EQ(SnapSampleRate(48000), 48000);
}

// The least allocation limit under which `clip` opens.
uint64_t LeastLimit(const Bytes& clip) {
  const uint64_t limit = AllocationLimit();
  uint64_t low = 1, high = limit;
  while (low < high) {
    const uint64_t mid = low + (high - low) / 2;
    SetAllocationLimit(mid);
    if (OpenedFile(clip).result == kOk) high = mid;
    else low = mid + 1;
  }
  SetAllocationLimit(limit);
  return low;
}

// An index table that the allocation limit refuses fails the opening with
// -1, and nothing taken before it is left behind.
TEST(Video, TablesBeyondTheAllocationLimit) {
  const std::pair<Bytes, Bytes> clips[] = {{Avi({}), Avi({.indexPadding = 1 << 18})},
                                           {QuickTime({}), QuickTime({.sizesPadding = 1 << 18})}};
  for (const auto& [plain, padded] : clips) {
    EXPECT_EQ(OpenedFile(padded).result, kOk);
    const uint64_t limit = AllocationLimit(), least = LeastLimit(plain);
    SetAllocationLimit(least);
    OpenedFile capped(padded);
    SetAllocationLimit(limit);
    EXPECT_EQ(capped.result, kErrMemory) << least;
  }
}
