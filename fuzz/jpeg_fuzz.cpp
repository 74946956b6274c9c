// The JPEG decoder on raw streams, with every output option, and in
// Motion-JPEG mode with a clip's shared tables.
#include <cstring>

#include "fuzz/fuzz_support.h"
#include "imaging/codecs/codecs.h"
#include "imaging/core/core.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::LimitMemory();
  fuzz::Input in{data, size};
  const uint8_t mode = in.Byte();
  static constexpr int32_t kFlags[8] = {0, 1, 4, 0x20, 0x40, 0x80, 0x21, 0x60};
  const int32_t flags = kFlags[mode & 7];
  const bool motion = mode & 8;
  quillon::ImageFile clip{};
  quillon::PageRecord source{};
  fuzz::Wrap(&source, in.data, in.size);
  if (!source.data) return 0;
  source.compression = quillon::kJpeg;
  source.width = 16;
  source.height = 16;
  source.bitsPerPixel = 24;
  source.layoutFlags = quillon::kLayoutTopDown;
  if (motion) {
    if (quillon::InitMotionJpegTables(&clip, nullptr, 0) != quillon::kOk) {
      quillon::FreePage(&source);
      return 0;
    }
    source.compression = quillon::kMotionJpeg;
    source.decoderContext = clip.jpegState;
  }
  quillon::PageRecord decoded{};
  decoded.compression = quillon::kUncompressed;
  if (quillon::ConvertPage(&source, &decoded, flags) == quillon::kOk) {
    fuzz::Touch(decoded);
    quillon::FreePage(&decoded);
  }
  quillon::FreePage(&source);
  if (clip.jpegState) quillon::ReleaseJpegState(clip.jpegState);
  return 0;
}
