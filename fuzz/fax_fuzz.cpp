// The fax decoders alone, on fuzzed geometry, strips and fill order: the
// two-dimensional step lookups change nothing; every page decoded whole
// decodes to a bitmap equal to its runs painted, and is encoded again and
// must decode to the same runs.
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "imaging/codecs/fax_decode.h"
#include "imaging/core/core.h"
#include "imaging/core/runlist.h"

namespace {

bool SameRuns(const quillon::PageRecord& a, const quillon::PageRecord& b) {
  if (a.height != b.height) return false;
  for (int32_t y = 0; y < a.height; ++y) {
    const uint8_t* p = quillon::LinePointers(a)[y];
    const uint8_t* q = quillon::LinePointers(b)[y];
    uint32_t n = quillon::RunLineLength(p), m = quillon::RunLineLength(q);
    if (n != m || std::memcmp(p, q, n) != 0) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::LimitMemory();
  fuzz::Input in{data, size};
  static constexpr int kCodes[4] = {quillon::kModifiedHuffman, quillon::kG3OneD,
                                    quillon::kG3TwoD, quillon::kG4};
  const uint8_t mode = in.Byte();
  const int32_t width = 1 + static_cast<int32_t>(in.Word() % 2600);
  const int32_t height = 1 + static_cast<int32_t>(in.Word() % 1200);
  const int strips = (mode & 0x10) ? 1 + in.Byte() % 4 : 0;

  quillon::PageRecord source{};
  fuzz::Wrap(&source, in.data, in.size);
  if (!source.data) return 0;
  source.width = width;
  source.height = height;
  source.bitsPerPixel = 1;
  source.compression = static_cast<int8_t>(kCodes[mode & 3]);
  source.fillOrderReversed = (mode >> 2) & 1;
  source.photometric = (mode >> 5) & 1;
  fuzz::SplitIntoStrips(&source, strips);
  const int32_t flags = (mode & 8) ? quillon::kFlagKeepPartial : 0;
  quillon::PageRecord runs{}, plain{};
  runs.compression = plain.compression = quillon::kRunLists;
  const int32_t result = quillon::ConvertPage(&source, &runs, flags);
  // Two-dimensional steps decoded code by code give the same result and runs.
  quillon::SetFaxStepLookups(false);
  const int32_t plainResult = quillon::ConvertPage(&source, &plain, flags);
  quillon::SetFaxStepLookups(true);
  if (plainResult != result || (result == quillon::kOk && !SameRuns(runs, plain))) __builtin_trap();
  quillon::FreePage(&plain);
  if (result == quillon::kOk) {
    fuzz::Touch(runs);
    // The bitmap, painted line by line as it is decoded, fresh and into a
    // caller's page, equals the runs painted.
    fuzz::CheckDecodePaths(&source, runs, flags);
    // G4 and the one-dimensional codings of the decoded page decode back to
    // the very same runs.  The decoded runs are already inverted when the
    // source asked for it; the record still says so (photometric is left
    // as it is), so clear it before they are coded and decoded again.
    runs.photometric = 0;
    static constexpr int kTargets[3] = {quillon::kG4, quillon::kG3OneD, quillon::kModifiedHuffman};
    quillon::PageRecord coded{};
    coded.compression = static_cast<int8_t>(kTargets[(mode >> 6) % 3]);
    if (quillon::ConvertPage(&runs, &coded, 0) == quillon::kOk) {
      quillon::PageRecord again{};
      again.compression = quillon::kRunLists;
      if (quillon::ConvertPage(&coded, &again, 0) != quillon::kOk || !SameRuns(runs, again))
        __builtin_trap();
      quillon::FreePage(&again);
      quillon::FreePage(&coded);
    }
    quillon::FreePage(&runs);
  }
  quillon::FreePage(&source);
  return 0;
}
