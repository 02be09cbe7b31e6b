#include <gtest/gtest.h>

#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "host/drv_info_builder.h"
#include "pc50/pc50.h"
#include "pc50/pc50_ext.h"
#include "spool/temp_dir.h"
#include "spool_writer.h"

namespace {

namespace pji = pc50::print_job_info;
namespace dsi = pc50::driver_setup_info;
using pc50::testing::Exists;
using pc50::testing::TempDir;

// The host's PrintJobInfo, as bytes.
class JobInfo {
 public:
  JobInfo() : bytes_(2048, 0) {}
  PrintJobInfo* get() { return reinterpret_cast<PrintJobInfo*>(bytes_.data()); }

  void SetText(std::size_t offset, const std::string& text) {
    std::memcpy(&bytes_[offset], text.c_str(), text.size() + 1);
  }
  void SetI16(std::size_t offset, std::int16_t v) { std::memcpy(&bytes_[offset], &v, 2); }
  void SetI32(std::size_t offset, std::int32_t v) { std::memcpy(&bytes_[offset], &v, 4); }
  std::int16_t I16(std::size_t offset) const {
    std::int16_t v;
    std::memcpy(&v, &bytes_[offset], 2);
    return v;
  }
  std::int32_t I32(std::size_t offset) const {
    std::int32_t v;
    std::memcpy(&v, &bytes_[offset], 4);
    return v;
  }
  std::string Text(std::size_t offset) const { return std::string(&bytes_[offset]); }
  const std::vector<char>& bytes() const { return bytes_; }
  std::vector<char>& bytes() { return bytes_; }

 private:
  std::vector<char> bytes_;
};

class ProceduralApiTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.ok()); }

  // A spool job with one inline image; returns the host record for it.
  JobInfo MakeJob(const std::string& name, int copies = 1) {
    pc50::hostkit::SpoolJob job;
    job.colours = {"Black"};
    pc50::hostkit::Image image;
    image.cells[pc50::hostkit::kMain] = pc50::hostkit::FilledCell(16, 4, {0});
    job.images.push_back(image);
    const std::string spool = dir_ / (name + ".spl");
    EXPECT_EQ(pc50::hostkit::WriteSpoolJob(job, spool), "");
    JobInfo info;
    info.SetText(pji::kSpoolPath, spool);
    info.SetText(pji::kOutputPath, dir_ / (name + ".prn"));
    info.SetI16(pji::kPromptMode, 4);
    info.SetI16(pji::kCopies, static_cast<std::int16_t>(copies));
    info.SetI32(pji::kBytesConsumed, 77);
    info.SetI32(pji::kBytesProduced, 55);
    return info;
  }

  TempDir dir_;
};

TEST_F(ProceduralApiTest, JobCallsWithoutAJobReturnZeroAndLeaveTheRecordAlone) {
  JobInfo info;
  info.SetI16(pji::kPromptMode, 4);
  const std::vector<char> before = info.bytes();
  EXPECT_EQ(RESUMEPRINT(info.get()), 0);
  EXPECT_EQ(ABORTPRINT(info.get()), 0);
  EXPECT_EQ(SETJOBFILENAME("a", "b"), 0);
  EXPECT_EQ(info.bytes(), before);
}

TEST_F(ProceduralApiTest, UnopenableSpoolFailsTheStartAndGivesTheHostItsValuesBack) {
  JobInfo info = MakeJob("job");
  info.SetText(pji::kSpoolPath, dir_ / "missing.spl");
  info.SetText(pji::kStatusText, "stale");
  info.SetI16(pji::kStatusCode, 9);
  EXPECT_EQ(INITIALIZEPRINT(info.get()), 0);
  EXPECT_EQ(info.Text(pji::kStatusText), "");
  EXPECT_EQ(info.I16(pji::kStatusCode), 0);
  EXPECT_EQ(info.I16(pji::kPromptMode), 4);
  EXPECT_EQ(info.I32(pji::kBytesConsumed), 77);
  EXPECT_EQ(info.I32(pji::kBytesProduced), 55);
  EXPECT_NE(std::string(pc50_LastFailure()).find("missing.spl"), std::string::npos) << pc50_LastFailure();
  EXPECT_EQ(RESUMEPRINT(info.get()), 0);
}

TEST_F(ProceduralApiTest, StartThenAbortEmptiesTheSlots) {
  JobInfo info = MakeJob("job");
  ASSERT_EQ(INITIALIZEPRINT(info.get()), 1) << pc50_LastFailure();
  EXPECT_EQ(info.I32(pji::kBytesProduced), 0);
  EXPECT_EQ(SETJOBFILENAME("first", "second"), 1);
  EXPECT_EQ(ABORTPRINT(info.get()), 1) << pc50_LastFailure();
  EXPECT_EQ(info.I16(pji::kPromptMode), -1);
  EXPECT_EQ(RESUMEPRINT(info.get()), 0);
  EXPECT_EQ(SETJOBFILENAME("first", "second"), 0);
}

// The second start is refused without touching its record or the running
// job, which still prints and aborts; under ASan nothing of either leaks.
TEST_F(ProceduralApiTest, SecondStartOnARunningThreadIsRefusedAndTheFirstJobGoesOn) {
  JobInfo first = MakeJob("first");
  ASSERT_EQ(INITIALIZEPRINT(first.get()), 1) << pc50_LastFailure();
  JobInfo second = MakeJob("second");
  const std::vector<char> before = second.bytes();
  EXPECT_EQ(INITIALIZEPRINT(second.get()), 0);
  EXPECT_NE(std::string(pc50_LastFailure()).find("already running"), std::string::npos) << pc50_LastFailure();
  EXPECT_EQ(second.bytes(), before);
  EXPECT_FALSE(Exists(dir_ / "second.prn"));
  int steps = 0;
  while (first.I16(pji::kPromptMode) != -1 && steps++ < 100) ASSERT_EQ(RESUMEPRINT(first.get()), 1) << pc50_LastFailure();
  EXPECT_EQ(first.I16(pji::kPromptMode), -1);
  EXPECT_EQ(ABORTPRINT(first.get()), 1) << pc50_LastFailure();
  EXPECT_EQ(INITIALIZEPRINT(second.get()), 1) << pc50_LastFailure();
  EXPECT_EQ(ABORTPRINT(second.get()), 1) << pc50_LastFailure();
}

TEST_F(ProceduralApiTest, PathsMustEndWithinTheirFields) {
  JobInfo info = MakeJob("job");
  std::memset(&info.bytes()[pji::kSpoolPath], 'a', pji::kParentWindow);  // no terminator before 260
  EXPECT_EQ(INITIALIZEPRINT(info.get()), 0);
  EXPECT_NE(std::string(pc50_LastFailure()).find("spool path"), std::string::npos);

  info = MakeJob("job");
  std::memset(&info.bytes()[pji::kOutputPath], 'b', pji::kBytesConsumed - pji::kOutputPath);
  EXPECT_EQ(INITIALIZEPRINT(info.get()), 0);
  EXPECT_NE(std::string(pc50_LastFailure()).find("output path"), std::string::npos);
}

TEST_F(ProceduralApiTest, LongJobFileNamesAreRefused) {
  JobInfo info = MakeJob("job");
  ASSERT_EQ(INITIALIZEPRINT(info.get()), 1);
  EXPECT_EQ(SETJOBFILENAME(std::string(511, 'n').c_str(), "b"), 1);
  EXPECT_EQ(SETJOBFILENAME(std::string(512, 'n').c_str(), "b"), 0);
  EXPECT_EQ(SETJOBFILENAME("a", nullptr), 0);
  ABORTPRINT(info.get());
}

TEST_F(ProceduralApiTest, ThreadsRunIndependentJobs) {
  JobInfo first = MakeJob("first");
  JobInfo second = MakeJob("second");
  std::promise<void> bothStarted, firstAborted;
  std::shared_future<void> started = bothStarted.get_future().share();
  int firstStart = 0, secondStart = 0, secondAlive = 0, secondAbort = 0;
  std::thread b;
  std::thread a([&] {
    firstStart = INITIALIZEPRINT(first.get());
    b = std::thread([&] {
      secondStart = INITIALIZEPRINT(second.get());
      bothStarted.set_value();
      firstAborted.get_future().wait();
      secondAlive = SETJOBFILENAME("x", "y");  // the other thread's abort left this job alone
      secondAbort = ABORTPRINT(second.get());
    });
    started.wait();
    ABORTPRINT(first.get());
    firstAborted.set_value();
  });
  a.join();
  b.join();
  EXPECT_EQ(firstStart, 1);
  EXPECT_EQ(secondStart, 1);
  EXPECT_EQ(secondAlive, 1);
  EXPECT_EQ(secondAbort, 1);
}

TEST(ProceduralQuestions, AnswerWithoutAJob) {
  EXPECT_EQ(HASCONFIGDIALOG(), 1);
  EXPECT_EQ(GetRowNumber(), 17);
  char display[256] = {};
  char block[256] = {};
  EXPECT_EQ(PutPPDDisplays(display, block), 1);
  EXPECT_STREQ(display, "Print Order:0,YMCK,CMYK;");
}

TEST(ProceduralQuestions, ActionTwoResetsTheBlock) {
  std::vector<char> setup(512, 9);
  EXPECT_EQ(PopUpDriverOptionDialog(nullptr, reinterpret_cast<DriverSetupInfo*>(setup.data()), 2), 1);
  EXPECT_EQ(setup[0], 20);
  EXPECT_EQ(setup[1], 1);
  EXPECT_EQ(setup[2], 0);
  EXPECT_EQ(setup[3], 9);
  EXPECT_EQ(PopUpDriverOptionDialog(nullptr, reinterpret_cast<DriverSetupInfo*>(setup.data()), 7), 0);
}

TEST(ProceduralQuestions, DecodeStringKeepsTheHostTextAfterByte192) {
  std::vector<char> setup(512, 0);
  std::memcpy(&setup[dsi::kText], "host text", 10);
  std::string text = "DriverOptionBinary=";
  for (int i = 0; i < 200; ++i) text += "15";  // every byte 0x15
  EXPECT_EQ(DECODESTRING(text.data(), reinterpret_cast<DriverSetupInfo*>(setup.data())), 1);
  EXPECT_EQ(setup[0], 0x15);
  EXPECT_EQ(setup[191], 0x15);
  EXPECT_STREQ(&setup[dsi::kText], "host text");

  std::string decimal = "DriverOption0=0 DriverOption1=1";
  EXPECT_EQ(DECODESTRING(decimal.data(), reinterpret_cast<DriverSetupInfo*>(setup.data())), 1);
  EXPECT_EQ(setup[0], 0x15);
  EXPECT_EQ(setup[1], 0);
  EXPECT_EQ(setup[2], 1);
}

TEST(ProceduralQuestions, DrvInfoTakesSixtyCharactersAndTheTwoValues) {
  std::vector<char> setup(512, 0);
  std::memset(&setup[dsi::kText], 'x', 70);
  const std::int16_t v1 = -3, v2 = 250;
  std::memcpy(&setup[dsi::kValue1], &v1, 2);
  std::memcpy(&setup[dsi::kValue2], &v2, 2);
  const DrvInfo info = pc50::MakeDrvInfo(reinterpret_cast<DriverSetupInfo*>(setup.data()));
  EXPECT_EQ(std::string(info.text, 60), std::string(60, 'x'));
  EXPECT_EQ(info.value1, -3.0);
  EXPECT_EQ(info.value2, 250.0);
  for (char c : info.reserved1) EXPECT_EQ(c, 0);
}

}  // namespace
