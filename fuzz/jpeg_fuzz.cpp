// The JPEG decoder on raw streams, with every output option, and in
// Motion-JPEG mode with a clip's shared tables; or (mode 0xF0 or 0xF1) the
// data as a DHT segment body, its Huffman lookups, as each scale builds
// them, checked against the tables walked code by code.
#include <cstdlib>
#include <cstring>

#include "fuzz/fuzz_support.h"
#include "imaging/codecs/codecs.h"
#include "imaging/codecs/jpeg.h"
#include "imaging/core/core.h"
#include "tests/support/jpeg_lookups.h"

namespace {

void CheckLookups(const uint8_t* body, size_t size, uint8_t mode) {
  // Built by the state itself, and borrowed from the thread's cache (twice:
  // the second borrows what the first built).
  for (uint32_t cached : {0u, quillon::kJpegCachedLookups, quillon::kJpegCachedLookups}) {
    quillon::JpegDecoderState* state = quillon::AllocateJpegState();
    if (!state) return;
    // Tables read before a fault stay loaded, and are built all the same.
    quillon::ReadDht(body, static_cast<uint32_t>(size < 2000 ? size : 2000), state);
    const uint32_t extras = (mode & 1) ? quillon::kJpegSkipAc : quillon::kJpegFastAc;
    for (uint32_t build : {extras, quillon::kJpegFastAc | quillon::kJpegSkipAc}) {
      if (quillon::BuildHuffmanLookup(state, build | cached) != quillon::kOk) break;
      for (int slot = 0; slot < 8; ++slot)
        if (state->huffmanPresent[slot] && !testutil::LookupsMatchTable(*state, slot)) std::abort();
    }
    quillon::ReleaseJpegState(state);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::LimitMemory();
  fuzz::Input in{data, size};
  const uint8_t mode = in.Byte();
  static constexpr int32_t kFlags[8] = {0, 1, 4, 0x20, 0x40, 0x80, 0x21, 0x60};
  const int32_t flags = kFlags[mode & 7];
  const bool motion = mode & 8;
  if ((mode & 0xFE) == 0xF0) {
    CheckLookups(in.data, in.size, mode);
    return 0;
  }
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
