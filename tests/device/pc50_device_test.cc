#include "device/pc50_device.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace pc50 {
namespace {

class InspectableDevice : public APC50Device {
 public:
  using APC50Device::compressionMethod;
  using APC50Device::hasProcessPlanes;
  using APC50Device::hasSpotPlanes;
  using APC50Device::optionBlock;
  using APC50Device::outputMode;
  using APC50Device::writeToTemp;
};

class PC50DeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitJobContext(&job);
    settings = std::make_unique<SettingsBlock>();
  }
  void AttachWithOptions(std::uint8_t tag, std::uint8_t ribbon, std::uint8_t order) {
    settings->driverOptions[0] = tag;
    settings->driverOptions[1] = ribbon;
    settings->driverOptions[2] = order;
    device.Attach(&job, settings.get());
  }
  std::vector<int> Order() {
    return {device.GetPlaneOrder(0), device.GetPlaneOrder(1), device.GetPlaneOrder(2), device.GetPlaneOrder(3)};
  }

  JobContext job;
  std::unique_ptr<SettingsBlock> settings;
  InspectableDevice device;
};

TEST_F(PC50DeviceTest, AnswersAsThePC50) {
  char name[64];
  EXPECT_EQ(device.GetPrinterName(name, nullptr), 1);
  EXPECT_STREQ(name, "PC-50 Thermal Printer");
  EXPECT_EQ(device.GetVersion(), 1.0f);
  EXPECT_EQ(device.GetRowNumber(), 17);
  EXPECT_EQ(device.QueryPlane(0), 0);
  EXPECT_EQ(device.GetNativeXResolution(), 180.0f);
  EXPECT_EQ(device.GetNativeYResolution(), 180.0f);
}

TEST_F(PC50DeviceTest, ConstructionSettings) {
  EXPECT_EQ(Order(), (std::vector<int>{2, 1, 0, 3}));
  EXPECT_EQ(device.GetPlaneOrder(4), 4);
  EXPECT_EQ(device.GetPlaneOrder(255), 255);
  EXPECT_EQ(device.GetRowsPerPlane(), 0);
  EXPECT_EQ(device.compressionMethod, 2);
  EXPECT_EQ(device.outputMode, 1);
  EXPECT_EQ(device.hasProcessPlanes, 1);
  EXPECT_EQ(device.hasSpotPlanes, 0);
  EXPECT_EQ(device.writeToTemp, 0);
  EXPECT_EQ(device.optionBlock, nullptr);
}

TEST_F(PC50DeviceTest, ResolutionsMapTo180Or360) {
  EXPECT_EQ(device.SetXResolution(600.0f), 180.0f);  // nothing earlier: the native resolution
  EXPECT_EQ(device.SetXResolution(224.9f), 180.0f);
  EXPECT_EQ(device.SetXResolution(225.0f), 360.0f);
  EXPECT_EQ(device.SetXResolution(449.0f), 360.0f);
  EXPECT_EQ(device.SetXResolution(600.0f), 360.0f);  // keeps the previous value
  EXPECT_EQ(device.SetXResolution(450.0f), 360.0f);
  EXPECT_EQ(device.SetXResolution(72.0f), 180.0f);
  EXPECT_EQ(device.SetXResolution(1200.0f), 180.0f);
  EXPECT_EQ(device.GetXResolution(), 180.0f);

  // Y is independent of X.
  EXPECT_EQ(device.SetYResolution(300.0f), 360.0f);
  EXPECT_EQ(device.SetYResolution(900.0f), 360.0f);
  EXPECT_EQ(device.GetYResolution(), 360.0f);
  EXPECT_EQ(device.GetXResolution(), 180.0f);
}

TEST_F(PC50DeviceTest, ColourLookupsIgnoreCase) {
  char display[64] = "";
  EXPECT_EQ(device.LookupColor("gold", display), 9);
  EXPECT_STREQ(display, "Gold");
  EXPECT_EQ(device.LookupColor("CYAN", display), 0);
  EXPECT_STREQ(display, "Cyan");
  EXPECT_EQ(device.LookupColor("sIlVeR", nullptr), 10);

  std::strcpy(display, "untouched");
  EXPECT_EQ(device.LookupColor("LCyan", display), -1);
  EXPECT_EQ(device.LookupColor("Gol", display), -1);
  EXPECT_EQ(device.LookupColor("Golden", display), -1);
  EXPECT_EQ(device.LookupColor(nullptr, display), -1);
  EXPECT_STREQ(display, "untouched");

  EXPECT_EQ(device.GetColorCode("GOLD"), 8);
  EXPECT_EQ(device.GetColorCode("black"), 12);
  EXPECT_EQ(device.GetColorCode("Orange"), 20);
  EXPECT_EQ(device.GetColorCode("Spot 1"), -1);
}

struct ExpectedColour {
  const char* name;
  std::uint32_t colorRef;
  int code;
  int isSpot;
};

const ExpectedColour kTable[] = {
    {"Cyan", 0x00FFFF00u, 15, 0},  {"Magenta", 0x00FF00FFu, 14, 0}, {"Yellow", 0x0000FFFFu, 13, 0},
    {"Black", 0x00000000u, 12, 0}, {"Orange", 0x00007FFFu, 20, 1},  {"Green", 0x0000FF00u, 23, 1},
    {"Red", 0x000000FFu, 21, 1},   {"Blue", 0x00FF0000u, 22, 1},    {"White", 0x00FFFFFFu, 10, 1},
    {"Gold", 0x00007F7Fu, 8, 1},   {"Silver", 0x00C0C0C0u, 11, 1},
};

void ExpectList(const ColorList& list, const std::vector<int>& indices) {
  ASSERT_EQ(list.count, static_cast<int>(indices.size()));
  for (std::size_t i = 0; i < indices.size(); ++i) {
    const ExpectedColour& colour = kTable[indices[i]];
    const ColorListEntry& entry = list.entries[i];
    SCOPED_TRACE(colour.name);
    EXPECT_STREQ(entry.name, colour.name);
    EXPECT_STREQ(entry.displayName, colour.name);
    EXPECT_EQ(entry.isSpot, colour.isSpot);
    EXPECT_EQ(entry.constant1, 1);
    EXPECT_EQ(entry.constant2, 1);
    EXPECT_EQ(entry.colorRef, colour.colorRef);
  }
}

TEST_F(PC50DeviceTest, ColourListsPerModel) {
  std::vector<ColorListEntry> entries(32);
  ColorList list{0, entries.data()};
  ASSERT_EQ(device.GetColorList(0, &list), 1);
  ExpectList(list, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  ASSERT_EQ(device.GetColorList(1, &list), 1);
  ExpectList(list, {0, 1, 2, 4, 5, 6, 7, 8, 9, 10});
  ASSERT_EQ(device.GetColorList(2, &list), 1);
  ExpectList(list, {3, 4, 5, 6, 7, 8, 9, 10});

  for (const ExpectedColour& colour : kTable) EXPECT_EQ(device.GetColorCode(colour.name), colour.code);

  ColorList untouched{-7, entries.data()};
  EXPECT_EQ(device.GetColorList(3, &untouched), 0);
  EXPECT_EQ(device.GetColorList(-1, &untouched), 0);
  EXPECT_EQ(untouched.count, -7);
  EXPECT_EQ(device.GetColorList(0, nullptr), 0);
}

TEST_F(PC50DeviceTest, AttachResetsAnUntaggedOptionBlock) {
  settings->driverOptions[3] = 0x77;
  AttachWithOptions(0, 0, 1);
  EXPECT_EQ(settings->driverOptions[0], 20);
  EXPECT_EQ(settings->driverOptions[1], 1);
  EXPECT_EQ(settings->driverOptions[2], 0);
  EXPECT_EQ(settings->driverOptions[3], 0x77);
  EXPECT_EQ(device.optionBlock, settings->driverOptions);
  EXPECT_EQ(Order(), (std::vector<int>{2, 1, 0, 3}));
}

TEST_F(PC50DeviceTest, PrintOrderFollowsRibbonAndOrder) {
  AttachWithOptions(20, 1, 0);
  EXPECT_EQ(Order(), (std::vector<int>{2, 1, 0, 3}));
  AttachWithOptions(20, 1, 1);
  EXPECT_EQ(Order(), (std::vector<int>{0, 1, 2, 3}));
  AttachWithOptions(20, 1, 9);
  EXPECT_EQ(Order(), (std::vector<int>{0, 1, 2, 3}));
  AttachWithOptions(20, 0, 0);
  EXPECT_EQ(Order(), (std::vector<int>{1, 2, 3, 0}));
  AttachWithOptions(20, 2, 1);
  EXPECT_EQ(Order(), (std::vector<int>{1, 2, 3, 0}));
  for (int i = 4; i < kPlaneCount; ++i) ASSERT_EQ(device.GetPlaneOrder(i), i);

  device.Attach(&job, nullptr);
  EXPECT_EQ(Order(), (std::vector<int>{1, 2, 3, 0}));
}

TEST_F(PC50DeviceTest, DecimalOptionStrings) {
  std::uint8_t block[256] = {20, 1, 0};
  EXPECT_EQ(device.DecodePPDString("DriverOption0=0 DriverOption1=1", block, nullptr), 1);
  EXPECT_EQ(block[0], 20);
  EXPECT_EQ(block[1], 0);
  EXPECT_EQ(block[2], 1);

  block[0] = 7;
  EXPECT_EQ(device.DecodePPDString("DriverOption0=255", block, nullptr), 1);
  EXPECT_EQ(device.DecodePPDString("DriverOption2=5 DriverOption0=1", block, nullptr), 1);
  EXPECT_EQ((std::vector<int>{block[0], block[1], block[2]}), (std::vector<int>{7, 0, 1}));
  EXPECT_EQ(device.DecodeDriverOption("DriverOption1=0", block, nullptr), 1);
  EXPECT_EQ(block[2], 0);
}

TEST_F(PC50DeviceTest, NibbleOptionStrings) {
  std::uint8_t block[256];
  std::memset(block, 0xEE, sizeof block);
  const std::string text = "*DriverOptionBinary Setup=140000" + std::string(394, '0') + "\"";
  EXPECT_EQ(device.DecodePPDString(text.c_str(), block, nullptr), 1);
  EXPECT_EQ(block[0], 20);
  EXPECT_EQ(block[1], 0);
  EXPECT_EQ(block[2], 0);
  for (int i = 3; i < 200; ++i) ASSERT_EQ(block[i], 0) << i;
  EXPECT_EQ(block[200], 0xEE);
}

TEST_F(PC50DeviceTest, DisplayTextIsFixed) {
  char out[64];
  EXPECT_EQ(device.PutPPDDisplays(nullptr, out), 1);
  EXPECT_STREQ(out, "Print Order:0,YMCK,CMYK;");
  AttachWithOptions(20, 0, 1);
  EXPECT_EQ(device.PutPPDDisplays(nullptr, out), 1);
  EXPECT_STREQ(out, "Print Order:0,YMCK,CMYK;");
}

TEST_F(PC50DeviceTest, ProgressShowsTheColourDisplayName) {
  AttachWithOptions(20, 1, 0);
  settings->currentPlane = 9;
  std::strcpy(settings->planes[9].name, "GOLD");
  device.ShowProgress(5);
  EXPECT_STREQ(job.statusText, "Gold   5%");
  EXPECT_EQ(job.statusCode, 1);
}

}  // namespace
}  // namespace pc50
