// What a PC-50 should print for a spool job, worked out from the job's own
// description: the copies placed on the media grid, each copy framed by its
// border cells, pixels repeated up to the device resolution, blank rows for
// margins and gaps, separator lines between page lengths, and the ribbon
// passes the device makes for the planes of each page.
//
// The picture is built row by row from the page's geometry; it shares no
// code with the module and does not follow its band state machine.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "roundtrip/job_generator.h"
#include "spool_job.h"

namespace pc50::roundtrip {

// One raster plane as the printer sees it: rows of 1-bit pixels, leftmost
// pixel in the top bit, bits past the page width clear.
struct PlanePicture {
  std::vector<std::vector<std::uint8_t>> rows;
};

struct ExpectedPass {
  int colourCode = 0;
  int compressionMethod = 2;
  std::vector<PlanePicture> planes;  // by transfer position within a row
  // Rows of the pass: those of its tallest plane (a position no plane
  // prints has none and reads as blank).
  int Rows() const {
    std::size_t rows = 0;
    for (const PlanePicture& plane : planes) rows = std::max(rows, plane.rows.size());
    return static_cast<int>(rows);
  }
};

struct ExpectedPage {
  std::string what;    // "image 0, page 2 of 3" and the like, for reports
  int width = 0;       // pixels, as announced to the device
  int length = 0;      // rows, as announced to the device
  long plotWidth = 0;  // plot size in plotter units
  long plotLength = 0;
  int resolution = 0;          // raster resolution, dpi
  bool advance = true;         // ends with a page advance (not a single-page job)
  int separatorLines = 0;      // separator lines down the page
  int separatorBlockRows = 0;  // rows the layout gives each line with the next top margin
  std::vector<ExpectedPass> passes;
};

struct ExpectedJob {
  std::vector<ExpectedPage> pages;
  std::string layout;  // the copy layout of each image, for reports
};

// The phase of the dotted separator line. The module keeps it for the whole
// process and never resets it, so a job's picture depends on where earlier
// jobs left it: the caller supplies the phase it expects and gets the phase
// after the job.
struct SeparatorPhase {
  int stored = 0;
  int taken = 0;  // separator rows that used the phase
  // The phase for the next separator row shared by planes planes.
  int Take(int planes);
};

// The pages the job prints.
ExpectedJob ExpectedPicture(const hostkit::SpoolJob& job, const HostRequest& request, SeparatorPhase* phase);

// Plot units (1,016 per inch) for pixels at dpi, rounded the device's way.
long PlotUnits(int pixels, float dpi);

}  // namespace pc50::roundtrip
