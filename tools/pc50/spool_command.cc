#include "spool_command.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>

#include "errors.h"
#include "ribbon_colours.h"
#include "files.h"
#include "spool_builder.h"

namespace pc50::cli {
namespace {

struct SpoolOptions {
  std::vector<std::string> documents;
  std::string output;
  bool gray = false;
  std::vector<std::string> spots;
  std::vector<std::string> cells;
  float dpi = 180.0f;
  std::string media;  // empty: 4x6, or a PDF's own page size
  double top_margin = 0.0;
  double left_margin = 0.0;
  double gap = 0.0;
  float row_gap = 0.0f;
  float page_length = 0.0f;
  std::string ribbon = "single";
  std::string order = "ymck";
  bool raster_files = false;
  bool separations = false;
  std::string halftone = "device";
  double black_generation = 1.0;
  bool fit = false;
  bool fill = false;
  bool none = false;
};

SpoolSettings SettingsOf(const SpoolOptions& options) {
  SpoolSettings settings;
  settings.dpi = options.dpi;
  if (!options.media.empty()) {
    std::tie(settings.media_width, settings.media_length) = ParseMediaSize(options.media);
  } else {
    settings.media_from_document = true;
  }
  settings.top_margin = options.top_margin;
  settings.left_margin = options.left_margin;
  settings.copy_gap = options.gap;
  settings.copy_row_gap = options.row_gap;
  settings.page_length = options.page_length;
  settings.gray = options.gray;
  settings.ribbon = options.ribbon == "four" ? hostkit::kFourColourRibbon : hostkit::kSingleColourRibbons;
  settings.order = options.order == "cmyk" ? hostkit::kPrintOrderCMYK : hostkit::kPrintOrderYMCK;
  settings.raster_files = options.raster_files;
  settings.separations = options.separations;
  settings.halftone.screen = options.halftone == "ordered"     ? ScreenKind::kOrdered
                             : options.halftone == "diffusion" ? ScreenKind::kErrorDiffusion
                                                               : ScreenKind::kDevice;
  settings.halftone.black_generation = options.black_generation;
  if (options.fit + options.fill + options.none > 1) throw UsageError("--fit, --fill and --none exclude each other");
  if (options.fit) settings.scaling = Scaling::kFit;
  if (options.fill) settings.scaling = Scaling::kFill;
  if (options.none) settings.scaling = Scaling::kNone;
  return settings;
}

// The files the options name. The n-th mask of a colour belongs to the
// n-th image document.
FileJob FilesOf(const SpoolOptions& options) {
  FileJob files;
  files.documents = options.documents;
  std::size_t images = 0;
  for (const std::string& path : options.documents) {
    if (DetectDocumentType(path) != DocumentType::kPdf) ++images;
  }
  std::map<std::string, std::size_t> masks_of_colour;
  for (const std::string& spot : options.spots) {
    const auto [colour_text, path] = SplitAssignment(spot, "--spot");
    const std::string colour = SpotColourName(colour_text);
    if (colour.empty()) {
      throw UsageError("--spot " + spot + ": \"" + colour_text + "\" is not a spot ribbon (" +
                       SpotRibbonNames() + ")");
    }
    if (masks_of_colour[colour]++ >= images) {
      throw UsageError("--spot " + spot + ": more " + colour + " masks than page images");
    }
    files.spot_masks.push_back({colour, path});
  }

  for (const std::string& cell : options.cells) {
    const auto [kind_text, path] = SplitAssignment(cell, "--cell");
    const int kind = CellKindByName(kind_text);
    if (kind < 0) {
      throw UsageError("--cell " + cell + ": \"" + kind_text + "\" is not a cell kind (" +
                       CellKindNames() + ")");
    }
    if (files.cells.count(kind)) throw UsageError("--cell " + cell + ": " + kind_text + " given twice");
    files.cells[kind] = path;
  }
  return files;
}

std::string Join(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : ", ") + item;
  return text;
}

int RunSpool(const SpoolOptions& options) {
  const SpoolSettings settings = SettingsOf(options);
  const FileJob files = FilesOf(options);
  const JobSummary done = SpoolFiles(files, settings, options.output);
  for (const std::string& warning : done.warnings) std::fprintf(stderr, "pc50 spool: warning: %s\n", warning.c_str());

  std::printf("wrote %s: %zu page image%s (%dx%d pixels%s) at %g dpi; colours %s; %s, print order %s%s\n",
              options.output.c_str(), done.pages, done.pages == 1 ? "" : "s", done.first_width,
              done.first_height, done.pages == 1 ? "" : " the first", static_cast<double>(settings.dpi),
              Join(done.colours).c_str(),
              settings.ribbon == hostkit::kFourColourRibbon ? "four-colour ribbon" : "single-colour ribbons",
              settings.order == hostkit::kPrintOrderCMYK ? "CMYK" : "YMCK",
              settings.separations ? "; separations" : "");
  for (std::size_t i = 0; i + 1 < done.written.size(); ++i) {
    std::printf("raster file: %s\n", done.written[i].c_str());
  }
  return 0;
}

}  // namespace

std::pair<double, double> ParseMediaSize(const std::string& text) {
  const std::size_t x = text.find_first_of("xX");
  if (x != std::string::npos) {
    const std::string width = text.substr(0, x);
    const std::string length = text.substr(x + 1);
    char* end_w = nullptr;
    char* end_l = nullptr;
    const double w = std::strtod(width.c_str(), &end_w);
    const double l = std::strtod(length.c_str(), &end_l);
    if (!width.empty() && !length.empty() && *end_w == '\0' && *end_l == '\0' && std::isfinite(w) &&
        std::isfinite(l) && w > 0 && l > 0) {
      return {w, l};
    }
  }
  throw UsageError("--media " + text + ": expected WIDTHxLENGTH in inches, e.g. 4x6");
}

std::pair<std::string, std::string> SplitAssignment(const std::string& text, const char* option) {
  const std::size_t equals = text.find('=');
  if (equals == std::string::npos || equals == 0 || equals + 1 == text.size()) {
    throw UsageError(std::string(option) + " " + text + ": expected NAME=FILE");
  }
  return {text.substr(0, equals), text.substr(equals + 1)};
}

Command AddSpoolCommand(CLI::App& parent) {
  auto options = std::make_shared<SpoolOptions>();
  CLI::App* command = parent.add_subcommand(
      "spool", "Write a spool job from PNG, JPEG or PDF documents (the host's raster step)");
  command->add_option("DOCUMENT", options->documents,
                      "Documents: PNG or JPEG images (one page each) or PDF files (one page per page)")
      ->required();
  command->add_option("-o,--output", options->output, "Spool file to write")->required();
  command->add_flag("--gray", options->gray, "Black-only job (Grayscale colour model)");
  command->add_option("--spot", options->spots,
                      "Spot colour mask COLOUR=MASK.png (dark pixels print); the n-th mask of a colour "
                      "goes with the n-th image")
      ->allow_extra_args(false);
  command->add_option("--cell", options->cells,
                      "Border cell KIND=IMAGE.png; KIND: " + CellKindNames())
      ->allow_extra_args(false);
  command->add_option("--dpi", options->dpi, "Resolution of the images")
      ->check(CLI::PositiveNumber)
      ->capture_default_str();
  command->add_option("--media", options->media,
                      "Media size WIDTHxLENGTH in inches [default: 4x6, or a PDF's page size]");
  command->add_option("--top-margin", options->top_margin, "Top margin, inches")
      ->check(CLI::NonNegativeNumber);
  command->add_option("--left-margin", options->left_margin, "Left margin, inches")
      ->check(CLI::NonNegativeNumber);
  command->add_option("--gap", options->gap, "Gap between copies side by side, inches")
      ->check(CLI::NonNegativeNumber);
  command->add_option("--row-gap", options->row_gap, "Gap between rows of copies, inches")
      ->check(CLI::NonNegativeNumber);
  command->add_option("--page-length", options->page_length,
                      "Page length in inches; 0 for the whole media")
      ->check(CLI::NonNegativeNumber);
  command->add_option("--ribbon", options->ribbon, "Ribbon type: four (one CMYK cartridge) or single")
      ->check(CLI::IsMember({"four", "single"}))
      ->capture_default_str();
  command->add_option("--order", options->order, "Print order of single-colour ribbons: ymck or cmyk")
      ->check(CLI::IsMember({"ymck", "cmyk"}))
      ->capture_default_str();
  command->add_flag("--raster-files", options->raster_files,
                    "Page data in raster files beside the spool file (always with several images)");
  command->add_flag("--separations", options->separations, "Each colour in its own plane section");
  command->add_option("--halftone", options->halftone,
                      "Screen: device (the printer's clustered dots), diffusion or ordered")
      ->check(CLI::IsMember({"device", "diffusion", "ordered"}))
      ->capture_default_str();
  command->add_flag("--fit", options->fit, "Scale images to fit the printable area (default for JPEG)");
  command->add_flag("--fill", options->fill, "Scale images to fill the printable area, cutting off the overflow");
  command->add_flag("--none", options->none, "One image pixel per device pixel (default for PNG)");
  command->add_option("--black-generation", options->black_generation,
                      "Share of the common grey printed with black, 0..1")
      ->check(CLI::Range(0.0, 1.0))
      ->capture_default_str();
  return {command, [options] { return RunSpool(*options); }};
}

}  // namespace pc50::cli
