// Turns page images (RGBA), spot-colour masks and border-cell images into a
// host spool job, and writes its files so that the spool file appears only
// once everything it names is complete.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "halftone.h"
#include "png_image.h"
#include "spool_job.h"

namespace pc50::cli {

struct SpoolSettings {
  float dpi = 180.0f;
  double media_width = 4.0;    // inches
  double media_length = 6.0;
  double top_margin = 0.0;
  double left_margin = 0.0;
  double copy_gap = 0.0;       // between copies side by side
  float copy_row_gap = 0.0f;   // between copy rows
  float page_length = 0.0f;    // 0: the whole media
  bool gray = false;           // Black-only job (Grayscale model)
  std::uint8_t ribbon = hostkit::kSingleColourRibbons;
  std::uint8_t order = hostkit::kPrintOrderYMCK;
  bool raster_files = false;   // page data in raster files beside the spool file
  bool separations = false;    // each colour in its own plane section
  HalftoneSettings halftone;
};

// An image and where it came from (a file name, or a label for built-in
// images), so a message can name it.
struct NamedImage {
  std::string source;
  RgbaImage image;
};

struct SpotMask {
  std::string colour;  // a spot ribbon name, e.g. "Gold"
  NamedImage mask;     // as large as the page image
};

struct PageInput {
  NamedImage image;
  std::vector<SpotMask> spots;
};

struct JobInput {
  std::vector<PageInput> pages;
  std::map<int, NamedImage> cells;  // border cells by kind, on every page
};

// Border-cell kinds by name: first-left, first, first-right, left, right,
// last-left, last, last-right. -1 for any other name.
int CellKindByName(const std::string& name);
const char* CellKindName(int kind);
// The names above, separated by ", ".
std::string CellKindNames();

// The device's spot ribbon of that name ignoring case ("gold" -> "Gold"),
// or "" when there is none.
std::string SpotColourName(const std::string& name);

// The colour list of a job: Cyan, Magenta, Yellow, Black (or Black alone
// for a gray job), then the spot colours in order of first use.
std::vector<std::string> ColourList(const JobInput& input, bool gray);

// Builds the job description. spool_path names the raster files
// ("<stem>-page<n>.dat"). Throws Failure naming the input that does not
// fit (a mask or cell of the wrong size, an unknown spot colour).
hostkit::SpoolJob BuildJob(const JobInput& input, const SpoolSettings& settings,
                           const std::string& spool_path);

// Writes the spool file and its raster files. Each appears under its name
// only when complete, the spool file last. Returns the paths written.
// Throws Failure.
std::vector<std::string> WriteJobFiles(const hostkit::SpoolJob& job, const std::string& spool_path);

}  // namespace pc50::cli
