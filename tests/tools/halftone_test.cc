#include "halftone.h"

#include <gtest/gtest.h>

#include <cmath>

#include "cli_test_support.h"
#include "screen.h"

namespace pc50::cli {
namespace {

using testing::SolidImage;

Coverage Uniform(std::uint32_t size, float value) {
  Coverage coverage;
  coverage.width = size;
  coverage.height = size;
  coverage.values.assign(static_cast<std::size_t>(size) * size, value);
  return coverage;
}

TEST(BitPlane, LeftmostPixelIsTheTopBitAndRowsRoundUpToBytes) {
  BitPlane plane(9, 2);
  ASSERT_EQ(plane.rows.size(), 2u);
  EXPECT_EQ(plane.rows[0].size(), 2u);
  plane.Set(0, 1);
  plane.Set(8, 1);
  EXPECT_EQ(plane.rows[1][0], 0x80);
  EXPECT_EQ(plane.rows[1][1], 0x80);
  EXPECT_TRUE(plane.Get(8, 1));
  EXPECT_FALSE(plane.Get(1, 1));
  EXPECT_EQ(plane.CountSet(), 2u);
  EXPECT_TRUE(BitPlane(5, 5).Empty());
}

TEST(Separation, BlackGenerationTakesTheCommonGreyOutOfCyanMagentaYellow) {
  const auto black = SeparateCmyk(SolidImage(1, 1, 0, 0, 0), 1.0);
  EXPECT_FLOAT_EQ(black[3].values[0], 1.0f);
  for (int i = 0; i < 3; ++i) EXPECT_FLOAT_EQ(black[i].values[0], 0.0f) << i;

  const auto no_black = SeparateCmyk(SolidImage(1, 1, 0, 0, 0), 0.0);
  EXPECT_FLOAT_EQ(no_black[3].values[0], 0.0f);
  for (int i = 0; i < 3; ++i) EXPECT_FLOAT_EQ(no_black[i].values[0], 1.0f) << i;

  // A dark red: the grey under it goes to black, the rest stays magenta/yellow.
  const auto red = SeparateCmyk(SolidImage(1, 1, 128, 0, 0), 1.0);
  EXPECT_NEAR(red[3].values[0], 127 / 255.0f, 1e-5);
  EXPECT_NEAR(red[0].values[0], 0.0f, 1e-5);
  EXPECT_NEAR(red[1].values[0], 128 / 255.0f, 1e-5);
  EXPECT_NEAR(red[2].values[0], 128 / 255.0f, 1e-5);

  const auto cyan = SeparateCmyk(SolidImage(1, 1, 0, 255, 255), 1.0);
  EXPECT_FLOAT_EQ(cyan[0].values[0], 1.0f);
  EXPECT_FLOAT_EQ(cyan[1].values[0] + cyan[2].values[0] + cyan[3].values[0], 0.0f);
}

TEST(Separation, TransparentPixelsAreWhitePaper) {
  for (const Coverage& ink : SeparateCmyk(SolidImage(2, 2, 0, 0, 0, 0), 1.0)) {
    for (float v : ink.values) EXPECT_FLOAT_EQ(v, 0.0f);
  }
  EXPECT_FLOAT_EQ(SeparateGray(SolidImage(1, 1, 0, 0, 0, 0)).values[0], 0.0f);
  EXPECT_FLOAT_EQ(SeparateGray(SolidImage(1, 1, 0, 0, 0)).values[0], 1.0f);
}

class ScreenTest : public ::testing::TestWithParam<ScreenKind> {};

TEST_P(ScreenTest, InkedShareFollowsTheCoverage) {
  constexpr std::uint32_t kSize = 64;
  for (float value : {0.0f, 0.125f, 0.25f, 0.5f, 0.75f, 1.0f}) {
    const BitPlane plane = Halftone(Uniform(kSize, value), GetParam(), 0);
    const double share = static_cast<double>(plane.CountSet()) / (kSize * kSize);
    EXPECT_NEAR(share, value, 0.02) << "coverage " << value;
  }
}

INSTANTIATE_TEST_SUITE_P(EveryScreen, ScreenTest,
                         ::testing::Values(ScreenKind::kErrorDiffusion, ScreenKind::kOrdered, ScreenKind::kDevice));

// The device's clustered dots, measured on a rendered tint, come out at the
// frequency and angle the module asks for, at both printed resolutions.
TEST(DeviceScreen, RenderedTintShowsTheDevicesFrequencyAndAngle) {
  const std::vector<ScreenEntry> device = DeviceScreening();
  ASSERT_GE(device.size(), 4u);
  for (double dpi : {180.0, 360.0}) {
    JobScreens screens(ScreenKind::kDevice, dpi, device);
    for (const char* colour : {"Cyan", "Magenta", "Yellow", "Black"}) {
      const ScreenEntry asked = ScreenFor(device, colour);
      constexpr std::uint32_t kSize = 400;
      BitPlane tint(kSize, kSize);
      const std::vector<std::uint8_t> row(kSize, 51);  // 20 %
      PlaneScreener screener = screens.For(colour, 0, kSize);
      for (std::uint32_t y = 0; y < kSize; ++y) screener.Row(row.data(), y, tint.rows[y].data());
      const ScreenMeasure seen = MeasureScreen(tint.rows, kSize, dpi);
      EXPECT_NEAR(seen.frequency, asked.frequency, 1.0) << colour << " at " << dpi;
      const double off = std::fmod(std::fabs(seen.angle - std::fmod(asked.angle, 90.0)) + 45.0, 90.0) - 45.0;
      EXPECT_NEAR(off, 0.0, 2.5) << colour << " at " << dpi << ": " << seen.angle;
      EXPECT_NEAR(static_cast<double>(tint.CountSet()) / (kSize * kSize), 0.2, 0.005) << colour;
    }
  }
  // Spot ribbons: their own entry where the device lists one (any case),
  // else the Black screen.
  EXPECT_EQ(ScreenFor(device, "orange").angle, 105.0);
  EXPECT_EQ(ScreenFor(device, "Gold").angle, ScreenFor(device, "Black").angle);
  EXPECT_EQ(ScreenFor(device, "Gold").colour, "Gold");
  EXPECT_EQ(ScreenFor({}, "Gold").shape, "Diamond");
  EXPECT_THROW(ScreenTile::Build(ScreenFor(device, "Cyan"), 90.0), Failure);
}

TEST(OrderedScreen, InksAtAQuarterSitBesideEachOther) {
  const Coverage quarter = Uniform(16, 0.25f);
  std::array<BitPlane, 4> inks;
  for (int i = 0; i < 4; ++i) inks[i] = Halftone(quarter, ScreenKind::kOrdered, i);
  for (std::uint32_t y = 0; y < 16; ++y) {
    for (std::uint32_t x = 0; x < 16; ++x) {
      int inked = 0;
      for (const BitPlane& ink : inks) inked += ink.Get(x, y) ? 1 : 0;
      EXPECT_EQ(inked, 1) << x << "," << y;
    }
  }
}

TEST(MaskPlane, DarkOpaquePixelsInk) {
  RgbaImage mask = SolidImage(4, 1, 255, 255, 255);
  auto put = [&mask](int x, std::uint8_t grey, std::uint8_t alpha) {
    mask.pixels[static_cast<std::size_t>(x) * 4 + 0] = grey;
    mask.pixels[static_cast<std::size_t>(x) * 4 + 1] = grey;
    mask.pixels[static_cast<std::size_t>(x) * 4 + 2] = grey;
    mask.pixels[static_cast<std::size_t>(x) * 4 + 3] = alpha;
  };
  put(0, 0, 255);    // black: ink
  put(1, 100, 255);  // dark grey: ink
  put(2, 0, 0);      // transparent black: paper
  put(3, 200, 255);  // light grey: paper
  const BitPlane plane = MaskPlane(mask);
  EXPECT_TRUE(plane.Get(0, 0));
  EXPECT_TRUE(plane.Get(1, 0));
  EXPECT_FALSE(plane.Get(2, 0));
  EXPECT_FALSE(plane.Get(3, 0));
}

}  // namespace
}  // namespace pc50::cli
