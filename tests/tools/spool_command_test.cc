// pc50 spool, run as a subprocess, and its argument parsers.
#include "spool_command.h"

#include <gtest/gtest.h>

#include "cli_test_support.h"
#include "errors.h"
#include "preview_files.h"

namespace pc50::cli {
namespace {

using testing::Exists;
using testing::RunCli;
using testing::SolidImage;
using testing::TempDir;

TEST(SpoolArguments, MediaSizeAndAssignments) {
  EXPECT_EQ(ParseMediaSize("4x6"), std::make_pair(4.0, 6.0));
  EXPECT_EQ(ParseMediaSize("8.5X11"), std::make_pair(8.5, 11.0));
  for (const char* wrong : {"4", "x6", "4x", "0x6", "4x-1", "4x6in", "axb", "nanx3"}) {
    EXPECT_THROW(ParseMediaSize(wrong), UsageError) << wrong;
  }
  EXPECT_EQ(SplitAssignment("Gold=a=b.png", "--spot"), std::make_pair(std::string("Gold"), std::string("a=b.png")));
  EXPECT_THROW(SplitAssignment("Gold", "--spot"), UsageError);
  EXPECT_THROW(SplitAssignment("=a.png", "--spot"), UsageError);
  EXPECT_THROW(SplitAssignment("Gold=", "--spot"), UsageError);
}

class SpoolCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    testing::WritePng(dir_ / "page.png", SolidImage(24, 6, 255, 0, 0));
    RgbaImage mask = SolidImage(24, 6, 255, 255, 255);
    for (int y = 0; y < 6; ++y) {
      for (int x = 0; x < 8; ++x) {
        for (int c = 0; c < 3; ++c) mask.pixels[static_cast<std::size_t>((y * 24 + x) * 4 + c)] = 0;
      }
    }
    testing::WritePng(dir_ / "gold.png", mask);
    testing::WritePng(dir_ / "band.png", SolidImage(24, 2, 0, 0, 0));
    testing::WritePng(dir_ / "side.png", SolidImage(3, 6, 0, 0, 255));
  }
  TempDir dir_;
};

TEST_F(SpoolCommandTest, SpooledImagePrintsItsInksAndSpotColour) {
  const testing::CliRun spool =
      RunCli(dir_, {"spool", "page.png", "-o", "job.spl", "--spot", "Gold=gold.png", "--cell",
                    "first=band.png", "--cell", "left=side.png", "--ribbon", "four", "--media", "2x1"});
  ASSERT_EQ(spool.exit_code, 0) << spool.err;
  EXPECT_NE(spool.out.find("colours Cyan, Magenta, Yellow, Black, Gold; four-colour ribbon"), std::string::npos)
      << spool.out;
  const testing::CliRun print = RunCli(dir_, {"print", "job.spl", "--no-prompt"});
  ASSERT_EQ(print.exit_code, 0) << print.err;

  const std::vector<hostkit::Page> pages = DecodeStreamFile(dir_ / "job.prn");
  ASSERT_EQ(pages.size(), 1u);
  std::vector<std::string> passes;
  for (const hostkit::Pass& pass : pages[0].passes) passes.push_back(PassColourName(pass));
  EXPECT_EQ(passes, (std::vector<std::string>{"CMYK", "Gold"}));
  EXPECT_EQ(pages[0].width, 3 + 24);
  EXPECT_EQ(pages[0].height, 2 + 6);
  EXPECT_EQ(testing::InkedPixels(pages[0].passes[1].planes[0]), 8u * 6u);
}

// The README's tour: artwork with a Gold separation, four-colour ribbon.
TEST_F(SpoolCommandTest, PdfWithAGoldSeparationPrintsAFourColourPassAndAGoldPass) {
  ASSERT_EQ(std::system(("ps2pdf " + testing::Quote(PC50_SOURCE_DIR "/docs/art.ps") + " " +
                         testing::Quote(dir_ / "art.pdf")).c_str()), 0);
  const testing::CliRun spool = RunCli(dir_, {"spool", "art.pdf", "--ribbon", "four", "-o", "job.spl"});
  ASSERT_EQ(spool.exit_code, 0) << spool.err;
  EXPECT_NE(spool.out.find("1 page image (540x360 pixels) at 180 dpi; colours Cyan, Magenta, Yellow, Black, Gold"),
            std::string::npos) << spool.out;
  ASSERT_EQ(RunCli(dir_, {"print", "job.spl", "--no-prompt"}).exit_code, 0);
  const testing::CliRun render = RunCli(dir_, {"render", "job.prn", "-o", "art.png", "--passes", "passes"});
  ASSERT_EQ(render.exit_code, 0) << render.err;
  EXPECT_TRUE(Exists(dir_ / "passes/page1-pass2-Gold.png"));

  const std::vector<hostkit::Page> pages = DecodeStreamFile(dir_ / "job.prn");
  ASSERT_EQ(pages.size(), 1u);
  std::vector<std::string> passes;
  for (const hostkit::Pass& pass : pages[0].passes) passes.push_back(PassColourName(pass));
  EXPECT_EQ(passes, (std::vector<std::string>{"CMYK", "Gold"}));
  EXPECT_EQ(pages[0].width, 540);
  EXPECT_GT(testing::InkedPixels(pages[0].passes[1].planes[0]), 5000u);

  // The media size given: the page is fitted onto it.
  const testing::CliRun fitted = RunCli(dir_, {"spool", "art.pdf", "--media", "2x2", "-o", "small.spl"});
  ASSERT_EQ(fitted.exit_code, 0) << fitted.err;
  EXPECT_NE(fitted.out.find("(360x360 pixels)"), std::string::npos) << fitted.out;
}

// JPEG photos of any size are fitted by default; --none keeps their pixels.
TEST_F(SpoolCommandTest, JpegIsFittedOntoThePrintableArea) {
  testing::WriteJpeg(dir_ / "photo.jpg", SolidImage(300, 150, 0, 0, 0));
  const testing::CliRun fit =
      RunCli(dir_, {"spool", "photo.jpg", "--media", "1x1.5", "--top-margin", "0.5", "-o", "p.spl"});
  ASSERT_EQ(fit.exit_code, 0) << fit.err;
  EXPECT_NE(fit.out.find("(180x180 pixels)"), std::string::npos) << fit.out;
  const testing::CliRun none = RunCli(dir_, {"spool", "photo.jpg", "--none", "--fill", "-o", "p.spl"});
  EXPECT_EQ(none.exit_code, 2) << none.err;
  const testing::CliRun fill = RunCli(dir_, {"spool", "page.png", "--fill", "--media", "1x1", "-o", "p.spl"});
  EXPECT_NE(fill.out.find("(180x180 pixels)"), std::string::npos) << fill.out;
}

TEST_F(SpoolCommandTest, RepeatedOptionsTakeOneValueEach) {
  const testing::CliRun run = RunCli(
      dir_, {"spool", "--spot", "Gold=gold.png", "page.png", "--cell", "last=band.png", "page.png", "-o", "x.spl"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.out.find("2 page images"), std::string::npos) << run.out;
}

TEST_F(SpoolCommandTest, GrayJobWithRasterFiles) {
  const testing::CliRun run =
      RunCli(dir_, {"spool", "page.png", "page.png", "-o", "g.spl", "--gray", "--halftone", "ordered"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(Exists(dir_ / "g-page1.dat"));
  EXPECT_TRUE(Exists(dir_ / "g-page2.dat"));
  const testing::CliRun print = RunCli(dir_, {"print", "g.spl", "--no-prompt"});
  ASSERT_EQ(print.exit_code, 0) << print.err;
  for (const hostkit::Page& page : DecodeStreamFile(dir_ / "g.prn")) {
    for (const hostkit::Pass& pass : page.passes) EXPECT_EQ(PassColourName(pass), "Black");
  }
}

TEST_F(SpoolCommandTest, BadInputsFailWithOneLineAndWriteNothing) {
  pc50::testing::PutBytes(dir_ / "text.png", 0, "not an image at all");
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"spool", "none.png", "-o", "x.spl"}, "cannot open none.png"},
      {{"spool", "text.png", "-o", "x.spl"}, "text.png: not a PNG image"},
      {{"spool", "page.png", "-o", "x.spl", "--spot", "Gold=band.png"}, "Gold mask band.png is 24x2"},
      {{"spool", "page.png", "-o", "x.spl", "--cell", "right=band.png"}, "cell right (band.png) is 2 rows high"},
  };
  for (const auto& [args, reason] : cases) {
    const testing::CliRun run = RunCli(dir_, args);
    EXPECT_EQ(run.exit_code, 1) << reason;
    EXPECT_EQ(run.err.rfind("pc50 spool: ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(reason), std::string::npos) << run.err;
    EXPECT_EQ(testing::Lines(run.err), 1);
  }
  EXPECT_FALSE(Exists(dir_ / "x.spl"));
}

TEST_F(SpoolCommandTest, UsageErrorsExitWithTwo) {
  const std::vector<std::vector<std::string>> wrong = {
      {"spool", "page.png"},
      {"spool", "-o", "x.spl"},
      {"spool", "page.png", "-o", "x.spl", "--spot", "Cyan=gold.png"},
      {"spool", "page.png", "-o", "x.spl", "--spot", "Gold=gold.png", "--spot", "Gold=gold.png"},
      {"spool", "page.png", "-o", "x.spl", "--cell", "top=band.png"},
      {"spool", "page.png", "-o", "x.spl", "--cell", "first=band.png", "--cell", "first=band.png"},
      {"spool", "page.png", "-o", "x.spl", "--dpi", "0"},
      {"spool", "page.png", "-o", "x.spl", "--media", "4by6"},
      {"spool", "page.png", "-o", "x.spl", "--ribbon", "two"},
      {"spool", "page.png", "-o", "x.spl", "--black-generation", "1.5"},
  };
  for (const auto& args : wrong) {
    const testing::CliRun run = RunCli(dir_, args);
    EXPECT_EQ(run.exit_code, 2) << args.back() << ": " << run.err;
  }
  EXPECT_FALSE(Exists(dir_ / "x.spl"));
}

}  // namespace
}  // namespace pc50::cli
