#include "device/driver_options.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/diagnostics.h"

namespace pc50 {
namespace {

using Block = std::array<std::uint8_t, 256>;

// A block with recognisable bytes everywhere, so stray writes show.
Block Marked() {
  Block block;
  for (std::size_t k = 0; k < block.size(); ++k) block[k] = static_cast<std::uint8_t>(0xA0 ^ k);
  return block;
}

// The block after decoding text in the decimal form, starting from 7, 5, 6.
Block AfterDecimal(const char* text) {
  Block block = Marked();
  block[0] = 7;
  block[1] = 5;
  block[2] = 6;
  DecodeDecimalOptions(text, block.data());
  return block;
}

std::string NibbleText(const Block& bytes, int count) {
  std::string text;
  for (int k = 0; k < count; ++k) {
    text.push_back(static_cast<char>('0' + (bytes[static_cast<std::size_t>(k)] >> 4)));
    text.push_back(static_cast<char>('0' + (bytes[static_cast<std::size_t>(k)] & 15)));
  }
  return text;
}

TEST(DriverOptions, ResetSetsOnlyTheFirstThreeBytes) {
  Block block = Marked();
  const Block before = block;
  ResetDriverOptions(block.data());
  EXPECT_EQ(block[0], 20);
  EXPECT_EQ(block[1], 1);
  EXPECT_EQ(block[2], 0);
  EXPECT_TRUE(std::equal(block.begin() + 3, block.end(), before.begin() + 3));
}

TEST(DriverOptions, DecimalAssignmentsSetRibbonAndOrder) {
  Block block = AfterDecimal("DriverOption0=0 DriverOption1=1");
  EXPECT_EQ(block[0], 7) << "tag untouched";
  EXPECT_EQ(block[1], 0);
  EXPECT_EQ(block[2], 1);
  EXPECT_EQ(block[3], Marked()[3]);

  block = AfterDecimal("DriverOption1=1");
  EXPECT_EQ(block[1], 5);
  EXPECT_EQ(block[2], 1);

  block = AfterDecimal("*DriverOption0 Ribbon = \t+1\nDriverOption1=-0");
  EXPECT_EQ(block[1], 1);
  EXPECT_EQ(block[2], 0);
}

TEST(DriverOptions, DecimalValuesTakenModulo256With255MeaningUnchanged) {
  EXPECT_EQ(AfterDecimal("DriverOption0=257")[1], 1);
  EXPECT_EQ(AfterDecimal("DriverOption0=-255")[1], 1);
  EXPECT_EQ(AfterDecimal("DriverOption0=255")[1], 5);
  EXPECT_EQ(AfterDecimal("DriverOption0=-1")[1], 5);
  EXPECT_EQ(AfterDecimal("DriverOption0=511")[1], 5);
  // Numbers far beyond any integer type keep their exact residue.
  EXPECT_EQ(AfterDecimal("DriverOption0=4294967297")[1], 1);
  // 10^29 + 2 and -(10^32 - 1); 10^8 is a multiple of 256.
  EXPECT_EQ(AfterDecimal("DriverOption0=100000000000000000000000000002")[1], 2);
  EXPECT_EQ(AfterDecimal("DriverOption1=-99999999999999999999999999999999")[2], 1);
}

TEST(DriverOptions, MalformedDecimalTextStopsKeepingWhatCameBefore) {
  const Block untouched = AfterDecimal("");
  EXPECT_EQ(AfterDecimal("DriverOption0=255"), untouched);
  EXPECT_EQ(AfterDecimal("DriverOption2=5 DriverOption0=0"), untouched);
  EXPECT_EQ(AfterDecimal("DriverOption0="), untouched);
  EXPECT_EQ(AfterDecimal("DriverOption0=x1"), untouched);
  EXPECT_EQ(AfterDecimal("DriverOption=1"), untouched);
  EXPECT_EQ(AfterDecimal("DriverOption0 1"), untouched);
  EXPECT_EQ(AfterDecimal("DriverOption- 0=1"), untouched);
  EXPECT_EQ(AfterDecimal("DriverOption4294967296=1"), untouched) << "option number must not wrap";
  EXPECT_EQ(AfterDecimal("DriverOption000000000000000000000000000002=1"), untouched);
  EXPECT_EQ(AfterDecimal(nullptr), untouched);

  // An "=" further on belongs to the next assignment, not to this one.
  EXPECT_EQ(AfterDecimal("DriverOption0 DriverOption1=1"), untouched);

  Block block = AfterDecimal("DriverOption1=1 DriverOption7=0 DriverOption0=0");
  EXPECT_EQ(block[1], 5);
  EXPECT_EQ(block[2], 1);
  block = AfterDecimal("DriverOption000000000000000000000000001=0 DriverOption0=");
  EXPECT_EQ(block[2], 0);
}

TEST(DriverOptions, NibbleFormWritesTwoHundredBytes) {
  Block source = Marked();
  source[0] = 20;
  source[1] = 0;
  source[2] = 0;
  const std::string body = NibbleText(source, 200);
  EXPECT_EQ(body.substr(0, 6), "140000");
  const std::string text = "*DriverOptionBinary: \"x\" =" + body;
  ASSERT_TRUE(HasNibbleForm(text.c_str()));

  Block block{};
  block[200] = 0x33;
  DecodeNibbleOptions(text.c_str(), block.data());
  EXPECT_TRUE(std::equal(block.begin(), block.begin() + 200, source.begin()));
  EXPECT_EQ(block[200], 0x33);
}

TEST(DriverOptions, ShortNibbleTextStopsAtItsEnd) {
  Block block = Marked();
  const Block before = block;
  DecodeNibbleOptions("DriverOptionBinary=1401007", block.data());  // 3 bytes and one odd character
  EXPECT_EQ(block[0], 20);
  EXPECT_EQ(block[1], 1);
  EXPECT_EQ(block[2], 0);
  EXPECT_TRUE(std::equal(block.begin() + 3, block.end(), before.begin() + 3));

  block = before;
  DecodeNibbleOptions("DriverOptionBinary 140100", block.data());  // no "="
  EXPECT_EQ(block, before);
  DecodeNibbleOptions("DriverOptionBinary=", block.data());
  EXPECT_EQ(block, before);
  EXPECT_FALSE(HasNibbleForm("DriverOption0=1"));
  EXPECT_FALSE(HasNibbleForm(nullptr));
}

TEST(DriverOptions, NibbleCharactersOutsideTheRangeWrapModulo256) {
  Block block{};
  // '?' is 15; 'A' is 17; '/' is -1; 0xFF is 207.
  DecodeNibbleOptions("DriverOptionBinary=??A0/0\xff" "0", block.data());
  EXPECT_EQ(block[0], 0xFF);
  EXPECT_EQ(block[1], static_cast<std::uint8_t>(17 * 16));
  EXPECT_EQ(block[2], static_cast<std::uint8_t>(-16));
  EXPECT_EQ(block[3], static_cast<std::uint8_t>(207 * 16));
}

TEST(DriverOptions, InsertDefaultIndexesAfterEveryColon) {
  char text[64] = "A:x,y;B:p,q;C:z;";
  const std::uint8_t indexes[] = {2, 0};
  EXPECT_EQ(InsertDefaultIndexes(text, sizeof text, indexes, 2), 1);
  EXPECT_STREQ(text, "A:2,x,y;B:0,p,q;C:0,z;") << "third colon beyond the list gets 0";
}

TEST(DriverOptions, InsertDefaultIndexesCutsAtCapacity) {
  char text[12] = "AB:x;C:y;";  // grows to 13 characters
  const char guard = text[11];
  ClearFailure();
  EXPECT_EQ(InsertDefaultIndexes(text, 11, nullptr, 0), 1);
  EXPECT_STREQ(text, "AB:0,x;C:0");
  EXPECT_EQ(text[11], guard);
  EXPECT_NE(std::string(LastFailure()).find("cut"), std::string::npos);

  char unterminated[4] = {'a', ':', 'b', 'c'};
  EXPECT_EQ(InsertDefaultIndexes(unterminated, sizeof unterminated, nullptr, 0), 1);
  EXPECT_STREQ(unterminated, "a:0");
}

TEST(DriverOptions, DescriptionListsPrintOrderWithDefaultIndex) {
  char out[64];
  std::memset(out, 'z', sizeof out);
  EXPECT_EQ(DescribeDriverOptions(out, sizeof out), 1);
  EXPECT_STREQ(out, "Print Order:0,YMCK,CMYK;");

  char small[10];
  EXPECT_EQ(DescribeDriverOptions(small, sizeof small), 1);
  EXPECT_STREQ(small, "Print Ord");
  char exact[25];
  EXPECT_EQ(DescribeDriverOptions(exact, sizeof exact), 1);
  EXPECT_STREQ(exact, "Print Order:0,YMCK,CMYK;");
}

}  // namespace
}  // namespace pc50
