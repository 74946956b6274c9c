// zlib inflation for Deflate TIFF strips and PDF Flate images.
#include <zlib.h>

#include "imaging/readers/readers.h"

namespace quillon {

uint64_t InflateInto(const uint8_t* input, uint64_t inputSize,
                     uint8_t* output, uint64_t outputSize) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return 0;
  uint64_t produced = 0, consumed = 0;
  int status = Z_OK;
  while (status == Z_OK && produced < outputSize) {
    if (z.avail_in == 0 && consumed < inputSize) {
      uint64_t chunk = inputSize - consumed;
      z.next_in = const_cast<Bytef*>(input + consumed);
      z.avail_in = static_cast<uInt>(chunk > (1u << 30) ? (1u << 30) : chunk);
      consumed += z.avail_in;
    }
    uint64_t room = outputSize - produced;
    z.next_out = output + produced;
    z.avail_out = static_cast<uInt>(room > 65536 ? 65536 : room);
    uInt before = z.avail_out;
    status = inflate(&z, Z_NO_FLUSH);
    produced += before - z.avail_out;
    if (status == Z_BUF_ERROR && z.avail_in == 0 && consumed >= inputSize) break;
    if (status == Z_BUF_ERROR) status = Z_OK;  // room ran out inside a call
    if (before == z.avail_out && z.avail_in == 0 && consumed >= inputSize) break;
  }
  inflateEnd(&z);
  return produced;
}

uint64_t InflateEach(const uint8_t* input, uint64_t inputSize, uint64_t limit,
                     InflateConsumer consume, void* context) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return 0;
  uint8_t piece[16384];
  uint64_t produced = 0, consumed = 0;
  int status = Z_OK;
  while (status == Z_OK && produced < limit) {
    if (z.avail_in == 0 && consumed < inputSize) {
      uint64_t chunk = inputSize - consumed;
      z.next_in = const_cast<Bytef*>(input + consumed);
      z.avail_in = static_cast<uInt>(chunk > (1u << 30) ? (1u << 30) : chunk);
      consumed += z.avail_in;
    }
    const uint64_t room = limit - produced;
    z.next_out = piece;
    z.avail_out = static_cast<uInt>(room > sizeof piece ? sizeof piece : room);
    const uInt before = z.avail_out;
    status = inflate(&z, Z_NO_FLUSH);
    const uint32_t got = before - z.avail_out;
    produced += got;
    if (got && !consume(context, piece, got)) break;
    if (status == Z_BUF_ERROR && (z.avail_in != 0 || consumed < inputSize)) status = Z_OK;
    if (got == 0 && z.avail_in == 0 && consumed >= inputSize) break;
  }
  inflateEnd(&z);
  return produced;
}

}  // namespace quillon
