// IndexAvi: the chunk walk of an AVI file and its "idx1" index.
#include <cstring>
#include <vector>

#include "imaging/codecs/codecs.h"
#include "imaging/core/bytes.h"
#include "imaging/core/files.h"
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

struct Entry {
  uint32_t offset;
  uint32_t size;
};

// Chunks in a row that are neither frames nor sound after which a scan
// gives up: padding and other streams come in a few chunks, while a movie
// list of zeros is a chain of empty chunks to the end of the file.
constexpr int kMaxOtherChunks = 256;

// Frames and sound chunks found directly in the "movi" list, for files
// without an "idx1" index.
void ScanMovi(FileHandle h, uint64_t begin, uint64_t end, std::vector<Entry>& video,
              std::vector<Entry>& sound) {
  uint64_t at = begin;
  uint8_t head[12];
  int others = 0;
  while (at + 8 <= end && video.size() < (1u << 24) && others < kMaxOtherChunks) {
    if (ReadAt(h, at, head, 12) < 8) break;
    Bytes c{head, 12};
    uint64_t size = c.LE32(4);
    ++others;
    if (c.Equals(0, "LIST", 4)) {
      at += 12;  // "rec " lists hold the chunks themselves
      continue;
    }
    if (head[2] == 'd' && head[3] == 'c') {
      video.push_back({static_cast<uint32_t>(at), static_cast<uint32_t>(size)});
      others = 0;
    }
    if (head[2] == 'w' && head[3] == 'b') {
      sound.push_back({static_cast<uint32_t>(at + 8), static_cast<uint32_t>(size)});
      others = 0;
    }
    at += 8 + size + (size & 1);
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

  std::vector<Entry> video, sound;
  if (indexSize >= 16 && indexAt + indexSize <= fileSize) {
    const uint64_t entries = indexSize / 16;
    std::vector<uint8_t> index(entries * 16);
    if (static_cast<uint64_t>(ReadAt(h, indexAt, index.data(), index.size())) < index.size())
      return kErrIo;
    const Bytes ix{index.data(), index.size()};
    // Offsets count from the "movi" code, or, in some files, from the start
    // of the file: the first frame's chunk code tells which.
    uint64_t origin = base;
    for (uint64_t e = 0; e < entries; ++e) {
      if (ix.U8(16 * e + 2) != 'd' || ix.U8(16 * e + 3) != 'c') continue;
      uint8_t code[4];
      uint64_t first = ix.LE32(16 * e + 8);
      if (ReadAt(h, base + first, code, 4) == 4 && std::memcmp(code, index.data() + 16 * e, 4) == 0)
        origin = base;
      else if (ReadAt(h, first, code, 4) == 4 && std::memcmp(code, index.data() + 16 * e, 4) == 0)
        origin = 0;
      break;
    }
    for (uint64_t e = 0; e < entries; ++e) {
      uint64_t offset = origin + ix.LE32(16 * e + 8);
      uint32_t size = ix.LE32(16 * e + 12);
      if (offset >= fileSize) continue;
      if (ix.U8(16 * e + 2) == 'd' && ix.U8(16 * e + 3) == 'c')
        video.push_back({static_cast<uint32_t>(offset), size});
      else if (ix.U8(16 * e + 2) == 'w' && ix.U8(16 * e + 3) == 'b')
        sound.push_back({static_cast<uint32_t>(offset + 8), size});
    }
  } else if (haveMovi) {
    ScanMovi(h, base + 4, moviEnd < fileSize ? moviEnd : fileSize, video, sound);
  }
  (void)declaredFrames;  // the index, not the header, says how many frames exist

  file->pageCount = static_cast<int32_t>(video.size());
  file->pageOffsets = AllocateArray<uint32_t>(video.size() + 1);
  file->frameSizes = AllocateArray<uint32_t>(video.size() + 1);
  file->audioChunkOffsets = AllocateArray<uint32_t>(sound.size() + 1);
  file->audioChunkSizes = AllocateArray<uint32_t>(sound.size() + 1);
  if (!file->pageOffsets || !file->frameSizes || !file->audioChunkOffsets ||
      !file->audioChunkSizes)
    return kErrMemory;
  for (size_t i = 0; i < video.size(); ++i) {
    file->pageOffsets[i] = video[i].offset;
    // A frame never reaches past the end of the file.
    uint64_t room = fileSize - video[i].offset;
    file->frameSizes[i] = static_cast<uint32_t>(video[i].size < room ? video[i].size : room);
  }
  for (size_t i = 0; i < sound.size(); ++i) {
    uint64_t room = sound[i].offset < fileSize ? fileSize - sound[i].offset : 0;
    file->audioChunkOffsets[i] = sound[i].offset;
    file->audioChunkSizes[i] = static_cast<uint32_t>(sound[i].size < room ? sound[i].size : room);
  }
  file->audioChunkCount = file->audioSampleRate ? static_cast<int32_t>(sound.size()) : 0;
  if (file->audioChunkCount == 0) file->audioSampleRate = 0;

  // Motion-JPEG frames in AVI files leave out their Huffman tables: the
  // clip's shared state starts from the standard ones.
  return InitMotionJpegTables(file, nullptr, 0);
}

}  // namespace quillon
