// Whole print jobs for the benchmarks: a page image of dithered photo-like
// rows in CMYK (and a spot colour) on the host kit's spool writer, in each of
// the device's three output modes, and a host that runs it through the C
// entry points with prompts off, draining the output after every step.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "pc50/pc50.h"
#include "pc50/pc50_ext.h"
#include "row_kinds.h"
#include "spool_job.h"

namespace pc50::bench {

// How the device prints the page.
enum class OutputMode {
  kSinglePasses = 1,  // single-colour ribbons: one pass per colour, CMYK and Gold
  kFourColour = 2,    // the four-colour ribbon, CMYK only: one interleaved pass
  kFourColourSpot = 3,  // the four-colour ribbon, CMYK and Gold: assembled pass, then Gold
};

struct WholeJobShape {
  OutputMode mode = OutputMode::kFourColourSpot;
  float dpi = 360.0f;        // requested; 90 dpi prints at 180 with every pixel twice
  double widthInches = 10.0;  // of the page image
  double heightInches = 8.0;
  int copiesAcross = 1;       // copies side by side on the media
  int copiesDown = 1;         // rows of copies on the media
};

inline const char* ModeName(OutputMode mode) {
  switch (mode) {
    case OutputMode::kSinglePasses: return "single_colour";
    case OutputMode::kFourColour: return "four_colour";
    case OutputMode::kFourColourSpot: return "four_colour_spot";
  }
  return "?";
}

// The job of shape. Each colour's rows are dithered rows of the same picture
// shifted against each other, so that the planes differ.
inline hostkit::SpoolJob MakeWholeJob(const WholeJobShape& shape) {
  hostkit::SpoolJob job;
  const bool spot = shape.mode != OutputMode::kFourColour;
  job.colours = {"Cyan", "Magenta", "Yellow", "Black"};
  if (spot) job.colours.push_back("Gold");
  job.SetRibbonType(shape.mode == OutputMode::kSinglePasses ? hostkit::kSingleColourRibbons
                                                            : hostkit::kFourColourRibbon);
  job.xResolution = job.yResolution = shape.dpi;
  job.mediaWidth = shape.widthInches * shape.copiesAcross;
  job.mediaLength = shape.heightInches * shape.copiesDown;

  const int width = static_cast<int>(shape.widthInches * shape.dpi + 0.5);
  const int height = static_cast<int>(shape.heightInches * shape.dpi + 0.5);
  const int rowBytes = static_cast<int>(hostkit::RowBytes(static_cast<std::uint32_t>(width), 1));
  constexpr int kDistinctRows = 64;
  std::vector<Bytes> rows;
  for (int y = 0; y < kDistinctRows; ++y) rows.push_back(MakeRow(kDithered, rowBytes, y));

  hostkit::Cell cell;
  cell.width = static_cast<std::uint32_t>(width);
  cell.height = static_cast<std::uint32_t>(height);
  for (int colour = 0; colour < static_cast<int>(job.colours.size()); ++colour) {
    hostkit::CellPlane& plane = cell.colours[colour];
    plane.rows.reserve(static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
      const Bytes& source = rows[static_cast<std::size_t>((y + 13 * colour) % kDistinctRows)];
      hostkit::Row row(source.size());
      const std::size_t shift = static_cast<std::size_t>(37 * colour) % source.size();
      for (std::size_t x = 0; x < source.size(); ++x) row[x] = source[(x + shift) % source.size()];
      // The padding bits past the last pixel stay clear.
      if (width % 8 != 0) row.back() &= static_cast<std::uint8_t>(0xFF << (8 - width % 8));
      plane.rows.push_back(std::move(row));
    }
  }
  hostkit::Image image;
  image.cells[hostkit::kMain] = std::move(cell);
  job.images.push_back(std::move(image));
  return job;
}

inline int Copies(const WholeJobShape& shape) { return shape.copiesAcross * shape.copiesDown; }

struct JobRun {
  bool ok = false;
  std::string reason;
  std::int64_t bytes = 0;  // stream bytes produced
  long steps = 0;
  double longestStepMs = 0;
};

// Runs the job at spool into output through INITIALIZEPRINT, RESUMEPRINT
// until the job ends and ABORTPRINT.
inline JobRun RunWholeJob(const std::string& spool, const std::string& output, int copies) {
  namespace pji = pc50::print_job_info;
  std::vector<std::uint8_t> record(2048, 0);
  const auto setText = [&record](std::size_t offset, const std::string& text) {
    std::memcpy(&record[offset], text.c_str(), text.size() + 1);
  };
  const auto setI16 = [&record](std::size_t offset, std::int16_t value) { std::memcpy(&record[offset], &value, 2); };
  const auto i16 = [&record](std::size_t offset) {
    std::int16_t value;
    std::memcpy(&value, &record[offset], 2);
    return value;
  };
  setText(pji::kSpoolPath, spool);
  setText(pji::kOutputPath, output);
  setI16(pji::kPromptMode, 4);
  setI16(pji::kCopies, static_cast<std::int16_t>(copies));
  PrintJobInfo* info = reinterpret_cast<PrintJobInfo*>(record.data());

  JobRun run;
  if (INITIALIZEPRINT(info) == 0) {
    run.reason = pc50_LastFailure();
    return run;
  }
  for (;;) {
    std::memcpy(&record[pji::kBytesConsumed], &record[pji::kBytesProduced], 4);
    const auto start = std::chrono::steady_clock::now();
    const int ok = RESUMEPRINT(info);
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    ++run.steps;
    if (took.count() > run.longestStepMs) run.longestStepMs = took.count();
    if (ok == 0) {
      run.reason = pc50_LastFailure();
      break;
    }
    if (i16(pji::kPromptMode) == -1) {
      run.ok = true;
      break;
    }
  }
  std::int32_t produced = 0;
  std::memcpy(&produced, &record[pji::kBytesProduced], 4);
  run.bytes = produced;
  if (ABORTPRINT(info) == 0 && run.ok) {
    run.ok = false;
    run.reason = pc50_LastFailure();
  }
  return run;
}

}  // namespace pc50::bench
