// Eight jobs at once, one per thread, through the C entry points: each must
// produce exactly the stream it produces alone. All jobs share one working
// directory, which is also the temporary directory, so jobs that assemble a
// four-colour pass in a temporary file do it side by side.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "job_host_support.h"
#include "spool/temp_dir.h"
#include "spool_writer.h"
#include "stream_decoder.h"

namespace pc50::jobtest {
namespace {

using pc50::testing::TempDir;

constexpr int kThreads = 8;

class ConcurrentJobsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
    const char* tmp = std::getenv("TMPDIR");
    if (tmp != nullptr) savedTmp_ = tmp;
    hadTmp_ = tmp != nullptr;
    ::setenv("TMPDIR", dir_.path().c_str(), 1);
    for (int i = 0; i < kThreads; ++i) {
      JobShape shape;
      shape.mode = static_cast<Mode>(1 + i % 3);
      shape.seed = static_cast<unsigned>(i + 1);
      shape.width = 200 + 40 * static_cast<std::uint32_t>(i);
      shape.images = i % 4 == 3 ? 2 : 1;
      const std::string name = "job" + std::to_string(i);
      // Raster files of different jobs must not share names in the one directory.
      hostkit::SpoolJob job = MakeJob(shape);
      for (int k = 0; k < shape.images; ++k) job.rasterFileNames.push_back(name + "_page" + std::to_string(k));
      if (shape.images == 1) job.rasterFileNames.clear();
      ASSERT_EQ(hostkit::WriteSpoolJob(job, dir_ / (name + ".spl")), "");
      modes_.push_back(shape.mode);
    }
    inputs_ = dir_.Listing();
  }

  void TearDown() override {
    std::filesystem::current_path(previous_);
    if (hadTmp_) {
      ::setenv("TMPDIR", savedTmp_.c_str(), 1);
    } else {
      ::unsetenv("TMPDIR");
    }
  }

  std::string Spool(int i) const { return dir_ / ("job" + std::to_string(i) + ".spl"); }

  // Runs every job alone, one after the other.
  std::vector<JobOutcome> RunAlone(std::int16_t promptMode) {
    std::vector<JobOutcome> outcomes;
    for (int i = 0; i < kThreads; ++i) {
      outcomes.push_back(RunCJob(Spool(i), dir_ / ("alone" + std::to_string(i) + ".prn"), promptMode));
    }
    return outcomes;
  }

  // Runs every job on a thread of its own, all at once.
  std::vector<JobOutcome> RunTogether(std::int16_t promptMode, const std::string& tag) {
    std::vector<JobOutcome> outcomes(kThreads);
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
      threads.emplace_back([&, i] {
        // Start together, so that the jobs overlap.
        ready.fetch_add(1);
        while (ready.load() < kThreads) std::this_thread::yield();
        outcomes[static_cast<std::size_t>(i)] =
            RunCJob(Spool(i), dir_ / (tag + std::to_string(i) + ".prn"), promptMode);
      });
    }
    for (std::thread& thread : threads) thread.join();
    return outcomes;
  }

  void ExpectSameStreams(const std::vector<JobOutcome>& got, const std::vector<JobOutcome>& want) {
    for (int i = 0; i < kThreads; ++i) {
      const JobOutcome& g = got[static_cast<std::size_t>(i)];
      const JobOutcome& w = want[static_cast<std::size_t>(i)];
      SCOPED_TRACE(::testing::Message() << "job " << i << ", " << ModeName(modes_[static_cast<std::size_t>(i)]));
      EXPECT_TRUE(g.ended) << g.reason;
      EXPECT_EQ(g.abortResult, 1);
      EXPECT_EQ(g.produced, w.produced);
      EXPECT_TRUE(g.stream == w.stream) << FirstDifference(g.stream, w.stream);
    }
  }

  // Only the inputs and the output files are left in the directory.
  void ExpectOnlyOutputsLeft() {
    for (const auto& [name, size] : dir_.Listing()) {
      if (inputs_.count(name) != 0) continue;
      EXPECT_EQ(name.substr(name.size() - 4), ".prn") << "left behind: " << name;
    }
  }

  TempDir dir_;
  std::filesystem::path previous_;
  std::string savedTmp_;
  bool hadTmp_ = false;
  std::vector<Mode> modes_;
  std::map<std::string, std::uintmax_t> inputs_;
};

TEST_F(ConcurrentJobsTest, EachJobPrintsAsItDoesAlone) {
  const std::vector<JobOutcome> alone = RunAlone(kPromptsOff);
  for (int i = 0; i < kThreads; ++i) {
    const JobOutcome& job = alone[static_cast<std::size_t>(i)];
    ASSERT_TRUE(job.ended) << "job " << i << ": " << job.reason;
    ASSERT_GT(job.steps, 3) << "job " << i << " should take several steps";
    // The streams are what the modes promise: the decoder's view of the passes.
    const hostkit::DecodeResult decoded = hostkit::DecodeStream(job.stream);
    ASSERT_TRUE(decoded.ok) << "job " << i << ": " << decoded.error.ToString();
    ASSERT_FALSE(decoded.pages.empty());
    const std::vector<hostkit::Pass>& passes = decoded.pages[0].passes;
    ASSERT_FALSE(passes.empty());
    const bool fourColour = passes[0].IsFourColour();
    EXPECT_EQ(fourColour, modes_[static_cast<std::size_t>(i)] != Mode::kSinglePasses) << "job " << i;
    if (modes_[static_cast<std::size_t>(i)] == Mode::kAssembled) {
      EXPECT_EQ(passes.size(), 2u) << "job " << i;
    }
  }
  for (const char* round : {"first", "second"}) {
    SCOPED_TRACE(round);
    ExpectSameStreams(RunTogether(kPromptsOff, std::string(round) + "_"), alone);
  }
  ExpectOnlyOutputsLeft();
}

std::atomic<int> promptsShown{0};

int CountPrompt(void*, const char*, const char*, unsigned, HWND) {
  promptsShown.fetch_add(1);
  return 1;  // OK
}

TEST_F(ConcurrentJobsTest, CartridgePromptsFromManyThreadsLeaveTheStreamsAlone) {
  const std::vector<JobOutcome> silent = RunAlone(kPromptsOff);
  pc50_SetPromptHandler(&CountPrompt, nullptr);
  promptsShown = 0;
  const std::vector<JobOutcome> alone = RunAlone(kPromptsOn);
  const int alonePrompts = promptsShown.exchange(0);
  const std::vector<JobOutcome> together = RunTogether(kPromptsOn, "asked_");
  const int togetherPrompts = promptsShown.load();
  pc50_SetPromptHandler(nullptr, nullptr);

  EXPECT_GE(alonePrompts, kThreads);
  EXPECT_EQ(togetherPrompts, alonePrompts);
  ExpectSameStreams(alone, silent);
  ExpectSameStreams(together, silent);
  ExpectOnlyOutputsLeft();
}

TEST_F(ConcurrentJobsTest, HandlerChangingWhileJobsPromptIsSafe) {
  const std::vector<JobOutcome> silent = RunAlone(kPromptsOff);
  // Every prompt answers OK with or without the handler, so the streams
  // stay the same whichever the jobs meet.
  std::atomic<bool> done{false};
  std::thread switcher([&done] {
    while (!done.load()) {
      pc50_SetPromptHandler(&CountPrompt, nullptr);
      std::this_thread::yield();
      pc50_SetPromptHandler(nullptr, nullptr);
    }
  });
  const std::vector<JobOutcome> together = RunTogether(kPromptsOn, "switched_");
  done = true;
  switcher.join();
  ExpectSameStreams(together, silent);
}

}  // namespace
}  // namespace pc50::jobtest
