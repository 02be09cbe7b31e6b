// Whole jobs whose host, disk, port or input fails in the middle: each
// failure ends the step with a reason, never a crash or a hang; the abort
// still writes the printer reset where the host expects it; no temporary
// file and no open file is left behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "job_host_support.h"
#include "platform/platform.h"
#include "spool/temp_dir.h"
#include "spool_writer.h"

namespace pc50::jobtest {
namespace {

using pc50::testing::TempDir;

constexpr Mode kModes[] = {Mode::kSinglePasses, Mode::kInterleaved, Mode::kAssembled};
constexpr char kReset[] = "\x1b" "E";
constexpr char kTempPrefix[] = "PC50CMYK";

int OpenDescriptors() {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    (void)entry;
    ++count;
  }
  return count;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Streams are long: a mismatch reports where, not the bytes.
::testing::AssertionResult SameBytes(const std::string& got, const std::string& want) {
  if (got == want) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << FirstDifference(got, want);
}

// Lifts the simulated disk limit however a test ends.
struct WriteLimit {
  explicit WriteLimit(std::int64_t bytes) { platform::SetWriteLimitForTesting(bytes); }
  ~WriteLimit() { platform::SetWriteLimitForTesting(-1); }
  WriteLimit(const WriteLimit&) = delete;
  WriteLimit& operator=(const WriteLimit&) = delete;
};

// A port that takes everything until its budget is spent, then half of what
// it is offered.
class MeteredPort : public ABasePort {
 public:
  explicit MeteredPort(long budget) : budget_(budget) {}
  int SendData(const void* data, int length, int) override {
    const int taken = budget_ < 0 || length <= budget_ ? length : length / 2;
    if (budget_ >= 0) budget_ = taken <= budget_ ? budget_ - taken : 0;
    received_.append(static_cast<const char*>(data), static_cast<std::size_t>(taken));
    return taken;
  }
  void Unlimit() { budget_ = -1; }
  const std::string& received() const { return received_; }

 private:
  long budget_;
  std::string received_;
};

struct DriverDeleter {
  void operator()(ABasePrinterDriver* driver) const { delete driver; }
};
using DriverPtr = std::unique_ptr<ABasePrinterDriver, DriverDeleter>;

class JobFaultsTest : public ::testing::Test {
 protected:
  // Every temporary file of the process goes to a directory of the tests' own.
  static void SetUpTestSuite() {
    const char* tmp = std::getenv("TMPDIR");
    hadTmp_ = tmp != nullptr;
    if (hadTmp_) savedTmp_ = tmp;
    tmpRoot_ = std::make_unique<TempDir>();
    ::setenv("TMPDIR", tmpRoot_->path().c_str(), 1);
  }
  static void TearDownTestSuite() {
    if (hadTmp_) {
      ::setenv("TMPDIR", savedTmp_.c_str(), 1);
    } else {
      ::unsetenv("TMPDIR");
    }
    tmpRoot_.reset();
  }

  void SetUp() override { ASSERT_TRUE(dir_.ok()); }

  // The module's temporary files in the temporary directory.
  static int TempFiles() {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(tmpRoot_->path())) {
      if (entry.path().filename().string().rfind(kTempPrefix, 0) == 0) ++count;
    }
    return count;
  }

  std::string WriteJob(const JobShape& shape, const std::string& name) {
    const std::string spool = dir_ / (name + ".spl");
    hostkit::SpoolJob job = MakeJob(shape);
    for (int k = 0; k < shape.images && shape.images > 1; ++k) {
      job.rasterFileNames.push_back(name + "_page" + std::to_string(k + 1) + ".dat");
    }
    const std::string error = hostkit::WriteSpoolJob(job, spool);
    EXPECT_EQ(error, "");
    return spool;
  }

  // The job run without faults.
  JobOutcome Clean(const std::string& spool, int copies = 3) {
    JobOutcome clean = RunCJob(spool, dir_ / "clean.prn", kPromptsOff, copies);
    EXPECT_TRUE(clean.ended) << clean.reason;
    return clean;
  }

  // After a failed or stopped job: the abort succeeds and appends the reset
  // at the count the host holds, nothing is left open or on disk.
  void ExpectCleanAbort(CHostJob& job, const std::string& output, int descriptorsBefore) {
    const std::int32_t n = job.produced();
    const std::string before = ReadFile(output).substr(0, static_cast<std::size_t>(n));
    EXPECT_EQ(job.Abort(), 1) << pc50_LastFailure();
    EXPECT_EQ(job.produced(), n + 2);
    EXPECT_TRUE(SameBytes(ReadFile(output).substr(0, static_cast<std::size_t>(n) + 2), before + kReset));
    EXPECT_EQ(TempFiles(), 0);
    EXPECT_EQ(OpenDescriptors(), descriptorsBefore);
  }

  static std::unique_ptr<TempDir> tmpRoot_;
  static std::string savedTmp_;
  static bool hadTmp_;
  TempDir dir_;
};

std::unique_ptr<TempDir> JobFaultsTest::tmpRoot_;
std::string JobFaultsTest::savedTmp_;
bool JobFaultsTest::hadTmp_ = false;

// ---- The host's byte count ------------------------------------------------------

TEST_F(JobFaultsTest, HostHandingBackASmallerCountHasTheNextStepOverwriteFromThere) {
  for (Mode mode : kModes) {
    SCOPED_TRACE(ModeName(mode));
    const std::string spool = WriteJob({mode, 2}, "job");
    const JobOutcome clean = Clean(spool);
    const std::string output = dir_ / "rewound.prn";
    CHostJob job(spool, output);
    ASSERT_EQ(job.Start(), 1);
    // The host takes the new bytes after every step, then hands back an
    // earlier position: the start, the middle of what it has, or one short.
    std::string taken;
    std::int32_t from = 0;
    long steps = 0;
    while (!job.Ended()) {
      ASSERT_LT(++steps, 10000);
      ASSERT_EQ(job.Step(), 1) << pc50_LastFailure();
      const std::string file = ReadFile(output);
      ASSERT_GE(file.size(), static_cast<std::size_t>(job.produced()));
      taken += file.substr(static_cast<std::size_t>(from), static_cast<std::size_t>(job.produced() - from));
      const std::int32_t produced = job.produced();
      from = steps % 3 == 0 ? 0 : steps % 3 == 1 ? produced / 2 : produced - (produced > 0 ? 1 : 0);
      job.set_produced(from);
    }
    ASSERT_EQ(job.Abort(), 1);
    EXPECT_EQ(job.produced(), from + 2);
    const std::string file = ReadFile(output);
    EXPECT_EQ(file.substr(static_cast<std::size_t>(from), 2), kReset);
    taken += file.substr(static_cast<std::size_t>(from), 2);
    EXPECT_TRUE(SameBytes(taken, clean.stream));
    // The file was written over, not appended to.
    EXPECT_LT(file.size(), clean.stream.size());
  }
}

// ---- Aborts ----------------------------------------------------------------------

TEST_F(JobFaultsTest, AbortInTheMiddleOfEveryModeLeavesTheResetAndNothingElse) {
  for (Mode mode : kModes) {
    SCOPED_TRACE(ModeName(mode));
    const std::string spool = WriteJob({mode, 4}, "job");
    const JobOutcome clean = Clean(spool);
    ASSERT_GT(clean.steps, 4);
    bool sawTempFile = false;
    for (long stop = 1; stop < clean.steps; ++stop) {
      SCOPED_TRACE(::testing::Message() << "abort after step " << stop << " of " << clean.steps);
      const std::string output = dir_ / "aborted.prn";
      std::filesystem::remove(output);
      const int descriptors = OpenDescriptors();
      CHostJob job(spool, output);
      ASSERT_EQ(job.Start(), 1);
      for (long s = 0; s < stop; ++s) ASSERT_EQ(job.Step(), 1) << pc50_LastFailure();
      ASSERT_FALSE(job.Ended());
      sawTempFile = sawTempFile || TempFiles() > 0;
      // What the job produced so far is the clean stream's beginning.
      const std::string soFar = ReadFile(output);
      ASSERT_EQ(soFar.size(), static_cast<std::size_t>(job.produced()));
      EXPECT_TRUE(SameBytes(soFar, clean.stream.substr(0, soFar.size())));
      ExpectCleanAbort(job, output, descriptors);
      EXPECT_EQ(ReadFile(output).size(), soFar.size() + 2);
    }
    EXPECT_EQ(sawTempFile, mode == Mode::kAssembled);
  }
}

TEST_F(JobFaultsTest, DestroyingADriverInTheMiddleRemovesItsTemporaryFile) {
  const std::string spool = WriteJob({Mode::kAssembled, 4}, "job");
  const int descriptors = OpenDescriptors();
  JobContext job;
  InitJobContext(&job);
  std::snprintf(job.spoolPath, sizeof job.spoolPath, "%s", spool.c_str());
  std::snprintf(job.outputPath, sizeof job.outputPath, "%s", (dir_ / "destroyed.prn").c_str());
  job.promptMode = kPromptsOff;
  DriverPtr driver(createNewPrinterDriver());
  ASSERT_TRUE(driver);
  ASSERT_EQ(driver->InitializePrint(&job, nullptr), 1);
  for (int s = 0; s < 100 && TempFiles() == 0; ++s) ASSERT_EQ(driver->ResumePrint(0, 0, 0, 2), 1);
  ASSERT_EQ(TempFiles(), 1);
  driver.reset();
  EXPECT_EQ(TempFiles(), 0);
  EXPECT_EQ(OpenDescriptors(), descriptors);
}

// ---- A full disk -------------------------------------------------------------------

TEST_F(JobFaultsTest, FullDiskFailsTheStepAndCountsOnlyWhatWasWritten) {
  for (Mode mode : kModes) {
    SCOPED_TRACE(ModeName(mode));
    const std::string spool = WriteJob({mode, 6}, "job");
    const JobOutcome clean = Clean(spool);
    const std::int64_t size = static_cast<std::int64_t>(clean.stream.size()) - 2;  // without the reset
    std::vector<std::int64_t> limits = {0, 1, size - 1};
    for (int k = 1; k < 8; ++k) limits.push_back(size * k / 8);
    for (std::int64_t limit : limits) {
      SCOPED_TRACE(::testing::Message() << "disk full after " << limit << " of " << size << " bytes");
      const std::string output =
          dir_ / ("full" + std::to_string(static_cast<int>(mode)) + "_" + std::to_string(limit) + ".prn");
      const int descriptors = OpenDescriptors();
      CHostJob job(spool, output);
      ASSERT_EQ(job.Start(), 1);
      std::string reason;
      {
        WriteLimit full(limit);
        for (long steps = 0; reason.empty() && !job.Ended(); ++steps) {
          ASSERT_LT(steps, 10 * clean.steps);
          if (job.Step() == 0) reason = pc50_LastFailure();
        }
        ASSERT_FALSE(reason.empty()) << "the job ended on a full disk";
        EXPECT_TRUE(Contains(reason, "disk full")) << reason;
        EXPECT_TRUE(Contains(reason, output)) << reason;
        // Only bytes on the disk are counted, and they are the stream's.
        const std::string file = ReadFile(output);
        EXPECT_LE(job.produced(), limit);
        EXPECT_LE(static_cast<std::int64_t>(file.size()), limit);
        ASSERT_LE(static_cast<std::size_t>(job.produced()), file.size());
        EXPECT_TRUE(SameBytes(file.substr(0, static_cast<std::size_t>(job.produced())),
                              clean.stream.substr(0, static_cast<std::size_t>(job.produced()))));
        if (limit % 2 == 0) {
          // Still full: the reset cannot be written and is not counted.
          const std::int32_t n = job.produced();
          EXPECT_EQ(job.Abort(), 1);
          EXPECT_EQ(job.produced(), n);
          EXPECT_EQ(TempFiles(), 0);
          EXPECT_EQ(OpenDescriptors(), descriptors);
          continue;
        }
      }
      // With room again, the reset goes right after the counted bytes.
      ExpectCleanAbort(job, output, descriptors);
    }
  }
}

TEST_F(JobFaultsTest, FullDiskAfterTheJobLeavesTheResetUncounted) {
  const std::string spool = WriteJob({Mode::kInterleaved, 6}, "job");
  const std::string output = dir_ / "late.prn";
  const int descriptors = OpenDescriptors();
  CHostJob job(spool, output);
  ASSERT_EQ(job.Start(), 1);
  for (long steps = 0; !job.Ended(); ++steps) {
    ASSERT_LT(steps, 10000);
    ASSERT_EQ(job.Step(), 1) << pc50_LastFailure();
  }
  const std::int32_t n = job.produced();
  WriteLimit full(1);  // room for half of the reset
  EXPECT_EQ(job.Abort(), 1);
  EXPECT_EQ(job.produced(), n);
  EXPECT_EQ(OpenDescriptors(), descriptors);
}

// ---- A port that takes less than it is given -------------------------------------

// Runs the job of spool to a port with the job record job (which must live
// until the driver's abort); the reason of the failed step, or "".
std::string RunToPort(ABasePrinterDriver* driver, const std::string& spool, MeteredPort* port, JobContext* job,
                      long* steps) {
  InitJobContext(job);
  std::snprintf(job->spoolPath, sizeof job->spoolPath, "%s", spool.c_str());
  job->promptMode = kPromptsOff;
  job->copies = 8;
  if (driver->InitializePrint(job, port) == 0) return pc50_LastFailure();
  for (*steps = 1; *steps < 100000; ++*steps) {
    if (driver->ResumePrint(0, 0, 0, 2) == 0) return pc50_LastFailure();
    if (job->promptMode == -1) return "";
  }
  return "the job did not end";
}

TEST_F(JobFaultsTest, PortTakingFewerBytesFailsTheStepWithAReason) {
  for (Mode mode : kModes) {
    SCOPED_TRACE(ModeName(mode));
    // One page of more than the 204,800-byte output buffer, so that the port
    // is also fed in the middle of the page.
    JobShape shape{mode, 8};
    shape.width = 700;
    shape.height = 100;
    const std::string spool = WriteJob(shape, "big");
    MeteredPort unlimited(-1);
    JobContext cleanJob;
    long cleanSteps = 0;
    ASSERT_EQ(RunToPort(DriverPtr(createNewPrinterDriver()).get(), spool, &unlimited, &cleanJob, &cleanSteps), "");
    const std::string stream = unlimited.received();
    ASSERT_GT(stream.size(), 204800u);

    const long size = static_cast<long>(stream.size());
    for (long budget : {0L, 10L, 150000L, 210000L, size - 3}) {
      SCOPED_TRACE(::testing::Message() << "port short after " << budget << " of " << size << " bytes");
      const int descriptors = OpenDescriptors();
      MeteredPort port(budget);
      DriverPtr driver(createNewPrinterDriver());
      JobContext job;
      long steps = 0;
      const std::string reason = RunToPort(driver.get(), spool, &port, &job, &steps);
      EXPECT_TRUE(Contains(reason, "port took")) << reason;
      EXPECT_LE(steps, cleanSteps);
      EXPECT_TRUE(SameBytes(port.received(), stream.substr(0, port.received().size())));
      // A port that recovers still gets the reset.
      port.Unlimit();
      EXPECT_EQ(driver->AbortPrint(), 1);
      EXPECT_EQ(port.received().substr(port.received().size() - 2), kReset);
      driver.reset();
      EXPECT_EQ(TempFiles(), 0);
      EXPECT_EQ(OpenDescriptors(), descriptors);
    }
  }
}

// ---- Damaged input ----------------------------------------------------------------

// Runs a job that must fail: bounded steps, a reason naming file, a clean
// abort. *produced gets the bytes written before the failure.
void ExpectFailureNaming(const std::string& spool, const std::string& output, const std::string& file,
                         long maxSteps, int descriptors, std::int32_t* produced = nullptr,
                         std::string* reasonOut = nullptr) {
  std::filesystem::remove(output);
  CHostJob job(spool, output);
  if (job.Start() == 0) {
    const std::string reason = pc50_LastFailure();
    if (reasonOut != nullptr) *reasonOut = reason;
    EXPECT_TRUE(Contains(reason, file)) << reason;
    EXPECT_EQ(job.Abort(), 0);
    EXPECT_EQ(OpenDescriptors(), descriptors);
    return;
  }
  std::string reason;
  for (long steps = 0; reason.empty(); ++steps) {
    ASSERT_LT(steps, maxSteps) << "the damaged job did not fail";
    if (job.Step() == 0) reason = pc50_LastFailure();
    ASSERT_FALSE(job.Ended()) << "the damaged job ended as if complete";
  }
  EXPECT_TRUE(Contains(reason, file)) << reason;
  if (reasonOut != nullptr) *reasonOut = reason;
  const std::int32_t n = job.produced();
  if (produced != nullptr) *produced = n;
  EXPECT_EQ(job.Abort(), 1) << pc50_LastFailure();
  EXPECT_EQ(job.produced(), n + 2);
  EXPECT_EQ(ReadFile(output).substr(static_cast<std::size_t>(n)), kReset);
  EXPECT_EQ(OpenDescriptors(), descriptors);
}

TEST_F(JobFaultsTest, MissingRasterFileFailsTheStepNamingIt) {
  for (Mode mode : kModes) {
    SCOPED_TRACE(ModeName(mode));
    JobShape shape{mode, 10};
    shape.images = 3;
    const std::string spool = WriteJob(shape, "pages");
    const JobOutcome clean = Clean(spool);
    const std::string missing = dir_ / "pages_page2.dat";
    ASSERT_TRUE(std::filesystem::remove(missing));
    const int descriptors = OpenDescriptors();
    std::int32_t produced = 0;
    ExpectFailureNaming(spool, dir_ / "missing.prn", missing, clean.steps, descriptors, &produced);
    EXPECT_GT(produced, 0) << "the first page should print before the job fails";
    EXPECT_EQ(TempFiles(), 0);
    // A pipe in its place is refused, not waited on.
    ASSERT_EQ(::mkfifo(missing.c_str(), 0600), 0);
    std::string reason;
    ExpectFailureNaming(spool, dir_ / "missing.prn", missing, clean.steps, descriptors, nullptr, &reason);
    EXPECT_TRUE(Contains(reason, "not a regular file")) << reason;
    ASSERT_TRUE(std::filesystem::remove(missing));
  }
}

TEST_F(JobFaultsTest, TruncatedSpoolOrRasterFileFailsNamingIt) {
  for (Mode mode : kModes) {
    SCOPED_TRACE(ModeName(mode));
    // Inline page data well beyond the header, so that most cuts fall into
    // the records.
    JobShape inlineShape{mode, 12};
    inlineShape.width = 400;
    inlineShape.height = 120;
    const std::string whole = WriteJob(inlineShape, "whole");
    JobShape pagedShape{mode, 12};
    pagedShape.images = 2;
    const std::string pagedSpool = WriteJob(pagedShape, "paged");
    const std::string raster = dir_ / "paged_page2.dat";
    const std::string rasterBytes = ReadFile(raster);
    const long maxSteps = 10 * std::max(Clean(whole).steps, Clean(pagedSpool).steps);
    const std::string wholeBytes = ReadFile(whole);

    for (int k = 0; k < 8; ++k) {
      SCOPED_TRACE(::testing::Message() << "cut at " << k << "/8");
      const int descriptors = OpenDescriptors();
      const std::string cut = dir_ / "cut.spl";
      {
        std::ofstream out(cut, std::ios::binary | std::ios::trunc);
        out << wholeBytes.substr(0, wholeBytes.size() * static_cast<std::size_t>(k) / 8);
      }
      ExpectFailureNaming(cut, dir_ / "cut.prn", "cut.spl", maxSteps, descriptors);
      {
        std::ofstream out(raster, std::ios::binary | std::ios::trunc);
        out << rasterBytes.substr(0, rasterBytes.size() * static_cast<std::size_t>(k) / 8);
      }
      ExpectFailureNaming(pagedSpool, dir_ / "cutraster.prn", "paged_page2.dat", maxSteps, descriptors);
      EXPECT_EQ(TempFiles(), 0);
    }
  }
}

// A file that ends inside a cell, where the cell's next row or its end must
// stand, or inside a row record's head, fails the step with a reason naming
// the file, the byte and the cell: in the spool file, in a raster file and in
// a side cell of the frame. One that lacks only its trailing end records
// prints as the whole file does. A colour list cut after its code fails the
// start.
TEST_F(JobFaultsTest, FileEndingInsideACellFailsNamingFileByteAndCell) {
  enum Variant { kInline, kRasterFile, kSideCell };
  for (Mode mode : kModes) {
    for (Variant variant : {kInline, kRasterFile, kSideCell}) {
      SCOPED_TRACE(::testing::Message() << ModeName(mode) << ", variant " << variant);
      JobShape shape{mode, 12};
      shape.height = 8;
      if (variant == kRasterFile) shape.images = 2;
      hostkit::SpoolJob job = MakeJob(shape);
      if (variant == kRasterFile) job.rasterFileNames = {"cut_page1.dat", "cut_page2.dat"};
      const int kind = variant == kSideCell ? hostkit::kMiddleRight : hostkit::kMain;
      if (variant == kSideCell) {
        hostkit::Image& image = job.images.back();
        std::vector<int> colours;
        for (const auto& entry : image.Main().colours) colours.push_back(entry.first);
        image.cells[hostkit::kMiddleRight] = NoisyCell(24, shape.height, colours, 7);
        image.directoryOrder = {hostkit::kMain, hostkit::kMiddleRight};  // the side cell's data last
      }
      hostkit::BuiltJob built;
      ASSERT_EQ(hostkit::BuildSpoolJob(job, &built), "");
      const std::size_t last = built.layout.images.size() - 1;
      const hostkit::SectionLayout* section = built.layout.images[last].Section(kind);
      ASSERT_NE(section, nullptr);
      const hostkit::PlaneLayout* plane = nullptr;  // the colour written last
      for (const auto& entry : section->colours) {
        if (plane == nullptr || entry.second.header > plane->header) plane = &entry.second;
      }
      const std::string spool = dir_ / "cut.spl";
      const std::string file = variant == kRasterFile ? "cut_page2.dat" : "cut.spl";
      ASSERT_EQ(hostkit::WriteBuiltJob(built, spool), "");
      const JobOutcome clean = Clean(spool);
      const hostkit::Bytes whole = built.ImageFile(last);

      const std::int64_t row = plane->rows[plane->rows.size() / 2];
      for (std::int64_t cut : {row, row + 1, row + 3}) {
        SCOPED_TRACE(::testing::Message() << "cut at " << cut << ", row record at " << row);
        built.ImageFile(last).assign(whole.begin(), whole.begin() + cut);
        ASSERT_EQ(hostkit::WriteBuiltJob(built, spool), "");
        std::string reason;
        ExpectFailureNaming(spool, dir_ / "cut.prn", file, 10 * clean.steps, OpenDescriptors(), nullptr, &reason);
        EXPECT_TRUE(Contains(reason, "byte " + std::to_string(row))) << reason;
        EXPECT_TRUE(Contains(reason, "cell " + std::to_string(kind))) << reason;
      }
      built.ImageFile(last).assign(whole.begin(), whole.begin() + plane->bandEnd);
      ASSERT_EQ(hostkit::WriteBuiltJob(built, spool), "");
      const JobOutcome endless = RunCJob(spool, dir_ / "endless.prn");
      EXPECT_TRUE(endless.ended) << endless.reason;
      EXPECT_TRUE(SameBytes(endless.stream, clean.stream));
      EXPECT_EQ(TempFiles(), 0);

      if (variant == kInline) {
        built.ImageFile(last) = whole;
        built.spool.resize(static_cast<std::size_t>(built.layout.colourList) + 1);
        ASSERT_EQ(hostkit::WriteBuiltJob(built, spool), "");
        std::string reason;
        ExpectFailureNaming(spool, dir_ / "cut.prn", file, 1, OpenDescriptors(), nullptr, &reason);
        EXPECT_TRUE(Contains(reason, "colour list")) << reason;
      }
    }
  }
}

}  // namespace
}  // namespace pc50::jobtest
