#include "packbits_writer.h"

namespace pc50::hostkit {
namespace {

constexpr std::size_t kMaxPacket = 128;

// Length of the run of bytes equal to row[at], at most kMaxPacket.
std::size_t RunLength(const std::uint8_t* row, std::size_t length, std::size_t at) {
  std::size_t n = 1;
  while (at + n < length && n < kMaxPacket && row[at + n] == row[at]) ++n;
  return n;
}

}  // namespace

std::vector<std::uint8_t> PackBits(const std::uint8_t* row, std::size_t length) {
  std::vector<std::uint8_t> out;
  out.reserve(length + (length + kMaxPacket - 1) / kMaxPacket);
  std::size_t i = 0;
  while (i < length) {
    const std::size_t run = RunLength(row, length, i);
    if (run >= 3) {
      out.push_back(static_cast<std::uint8_t>(1 - static_cast<int>(run)));
      out.push_back(row[i]);
      i += run;
      continue;
    }
    // Literal packet: up to the next run of three or the packet limit.
    std::size_t end = i;
    while (end < length && end - i < kMaxPacket && RunLength(row, length, end) < 3) ++end;
    out.push_back(static_cast<std::uint8_t>(end - i - 1));
    out.insert(out.end(), row + i, row + end);
    i = end;
  }
  return out;
}

std::vector<std::uint8_t> PackBits(const std::vector<std::uint8_t>& row) {
  return PackBits(row.data(), row.size());
}

}  // namespace pc50::hostkit
