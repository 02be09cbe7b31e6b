// Test support for the raster pipeline: a device that records what it is
// given, per page and plane, as rows of pixels ('#' set, '.' clear), and a
// fixture that writes a spool job and runs it step by step.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "device/output_device.h"
#include "engine/raster_driver.h"
#include "platform/diagnostics.h"
#include "spool/temp_dir.h"
#include "spool_writer.h"

namespace pc50::pipeline_testing {

using hostkit::Cell;
using hostkit::Image;
using hostkit::SpoolJob;

constexpr float kDpi = 180.0f;

// A device printing at 180 dpi that keeps every row it is sent.
class RecordingDevice : public ABaseOutputDevice {
 public:
  struct Page {
    int width = 0, height = 0, announced = 0;  // StartJob arguments
    std::map<int, std::vector<std::string>> rows;  // plane -> rows as pixels (1 bit per pixel)
    std::map<int, std::vector<std::vector<std::uint8_t>>> bytes;  // plane -> rows as sent
  };

  std::vector<Page> pages;
  std::vector<std::string> events;   // StartJob, StartPlane n, EndPlane n, EndPage, EndJob
  std::vector<int> rowPlanes;        // plane of every row, in order
  std::vector<int> progress;
  int pagesPerStart = 1;             // what StartJob answers
  int passes = 1;
  int outputPerRow = 0;              // bytes each row adds to the job's bytesProduced
  int failEndJob = 0;                // EndJob fails from this call on (1 = first)
  int rowsBeforeFailure = -1;        // SendRow fails after this many rows
  bool takePackets = false;          // takes rows as their packets when they need no change
  int packetRows = 0;                // rows taken that way

  void SetRowsPerPlane(unsigned n) { rowsPerPlane = n; }

  void SetDefaultResolution() override { nativeXResolution = nativeYResolution = kDpi; }
  int GetRowNumber() override { return 99; }
  float GetVersion() override { return 1.0f; }
  int GetPrinterName(char* out, ABasePort*) override { return std::strcpy(out, "Recorder") != nullptr; }
  int GetColorList(int, ColorList*) override { return 0; }
  int AbortOutput() override { return 1; }
  int QueryPlane(int) override { return 0; }
  float SetXResolution(float) override { return xResolution = kDpi; }
  float SetYResolution(float) override { return yResolution = kDpi; }
  int LookupColor(const char*, char*) override { return -1; }
  int DecodeDriverOption(const char*, std::uint8_t*, DrvInfo*) override { return 0; }
  int GetPassCount() override { return passes; }
  int ShowProgress(int percent) override {
    progress.push_back(percent);
    return 1;
  }

  int StartJob(int width, int height, int announced) override {
    pages.push_back(Page{width, height, announced, {}, {}});
    events.push_back("StartJob " + std::to_string(width) + "x" + std::to_string(height) + " " +
                     std::to_string(announced));
    return pagesPerStart;
  }
  int EndJob() override {
    events.push_back("EndJob");
    return failEndJob > 0 && --failEndJob == 0 ? 0 : 1;
  }
  int StartPlane(int plane) override {
    events.push_back("StartPlane " + std::to_string(plane));
    return 1;
  }
  int EndPlane(int plane) override {
    events.push_back("EndPlane " + std::to_string(plane));
    return ABaseOutputDevice::EndPlane(plane);
  }
  int EndPage() override {
    events.push_back("EndPage");
    return ABaseOutputDevice::EndPage();
  }

  bool TakesPackedRow(int, int) override { return takePackets; }
  int SendPackedRow(int plane, int byteCount, const std::uint8_t* packed, int length) override {
    ++packetRows;
    return ABaseOutputDevice::SendPackedRow(plane, byteCount, packed, length);  // unpacked, then SendRow
  }

  int SendRow(int plane, int byteCount, const std::uint8_t* row) override {
    if (rowsBeforeFailure == 0) return 0;
    if (rowsBeforeFailure > 0) --rowsBeforeFailure;
    if (pages.empty()) pages.emplace_back();
    Page& page = pages.back();
    std::string pixels(static_cast<std::size_t>(page.width), '.');
    for (int x = 0; x < page.width && x / 8 < byteCount; ++x) {
      if (row[x / 8] & (0x80 >> (x % 8))) pixels[static_cast<std::size_t>(x)] = '#';
    }
    page.rows[plane].push_back(pixels);
    page.bytes[plane].emplace_back(row, row + byteCount);
    rowPlanes.push_back(plane);
    job->bytesProduced += outputPerRow;
    return 1;
  }

  // All rows of plane over every page, in order.
  std::vector<std::string> Rows(int plane) const {
    std::vector<std::string> all;
    for (const Page& page : pages) {
      auto it = page.rows.find(plane);
      if (it != page.rows.end()) all.insert(all.end(), it->second.begin(), it->second.end());
    }
    return all;
  }
};

// Reaches the driver's pipeline state.
class ProbeDriver : public ARasterDriver {
 public:
  using ARasterDriver::cellHeights_;
  using ARasterDriver::cellWidths_;
  using ARasterDriver::copiesPerRow_;
  using ARasterDriver::copyRowsPerLength_;
  using ARasterDriver::copyRowsPerPage_;
  using ARasterDriver::effectivePageLength_;
  using ARasterDriver::firstBandHeight_;
  using ARasterDriver::job_;
  using ARasterDriver::lastBandHeight_;
  using ARasterDriver::lastPageColumns_;
  using ARasterDriver::lastPageCopyRows_;
  using ARasterDriver::lastPageRows_;
  using ARasterDriver::lastRowCopies_;
  using ARasterDriver::layoutValid_;
  using ARasterDriver::leftColumnWidth_;
  using ARasterDriver::lengthRemainder_;
  using ARasterDriver::pageColumns_;
  using ARasterDriver::pageCopyRows_;
  using ARasterDriver::pageCount_;
  using ARasterDriver::pageLength_;
  using ARasterDriver::pageRows_;
  using ARasterDriver::PacketsCanonical;
  using ARasterDriver::pendingGap_;
  using ARasterDriver::pendingRepeats_;
  using ARasterDriver::pendingRowBytes_;
  using ARasterDriver::pendingSeparator_;
  using ARasterDriver::planeBufferSizes_;
  using ARasterDriver::planeBuffers_;
  using ARasterDriver::planesOneAtATime_;
  using ARasterDriver::recordPos_;
  using ARasterDriver::repeatX_;
  using ARasterDriver::repeatY_;
  using ARasterDriver::rightColumnWidth_;
  using ARasterDriver::scratchSizes_;
  using ARasterDriver::separatorPhase_;
  using ARasterDriver::settings_;
  using ARasterDriver::TakeSeparatorPhase;
  using ARasterDriver::uniformPages_;
};

// A 1-bit cell drawn as text rows ('#' set), present in the given colours.
inline Cell Picture(const std::vector<std::string>& rows, const std::vector<int>& colours = {0}) {
  Cell cell;
  cell.height = static_cast<std::uint32_t>(rows.size());
  cell.width = rows.empty() ? 0 : static_cast<std::uint32_t>(rows[0].size());
  for (int colour : colours) {
    hostkit::CellPlane& plane = cell.colours[colour];
    for (const std::string& text : rows) {
      hostkit::Row row((text.size() + 7) / 8, 0);
      for (std::size_t x = 0; x < text.size(); ++x) {
        if (text[x] == '#') row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
      }
      plane.rows.push_back(row);
    }
  }
  return cell;
}

inline double Inches(int pixels) { return pixels / static_cast<double>(kDpi); }

// A job at 180 dpi on media of the given size in pixels, with one image.
inline SpoolJob PixelJob(int mediaColumns, int mediaRows, const Cell& main,
                         std::vector<std::string> colours = {"Black"}) {
  SpoolJob job;
  job.colours = std::move(colours);
  job.xResolution = job.yResolution = kDpi;
  job.mediaWidth = Inches(mediaColumns);
  job.mediaLength = Inches(mediaRows);
  job.images.emplace_back();
  job.images[0].cells[hostkit::kMain] = main;
  return job;
}

class PipelineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    InitJobContext(&job_);
    job_.promptMode = 4;
    std::strcpy(job_.spoolPath, (dir_ / "job.spl").c_str());
    std::strcpy(job_.outputPath, (dir_ / "out.prn").c_str());
    driver_.SetDevice(&device_);
  }

  void Write(const SpoolJob& job) { ASSERT_EQ(hostkit::WriteSpoolJob(job, job_.spoolPath, &built_), ""); }
  void WriteBuilt() { ASSERT_EQ(hostkit::WriteBuiltJob(built_, job_.spoolPath), ""); }

  // Starts the job already written; true when it started.
  bool Start(int copies = 1) {
    job_.copies = copies;
    return driver_.InitializePrint(&job_, nullptr) == 1;
  }

  // Runs steps until the job ends; the number of steps, or -1 when a step
  // failed (its reason in failure_).
  int Finish(int maxSteps = 100000) {
    for (int step = 1; step <= maxSteps; ++step) {
      if (driver_.ResumePrint(0, 0, 0, 2) == 0) {
        failure_ = LastFailure();
        return -1;
      }
      if (driver_.state() == ARasterDriver::JobState::kEnded) return step;
    }
    failure_ = "too many steps";
    return -1;
  }

  int Run(const SpoolJob& job, int copies = 1) {
    Write(job);
    if (!Start(copies)) {
      failure_ = LastFailure();
      return -1;
    }
    return Finish();
  }

  // One step; its result.
  int Step() {
    const int result = driver_.ResumePrint(0, 0, 0, 2);
    if (result == 0) failure_ = LastFailure();
    return result;
  }

  testing::TempDir dir_;
  JobContext job_;
  RecordingDevice device_;
  ProbeDriver driver_;
  hostkit::BuiltJob built_;
  std::string failure_;
};

}  // namespace pc50::pipeline_testing
