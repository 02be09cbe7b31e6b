// pc50 demo, run as a subprocess, and the sample job behind it.
#include "demo_command.h"

#include <gtest/gtest.h>

#include "cli_test_support.h"
#include "demo_page.h"
#include "preview_files.h"

namespace pc50::cli {
namespace {

using testing::Exists;
using testing::RunCli;
using testing::TempDir;

TEST(DemoPage, FrameLinesUpAndEveryInkIsUsed) {
  const JobInput input = DemoInput();
  const hostkit::SpoolJob job = BuildJob(input, DemoSettings(), "demo.spl");
  EXPECT_EQ(job.colours, (std::vector<std::string>{"Cyan", "Magenta", "Yellow", "Black", "Gold"}));
  EXPECT_EQ(job.driverOptions[1], hostkit::kFourColourRibbon);
  const hostkit::Image& image = job.images[0];
  for (int kind = 1; kind < hostkit::kCellKindCount; ++kind) EXPECT_TRUE(image.cells[kind]) << kind;
  for (const auto& [colour, plane] : image.cells[hostkit::kMain]->colours) {
    EXPECT_EQ(plane.contentFlag, 1) << job.colours[static_cast<std::size_t>(colour)];
  }
}

TEST(DemoCommand, WritesSpoolStreamAndPreviews) {
  TempDir dir;
  const testing::CliRun run = RunCli(dir, {"demo", "-o", "out"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  for (const char* file : {"out/demo.spl", "out/demo.prn", "out/demo.png", "out/passes/page1-pass1-CMYK.png",
                           "out/passes/page1-pass2-Gold.png"}) {
    EXPECT_TRUE(Exists(dir / file)) << file;
    EXPECT_NE(run.out.find(file), std::string::npos) << file;
  }
  // Four copies of the process-and-spot page: one CMYK pass, then Gold.
  const std::vector<hostkit::Page> pages = DecodeStreamFile(dir / "out/demo.prn");
  ASSERT_EQ(pages.size(), 1u);
  ASSERT_EQ(pages[0].passes.size(), 2u);
  EXPECT_TRUE(pages[0].passes[0].IsFourColour());
  EXPECT_EQ(PassColourName(pages[0].passes[1]), "Gold");
  EXPECT_FALSE(Exists(dir / "PC50CMYK.tmp"));
}

TEST(DemoCommand, UnwritableDirectoryFails) {
  TempDir dir;
  pc50::testing::PutBytes(dir / "file", 0, "x");
  const testing::CliRun run = RunCli(dir, {"demo", "-o", "file/sub"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err.rfind("pc50 demo: cannot create directory file/sub", 0), 0u) << run.err;
}

}  // namespace
}  // namespace pc50::cli
