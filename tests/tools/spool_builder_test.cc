#include "spool_builder.h"

#include <gtest/gtest.h>

#include "cli_test_support.h"
#include "errors.h"

namespace pc50::cli {
namespace {

using testing::SolidImage;
using testing::TempDir;

NamedImage Named(const std::string& source, RgbaImage image) { return {source, std::move(image)}; }

JobInput OnePage(int width = 16, int height = 8) {
  JobInput input;
  input.pages.push_back({Named("page.png", SolidImage(width, height, 0, 0, 0)), {}});
  return input;
}

std::string FailureOf(const JobInput& input, const SpoolSettings& settings = SpoolSettings()) {
  try {
    BuildJob(input, settings, "job.spl");
  } catch (const Failure& failure) {
    return failure.what();
  }
  return "";
}

TEST(SpoolBuilder, SettingsGoIntoTheHeader) {
  SpoolSettings settings;
  settings.dpi = 300.0f;
  settings.media_width = 8.5;
  settings.media_length = 11.0;
  settings.top_margin = 0.25;
  settings.left_margin = 0.5;
  settings.copy_gap = 0.125;
  settings.copy_row_gap = 0.0625f;
  settings.page_length = 3.0f;
  settings.ribbon = hostkit::kFourColourRibbon;
  settings.order = hostkit::kPrintOrderCMYK;
  settings.separations = true;
  const hostkit::SpoolJob job = BuildJob(OnePage(), settings, "job.spl");
  EXPECT_EQ(job.xResolution, 300.0f);
  EXPECT_EQ(job.yResolution, 300.0f);
  EXPECT_EQ(job.mediaWidth, 8.5);
  EXPECT_EQ(job.mediaLength, 11.0);
  EXPECT_EQ(job.topMargin, 0.25);
  EXPECT_EQ(job.leftMargin, 0.5);
  EXPECT_EQ(job.copyGap, 0.125);
  EXPECT_EQ(job.copyRowGap, 0.0625f);
  EXPECT_EQ(job.pageLength, 3.0f);
  EXPECT_EQ(job.driverOptions[0], hostkit::kDriverOptionTag);
  EXPECT_EQ(job.driverOptions[1], hostkit::kFourColourRibbon);
  EXPECT_EQ(job.driverOptions[2], hostkit::kPrintOrderCMYK);
  EXPECT_TRUE(job.HasSeparations());
  EXPECT_EQ(job.colourModel, 0);
  EXPECT_EQ(job.placement, hostkit::ImagePlacement::kInline);
}

TEST(SpoolBuilder, ProcessInksComeFirstThenSpotsInOrderOfUse) {
  JobInput input;
  input.pages.push_back({Named("a.png", SolidImage(8, 2, 255, 255, 255)),
                         {{"silver", Named("s.png", SolidImage(8, 2, 0, 0, 0))}}});
  input.pages.push_back({Named("b.png", SolidImage(8, 2, 0, 0, 0)),
                         {{"Gold", Named("g.png", SolidImage(8, 2, 0, 0, 0))},
                          {"Silver", Named("s2.png", SolidImage(8, 2, 255, 255, 255))}}});
  const hostkit::SpoolJob job = BuildJob(input, SpoolSettings(), "dir/job.spl");
  EXPECT_EQ(job.colours, (std::vector<std::string>{"Cyan", "Magenta", "Yellow", "Black", "Silver", "Gold"}));

  // A white page prints no process ink: its planes say so, so no pass is made for them.
  const hostkit::Cell& white = *job.images[0].cells[hostkit::kMain];
  for (int ink = 0; ink < 4; ++ink) EXPECT_EQ(white.colours.at(ink).contentFlag, 0) << ink;
  EXPECT_EQ(white.colours.at(4).contentFlag, 1);
  EXPECT_EQ(white.colours.count(5), 0u);

  const hostkit::Cell& black = *job.images[1].cells[hostkit::kMain];
  EXPECT_EQ(black.colours.at(3).contentFlag, 1);
  EXPECT_EQ(black.colours.at(0).contentFlag, 0);
  EXPECT_EQ(black.colours.at(5).contentFlag, 1);
  EXPECT_EQ(black.colours.at(4).contentFlag, 0);

  // Several page images always go into raster files named after the spool file.
  EXPECT_EQ(job.placement, hostkit::ImagePlacement::kRasterFiles);
  EXPECT_EQ(job.rasterFileNames, (std::vector<std::string>{"job-page1.dat", "job-page2.dat"}));
}

TEST(SpoolBuilder, GrayJobIsBlackOnlyWithTheGrayscaleModel) {
  SpoolSettings settings;
  settings.gray = true;
  JobInput input = OnePage();
  input.pages[0].spots.push_back({"Gold", Named("g.png", SolidImage(16, 8, 0, 0, 0))});
  input.cells[hostkit::kFirstCentre] = Named("top.png", SolidImage(16, 3, 0, 0, 0));
  const hostkit::SpoolJob job = BuildJob(input, settings, "job.spl");
  EXPECT_EQ(job.colourModel, 2);
  EXPECT_EQ(job.colours, (std::vector<std::string>{"Black", "Gold"}));
  const hostkit::Image& image = job.images[0];
  EXPECT_EQ(image.cells[hostkit::kMain]->colours.size(), 2u);
  ASSERT_TRUE(image.cells[hostkit::kFirstCentre]);
  EXPECT_EQ(image.cells[hostkit::kFirstCentre]->height, 3u);
  EXPECT_EQ(image.cells[hostkit::kFirstCentre]->colours.size(), 1u);
}

TEST(SpoolBuilder, FrameThatDoesNotLineUpNamesTheFiles) {
  JobInput input = OnePage(16, 8);
  input.cells[hostkit::kMiddleLeft] = Named("left.png", SolidImage(4, 7, 0, 0, 0));
  EXPECT_EQ(FailureOf(input),
            "cell left (left.png) is 7 rows high, but page image page.png in the same band is 8");

  input = OnePage(16, 8);
  input.cells[hostkit::kFirstLeft] = Named("corner.png", SolidImage(4, 3, 0, 0, 0));
  input.cells[hostkit::kFirstCentre] = Named("top.png", SolidImage(16, 2, 0, 0, 0));
  EXPECT_NE(FailureOf(input).find("cell first (top.png) is 2 rows high"), std::string::npos);

  input = OnePage(16, 8);
  input.cells[hostkit::kLastCentre] = Named("bottom.png", SolidImage(15, 2, 0, 0, 0));
  EXPECT_NE(FailureOf(input).find("cell last (bottom.png) is 15 pixels wide"), std::string::npos);

  input = OnePage(16, 8);
  input.cells[hostkit::kMiddleRight] = Named("r.png", SolidImage(4, 8, 0, 0, 0));
  input.cells[hostkit::kLastRight] = Named("lr.png", SolidImage(5, 2, 0, 0, 0));
  EXPECT_NE(FailureOf(input).find("cell last-right (lr.png) is 5 pixels wide"), std::string::npos);
}

TEST(SpoolBuilder, SpotMasksMustMatchThePageAndNameARibbon) {
  JobInput input = OnePage(16, 8);
  input.pages[0].spots.push_back({"Gold", Named("g.png", SolidImage(16, 9, 0, 0, 0))});
  EXPECT_EQ(FailureOf(input),
            "Gold mask g.png is 16x9 pixels; it must match the page image page.png (16x8)");

  input = OnePage(16, 8);
  input.pages[0].spots.push_back({"Cyan", Named("c.png", SolidImage(16, 8, 0, 0, 0))});
  EXPECT_NE(FailureOf(input).find("spot colour \"Cyan\" (c.png)"), std::string::npos);
}

TEST(SpoolBuilder, CellKindNamesRoundTrip) {
  for (int kind = 1; kind < hostkit::kCellKindCount; ++kind) {
    if (kind == hostkit::kMain) continue;
    EXPECT_EQ(CellKindByName(CellKindName(kind)), kind) << kind;
  }
  EXPECT_EQ(CellKindByName("main"), -1);
  EXPECT_EQ(CellKindByName("First"), -1);
  EXPECT_EQ(SpotColourName("gOLD"), "Gold");
  EXPECT_EQ(SpotColourName("Black"), "");
}

TEST(SpoolBuilder, WriteJobFilesLeavesOnlyFinishedFiles) {
  TempDir dir;
  JobInput input = OnePage();
  input.pages.push_back(input.pages[0]);
  const hostkit::SpoolJob job = BuildJob(input, SpoolSettings(), dir / "job.spl");
  const std::vector<std::string> written = WriteJobFiles(job, dir / "job.spl");
  EXPECT_EQ(written, (std::vector<std::string>{dir / "job-page1.dat", dir / "job-page2.dat", dir / "job.spl"}));
  EXPECT_EQ(dir.Listing().size(), 3u);

  TempDir empty;
  try {
    WriteJobFiles(job, empty / "missing/job.spl");
    FAIL() << "written";
  } catch (const Failure& failure) {
    EXPECT_NE(std::string(failure.what()).find("cannot create"), std::string::npos);
  }
  EXPECT_TRUE(empty.Listing().empty());
}

}  // namespace
}  // namespace pc50::cli
