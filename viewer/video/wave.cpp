// The clip's sound as an in-memory wave file.
#include <algorithm>
#include <cstring>

#include "imaging/core/files.h"
#include "viewer/video/video.h"

namespace zelmo {

namespace {

void Put32(uint8_t* at, uint32_t v) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
}
void Put16(uint8_t* at, uint32_t v) {
  at[0] = static_cast<uint8_t>(v);
  at[1] = static_cast<uint8_t>(v >> 8);
}

void WriteHeader(uint8_t* h, uint32_t rate, uint32_t soundBytes) {
  std::memcpy(h, "RIFF", 4);
  Put32(h + 4, soundBytes + 36);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  Put32(h + 16, 16);
  Put16(h + 20, 1);  // PCM
  Put16(h + 22, 1);  // mono
  Put32(h + 24, rate);
  Put32(h + 28, rate);  // one byte a sample
  Put16(h + 32, 1);
  Put16(h + 34, 8);
  std::memcpy(h + 36, "data", 4);
  Put32(h + 40, soundBytes);
}

}  // namespace

WaveImage BuildWaveImage(const quillon::ImageFile& clip, int firstFrame, uint32_t interval) {
  if (clip.audioChunkCount <= 0 || clip.audioSampleRate <= 0 || clip.audioLength <= 0 ||
      !clip.audioChunkOffsets || !clip.audioChunkSizes || clip.fileHandle == quillon::kInvalidHandle)
    return {};
  // The sound of the frames before the first one is left out, so that
  // sound and picture start together.
  const uint64_t skip = static_cast<uint64_t>(clip.audioSampleRate) * static_cast<uint64_t>(std::max(firstFrame, 0)) *
                        interval / 1000;
  // A file holds no more sound than its own size, whatever its index says.
  uint64_t room = static_cast<uint64_t>(clip.audioLength);
  if (clip.fileSize > 0) room = std::min<uint64_t>(room, static_cast<uint64_t>(clip.fileSize));
  if (skip >= room) return {};
  auto* data = static_cast<uint8_t*>(quillon::Allocate(kWaveHeaderBytes + room));
  if (!data) return {};
  uint8_t* sound = data + kWaveHeaderBytes;
  uint64_t filled = 0;
  for (int32_t k = 0; k < clip.audioChunkCount && filled < room; ++k) {
    const uint64_t size = std::min<uint64_t>(clip.audioChunkSizes[k], room - filled);
    const int64_t got = quillon::ReadAt(clip.fileHandle, clip.audioChunkOffsets[k], sound + filled, size);
    if (got > 0) filled += static_cast<uint64_t>(got);
  }
  if (filled <= skip) {
    quillon::Release(data);
    return {};
  }
  const uint64_t bytes = filled - skip;
  if (skip) std::memmove(sound, sound + skip, bytes);
  WriteHeader(data, static_cast<uint32_t>(clip.audioSampleRate), static_cast<uint32_t>(bytes));
  return WaveImage{data, static_cast<uint32_t>(kWaveHeaderBytes + bytes)};
}

void ReleaseWaveImage(WaveImage* wave) {
  quillon::Release(wave->data);
  *wave = WaveImage{};
}

}  // namespace zelmo
