// Whole jobs from spool file to PC-50 stream, run the way a host runs them:
// through the driver object into a port, and through the procedural entry
// points into an output file that the host drains step by step.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "device/pc50_stream_golden.h"
#include "engine/pc50_driver.h"
#include "pc50/pc50.h"
#include "pc50/pc50_ext.h"
#include "platform/diagnostics.h"
#include "spool/temp_dir.h"
#include "spool_writer.h"
#include "stream_decoder.h"

namespace pc50 {
namespace {

namespace pji = print_job_info;
using hostkit::Row;
using hostkit::SpoolJob;
using stream_golden::ExpectStream;
using stream_golden::Stream;

constexpr int kMaxSteps = 1000;

class CollectingPort : public ABasePort {
 public:
  int SendData(const void* data, int length, int) override {
    bytes.append(static_cast<const char*>(data), static_cast<std::size_t>(length));
    return length;
  }
  std::string bytes;
};

// Rows of 16 pixels, two per colour, and their PackBits form.
const std::map<std::string, std::vector<std::string>> kRows = {
    {"Black", {std::string("\xF0\x0F", 2), std::string("\x00\xFF", 2)}},
    {"Cyan", {std::string("\xAA\x55", 2), std::string("\x12\x34", 2)}},
    {"Gold", {std::string("\xFF\x00", 2), std::string("\x0F\xF0", 2)}},
};
std::string Packed(const std::string& row) { return "\x01" + row; }
const std::string kBlankRecord("\0\0", 2);

class WholeJobTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.ok()); }

  // A one-page job of one copy: the colour list CMYK + Gold, a 16 x 2 image
  // holding the given colours.
  static SpoolJob Job(std::uint8_t ribbon, const std::vector<std::string>& printed) {
    SpoolJob job;
    job.colours = {"Cyan", "Magenta", "Yellow", "Black", "Gold"};
    job.SetRibbonType(ribbon);
    hostkit::Image image;
    hostkit::Cell cell;
    cell.width = 16;
    cell.height = 2;
    for (const std::string& name : printed) {
      int colour = 0;
      while (job.colours[static_cast<std::size_t>(colour)] != name) ++colour;
      hostkit::CellPlane& plane = cell.colours[colour];
      for (const std::string& row : kRows.at(name)) plane.rows.push_back(Row(row.begin(), row.end()));
    }
    image.cells[hostkit::kMain] = cell;
    job.images.push_back(image);
    return job;
  }

  // Runs job through both ways in and checks that both streams are golden.
  // Returns the stream as the host kit's decoder reads it.
  hostkit::DecodeResult ExpectBothWays(const SpoolJob& job, const std::string& golden) {
    const std::string stream = RunObject(job);
    {
      SCOPED_TRACE("driver object into a port");
      ExpectStream(stream, golden);
    }
    {
      SCOPED_TRACE("entry points into an output file");
      ExpectStream(RunProcedural(job), golden);
    }
    hostkit::DecodeResult decoded = hostkit::DecodeStream(stream);
    EXPECT_TRUE(decoded.ok) << decoded.error.ToString();
    return decoded;
  }

  // Transfer k of every row of pass holds the rows of colour name.
  static void ExpectPlane(const hostkit::Pass& pass, int transfer, const std::string& name) {
    ASSERT_LT(static_cast<std::size_t>(transfer), pass.planes.size());
    const hostkit::Bitmap& plane = pass.planes[static_cast<std::size_t>(transfer)];
    const std::vector<std::string>& rows = kRows.at(name);
    ASSERT_EQ(plane.height, static_cast<int>(rows.size()));
    for (int y = 0; y < plane.height; ++y) {
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(plane.Row(y)), 2), rows[static_cast<std::size_t>(y)])
          << name << " row " << y;
    }
  }

  std::string RunObject(const SpoolJob& spool) {
    const std::string spoolPath = dir_ / "object.spl";
    EXPECT_EQ(hostkit::WriteSpoolJob(spool, spoolPath), "");
    JobContext job;
    InitJobContext(&job);
    job.promptMode = 4;
    std::strcpy(job.spoolPath, spoolPath.c_str());
    CollectingPort port;
    APC50Driver driver;
    EXPECT_EQ(driver.InitializePrint(&job, &port), 1) << LastFailure();
    for (int step = 0; job.promptMode != -1 && step < kMaxSteps; ++step) {
      if (driver.ResumePrint(0, 0, 0, 2) != 1) {
        ADD_FAILURE() << "step " << step << " failed: " << LastFailure();
        break;
      }
    }
    EXPECT_EQ(job.promptMode, -1);
    EXPECT_EQ(driver.AbortPrint(), 1) << LastFailure();
    return port.bytes;
  }

  std::string RunProcedural(const SpoolJob& spool) {
    const std::string spoolPath = dir_ / "procedural.spl";
    const std::string outputPath = dir_ / "procedural.prn";
    EXPECT_EQ(hostkit::WriteSpoolJob(spool, spoolPath), "");
    std::vector<char> info(2048, 0);
    auto put16 = [&](std::size_t at, std::int16_t v) { std::memcpy(&info[at], &v, 2); };
    auto get32 = [&](std::size_t at) {
      std::int32_t v;
      std::memcpy(&v, &info[at], 4);
      return v;
    };
    std::memcpy(&info[pji::kSpoolPath], spoolPath.c_str(), spoolPath.size() + 1);
    std::memcpy(&info[pji::kOutputPath], outputPath.c_str(), outputPath.size() + 1);
    put16(pji::kPromptMode, 4);
    put16(pji::kCopies, 1);
    PrintJobInfo* record = reinterpret_cast<PrintJobInfo*>(info.data());
    EXPECT_EQ(INITIALIZEPRINT(record), 1) << pc50_LastFailure();
    for (int step = 0; step < kMaxSteps; ++step) {
      std::int16_t promptMode;
      std::memcpy(&promptMode, &info[pji::kPromptMode], 2);
      if (promptMode == -1) break;
      if (RESUMEPRINT(record) != 1) {
        ADD_FAILURE() << "step " << step << " failed: " << pc50_LastFailure();
        break;
      }
      // The host drains what the step produced.
      const std::int32_t produced = get32(pji::kBytesProduced);
      std::memcpy(&info[pji::kBytesConsumed], &produced, 4);
    }
    EXPECT_EQ(ABORTPRINT(record), 1) << pc50_LastFailure();
    std::ifstream in(outputPath, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(get32(pji::kBytesProduced), static_cast<std::int32_t>(bytes.size()));
    return bytes;
  }

  // The rows of colour name as single-colour transfers.
  static Stream& SinglePass(Stream& stream, int colourCode, const std::string& name) {
    stream.PlaneHeader(colourCode, 2, 0);
    for (const std::string& row : kRows.at(name)) stream.Row('W', Packed(row));
    return stream.EndRaster();
  }

  testing::TempDir dir_;
};

// 16 x 2 pixels at 180 dpi: 90.3 x 11.3 plotter units, rounded up.
constexpr long kPlotX = 91, kPlotY = 12;

TEST_F(WholeJobTest, SingleColourRibbonsGiveOnePassPerColourInPrintOrder) {
  // YMCK order: Cyan is plane 2, Black plane 3.
  Stream golden;
  golden.PageHeader(kPlotX, kPlotY, 180);
  SinglePass(golden, 15, "Cyan");
  SinglePass(golden, 12, "Black");
  golden.NextPage().Reset();
  ExpectBothWays(Job(hostkit::kSingleColourRibbons, {"Cyan", "Black"}), golden.bytes);
}

TEST_F(WholeJobTest, FourColourRibbonInterleavesCyanAndBlack) {
  // Black is plane 0, Cyan plane 1: each row sends Black, Cyan, then empty
  // Magenta and Yellow transfers.
  Stream golden;
  golden.PageHeader(kPlotX, kPlotY, 180).PlaneHeader(5, 2, 0);
  for (int r = 0; r < 2; ++r) {
    golden.Row('V', Packed(kRows.at("Black")[r])).Row('V', Packed(kRows.at("Cyan")[r]));
    golden.Add("\x1b*b0V\x1b*b0W");
  }
  golden.EndRaster().NextPage().Reset();
  const hostkit::DecodeResult decoded =
      ExpectBothWays(Job(hostkit::kFourColourRibbon, {"Cyan", "Black"}), golden.bytes);
  ASSERT_TRUE(decoded.ok);
  ASSERT_EQ(decoded.pages.size(), 1u);
  ASSERT_EQ(decoded.pages[0].passes.size(), 1u);
  const hostkit::Pass& pass = decoded.pages[0].passes[0];
  EXPECT_TRUE(pass.IsFourColour());
  EXPECT_EQ(pass.transfersPerRow, (std::vector<std::uint8_t>{4, 4}));
  ExpectPlane(pass, 0, "Black");
  ExpectPlane(pass, 1, "Cyan");
}

TEST_F(WholeJobTest, GoldAfterTheFourColourPassGetsAPassOfItsOwn) {
  Stream golden;
  golden.PageHeader(kPlotX, kPlotY, 180).PlaneHeader(5, 0, 0);
  for (int r = 0; r < 2; ++r) {
    golden.Row('V', kRows.at("Black")[r]).Row('V', kRows.at("Cyan")[r]);
    golden.Row('V', kBlankRecord).Row('W', kBlankRecord);
  }
  golden.EndRaster();
  SinglePass(golden, 8, "Gold");
  golden.NextPage().Reset();
  const hostkit::DecodeResult decoded =
      ExpectBothWays(Job(hostkit::kFourColourRibbon, {"Cyan", "Black", "Gold"}), golden.bytes);
  ASSERT_TRUE(decoded.ok);
  ASSERT_EQ(decoded.pages.size(), 1u);
  ASSERT_EQ(decoded.pages[0].passes.size(), 2u);
  ExpectPlane(decoded.pages[0].passes[0], 0, "Black");
  ExpectPlane(decoded.pages[0].passes[0], 1, "Cyan");
  EXPECT_EQ(decoded.pages[0].passes[1].colourCode, 8);
  ExpectPlane(decoded.pages[0].passes[1], 0, "Gold");
}

TEST_F(WholeJobTest, SeparationsPrintEachColourAsAJobOnThePlaneOfTheLastPosition) {
  // Every separation goes to the plane at print position 3, Black with the
  // YMCK order, and makes a page of its own.
  SpoolJob job = Job(hostkit::kSingleColourRibbons, {"Cyan", "Gold"});
  job.SetSeparations(true);
  Stream golden;
  for (const char* name : {"Cyan", "Gold"}) {
    golden.PageHeader(kPlotX, kPlotY, 180);
    SinglePass(golden, 12, name);
    golden.NextPage();
  }
  golden.Reset();
  ExpectBothWays(job, golden.bytes);
}

}  // namespace
}  // namespace pc50
