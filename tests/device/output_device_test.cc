#include "device/output_device.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/diagnostics.h"
#include "platform/platform.h"

namespace pc50 {
namespace {

// A device with the base behaviour that records the bracketing calls PutRow
// and CloseOutput make. failOn names a call that answers 0.
class RecordingDevice : public ABaseOutputDevice {
 public:
  using ABaseOutputDevice::pagePending;
  using ABaseOutputDevice::planeOrder;
  using ABaseOutputDevice::rowCount;
  using ABaseOutputDevice::rowsPerPlane;

  std::vector<std::string> calls;
  std::string failOn;

  void SetDefaultResolution() override {
    nativeXResolution = 300.0f;
    nativeYResolution = 150.0f;
  }
  int GetRowNumber() override { return 0; }
  float GetVersion() override { return 0.0f; }
  int GetPrinterName(char*, ABasePort*) override { return 0; }
  int GetColorList(int, ColorList*) override { return 0; }
  int SendRow(int plane, int, const std::uint8_t*) override { return Record("SendRow " + std::to_string(plane)); }
  int AbortOutput() override { return 0; }
  int QueryPlane(int) override { return 0; }
  int StartJob(int, int, int) override { return 0; }
  int EndJob() override { return 0; }
  float SetXResolution(float dpi) override { return xResolution = dpi; }
  float SetYResolution(float dpi) override { return yResolution = dpi; }
  // Knows one colour, "Gold", at index 9.
  int LookupColor(const char* name, char* displayName) override {
    if (std::strcmp(name, "gold") != 0) return -1;
    std::strcpy(displayName, "Gold");
    return 9;
  }
  int DecodeDriverOption(const char*, std::uint8_t*, DrvInfo*) override { return 1; }

  int StartPage() override { return Record("StartPage"); }
  int EndPage() override {
    ABaseOutputDevice::EndPage();
    return Record("EndPage");
  }
  int StartPlane(int plane) override { return Record("StartPlane " + std::to_string(plane)); }
  int EndPlane(int plane) override {
    ABaseOutputDevice::EndPlane(plane);
    return Record("EndPlane " + std::to_string(plane));
  }
  int PreparePlane(int plane) override { return Record("PreparePlane " + std::to_string(plane)); }
  int FinishOutput() override { return Record("FinishOutput"); }

 private:
  int Record(const std::string& call) {
    calls.push_back(call);
    return call == failOn ? 0 : 1;
  }
};

class OutputDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitJobContext(&job);
    settings = std::make_unique<SettingsBlock>();
    device.Attach(&job, settings.get());
    ClearFailure();
  }
  void Enable(std::initializer_list<int> planes, int lastPlane) {
    for (int p : planes) settings->planes[p].enabled = 1;
    settings->lastPlane = lastPlane;
  }
  int Put(int* plane) {
    static const std::uint8_t row[4] = {1, 2, 3, 4};
    return device.PutRow(plane, sizeof row, row);
  }
  std::vector<std::string> TakeCalls() {
    std::vector<std::string> calls;
    calls.swap(device.calls);
    return calls;
  }

  JobContext job;
  std::unique_ptr<SettingsBlock> settings;
  RecordingDevice device;
};

using Calls = std::vector<std::string>;

// ---- PutRow and SelectPlane ---------------------------------------------------

TEST_F(OutputDeviceTest, RowsPerPlaneZeroKeepsThePlaneOpen) {
  Enable({0, 1}, 1);
  int plane = 1;
  ASSERT_EQ(Put(&plane), 1);
  ASSERT_EQ(Put(&plane), 1);
  EXPECT_EQ(plane, 1);
  EXPECT_EQ(device.GetRowCount(), 2);
  EXPECT_EQ(TakeCalls(), (Calls{"StartPage", "StartPlane 1", "SendRow 1", "SendRow 1"}));

  // Once the driver ends the plane, the next row starts a plane but no page.
  device.EndPlane(1);
  ASSERT_EQ(Put(&plane), 1);
  EXPECT_EQ(TakeCalls(), (Calls{"EndPlane 1", "StartPlane 1", "SendRow 1"}));
}

TEST_F(OutputDeviceTest, RowsPerPlaneOneSkipsDisabledPlanesAndWrapsThePage) {
  Enable({0, 2, 3, 4}, 3);  // plane 4 lies past the last plane and is never used
  device.rowsPerPlane = 1;
  int plane = 0;
  for (int i = 0; i < 4; ++i) ASSERT_EQ(Put(&plane), 1) << i;
  EXPECT_EQ(plane, 2);
  EXPECT_EQ(device.GetRowCount(), 0);
  EXPECT_EQ(TakeCalls(), (Calls{"StartPage", "StartPlane 0", "SendRow 0", "EndPlane 0",  //
                                "StartPlane 2", "SendRow 2", "EndPlane 2",                //
                                "StartPlane 3", "SendRow 3", "EndPlane 3", "EndPage",     //
                                "StartPage", "StartPlane 0", "SendRow 0", "EndPlane 0"}));
}

TEST_F(OutputDeviceTest, WrapToADisabledPlaneZeroContinuesToTheFirstEnabledPlane) {
  Enable({2}, 2);
  device.rowsPerPlane = 1;
  int plane = 2;
  ASSERT_EQ(Put(&plane), 1);
  EXPECT_EQ(plane, 2);
  EXPECT_EQ(device.pagePending, 1);
  EXPECT_EQ(TakeCalls(), (Calls{"StartPage", "StartPlane 2", "SendRow 2", "EndPlane 2", "EndPage"}));
}

TEST_F(OutputDeviceTest, NoEnabledPlaneFailsTheRowInsteadOfLooping) {
  settings->lastPlane = 3;
  device.rowsPerPlane = 1;
  int plane = 0;
  EXPECT_EQ(Put(&plane), 0);
  EXPECT_NE(std::string(LastFailure()).find("no enabled plane"), std::string::npos);
  EXPECT_EQ(plane, 0);
  EXPECT_EQ(TakeCalls(), (Calls{"StartPage", "StartPlane 0", "SendRow 0", "EndPlane 0"}));
}

TEST_F(OutputDeviceTest, ALastPlaneBeyondThePlaneTableStaysInside) {
  Enable({0}, 100000);
  device.rowsPerPlane = 1;
  int plane = 0;
  ASSERT_EQ(Put(&plane), 1);
  EXPECT_EQ(plane, 0);
  EXPECT_EQ(TakeCalls(), (Calls{"StartPage", "StartPlane 0", "SendRow 0", "EndPlane 0", "EndPage"}));
}

TEST_F(OutputDeviceTest, SeparationsRouteRowsToTheLastPrintPosition) {
  Enable({0, 1}, 1);
  settings->separations = 1;
  settings->separationsOnLastPosition = 1;
  device.planeOrder[3] = 7;
  device.rowsPerPlane = 1;
  int plane = 1;
  ASSERT_EQ(Put(&plane), 1);
  ASSERT_EQ(Put(&plane), 1);
  EXPECT_EQ(plane, 1);
  EXPECT_EQ(TakeCalls(), (Calls{"StartPage", "StartPlane 7", "SendRow 7", "EndPlane 7", "EndPage",  //
                                "StartPage", "StartPlane 7", "SendRow 7", "EndPlane 7", "EndPage"}));

  device.SelectPlane(0);
  EXPECT_EQ(TakeCalls(), (Calls{"PreparePlane 7"}));
}

TEST_F(OutputDeviceTest, SeparationsWithoutLastPositionUseTheGivenPlane) {
  settings->separations = 1;
  device.planeOrder[3] = 7;
  int plane = 2;
  ASSERT_EQ(Put(&plane), 1);
  ASSERT_EQ(Put(&plane), 1);
  EXPECT_EQ(TakeCalls(), (Calls{"StartPage", "StartPlane 2", "SendRow 2", "SendRow 2"}));
  device.SelectPlane(2);
  EXPECT_EQ(TakeCalls(), (Calls{"PreparePlane 2"}));
}

TEST_F(OutputDeviceTest, ARefusedCallFailsTheRowAtOnce) {
  Enable({0, 1}, 1);
  device.rowsPerPlane = 1;
  for (const char* refused : {"StartPage", "StartPlane 0", "SendRow 0", "EndPlane 0"}) {
    SCOPED_TRACE(refused);
    RecordingDevice fresh;
    fresh.Attach(&job, settings.get());
    fresh.rowsPerPlane = 1;
    fresh.failOn = refused;
    int plane = 0;
    EXPECT_EQ(fresh.PutRow(&plane, 1, reinterpret_cast<const std::uint8_t*>("x")), 0);
    EXPECT_EQ(fresh.calls.back(), refused);
    EXPECT_EQ(plane, 0);
  }
}

// ---- Output -------------------------------------------------------------------

class FakePort : public ABasePort {
 public:
  std::vector<std::vector<std::uint8_t>> sends;
  std::vector<int> flags;
  int shortBy = 0;  // the next sends take this many bytes less

  int SendData(const void* data, int length, int flag) override {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    sends.emplace_back(bytes, bytes + length);
    flags.push_back(flag);
    return length - shortBy;
  }
};

class WriteOutputTest : public OutputDeviceTest {
 protected:
  void SetUp() override {
    OutputDeviceTest::SetUp();
    device.port = &port;
  }
  std::vector<std::uint8_t> Block(std::size_t size, std::uint8_t seed) {
    std::vector<std::uint8_t> block(size);
    for (std::size_t i = 0; i < size; ++i) block[i] = static_cast<std::uint8_t>(seed + i * 7);
    return block;
  }
  FakePort port;
};

constexpr int kThreshold = ABaseOutputDevice::kOutBufferThreshold;

TEST_F(WriteOutputTest, BlockAtTheThresholdIsBufferedUntilFlushed) {
  job.portFlag = 5;
  const auto block = Block(kThreshold, 1);
  EXPECT_EQ(device.WriteOutput(block.data(), kThreshold, 0), kThreshold);
  EXPECT_TRUE(port.sends.empty());
  EXPECT_EQ(device.WriteOutput(nullptr, 0, 1), 0);
  ASSERT_EQ(port.sends.size(), 1u);
  EXPECT_EQ(port.sends[0], block);
  EXPECT_EQ(port.flags[0], 5);
  // The buffer is empty now: a second flush sends nothing.
  EXPECT_EQ(device.WriteOutput(nullptr, 0, 1), 0);
  EXPECT_EQ(port.sends.size(), 1u);
}

TEST_F(WriteOutputTest, BlockOverTheThresholdGoesStraightThrough) {
  const auto small = Block(10, 2);
  const auto big = Block(kThreshold + 1, 3);
  EXPECT_EQ(device.WriteOutput(small.data(), 10, 0), 10);
  EXPECT_EQ(device.WriteOutput(big.data(), kThreshold + 1, 0), kThreshold + 1);
  // The buffered bytes go first so the order is kept.
  ASSERT_EQ(port.sends.size(), 2u);
  EXPECT_EQ(port.sends[0], small);
  EXPECT_EQ(port.sends[1], big);
}

TEST_F(WriteOutputTest, BufferIsSentWhenTheNextBlockWouldPassTheThreshold) {
  const auto first = Block(kThreshold - 100, 4);
  const auto second = Block(101, 5);
  EXPECT_EQ(device.WriteOutput(first.data(), static_cast<int>(first.size()), 0), kThreshold - 100);
  EXPECT_EQ(device.WriteOutput(second.data(), 101, 0), 101);
  ASSERT_EQ(port.sends.size(), 1u);
  EXPECT_EQ(port.sends[0], first);
  const auto tail = Block(3, 6);
  EXPECT_EQ(device.WriteOutput(tail.data(), 3, 1), 3);
  ASSERT_EQ(port.sends.size(), 3u);
  EXPECT_EQ(port.sends[1], second);
  EXPECT_EQ(port.sends[2], tail);
}

TEST_F(WriteOutputTest, WriteStringIsBuffered) {
  EXPECT_EQ(device.WriteString("\x1b" "E", 99), 2);
  EXPECT_TRUE(port.sends.empty());
  device.WriteOutput(nullptr, 0, 1);
  ASSERT_EQ(port.sends.size(), 1u);
  EXPECT_EQ(port.sends[0], (std::vector<std::uint8_t>{0x1b, 'E'}));
}

TEST_F(WriteOutputTest, ShortPortWritesFail) {
  const auto block = Block(20, 7);
  port.shortBy = 1;
  EXPECT_EQ(device.WriteOutput(block.data(), 20, 1), 0);
  EXPECT_NE(std::string(LastFailure()).find("port took 19 of 20"), std::string::npos);

  const auto big = Block(kThreshold + 1, 8);
  EXPECT_EQ(device.WriteOutput(big.data(), kThreshold + 1, 0), 0);

  // A buffer the port refuses on flush is not sent again.
  port.shortBy = 0;
  EXPECT_EQ(device.WriteOutput(block.data(), 20, 0), 20);
  port.shortBy = 1;
  EXPECT_EQ(device.WriteOutput(nullptr, 0, 1), 0);
  port.shortBy = 0;
  const std::size_t sends = port.sends.size();
  EXPECT_EQ(device.WriteOutput(nullptr, 0, 1), 0);
  EXPECT_EQ(port.sends.size(), sends);
}

TEST_F(WriteOutputTest, NegativeLengthIsRefused) {
  EXPECT_EQ(device.WriteOutput(reinterpret_cast<const std::uint8_t*>("x"), -1, 0), 0);
  EXPECT_EQ(device.WriteOutput(nullptr, 5, 0), 0);
  EXPECT_TRUE(port.sends.empty());
}

class WriteToFileTest : public OutputDeviceTest {
 protected:
  void SetUp() override {
    OutputDeviceTest::SetUp();
    path = (std::filesystem::temp_directory_path() /
            ("pc50_device_out_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name()))
               .string();
    std::filesystem::remove(path);
  }
  void TearDown() override {
    device.outputFile.Close();
    std::filesystem::remove(path);
  }
  std::string Contents() {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  int WriteText(const char* text) {
    return device.WriteOutput(reinterpret_cast<const std::uint8_t*>(text), static_cast<int>(std::strlen(text)), 0);
  }
  std::string path;
};

TEST_F(WriteToFileTest, WritesAtTheCurrentPositionAndCountsBytes) {
  ASSERT_NE(device.outputFile.Open(path.c_str(), 2), 0);
  job.bytesProduced = 0;
  EXPECT_EQ(WriteText("hello "), 6);
  EXPECT_EQ(WriteText("world"), 5);
  EXPECT_EQ(device.WriteOutput(nullptr, 0, 1), 0);
  EXPECT_EQ(job.bytesProduced, 11);
  device.outputFile.Close();
  EXPECT_EQ(Contents(), "hello world");
}

TEST_F(WriteToFileTest, CounterNeverWrapsPastTheInt32Range) {
  ASSERT_NE(device.outputFile.Open(path.c_str(), 2), 0);
  job.bytesProduced = INT32_MAX - 2;
  EXPECT_EQ(WriteText("ab"), 2);
  EXPECT_EQ(job.bytesProduced, INT32_MAX);
  EXPECT_EQ(WriteText("c"), 0);
  EXPECT_EQ(job.bytesProduced, INT32_MAX);
  EXPECT_NE(std::string(LastFailure()).find("2,147,483,647"), std::string::npos);
  device.outputFile.Close();
  EXPECT_EQ(Contents(), "ab");
}

TEST_F(WriteToFileTest, ClosedFileFailsAndCountsNothing) {
  EXPECT_EQ(WriteText("abc"), 0);
  EXPECT_EQ(job.bytesProduced, 0);
}

TEST_F(WriteToFileTest, StagedOutputIsCountedAtOnceAndReachesTheFileInBlocks) {
  ASSERT_NE(device.outputFile.Open(path.c_str(), 2), 0);
  job.bytesProduced = 0;
  device.stageFileOutput = 1;
  EXPECT_EQ(WriteText("hello "), 6);
  EXPECT_EQ(WriteText("world"), 5);
  EXPECT_EQ(job.bytesProduced, 11);
  EXPECT_EQ(Contents(), "");
  // A flushed write takes what is staged along, in order.
  EXPECT_EQ(device.WriteOutput(reinterpret_cast<const std::uint8_t*>("!"), 1, 1), 1);
  EXPECT_EQ(Contents(), "hello world!");
  EXPECT_EQ(job.bytesProduced, 12);
  // A block that fills the staging area pushes out what came before it.
  const std::string block(ABaseOutputDevice::kOutBufferThreshold - 3, 'x');
  EXPECT_EQ(WriteText("abcd"), 4);
  EXPECT_EQ(WriteText(block.c_str()), static_cast<int>(block.size()));
  EXPECT_EQ(Contents(), "hello world!abcd");
  EXPECT_EQ(device.FlushOutput(), 1);
  EXPECT_EQ(Contents(), "hello world!abcd" + block);
  EXPECT_EQ(job.bytesProduced, static_cast<int>(Contents().size()));
}

TEST_F(WriteToFileTest, StagedBlockTheFileRefusesIsTakenOffTheCount) {
  ASSERT_NE(device.outputFile.Open(path.c_str(), 2), 0);
  job.bytesProduced = 0;
  device.stageFileOutput = 1;
  EXPECT_EQ(WriteText("on disk "), 8);
  ASSERT_EQ(device.FlushOutput(), 1);
  EXPECT_EQ(WriteText("lost"), 4);
  EXPECT_EQ(job.bytesProduced, 12);
  platform::SetWriteLimitForTesting(2);
  EXPECT_EQ(device.FlushOutput(), 0);
  platform::SetWriteLimitForTesting(-1);
  EXPECT_EQ(job.bytesProduced, 8);
  EXPECT_NE(std::string(LastFailure()).find("disk full"), std::string::npos) << LastFailure();
  EXPECT_EQ(device.FlushOutput(), 1);  // nothing is left to write
}

// ---- Status and job ---------------------------------------------------------------

TEST_F(OutputDeviceTest, ProgressForPlanesInStepIsAPercentage) {
  device.rowsPerPlane = 1;
  device.ShowProgress(7);
  EXPECT_STREQ(job.statusText, "  7%");
  EXPECT_EQ(job.statusCode, 3);
  device.ShowProgress(150);
  EXPECT_STREQ(job.statusText, "100%");
  device.ShowProgress(-5);
  EXPECT_STREQ(job.statusText, " -5%");
}

TEST_F(OutputDeviceTest, ProgressForOnePlaneNamesItsColour) {
  settings->currentPlane = 4;
  std::strcpy(settings->planes[4].name, "gold");
  device.ShowProgress(42);
  EXPECT_STREQ(job.statusText, "Gold  42%");
  EXPECT_EQ(job.statusCode, 1);

  // A name the device does not know is shown as it is, and only its first
  // 32 characters are read.
  std::memset(settings->planes[4].name, 'S', sizeof settings->planes[4].name);
  device.ShowProgress(100);
  EXPECT_EQ(std::string(job.statusText), std::string(32, 'S') + " 100%");
}

TEST_F(OutputDeviceTest, StatusTextIsBoundedAndTheCodeIsSixteenBits) {
  const std::string longText(400, 'x');
  device.SetStatusText(0x12345, longText.c_str());
  EXPECT_EQ(std::string(job.statusText), std::string(255, 'x'));
  EXPECT_EQ(job.statusCode, 0x2345);
  device.SetStatusText(0xFFFF, "done");
  EXPECT_STREQ(job.statusText, "done");
  EXPECT_EQ(job.statusCode, -1);
}

TEST_F(OutputDeviceTest, CloseOutputFinishesUnlessAborting) {
  job.promptMode = 0;
  device.failOn = "FinishOutput";
  EXPECT_EQ(device.CloseOutput(), 0);
  EXPECT_EQ(job.promptMode, 0);
  device.failOn.clear();
  EXPECT_EQ(device.CloseOutput(), 1);
  EXPECT_EQ(job.promptMode, -1);
  EXPECT_EQ(TakeCalls(), (Calls{"FinishOutput", "FinishOutput"}));

  job.promptMode = 0;
  device.aborting = 1;
  EXPECT_EQ(device.CloseOutput(), 1);
  EXPECT_EQ(job.promptMode, -1);
  EXPECT_TRUE(TakeCalls().empty());
}

TEST_F(OutputDeviceTest, JobFileNamesNeedAJobAndMustFit) {
  RecordingDevice unattached;
  EXPECT_EQ(unattached.SetJobFileName("a", "b"), 0);
  EXPECT_NE(std::string(LastFailure()).find("no job"), std::string::npos);

  EXPECT_EQ(device.SetJobFileName("first", nullptr), 0);
  EXPECT_EQ(device.SetJobFileName("first", "second"), 1);
  EXPECT_STREQ(job.jobFileName1, "first");
  EXPECT_STREQ(job.jobFileName2, "second");

  const std::string fits(511, 'f');
  const std::string tooLong(512, 'g');
  EXPECT_EQ(device.SetJobFileName(fits.c_str(), "x"), 1);
  EXPECT_EQ(std::string(job.jobFileName1), fits);
  EXPECT_EQ(device.SetJobFileName("y", tooLong.c_str()), 0);
  EXPECT_EQ(std::string(job.jobFileName1), fits);  // nothing stored
  EXPECT_STREQ(job.jobFileName2, "x");
}

TEST_F(OutputDeviceTest, TestBitCountsFromTheLeastSignificantBit) {
  const std::uint8_t bits[2] = {0x01, 0x80};
  EXPECT_EQ(device.TestBit(0, bits), 1);
  EXPECT_EQ(device.TestBit(1, bits), 0);
  EXPECT_EQ(device.TestBit(7, bits), 0);
  EXPECT_EQ(device.TestBit(15, bits), 1);
  EXPECT_EQ(device.TestBit(8, bits), 0);
}

TEST_F(OutputDeviceTest, ConstructionGivesIdentityPlaneOrderAndAPendingPage) {
  RecordingDevice fresh;
  for (int i = 0; i < kPlaneCount; ++i) ASSERT_EQ(fresh.GetPlaneOrder(i), i);
  EXPECT_EQ(fresh.GetPlaneOrder(kPlaneCount), -1);
  EXPECT_EQ(fresh.GetPlaneOrder(-1), -1);
  EXPECT_EQ(fresh.pagePending, 1);
  EXPECT_EQ(fresh.GetRowsPerPlane(), 0);
  EXPECT_EQ(fresh.GetXResolution(), 0.0f);
}

// ---- Colour models and screening -------------------------------------------------

TEST_F(OutputDeviceTest, ColourModelsComeFromTheStringTable) {
  char name[64];
  int isDefault = 0;
  EXPECT_EQ(device.EnumColorModel(0, &isDefault, name, nullptr), 5);
  EXPECT_STREQ(name, "CMYK");
  EXPECT_EQ(isDefault, 1);
  EXPECT_NE(device.EnumColorModel(1, &isDefault, name, nullptr), 0);
  EXPECT_STREQ(name, "CMY");
  EXPECT_NE(device.EnumColorModel(2, &isDefault, name, nullptr), 0);
  EXPECT_STREQ(name, "Grayscale");
  EXPECT_EQ(device.EnumColorModel(3, &isDefault, name, nullptr), 0);

  EXPECT_EQ(device.FindColorModel("grayscale"), 2);
  EXPECT_EQ(device.FindColorModel("cmy"), 1);
  EXPECT_EQ(device.FindColorModel("RGB"), -1);
  EXPECT_EQ(device.FindColorModel(nullptr), -1);

  std::strcpy(name, "stale");
  EXPECT_EQ(device.GetDefaultColorIndex(name, nullptr), 0);
  EXPECT_STREQ(name, "CMYK");
  EXPECT_EQ(device.GetDefaultColorIndex(nullptr, nullptr), 0);
}

TEST_F(OutputDeviceTest, DefaultScreeningIsEightDiamondScreens) {
  tagScreeningOption screening;
  std::memset(&screening, 0x5A, sizeof screening);
  ASSERT_EQ(device.GetDefaultScreening(&screening, nullptr), 1);
  ASSERT_EQ(screening.count, 8);
  const char* colours[] = {"Cyan", "Magenta", "Yellow", "Black", "LCyan", "LMagenta", "Orange", "Green"};
  const float angles[] = {105, 75, 90, 45, 75, 105, 105, 75};
  for (int i = 0; i < 8; ++i) {
    EXPECT_STREQ(screening.entries[i].screenName, "Diamond");
    EXPECT_EQ(screening.entries[i].frequency, 55.0f);
    EXPECT_EQ(screening.entries[i].angle, angles[i]) << i;
    EXPECT_STREQ(screening.entries[i].colorName, colours[i]);
  }
}

// ---- ReplicatePixels and ScaleRow against a pixel-by-pixel model ---------------------

int GetBit(const std::vector<std::uint8_t>& bytes, long bit) { return (bytes[bit / 8] >> (7 - bit % 8)) & 1; }
void SetBit(std::vector<std::uint8_t>& bytes, long bit) { bytes[bit / 8] |= 0x80 >> (bit % 8); }

unsigned ModelPixel(const std::vector<std::uint8_t>& row, int bpp, int index) {
  unsigned value = 0;
  for (int j = 0; j < bpp; ++j) value = (value << 1) | GetBit(row, static_cast<long>(index) * bpp + j);
  return value;
}

// Zero pixels write nothing; others set their one bits (1, 2, 4 bits) or
// store the byte (8 bits, from the start of the byte).
void ModelReplicate(int bpp, int count, const std::vector<std::uint8_t>& src, int repeat, int* pos,
                    std::vector<std::uint8_t>& dst) {
  if (bpp == 8) *pos &= ~7;
  for (int i = 0; i < count; ++i) {
    const unsigned value = ModelPixel(src, bpp, i);
    for (int r = 0; r < repeat; ++r, *pos += bpp) {
      if (value == 0) continue;
      if (bpp == 8) {
        dst[*pos / 8] = static_cast<std::uint8_t>(value);
      } else {
        for (int j = 0; j < bpp; ++j) {
          if ((value >> (bpp - 1 - j)) & 1) SetBit(dst, *pos + j);
        }
      }
    }
  }
}

std::vector<std::uint8_t> RandomBytes(std::mt19937& random, std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  // Plenty of zero bytes, so zero pixels occur at every depth.
  for (auto& b : bytes) b = random() % 3 == 0 ? 0 : static_cast<std::uint8_t>(random());
  return bytes;
}

TEST_F(OutputDeviceTest, ReplicatePixelsMatchesThePixelModel) {
  std::mt19937 random(1234);
  for (int bpp : {1, 2, 4, 8}) {
    for (int repeat = 1; repeat <= 3; ++repeat) {
      for (int trial = 0; trial < 200; ++trial) {
        const int count = 1 + static_cast<int>(random() % 40);
        const int start = static_cast<int>(random() % 24);  // any bit, aligned to the depth or not
        const auto src = RandomBytes(random, (static_cast<std::size_t>(count) * bpp + 7) / 8);
        auto expected = RandomBytes(random, static_cast<std::size_t>(start / 8 + count * repeat * bpp / 8 + 2));
        auto actual = expected;
        int expectedPos = start;
        int actualPos = start;
        ModelReplicate(bpp, count, src, repeat, &expectedPos, expected);
        device.ReplicatePixels(bpp, count, src.data(), repeat, &actualPos, actual.data());
        ASSERT_EQ(actual, expected) << "bpp " << bpp << " repeat " << repeat << " count " << count << " start "
                                    << start;
        ASSERT_EQ(actualPos, expectedPos);
      }
    }
  }
}

// Runs long enough to span several blocks of the widening tables, with
// repeats on the table paths and past them.
TEST_F(OutputDeviceTest, ReplicatePixelsMatchesThePixelModelOnLongRuns) {
  std::mt19937 random(99);
  for (int bpp : {1, 2, 4, 8}) {
    for (int repeat = 1; repeat <= 4; ++repeat) {
      for (int trial = 0; trial < 6; ++trial) {
        const int count = 500 + static_cast<int>(random() % 1200);
        const int start = static_cast<int>(random() % 24);
        const auto src = RandomBytes(random, (static_cast<std::size_t>(count) * bpp + 7) / 8);
        auto expected = RandomBytes(random, static_cast<std::size_t>((start + count * repeat * bpp + 7) / 8));
        auto actual = expected;
        int expectedPos = start;
        int actualPos = start;
        ModelReplicate(bpp, count, src, repeat, &expectedPos, expected);
        device.ReplicatePixels(bpp, count, src.data(), repeat, &actualPos, actual.data());
        ASSERT_EQ(actual, expected) << "bpp " << bpp << " repeat " << repeat << " count " << count << " start "
                                    << start;
        ASSERT_EQ(actualPos, expectedPos);
      }
    }
  }
}

TEST_F(OutputDeviceTest, ReplicatePixelsIgnoresOtherDepthsAndEmptyRuns) {
  const std::uint8_t src[2] = {0xFF, 0xFF};
  std::uint8_t dst[4] = {};
  int pos = 3;
  device.ReplicatePixels(3, 2, src, 2, &pos, dst);
  device.ReplicatePixels(1, 0, src, 2, &pos, dst);
  device.ReplicatePixels(1, -4, src, 2, &pos, dst);
  EXPECT_EQ(pos, 3);
  EXPECT_EQ(dst[0] | dst[1] | dst[2] | dst[3], 0);
}

struct RowParts {
  int bpp, repeat, lead, leftWidth, midWidth, copies, gap, rightWidth;
};

std::vector<std::uint8_t> ModelRow(const RowParts& p, const std::vector<std::uint8_t>* left,
                                   const std::vector<std::uint8_t>* mid, const std::vector<std::uint8_t>* right,
                                   int* total) {
  std::vector<unsigned> pixels;
  pixels.resize(p.lead, 0);
  auto part = [&](const std::vector<std::uint8_t>* data, int width) {
    for (int i = 0; i < width; ++i) {
      const unsigned value = data ? ModelPixel(*data, p.bpp, i) : 0;
      pixels.insert(pixels.end(), p.repeat, value);
    }
  };
  part(left, p.leftWidth);
  for (int c = 0; c < p.copies; ++c) {
    if (c > 0) pixels.resize(pixels.size() + p.gap, 0);
    part(mid, p.midWidth);
  }
  part(right, p.rightWidth);
  *total = static_cast<int>(pixels.size());
  std::vector<std::uint8_t> row((pixels.size() * p.bpp + 7) / 8, 0);
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    for (int j = 0; j < p.bpp; ++j) {
      if ((pixels[i] >> (p.bpp - 1 - j)) & 1) SetBit(row, static_cast<long>(i) * p.bpp + j);
    }
  }
  return row;
}

TEST_F(OutputDeviceTest, ScaleRowMatchesThePixelModel) {
  std::mt19937 random(99);
  for (int trial = 0; trial < 3000; ++trial) {
    const int depths[] = {1, 2, 4, 8};
    RowParts p{depths[random() % 4],          1 + static_cast<int>(random() % 3), static_cast<int>(random() % 10),
               static_cast<int>(random() % 6), static_cast<int>(random() % 13),   1 + static_cast<int>(random() % 4),
               static_cast<int>(random() % 6), static_cast<int>(random() % 6)};
    const auto left = RandomBytes(random, (p.leftWidth * p.bpp + 7) / 8 + 1);
    const auto mid = RandomBytes(random, (p.midWidth * p.bpp + 7) / 8 + 1);
    const auto right = RandomBytes(random, (p.rightWidth * p.bpp + 7) / 8 + 1);
    const unsigned absent = static_cast<unsigned>(random() % 8);  // which parts have no data
    const auto* leftData = (absent & 1) ? nullptr : &left;
    const auto* midData = (absent & 2) ? nullptr : &mid;
    const auto* rightData = (absent & 4) ? nullptr : &right;

    int total = 0;
    const auto expected = ModelRow(p, leftData, midData, rightData, &total);
    const int width = device.ScaleRow(p.bpp, p.repeat, p.lead, p.leftWidth, leftData ? left.data() : nullptr,
                                      p.midWidth, midData ? mid.data() : nullptr, p.copies, p.gap, p.rightWidth,
                                      rightData ? right.data() : nullptr, nullptr);
    ASSERT_EQ(width, total);

    // Garbage in the row and a guard past it: the row is cleared, the guard kept.
    auto dst = RandomBytes(random, expected.size());
    dst.insert(dst.end(), 8, 0xA5);
    ASSERT_EQ(device.ScaleRow(p.bpp, p.repeat, p.lead, p.leftWidth, leftData ? left.data() : nullptr, p.midWidth,
                              midData ? mid.data() : nullptr, p.copies, p.gap, p.rightWidth,
                              rightData ? right.data() : nullptr, dst.data()),
              total);
    const std::vector<std::uint8_t> row(dst.begin(), dst.begin() + static_cast<long>(expected.size()));
    ASSERT_EQ(row, expected) << "trial " << trial << " bpp " << p.bpp << " repeat " << p.repeat;
    for (std::size_t i = expected.size(); i < dst.size(); ++i) ASSERT_EQ(dst[i], 0xA5) << "trial " << trial;
  }
}

TEST_F(OutputDeviceTest, ScaleRowWidthFormula) {
  // One copy without a gap: lead + repeat x the sum of the widths.
  EXPECT_EQ(device.ScaleRow(1, 3, 5, 2, nullptr, 4, nullptr, 1, 0, 6, nullptr, nullptr), 5 + 3 * 12);
  // Copies add a gap and a middle part each.
  EXPECT_EQ(device.ScaleRow(1, 2, 0, 1, nullptr, 4, nullptr, 3, 7, 1, nullptr, nullptr), 2 * 6 + 2 * (7 + 8));
  // No copies: no middle part at all.
  EXPECT_EQ(device.ScaleRow(1, 2, 1, 1, nullptr, 4, nullptr, 0, 7, 1, nullptr, nullptr), 1 + 2 * 2);
}

TEST_F(OutputDeviceTest, ScaleRowRefusesNegativeAndOversizedRows) {
  EXPECT_EQ(device.ScaleRow(1, 1, -1, 1, nullptr, 1, nullptr, 1, 0, 1, nullptr, nullptr), 0);
  EXPECT_EQ(device.ScaleRow(0, 1, 0, 1, nullptr, 1, nullptr, 1, 0, 1, nullptr, nullptr), 0);
  EXPECT_EQ(device.ScaleRow(8, INT_MAX, 0, 1, nullptr, INT_MAX, nullptr, INT_MAX, INT_MAX, 1, nullptr, nullptr), 0);
  EXPECT_NE(std::string(LastFailure()).find("too wide"), std::string::npos);
}

}  // namespace
}  // namespace pc50
