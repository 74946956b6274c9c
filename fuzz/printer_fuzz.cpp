// The emulator's virtual printer reading any byte stream as a PCL job, fed
// in pieces of a size the input chooses: every sheet it ejects is whole.
#include <algorithm>
#include <cstdlib>

#include "platform/devices/virtual_printer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t piece = 1 + data[0] % 97;
  auto sink = [](const ce::PrintSheet& s) {
    if (s.bits.size() != static_cast<size_t>(s.stride) * static_cast<size_t>(s.height) || s.dpi < 10 ||
        s.dpi > 1200 || s.rasterRows > s.printableHeight)
      std::abort();
  };
  ce::PclReader reader;
  for (size_t at = 1; at < size; at += piece) ce::FeedPcl(&reader, data + at, std::min(piece, size - at), sink);
  ce::EndPcl(&reader, sink);
  return 0;
}
