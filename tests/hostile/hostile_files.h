// Small files that claim far more than they hold: pages of a quarter of a
// gigapixel, thousands of pages over the same few bytes, tables chained or
// filled to cost minutes.  Each is built from a few lines, at full size for
// the tests or scaled down for the fuzz targets' regression inputs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hostile {

struct HostileFile {
  std::string name;
  std::vector<uint8_t> bytes;
  uint64_t sparseSize = 0;  // when not 0, the file is extended (with a hole) to this size
};

enum class Scale { kFull, kSmall };

std::vector<HostileFile> HostileFiles(Scale scale);

}  // namespace hostile
