// pc50 print, run as a subprocess.
#include "print_command.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "cli_test_support.h"

namespace pc50::cli {
namespace {

using testing::Exists;
using testing::RunCli;
using testing::TempDir;

class PrintCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    testing::WriteBlackJob(dir_ / "job.spl");
  }
  TempDir dir_;
};

TEST_F(PrintCommandTest, WritesTheStreamBesideTheSpoolFileAndSaysWhere) {
  const testing::CliRun run = RunCli(dir_, {"print", "job.spl"});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(Exists(dir_ / "job.prn"));
  EXPECT_NE(run.out.find("to job.prn"), std::string::npos) << run.out;
  // No terminal to ask at: the cartridge prompt is answered OK, said once.
  EXPECT_NE(run.err.find("answering OK to \"Please install Black cartridge to the printer\""),
            std::string::npos)
      << run.err;
  EXPECT_EQ(testing::Lines(run.err), 1);
}

TEST_F(PrintCommandTest, EveryWayIntoTheModuleGivesTheSameStream) {
  ASSERT_EQ(RunCli(dir_, {"print", "job.spl", "-o", "c.prn", "--no-prompt"}).exit_code, 0);
  const testing::CliRun object =
      RunCli(dir_, {"print", "job.spl", "-o", "object.prn", "--api", "object", "--yes"});
  EXPECT_EQ(object.exit_code, 0) << object.err;
  EXPECT_EQ(object.err, "");
  const testing::CliRun port = RunCli(dir_, {"print", "job.spl", "--api", "object", "--port", "-", "--yes"});
  EXPECT_EQ(port.exit_code, 0) << port.err;
  const std::string stream = testing::ReadFile(dir_ / "c.prn");
  ASSERT_FALSE(stream.empty());
  EXPECT_EQ(testing::ReadFile(dir_ / "object.prn"), stream);
  EXPECT_EQ(port.out, stream);  // notes went to standard error
  EXPECT_NE(port.err.find("to standard output"), std::string::npos);
}

TEST_F(PrintCommandTest, PreviewAndCopies) {
  const testing::CliRun run =
      RunCli(dir_, {"print", "job.spl", "--copies", "2", "--no-prompt", "--preview", "job.png"});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.out.find("preview: job.png"), std::string::npos) << run.out;
  EXPECT_EQ(testing::ReadFile(dir_ / "job.png").substr(1, 3), "PNG");
}

TEST_F(PrintCommandTest, StepTimesReportTheLongestStep) {
  const testing::CliRun run = RunCli(dir_, {"print", "job.spl", "--no-prompt", "--step-times"});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  long steps = 0;
  double longest = -1;
  const std::size_t line = run.out.find("longest step: ");
  ASSERT_NE(line, std::string::npos) << run.out;
  ASSERT_EQ(std::sscanf(run.out.c_str() + line, "longest step: %lf ms of %ld steps", &longest, &steps), 2) << run.out;
  EXPECT_GE(longest, 0.0);
  EXPECT_NE(run.out.find("in " + std::to_string(steps) + " steps"), std::string::npos) << run.out;
  EXPECT_EQ(RunCli(dir_, {"print", "job.spl", "--no-prompt"}).out.find("longest step"), std::string::npos);
}

TEST_F(PrintCommandTest, DamagedSpoolFailsOnOneLineAndLeavesNoOutput) {
  const std::string whole = testing::ReadFile(dir_ / "job.spl");
  pc50::testing::PutBytes(dir_ / "bad.spl", 0, whole.substr(0, whole.size() - 30));
  const testing::CliRun run = RunCli(dir_, {"print", "bad.spl", "--no-prompt"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err.rfind("pc50 print: bad.spl: ", 0), 0u) << run.err;
  EXPECT_EQ(testing::Lines(run.err), 1) << run.err;
  EXPECT_FALSE(Exists(dir_ / "bad.prn"));
  EXPECT_EQ(dir_.Listing().size(), 2u);

  const testing::CliRun missing = RunCli(dir_, {"print", "none.spl"});
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_EQ(missing.err, "pc50 print: none.spl: no such spool file\n");
}

TEST_F(PrintCommandTest, UsageErrorsExitWithTwo) {
  const std::vector<std::vector<std::string>> wrong = {
      {"print"},
      {"print", "job.spl", "--port", "-"},
      {"print", "job.spl", "--yes", "--no-prompt"},
      {"print", "job.spl", "--copies", "0"},
      {"print", "job.spl", "--api", "pascal"},
      {"print", "job.spl", "-o", "a.prn", "--port", "b.prn", "--api", "object"},
      {"print", "job.spl", "-o", "job.spl"},
      {"print", "job.spl", "--colour"},
  };
  for (const auto& args : wrong) {
    const testing::CliRun run = RunCli(dir_, args);
    EXPECT_EQ(run.exit_code, 2) << args.back() << ": " << run.err;
    EXPECT_FALSE(run.err.empty());
  }
  EXPECT_EQ(dir_.Listing().size(), 1u);
  EXPECT_EQ(RunCli(dir_, {"print", "--help"}).exit_code, 0);
}

}  // namespace
}  // namespace pc50::cli
