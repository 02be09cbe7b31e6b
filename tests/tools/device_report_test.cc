#include "device_report.h"

#include <gtest/gtest.h>

namespace pc50::cli {
namespace {

TEST(DeviceReport, HexColourReadsTheColorrefAsRedGreenBlue) {
  EXPECT_EQ(HexColour(0x00007F7F), "#7F7F00");
  EXPECT_EQ(HexColour(0x00FF0000), "#0000FF");
  EXPECT_EQ(HexColour(0xFFFFFFFF), "#FFFFFF");
}

TEST(DeviceReport, DriverObjectAnswers) {
  const DeviceReport report = QueryDevice();
  EXPECT_EQ(report.printer, "PC-50 Thermal Printer");
  EXPECT_FLOAT_EQ(report.version, 1.0f);
  EXPECT_EQ(report.row_number, 17);
  EXPECT_TRUE(report.has_driver_options);
  ASSERT_EQ(report.models.size(), 3u);
  EXPECT_TRUE(report.models[0].is_default);
  EXPECT_FALSE(report.models[1].is_default);
  EXPECT_EQ(report.models[0].colours.size(), 11u);
  EXPECT_EQ(report.models[1].colours.size(), 10u);
  EXPECT_EQ(report.models[2].colours.size(), 8u);
  EXPECT_EQ(report.models[2].colours[0].name, "Black");
  EXPECT_FALSE(report.models[2].colours[0].spot);
  EXPECT_TRUE(report.models[2].colours[1].spot);
  EXPECT_EQ(report.screens.size(), 8u);
}

}  // namespace
}  // namespace pc50::cli
