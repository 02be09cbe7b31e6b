// Row composition against a pixel-by-pixel model: ReplicatePixels at any
// depth, repeat and bit position over a destination that already holds
// bits, and ScaleRow with input-chosen part widths, copies and gaps.
//
// Input: depth, repeat, start bit, part sizes, then the source pixels (the
// rest of the input, reused cyclically); the destination's old contents are
// a pattern drawn from the same bytes.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "device/pc50_device.h"
#include "fuzz_input.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using pc50::fuzz::Check;

int GetBit(const Bytes& bytes, long bit) { return (bytes[static_cast<std::size_t>(bit / 8)] >> (7 - bit % 8)) & 1; }
void SetBit(Bytes& bytes, long bit) { bytes[static_cast<std::size_t>(bit / 8)] |= static_cast<std::uint8_t>(0x80 >> (bit % 8)); }

unsigned ModelPixel(const Bytes& row, int bpp, long index) {
  unsigned value = 0;
  for (int j = 0; j < bpp; ++j) value = (value << 1) | static_cast<unsigned>(GetBit(row, index * bpp + j));
  return value;
}

// Zero pixels write nothing; others set their one bits (1, 2, 4 bits) or
// store the byte (8 bits, from the start of the byte). No pixels at all do
// nothing, not even that move to the start of the byte.
void ModelReplicate(int bpp, int count, const Bytes& src, int repeat, long* pos, Bytes& dst) {
  if (count <= 0) return;
  if (bpp == 8) *pos &= ~7L;
  for (int i = 0; i < count; ++i) {
    const unsigned value = ModelPixel(src, bpp, i);
    for (int r = 0; r < repeat; ++r, *pos += bpp) {
      if (value == 0) continue;
      if (bpp == 8) {
        dst[static_cast<std::size_t>(*pos / 8)] = static_cast<std::uint8_t>(value);
      } else {
        for (int j = 0; j < bpp; ++j) {
          if ((value >> (bpp - 1 - j)) & 1) SetBit(dst, *pos + j);
        }
      }
    }
  }
}

Bytes Fill(std::size_t size, const std::uint8_t* data, std::size_t dataSize, std::size_t offset) {
  Bytes bytes(size, 0);
  if (dataSize == 0) return bytes;
  for (std::size_t i = 0; i < size; ++i) bytes[i] = data[(i + offset) % dataSize];
  return bytes;
}

void CheckReplicate(pc50::APC50Device& device, int bpp, int repeat, int count, int start, const std::uint8_t* data,
                    std::size_t dataSize) {
  const Bytes src = Fill((static_cast<std::size_t>(count) * bpp + 7) / 8, data, dataSize, 0);
  const std::size_t dstSize = static_cast<std::size_t>((start + static_cast<long>(count) * repeat * bpp + 7) / 8);
  Bytes expected = Fill(dstSize, data, dataSize, 7);
  // Exactly the bytes the pixels cover, so a stray write is out of bounds.
  Bytes actual = expected;
  long expectedPos = start;
  int actualPos = start;
  ModelReplicate(bpp, count, src, repeat, &expectedPos, expected);
  device.ReplicatePixels(bpp, count, src.data(), repeat, &actualPos, actual.data());
  Check(actual == expected, "ReplicatePixels differs from the model", bpp, repeat);
  Check(actualPos == expectedPos, "ReplicatePixels position", actualPos, expectedPos);
}

void CheckScaleRow(pc50::APC50Device& device, int bpp, int repeat, pc50::fuzz::FuzzInput& in, const std::uint8_t* data,
                   std::size_t dataSize) {
  const int lead = in.Byte() % 24;
  const int leftW = in.Byte() % 80;
  const int midW = in.Byte() % 200;
  const int copies = in.Byte() % 6;
  const int gap = in.Byte() % 40;
  const int rightW = in.Byte() % 80;
  const std::uint8_t parts = in.Byte();
  const Bytes left = Fill((static_cast<std::size_t>(leftW) * bpp + 7) / 8, data, dataSize, 1);
  const Bytes mid = Fill((static_cast<std::size_t>(midW) * bpp + 7) / 8, data, dataSize, 2);
  const Bytes right = Fill((static_cast<std::size_t>(rightW) * bpp + 7) / 8, data, dataSize, 3);
  const std::uint8_t* leftData = parts & 1 ? left.data() : nullptr;
  const std::uint8_t* midData = parts & 2 ? mid.data() : nullptr;
  const std::uint8_t* rightData = parts & 4 ? right.data() : nullptr;

  const long midSpan = static_cast<long>(repeat) * midW;
  const long total = lead + static_cast<long>(repeat) * (leftW + rightW) +
                     (copies > 0 ? midSpan + (copies - 1) * (gap + midSpan) : 0);
  const int width = device.ScaleRow(bpp, repeat, lead, leftW, leftData, midW, midData, copies, gap, rightW, rightData,
                                    nullptr);
  Check(width == total, "ScaleRow width", width, total);

  const std::size_t bytes = static_cast<std::size_t>((total * bpp + 7) / 8);
  Bytes expected(bytes, 0);
  long pos = static_cast<long>(bpp) * lead;
  if (leftData) ModelReplicate(bpp, leftW, left, repeat, &pos, expected);
  else pos += static_cast<long>(bpp) * repeat * leftW;
  for (int c = 0; c < copies; ++c) {
    if (c > 0) pos += static_cast<long>(bpp) * gap;
    if (midData) ModelReplicate(bpp, midW, mid, repeat, &pos, expected);
    else pos += static_cast<long>(bpp) * midSpan;
  }
  if (rightData) ModelReplicate(bpp, rightW, right, repeat, &pos, expected);

  // Old contents everywhere: ScaleRow clears its row first.
  Bytes actual = Fill(bytes, data, dataSize, 5);
  const int drawn = device.ScaleRow(bpp, repeat, lead, leftW, leftData, midW, midData, copies, gap, rightW, rightData,
                                    actual.data());
  Check(drawn == total, "ScaleRow result", drawn, total);
  Check(actual == expected, "ScaleRow differs from the model", bpp, repeat);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  pc50::fuzz::FuzzInput in(data, size);
  static const int kDepths[4] = {1, 2, 4, 8};
  const std::uint8_t shape = in.Byte();
  const int bpp = kDepths[shape & 3];
  const int repeat = 1 + (shape >> 2) % 5;  // 1..5: the table paths and the general one
  const int start = in.Byte() % 64;
  const int count = in.U16() % 2400;
  std::uint8_t scaleArgs[7];
  for (std::uint8_t& b : scaleArgs) b = in.Byte();
  std::size_t restSize = 0;
  const std::uint8_t* rest = in.Rest(&restSize);

  pc50::APC50Device device;
  CheckReplicate(device, bpp, repeat, count, start, rest, restSize);
  pc50::fuzz::FuzzInput scale(scaleArgs, sizeof scaleArgs);
  CheckScaleRow(device, bpp, repeat, scale, rest, restSize);
  return 0;
}
