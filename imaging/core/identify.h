// Identification of a file's format from its first bytes: the format and
// how the file is held.
#pragma once

#include <cstdint>

#include "imaging/core/bytes.h"
#include "imaging/core/page.h"

namespace quillon {

// The bytes read from the start of a file to identify it, and the fewest a
// file must have.
constexpr uint32_t kProbeSize = 4096;
constexpr uint32_t kMinimumFileSize = 50;

// How the file is held once identified.
enum class Access { kMapped, kRead };

struct Identified {
  int32_t result;  // 0, or the refusal
  int type;
  Access access;
};

// The format of the file whose first bytes are `probe`; `handle` serves the
// tests that look further (QuickTime's top-level atoms).
Identified IdentifyHeader(FileHandle handle, const Bytes& probe, uint64_t fileSize);

}  // namespace quillon
