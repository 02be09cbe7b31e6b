// The raster step's files entry with PDF documents: separations mapped to
// the printer's ribbons, and every way Ghostscript can fail.
#include "files.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "cli_test_support.h"
#include "preview_files.h"
#include "errors.h"

namespace pc50::cli {
namespace {

using testing::RunCli;
using testing::TempDir;

// Page 1: a lower-case "gold" separation and a "Varnish" one that is no
// ribbon (alternate: full cyan); page 2: "SILVER" over a black bar.
constexpr const char* kTwoPages = R"(%!PS
<< /PageSize [72 36] >> setpagedevice
[/Separation (gold) /DeviceCMYK {dup dup dup}] setcolorspace 1 setcolor 0 0 36 36 rectfill
[/Separation (Varnish) /DeviceCMYK {0 0 0}] setcolorspace 1 setcolor 36 0 36 36 rectfill
showpage
0 0 0 1 setcmykcolor 0 0 72 10 rectfill
[/Separation (SILVER) /DeviceCMYK {dup dup dup}] setcolorspace 1 setcolor 0 18 72 18 rectfill
showpage
)";

TEST(SpoolFiles, PdfSeparationsBecomeRibbonsOrFoldIntoCmyk) {
  TempDir dir;
  testing::WritePdf(dir / "art.pdf", kTwoPages);
  JobSettings settings;
  settings.media_from_document = true;
  settings.ribbon = hostkit::kFourColourRibbon;
  FileJob files;
  files.documents = {dir / "art.pdf"};
  const JobSummary done = SpoolFiles(files, settings, dir / "job.spl");
  EXPECT_EQ(done.colours, (std::vector<std::string>{"Cyan", "Magenta", "Yellow", "Black", "Gold", "Silver"}));
  EXPECT_EQ(done.pages, 2u);
  EXPECT_EQ(done.first_width, 180);  // 1 x 0.5 inch at 180 dpi
  EXPECT_EQ(done.first_height, 90);
  ASSERT_EQ(done.warnings.size(), 1u);
  EXPECT_NE(done.warnings[0].find("separation Varnish printed in CMYK"), std::string::npos) << done.warnings[0];
  EXPECT_EQ(done.written.size(), 3u);

  ASSERT_EQ(RunCli(dir, {"print", "job.spl", "--no-prompt"}).exit_code, 0);
  const std::vector<hostkit::Page> pages = DecodeStreamFile(dir / "job.prn");
  ASSERT_EQ(pages.size(), 2u);
  std::vector<std::vector<std::string>> passes(2);
  for (int p = 0; p < 2; ++p) {
    for (const hostkit::Pass& pass : pages[p].passes) passes[p].push_back(PassColourName(pass));
  }
  // Page 1 has no process colour but the folded Varnish.
  EXPECT_EQ(passes[0], (std::vector<std::string>{"CMYK", "Gold"}));
  EXPECT_EQ(passes[1], (std::vector<std::string>{"CMYK", "Silver"}));
  // The Gold half of page 1 is solid.
  EXPECT_EQ(testing::InkedPixels(pages[0].passes[1].planes[0]), 90u * 90u);
}

class GhostscriptFailure : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    ASSERT_TRUE(scratch_.ok());
    const char* tmp = std::getenv("TMPDIR");
    saved_tmp_ = tmp ? tmp : "";
    setenv("TMPDIR", scratch_.path().c_str(), 1);
    testing::WritePdf(dir_ / "art.pdf", kTwoPages);
    const std::string whole = testing::ReadFile(dir_ / "art.pdf");
    pc50::testing::PutBytes(dir_ / "damaged.pdf", 0, whole.substr(0, 200));
  }
  void TearDown() override {
    if (saved_tmp_.empty()) {
      unsetenv("TMPDIR");
    } else {
      setenv("TMPDIR", saved_tmp_.c_str(), 1);
    }
  }

  // The one-line message of a failed job, which must leave nothing behind.
  std::string FailureOf(const std::string& document, const GhostscriptSettings& gs, bool pdf_media = false) {
    JobSettings settings;
    settings.ghostscript = gs;
    settings.media_from_document = pdf_media;
    FileJob files;
    files.documents = {dir_ / "art.pdf", dir_ / document};  // page files of the first are written
    std::string reason;
    try {
      SpoolFiles(files, settings, dir_ / "job.spl");
    } catch (const Failure& failure) {
      reason = failure.what();
    }
    EXPECT_EQ(testing::Lines(reason), 0) << reason;
    for (const auto& [name, size] : dir_.Listing()) {
      EXPECT_EQ(name.find("job"), std::string::npos) << name << " left by: " << reason;
    }
    EXPECT_TRUE(scratch_.Listing().empty()) << reason;
    return reason;
  }

  TempDir dir_;
  TempDir bin_;  // made before TMPDIR points into scratch_
  TempDir scratch_;
  std::string saved_tmp_;
};

TEST_F(GhostscriptFailure, EachWayIsOneLineNamingTheFileAndLeavesNothing) {
  GhostscriptSettings gs;
  EXPECT_NE(FailureOf("damaged.pdf", gs).find(dir_ / "damaged.pdf: no pages; a damaged or empty PDF (Ghostscript: "),
            std::string::npos);

  // 200 inches square: 36000 x 36000 pixels at 180 dpi.
  testing::WritePdf(dir_ / "huge.pdf", "<< /PageSize [14400 14400] >> setpagedevice showpage");
  EXPECT_NE(FailureOf("huge.pdf", gs, true).find("huge.pdf: page 1 is 200x200 inches, more than the 67108864 pixels"),
            std::string::npos);
  std::filesystem::remove(dir_ / "huge.pdf");

  gs.output_limit = 1000;
  EXPECT_NE(FailureOf("art.pdf", gs).find("art.pdf: Ghostscript's output passed the limit of 1000 bytes"),
            std::string::npos);

  gs = GhostscriptSettings();
  int polls = 0;
  gs.cancelled = [&polls] { return ++polls > 3; };
  EXPECT_NE(FailureOf("art.pdf", gs).find("art.pdf: cancelled while"), std::string::npos);
  EXPECT_GT(polls, 3);

  // Stand-ins for a broken installation: missing, failing, hanging.
  gs = GhostscriptSettings();
  gs.program = dir_ / "no-gs";
  EXPECT_NE(FailureOf("art.pdf", gs).find("art.pdf: cannot run Ghostscript " + (dir_ / "no-gs") +
                                          ": No such file or directory"),
            std::string::npos);
  gs.program = testing::WriteFakeGhostscript(bin_, "gs", "echo 'Error: /syntaxerror in --run--' >&2\nexit 1");
  EXPECT_NE(FailureOf("art.pdf", gs).find("Ghostscript failed (exit status 1): Error: /syntaxerror in --run--"),
            std::string::npos);
  gs.program = testing::WriteFakeGhostscript(bin_, "slow-gs", "exec sleep 30");
  gs.time_limit = 0.3;
  EXPECT_NE(FailureOf("art.pdf", gs).find("Ghostscript took longer than 0.3 s"), std::string::npos);

  // Without a setting: PC50_GHOSTSCRIPT, then the PATH.
  gs = GhostscriptSettings();
  setenv(kGhostscriptVariable, (dir_ / "also-missing").c_str(), 1);
  EXPECT_NE(FailureOf("art.pdf", gs).find("cannot run Ghostscript " + (dir_ / "also-missing")), std::string::npos);
  unsetenv(kGhostscriptVariable);
  const std::string path = std::getenv("PATH");
  setenv("PATH", bin_.path().c_str(), 1);
  std::filesystem::remove(bin_ / "gs");
  EXPECT_NE(FailureOf("art.pdf", gs).find("Ghostscript (gs) is not installed"), std::string::npos);
  setenv("PATH", path.c_str(), 1);
}

// The page-wise entry of a printer application: CMYK and spot planes.
TEST(JobWriter, WritesEachPageAsItComesAndNothingWhenItFails) {
  TempDir dir;
  PlanePage page;
  page.source = "page";
  page.width = 24;
  page.height = 6;
  for (auto& plane : page.cmyk) plane.assign(24 * 6, 0);
  page.cmyk[1].assign(24 * 6, 255);
  page.spots.push_back({"gold", std::vector<std::uint8_t>(24 * 6, 128)});
  page.spots.push_back({"White", std::vector<std::uint8_t>(24 * 6, 0)});  // no ink: left out
  JobSettings settings;
  settings.ribbon = hostkit::kFourColourRibbon;
  {
    JobWriter writer(dir / "job.spl", settings);
    writer.AddPage(page);
    EXPECT_TRUE(dir.Listing().empty());  // page 1 may still go inline
    writer.AddPage(page);
    EXPECT_EQ(dir.Listing().size(), 2u);  // both raster files, no spool file yet
    writer.AddPage(page);
    EXPECT_EQ(writer.colours(), (std::vector<std::string>{"Cyan", "Magenta", "Yellow", "Black", "Gold"}));
    EXPECT_EQ(writer.Finish().size(), 4u);
  }
  ASSERT_EQ(RunCli(dir, {"print", "job.spl", "--no-prompt"}).exit_code, 0);
  const std::vector<hostkit::Page> pages = DecodeStreamFile(dir / "job.prn");
  ASSERT_EQ(pages.size(), 3u);
  ASSERT_EQ(pages[2].passes.size(), 2u);
  EXPECT_EQ(PassColourName(pages[2].passes[1]), "Gold");
  const std::size_t gold = testing::InkedPixels(pages[2].passes[1].planes[0]);
  EXPECT_NEAR(static_cast<double>(gold) / (24 * 6), 0.5, 0.1);

  TempDir failed;
  {
    JobWriter writer(failed / "job.spl", settings);
    writer.AddPage(page);
    writer.AddPage(page);
    page.spots[0].name = "Varnish";
    try {
      writer.AddPage(page);
      ADD_FAILURE() << "a separation that is no ribbon was taken";
    } catch (const Failure& failure) {
      EXPECT_NE(std::string(failure.what()).find("page: separation \"Varnish\" is not one of the printer's spot ribbons"),
                std::string::npos);
    }
  }
  EXPECT_TRUE(failed.Listing().empty());
}

}  // namespace
}  // namespace pc50::cli
