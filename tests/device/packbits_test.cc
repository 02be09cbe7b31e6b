#include "device/packbits.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "platform/diagnostics.h"

namespace pc50 {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Encode(const Bytes& in) {
  // Exactly the worst case, so that the sanitizer sees any write beyond it.
  Bytes out(static_cast<std::size_t>(PackBitsWorstCase(static_cast<int>(in.size()))));
  const int n = PackBitsEncode(out.data(), in.data(), static_cast<int>(in.size()));
  out.resize(static_cast<std::size_t>(n));
  return out;
}

// The packet choices written out byte by byte, as a model for the fast encoder.
Bytes ModelEncode(const Bytes& in) {
  Bytes out;
  const int n = static_cast<int>(in.size());
  auto flush = [&](int from, int to) {
    while (to - from > 128) {
      out.push_back(0x7F);
      out.insert(out.end(), in.begin() + from, in.begin() + from + 128);
      from += 128;
    }
    if (to > from) {
      out.push_back(static_cast<std::uint8_t>(to - from - 1));
      out.insert(out.end(), in.begin() + from, in.begin() + to);
    }
  };
  int start = 0;
  int i = 0;
  while (i < n - 2) {
    if (!(in[i] == in[i + 1] && (i == start || in[i + 2] == in[i]))) {
      ++i;
      continue;
    }
    flush(start, i);
    int end = i;
    while (end < n && in[end] == in[i]) ++end;
    int run = end - i;
    for (; run > 128; run -= 128) out.insert(out.end(), {0x81, in[i]});
    if (run >= 2) {
      out.insert(out.end(), {static_cast<std::uint8_t>(1 - run), in[i]});
      run = 0;
    }
    start = end - run;
    i = end;
  }
  flush(start, n);
  return out;
}

Bytes Decode(const Bytes& packed, int capacity) {
  Bytes out(static_cast<std::size_t>(capacity) + 1);
  int length = -1;
  EXPECT_TRUE(UnpackBits(packed.data(), static_cast<int>(packed.size()), out.data(), capacity + 1,
                         &length));
  EXPECT_EQ(out[static_cast<std::size_t>(length)], 0) << "terminating zero";
  out.resize(static_cast<std::size_t>(length));
  return out;
}

Bytes Repeat(std::uint8_t value, int count) { return Bytes(static_cast<std::size_t>(count), value); }

TEST(PackBitsEncode, DocumentedPacketChoices) {
  EXPECT_EQ(Encode({}), Bytes{});
  EXPECT_EQ(Encode({0, 0, 0, 0}), (Bytes{0xFD, 0x00}));
  EXPECT_EQ(Encode({1, 2, 3}), (Bytes{0x02, 1, 2, 3}));
  EXPECT_EQ(Encode({1, 2, 2, 3}), (Bytes{0x03, 1, 2, 2, 3}));
  EXPECT_EQ(Encode({5, 5, 1, 2}), (Bytes{0xFF, 5, 0x01, 1, 2}));
  EXPECT_EQ(Encode(Repeat(0xAA, 130)), (Bytes{0x81, 0xAA, 0xFF, 0xAA}));
  Bytes run129 = Repeat(0xAA, 129);
  run129.push_back(0x01);
  EXPECT_EQ(Encode(run129), (Bytes{0x81, 0xAA, 0x01, 0xAA, 0x01}));
}

TEST(PackBitsEncode, LongLiteralSplitsInto128BytePackets) {
  Bytes in(300);
  for (std::size_t k = 0; k < in.size(); ++k) in[k] = static_cast<std::uint8_t>(k);
  const Bytes out = Encode(in);
  ASSERT_EQ(out.size(), 303u);
  EXPECT_EQ(out[0], 0x7F);
  EXPECT_EQ(out[129], 0x7F);
  EXPECT_EQ(out[258], 0x2B);
  EXPECT_EQ(Decode(out, 300), in);
}

TEST(PackBitsEncode, LastTwoBytesNeverStartARun) {
  EXPECT_EQ(Encode({7, 7}), (Bytes{0x01, 7, 7}));
  EXPECT_EQ(Encode({1, 2, 3, 3}), (Bytes{0x03, 1, 2, 3, 3}));
  EXPECT_EQ(Encode({9, 9, 9}), (Bytes{0xFE, 9}));
}

// Rows mixing literal stretches, short pairs and long runs, so that the word
// scans meet every alignment and run boundary.
Bytes RandomRow(std::mt19937& rng, int length) {
  Bytes row;
  row.reserve(static_cast<std::size_t>(length));
  std::uniform_int_distribution<int> style(0, 3);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> small(0, 2);
  while (static_cast<int>(row.size()) < length) {
    const int left = length - static_cast<int>(row.size());
    const int piece = std::uniform_int_distribution<int>(1, left < 300 ? left : 300)(rng);
    switch (style(rng)) {
      case 0:  // noise
        for (int k = 0; k < piece; ++k) row.push_back(static_cast<std::uint8_t>(byte(rng)));
        break;
      case 1:  // few values: many pairs and triples
        for (int k = 0; k < piece; ++k) row.push_back(static_cast<std::uint8_t>(small(rng)));
        break;
      default:  // one run
        row.insert(row.end(), static_cast<std::size_t>(piece), static_cast<std::uint8_t>(byte(rng)));
    }
  }
  return row;
}

TEST(PackBitsEncode, MatchesModelAndRoundTripsWithinWorstCase) {
  std::mt19937 rng(20240611);
  std::uniform_int_distribution<int> lengths(0, 5000);
  for (int round = 0; round < 1500; ++round) {
    const int length = round < 300 ? round : lengths(rng);
    const Bytes row = RandomRow(rng, length);
    const Bytes packed = Encode(row);
    ASSERT_LE(static_cast<int>(packed.size()), PackBitsWorstCase(length)) << "length " << length;
    ASSERT_EQ(packed, ModelEncode(row)) << "length " << length << " round " << round;
    // The word-at-a-time path, which targets without SSE2 use, gives the same bytes.
    Bytes scalar(static_cast<std::size_t>(PackBitsWorstCase(length)));
    scalar.resize(static_cast<std::size_t>(PackBitsEncodeScalar(scalar.data(), row.data(), length)));
    ASSERT_EQ(scalar, packed) << "length " << length << " round " << round;
    ASSERT_EQ(Decode(packed, length), row) << "length " << length;
    ASSERT_TRUE(PackBitsIsCanonical(packed.data(), static_cast<int>(packed.size()), length)) << "round " << round;
  }
}

TEST(PackBitsEncode, AlternatingBytesReachTheWorstCaseBound) {
  for (int length : {1, 2, 127, 128, 129, 256, 257, 5000}) {
    Bytes row(static_cast<std::size_t>(length));
    for (int k = 0; k < length; ++k) row[static_cast<std::size_t>(k)] = (k & 1) ? 0x55 : 0xAA;
    const Bytes packed = Encode(row);
    EXPECT_EQ(static_cast<int>(packed.size()), PackBitsWorstCase(length));
    EXPECT_EQ(Decode(packed, length), row);
  }
}

TEST(UnpackBits, SkipsMinus128AndTerminates) {
  const Bytes packed = {0xFE, 0xAA, 0x02, 0x01, 0x02, 0x03, 0x80};
  EXPECT_EQ(Decode(packed, 6), (Bytes{0xAA, 0xAA, 0xAA, 0x01, 0x02, 0x03}));
}

TEST(UnpackBits, EmptyInputWritesOnlyTheZero) {
  std::uint8_t out[2] = {0x55, 0x55};
  int length = -1;
  EXPECT_TRUE(UnpackBits(nullptr, 0, out, 2, &length));
  EXPECT_EQ(length, 0);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], 0x55);
}

TEST(UnpackBits, ExactFitSkipsTheZero) {
  const Bytes packed = {0xFD, 0x11};
  std::uint8_t out[5] = {0, 0, 0, 0, 0x77};
  int length = -1;
  EXPECT_TRUE(UnpackBits(packed.data(), 2, out, 4, &length));
  EXPECT_EQ(length, 4);
  EXPECT_EQ(out[4], 0x77);
}

TEST(UnpackBits, RefusesOutputBeyondCapacityWithoutWritingPastIt) {
  const struct {
    Bytes packed;
    int decodedBefore;
  } cases[] = {
      {{0x01, 1, 2, 0xFB, 9}, 2},  // repeat of 6 does not fit after 2
      {{0x05, 1, 2, 3, 4, 5, 6}, 0},  // literal of 6
      {{0x81, 9}, 0},                 // repeat of 128
  };
  for (const auto& c : cases) {
    Bytes out(9, 0xEE);  // capacity 5, guard bytes behind
    int length = -1;
    ClearFailure();
    EXPECT_FALSE(UnpackBits(c.packed.data(), static_cast<int>(c.packed.size()), out.data(), 5, &length));
    EXPECT_EQ(length, c.decodedBefore);
    EXPECT_NE(std::string(LastFailure()).find("more than 5 bytes"), std::string::npos) << LastFailure();
    for (std::size_t k = 5; k < out.size(); ++k) EXPECT_EQ(out[k], 0xEE) << "byte " << k;
  }
}

TEST(UnpackBits, RefusesPacketsRunningPastTheInput) {
  std::uint8_t out[64];
  int length = -1;
  const Bytes literal = {0x00, 7, 0x04, 1, 2};  // literal of 5, only 2 there
  ClearFailure();
  EXPECT_FALSE(UnpackBits(literal.data(), static_cast<int>(literal.size()), out, 64, &length));
  EXPECT_EQ(length, 1);
  EXPECT_NE(std::string(LastFailure()).find("literal"), std::string::npos);
  const Bytes repeat = {0x00, 7, 0xFE};  // repeat without its byte
  ClearFailure();
  EXPECT_FALSE(UnpackBits(repeat.data(), static_cast<int>(repeat.size()), out, 64, &length));
  EXPECT_EQ(length, 1);
  EXPECT_NE(std::string(LastFailure()).find("repeat"), std::string::npos);
}

TEST(UnpackBits, PacketsOfEveryLengthWriteExactlyTheirBytes) {
  // Each packet of 1 to 128 bytes (literal and repeat, at every offset of an
  // 8-byte word) lands exactly in place: nothing before it changes, and
  // nothing after it but the terminating zero.
  for (int count = 1; count <= 128; ++count) {
    for (int offset = 0; offset < 8; ++offset) {
      for (const bool repeat : {false, true}) {
        if (repeat && count < 2) continue;
        Bytes packed(static_cast<std::size_t>(offset), 0);  // offset literal bytes first
        if (offset > 0) packed.insert(packed.begin(), static_cast<std::uint8_t>(offset - 1));
        Bytes want(static_cast<std::size_t>(offset), 0);
        if (repeat) {
          packed.push_back(static_cast<std::uint8_t>(1 - count));
          packed.push_back(0x5A);
          want.insert(want.end(), static_cast<std::size_t>(count), 0x5A);
        } else {
          packed.push_back(static_cast<std::uint8_t>(count - 1));
          for (int k = 0; k < count; ++k) {
            packed.push_back(static_cast<std::uint8_t>(k + 1));
            want.push_back(static_cast<std::uint8_t>(k + 1));
          }
        }
        Bytes out(want.size() + 40, 0xEE);
        int length = -1;
        ASSERT_TRUE(UnpackBits(packed.data(), static_cast<int>(packed.size()), out.data(),
                               static_cast<int>(out.size()), &length));
        ASSERT_EQ(length, static_cast<int>(want.size()));
        want.push_back(0);
        want.resize(out.size(), 0xEE);
        ASSERT_EQ(out, want) << (repeat ? "repeat" : "literal") << " of " << count << " after " << offset;
      }
    }
  }
}

// Packets that unpack to row: all of them when rng is null, else one choice
// at random, each packet a literal of any length or a repeat of equal bytes.
void Packetings(const Bytes& row, std::size_t at, Bytes& packets, std::mt19937* rng,
                const std::function<void(const Bytes&)>& visit) {
  if (at == row.size()) return visit(packets);
  const std::size_t size = packets.size();
  std::size_t same = 1;
  while (at + same < row.size() && row[at + same] == row[at] && same < 128) ++same;
  const std::size_t literal = std::min<std::size_t>(row.size() - at, 128);
  const std::size_t choices = literal + (same >= 2 ? same - 1 : 0);
  for (std::size_t c = 0; c < choices; ++c) {
    const std::size_t pick = rng ? std::uniform_int_distribution<std::size_t>(0, choices - 1)(*rng) : c;
    std::size_t n;
    if (pick < literal) {
      n = pick + 1;
      packets.push_back(static_cast<std::uint8_t>(n - 1));
      packets.insert(packets.end(), row.begin() + static_cast<long>(at), row.begin() + static_cast<long>(at + n));
    } else {
      n = pick - literal + 2;
      packets.push_back(static_cast<std::uint8_t>(1 - static_cast<int>(n)));
      packets.push_back(row[at]);
    }
    Packetings(row, at + n, packets, rng, visit);
    packets.resize(size);
    if (rng) return;
  }
}

void ExpectCanonicalOnlyForTheEncodersPackets(const Bytes& row, const Bytes& packets) {
  const int n = static_cast<int>(row.size());
  const int length = static_cast<int>(packets.size());
  const bool own = packets == ModelEncode(row);
  ASSERT_EQ(PackBitsIsCanonical(packets.data(), length, n), own)
      << "row of " << n << ": " << ::testing::PrintToString(row) << " as " << ::testing::PrintToString(packets);
  if (own) {
    ASSERT_FALSE(PackBitsIsCanonical(packets.data(), length, n + 1));
    if (n > 0) {
      ASSERT_FALSE(PackBitsIsCanonical(packets.data(), length, n - 1));
    }
    if (length > 0) {
      ASSERT_FALSE(PackBitsIsCanonical(packets.data(), length - 1, n));
    }
  }
}

TEST(PackBitsIsCanonical, AcceptsEveryPacketingOfShortRowsExactlyWhenItIsTheEncoders) {
  // Rows of up to 7 bytes over three values, every way of packing them.
  for (int n = 0; n <= 7; ++n) {
    int rows = 1;
    for (int k = 0; k < n; ++k) rows *= 3;
    for (int code = 0; code < rows; ++code) {
      Bytes row(static_cast<std::size_t>(n));
      for (int k = 0, c = code; k < n; ++k, c /= 3) row[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(c % 3);
      Bytes packets;
      Packetings(row, 0, packets, nullptr, [&](const Bytes& p) { ExpectCanonicalOnlyForTheEncodersPackets(row, p); });
      ASSERT_FALSE(::testing::Test::HasFatalFailure()) << "row code " << code << " of length " << n;
    }
  }
}

TEST(PackBitsIsCanonical, AcceptsExactlyTheEncodersPacketsAroundThePacketLimits) {
  // Up to three stretches of lengths about 128 and 256, equal bytes or
  // distinct ones, packed by the encoder and in random other ways.
  std::mt19937 rng(77);
  const int lengths[] = {1, 2, 3, 126, 127, 128, 129, 130, 255, 256, 257, 258};
  for (int round = 0; round < 3000; ++round) {
    Bytes row;
    const int pieces = 1 + round % 3;
    for (int k = 0; k < pieces; ++k) {
      const int length = lengths[rng() % 12];
      const std::uint8_t value = static_cast<std::uint8_t>(rng() % 2);
      if (rng() % 2) {
        row.insert(row.end(), static_cast<std::size_t>(length), value);
      } else {
        for (int j = 0; j < length; ++j) row.push_back(static_cast<std::uint8_t>(2 + (j & 1)));
      }
    }
    ASSERT_TRUE(PackBitsIsCanonical(Encode(row).data(), static_cast<int>(Encode(row).size()),
                                    static_cast<int>(row.size())));
    for (int k = 0; k < 20; ++k) {
      Bytes packets;
      Packetings(row, 0, packets, &rng, [&](const Bytes& p) { ExpectCanonicalOnlyForTheEncodersPackets(row, p); });
      ASSERT_FALSE(::testing::Test::HasFatalFailure()) << "round " << round;
    }
  }
  const Bytes damaged = {0x80, 0x00, 0x07};
  EXPECT_FALSE(PackBitsIsCanonical(damaged.data(), 3, 1));
  EXPECT_FALSE(PackBitsIsCanonical(damaged.data() + 1, 1, 1));
}

}  // namespace
}  // namespace pc50
