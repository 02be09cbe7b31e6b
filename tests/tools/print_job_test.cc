#include "print_job.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "cartridge_prompt.h"
#include "cli_test_support.h"
#include "errors.h"
#include "preview_files.h"

namespace pc50::cli {
namespace {

using testing::Exists;
using testing::TempDir;

class PrintJobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    testing::WriteBlackJob(dir_ / "job.spl", 16, 4);
  }

  PrintRequest Request(Api api, const std::string& output) {
    PrintRequest request;
    request.spool_path = dir_ / "job.spl";
    request.output_path = output.empty() ? "" : dir_ / output;
    request.api = api;
    request.prompts_off = true;
    return request;
  }

  std::string FailureOf(const PrintRequest& request) {
    try {
      RunPrintJob(request);
    } catch (const Failure& failure) {
      return failure.what();
    }
    return "";
  }

  TempDir dir_;
};

TEST_F(PrintJobTest, BothInterfacesAndThePortDeliverTheSameStream) {
  const PrintResult c = RunPrintJob(Request(Api::kC, "c.prn"));
  const PrintResult object = RunPrintJob(Request(Api::kObject, "object.prn"));
  PrintRequest port_request = Request(Api::kObject, "");
  port_request.port_path = dir_ / "port.prn";
  port_request.keep_stream = true;
  const PrintResult port = RunPrintJob(port_request);

  const std::string stream = testing::ReadFile(dir_ / "c.prn");
  ASSERT_FALSE(stream.empty());
  EXPECT_EQ(c.bytes, stream.size());
  EXPECT_EQ(testing::ReadFile(dir_ / "object.prn"), stream);
  EXPECT_EQ(testing::ReadFile(dir_ / "port.prn"), stream);
  EXPECT_EQ(port.stream, stream);
  EXPECT_EQ(object.bytes, port.bytes);
  EXPECT_GT(c.steps, 1);

  const std::vector<hostkit::Page> pages = DecodeStreamBytes(stream, "c.prn");
  ASSERT_EQ(pages.size(), 1u);
  ASSERT_EQ(pages[0].passes.size(), 1u);
  EXPECT_EQ(PassColourName(pages[0].passes[0]), "Black");
  EXPECT_EQ(testing::InkedPixels(pages[0].passes[0].planes[0]), 16u * 4u);
  // Nothing but the three outputs and the spool file.
  EXPECT_EQ(dir_.Listing().size(), 4u);
}

TEST_F(PrintJobTest, CopiesAndStatusReachTheHost) {
  PrintRequest request = Request(Api::kC, "three.prn");
  request.copies = 3;
  request.keep_stream = true;
  std::vector<std::string> statuses;
  request.on_status = [&statuses](const std::string& status) { statuses.push_back(status); };
  const PrintResult result = RunPrintJob(request);
  const std::vector<hostkit::Page> pages = DecodeStreamBytes(result.stream, "three.prn");
  std::size_t inked = 0;
  for (const hostkit::Page& page : pages) {
    for (const hostkit::Pass& pass : page.passes) inked += testing::InkedPixels(pass.planes[0]);
  }
  EXPECT_EQ(inked, 3u * 16u * 4u);
  ASSERT_EQ(static_cast<long>(statuses.size()), result.steps);
  EXPECT_NE(statuses.back().find('%'), std::string::npos) << statuses.back();
}

TEST_F(PrintJobTest, DamagedSpoolFailsWithTheModulesReasonAndLeavesNoOutput) {
  const std::string whole = testing::ReadFile(dir_ / "job.spl");
  for (Api api : {Api::kC, Api::kObject}) {
    pc50::testing::PutBytes(dir_ / "cut.spl", 0, whole.substr(0, whole.size() - 20));
    PrintRequest request = Request(api, "cut.prn");
    request.spool_path = dir_ / "cut.spl";
    const std::string reason = FailureOf(request);
    EXPECT_FALSE(reason.empty());
    EXPECT_EQ(reason.find('\n'), std::string::npos) << reason;
    EXPECT_FALSE(Exists(dir_ / "cut.prn"));
    EXPECT_EQ(dir_.Listing().size(), 2u) << "a temporary file was left";
    std::filesystem::remove(dir_ / "cut.spl");
  }
  PrintRequest missing = Request(Api::kC, "x.prn");
  missing.spool_path = dir_ / "none.spl";
  EXPECT_EQ(FailureOf(missing), "no such spool file");
}

TEST_F(PrintJobTest, CancelledPromptFailsTheJobWithoutOutput) {
  PrintRequest request = Request(Api::kC, "job.prn");
  request.prompts_off = false;
  std::istringstream answers("cancel\n");
  std::FILE* sink = std::tmpfile();
  CartridgePrompter prompter(PromptPolicy::kAsk, true, answers, sink);
  {
    ScopedPromptHandler handler(&prompter);
    EXPECT_FALSE(FailureOf(request).empty());
  }
  std::fclose(sink);
  EXPECT_TRUE(prompter.cancelled());
  EXPECT_EQ(prompter.cancelled_text(), "Please install Black cartridge to the printer");
  EXPECT_FALSE(Exists(dir_ / "job.prn"));
}

TEST_F(PrintJobTest, JobRunsAwayFromTheCurrentDirectory) {
  const std::filesystem::path before = std::filesystem::current_path();
  // Four-colour ribbon with a spot colour: the module's scratch file is used.
  hostkit::SpoolJob job;
  job.colours = {"Cyan", "Magenta", "Yellow", "Black", "Gold"};
  job.SetRibbonType(hostkit::kFourColourRibbon);
  hostkit::Image image;
  image.cells[hostkit::kMain] = hostkit::FilledCell(16, 4, {0, 3, 4});
  job.images.push_back(image);
  ASSERT_EQ(hostkit::WriteSpoolJob(job, dir_ / "mixed.spl"), "");
  PrintRequest request = Request(Api::kC, "mixed.prn");
  request.spool_path = "mixed.spl";
  request.output_path = "mixed.prn";
  std::filesystem::current_path(dir_.path());
  RunPrintJob(request);
  EXPECT_EQ(std::filesystem::current_path(), std::filesystem::path(dir_.path()));
  std::filesystem::current_path(before);
  EXPECT_TRUE(Exists(dir_ / "mixed.prn"));
  EXPECT_FALSE(Exists(dir_ / "PC50CMYK.tmp"));
}

TEST_F(PrintJobTest, RequestsTheModuleCannotTakeAreRefused) {
  PrintRequest port = Request(Api::kC, "");
  port.port_path = "-";
  EXPECT_THROW(RunPrintJob(port), UsageError);

  PrintRequest both = Request(Api::kObject, "out.prn");
  both.port_path = "-";
  EXPECT_THROW(RunPrintJob(both), UsageError);

  PrintRequest copies = Request(Api::kC, "out.prn");
  copies.copies = 40000;
  EXPECT_THROW(RunPrintJob(copies), UsageError);

  PrintRequest long_path = Request(Api::kC, "");
  long_path.output_path = dir_.PathOfLength(300);
  EXPECT_NE(FailureOf(long_path).find("try --api object"), std::string::npos);
}

}  // namespace
}  // namespace pc50::cli
