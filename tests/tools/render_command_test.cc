// pc50 render, run as a subprocess.
#include "render_command.h"

#include <gtest/gtest.h>

#include "cli_test_support.h"

namespace pc50::cli {
namespace {

using testing::Exists;
using testing::RunCli;
using testing::TempDir;

TEST(RenderCommand, WritesTheCompositeAndOnePngPerPass) {
  TempDir dir;
  testing::WriteBlackJob(dir / "job.spl");
  ASSERT_EQ(RunCli(dir, {"print", "job.spl", "--no-prompt"}).exit_code, 0);
  const testing::CliRun run = RunCli(dir, {"render", "job.prn", "-o", "job.png", "--passes", "passes"});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out, "page: job.png\npass: passes/page1-pass1-Black.png\n");
  EXPECT_TRUE(Exists(dir / "job.png"));
  EXPECT_TRUE(Exists(dir / "passes/page1-pass1-Black.png"));
}

TEST(RenderCommand, DamagedStreamNamesTheOffset) {
  TempDir dir;
  pc50::testing::PutBytes(dir / "bad.prn", 0, "\x1b" "E\x1b%0BBP5,1;PS1,1;\x1b%1A\x1b*t180R\x1b*bxW");
  const testing::CliRun run = RunCli(dir, {"render", "bad.prn", "-o", "bad.png"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err.rfind("pc50 render: bad.prn: offset ", 0), 0u) << run.err;
  EXPECT_EQ(testing::Lines(run.err), 1);
  EXPECT_FALSE(Exists(dir / "bad.png"));

  pc50::testing::PutBytes(dir / "empty.prn", 0, "\x1b" "E");
  const testing::CliRun empty = RunCli(dir, {"render", "empty.prn", "-o", "empty.png"});
  EXPECT_EQ(empty.exit_code, 1);
  EXPECT_NE(empty.err.find("no printed page"), std::string::npos) << empty.err;

  EXPECT_EQ(RunCli(dir, {"render", "none.prn", "-o", "x.png"}).exit_code, 1);
  EXPECT_EQ(RunCli(dir, {"render", "bad.prn"}).exit_code, 2);
}

}  // namespace
}  // namespace pc50::cli
