// Whole jobs run the way a host runs them, for the thread and fault tests:
// spool jobs for each output mode, a PrintJobInfo record for the C entry
// points, and a host loop that drains the output after every step.
#pragma once

#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "job_record.h"
#include "pc50/pc50.h"
#include "pc50/pc50_ext.h"
#include "spool_job.h"

namespace pc50::jobtest {

namespace pji = pc50::print_job_info;

// How the device prints the page: one pass per plane, the process planes
// interleaved in one four-colour pass, or the four-colour pass assembled in
// a temporary file ahead of a spot-colour pass.
enum class Mode { kSinglePasses = 1, kInterleaved = 2, kAssembled = 3 };

inline const char* ModeName(Mode mode) {
  switch (mode) {
    case Mode::kSinglePasses: return "single-colour passes";
    case Mode::kInterleaved: return "interleaved four-colour pass";
    case Mode::kAssembled: return "assembled four-colour pass with a spot colour";
  }
  return "?";
}

struct JobShape {
  Mode mode = Mode::kSinglePasses;
  unsigned seed = 1;
  std::uint32_t width = 300;   // pixels of the main cell
  std::uint32_t height = 40;   // rows of the main cell
  int images = 1;              // more than one: one raster file per image
  bool separators = true;      // page lengths of one copy row, separator lines between
};

// Rows with runs and noise, so that packed rows vary in length.
inline hostkit::Cell NoisyCell(std::uint32_t width, std::uint32_t height, const std::vector<int>& colours,
                               unsigned seed) {
  hostkit::Cell cell;
  cell.width = width;
  cell.height = height;
  std::uint32_t state = seed * 2654435761u + 12345u;
  for (int colour : colours) {
    hostkit::CellPlane& plane = cell.colours[colour];
    for (std::uint32_t r = 0; r < height; ++r) {
      hostkit::Row row(hostkit::RowBytes(width, 1));
      for (std::size_t b = 0; b < row.size(); ++b) {
        state = state * 1664525u + 1013904223u;
        const unsigned pick = (state >> 24) % 8;
        row[b] = pick < 3 ? 0x00 : pick < 5 ? 0xFF : static_cast<std::uint8_t>(state >> 8);
      }
      plane.rows.push_back(row);
    }
  }
  return cell;
}

// A job of shape: single-colour ribbons with CMYK, or the four-colour ribbon
// with CMYK, or with CMYK and Gold. Odd seeds leave planes out.
inline hostkit::SpoolJob MakeJob(const JobShape& shape) {
  hostkit::SpoolJob job;
  job.colours = {"Cyan", "Magenta", "Yellow", "Black"};
  std::vector<int> planes = shape.seed % 2 ? std::vector<int>{0, 3} : std::vector<int>{0, 1, 2, 3};
  switch (shape.mode) {
    case Mode::kSinglePasses:
      job.SetRibbonType(hostkit::kSingleColourRibbons);
      break;
    case Mode::kInterleaved:
      job.SetRibbonType(hostkit::kFourColourRibbon);
      break;
    case Mode::kAssembled:
      job.SetRibbonType(hostkit::kFourColourRibbon);
      job.colours.push_back("Gold");
      planes.push_back(4);
      break;
  }
  job.topMargin = 3.0 / 180.0;
  if (shape.separators) {
    // One copy row per page length: a separator line between copy rows.
    job.pageLength = static_cast<float>((shape.height + 13) / 180.0);
  }
  for (int i = 0; i < shape.images; ++i) {
    hostkit::Image image;
    image.cells[hostkit::kMain] = NoisyCell(shape.width, shape.height, planes, shape.seed * 31 + i);
    job.images.push_back(image);
  }
  if (shape.images > 1) job.placement = hostkit::ImagePlacement::kRasterFiles;
  return job;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// The host's PrintJobInfo record.
using JobInfo = pc50::hostkit::JobRecord;

constexpr std::int16_t kPromptsOn = 0;
constexpr std::int16_t kPromptsOff = 4;

// One job through the C entry points, all calls on the calling thread. The
// host takes everything written before each step.
class CHostJob {
 public:
  CHostJob(const std::string& spool, const std::string& output, std::int16_t promptMode = kPromptsOff,
           int copies = 3) {
    info_.SetSpoolPath(spool);
    info_.SetOutputPath(output);
    info_.SetI16(pji::kPromptMode, promptMode);
    info_.SetI16(pji::kCopies, static_cast<std::int16_t>(copies));
  }

  int Start() { return INITIALIZEPRINT(info_.get()); }
  int Step() {
    info_.SetI32(pji::kBytesConsumed, info_.I32(pji::kBytesProduced));
    return RESUMEPRINT(info_.get());
  }
  int Abort() { return ABORTPRINT(info_.get()); }

  bool Ended() const { return info_.I16(pji::kPromptMode) == -1; }
  std::int32_t produced() const { return info_.I32(pji::kBytesProduced); }
  void set_produced(std::int32_t bytes) { info_.SetI32(pji::kBytesProduced, bytes); }
  std::string status() const { return info_.Text(pji::kStatusText, 256); }

 private:
  JobInfo info_;
};

struct JobOutcome {
  bool started = false;
  bool ended = false;        // the module closed its output
  long steps = 0;
  std::string reason;        // of the failed call, "" when none failed
  int abortResult = 0;
  std::int32_t produced = 0;  // after the abort
  std::string stream;         // the output file, as far as produced counts
};

// Starts, steps until the job ends, fails or maxSteps is reached, aborts.
inline JobOutcome RunCJob(const std::string& spool, const std::string& output,
                          std::int16_t promptMode = kPromptsOff, int copies = 3, long maxSteps = 100000) {
  JobOutcome outcome;
  CHostJob job(spool, output, promptMode, copies);
  outcome.started = job.Start() != 0;
  if (!outcome.started) {
    outcome.reason = pc50_LastFailure();
    return outcome;
  }
  while (outcome.steps < maxSteps) {
    ++outcome.steps;
    if (job.Step() == 0) {
      outcome.reason = pc50_LastFailure();
      break;
    }
    if (job.Ended()) {
      outcome.ended = true;
      break;
    }
  }
  outcome.abortResult = job.Abort();
  outcome.produced = job.produced();
  outcome.stream = ReadFile(output).substr(0, static_cast<std::size_t>(outcome.produced));
  return outcome;
}

// The first offset at which two streams differ, with a little context, for
// failure messages.
inline std::string FirstDifference(const std::string& got, const std::string& want) {
  std::size_t i = 0;
  while (i < got.size() && i < want.size() && got[i] == want[i]) ++i;
  if (i == got.size() && i == want.size()) return "identical";
  std::ostringstream text;
  text << "first difference at byte " << i << " (sizes " << got.size() << " and " << want.size() << ")";
  return text.str();
}

}  // namespace pc50::jobtest
