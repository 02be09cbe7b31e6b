// PackBits (PCL raster compression method 2) decoding, written for the host
// side so that it checks the module's encoder rather than mirroring it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pc50::hostkit {

enum class PackBitsStatus {
  kOk,
  kTruncated,   // a packet needs more bytes than the input holds
  kOverflow,    // the output would exceed the capacity
};

struct PackBitsResult {
  PackBitsStatus status = PackBitsStatus::kOk;
  std::size_t written = 0;       // bytes stored in the output
  std::size_t packetOffset = 0;  // on failure: input offset of the bad packet's count byte
};

// Decodes n bytes of packets into out (capacity bytes). A count byte k of
// 0..127 copies the next k + 1 bytes; 0x81..0xFF repeats the next byte
// 257 - k times; 0x80 is a no-op. Never reads or writes out of bounds.
PackBitsResult DecodePackBits(const std::uint8_t* in, std::size_t n, std::uint8_t* out,
                              std::size_t capacity);

}  // namespace pc50::hostkit
