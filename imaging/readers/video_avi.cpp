// IndexAvi: the chunk walk of an AVI file and its "idx1" index.
#include <cstring>

#include "imaging/codecs/codecs.h"
#include "imaging/core/bytes.h"
#include "imaging/core/files.h"
#include "imaging/core/scratch.h"
#include "imaging/readers/video.h"

namespace quillon {

namespace {

bool SameCodeNoCase(const uint8_t* a, const char* b) {
  for (int i = 0; i < 4; ++i) {
    uint8_t c = a[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<uint8_t>(c - 'A' + 'a');
    if (c != static_cast<uint8_t>(b[i])) return false;
  }
  return true;
}

// The frames and sound chunks of a clip, met in file order: counted on a
// first pass, stored into the file's tables on a second (which never
// stores more than the first counted, should the file change between).
struct Found {
  ImageFile* file = nullptr;  // null while counting
  uint64_t videoRoom = 0, soundRoom = 0;
  uint64_t video = 0, sound = 0;

  // `offset` is a frame chunk's header or a sound chunk's data; neither
  // reaches past the end of the file.
  void Frame(uint64_t offset, uint32_t size) {
    if (file && video < videoRoom) {
      const uint64_t room = static_cast<uint64_t>(file->fileSize) - offset;
      file->pageOffsets[video] = static_cast<uint32_t>(offset);
      file->frameSizes[video] = static_cast<uint32_t>(size < room ? size : room);
    }
    ++video;
  }
  void Sound(uint64_t offset, uint32_t size) {
    if (file && sound < soundRoom) {
      const uint64_t end = static_cast<uint64_t>(file->fileSize);
      const uint64_t room = offset < end ? end - offset : 0;
      file->audioChunkOffsets[sound] = static_cast<uint32_t>(offset);
      file->audioChunkSizes[sound] = static_cast<uint32_t>(size < room ? size : room);
    }
    ++sound;
  }
};

// Chunks in a row that are neither frames nor sound after which a scan
// gives up: padding and other streams come in a few chunks, while a movie
// list of zeros is a chain of empty chunks to the end of the file.
constexpr int kMaxOtherChunks = 256;

// Frames and sound chunks found directly in the "movi" list, for files
// without an "idx1" index.
void ScanMovi(FileHandle h, uint64_t begin, uint64_t end, Found& found) {
  uint64_t at = begin;
  uint8_t head[12];
  int others = 0;
  while (at + 8 <= end && found.video < (1u << 24) && others < kMaxOtherChunks) {
    if (ReadAt(h, at, head, 12) < 8) break;
    Bytes c{head, 12};
    uint64_t size = c.LE32(4);
    ++others;
    if (c.Equals(0, "LIST", 4)) {
      at += 12;  // "rec " lists hold the chunks themselves
      continue;
    }
    if (head[2] == 'd' && head[3] == 'c') {
      found.Frame(at, static_cast<uint32_t>(size));
      others = 0;
    }
    if (head[2] == 'w' && head[3] == 'b') {
      found.Sound(at + 8, static_cast<uint32_t>(size));
      others = 0;
    }
    at += 8 + size + (size & 1);
  }
}

// The entries of an "idx1" index (16 bytes each: chunk code, flags,
// offset, size) counted from `origin`.
void TakeIndex(const Bytes& ix, uint64_t origin, uint64_t fileSize, Found& found) {
  for (uint64_t e = 0; e + 16 <= ix.n; e += 16) {
    const uint64_t offset = origin + ix.LE32(e + 8);
    const uint32_t size = ix.LE32(e + 12);
    if (offset >= fileSize) continue;
    if (ix.U8(e + 2) == 'd' && ix.U8(e + 3) == 'c') found.Frame(offset, size);
    else if (ix.U8(e + 2) == 'w' && ix.U8(e + 3) == 'b') found.Sound(offset + 8, size);
  }
}

}  // namespace

int32_t SnapSampleRate(int32_t rate) {
  if (rate >= 7801 && rate <= 8199) return 8000;
  if (rate >= 10601 && rate <= 11399) return 11025;
  if (rate >= 21901 && rate <= 22249) return 22050;
  if (rate >= 43001 && rate <= 44999) return 44100;
  return rate;
}

int32_t IndexAvi(ImageFile* file) {
  const FileHandle h = file->fileHandle;
  const uint64_t fileSize = static_cast<uint64_t>(file->fileSize);
  uint64_t at = 12, base = 0, moviEnd = 0, indexAt = 0, indexSize = 0;
  bool mjpeg = false, haveMovi = false, pcm = true;
  enum { kNone, kVideo, kSound } stream = kNone;
  uint32_t declaredFrames = 0;
  uint8_t buffer[256];
  for (int chunks = 0; at + 8 <= fileSize && chunks < 100000; ++chunks) {
    std::memset(buffer, 0, sizeof buffer);
    if (ReadAt(h, at, buffer, sizeof buffer) < 8) break;
    const Bytes c{buffer, sizeof buffer};
    const uint64_t size = c.LE32(4);
    if (c.Equals(0, "LIST", 4)) {
      if (c.Equals(8, "hdrl", 4) || c.Equals(8, "strl", 4)) {
        at += 12;  // entered
        continue;
      }
      if (c.Equals(8, "movi", 4)) {
        base = at + 8;
        moviEnd = at + 8 + size;
        haveMovi = true;
      }
    } else if (c.Equals(0, "avih", 4)) {
      file->frameDuration = static_cast<int32_t>(c.LE32(8) / 1000);
      declaredFrames = c.LE32(24);
    } else if (c.Equals(0, "strh", 4)) {
      stream = kNone;
      if (c.Equals(8, "vids", 4)) {
        stream = kVideo;
        mjpeg = mjpeg || SameCodeNoCase(buffer + 12, "mjpg");
      } else if (c.Equals(8, "auds", 4)) {
        stream = kSound;
        uint32_t scale = c.LE32(28), rate = c.LE32(32);
        // PCM streams count blocks: rate / scale is samples per second.
        uint32_t perSecond = scale > 1 ? rate / scale : rate;
        file->audioSampleRate = static_cast<int32_t>(perSecond > INT32_MAX ? 0 : perSecond);
        file->audioLength = static_cast<int32_t>(c.LE32(40) & INT32_MAX);
      }
    } else if (c.Equals(0, "strf", 4)) {
      // The video format's compression code names the codec as well; sound
      // other than plain PCM cannot be played as raw samples.
      if (stream == kVideo && !mjpeg)
        mjpeg = SameCodeNoCase(buffer + 8 + 16, "mjpg") && c.LE32(8) >= 40;
      if (stream == kSound) pcm = c.LE16(8) == 1;
    } else if (c.Equals(0, "idx1", 4)) {
      indexAt = at + 8;
      indexSize = size;
    }
    at += 8 + size + (size & 1);
  }
  if (!mjpeg) return kErrUnsupported;
  file->audioSampleRate = pcm ? SnapSampleRate(file->audioSampleRate) : 0;

  const bool indexed = indexSize >= 16 && indexAt + indexSize <= fileSize;
  Scratch<uint8_t> index(indexed ? indexSize / 16 * 16 : 0);
  if (indexed && !index) return kErrMemory;
  uint64_t origin = base;
  if (indexed) {
    if (static_cast<uint64_t>(ReadAt(h, indexAt, index.data(), index.size())) < index.size())
      return kErrIo;
    // Offsets count from the "movi" code, or, in some files, from the start
    // of the file: the first frame's chunk code tells which.
    for (uint64_t e = 0; e < index.size(); e += 16) {
      if (index[e + 2] != 'd' || index[e + 3] != 'c') continue;
      uint8_t code[4];
      uint64_t first = Bytes{index.data(), index.size()}.LE32(e + 8);
      if (ReadAt(h, base + first, code, 4) == 4 && std::memcmp(code, index.data() + e, 4) == 0)
        origin = base;
      else if (ReadAt(h, first, code, 4) == 4 && std::memcmp(code, index.data() + e, 4) == 0)
        origin = 0;
      break;
    }
  }
  // The index, not the header, says how many frames exist.
  (void)declaredFrames;
  const uint64_t moviStop = moviEnd < fileSize ? moviEnd : fileSize;
  auto walk = [&](Found& found) {
    if (indexed) TakeIndex(Bytes{index.data(), index.size()}, origin, fileSize, found);
    else if (haveMovi) ScanMovi(h, base + 4, moviStop, found);
  };
  Found counted;
  walk(counted);
  file->pageOffsets = AllocateArray<uint32_t>(counted.video + 1);
  file->frameSizes = AllocateArray<uint32_t>(counted.video + 1);
  file->audioChunkOffsets = AllocateArray<uint32_t>(counted.sound + 1);
  file->audioChunkSizes = AllocateArray<uint32_t>(counted.sound + 1);
  if (!file->pageOffsets || !file->frameSizes || !file->audioChunkOffsets ||
      !file->audioChunkSizes)
    return kErrMemory;
  Found stored{file, counted.video, counted.sound};
  walk(stored);
  const uint64_t frames = stored.video < counted.video ? stored.video : counted.video;
  const uint64_t sounds = stored.sound < counted.sound ? stored.sound : counted.sound;
  file->pageCount = static_cast<int32_t>(frames);
  file->audioChunkCount = file->audioSampleRate ? static_cast<int32_t>(sounds) : 0;
  if (file->audioChunkCount == 0) file->audioSampleRate = 0;

  // Motion-JPEG frames in AVI files leave out their Huffman tables: the
  // clip's shared state starts from the standard ones.
  return InitMotionJpegTables(file, nullptr, 0);
}

}  // namespace quillon
