// pc50 options: decoding through the module, in-process and as a subprocess.
#include "options_command.h"

#include <gtest/gtest.h>

#include "cli_test_support.h"

namespace pc50::cli {
namespace {

using testing::RunCli;
using testing::TempDir;

TEST(OptionsCommand, DefaultsAndDecimalAndNibbleForms) {
  OptionBlock block = DefaultOptionBlock();
  EXPECT_EQ(block[0], 20);
  EXPECT_EQ(block[1], 1);
  EXPECT_EQ(block[2], 0);

  DecodeOptionString("DriverOption0=0 DriverOption1=1", &block);
  EXPECT_EQ(block[0], 20);
  EXPECT_EQ(block[1], 0);
  EXPECT_EQ(block[2], 1);

  DecodeOptionString("DriverOption0=255", &block);  // leaves the byte alone
  EXPECT_EQ(block[1], 0);

  DecodeOptionString("DriverOptionBinary=" + std::string("140100") + std::string(394, '0'), &block);
  EXPECT_EQ(block[1], 1);
  EXPECT_EQ(block[2], 0);
  EXPECT_EQ(DescribeOptionBlock(block),
            "tag:         20\nribbon type: 1 (single-colour ribbons)\nprint order: 0 (YMCK)\n");
}

TEST(OptionsCommand, BlockFileIsReadAndWrittenBack) {
  TempDir dir;
  testing::CliRun run = RunCli(dir, {"options", "decode", "DriverOption0=0", "--block", "opt.bin"});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.out.find("ribbon type: 0 (four-colour ribbon)"), std::string::npos) << run.out;
  std::string bytes = testing::ReadFile(dir / "opt.bin");
  ASSERT_EQ(bytes.size(), 256u);
  EXPECT_EQ(bytes.substr(0, 3), std::string("\x14\x00\x00", 3));

  // The second decode starts from the file: the ribbon type stays four-colour.
  run = RunCli(dir, {"options", "decode", "DriverOption1=1", "--block", "opt.bin"});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  bytes = testing::ReadFile(dir / "opt.bin");
  EXPECT_EQ(bytes.substr(0, 3), std::string("\x14\x00\x01", 3));

  run = RunCli(dir, {"options", "decode", "nothing here"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_NE(run.out.find("(no option changed)"), std::string::npos);
}

TEST(OptionsCommand, WrongBlockFileAndUsage) {
  TempDir dir;
  pc50::testing::PutBytes(dir / "short.bin", 0, std::string(100, '\x14'));
  const testing::CliRun run = RunCli(dir, {"options", "decode", "DriverOption0=0", "--block", "short.bin"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err, "pc50 options: short.bin: 100 bytes; a driver-option block file holds exactly 256\n");
  EXPECT_EQ(testing::ReadFile(dir / "short.bin").size(), 100u);

  EXPECT_EQ(RunCli(dir, {"options"}).exit_code, 2);
  EXPECT_EQ(RunCli(dir, {"options", "decode"}).exit_code, 2);
  EXPECT_EQ(RunCli(dir, {"options", "encode", "x"}).exit_code, 2);
  const testing::CliRun describe = RunCli(dir, {"options", "describe"});
  EXPECT_EQ(describe.exit_code, 0);
  EXPECT_EQ(describe.out, "Print Order:0,YMCK,CMYK;\n");
}

}  // namespace
}  // namespace pc50::cli
