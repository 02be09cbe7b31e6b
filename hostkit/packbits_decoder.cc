#include "packbits_decoder.h"

#include <cstring>

namespace pc50::hostkit {

PackBitsResult DecodePackBits(const std::uint8_t* in, std::size_t n, std::uint8_t* out,
                              std::size_t capacity) {
  PackBitsResult result;
  std::size_t i = 0;
  while (i < n) {
    const std::size_t packet = i;
    const std::uint8_t count = in[i++];
    if (count == 0x80) continue;
    std::size_t length;
    if (count < 0x80) {
      length = static_cast<std::size_t>(count) + 1;
      if (n - i < length) return {PackBitsStatus::kTruncated, result.written, packet};
    } else {
      length = 257 - static_cast<std::size_t>(count);
      if (i >= n) return {PackBitsStatus::kTruncated, result.written, packet};
    }
    if (capacity - result.written < length) {
      return {PackBitsStatus::kOverflow, result.written, packet};
    }
    if (count < 0x80) {
      std::memcpy(out + result.written, in + i, length);
      i += length;
    } else {
      std::memset(out + result.written, in[i++], length);
    }
    result.written += length;
  }
  return result;
}

}  // namespace pc50::hostkit
