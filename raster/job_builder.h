// Turns pages (RGBA images with spot-colour masks, or 8-bit CMYK planes
// with named spot planes) and border-cell images into a host spool job.
//
// JobWriter takes the pages one at a time: each page is separated and
// screened as it comes, its raster file written at once, and the spool file
// written last (under a temporary name, renamed when complete), so memory
// does not grow with the page count. BuildJob and WriteJobFiles build a
// whole job in memory, for small jobs and tests.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "atomic_file.h"
#include "ghostscript.h"
#include "halftone.h"
#include "image_file.h"
#include "spool_job.h"

namespace pc50::raster {

struct JobSettings {
  float dpi = 180.0f;
  double media_width = 4.0;    // inches
  double media_length = 6.0;
  // PDF documents: the media size comes from the first page unless the
  // media was given (media_from_document false).
  bool media_from_document = false;
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
  HalftoneSettings halftone;   // device screen by default
  // PNG and JPEG documents: kNone puts one image pixel on one device
  // pixel; unset means kNone for PNG and kFit for JPEG.
  std::optional<Scaling> scaling;
  GhostscriptSettings ghostscript;
  // The device's screening for ScreenKind::kDevice; empty: asked from the
  // module when the job starts.
  std::vector<ScreenEntry> device_screens;

  // Printable area in device pixels: the media (or page length) less the
  // top and left margins.
  int PrintableWidth() const;
  int PrintableLength() const;
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
// The spot ribbon names, separated by ", ".
std::string SpotRibbonNames();

// The colour list of a job: Cyan, Magenta, Yellow, Black (or Black alone
// for a gray job), then the spot colours in order of first use.
std::vector<std::string> ColourList(const JobInput& input, bool gray);

// Writes a spool job page by page.
//
//   JobWriter writer("job.spl", settings);
//   writer.AddPage(page_1);   // its raster file is written now
//   writer.AddPage(page_2);
//   writer.Finish();          // the spool file appears, complete
//
// A writer destroyed before Finish removes every file it wrote. One page
// without raster_files goes inline into the spool file, as BuildJob does.
class JobWriter {
 public:
  // cells: border cells on every page. Throws Error (a cell that is not a
  // border cell, the device's screening not to be had).
  JobWriter(std::string spool_path, JobSettings settings, std::map<int, NamedImage> cells = {});
  ~JobWriter();
  JobWriter(const JobWriter&) = delete;
  JobWriter& operator=(const JobWriter&) = delete;

  // An RGBA page, one pixel per device pixel, with its spot-colour masks.
  // Throws Error naming the input that does not fit.
  void AddPage(const NamedImage& image, const std::vector<SpotMask>& masks = {});
  // A page of 8-bit ink planes; each spot plane must name a spot ribbon
  // (any case), planes without ink are left out. Throws Error.
  void AddPage(const PlanePage& page);

  // Media size in inches for the header (before Finish).
  void SetMedia(double width, double length);

  // Writes the spool file. Returns the paths written, raster files first.
  // Throws Error (no page, a file that cannot be written).
  std::vector<std::string> Finish();

  const std::vector<std::string>& colours() const { return colours_; }
  std::size_t pages() const { return pages_; }

 private:
  void Add(hostkit::Image image);
  void WriteRaster(const hostkit::Image& image, std::size_t index);
  hostkit::SpoolJob Header() const;
  int Colour(const std::string& name);

  std::string spool_path_;
  JobSettings settings_;
  JobScreens screens_;
  std::map<int, NamedImage> cell_images_;
  std::map<int, hostkit::Cell> cells_;
  std::vector<std::string> colours_;
  std::optional<hostkit::Image> held_;  // page 1 while it may still go inline
  std::size_t pages_ = 0;
  std::vector<std::string> raster_names_;
  std::vector<std::string> written_;
  bool finished_ = false;
};

// Builds the whole job description in memory. spool_path names the raster
// files ("<stem>-page<n>.dat"). Throws Error naming the input that does not
// fit (a mask or cell of the wrong size, an unknown spot colour).
hostkit::SpoolJob BuildJob(const JobInput& input, const JobSettings& settings,
                           const std::string& spool_path);

// Writes the spool file and its raster files. Each appears under its name
// only when complete, the spool file last. Returns the paths written.
// Throws Error.
std::vector<std::string> WriteJobFiles(const hostkit::SpoolJob& job, const std::string& spool_path);

}  // namespace pc50::raster
