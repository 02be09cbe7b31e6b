// The pc50 command line as a whole: help, exit codes for usage errors.
#include <gtest/gtest.h>

#include "cli_test_support.h"

namespace pc50::cli {
namespace {

using testing::RunCli;
using testing::TempDir;

TEST(Main, HelpOnEveryCommandExitsWithZero) {
  TempDir dir;
  for (std::vector<std::string> args :
       std::vector<std::vector<std::string>>{{"--help"}, {"print", "--help"}, {"spool", "--help"},
                                             {"render", "--help"}, {"info", "--help"}, {"options", "--help"},
                                             {"options", "decode", "--help"}, {"options", "describe", "--help"},
                                             {"demo", "--help"}}) {
    const testing::CliRun run = RunCli(dir, args);
    EXPECT_EQ(run.exit_code, 0) << args[0];
    EXPECT_NE(run.out.find("Usage:"), std::string::npos) << args[0];
  }
}

TEST(Main, UsageErrorsExitWithTwo) {
  TempDir dir;
  for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
           {}, {"frobnicate"}, {"--verbose"}, {"print", "a.spl", "b.spl"}, {"demo", "--copies", "3"}}) {
    const testing::CliRun run = RunCli(dir, args);
    EXPECT_EQ(run.exit_code, 2) << (args.empty() ? "" : args[0]);
    EXPECT_FALSE(run.err.empty());
  }
  EXPECT_TRUE(dir.Listing().empty());
}

}  // namespace
}  // namespace pc50::cli
