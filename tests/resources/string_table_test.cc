#include "resources/string_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/diagnostics.h"

namespace pc50 {
namespace {

std::string Load(int id) {
  char buffer[kResourceStringSize] = "";
  EXPECT_NE(LoadResourceString(id, buffer, sizeof buffer), 0) << id;
  return buffer;
}

TEST(StringTable, HoldsTheFourEntriesExactly) {
  EXPECT_EQ(Load(8002), "CMYK,CMY,Grayscale,");
  EXPECT_EQ(Load(8003), "Cyan,Magenta,Yellow,Black,Orange,Green,Red,Blue,White,Gold,Silver,");
  EXPECT_EQ(Load(9001), "Please install %s cartridge to the printer");
  EXPECT_EQ(Load(9002), "Change Cartridge");
}

TEST(StringTable, MissingEntryLeavesBufferUntouched) {
  char buffer[16];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(LoadResourceString(8004, buffer, sizeof buffer), 0);
  for (char c : buffer) EXPECT_EQ(c, 'x');
  EXPECT_NE(std::string(LastFailure()).find("8004"), std::string::npos);
}

TEST(StringTable, LoadIsBoundedAndTerminated) {
  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(LoadResourceString(9002, buffer, 5), 4);
  EXPECT_STREQ(buffer, "Chan");
  EXPECT_EQ(buffer[5], 'x');  // nothing past maxBytes

  EXPECT_EQ(LoadResourceString(9002, buffer, 1), 0);
  EXPECT_STREQ(buffer, "");
  buffer[0] = 'x';
  EXPECT_EQ(LoadResourceString(9002, buffer, 0), 0);
  EXPECT_EQ(buffer[0], 'x');
}

TEST(ListItem, ReturnsEachItemWithLengthPlusOne) {
  char item[64];
  EXPECT_EQ(GetListItem(0, "CMYK,CMY,Grayscale,", item, sizeof item), 5);
  EXPECT_STREQ(item, "CMYK");
  EXPECT_EQ(GetListItem(2, "CMYK,CMY,Grayscale,", item, sizeof item), 10);
  EXPECT_STREQ(item, "Grayscale");
}

TEST(ListItem, MissingOrEmptyItemGivesZeroAndEmptyText) {
  char item[64];
  for (int index : {3, 4, -1}) {
    std::strcpy(item, "stale");
    EXPECT_EQ(GetListItem(index, "CMYK,CMY,Grayscale,", item, sizeof item), 0) << index;
    EXPECT_STREQ(item, "");
  }
  std::strcpy(item, "stale");
  EXPECT_EQ(GetListItem(1, "a,,b,", item, sizeof item), 0);
  EXPECT_STREQ(item, "");
  EXPECT_EQ(GetListItem(0, nullptr, item, sizeof item), 0);
  EXPECT_EQ(GetListItem(0, "", item, sizeof item), 0);
}

TEST(ListItem, ItemThatDoesNotFitFailsWithoutOverrun) {
  char item[9];
  std::memset(item, 'x', sizeof item);
  EXPECT_EQ(GetListItem(0, "Grayscale,", item, sizeof item), 0);
  EXPECT_STREQ(item, "");
  EXPECT_EQ(item[1], 'x');
  EXPECT_NE(std::string(LastFailure()).find("list item 0"), std::string::npos);
  EXPECT_EQ(GetListItem(0, "Grayscale,", item, 0), 0);

  char exact[10];
  EXPECT_EQ(GetListItem(0, "Grayscale,", exact, sizeof exact), 10);
  EXPECT_STREQ(exact, "Grayscale");
}

}  // namespace
}  // namespace pc50
