// sndPlaySound with in-memory wave images of 8-bit mono PCM, and
// MessageBeep: played by the presenter when it has sound, always logged.
#include <atomic>
#include <cstring>

#include "platform/kernel/internal.h"

namespace ce {

using namespace internal;

namespace internal {

namespace {
std::atomic<const PresenterHooks*> gHooks{nullptr};
}

void SetPresenterHooks(const PresenterHooks* hooks) { gHooks = hooks; }
const PresenterHooks* Hooks() { return gHooks.load(); }

// The samples of a RIFF/WAVE image of 8-bit mono PCM; false for anything
// else.  The image's own sizes bound every read.
bool ParseWave(const uint8_t* p, size_t available, const uint8_t** samples, size_t* count,
               int* rate) {
  auto le32 = [](const uint8_t* b) {
    return static_cast<uint32_t>(b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24));
  };
  auto le16 = [](const uint8_t* b) { return static_cast<uint32_t>(b[0] | (b[1] << 8)); };
  if (available < 12 || std::memcmp(p, "RIFF", 4) != 0 || std::memcmp(p + 8, "WAVE", 4) != 0)
    return false;
  size_t end = std::min<size_t>(available, static_cast<size_t>(le32(p + 4)) + 8);
  size_t at = 12;
  bool format = false;
  while (at + 8 <= end) {
    uint32_t size = le32(p + at + 4);
    const uint8_t* body = p + at + 8;
    size_t room = end - (at + 8);
    if (std::memcmp(p + at, "fmt ", 4) == 0) {
      if (size < 16 || room < 16) return false;
      if (le16(body) != 1 || le16(body + 2) != 1 || le16(body + 14) != 8) return false;
      *rate = static_cast<int>(le32(body + 4));
      if (*rate < 1000 || *rate > 192000) return false;
      format = true;
    } else if (std::memcmp(p + at, "data", 4) == 0) {
      if (!format) return false;
      *samples = body;
      *count = std::min<size_t>(size, room);
      return true;
    }
    if (size > room) return false;
    at += 8 + size + (size & 1);
  }
  return false;
}

}  // namespace internal

BOOL sndPlaySound(const void* sound, UINT flags) {
  const PresenterHooks* hooks = Hooks();
  if (!sound) {
    LogEvent("sound stop");
    if (hooks && hooks->stopSound) hooks->stopSound();
    return TRUE;
  }
  if (!(flags & SND_MEMORY)) return FALSE;  // only in-memory images are emulated
  const auto* p = static_cast<const uint8_t*>(sound);
  // The image declares its own length; refuse absurd ones.
  uint32_t declared = static_cast<uint32_t>(p[4] | (p[5] << 8) | (p[6] << 16) |
                                            (static_cast<uint32_t>(p[7]) << 24));
  if (std::memcmp(p, "RIFF", 4) != 0 || declared > (64u << 20)) return FALSE;
  const uint8_t* samples = nullptr;
  size_t count = 0;
  int rate = 0;
  if (!ParseWave(p, static_cast<size_t>(declared) + 8, &samples, &count, &rate)) return FALSE;
  LogEvent("sound start rate=" + std::to_string(rate) + " bytes=" + std::to_string(count));
  if (hooks && hooks->playSound) hooks->playSound(samples, count, rate);
  return TRUE;
}

BOOL MessageBeep(UINT) {
  LogEvent("beep");
  const PresenterHooks* hooks = Hooks();
  if (hooks && hooks->playSound) {
    // 80 ms of a 1 kHz square wave.
    static uint8_t tone[1764];
    for (size_t i = 0; i < sizeof(tone); ++i) tone[i] = ((i / 11) % 2) ? 0xA0 : 0x60;
    hooks->playSound(tone, sizeof(tone), 22050);
  }
  return TRUE;
}

}  // namespace ce
