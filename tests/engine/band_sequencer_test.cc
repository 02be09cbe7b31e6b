#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "pipeline_support.h"

namespace pc50::pipeline_testing {
namespace {

using Rows = std::vector<std::string>;

class BandSequencerTest : public PipelineTest {
 public:
  using PipelineTest::device_;
  using PipelineTest::failure_;
  using PipelineTest::Run;
};

TEST_F(BandSequencerTest, MainCellAloneGivesCopyRowsGapsAndSeparators) {
  SpoolJob job = PixelJob(8, 18, Picture({"##.", ".##"}));
  job.copyGap = Inches(1);
  job.copyRowGap = static_cast<float>(Inches(1));
  job.topMargin = Inches(1);
  job.pageLength = static_cast<float>(Inches(9));
  ASSERT_GT(Run(job, 5), 0) << failure_;
  ASSERT_EQ(device_.pages.size(), 1u);
  EXPECT_EQ(device_.events.front(), "StartJob 7x12 1");
  EXPECT_EQ(device_.Rows(0), (Rows{"##..##.", ".##..##", ".......",    // copy row, gap
                                   "##..##.", ".##..##",               // end of the page length:
                                   ".......", ".......", "#######",    // rest of it, the line,
                                   ".......",                          // the next top margin
                                   "##.....", ".##...."}));            // the fifth copy alone
}

TEST_F(BandSequencerTest, NineCellsFrameEveryPageLength) {
  SpoolJob job = PixelJob(9, 100, Picture({"####", "#..#"}));
  auto& cells = job.images[0].cells;
  cells[9] = Picture({"#."}), cells[3] = Picture({"#..#"}), cells[8] = Picture({".#"});
  cells[1] = Picture({"#.", ".#"}), cells[2] = Picture({"##", ".."});
  cells[6] = Picture({"##"}), cells[4] = Picture({".##."}), cells[7] = Picture({"#."});
  ASSERT_GT(Run(job, 2), 0) << failure_;
  EXPECT_EQ(device_.Rows(0), (Rows{"#.#..#.#",                          // first band
                                   "#.######", ".##..#..",              // middle band, copy 1
                                   "#.######", ".##..#..",              // copy 2
                                   "##.##.#."}));                       // last band
}

TEST_F(BandSequencerTest, FirstBandWithoutCentreEndsWithItsLeftCell) {
  SpoolJob job = PixelJob(100, 100, Picture({"##"}));
  job.images[0].cells[9] = Picture({"#", "#"});
  job.images[0].cells[8] = Picture({".", "#"});
  ASSERT_GT(Run(job), 0) << failure_;
  EXPECT_EQ(device_.Rows(0), (Rows{"#...", "#..#", ".##."}));
}

TEST_F(BandSequencerTest, UnequalCellsEndWithTheReferenceCell) {
  SpoolJob job = PixelJob(5, 100, Picture({"##", "##"}));
  job.strict = false;
  job.images[0].cells[9] = Picture({"#", "#", "#"});  // reference of the first band
  job.images[0].cells[8] = Picture({"#"});            // runs out: blank
  job.images[0].cells[1] = Picture({"#", ".", "#"});  // longer than the main cell: cut
  ASSERT_GT(Run(job, 2), 0) << failure_;
  EXPECT_EQ(device_.Rows(0), (Rows{"#..#", "#...", "#...", "###.", ".##.", "###.", ".##."}));
}

TEST_F(BandSequencerTest, NarrowCentreCellLeavesNoStalePixels) {
  SpoolJob job = PixelJob(21, 6, Picture({std::string(20, '#')}));
  job.strict = false;
  job.images[0].cells[3] = Picture({"##"});  // after the first page length, its buffer held main rows
  job.pageLength = static_cast<float>(Inches(3));
  ASSERT_GT(Run(job, 2), 0) << failure_;
  const std::string centre = "##" + std::string(18, '.'), main(20, '#');
  EXPECT_EQ(device_.Rows(0), (Rows{centre, main, main, centre, main}));
}

// A plane without cells in the first band gets the band's rows blank.
void ExpectPlaneInRegister(BandSequencerTest& t, unsigned rowsPerPlane) {
  t.device_.SetRowsPerPlane(rowsPerPlane);
  SpoolJob job = PixelJob(100, 100, Picture({"##"}, {0, 1}), {"Cyan", "Black"});
  job.images[0].cells[3] = Picture({"#.", ".#"}, {0});
  ASSERT_GT(t.Run(job), 0) << t.failure_;
  EXPECT_EQ(t.device_.Rows(0), (Rows{"#.", ".#", "##"}));
  EXPECT_EQ(t.device_.Rows(1), (Rows{"..", "..", "##"}));
}

TEST_F(BandSequencerTest, PlaneWithoutFirstBandStaysInRegisterPlaneByPlane) { ExpectPlaneInRegister(*this, 0); }
TEST_F(BandSequencerTest, PlaneWithoutFirstBandStaysInRegisterRowByRow) { ExpectPlaneInRegister(*this, 1); }

TEST_F(BandSequencerTest, LastPageWithOneCopyIsAnnouncedAlone) {
  ASSERT_GT(Run(PixelJob(3, 2, Picture({"#"})), 5), 0) << failure_;
  EXPECT_EQ(device_.events, (Rows{"StartJob 2x1 2", "StartPlane 0", "EndPlane 0", "EndPage", "EndJob",
                                  "StartJob 2x1 1", "StartPlane 0", "EndPlane 0", "EndPage", "EndJob",
                                  "StartJob 1x1 1", "StartPlane 0", "EndPlane 0", "EndPage", "EndJob"}));
  ASSERT_EQ(device_.pages.size(), 3u);
  EXPECT_EQ(device_.pages[2].rows[0], Rows{"#"});
}

TEST_F(BandSequencerTest, PagesTheDeviceRepeatsAreSkipped) {
  device_.pagesPerStart = 2;
  ASSERT_GT(Run(PixelJob(3, 2, Picture({"#"})), 4), 0) << failure_;
  ASSERT_EQ(device_.pages.size(), 1u);
  EXPECT_EQ(device_.pages[0].announced, 2);
  EXPECT_EQ(device_.Rows(0), Rows{"##"});
}

// A page of two passes: its data twice, one device job.
void ExpectTwoPasses(BandSequencerTest& t, unsigned rowsPerPlane) {
  t.device_.SetRowsPerPlane(rowsPerPlane);
  t.device_.passes = 2;
  ASSERT_GT(t.Run(PixelJob(100, 100, Picture({"#.", ".#"}, {0, 1}), {"Cyan", "Black"})), 0) << t.failure_;
  ASSERT_EQ(t.device_.pages.size(), 1u);
  EXPECT_EQ(std::count(t.device_.events.begin(), t.device_.events.end(), "EndJob"), 1);
  for (int plane : {0, 1}) EXPECT_EQ(t.device_.Rows(plane), (Rows{"#.", ".#", "#.", ".#"}));
}

TEST_F(BandSequencerTest, EveryPassSendsThePageAgainPlaneByPlane) { ExpectTwoPasses(*this, 0); }
TEST_F(BandSequencerTest, EveryPassSendsThePageAgainRowByRow) { ExpectTwoPasses(*this, 1); }

TEST_F(BandSequencerTest, SeparationsPrintEachPlaneAsAJobOfItsOwn) {
  Cell main = Picture({"#."}, {0});
  main.colours[1] = Picture({".#"}, {1}).colours[1];
  SpoolJob job = PixelJob(2, 4, main, {"Cyan", "Black"});
  job.SetSeparations(true);
  job.pageLength = static_cast<float>(Inches(2));
  ASSERT_GT(Run(job, 2), 0) << failure_;
  ASSERT_EQ(device_.pages.size(), 2u);
  // The device routes every row to the plane at print position 3.
  EXPECT_EQ(device_.pages[0].rows[3], (Rows{"#.", "##", "#."}));
  EXPECT_EQ(device_.pages[1].rows[3], (Rows{".#", "##", ".#"}));
}

TEST_F(BandSequencerTest, FailedPageEndFailsTheStep) {
  device_.SetRowsPerPlane(2);  // band ends come through EndBand
  device_.failEndJob = 1;
  EXPECT_EQ(Run(PixelJob(100, 100, Picture({"#"}))), -1);
  EXPECT_NE(failure_.find("end the page"), std::string::npos) << failure_;
}

}  // namespace
}  // namespace pc50::pipeline_testing
