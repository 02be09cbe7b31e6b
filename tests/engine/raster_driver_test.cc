#include "engine/raster_driver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <unistd.h>

#include "engine/pc50_driver.h"
#include "platform/diagnostics.h"
#include "spool/temp_dir.h"
#include "spool_writer.h"

namespace pc50 {
namespace {

using hostkit::SpoolJob;
using pc50::testing::Exists;
using pc50::testing::TempDir;

// Reaches the driver's job state.
class ProbeDriver : public APC50Driver {
 public:
  using ARasterDriver::colorMask_;
  using ARasterDriver::pageLength_;
  using ARasterDriver::readPos_;
  using ARasterDriver::recordPos_;
  using ARasterDriver::repeatX_;
  using ARasterDriver::repeatY_;
  using ARasterDriver::settings_;
  using ARasterDriver::spool_;
  using ARasterDriver::OpenNextRasterFile;
  using ARasterDriver::ReturnToSpoolIndex;
};

// A job with the given colour list and one small inline image of colour 0; an
// empty colour list gives an index without page data.
SpoolJob ColourJob(std::vector<std::string> colours = {"Cyan", "Magenta", "Yellow", "Black"}) {
  SpoolJob job;
  job.colours = std::move(colours);
  if (job.colours.empty()) {
    job.placement = hostkit::ImagePlacement::kRasterFiles;
    return job;
  }
  hostkit::Image image;
  image.cells[hostkit::kMain] = hostkit::FilledCell(8, 2, {0});
  job.images.push_back(image);
  return job;
}

class RasterDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    InitJobContext(&job_);
    job_.promptMode = 4;
    SetPath(job_.spoolPath, dir_ / "job.spl");
    SetPath(job_.outputPath, dir_ / "out.prn");
  }

  static void SetPath(char* field, const std::string& path) { std::strcpy(field, path.c_str()); }

  void Write(const SpoolJob& job, hostkit::BuiltJob* built = nullptr) {
    ASSERT_EQ(hostkit::WriteSpoolJob(job, job_.spoolPath, built), "");
  }

  int Start(const SpoolJob& job) {
    Write(job);
    return driver_.InitializePrint(&job_, nullptr);
  }

  TempDir dir_;
  JobContext job_;
  ProbeDriver driver_;
};

TEST_F(RasterDriverTest, Version6HeaderGivesDeviceUnitsMaskAndModel) {
  SpoolJob job = ColourJob();
  job.xResolution = 360.0f;
  job.yResolution = 300.0f;  // the device prints it at 360
  job.leftMargin = 0.25;
  job.topMargin = 0.5;
  job.copyGap = 0.1;
  job.copyRowGap = 0.2f;
  job.pageLength = 3.0f;
  job.colourModel = 2;
  job.SetColourPrintable(1, false);
  ASSERT_EQ(Start(job), 1) << LastFailure();

  const SettingsBlock& s = driver_.settings_;
  EXPECT_EQ(driver_.repeatX_, 1);
  EXPECT_EQ(driver_.repeatY_, 1);
  EXPECT_EQ(s.leftMargin, 90);
  EXPECT_EQ(s.topMargin, 180);
  EXPECT_EQ(s.gapX, 36);
  EXPECT_EQ(s.gapY, 72);
  EXPECT_EQ(driver_.pageLength_, 1080);
  EXPECT_EQ(job_.colorModel, 2);
  EXPECT_EQ(driver_.colorMask_[0], 0xFD);
  EXPECT_FLOAT_EQ(s.requestedYResolution, 300.0f);
  EXPECT_EQ(s.separationsOnLastPosition, 1);
  EXPECT_EQ(driver_.state(), ARasterDriver::JobState::kStarted);
  EXPECT_EQ(job_.bytesProduced, 0);
}

TEST_F(RasterDriverTest, Version5HeaderTakesIntegerResolutionsAndFullMask) {
  SpoolJob job = ColourJob();
  job.version = 5;
  job.xResolution = 360;
  job.yResolution = 360;
  job.copyGap = 0.5;       // also the gap between copy rows before version 6
  job.copyRowGap = 1.0f;  // not read
  job.SetColourPrintable(0, false);
  ASSERT_EQ(Start(job), 1) << LastFailure();
  EXPECT_EQ(driver_.settings_.gapY, 180);
  for (std::uint8_t byte : driver_.colorMask_) EXPECT_EQ(byte, 0xFF);
}

TEST_F(RasterDriverTest, LowResolutionsRepeatPixels) {
  struct Case {
    float dpi;
    int repeat;
  };
  for (const Case c : {Case{90, 2}, Case{120, 1}, Case{180, 1}, Case{60, 3}, Case{400, 1}}) {
    SpoolJob job = ColourJob();
    job.xResolution = c.dpi;
    job.yResolution = c.dpi;
    ProbeDriver driver;
    Write(job);
    ASSERT_EQ(driver.InitializePrint(&job_, nullptr), 1) << c.dpi;
    EXPECT_EQ(driver.repeatX_, c.repeat) << c.dpi;
    EXPECT_EQ(driver.repeatY_, c.repeat) << c.dpi;
  }
}

TEST_F(RasterDriverTest, NegativePageLengthMeansTheWholeMedia) {
  SpoolJob job = ColourJob();
  job.pageLength = -2.0f;
  ASSERT_EQ(Start(job), 1);
  EXPECT_EQ(driver_.pageLength_, 0);
}

TEST_F(RasterDriverTest, LeadingRecord21IsSkipped) {
  SpoolJob job = ColourJob();
  job.record21 = std::vector<std::uint8_t>(10, 0x30);  // would read as code 48 if not skipped
  hostkit::BuiltJob built;
  Write(job, &built);
  ASSERT_EQ(driver_.InitializePrint(&job_, nullptr), 1) << LastFailure();
  EXPECT_EQ(built.layout.colourList, built.layout.record21 + 14);
  EXPECT_EQ(driver_.recordPos_, built.layout.colourList + 2 + 36 * 4);
}

TEST_F(RasterDriverTest, ColourNamesGoToThePlanesOfThePrintOrder) {
  SpoolJob job = ColourJob();  // single-colour ribbons, YMCK: positions 0..3 -> planes 2, 1, 0, 3
  ASSERT_EQ(Start(job), 1);
  const PlaneRecord* planes = driver_.settings_.planes;
  EXPECT_STREQ(planes[2].name, "Cyan");
  EXPECT_EQ(planes[2].order, 0);
  EXPECT_STREQ(planes[1].name, "Magenta");
  EXPECT_STREQ(planes[0].name, "Yellow");
  EXPECT_STREQ(planes[3].name, "Black");
  EXPECT_EQ(planes[3].order, 3);
}

TEST_F(RasterDriverTest, EmptyColourListStartsAndTouchesNoPlane) {
  ASSERT_EQ(Start(ColourJob({})), 1) << LastFailure();
  for (const PlaneRecord& plane : driver_.settings_.planes) EXPECT_EQ(plane.name[0], '\0');
}

TEST_F(RasterDriverTest, MissingColourListFailsAndClosesTheReader) {
  hostkit::BuiltJob built;
  ASSERT_EQ(hostkit::BuildSpoolJob(ColourJob(), &built), "");
  built.spool[built.layout.colourList] = 31;
  ASSERT_EQ(hostkit::WriteBuiltJob(built, job_.spoolPath), "");
  EXPECT_EQ(driver_.InitializePrint(&job_, nullptr), 0);
  EXPECT_NE(std::string(LastFailure()).find("colour list"), std::string::npos) << LastFailure();
  EXPECT_FALSE(driver_.spool_->IsOpen());
  EXPECT_EQ(driver_.state(), ARasterDriver::JobState::kIdle);
}

TEST_F(RasterDriverTest, HostileHeadersFailTheStartWithAReason) {
  struct Case {
    const char* name;
    void (*damage)(SpoolJob&);
    const char* reason;
  };
  const Case cases[] = {
      {"zero resolution", [](SpoolJob& j) { j.xResolution = 0; }, "X resolution"},
      {"negative resolution", [](SpoolJob& j) { j.yResolution = -180; }, "Y resolution"},
      {"NaN resolution", [](SpoolJob& j) { j.xResolution = std::nanf(""); }, "X resolution"},
      {"tiny resolution", [](SpoolJob& j) { j.xResolution = 1e-30f; }, "too low"},
      {"huge margin", [](SpoolJob& j) { j.leftMargin = 1e12; }, "left margin"},
      {"negative gap", [](SpoolJob& j) { j.copyGap = -1.0; }, "gap"},
  };
  for (const Case& c : cases) {
    SpoolJob job = ColourJob();
    c.damage(job);
    ProbeDriver driver;
    Write(job);
    EXPECT_EQ(driver.InitializePrint(&job_, nullptr), 0) << c.name;
    EXPECT_NE(std::string(LastFailure()).find(c.reason), std::string::npos) << c.name << ": " << LastFailure();
    EXPECT_FALSE(driver.spool_->IsOpen()) << c.name;
  }
}

TEST_F(RasterDriverTest, DeviceTextWithoutRoomForItsTerminatorFailsTheStart) {
  hostkit::BuiltJob built;
  ASSERT_EQ(hostkit::BuildSpoolJob(ColourJob(), &built), "");
  std::memset(&built.spool[hostkit::header::kThirdText], 'x', 128);
  ASSERT_EQ(hostkit::WriteBuiltJob(built, job_.spoolPath), "");
  EXPECT_EQ(driver_.InitializePrint(&job_, nullptr), 0);
  EXPECT_NE(std::string(LastFailure()).find("device text 3"), std::string::npos) << LastFailure();
}

TEST_F(RasterDriverTest, UnopenableSpoolFailsTheStart) {
  EXPECT_EQ(driver_.InitializePrint(&job_, nullptr), 0);
  EXPECT_NE(std::string(LastFailure()).find("job.spl"), std::string::npos) << LastFailure();
  EXPECT_FALSE(Exists(job_.spoolPath)) << "a read-only open must not create the spool file";
}

TEST_F(RasterDriverTest, ResumeWithoutBitOneDoesNothing) {
  ASSERT_EQ(Start(ColourJob()), 1);
  EXPECT_EQ(driver_.ResumePrint(0, 0, 0, 0), 1);
  EXPECT_EQ(driver_.ResumePrint(0, 0, 0, 1), 1);
  EXPECT_FALSE(Exists(job_.outputPath));
}

TEST_F(RasterDriverTest, IndexWithoutPageDataFailsTheFirstStepAndLaterStepsReturnZero) {
  SpoolJob job = ColourJob({});  // no images: the index ends at once
  ASSERT_EQ(Start(job), 1) << LastFailure();
  EXPECT_EQ(driver_.ResumePrint(0, 0, 0, 2), 0);
  EXPECT_NE(std::string(LastFailure()).find("record code 12"), std::string::npos) << LastFailure();
  EXPECT_EQ(driver_.state(), ARasterDriver::JobState::kFailed);
  EXPECT_FALSE(driver_.spool_->IsOpen());
  EXPECT_EQ(driver_.ResumePrint(0, 0, 0, 2), 0);
}

SpoolJob RasterFileJob(int images) {
  SpoolJob job = ColourJob({"Black"});
  job.placement = hostkit::ImagePlacement::kRasterFiles;
  job.images.clear();
  for (int i = 0; i < images; ++i) {
    hostkit::Image image;
    image.cells[hostkit::kMain] = hostkit::FilledCell(8, 2, {0});
    job.images.push_back(image);
  }
  return job;
}

TEST_F(RasterDriverTest, IndexWalkOpensEachRasterFileAndEndsTheJob) {
  SpoolJob job = RasterFileJob(2);
  job.rasterFileNames = {"sub\\page1.dat", "page2.dat"};
  ASSERT_EQ(Start(job), 1) << LastFailure();

  // The first step meets the first index entry and opens its raster file.
  ASSERT_EQ(driver_.ResumePrint(0, 0, 0, 2), 1) << LastFailure();
  EXPECT_EQ(driver_.settings_.inRasterFile, 1);
  EXPECT_EQ(driver_.recordPos_, 16);
  char path[512];
  ASSERT_TRUE(driver_.spool_->GetFilePath(path));
  EXPECT_EQ(std::string(path), dir_ / "page1.dat");

  // Leaving it moves on to the next entry, then to the end of the index.
  ASSERT_EQ(driver_.ReturnToSpoolIndex(), 1) << LastFailure();
  ASSERT_TRUE(driver_.spool_->GetFilePath(path));
  EXPECT_EQ(std::string(path), dir_ / "page2.dat");
  ASSERT_EQ(driver_.ReturnToSpoolIndex(), 1) << LastFailure();
  EXPECT_EQ(driver_.state(), ARasterDriver::JobState::kEnded);
  EXPECT_EQ(job_.promptMode, -1);
  EXPECT_FALSE(driver_.spool_->IsOpen());
  EXPECT_EQ(driver_.ResumePrint(0, 0, 0, 2), 0);
}

TEST_F(RasterDriverTest, MissingRasterFileFailsTheStepNamingIt) {
  ASSERT_EQ(Start(RasterFileJob(1)), 1);
  ASSERT_EQ(::unlink((dir_ / "page1.dat").c_str()), 0);
  EXPECT_EQ(driver_.ResumePrint(0, 0, 0, 2), 0);
  EXPECT_NE(std::string(LastFailure()).find("page1.dat"), std::string::npos) << LastFailure();
}

TEST_F(RasterDriverTest, RasterFileWithoutPrologueFailsTheStep) {
  hostkit::BuiltJob built;
  ASSERT_EQ(hostkit::BuildSpoolJob(RasterFileJob(1), &built), "");
  built.rasterFiles[0].bytes[0] = 25;
  ASSERT_EQ(hostkit::WriteBuiltJob(built, job_.spoolPath), "");
  ASSERT_EQ(driver_.InitializePrint(&job_, nullptr), 1);
  EXPECT_EQ(driver_.ResumePrint(0, 0, 0, 2), 0);
  EXPECT_NE(std::string(LastFailure()).find("prologue"), std::string::npos) << LastFailure();
}

TEST_F(RasterDriverTest, RasterFileNameLengthOutsideItsBufferFailsTheStep) {
  hostkit::BuiltJob built;
  ASSERT_EQ(hostkit::BuildSpoolJob(RasterFileJob(1), &built), "");
  built.spool[built.layout.rasterEntries[0] + 1] = 0x80;  // -128
  ASSERT_EQ(hostkit::WriteBuiltJob(built, job_.spoolPath), "");
  ASSERT_EQ(driver_.InitializePrint(&job_, nullptr), 1);
  EXPECT_EQ(driver_.ResumePrint(0, 0, 0, 2), 0);
  EXPECT_NE(std::string(LastFailure()).find("1..127"), std::string::npos) << LastFailure();
}

TEST_F(RasterDriverTest, SpoolPathWithoutDirectoryFindsRasterFilesInTheCurrentDirectory) {
  char cwd[4096];
  ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(::chdir(dir_.path().c_str()), 0);
  SetPath(job_.spoolPath, "job.spl");
  const bool started = Start(RasterFileJob(1)) == 1;
  const int step = driver_.ResumePrint(0, 0, 0, 2);
  ASSERT_EQ(::chdir(cwd), 0);
  ASSERT_TRUE(started) << LastFailure();
  EXPECT_EQ(step, 1) << LastFailure();
  EXPECT_EQ(driver_.settings_.inRasterFile, 1);
}

TEST_F(RasterDriverTest, AbortEndsAStartedJob) {
  ASSERT_EQ(Start(ColourJob()), 1);
  EXPECT_EQ(driver_.AbortPrint(), 1) << LastFailure();
  EXPECT_EQ(job_.promptMode, -1);
  EXPECT_EQ(driver_.state(), ARasterDriver::JobState::kAborted);
  EXPECT_FALSE(driver_.spool_->IsOpen());
  EXPECT_EQ(driver_.ResumePrint(0, 0, 0, 2), 0);
}

TEST_F(RasterDriverTest, AbortAfterAStartThatNeverReachedTheDeviceWritesNothing) {
  EXPECT_EQ(driver_.InitializePrint(&job_, nullptr), 0);  // no spool file
  EXPECT_EQ(driver_.AbortPrint(), 0);
  EXPECT_FALSE(Exists(job_.outputPath));
}

TEST(RasterDriver, FreshPc50DriverAnswersAsThePc50) {
  APC50Driver driver;
  EXPECT_EQ(driver.HasControlPanel(), 0);
  EXPECT_EQ(driver.HasDriverOption(), 1);
  EXPECT_EQ(driver.SupportSeparation(), 0);
  EXPECT_EQ(driver.SupportCMYKPage(), 1);
  EXPECT_FLOAT_EQ(driver.GetVersion(), 1.0f);
  EXPECT_EQ(driver.GetRowNumber(), 17);
  char name[64] = {};
  EXPECT_EQ(driver.GetPrinterName(name, nullptr), 1);
  EXPECT_STREQ(name, "PC-50 Thermal Printer");
  char display[256] = "host text";
  char block[256] = {};
  EXPECT_EQ(driver.PutPPDDisplays(display, block), 1);
  EXPECT_STREQ(display, "Print Order:0,YMCK,CMYK;");
  // Without a job there is nowhere to store job file names.
  EXPECT_EQ(driver.SetJobFileName("a", "b"), 0);
}

TEST(RasterDriver, DriverWithoutDeviceAnswersTheDefaults) {
  APC50Driver driver;
  driver.SetDevice(nullptr);
  int status = 0;
  char text[256] = {};
  EXPECT_EQ(driver.DoInitStatusCheck(status, text), 3);
  EXPECT_EQ(driver.GetStatus(status, text), 3);
  EXPECT_EQ(driver.FindColorModel("CMYK"), -1);
  EXPECT_EQ(driver.GetDefaultColorIndex(text, nullptr), -1);
  EXPECT_EQ(driver.GetRowNumber(), -1);
  EXPECT_EQ(driver.GetVersion(), 0.0f);
  EXPECT_EQ(driver.GetPrinterName(text, nullptr), 0);
  EXPECT_EQ(driver.PutPPDDisplays(text, text), 0);
  EXPECT_EQ(driver.EnumColorModel(0, &status, text, nullptr), 0);
  JobContext job;
  InitJobContext(&job);
  EXPECT_EQ(driver.InitializePrint(&job, nullptr), 0);
  EXPECT_EQ(driver.ResumePrint(0, 0, 0, 2), 0);
  EXPECT_EQ(driver.AbortPrint(), 0);
}

TEST(RasterDriver, DriverOptionActions) {
  APC50Driver driver;
  std::uint8_t block[256];
  std::memset(block, 7, sizeof block);
  EXPECT_EQ(driver.DoDriverOption(block, 2, nullptr, nullptr, nullptr), 1);
  EXPECT_EQ(block[0], 20);
  EXPECT_EQ(block[1], 1);
  EXPECT_EQ(block[2], 0);
  EXPECT_EQ(block[3], 7);
  block[1] = 0;
  EXPECT_EQ(driver.DoDriverOption(block, 4, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(block[1], 0);
}

// A driver with only the pure operations answers the base results.
class MinimalDriver : public ABasePrinterDriver {
 public:
  int InitializePrint(JobContext*, ABasePort*) override { return 0; }
  int ResumePrint(int, int, int, int) override { return 0; }
  int EnumColorModel(int, int*, char*, const DrvInfo*) override { return 0; }
  int FindColorModel(const char*) override { return 0; }
  int GetColorList(int, ColorList*) override { return 0; }
};

TEST(RasterDriver, BaseClassAnswersTheBaseResults) {
  MinimalDriver driver;
  ABasePrinterDriver& base = driver;
  int status = 0;
  char text[64] = {};
  EXPECT_EQ(base.AbortPrint(), 1);
  EXPECT_EQ(base.SupportSeparation(), 1);
  EXPECT_EQ(base.SupportCMYKPage(), 1);
  EXPECT_EQ(base.SetJobFileName("a", "b"), 1);
  EXPECT_EQ(base.GetRowNumber(), -1);
  EXPECT_EQ(base.GetDefaultColorIndex(text, nullptr), -1);
  EXPECT_FLOAT_EQ(base.GetVersion(), 1.0f);
  EXPECT_EQ(base.HasControlPanel(), 0);
  EXPECT_EQ(base.DoControlPanel(nullptr, 0, nullptr, nullptr), 0);
  EXPECT_EQ(base.HasDriverOption(), 0);
  EXPECT_EQ(base.DoDriverOption(nullptr, 2, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(base.GetPrinterName(text, nullptr), 0);
  EXPECT_EQ(base.DecodePPDString(text, text, nullptr), 0);
  EXPECT_EQ(base.PutPPDDisplays(text, text), 0);
  EXPECT_EQ(base.GetDefaultScreening(nullptr, nullptr), 0);
  EXPECT_EQ(base.DoInitStatusCheck(status, text), 0);
  EXPECT_EQ(base.GetStatus(status, text), 0);
  MinimalDriver other;
  other = driver;  // assignment copies nothing and keeps both usable
  EXPECT_EQ(other.AbortPrint(), 1);
}

}  // namespace
}  // namespace pc50
