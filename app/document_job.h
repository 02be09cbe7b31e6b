// Documents to the module: a PNG, JPEG or PDF file, or raster pages that
// arrive line by line, become one spool job (in a scratch directory of the
// job's own) through the raster step, and that spool job runs through
// RunSpoolJob. Nothing here knows the IPP server.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "job_runner.h"
#include "vendor_options.h"

namespace pc50::app {

enum class Fit { kNone, kFit, kFill };

struct DocumentSettings {
  int dpi = 360;
  double media_width = 4.0;  // inches
  double media_length = 6.0;
  double top_margin = 0.0;   // inches
  double left_margin = 0.0;
  bool gray = false;         // the Grayscale model: black only
  int copies = 1;            // laid out by the module
  Fit fit = Fit::kFit;       // images: how they meet the printable area
  VendorSettings vendor;
};

// A per-job scratch directory, removed with everything in it.
class ScratchDirectory {
 public:
  explicit ScratchDirectory(const std::string& parent);
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;
  const std::string& path() const { return path_; }  // empty when it could not be made

 private:
  std::string path_;
};

// Prints a PNG, JPEG or PDF file (the type is read from its content).
JobResult PrintDocument(const std::string& document, const DocumentSettings& settings,
                        const std::string& scratch_parent, JobHooks& hooks);

// Raster pages that arrive one line at a time (8-bit sRGB, sGray or CMYK).
class RasterDocument {
 public:
  enum class Pixels { kRgb, kGray, kCmyk };

  RasterDocument(const DocumentSettings& settings, const std::string& scratch_parent);
  ~RasterDocument();

  // false (with reason()) when the page cannot be taken; after a failure
  // every call fails and Finish reports the first reason.
  bool StartPage(std::uint32_t width, std::uint32_t height, int dpi, Pixels pixels);
  bool Line(std::uint32_t y, const std::uint8_t* line);
  bool EndPage();
  // Writes the spool job and runs it; later calls return the first result.
  JobResult Finish(JobHooks& hooks);
  const std::string& reason() const { return reason_; }

 private:
  struct State;
  bool Fail(const std::string& reason);
  std::unique_ptr<State> state_;
  std::string reason_;
};

}  // namespace pc50::app
