#include "packbits_decoder.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace pc50::hostkit {
namespace {

using Bytes = std::vector<std::uint8_t>;

PackBitsResult Decode(const Bytes& in, Bytes* out, std::size_t capacity) {
  out->assign(capacity, 0xEE);
  PackBitsResult result = DecodePackBits(in.data(), in.size(), out->data(), capacity);
  out->resize(result.written);
  return result;
}

TEST(DecodePackBits, LiteralRepeatAndNoOpPackets) {
  Bytes out;
  const PackBitsResult result =
      Decode({0x02, 1, 2, 3, 0x80, 0xFD, 9, 0x81, 7, 0x00, 4}, &out, 200);
  EXPECT_EQ(result.status, PackBitsStatus::kOk);
  Bytes expected{1, 2, 3, 9, 9, 9, 9};
  expected.insert(expected.end(), 128, 7);
  expected.push_back(4);
  EXPECT_EQ(out, expected);
  EXPECT_EQ(Decode({}, &out, 0).status, PackBitsStatus::kOk);
  EXPECT_TRUE(out.empty());
}

TEST(DecodePackBits, PacketsCutShortReportTheirCountByte) {
  Bytes out;
  PackBitsResult result = Decode({0x00, 5, 0x03, 1, 2}, &out, 100);
  EXPECT_EQ(result.status, PackBitsStatus::kTruncated);
  EXPECT_EQ(result.packetOffset, 2u);
  EXPECT_EQ(out, (Bytes{5}));
  result = Decode({0xFF}, &out, 100);
  EXPECT_EQ(result.status, PackBitsStatus::kTruncated);
  EXPECT_EQ(result.packetOffset, 0u);
}

TEST(DecodePackBits, OutputNeverPassesTheCapacity) {
  Bytes out;
  PackBitsResult result = Decode({0x01, 1, 2, 0xFE, 3}, &out, 4);
  EXPECT_EQ(result.status, PackBitsStatus::kOverflow);
  EXPECT_EQ(result.packetOffset, 3u);
  EXPECT_EQ(out, (Bytes{1, 2}));
  result = Decode({0x81, 0}, &out, 127);
  EXPECT_EQ(result.status, PackBitsStatus::kOverflow);
  EXPECT_EQ(Decode({0x81, 0}, &out, 128).status, PackBitsStatus::kOk);
}

// Random packet sequences against the bytes they stand for.
TEST(DecodePackBits, DecodesRandomPacketSequences) {
  std::mt19937 random(99);
  for (int round = 0; round < 500; ++round) {
    Bytes packets;
    Bytes expected;
    const int count = static_cast<int>(random() % 20);
    for (int p = 0; p < count; ++p) {
      const int kind = static_cast<int>(random() % 5);
      if (kind == 0) {
        packets.push_back(0x80);
      } else if (kind < 3) {
        const int n = 1 + static_cast<int>(random() % 128);
        packets.push_back(static_cast<std::uint8_t>(n - 1));
        for (int i = 0; i < n; ++i) {
          const auto byte = static_cast<std::uint8_t>(random());
          packets.push_back(byte);
          expected.push_back(byte);
        }
      } else {
        const int n = 2 + static_cast<int>(random() % 127);
        const auto byte = static_cast<std::uint8_t>(random());
        packets.push_back(static_cast<std::uint8_t>(257 - n));
        packets.push_back(byte);
        expected.insert(expected.end(), static_cast<std::size_t>(n), byte);
      }
    }
    Bytes out;
    ASSERT_EQ(Decode(packets, &out, expected.size()).status, PackBitsStatus::kOk);
    ASSERT_EQ(out, expected);
  }
}

}  // namespace
}  // namespace pc50::hostkit
