// The printer application's core without a server: a spool job run through
// RunSpoolJob gives the stream the command-line host gives, its cartridge
// prompts reach the hooks of its own job (also with two jobs at once), and a
// refused cartridge, a stop, a failing printer or a damaged job end it with
// the reason. Raster pages that arrive line by line become one job, in a
// spot ribbon when one is chosen for images. The operator's desk answers
// waits from other threads.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "cartridge_desk.h"
#include "document_job.h"
#include "job_runner.h"
#include "print_job.h"
#include "spool/temp_dir.h"
#include "spool_writer.h"
#include "stream_decoder.h"

namespace pc50::app {
namespace {

using pc50::testing::TempDir;

// Four-colour ribbon, Cyan and Black with a Gold spot: the CMYK pass and
// then the Gold pass, each with its cartridge prompt.
std::string WriteGoldJob(const TempDir& dir, const std::string& name) {
  hostkit::SpoolJob job;
  job.SetRibbonType(hostkit::kFourColourRibbon);
  job.colours = {"Cyan", "Magenta", "Yellow", "Black", "Gold"};
  hostkit::Image image;
  image.cells[hostkit::kMain] = hostkit::FilledCell(64, 16, {0, 3, 4});
  job.images.push_back(image);
  const std::string path = dir / name;
  EXPECT_EQ(hostkit::WriteSpoolJob(job, path), "");
  return path;
}

struct RecordingHooks : JobHooks {
  std::string stream;
  std::vector<std::string> asked;
  bool install = true;
  bool stop = false;
  std::size_t printer_takes = std::string::npos;  // bytes before the printer fails
  int pages = 0;

  bool Write(const void* data, std::size_t size) override {
    if (stream.size() + size > printer_takes) return false;
    stream.append(static_cast<const char*>(data), size);
    return true;
  }
  bool ShouldStop() override { return stop; }
  bool AskForCartridge(const std::string& cartridge, const std::string&) override {
    asked.push_back(cartridge);
    return install;
  }
  void PageDone() override { ++pages; }
};

TEST(JobRunner, StreamIsTheHostsAndPromptsReachTheJob) {
  TempDir dir;
  const std::string spool = WriteGoldJob(dir, "gold.spl");
  RecordingHooks hooks;
  JobSettings settings;
  settings.copies = 2;
  const JobResult result = RunSpoolJob(spool, settings, hooks);
  ASSERT_EQ(result.end, JobEnd::kCompleted) << result.reason;
  EXPECT_EQ(hooks.asked, (std::vector<std::string>{"CMYK", "Gold"}));
  EXPECT_EQ(result.pages, 1);
  EXPECT_EQ(hooks.pages, 1);
  EXPECT_EQ(result.bytes, hooks.stream.size());

  cli::PrintRequest request;
  request.spool_path = spool;
  request.output_path = dir / "reference.prn";
  request.copies = 2;
  request.prompts_off = true;
  request.keep_stream = true;
  EXPECT_EQ(hooks.stream, cli::RunPrintJob(request).stream);

  const hostkit::DecodeResult decoded = hostkit::DecodeStream(hooks.stream);
  ASSERT_TRUE(decoded.ok) << decoded.error.ToString();
  ASSERT_EQ(decoded.pages.size(), 1u);
  ASSERT_EQ(decoded.pages[0].passes.size(), 2u);
  EXPECT_EQ(decoded.pages[0].passes[1].colourCode, 8);  // Gold
}

TEST(JobRunner, RefusalStopFailingPrinterAndDamageEndTheJobWithTheReason) {
  TempDir dir;
  const std::string spool = WriteGoldJob(dir, "gold.spl");

  RecordingHooks refused;
  refused.install = false;
  JobResult result = RunSpoolJob(spool, {}, refused);
  EXPECT_EQ(result.end, JobEnd::kStopped);
  EXPECT_EQ(result.reason, "the cartridge was not installed");
  EXPECT_EQ(refused.asked, std::vector<std::string>{"CMYK"});

  RecordingHooks stopped;
  stopped.stop = true;
  EXPECT_EQ(RunSpoolJob(spool, {}, stopped).end, JobEnd::kStopped);

  RecordingHooks failing;
  failing.printer_takes = 100;
  result = RunSpoolJob(spool, {}, failing);
  EXPECT_EQ(result.end, JobEnd::kFailed);
  EXPECT_EQ(result.reason, "the printer stopped taking data");

  RecordingHooks damaged;
  result = RunSpoolJob(dir / "missing.spl", {}, damaged);
  EXPECT_EQ(result.end, JobEnd::kFailed);
  EXPECT_EQ(result.reason.rfind("not a readable spool job: ", 0), 0u) << result.reason;
  EXPECT_TRUE(damaged.stream.empty());
}

TEST(JobRunner, PromptsOfTwoJobsAtOnceStayWithTheirJob) {
  TempDir dir;
  const std::string spool = WriteGoldJob(dir, "gold.spl");
  RecordingHooks hooks[2];
  JobResult results[2];
  std::thread threads[2];
  for (int i = 0; i < 2; ++i) threads[i] = std::thread([&, i] { results[i] = RunSpoolJob(spool, {}, hooks[i]); });
  for (std::thread& thread : threads) thread.join();
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(results[i].end, JobEnd::kCompleted) << results[i].reason;
    EXPECT_EQ(hooks[i].asked, (std::vector<std::string>{"CMYK", "Gold"}));
  }
  EXPECT_EQ(hooks[0].stream, hooks[1].stream);
}

TEST(RasterDocument, PagesLineByLineBecomeOneJobAndASpotColourTakesImages) {
  TempDir dir;
  {
    DocumentSettings settings;
    settings.dpi = 180;
    settings.vendor.four_colour_ribbon = true;
    RasterDocument cmyk(settings, dir.path());
    const std::vector<std::uint8_t> line(64 * 4, 0xFF);  // full ink in every plane
    for (int page = 0; page < 2; ++page) {
      ASSERT_TRUE(cmyk.StartPage(64, 16, 180, RasterDocument::Pixels::kCmyk)) << cmyk.reason();
      for (std::uint32_t y = 0; y < 20; ++y) ASSERT_TRUE(cmyk.Line(y, line.data()));  // 4 lines too many
      ASSERT_TRUE(cmyk.EndPage()) << cmyk.reason();
  }
  RecordingHooks hooks;
  JobResult result = cmyk.Finish(hooks);
  ASSERT_EQ(result.end, JobEnd::kCompleted) << result.reason;
  EXPECT_EQ(result.pages, 2);
  EXPECT_EQ(hooks.asked, (std::vector<std::string>{"CMYK", "CMYK"}));  // once a page
  EXPECT_EQ(cmyk.Finish(hooks).pages, 2);  // a second call answers the same

  settings.vendor.spot_colour = "Gold";
  RasterDocument gold(settings, dir.path());
  const std::vector<std::uint8_t> gray(64, 0);  // black: full Gold
  ASSERT_TRUE(gold.StartPage(64, 16, 180, RasterDocument::Pixels::kGray));
  for (std::uint32_t y = 0; y < 16; ++y) ASSERT_TRUE(gold.Line(y, gray.data()));
  ASSERT_TRUE(gold.EndPage());
  RecordingHooks gold_hooks;
  result = gold.Finish(gold_hooks);
  ASSERT_EQ(result.end, JobEnd::kCompleted) << result.reason;
  EXPECT_EQ(gold_hooks.asked, std::vector<std::string>{"Gold"});

  // A page at another resolution, or none at all, ends the job with the reason.
  RasterDocument mixed(settings, dir.path());
  ASSERT_TRUE(mixed.StartPage(64, 16, 180, RasterDocument::Pixels::kRgb));
  ASSERT_TRUE(mixed.EndPage());
  EXPECT_FALSE(mixed.StartPage(64, 16, 360, RasterDocument::Pixels::kRgb));
  EXPECT_EQ(mixed.Finish(hooks).reason, "page 2 is at 360 dpi, the first at 180");
  RasterDocument empty(settings, dir.path());
  EXPECT_EQ(empty.Finish(hooks).reason, "the document has no pages");
  }
  // Every scratch directory is gone with its document.
  EXPECT_TRUE(dir.Listing().empty());
}

TEST(CartridgeDesk, WaitsUntilAnsweredOrStoppedAndRemembersTheCartridge) {
  EXPECT_EQ(CartridgeOfPrompt("Please install Gold cartridge to the printer"), "Gold");
  EXPECT_EQ(CartridgeOfPrompt("Load paper"), "Load paper");

  CartridgeDesk desk;
  std::atomic<bool> posted{false};
  std::thread job([&] {
    EXPECT_EQ(desk.Await(7, "Gold", "text", [] { return false; }, [&] { posted = true; }, 10),
              CartridgeDesk::Outcome::kInstalled);
  });
  while (!posted) std::this_thread::yield();
  while (!desk.Waiting()) std::this_thread::yield();
  EXPECT_FALSE(desk.Answer(8, true));  // another job's answer
  EXPECT_TRUE(desk.Answer(7, true));
  job.join();
  EXPECT_EQ(desk.Installed(), "Gold");
  EXPECT_FALSE(desk.Waiting());

  // The installed cartridge needs no wait; a stop ends one.
  EXPECT_EQ(desk.Await(9, "Gold", "text", [] { return true; }, nullptr, 10), CartridgeDesk::Outcome::kInstalled);
  EXPECT_EQ(desk.Await(9, "CMYK", "text", [] { return true; }, nullptr, 10), CartridgeDesk::Outcome::kStopped);
  EXPECT_FALSE(desk.Answer(0, true));
}

}  // namespace
}  // namespace pc50::app
