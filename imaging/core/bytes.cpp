#include "imaging/core/bytes.h"

namespace quillon {

uint32_t ReadDecimal(const uint8_t* buffer, uint32_t* position,
                     uint32_t limit) {
  uint32_t value = 0;
  uint32_t i = *position;
  while (i < limit && buffer[i] >= '0' && buffer[i] <= '9') {
    uint32_t digit = buffer[i] - '0';
    value = value > (UINT32_MAX - digit) / 10 ? UINT32_MAX : value * 10 + digit;
    ++i;
  }
  *position = i + 1;
  return value;
}

}  // namespace quillon
