// PDF pages through Ghostscript, run as a separate program (fork and exec,
// no shell, -dSAFER -dBATCH -dNOPAUSE) with the psdcmyk separation device:
// one file per page of 8-bit planes Cyan, Magenta, Yellow, Black and one
// plane per spot colour.
//
// A probe at a few dpi lists each page's size and separations. Then each
// page is rendered by a run of its own that declares the page's separations
// that name one of the printer's spot ribbons (ignoring case) and allows no
// others, so every other separation is converted into CMYK through its
// alternate colour space by Ghostscript itself. (One run for all pages does
// not do: Ghostscript keeps only as many declared separations as a page
// uses, the first ones declared, and drops the rest unprinted.) A page's file
// is read and removed before the next page is rendered, so the scratch space
// is one page whatever the page count.
//
// The runs live in a scratch directory of the job that is always removed,
// and are killed when they take longer than the time limit (one page, or
// the probe), when the scratch directory grows past the output limit, or
// when the cancel callback says so.
#pragma once

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "error.h"
#include "scratch_directory.h"

namespace pc50::raster {

// The job was cancelled through the cancel callback.
class Cancelled : public Error {
 public:
  explicit Cancelled(const std::string& reason) : Error(reason) {}
};

// Environment variable naming the Ghostscript program when the settings
// do not.
constexpr const char* kGhostscriptVariable = "PC50_GHOSTSCRIPT";

struct GhostscriptSettings {
  std::string program;             // empty: $PC50_GHOSTSCRIPT, else gs on the PATH
  double time_limit = 120.0;       // seconds of waiting for one page, or for the probe
  std::uint64_t output_limit = 1ull << 30;  // bytes in the scratch directory at any time
  std::function<bool()> cancelled; // polled every few milliseconds while Ghostscript runs
};

// A named 8-bit plane, 255 = full ink.
struct SpotPlane {
  std::string name;
  std::vector<std::uint8_t> values;  // width * height, rows top to bottom
};

// A page of 8-bit ink planes: what a separating rasteriser (or a printer
// application's CMYK raster) hands over.
struct PlanePage {
  std::string source;  // for messages: "art.pdf page 2"
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::array<std::vector<std::uint8_t>, 4> cmyk;  // Cyan, Magenta, Yellow, Black; width * height each
  std::vector<SpotPlane> spots;
};

// The pages of one PDF file.
class PdfPages {
 public:
  // Runs the probe. fit_to (width, length in inches) renders every page
  // fitted onto that size; without it each page keeps its own size.
  // Throws Error naming path (and Ghostscript's message) when Ghostscript
  // is missing or fails, the file is damaged or has no pages, or a page is
  // larger than kMaxImagePixels at dpi; Cancelled when cancelled.
  PdfPages(const std::string& path, double dpi, std::optional<std::pair<double, double>> fit_to,
           GhostscriptSettings settings);
  ~PdfPages();
  PdfPages(const PdfPages&) = delete;
  PdfPages& operator=(const PdfPages&) = delete;

  std::size_t page_count() const { return page_count_; }
  // Size of page 1 in inches, as the PDF gives it (or fit_to).
  std::pair<double, double> first_page_size() const { return first_size_; }
  // Separations that are not spot ribbons, converted into CMYK.
  const std::vector<std::string>& folded() const { return folded_; }

  // The next page into *page; false after the last. Throws as above.
  bool Next(PlanePage* page);

 private:
  struct Run;
  void Check(const char* what);
  [[noreturn]] void Fail(const std::string& what);

  std::string path_;
  double dpi_;
  std::optional<std::pair<double, double>> fit_to_;
  GhostscriptSettings settings_;
  std::string program_;
  ScratchDirectory scratch_;
  std::size_t page_count_ = 0;
  std::pair<double, double> first_size_{0.0, 0.0};
  std::vector<std::string> folded_;
  std::vector<std::vector<std::string>> page_ribbons_;  // each page's spot-ribbon separations
  std::vector<std::string> common_;  // arguments of every run
  std::string input_;                // the document's absolute path
  std::size_t next_page_ = 0;
};

// Reads a psdcmyk page file (uncompressed, 8 bits) into planes of ink.
// Throws Error naming path.
PlanePage ReadPsdPage(const std::string& path);

// The program a run would use under settings (see GhostscriptSettings), or
// an Error saying that none is found.
std::string GhostscriptProgram(const GhostscriptSettings& settings);

}  // namespace pc50::raster
