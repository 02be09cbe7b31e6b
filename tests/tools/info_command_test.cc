// pc50 info, in-process and as a subprocess.
#include "info_command.h"

#include <gtest/gtest.h>

#include "cli_test_support.h"
#include "device_report.h"

namespace pc50::cli {
namespace {

TEST(InfoCommand, ReportShowsModelsColoursAndScreening) {
  const std::string text = FormatDeviceReport(QueryDevice());
  EXPECT_NE(text.find("Printer:        PC-50 Thermal Printer\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Row number:     17\n"), std::string::npos);
  EXPECT_NE(text.find("  0 CMYK (default)\n"), std::string::npos);
  EXPECT_NE(text.find("  2 Grayscale\n"), std::string::npos);
  EXPECT_NE(text.find("Gold       Gold       spot    #7F7F00"), std::string::npos);
  EXPECT_NE(text.find("Cyan       Diamond   55.0 lpi  105.0 deg"), std::string::npos);
}

TEST(InfoCommand, RunsAsACommandWithResolutions) {
  testing::TempDir dir;
  const testing::CliRun run = testing::RunCli(dir, {"info"});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.out.find("    300 dpi -> 360 dpi\n"), std::string::npos) << run.out;
  EXPECT_EQ(testing::RunCli(dir, {"info", "extra"}).exit_code, 2);
  EXPECT_TRUE(dir.Listing().empty());
}

}  // namespace
}  // namespace pc50::cli
