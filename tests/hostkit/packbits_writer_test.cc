#include "packbits_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace pc50::hostkit {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Reference decoder, written from the packet rules alone.
Bytes Unpack(const Bytes& packed) {
  Bytes out;
  std::size_t i = 0;
  while (i < packed.size()) {
    const int c = static_cast<std::int8_t>(packed[i]);
    if (c == -128) {
      i += 1;
    } else if (c < 0) {
      out.insert(out.end(), static_cast<std::size_t>(1 - c), packed.at(i + 1));
      i += 2;
    } else {
      for (int k = 0; k <= c; ++k) out.push_back(packed.at(i + 1 + static_cast<std::size_t>(k)));
      i += static_cast<std::size_t>(c) + 2;
    }
  }
  return out;
}

std::size_t Bound(std::size_t n) { return n + (n + 127) / 128; }

TEST(PackBitsWriter, RandomRowsRoundTripWithinTheBound) {
  std::mt19937 rng(42);
  for (int trial = 0; trial < 500; ++trial) {
    const std::size_t n = rng() % 700;
    const unsigned alphabet = 1 + rng() % 4;  // small alphabets make runs
    Bytes row(n);
    for (auto& b : row) b = static_cast<std::uint8_t>(rng() % alphabet);
    const Bytes packed = PackBits(row);
    ASSERT_EQ(Unpack(packed), row) << "trial " << trial;
    ASSERT_LE(packed.size(), Bound(n));
    for (std::size_t i = 0; i < packed.size();) {  // the encoder never emits -128
      ASSERT_NE(packed[i], 0x80);
      const int c = static_cast<std::int8_t>(packed[i]);
      i += c < 0 ? 2 : static_cast<std::size_t>(c) + 2;
    }
  }
}

TEST(PackBitsWriter, WorstCaseRowMeetsTheBoundExactly) {
  Bytes row(1000);
  for (std::size_t i = 0; i < row.size(); ++i) row[i] = static_cast<std::uint8_t>(i & 1);
  const Bytes packed = PackBits(row);
  EXPECT_EQ(packed.size(), Bound(row.size()));
  EXPECT_EQ(Unpack(packed), row);
}

TEST(PackBitsWriter, RunsSplitAtPacketLimits) {
  EXPECT_TRUE(PackBits(Bytes{}).empty());
  EXPECT_EQ(PackBits(Bytes{7}), (Bytes{0, 7}));
  EXPECT_EQ(PackBits(Bytes{7, 7}), (Bytes{1, 7, 7}));
  EXPECT_EQ(PackBits(Bytes{7, 7, 7}), (Bytes{0xFE, 7}));
  EXPECT_EQ(PackBits(Bytes(128, 9)), (Bytes{0x81, 9}));
  EXPECT_EQ(PackBits(Bytes(129, 9)), (Bytes{0x81, 9, 0, 9}));
  EXPECT_EQ(PackBits(Bytes(130, 9)), (Bytes{0x81, 9, 0xFF, 9}));
  EXPECT_EQ(PackBits(Bytes(131, 9)), (Bytes{0x81, 9, 0xFE, 9}));
  EXPECT_EQ(PackBits(Bytes{1, 2, 3, 3, 3, 4}), (Bytes{1, 1, 2, 0xFE, 3, 0, 4}));
  // Two equal bytes: a run with nothing pending, else literal; never the last two.
  EXPECT_EQ(PackBits(Bytes{5, 5, 1, 2}), (Bytes{0xFF, 5, 1, 1, 2}));
  EXPECT_EQ(PackBits(Bytes{1, 5, 5, 2}), (Bytes{3, 1, 5, 5, 2}));
  EXPECT_EQ(PackBits(Bytes{3, 3, 3, 5, 5}), (Bytes{0xFE, 3, 1, 5, 5}));
}

}  // namespace
}  // namespace pc50::hostkit
