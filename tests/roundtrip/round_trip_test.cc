// Whole jobs, spool file to printed picture: generated jobs are written with
// the host kit, printed by the module as a host runs it, and the stream is
// decoded back into pages, passes and plane bitmaps, which must be the
// picture the job describes. A failing job is shrunk to the smallest job
// that still fails before it is reported.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "pc50/pc50.h"
#include "pc50/pc50_ext.h"
#include "roundtrip/expected_picture.h"
#include "roundtrip/job_generator.h"
#include "spool_writer.h"
#include "stream_decoder.h"

namespace pc50::roundtrip {
namespace {

namespace pji = pc50::print_job_info;
using hostkit::DecodeResult;
using hostkit::DecodeStream;

constexpr std::int16_t kPromptsAsk = 0;
constexpr std::int16_t kPromptsOff = 4;
constexpr long kMaxSteps = 200000;

// ---- Running a job as a host does ----

class ScratchDir {
 public:
  ScratchDir() {
    char pattern[] = "/tmp/pc50rt-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made != nullptr) path_ = made;
  }
  ~ScratchDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

struct Printed {
  bool ok = false;
  std::string reason;  // why the job failed
  std::string stream;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::string ModuleReason(const std::string& what) {
  const std::string reason = pc50_LastFailure();
  return what + (reason.empty() ? " (no reason given)" : ": " + reason);
}

// The C entry points with the host's PrintJobInfo record; the host drains
// the output file after every step.
Printed PrintThroughEntryPoints(const std::string& spool, const std::string& output, const HostRequest& request) {
  std::vector<std::uint8_t> record(2048, 0);
  const auto setText = [&](std::size_t offset, const std::string& text) {
    std::memcpy(&record[offset], text.c_str(), text.size() + 1);
  };
  const auto setI16 = [&](std::size_t offset, std::int16_t v) { std::memcpy(&record[offset], &v, 2); };
  const auto i16 = [&](std::size_t offset) {
    std::int16_t v;
    std::memcpy(&v, &record[offset], 2);
    return v;
  };
  setText(pji::kSpoolPath, spool);
  setText(pji::kOutputPath, output);
  setI16(pji::kPromptMode, request.promptsOn ? kPromptsAsk : kPromptsOff);
  setI16(pji::kCopies, static_cast<std::int16_t>(request.copies));
  setI16(pji::kSinglePage, request.singlePage ? 1 : 0);
  PrintJobInfo* info = reinterpret_cast<PrintJobInfo*>(record.data());
  std::remove(output.c_str());

  Printed printed;
  if (INITIALIZEPRINT(info) == 0) {
    printed.reason = ModuleReason("the job did not start");
    return printed;
  }
  for (long step = 0;; ++step) {
    if (step == kMaxSteps) {
      printed.reason = "the job did not end in " + std::to_string(kMaxSteps) + " steps";
      break;
    }
    std::memcpy(&record[pji::kBytesConsumed], &record[pji::kBytesProduced], 4);
    if (RESUMEPRINT(info) == 0) {
      printed.reason = ModuleReason("step " + std::to_string(step + 1) + " failed");
      break;
    }
    if (i16(pji::kPromptMode) == -1) {
      printed.ok = true;
      break;
    }
  }
  if (ABORTPRINT(info) == 0 && printed.ok) {
    printed.ok = false;
    printed.reason = ModuleReason("the job could not be closed");
  }
  printed.stream = ReadFile(output);
  return printed;
}

class StringPort : public ABasePort {
 public:
  int SendData(const void* data, int length, int) override {
    if (length > 0) bytes_.append(static_cast<const char*>(data), static_cast<std::size_t>(length));
    return length;
  }
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

// A driver object with a port that keeps everything it is sent.
Printed PrintThroughDriverObject(const std::string& spool, const HostRequest& request) {
  Printed printed;
  std::unique_ptr<ABasePrinterDriver> driver(createNewPrinterDriver());
  if (!driver) {
    printed.reason = "no driver object";
    return printed;
  }
  JobContext job;
  InitJobContext(&job);
  std::snprintf(job.spoolPath, sizeof job.spoolPath, "%s", spool.c_str());
  job.promptMode = request.promptsOn ? kPromptsAsk : kPromptsOff;
  job.copies = request.copies;
  job.singlePage = request.singlePage ? 1 : 0;
  StringPort port;
  if (driver->InitializePrint(&job, &port) == 0) {
    printed.reason = ModuleReason("the job did not start");
    return printed;
  }
  for (long step = 0; step < kMaxSteps; ++step) {
    if (driver->ResumePrint(0, 0, 0, 2) == 0) {
      printed.reason = ModuleReason("step " + std::to_string(step + 1) + " failed");
      break;
    }
    if (job.promptMode == -1) {
      printed.ok = true;
      break;
    }
  }
  driver->AbortPrint();
  printed.stream = port.bytes();
  return printed;
}

enum class Api { kEntryPoints, kDriverObject };

Printed Print(const hostkit::SpoolJob& job, const HostRequest& request, Api api) {
  ScratchDir dir;
  Printed printed;
  if (dir.path().empty()) {
    printed.reason = "no scratch directory";
    return printed;
  }
  const std::string spool = dir.path() + "/job.spl";
  const std::string error = hostkit::WriteSpoolJob(job, spool);
  if (!error.empty()) {
    printed.reason = "the host kit could not write the job: " + error;
    return printed;
  }
  return api == Api::kEntryPoints ? PrintThroughEntryPoints(spool, dir.path() + "/out.pc50", request)
                                  : PrintThroughDriverObject(spool, request);
}

Printed Print(const JobParams& params, Api api) { return Print(BuildSpoolJob(params), params.request, api); }

// ---- Comparing pictures ----

std::string Hex(const std::uint8_t* bytes, std::size_t n) {
  std::string out;
  char two[4];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(two, sizeof two, "%02X", bytes[i]);
    out += two;
  }
  return out;
}

// A plane as rows of '#' and '.', small pictures only.
std::string Drawing(const std::vector<std::vector<std::uint8_t>>& rows, int width) {
  std::string out;
  for (std::size_t y = 0; y < rows.size() && y < 48; ++y) {
    out += "    ";
    for (int x = 0; x < width && x < 96; ++x) {
      const std::size_t byte = static_cast<std::size_t>(x / 8);
      out += byte < rows[y].size() && (rows[y][byte] >> (7 - x % 8)) & 1 ? '#' : '.';
    }
    out += "\n";
  }
  return out;
}

std::vector<std::vector<std::uint8_t>> Rows(const hostkit::Bitmap& bitmap, int width) {
  std::vector<std::vector<std::uint8_t>> rows;
  const std::size_t bytes = static_cast<std::size_t>((width + 7) / 8);
  for (int y = 0; y < bitmap.height; ++y) {
    std::vector<std::uint8_t> row(bytes, 0);
    std::memcpy(row.data(), bitmap.Row(y), std::min(bytes, bitmap.stride));
    if (width % 8 != 0) row.back() &= static_cast<std::uint8_t>(0xFF << (8 - width % 8));
    rows.push_back(row);
  }
  return rows;
}

std::string PlaneDifference(const std::vector<std::vector<std::uint8_t>>& want,
                            const std::vector<std::vector<std::uint8_t>>& got, int width) {
  for (std::size_t y = 0; y < want.size(); ++y) {
    if (want[y] == got[y]) continue;
    std::ostringstream out;
    out << "row " << y << ": " << Hex(got[y].data(), got[y].size()) << ", expected "
        << Hex(want[y].data(), want[y].size()) << "\n  expected plane:\n"
        << Drawing(want, width) << "  printed plane:\n"
        << Drawing(got, width);
    return out.str();
  }
  return "";
}

std::string PassDifference(const ExpectedPass& want, const hostkit::Pass& got, const ExpectedPage& page) {
  std::ostringstream out;
  if (got.colourCode != want.colourCode || got.compressionMethod != want.compressionMethod ||
      got.resolution != page.resolution || !got.endedByEndRaster) {
    out << "colour " << got.colourCode << " compression " << got.compressionMethod << " at " << got.resolution << " dpi"
        << (got.endedByEndRaster ? "" : " not ended") << ", expected colour " << want.colourCode << " compression "
        << want.compressionMethod << " at " << page.resolution;
    return out.str();
  }
  if (got.rows != want.Rows()) {
    out << got.rows << " rows, expected " << want.Rows();
    return out.str();
  }
  // A plane the pass never sent, or a position no plane prints, is blank.
  const std::vector<std::uint8_t> blank(static_cast<std::size_t>((page.width + 7) / 8), 0);
  for (std::size_t k = 0; k < std::max(want.planes.size(), got.planes.size()); ++k) {
    std::vector<std::vector<std::uint8_t>> wanted = k < want.planes.size() ? want.planes[k].rows : decltype(wanted){};
    std::vector<std::vector<std::uint8_t>> printed =
        k < got.planes.size() ? Rows(got.planes[k], page.width) : decltype(printed){};
    wanted.resize(static_cast<std::size_t>(got.rows), blank);
    printed.resize(static_cast<std::size_t>(got.rows), blank);
    const std::string difference = PlaneDifference(wanted, printed, page.width);
    if (!difference.empty()) return "plane " + std::to_string(k) + ", " + difference;
  }
  return "";
}

std::string PageDifference(const ExpectedPage& want, const hostkit::Page& got) {
  std::ostringstream out;
  if (!got.hasPlotSize || got.plotWidth != want.plotWidth || got.plotLength != want.plotLength) {
    out << "plot size " << got.plotWidth << "x" << got.plotLength << ", expected " << want.plotWidth << "x"
        << want.plotLength << " (" << want.width << "x" << want.length << " pixels)";
  } else if (got.width != want.width) {
    out << "width " << got.width << ", expected " << want.width;
  } else if (got.end != (want.advance ? hostkit::PageEnd::kAdvance : hostkit::PageEnd::kReset)) {
    out << "the page ends the wrong way (" << static_cast<int>(got.end) << ")";
  } else if (got.passes.size() != want.passes.size()) {
    out << got.passes.size() << " passes, expected " << want.passes.size();
  } else {
    for (std::size_t j = 0; j < want.passes.size(); ++j) {
      const std::string difference = PassDifference(want.passes[j], got.passes[j], want);
      if (!difference.empty()) return "pass " + std::to_string(j + 1) + ", " + difference;
    }
  }
  return out.str();
}

// The first difference between the picture and the decoded stream, or "".
std::string FirstDifference(const ExpectedJob& expected, const DecodeResult& decoded) {
  if (!decoded.ok) return "the stream does not decode: " + decoded.error.ToString();
  if (expected.pages.size() != decoded.pages.size()) {
    return "expected " + std::to_string(expected.pages.size()) + " pages, the stream has " +
           std::to_string(decoded.pages.size());
  }
  for (std::size_t i = 0; i < expected.pages.size(); ++i) {
    const std::string difference = PageDifference(expected.pages[i], decoded.pages[i]);
    if (!difference.empty()) {
      return "page " + std::to_string(i + 1) + " (" + expected.pages[i].what + "): " + difference;
    }
  }
  return "";
}

// ---- Checking jobs ----

// The separator phase the module should be at: it is process-wide and moves
// with every dotted separator row of every job.
SeparatorPhase g_phase;

struct Verdict {
  bool passed = false;
  std::string message;
};

Verdict Check(const hostkit::SpoolJob& job, const HostRequest& request) {
  const Printed printed = Print(job, request, Api::kEntryPoints);
  if (!printed.ok) return {false, printed.reason};
  const DecodeResult decoded = DecodeStream(printed.stream);

  // The phase left by earlier jobs decides which dots each plane draws. It
  // is followed from job to job, but a failed job leaves it unknown, so any
  // starting phase that gives the picture will do.
  SeparatorPhase tracked{g_phase.stored, 0};
  const ExpectedJob expected = ExpectedPicture(job, request, &tracked);
  std::string difference = FirstDifference(expected, decoded);
  if (difference.empty()) {
    g_phase = tracked;
    return {true, ""};
  }
  for (int start = 0; tracked.taken > 0 && start < 12; ++start) {
    SeparatorPhase phase{start, 0};
    if (FirstDifference(ExpectedPicture(job, request, &phase), decoded).empty()) {
      g_phase = phase;
      return {true, ""};
    }
  }
  return {false, difference + "\n  layout:\n" + expected.layout};
}

Verdict Check(const JobParams& params) { return Check(BuildSpoolJob(params), params.request); }

// Tries smaller jobs while fails() holds; returns the smallest.
JobParams Shrink(JobParams params, const std::function<bool(const JobParams&)>& fails) {
  for (int budget = 300; budget > 0;) {
    bool smaller = false;
    for (const JobParams& candidate : Simplifications(params)) {
      if (--budget <= 0) break;
      if (fails(candidate)) {
        params = candidate;
        smaller = true;
        break;
      }
    }
    if (!smaller) break;
  }
  return params;
}

// Runs count jobs of family; each failure is shrunk (the first few) and
// reported with the job that shows it.
void CheckFamily(Family family, std::uint32_t firstSeed, int count) {
  int failures = 0;
  for (int i = 0; i < count; ++i) {
    const JobParams params = GenerateJob(family, firstSeed + static_cast<std::uint32_t>(i));
    Verdict verdict = Check(params);
    if (verdict.passed) continue;
    if (++failures > 3) {
      ADD_FAILURE() << "also fails: " << Describe(params);
      continue;
    }
    const JobParams smallest = Shrink(params, [&verdict](const JobParams& candidate) {
      Verdict attempt = Check(candidate);
      if (!attempt.passed) verdict = attempt;
      return !attempt.passed;
    });
    ADD_FAILURE() << "job prints the wrong picture:\n  " << Describe(smallest) << "\n  " << verdict.message
                  << "\n  (shrunk from " << Describe(params) << ")";
  }
}

// ---- The suite ----

TEST(RoundTrip, SingleColourRibbonsPrintOnePassPerPlane) { CheckFamily(Family::kSingleColourRibbons, 1000, 90); }

TEST(RoundTrip, FourColourRibbonPrintsProcessPlanesTogether) { CheckFamily(Family::kFourColourRibbon, 2000, 90); }

TEST(RoundTrip, SeparationsPrintEachPlaneAsAJobOfItsOwn) { CheckFamily(Family::kSeparations, 3000, 50); }

TEST(RoundTrip, DeepPlanesArePassedThroughByTheByte) { CheckFamily(Family::kDeepPlanes, 4000, 50); }

TEST(RoundTrip, DriverObjectWithAPortSendsTheSameStream) {
  for (std::uint32_t seed = 5000; seed < 5040; ++seed) {
    const Family family = static_cast<Family>(seed % 4);
    const JobParams params = GenerateJob(family, seed);
    const Printed c = Print(params, Api::kEntryPoints);
    const Printed object = Print(params, Api::kDriverObject);
    ASSERT_TRUE(c.ok) << Describe(params) << "\n  " << c.reason;
    ASSERT_TRUE(object.ok) << Describe(params) << "\n  " << object.reason;
    EXPECT_EQ(c.stream, object.stream) << Describe(params);
  }
}

TEST(RoundTrip, RowsInTheDevicesPacketsOrInLiteralsPrintTheSameStream) {
  // The module sends rows it does not change as the spool's packets when
  // they are its own; rows packed any other way are packed again. The
  // stream is the same byte for byte.
  for (std::uint32_t seed = 6000; seed < 6080; ++seed) {
    JobParams params = GenerateJob(static_cast<Family>(seed % 4), seed);
    if (seed % 2 == 0) {
      // Half the jobs with rows the module leaves as they are: pixels not
      // repeated, no margin or side cells, whole bytes, copies only down.
      params.xDpi = params.yDpi = 180.0f;
      params.leftMargin = 0;
      for (ImageParams& image : params.images) {
        for (int kind = 1; kind < hostkit::kCellKindCount; ++kind) {
          if (kind == hostkit::kMain || kind == hostkit::kFirstCentre || kind == hostkit::kLastCentre) continue;
          image.sideWidths[kind] = 0;
          image.colours[kind].clear();
        }
        if (!image.firstCentre) image.firstHeight = 0;
        if (!image.lastCentre) image.lastHeight = 0;
        image.mainWidth = 8 * std::max(1u, image.mainWidth / 8);
      }
      params.mediaColumns = static_cast<int>(params.images.front().mainWidth);
    }
    hostkit::SpoolJob literal = BuildSpoolJob(params);
    literal.literalRows = true;
    const Printed own = Print(params, Api::kEntryPoints);
    const Printed repacked = Print(literal, params.request, Api::kEntryPoints);
    ASSERT_TRUE(own.ok) << Describe(params) << "\n  " << own.reason;
    ASSERT_TRUE(repacked.ok) << Describe(params) << "\n  " << repacked.reason;
    EXPECT_EQ(own.stream, repacked.stream) << Describe(params);
  }
}

// Rows of each pass past the length its page announced; 0 when none.
int Overrun(const JobParams& params, std::string* where) {
  const Printed printed = Print(params, Api::kEntryPoints);
  const DecodeResult decoded = DecodeStream(printed.stream);
  SeparatorPhase phase;
  const ExpectedJob expected = ExpectedPicture(BuildSpoolJob(params), params.request, &phase);
  if (!printed.ok || !decoded.ok || decoded.pages.size() != expected.pages.size()) return 0;
  for (std::size_t i = 0; i < expected.pages.size(); ++i) {
    for (const hostkit::Pass& pass : decoded.pages[i].passes) {
      if (pass.rows == expected.pages[i].length) continue;
      if (where)
        *where = "page " + std::to_string(i + 1) + " announces " + std::to_string(expected.pages[i].length) +
                 " rows, a pass has " + std::to_string(pass.rows);
      return pass.rows - expected.pages[i].length;
    }
  }
  return 0;
}

// Every pass has exactly the rows its page header announces, also where a
// page length leaves no row for the separator line (no remainder after its
// copy rows, no top margin): the line is then left out.
TEST(RoundTrip, PassesStayWithinTheAnnouncedPageLength) {
  for (std::uint32_t seed = 6000; seed < 6120; ++seed) {
    const JobParams params = GenerateJob(static_cast<Family>(seed % 4), seed);
    std::string where;
    if (Overrun(params, &where) != 0) ADD_FAILURE() << Describe(params) << "\n  " << where;
  }
}

// A one-colour job whose cells are given row by row: kind -> rows.
hostkit::SpoolJob OneColourJob(JobParams params, const std::map<int, std::vector<hostkit::Row>>& rows) {
  params.colours = {"Black"};
  hostkit::SpoolJob job = BuildSpoolJob(params);
  for (const auto& [kind, cellRows] : rows) job.images[0].cells[kind]->colours[0].rows = cellRows;
  return job;
}

std::vector<std::vector<std::uint8_t>> OnlyPlane(const ExpectedJob& expected) {
  if (expected.pages.size() != 1 || expected.pages[0].passes.size() != 1) return {};
  return expected.pages[0].passes[0].planes[0].rows;
}

// Three copies, two to a row, one copy row per page length: the last band
// under the first row frames both of its copies (its right cell at the
// row's right edge); only the job's last copy row and its bands are one
// copy wide.
TEST(RoundTrip, LastBandFramesTheCopyRowAboveIt) {
  JobParams params;
  ImageParams image;
  image.mainWidth = 2;
  image.mainHeight = 1;
  image.lastCentre = true;
  image.sideWidths[hostkit::kLastRight] = 1;
  image.lastHeight = 1;
  image.colours[hostkit::kMain] = image.colours[hostkit::kLastCentre] = image.colours[hostkit::kLastRight] = {0};
  params.images = {image};
  params.gapX = 1;
  params.pageLength = 3;
  params.mediaColumns = 7;
  params.mediaRows = 6;
  params.request.copies = 3;
  const hostkit::SpoolJob job = OneColourJob(params, {{5, {{0xC0}}}, {4, {{0xC0}}}, {7, {{0x80}}}});
  SeparatorPhase phase;
  const std::vector<std::vector<std::uint8_t>> rows = {
      {0xD8},  // ##.##.  the first copy row
      {0xDC},  // ##.###  its last band, right cell at the edge
      {0xFC},  // ######  separator line
      {0xC0},  // ##....  the last copy
      {0xE0},  // ###...  its last band
  };
  EXPECT_EQ(OnlyPlane(ExpectedPicture(job, params.request, &phase)), rows);
  const Verdict verdict = Check(job, params.request);
  EXPECT_TRUE(verdict.passed) << verdict.message;
}

// A right cell one pixel wide in a column two wide: the padding bits of its
// row byte are not pixels, the rest of the field stays blank.
TEST(RoundTrip, NarrowCellLeavesTheRestOfItsFieldBlank) {
  JobParams params;
  ImageParams image;
  image.mainWidth = 1;
  image.mainHeight = 1;
  image.sideWidths[hostkit::kMiddleRight] = 1;
  image.sideWidths[hostkit::kLastRight] = 2;
  image.lastHeight = 1;
  image.colours[hostkit::kMain] = image.colours[hostkit::kMiddleRight] = image.colours[hostkit::kLastRight] = {0};
  params.images = {image};
  params.mediaColumns = 8;
  params.mediaRows = 8;
  const hostkit::SpoolJob job = OneColourJob(params, {{5, {{0x00}}}, {2, {{0xFF}}}, {7, {{0x00}}}});
  SeparatorPhase phase;
  const std::vector<std::vector<std::uint8_t>> rows = {{0x40}, {0x00}};  // .#.  then ...
  EXPECT_EQ(OnlyPlane(ExpectedPicture(job, params.request, &phase)), rows);
  const Verdict verdict = Check(job, params.request);
  EXPECT_TRUE(verdict.passed) << verdict.message;
}

// The model itself, on a job small enough to draw by hand: three copies of
// a 2x1 cell, two to a row, a one-pixel gap and margin, and a separator
// line between the two page lengths (one plane, so a solid line).
TEST(RoundTrip, ModelPlacesCopiesOnTheMediaGrid) {
  JobParams params;
  params.colours = {"Black"};
  ImageParams image;
  image.mainWidth = 2;
  image.mainHeight = 1;
  image.colours[hostkit::kMain] = {0};
  params.images = {image};
  params.leftMargin = 1;
  params.gapX = 1;
  params.gapY = 0;
  params.topMargin = 1;
  params.pageLength = 3;
  params.mediaColumns = 7;  // two copies fit with a pixel to spare
  params.mediaRows = 6;     // two page lengths
  params.request.copies = 3;
  hostkit::SpoolJob job = BuildSpoolJob(params);
  job.images[0].cells[hostkit::kMain]->colours[0].rows = {{0xC0}};  // both pixels set
  SeparatorPhase phase;
  const ExpectedJob expected = ExpectedPicture(job, params.request, &phase);
  ASSERT_EQ(expected.pages.size(), 1u);
  ASSERT_EQ(expected.pages[0].passes.size(), 1u);
  EXPECT_EQ(expected.pages[0].width, 6);
  EXPECT_EQ(expected.pages[0].length, 5);
  const std::vector<std::vector<std::uint8_t>> rows = {
      {0x00},  // top margin
      {0x6C},  // .##.##  two copies
      {0xFC},  // ######  separator line, the last row of the first page length
      {0x00},  // top margin of the second length
      {0x60},  // .##...  the third copy
  };
  EXPECT_EQ(expected.pages[0].passes[0].planes[0].rows, rows);
  EXPECT_EQ(phase.taken, 0);
}

}  // namespace
}  // namespace pc50::roundtrip
