// IndexQuickTime: the atom walk of a QuickTime file, its sample tables and
// the first frame's Huffman tables.
#include <cstring>

#include "imaging/codecs/codecs.h"
#include "imaging/core/bytes.h"
#include "imaging/core/files.h"
#include "imaging/core/scratch.h"
#include "imaging/readers/video.h"

namespace quillon {

namespace {

// Where a track's sample tables lie in the file.
struct Table {
  uint64_t at = 0;  // start of the atom
  uint64_t size = 0;
};

struct Track {
  uint32_t timeScale = 0;
  bool usable = false;
  uint32_t sampleSize = 0;  // a size shared by every sample, or 0
  uint32_t sampleCount = 0;
  uint32_t sampleDuration = 0;
  Table stsz, stsc, stco;
  bool offsets64 = false;
};

// No real clip has more samples or chunks than this; a hostile count is cut.
constexpr uint32_t kMaxEntries = 1u << 22;

// Each of these is false only when memory fails; a table that is absent
// or cut reads as empty or short.
bool ReadTable(FileHandle h, const Table& t, uint64_t fileSize, Scratch<uint8_t>& out) {
  if (t.at >= fileSize || t.size < 16) return out.Reset(0);
  uint64_t size = t.size < fileSize - t.at ? t.size : fileSize - t.at;
  if (size > (uint64_t{1} << 26)) size = uint64_t{1} << 26;
  if (!out.Reset(size)) return false;
  const int64_t got = ReadAt(h, t.at, out.data(), size);
  out.Shrink(got > 0 ? static_cast<uint64_t>(got) : 0);
  return true;
}

// Chunk offsets: 32-bit ("stco") or 64-bit ("co64") entries from byte 16.
bool ChunkOffsets(FileHandle h, const Track& t, uint64_t fileSize, Scratch<uint64_t>& out) {
  Scratch<uint8_t> raw;
  if (!ReadTable(h, t.stco, fileSize, raw)) return false;
  const Bytes b{raw.data(), raw.size()};
  const uint64_t width = t.offsets64 ? 8 : 4;
  uint64_t count = b.BE32(12);
  if (count > kMaxEntries) count = kMaxEntries;
  if (count > b.n / width) count = b.n / width;  // no more than the table holds
  if (!out.Reset(count)) return false;
  uint64_t k = 0;
  for (; k < count && b.Has(16 + k * width, width); ++k)
    out[k] = t.offsets64 ? (static_cast<uint64_t>(b.BE32(16 + 8 * k)) << 32) | b.BE32(20 + 8 * k)
                         : b.BE32(16 + 4 * k);
  out.Shrink(k);
  return true;
}

// Samples per chunk for every chunk (1-based numbering in the table).  Each
// entry fills its own run of chunks, up to the next entry's first chunk, so
// the table is read once; first chunks must increase, and the entry before
// one that does not runs to the last chunk.
bool SamplesPerChunk(FileHandle h, const Track& t, uint64_t fileSize, uint64_t chunks,
                     Scratch<uint32_t>& out) {
  Scratch<uint8_t> raw;
  if (!ReadTable(h, t.stsc, fileSize, raw) || !out.Reset(chunks)) return false;
  const Bytes b{raw.data(), raw.size()};
  const uint64_t entries = b.BE32(12);
  for (uint64_t e = 0; e < entries && e < kMaxEntries && b.Has(16 + 12 * e, 12); ++e) {
    const uint64_t first = b.BE32(16 + 12 * e);
    uint64_t next = chunks + 1;
    const bool more = e + 1 < entries && b.Has(28 + 12 * e, 12);
    if (more && b.BE32(28 + 12 * e) > first) next = b.BE32(28 + 12 * e);
    const uint32_t per = b.BE32(20 + 12 * e);
    for (uint64_t c = first < 1 ? 1 : first; c < next && c <= chunks; ++c) out[c - 1] = per;
    if (next == chunks + 1) break;  // the last entry, or the table goes wrong here
  }
  return true;
}

}  // namespace

int32_t IndexQuickTime(ImageFile* file) {
  const FileHandle h = file->fileHandle;
  const uint64_t fileSize = static_cast<uint64_t>(file->fileSize);
  Track video, sound, current;
  enum { kUnknown, kVideo, kSound } kind = kUnknown;
  bool haveVideo = false, haveSound = false;
  uint32_t lastTimeScale = 0;
  uint8_t buffer[512];
  uint64_t at = 0;
  auto finishTrack = [&] {
    if (kind == kVideo && current.usable && !haveVideo) {
      video = current;
      haveVideo = true;
    }
    if (kind == kSound && !haveSound) {
      sound = current;
      haveSound = true;
    }
    current = Track{};
    kind = kUnknown;
  };
  for (int atoms = 0; at + 8 <= fileSize && atoms < 200000; ++atoms) {
    std::memset(buffer, 0, sizeof buffer);
    if (ReadAt(h, at, buffer, sizeof buffer) < 8) break;
    const Bytes a{buffer, sizeof buffer};
    uint64_t size = a.BE32(0);
    if (size == 1) size = (static_cast<uint64_t>(a.BE32(8)) << 32) | a.BE32(12);
    if (size == 0 || size < 8) break;
    if (a.Equals(4, "trak", 4)) finishTrack();
    if (a.Equals(4, "moov", 4) || a.Equals(4, "trak", 4) || a.Equals(4, "mdia", 4) ||
        a.Equals(4, "minf", 4) || a.Equals(4, "stbl", 4)) {
      at += 8;  // entered
      continue;
    }
    if (a.Equals(4, "mdhd", 4)) {
      // Version 1 headers carry 64-bit times before the time scale.
      lastTimeScale = a.U8(8) == 1 ? a.BE32(28) : a.BE32(20);
      current.timeScale = lastTimeScale;
    } else if (a.Equals(4, "vmhd", 4)) {
      kind = kVideo;
      current.timeScale = lastTimeScale;
    } else if (a.Equals(4, "smhd", 4)) {
      kind = kSound;
      current.timeScale = lastTimeScale;
    } else if (a.Equals(4, "stsd", 4)) {
      if (kind == kVideo) current.usable = a.Equals(20, "jpeg", 4) || a.Equals(20, "mjpg", 4);
      if (kind == kSound) current.usable = a.Equals(20, "raw ", 4);
    } else if (a.Equals(4, "stsz", 4)) {
      current.sampleSize = a.BE32(12);
      current.sampleCount = a.BE32(16);
      current.stsz = {at, size};
    } else if (a.Equals(4, "stsc", 4)) {
      current.stsc = {at, size};
    } else if (a.Equals(4, "stco", 4) || a.Equals(4, "co64", 4)) {
      current.stco = {at, size};
      current.offsets64 = a.Equals(4, "co64", 4);
    } else if (a.Equals(4, "stts", 4)) {
      current.sampleDuration = a.BE32(20);
    }
    at += size;
  }
  finishTrack();
  if (!haveVideo) return kErrUnsupported;

  // Video frames: chunk by chunk, each chunk's samples back to back.
  Scratch<uint64_t> chunks;
  Scratch<uint32_t> perChunk;
  Scratch<uint8_t> sizesRaw;
  if (!ChunkOffsets(h, video, fileSize, chunks) ||
      !SamplesPerChunk(h, video, fileSize, chunks.size(), perChunk) ||
      !ReadTable(h, video.stsz, fileSize, sizesRaw))
    return kErrMemory;
  const Bytes sizes{sizesRaw.data(), sizesRaw.size()};
  const uint32_t frames = video.sampleCount < kMaxEntries ? video.sampleCount : kMaxEntries;
  file->pageOffsets = AllocateArray<uint32_t>(frames + 1u);
  file->frameSizes = AllocateArray<uint32_t>(frames + 1u);
  if (!file->pageOffsets || !file->frameSizes) return kErrMemory;
  uint32_t frame = 0;
  for (uint64_t c = 0; c < chunks.size() && frame < frames; ++c) {
    uint64_t offset = chunks[c];
    for (uint32_t s = 0; s < perChunk[c] && frame < frames; ++s) {
      uint32_t size = video.sampleSize ? video.sampleSize : sizes.BE32(20 + 4 * uint64_t{frame});
      if (offset >= fileSize) break;
      uint64_t room = fileSize - offset;
      file->pageOffsets[frame] = static_cast<uint32_t>(offset);
      file->frameSizes[frame] = static_cast<uint32_t>(size < room ? size : room);
      ++frame;
      offset += size;
    }
  }
  file->pageCount = static_cast<int32_t>(frame);
  if (video.timeScale && video.sampleDuration)
    file->frameDuration = static_cast<int32_t>(uint64_t{1000} * video.sampleDuration / video.timeScale);

  // Sound: raw 8-bit samples, chunk by chunk.
  if (haveSound && sound.usable && sound.sampleDuration && sound.timeScale) {
    file->audioSampleRate = SnapSampleRate(static_cast<int32_t>(sound.timeScale / sound.sampleDuration));
    Scratch<uint64_t> soundChunks;
    Scratch<uint32_t> soundPer;
    if (!ChunkOffsets(h, sound, fileSize, soundChunks) ||
        !SamplesPerChunk(h, sound, fileSize, soundChunks.size(), soundPer))
      return kErrMemory;
    file->audioChunkOffsets = AllocateArray<uint32_t>(soundChunks.size() + 1);
    file->audioChunkSizes = AllocateArray<uint32_t>(soundChunks.size() + 1);
    if (!file->audioChunkOffsets || !file->audioChunkSizes) return kErrMemory;
    uint64_t taken = 0;
    int32_t count = 0;
    for (uint64_t c = 0; c < soundChunks.size() && taken < sound.sampleCount; ++c) {
      if (soundChunks[c] >= fileSize) break;
      uint64_t n = soundPer[c];
      if (n > sound.sampleCount - taken) n = sound.sampleCount - taken;
      if (n > fileSize - soundChunks[c]) n = fileSize - soundChunks[c];
      file->audioChunkOffsets[count] = static_cast<uint32_t>(soundChunks[c]);
      file->audioChunkSizes[count] = static_cast<uint32_t>(n);
      ++count;
      taken += n;
    }
    file->audioChunkCount = count;
    file->audioLength = static_cast<int32_t>(taken);
  } else {
    file->audioSampleRate = 0;
  }

  // The first frame's Huffman tables serve the clip; frames without any
  // use the standard ones.
  if (file->pageCount > 0) {
    uint8_t head[4096] = {};
    int64_t got = ReadAt(h, file->pageOffsets[0], head, sizeof head);
    const Bytes j{head, static_cast<uint64_t>(got > 0 ? got : 0)};
    for (uint64_t p = 2; p + 4 <= j.n;) {
      uint32_t marker = j.BE16(p);
      if (marker == 0xFFC4) {
        uint64_t end = p;
        while (end + 4 <= j.n && j.BE16(end) == 0xFFC4) end += 2 + j.BE16(end + 2);
        if (end > j.n) end = j.n;
        return InitMotionJpegTables(file, head + p, static_cast<uint32_t>(end - p));
      }
      if ((marker & 0xFF00) != 0xFF00 || marker == 0xFFDA || marker == 0xFFD9) break;
      p += 2 + j.BE16(p + 2);
    }
  }
  return InitMotionJpegTables(file, nullptr, 0);
}

}  // namespace quillon
