// PackBits encoder for the row records the host writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pc50::hostkit {

// Packs row into PackBits packets: a control byte c in 0..127 is followed by
// c + 1 literal bytes, a control byte c in -127..-1 by one byte to repeat
// 1 - c times. Runs of three or more equal bytes become repeat packets. The
// result is never longer than n + ceil(n / 128) bytes; an empty row packs to
// nothing.
std::vector<std::uint8_t> PackBits(const std::uint8_t* row, std::size_t length);
std::vector<std::uint8_t> PackBits(const std::vector<std::uint8_t>& row);

}  // namespace pc50::hostkit
