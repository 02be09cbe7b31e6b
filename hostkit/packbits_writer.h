// PackBits encoder for the row records the host writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pc50::hostkit {

// Packs row into PackBits packets: a control byte c in 0..127 is followed by
// c + 1 literal bytes, a control byte c in -127..-1 by one byte to repeat
// 1 - c times. The packets are those the printer's stream uses, so that the
// module can send a row that needs no change as it is: three equal bytes
// start a repeat packet, two do when nothing is pending before them, except
// as the row's last two bytes; runs split at 128 and a single leftover byte
// opens the next literal; literals split at 128. The result is never longer
// than n + ceil(n / 128) bytes; an empty row packs to nothing.
std::vector<std::uint8_t> PackBits(const std::uint8_t* row, std::size_t length);
std::vector<std::uint8_t> PackBits(const std::vector<std::uint8_t>& row);

// The row as literal packets only, 128 bytes each and one rest: valid
// PackBits that a host looking for no runs would write.
std::vector<std::uint8_t> PackLiterals(const std::vector<std::uint8_t>& row);

}  // namespace pc50::hostkit
