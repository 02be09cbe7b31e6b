#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "device/pc50_device.h"
#include "device/pc50_stream_golden.h"
#include "platform/diagnostics.h"
#include "platform/platform.h"

namespace pc50 {
namespace {

namespace fs = std::filesystem;
using stream_golden::ExpectStream;
using stream_golden::Stream;
using Rows = std::vector<std::string>;

class FakePort : public ABasePort {
 public:
  int SendData(const void* data, int length, int) override {
    const int taken = limit >= 0 && length > limit ? limit : length;
    bytes.append(static_cast<const char*>(data), static_cast<std::size_t>(taken));
    return taken;
  }
  std::string bytes;
  int limit = -1;
};

struct Prompts {
  std::vector<std::string> names;  // the cartridge of every prompt shown
  std::vector<std::string> captions;
  std::vector<unsigned> types;
  std::vector<void*> owners;
  std::size_t cancelAt = SIZE_MAX;  // the prompt answered with Cancel
};

int Answer(void* context, const char* text, const char* caption, unsigned type, void* owner) {
  Prompts* prompts = static_cast<Prompts*>(context);
  std::string name = text;
  const std::string head = "Please install ", tail = " cartridge to the printer";
  if (name.rfind(head, 0) == 0 && name.size() > head.size() + tail.size()) {
    name = name.substr(head.size(), name.size() - head.size() - tail.size());
  }
  prompts->names.push_back(name);
  prompts->captions.push_back(caption);
  prompts->types.push_back(type);
  prompts->owners.push_back(owner);
  return prompts->names.size() - 1 == prompts->cancelAt ? platform::IDCANCEL : platform::IDOK;
}

using Names = std::vector<std::string>;

class PC50StreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* base = std::getenv("TMPDIR");
    if (base != nullptr) savedTmpDir = base;
    std::string pattern = (base && *base ? std::string(base) : std::string("/tmp")) + "/pc50_stream_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    scratch = pattern;
    ::setenv("TMPDIR", scratch.c_str(), 1);

    InitJobContext(&job);
    job.promptMode = 0;
    job.parentWindow = 0x2A;
    settings = std::make_unique<SettingsBlock>();
    Options(0, 0);
    settings->topMargin = 1;
    settings->firstPlane = 255;
    platform::SetPromptHandler(Answer, &prompts);
    ClearFailure();
  }
  void TearDown() override {
    platform::SetPromptHandler(nullptr, nullptr);
    if (savedTmpDir.empty()) {
      ::unsetenv("TMPDIR");
    } else {
      ::setenv("TMPDIR", savedTmpDir.c_str(), 1);
    }
    std::error_code ignored;
    fs::remove_all(scratch, ignored);
  }

  void Options(std::uint8_t ribbon, std::uint8_t order) {
    settings->driverOptions[0] = 20;
    settings->driverOptions[1] = ribbon;
    settings->driverOptions[2] = order;
  }
  void Plane(int plane, const char* name) {
    settings->planes[plane].enabled = 1;
    std::strcpy(settings->planes[plane].name, name);
    if (plane < settings->firstPlane) settings->firstPlane = plane;
    if (plane > settings->lastPlane) settings->lastPlane = plane;
  }
  void Attach(APC50Device& device, ABasePort* port) {
    device.Attach(&job, settings.get());
    device.SetXResolution(180.0f);
    device.SetYResolution(180.0f);
    device.port = port;
  }

  // The rows of every plane as the raster driver hands them over: plane after
  // plane when the device takes whole planes, otherwise plane by plane per row.
  static int SendPlanes(APC50Device& device, const std::map<int, Rows>& rows) {
    if (device.GetRowsPerPlane() == 0) {
      for (const auto& [first, planeRows] : rows) {
        int plane = first;
        for (const std::string& row : planeRows) {
          if (device.PutRow(&plane, static_cast<int>(row.size()), Data(row)) == 0) return 0;
        }
        if (device.EndPlane(first) == 0) return 0;
      }
      return device.EndPage();
    }
    int plane = rows.begin()->first;
    for (std::size_t r = 0; r < rows.begin()->second.size(); ++r) {
      for (std::size_t k = 0; k < rows.size(); ++k) {
        const std::string& row = rows.at(plane)[r];
        if (device.PutRow(&plane, static_cast<int>(row.size()), Data(row)) == 0) return 0;
      }
    }
    return 1;
  }
  static int PrintPage(APC50Device& device, int width, const std::map<int, Rows>& rows) {
    if (device.StartJob(width, static_cast<int>(rows.begin()->second.size()), 1) != 1) return 0;
    return SendPlanes(device, rows) != 0 && device.EndJob() != 0 ? 1 : 0;
  }
  static const std::uint8_t* Data(const std::string& row) {
    return reinterpret_cast<const std::uint8_t*>(row.data());
  }

  int TempFiles() const {
    int count = 0;
    for (const auto& entry : fs::directory_iterator(scratch)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind("PC50CMYK", 0) == 0 && name.size() > 12 && name.substr(name.size() - 4) == ".tmp") ++count;
    }
    return count;
  }
  static std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  std::string savedTmpDir;
  std::string scratch;
  JobContext job;
  std::unique_ptr<SettingsBlock> settings;
  Prompts prompts;
};

// Rows of 32 pixels (4 bytes) and their PackBits form.
const std::string kZeros("\0\0\0\0", 4), kZerosPacked("\xFD\x00", 2);
const std::string kRamp("\x01\x02\x03\x04", 4), kRampPacked("\x03\x01\x02\x03\x04", 5);
const std::string kEdge("\xFF\xFF\x00\x0F", 4), kEdgePacked("\xFF\xFF\x01\x00\x0F", 5);

// ---- Single passes ------------------------------------------------------------

TEST_F(PC50StreamTest, SingleColourRibbonsPrintOnePassPerPlaneInEitherOrder) {
  // YMCK: Yellow sits at plane 0, Magenta 1, Cyan 2, Black 3.
  Options(1, 0);
  Plane(0, "Yellow");
  Plane(2, "Cyan");
  Plane(3, "Black");
  FakePort port;
  APC50Device device;
  Attach(device, &port);
  ASSERT_EQ(PrintPage(device, 32, {{0, {kRamp, kZeros}}, {2, {kEdge, kRamp}}, {3, {kZeros, kEdge}}}), 1)
      << LastFailure();
  Stream golden;
  golden.PageHeader(181, 12, 180)
      .PlaneHeader(13, 2, 1).Row('W', kRampPacked).Row('W', kZerosPacked).EndRaster()
      .PlaneHeader(15, 2, 1).Row('W', kEdgePacked).Row('W', kRampPacked).EndRaster()
      .PlaneHeader(12, 2, 1).Row('W', kZerosPacked).Row('W', kEdgePacked).EndRaster()
      .NextPage();
  ExpectStream(port.bytes, golden.bytes);
  EXPECT_EQ(prompts.names, (Names{"Yellow", "Cyan", "Black"}));
  EXPECT_EQ(device.GetRowsPerPlane(), 0);

  // CMYK: planes in colour order; a name outside the colour table gets its
  // own name in the prompt and colour code -1.
  *settings = SettingsBlock{};
  Options(1, 1);
  settings->topMargin = 0;
  Plane(0, "Cyan");
  Plane(4, "Spot1");
  job.singlePage = 1;
  FakePort second;
  APC50Device other;
  Attach(other, &second);
  ASSERT_EQ(PrintPage(other, 32, {{0, {kRamp}}, {4, {kEdge}}}), 1) << LastFailure();
  Stream expected;
  expected.PageHeader(181, 6, 180)
      .PlaneHeader(15, 2, 0).Row('W', kRampPacked).EndRaster()
      .PlaneHeader(-1, 2, 0).Row('W', kEdgePacked).EndRaster()
      .Add("\x1b%0BPU;PA0,0;");
  ExpectStream(second.bytes, expected.bytes);
  EXPECT_EQ(prompts.names, (Names{"Yellow", "Cyan", "Black", "Cyan", "Spot1"}));
}

TEST_F(PC50StreamTest, GrayscaleAndSeparationsPrintSinglePassesWithTheFourColourRibbon) {
  Plane(0, "Black");
  Plane(1, "Cyan");
  for (int variant = 0; variant < 2; ++variant) {
    job.colorModel = variant == 0 ? 2 : 0;
    settings->separations = variant;
    APC50Device device;
    FakePort port;
    Attach(device, &port);
    ASSERT_EQ(device.StartJob(32, 1, 1), 1);
    EXPECT_EQ(device.GetRowsPerPlane(), 0);
  }
  EXPECT_TRUE(prompts.names.empty());  // single passes ask per plane, not at the page start
}

// ---- The four-colour pass -------------------------------------------------------

TEST_F(PC50StreamTest, FourColourRibbonInterleavesTheProcessPlanesWithEmptyTransfers) {
  // Black sits at plane 0, Cyan at 1 with the four-colour ribbon.
  Plane(0, "Black");
  Plane(1, "Cyan");
  settings->topMargin = 2;
  FakePort port;
  APC50Device device;
  Attach(device, &port);
  ASSERT_EQ(PrintPage(device, 32, {{0, {kRamp, kZeros}}, {1, {kEdge, kRamp}}}), 1) << LastFailure();
  Stream golden;
  golden.PageHeader(181, 12, 180).PlaneHeader(5, 2, 2);
  golden.Row('V', kRampPacked).Row('V', kEdgePacked).Add("\x1b*b0V\x1b*b0W");
  golden.Row('V', kZerosPacked).Row('V', kRampPacked).Add("\x1b*b0V\x1b*b0W");
  golden.EndRaster().NextPage();
  ExpectStream(port.bytes, golden.bytes);
  EXPECT_EQ(prompts.names, (Names{"CMYK"}));
  EXPECT_EQ(device.GetRowsPerPlane(), 1);
}

TEST_F(PC50StreamTest, EveryInterleavedRowCarriesAllFourPositions) {
  Plane(2, "Magenta");
  FakePort port;
  APC50Device device;
  Attach(device, &port);
  ASSERT_EQ(PrintPage(device, 32, {{2, {kRamp, kEdge}}}), 1) << LastFailure();
  Stream golden;
  golden.PageHeader(181, 12, 180).PlaneHeader(5, 2, 1);
  golden.Add("\x1b*b0V\x1b*b0V").Row('V', kRampPacked).Add("\x1b*b0W");
  golden.Add("\x1b*b0V\x1b*b0V").Row('V', kEdgePacked).Add("\x1b*b0W");
  golden.EndRaster().NextPage();
  ExpectStream(port.bytes, golden.bytes);
}

TEST_F(PC50StreamTest, SpotPlaneAssemblesTheFourColourPassBeforeItsOwnPass) {
  Plane(0, "Black");
  Plane(1, "Cyan");
  Plane(9, "Gold");
  settings->topMargin = 2;
  FakePort port;
  APC50Device device;
  Attach(device, &port);
  ASSERT_EQ(PrintPage(device, 32, {{0, {kRamp, kZeros}}, {1, {kEdge, kRamp}}, {9, {kEdge, kZeros}}}), 1)
      << LastFailure();
  Stream golden;
  golden.PageHeader(181, 12, 180).PlaneHeader(5, 0, 2);
  golden.Row('V', kRamp).Row('V', kEdge).Row('V', kZeros).Row('W', kZeros);
  golden.Row('V', kZeros).Row('V', kRamp).Row('V', kZeros).Row('W', kZeros);
  golden.EndRaster();
  golden.PlaneHeader(8, 2, 2).Row('W', kEdgePacked).Row('W', kZerosPacked).EndRaster().NextPage();
  ExpectStream(port.bytes, golden.bytes);
  EXPECT_EQ(prompts.names, (Names{"CMYK", "Gold"}));
}

TEST_F(PC50StreamTest, PlaneLayoutsTheFourColourPassCannotHoldAreRefused) {
  Plane(0, "Black");
  Plane(5, "Unlisted");  // a process plane outside planes 0 to 3
  APC50Device device;
  FakePort port;
  Attach(device, &port);
  EXPECT_EQ(device.StartJob(32, 1, 1), 0);
  EXPECT_NE(std::string(LastFailure()).find("planes 0 to 3"), std::string::npos) << LastFailure();

  *settings = SettingsBlock{};
  Options(0, 0);
  Plane(0, "Black");
  Plane(1, "Gold");    // would print before Yellow's part of the four-colour pass
  Plane(3, "Yellow");
  Attach(device, &port);
  EXPECT_EQ(device.StartJob(32, 1, 1), 0);
  EXPECT_NE(std::string(LastFailure()).find("before process plane 3"), std::string::npos) << LastFailure();
  EXPECT_EQ(TempFiles(), 0);
  EXPECT_TRUE(port.bytes.empty());
}

// ---- Page header ------------------------------------------------------------------

TEST_F(PC50StreamTest, PlotSizeIsComputedInFloatArithmeticAndWidthIsBounded) {
  job.promptMode = 4;
  Options(1, 0);
  Plane(3, "Black");
  FakePort port;
  APC50Device device;
  Attach(device, &port);
  device.SetXResolution(360.0f);
  // Rounded up, so that the plot covers the raster: 1000 x 1016 / 360 is
  // 2822.2; 92894 x 1016 / 180 is 524335.02 exactly but 524335 in float.
  ASSERT_EQ(device.StartJob(1000, 92894, 1), 1);
  device.WriteOutput(nullptr, 0, 1);
  ExpectStream(port.bytes, Stream().PageHeader(2823, 524336, 360).bytes);

  EXPECT_EQ(device.StartJob(8000001, 1, 1), 0);
  EXPECT_NE(std::string(LastFailure()).find("bytes per row"), std::string::npos) << LastFailure();
}

TEST_F(PC50StreamTest, RowsWiderThanTheFixedWorkAreaAreSentWhole) {
  job.promptMode = 4;
  Options(1, 0);
  Plane(3, "Black");
  settings->topMargin = 0;
  std::string row;
  for (int i = 0; i < 6100; ++i) row += static_cast<char>(i % 2 ? 0x55 : 0xAA);  // no two equal neighbours
  FakePort port;
  APC50Device device;
  Attach(device, &port);
  ASSERT_EQ(PrintPage(device, 6000 * 8, {{3, {row}}}), 1) << LastFailure();  // the row is 100 bytes too long
  std::string packed;
  for (int at = 0; at < 6000; at += 128) {
    const int n = 6000 - at < 128 ? 6000 - at : 128;
    packed += static_cast<char>(n - 1) + row.substr(static_cast<std::size_t>(at), static_cast<std::size_t>(n));
  }
  Stream golden;
  golden.PageHeader(270934, 6, 180).PlaneHeader(12, 2, 0).Row('W', packed).EndRaster().NextPage();
  ExpectStream(port.bytes, golden.bytes);
}

// ---- Prompts ------------------------------------------------------------------------

TEST_F(PC50StreamTest, CartridgePromptsAskOverTheParentWindow) {
  Plane(0, "Black");
  Plane(9, "Gold");
  FakePort port;
  APC50Device device;
  Attach(device, &port);
  ASSERT_EQ(PrintPage(device, 32, {{0, {kRamp}}, {9, {kEdge}}}), 1) << LastFailure();
  ASSERT_EQ(prompts.names, (Names{"CMYK", "Gold"}));
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(prompts.captions[i], "Change Cartridge");
    EXPECT_EQ(prompts.types[i], platform::MB_OKCANCEL | platform::MB_SETFOREGROUND);
    EXPECT_EQ(reinterpret_cast<std::intptr_t>(prompts.owners[i]), 0x2A);
  }
}

TEST_F(PC50StreamTest, CancelOnTheSecondCartridgeFailsThatPlane) {
  Options(1, 0);
  Plane(0, "Yellow");
  Plane(2, "Cyan");
  prompts.cancelAt = 1;
  FakePort port;
  APC50Device device;
  Attach(device, &port);
  EXPECT_EQ(PrintPage(device, 32, {{0, {kRamp}}, {2, {kEdge}}}), 0);
  EXPECT_NE(std::string(LastFailure()).find("cartridge change cancelled"), std::string::npos) << LastFailure();
  device.WriteOutput(nullptr, 0, 1);
  Stream golden;
  golden.PageHeader(181, 6, 180).PlaneHeader(13, 2, 1).Row('W', kRampPacked).EndRaster();
  ExpectStream(port.bytes, golden.bytes);  // nothing of the cancelled pass
  EXPECT_EQ(prompts.names, (Names{"Yellow", "Cyan"}));

  // Cancelling the four-colour cartridge leaves the page header only.
  *settings = SettingsBlock{};
  Options(0, 0);
  Plane(0, "Black");
  Plane(9, "Gold");
  prompts = Prompts{};
  prompts.cancelAt = 0;
  FakePort second;
  APC50Device other;
  Attach(other, &second);
  EXPECT_EQ(other.StartJob(32, 1, 1), 0);
  other.WriteOutput(nullptr, 0, 1);
  EXPECT_TRUE(second.bytes.empty());  // the page header went to the discarded temporary file
  EXPECT_EQ(TempFiles(), 0);
}

TEST_F(PC50StreamTest, PromptModeFourShowsNoPromptAndKeepsTheStream) {
  Plane(0, "Black");
  Plane(1, "Cyan");
  Plane(9, "Gold");
  std::string streams[2];
  for (int silent = 0; silent < 2; ++silent) {
    job.promptMode = silent ? 4 : 0;
    FakePort port;
    APC50Device device;
    Attach(device, &port);
    ASSERT_EQ(PrintPage(device, 32, {{0, {kRamp}}, {1, {kEdge}}, {9, {kZeros}}}), 1) << LastFailure();
    streams[silent] = port.bytes;
  }
  EXPECT_EQ(prompts.names, (Names{"CMYK", "Gold"}));  // from the first run only
  ExpectStream(streams[1], streams[0]);
}

// ---- Output failures and abort ---------------------------------------------------------

TEST_F(PC50StreamTest, OutputThatTakesFewerBytesFailsTheOperation) {
  Plane(0, "Black");
  FakePort port;
  port.limit = 10;
  APC50Device device;
  Attach(device, &port);
  ASSERT_EQ(device.StartJob(32, 1, 1), 1);  // buffered so far
  EXPECT_EQ(device.EndJob(), 0);
  EXPECT_NE(std::string(LastFailure()).find("took 10 of"), std::string::npos) << LastFailure();

  if (::access("/dev/full", W_OK) == 0) {
    APC50Device full;
    Attach(full, nullptr);
    ASSERT_TRUE(full.outputFile.Open("/dev/full", 2));
    EXPECT_EQ(full.StartJob(32, 1, 1), 0);
    EXPECT_EQ(job.bytesProduced, 0);
  }
}

TEST_F(PC50StreamTest, AbortAppendsTheResetAfterTheBytesProduced) {
  Options(1, 0);
  Plane(3, "Black");
  const std::string path = scratch + "/out.prn";
  APC50Device device;
  Attach(device, nullptr);
  ASSERT_TRUE(device.outputFile.Open(path.c_str(), 2));
  ASSERT_EQ(device.StartJob(32, 4, 1), 1);
  int plane = 3;
  ASSERT_EQ(device.PutRow(&plane, 4, Data(kRamp)), 1);
  const int produced = job.bytesProduced;
  ASSERT_GT(produced, 0);
  EXPECT_EQ(device.AbortOutput(), 2);
  device.aborting = 1;
  EXPECT_EQ(device.CloseOutput(), 1);
  device.outputFile.Close();
  EXPECT_EQ(job.bytesProduced, produced + 2);
  const std::string bytes = FileBytes(path);
  ASSERT_EQ(bytes.size(), static_cast<std::size_t>(produced + 2));
  EXPECT_EQ(bytes.substr(bytes.size() - 2), "\x1b" "E");
}

// ---- The temporary file ----------------------------------------------------------------

TEST_F(PC50StreamTest, AssembledPassLeavesTheByteCountersAloneUntilItIsCopied) {
  Plane(0, "Black");
  Plane(3, "Yellow");
  Plane(9, "Gold");
  job.bytesConsumed = 3;
  const std::string path = scratch + "/out.prn";
  APC50Device device;
  Attach(device, nullptr);
  ASSERT_TRUE(device.outputFile.Open(path.c_str(), 2));
  ASSERT_EQ(device.StartJob(32, 1, 1), 1);
  int plane = 0;
  ASSERT_EQ(device.PutRow(&plane, 4, Data(kRamp)), 1);
  ASSERT_EQ(device.EndPlane(0), 1);
  plane = 3;
  ASSERT_EQ(device.PutRow(&plane, 4, Data(kEdge)), 1);
  EXPECT_EQ(job.bytesProduced, 0);
  EXPECT_EQ(TempFiles(), 1);
  ASSERT_EQ(device.EndPlane(3), 1);  // the last process plane: the pass is copied out
  EXPECT_EQ(TempFiles(), 0);
  Stream golden;
  golden.PageHeader(181, 6, 180).PlaneHeader(5, 0, 1);
  golden.Row('V', kRamp).Row('V', kZeros).Row('V', kZeros).Row('W', kEdge).EndRaster();
  EXPECT_EQ(job.bytesProduced, static_cast<int>(golden.bytes.size()));
  device.outputFile.Close();
  ExpectStream(FileBytes(path), golden.bytes);
}

TEST_F(PC50StreamTest, AssembledPassOfManyWideRowsComesOutRowByRow) {
  // Rows of 2,000 bytes: the pass spans several windows of the temporary
  // file, and the records of each plane lie a row apart in it.
  job.promptMode = 4;
  Plane(0, "Black");
  Plane(1, "Cyan");
  Plane(3, "Yellow");
  Plane(9, "Gold");
  settings->topMargin = 0;
  constexpr int kBytes = 2000, kRows = 100, kYellowRows = 60;
  const auto row = [](int plane, int r) {
    std::string bytes(kBytes, '\0');
    for (int i = 0; i < kBytes; ++i) {
      bytes[static_cast<std::size_t>(i)] = static_cast<char>(i * 7 + r * 13 + plane * 29);
    }
    return bytes;
  };
  std::map<int, Rows> rows;
  for (int r = 0; r < kRows; ++r) {
    rows[0].push_back(row(0, r));
    rows[1].push_back(row(1, r));
    if (r < kYellowRows) rows[3].push_back(row(3, r));
  }
  rows[9] = {""};
  FakePort port;
  APC50Device device;
  Attach(device, &port);
  ASSERT_EQ(PrintPage(device, kBytes * 8, rows), 1) << LastFailure();

  const std::string zeros(kBytes, '\0');
  std::string packedZeros;
  for (int rest = kBytes; rest > 0; rest -= 128) {
    packedZeros += std::string{static_cast<char>(257 - std::min(rest, 128)), '\0'};
  }
  Stream golden;
  golden.PageHeader(90312, 565, 180).PlaneHeader(5, 0, 0);
  for (int r = 0; r < kRows; ++r) {
    golden.Row('V', row(0, r)).Row('V', row(1, r)).Row('V', zeros).Row('W', r < kYellowRows ? row(3, r) : zeros);
  }
  golden.EndRaster().PlaneHeader(8, 2, 0).Row('W', packedZeros).EndRaster().NextPage();
  ExpectStream(port.bytes, golden.bytes);
  EXPECT_EQ(TempFiles(), 0);
}

TEST_F(PC50StreamTest, TemporaryFilesAreRemovedAfterAbortAndDestruction) {
  Plane(0, "Black");
  Plane(9, "Gold");
  FakePort port;
  APC50Device device;
  Attach(device, &port);
  ASSERT_EQ(device.StartJob(32, 1, 1), 1);
  EXPECT_EQ(TempFiles(), 1);
  EXPECT_EQ(device.AbortOutput(), 2);
  EXPECT_EQ(TempFiles(), 0);
  EXPECT_EQ(port.bytes, "\x1b" "E");  // the page header stayed in the temporary file

  auto doomed = std::make_unique<APC50Device>();
  Attach(*doomed, &port);
  ASSERT_EQ(doomed->StartJob(32, 1, 1), 1);
  EXPECT_EQ(TempFiles(), 1);
  doomed.reset();
  EXPECT_EQ(TempFiles(), 0);
}

TEST_F(PC50StreamTest, TwoDevicesAssembleTheirPassesAtTheSameTime) {
  Plane(0, "Black");
  Plane(1, "Cyan");
  Plane(9, "Gold");
  FakePort ports[2];
  APC50Device devices[2];
  for (int d = 0; d < 2; ++d) {
    Attach(devices[d], &ports[d]);
    ASSERT_EQ(devices[d].StartJob(32, 1, 1), 1);
  }
  EXPECT_EQ(TempFiles(), 2);
  const std::string rows[2][3] = {{kRamp, kEdge, kZeros}, {kEdge, kZeros, kRamp}};
  const int planes[3] = {0, 1, 9};
  for (int k = 0; k < 3; ++k) {
    for (int d = 0; d < 2; ++d) {
      int plane = planes[k];
      ASSERT_EQ(devices[d].PutRow(&plane, 4, Data(rows[d][k])), 1) << LastFailure();
      ASSERT_NE(devices[d].EndPlane(planes[k]), 0) << LastFailure();
    }
  }
  for (int d = 0; d < 2; ++d) {
    ASSERT_EQ(devices[d].EndJob(), 1);
    Stream golden;
    golden.PageHeader(181, 6, 180).PlaneHeader(5, 0, 1);
    golden.Row('V', rows[d][0]).Row('V', rows[d][1]).Row('V', kZeros).Row('W', kZeros).EndRaster();
    golden.PlaneHeader(8, 2, 1).Row('W', d == 0 ? kZerosPacked : kRampPacked).EndRaster().NextPage();
    ExpectStream(ports[d].bytes, golden.bytes);
  }
  EXPECT_EQ(TempFiles(), 0);
}

TEST_F(PC50StreamTest, TemporaryFileThatCannotBeCreatedRaisesTheFailure) {
  ::setenv("TMPDIR", (scratch + "/missing").c_str(), 1);
  Plane(0, "Black");
  Plane(9, "Gold");
  FakePort port;
  APC50Device device;
  Attach(device, &port);
  int thrown = -1;
  try {
    device.StartJob(32, 1, 1);
  } catch (int value) {
    thrown = value;
  }
  EXPECT_EQ(thrown, 0);
  EXPECT_NE(std::string(LastFailure()).find("temporary file"), std::string::npos) << LastFailure();
}

}  // namespace
}  // namespace pc50
