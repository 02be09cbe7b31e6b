#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "pipeline_support.h"

namespace pc50::pipeline_testing {
namespace {

using hostkit::ImagePlacement;

class PageDirectoryTest : public PipelineTest {
 protected:
  const hostkit::ImageLayout& Image0() const { return built_.layout.images[0]; }
  std::int64_t HeaderOf(int kind, int colour) const { return Image0().Section(kind)->colours.at(colour).header; }
  const PlaneRecord& Plane(int p) const { return driver_.settings_.planes[p]; }

  // Writes job with bytes changed at offset of its (inline) image and runs
  // the first step; the step's result.
  int StepPatched(const SpoolJob& job, std::int64_t offset, std::vector<std::uint8_t> bytes) {
    EXPECT_EQ(hostkit::BuildSpoolJob(job, &built_), "");
    std::copy(bytes.begin(), bytes.end(), built_.spool.begin() + offset);
    WriteBuilt();
    EXPECT_TRUE(Start());
    return Step();
  }
};

TEST_F(PageDirectoryTest, MainSectionAloneGivesAnUnframedPage) {
  Write(PixelJob(720, 1080, Picture({"#.#.", ".#.#"}, {0, 1}), {"Cyan", "Black"}));
  ASSERT_TRUE(Start());
  ASSERT_EQ(Step(), 1) << failure_;
  EXPECT_EQ(driver_.cellWidths_[5], 4);
  EXPECT_EQ(driver_.cellHeights_[5], 2);
  EXPECT_EQ(driver_.firstBandHeight_ + driver_.lastBandHeight_ + driver_.leftColumnWidth_ + driver_.rightColumnWidth_, 0);
  EXPECT_EQ(driver_.settings_.enabledPlaneCount, 2);
  EXPECT_EQ(driver_.settings_.firstPlane, 0);
  EXPECT_EQ(driver_.settings_.lastPlane, 1);
  EXPECT_EQ(Plane(1).bitsPerPixel, 1);
  EXPECT_EQ(Plane(1).cellStart[0], HeaderOf(5, 1));
  EXPECT_EQ(Plane(1).cellStart[5], HeaderOf(5, 1) + 6);
  EXPECT_EQ(driver_.recordPos_, HeaderOf(5, 0));
  EXPECT_EQ(driver_.planeBufferSizes_[0], (4 + 7) / 8 + 64);
  EXPECT_EQ(driver_.scratchSizes_[0], 2 * 1 + 1);
}

TEST_F(PageDirectoryTest, NineCellsGiveTheFrameSizes) {
  SpoolJob job = PixelJob(720, 1080, Picture({"####", "####"}));
  auto& cells = job.images[0].cells;
  cells[9] = Picture({"##"}), cells[3] = Picture({"####"}), cells[8] = Picture({"###"});
  cells[1] = Picture({"##", "##"}), cells[2] = Picture({"#", "#"});
  cells[6] = Picture({"#", "#", "#"}), cells[4] = Picture({"####", "####", "####"});
  cells[7] = Picture({"###", "###", "###"});
  Write(job);
  ASSERT_TRUE(Start());
  ASSERT_EQ(Step(), 1) << failure_;
  EXPECT_EQ(driver_.firstBandHeight_, 1);
  EXPECT_EQ(driver_.lastBandHeight_, 3);
  EXPECT_EQ(driver_.leftColumnWidth_, 2);
  EXPECT_EQ(driver_.rightColumnWidth_, 3);
  for (int kind = 1; kind <= 9; ++kind) EXPECT_EQ(Plane(0).cellStart[kind], HeaderOf(kind, 0) + 6) << kind;
  EXPECT_EQ(driver_.scratchSizes_[1], 2 * 1 + 1);
}

TEST_F(PageDirectoryTest, PlanesFollowMaskContentFlagsAndAbsentCells) {
  SpoolJob job = PixelJob(720, 1080, Picture({"####"}, {0, 1, 2, 3}), {"Cyan", "Magenta", "Yellow", "Black"});
  job.images[0].Main().colours[2].contentFlag = 0;  // nothing to print anywhere: dropped
  job.images[0].Main().colours[3].contentFlag = 0;  // but its left cell prints: kept
  job.images[0].cells[1] = Picture({"#"}, {0, 3});  // Magenta is absent from it
  job.images[0].directoryOrder = {5, 1};            // the left cell's flags come after the main section
  job.SetColourPrintable(0, false);
  Write(job);
  ASSERT_TRUE(Start());
  ASSERT_EQ(Step(), 1) << failure_;
  EXPECT_EQ(Plane(0).enabled, 0);
  EXPECT_NE(Plane(1).enabled, 0);
  EXPECT_EQ(Plane(2).enabled, 0);
  EXPECT_NE(Plane(3).enabled, 0);
  EXPECT_EQ(Plane(1).cellStart[1], 0);
  EXPECT_EQ(driver_.settings_.enabledPlaneCount, 2);
  EXPECT_EQ(driver_.settings_.firstPlane, 1);
  EXPECT_EQ(driver_.settings_.lastPlane, 3);
  EXPECT_FALSE(driver_.planeBuffers_[2]);
}

TEST_F(PageDirectoryTest, PageWithoutEnabledPlaneIsSkipped) {
  SpoolJob job = PixelJob(720, 1080, Picture({"#"}, {1}), {"Cyan", "Black"});
  job.images.push_back(job.images[0]);
  job.images[1].cells[5] = Picture({"#"}, {0});
  job.placement = ImagePlacement::kRasterFiles;
  job.SetColourPrintable(1, false);
  ASSERT_GT(Run(job), 0) << failure_;
  ASSERT_EQ(device_.pages.size(), 1u);
  EXPECT_EQ(device_.Rows(0), std::vector<std::string>{"#"});
}

TEST_F(PageDirectoryTest, MalformedDirectoriesFailWithAReason) {
  const SpoolJob plain = PixelJob(720, 1080, Picture({"####"}));
  SpoolJob framed = plain;
  framed.strict = false;
  framed.images[0].cells[3] = Picture({"###"});
  EXPECT_EQ(hostkit::BuildSpoolJob(plain, &built_), "");
  const std::int64_t directory = Image0().directory, section = Image0().Section(5)->position;
  const std::int64_t header = HeaderOf(5, 0);
  EXPECT_EQ(hostkit::BuildSpoolJob(framed, &built_), "");
  const std::int64_t centre = Image0().Section(3)->position;
  struct Case {
    const SpoolJob* job;
    std::int64_t at;
    std::vector<std::uint8_t> bytes;
    const char* reason;
  } cases[] = {
      {&plain, section + 1, {10}, "kind 10"},
      {&plain, section + 1, {1}, "no main cell width"},  // no main section, no gaps
      {&plain, directory + 3, {10}, "lists 10 sections"},
      {&plain, section + 11, {0xFF}, "lists -1 planes"},
      {&plain, directory + 4, {0, 0, 0, 0, 1, 0, 0, 0}, "outside the file"},
      {&plain, section + 12, {0xF0, 0xFF, 0xFF, 0, 0, 0, 0, 0}, "outside the file"},
      {&plain, header + 1, {3}, "bits per pixel"},
      {&plain, section + 2, {0xFF, 0xFF, 0xFF, 0xFF}, "too large"},
      {&framed, centre + 2, {9}, "wider than the main cell"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(StepPatched(*c.job, c.at, c.bytes), 0) << c.reason;
    EXPECT_NE(failure_.find(c.reason), std::string::npos) << failure_;
    EXPECT_EQ(driver_.state(), ARasterDriver::JobState::kFailed);
    driver_.AbortPrint();
  }
}

}  // namespace
}  // namespace pc50::pipeline_testing
