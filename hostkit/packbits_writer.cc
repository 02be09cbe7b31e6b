#include "packbits_writer.h"

namespace pc50::hostkit {
namespace {

constexpr std::size_t kMaxPacket = 128;

// Appends row[from .. to) as literal packets of 128 bytes and one rest.
void PutLiteral(std::vector<std::uint8_t>& out, const std::uint8_t* row, std::size_t from, std::size_t to) {
  while (from < to) {
    const std::size_t n = to - from < kMaxPacket ? to - from : kMaxPacket;
    out.push_back(static_cast<std::uint8_t>(n - 1));
    out.insert(out.end(), row + from, row + from + n);
    from += n;
  }
}

}  // namespace

std::vector<std::uint8_t> PackBits(const std::uint8_t* row, std::size_t length) {
  std::vector<std::uint8_t> out;
  out.reserve(length + (length + kMaxPacket - 1) / kMaxPacket);
  std::size_t pending = 0;  // first byte not yet packed
  std::size_t i = 0;
  while (i + 2 < length) {
    // Equal bytes from i on; a stretch is a run when it has three bytes, or
    // two with nothing pending before it.
    std::size_t end = i + 1;
    while (end < length && row[end] == row[i]) ++end;
    const std::size_t same = end - i;
    if (same < 2 || (same == 2 && pending != i)) {
      i = end;
      continue;
    }
    PutLiteral(out, row, pending, i);
    std::size_t left = same;
    while (left >= 2) {
      const std::size_t n = left > kMaxPacket ? kMaxPacket : left;
      out.push_back(static_cast<std::uint8_t>(1 - static_cast<int>(n)));
      out.push_back(row[i]);
      left -= n;
    }
    pending = end - left;  // a single leftover byte opens the next literal
    i = end;
  }
  PutLiteral(out, row, pending, length);
  return out;
}

std::vector<std::uint8_t> PackBits(const std::vector<std::uint8_t>& row) {
  return PackBits(row.data(), row.size());
}

std::vector<std::uint8_t> PackLiterals(const std::vector<std::uint8_t>& row) {
  std::vector<std::uint8_t> out;
  PutLiteral(out, row.data(), 0, row.size());
  return out;
}

}  // namespace pc50::hostkit
