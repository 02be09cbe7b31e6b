#include "document_job.h"

#include <stdlib.h>

#include <filesystem>
#include <functional>
#include <system_error>

#include "raster.h"

namespace pc50::app {
namespace {

namespace fs = std::filesystem;

constexpr double kHundredthsMmPerInch = 2540.0;

raster::JobSettings RasterSettings(const DocumentSettings& settings, std::function<bool()> cancelled) {
  raster::JobSettings out;
  out.dpi = static_cast<float>(settings.dpi);
  out.media_width = settings.media_width;
  out.media_length = settings.media_length;
  out.top_margin = settings.top_margin;
  out.left_margin = settings.left_margin;
  out.copy_gap = settings.vendor.copy_gap / kHundredthsMmPerInch;
  out.copy_row_gap = static_cast<float>(settings.vendor.row_gap / kHundredthsMmPerInch);
  out.gray = settings.gray;
  out.ribbon = settings.vendor.four_colour_ribbon ? hostkit::kFourColourRibbon : hostkit::kSingleColourRibbons;
  out.order = settings.vendor.print_order_cmyk ? hostkit::kPrintOrderCMYK : hostkit::kPrintOrderYMCK;
  // Pages go to raster files as they come, so memory holds one page.
  out.raster_files = true;
  out.halftone.screen =
      settings.vendor.halftone == "diffusion" ? raster::ScreenKind::kErrorDiffusion : raster::ScreenKind::kDevice;
  out.halftone.black_generation = settings.vendor.black_generation / 100.0;
  switch (settings.fit) {
    case Fit::kNone: out.scaling = raster::Scaling::kNone; break;
    case Fit::kFit: out.scaling = raster::Scaling::kFit; break;
    case Fit::kFill: out.scaling = raster::Scaling::kFill; break;
  }
  out.ghostscript.cancelled = std::move(cancelled);
  return out;
}

JobSettings ModuleSettings(const DocumentSettings& settings) {
  JobSettings out;
  out.copies = settings.copies;
  out.single_page = settings.vendor.single_page;
  return out;
}

// The page of an image in one spot ribbon: darkness (over white, by alpha)
// becomes ink.
raster::PlanePage SpotPage(const raster::RgbaImage& image, const std::string& source, const std::string& spot) {
  raster::PlanePage page;
  page.source = source;
  page.width = static_cast<std::uint32_t>(image.width);
  page.height = static_cast<std::uint32_t>(image.height);
  const std::size_t count = static_cast<std::size_t>(page.width) * page.height;
  for (auto& plane : page.cmyk) plane.assign(count, 0);
  raster::SpotPlane plane;
  plane.name = spot;
  plane.values.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* p = &image.pixels[i * 4];
    const int luminance = (p[0] * 299 + p[1] * 587 + p[2] * 114) / 1000;
    plane.values[i] = static_cast<std::uint8_t>((255 - luminance) * p[3] / 255);
  }
  page.spots.push_back(std::move(plane));
  return page;
}

JobResult Failed(const std::string& reason) {
  JobResult result;
  result.reason = reason;
  return result;
}

JobResult Stopped() {
  JobResult result;
  result.end = JobEnd::kStopped;
  result.reason = "stopped";
  return result;
}

}  // namespace

ScratchDirectory::ScratchDirectory(const std::string& parent) {
  std::string pattern = (parent.empty() ? fs::temp_directory_path().string() : parent) + "/pc50-job-XXXXXX";
  if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

ScratchDirectory::~ScratchDirectory() {
  std::error_code ignored;
  if (!path_.empty()) fs::remove_all(path_, ignored);
}

JobResult PrintDocument(const std::string& document, const DocumentSettings& settings,
                        const std::string& scratch_parent, JobHooks& hooks) {
  ScratchDirectory scratch(scratch_parent);
  if (scratch.path().empty()) return Failed("cannot make a scratch directory in " + scratch_parent);
  const std::string spool = scratch.path() + "/job.spl";
  const raster::JobSettings raster_settings = RasterSettings(settings, [&hooks] { return hooks.ShouldStop(); });
  try {
    const raster::DocumentType type = raster::DetectDocumentType(document);
    if (!settings.vendor.spot_colour.empty() && type != raster::DocumentType::kPdf) {
      // An image in one spot ribbon.
      raster::RgbaImage image = raster::ReadImage(document);
      image = raster::Place(image, *raster_settings.scaling, raster_settings.PrintableWidth(),
                            raster_settings.PrintableLength());
      raster::JobWriter writer(spool, raster_settings);
      writer.AddPage(SpotPage(image, document, settings.vendor.spot_colour));
      writer.Finish();
    } else {
      raster::FileJob job;
      job.documents.push_back(document);
      raster::SpoolFiles(job, raster_settings, spool);
    }
  } catch (const raster::Cancelled&) {
    return Stopped();
  } catch (const raster::Error& error) {
    return Failed(error.what());
  }
  if (hooks.ShouldStop()) return Stopped();
  return RunSpoolJob(spool, ModuleSettings(settings), hooks);
}

struct RasterDocument::State {
  DocumentSettings settings;
  ScratchDirectory scratch;
  std::unique_ptr<raster::JobSettings> raster_settings;
  std::unique_ptr<raster::JobWriter> writer;
  Pixels pixels = Pixels::kRgb;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  int pages = 0;
  raster::RgbaImage rgba;
  raster::PlanePage planes;
  bool in_page = false;
  bool failed = false;
  bool finished = false;
  JobResult result;

  State(const DocumentSettings& s, const std::string& parent) : settings(s), scratch(parent) {}
};

RasterDocument::RasterDocument(const DocumentSettings& settings, const std::string& scratch_parent)
    : state_(std::make_unique<State>(settings, scratch_parent)) {}

RasterDocument::~RasterDocument() = default;

bool RasterDocument::Fail(const std::string& reason) {
  state_->failed = true;
  state_->in_page = false;
  if (reason_.empty()) reason_ = reason;
  return false;
}

bool RasterDocument::StartPage(std::uint32_t width, std::uint32_t height, int dpi, Pixels pixels) {
  State& s = *state_;
  if (s.failed) return false;
  if (s.scratch.path().empty()) return Fail("cannot make a scratch directory");
  if (width == 0 || height == 0 ||
      static_cast<std::uint64_t>(width) * height > static_cast<std::uint64_t>(raster::kMaxImagePixels)) {
    return Fail("page " + std::to_string(s.pages + 1) + " (" + std::to_string(width) + "x" + std::to_string(height) +
                " pixels) is empty or larger than the printer takes");
  }
  if (s.writer && dpi != s.settings.dpi) {
    return Fail("page " + std::to_string(s.pages + 1) + " is at " + std::to_string(dpi) + " dpi, the first at " +
                std::to_string(s.settings.dpi));
  }
  s.settings.dpi = dpi;
  s.width = width;
  s.height = height;
  s.pixels = pixels;
  const std::size_t count = static_cast<std::size_t>(width) * height;
  if (pixels == Pixels::kCmyk) {
    s.planes = raster::PlanePage{};
    s.planes.width = width;
    s.planes.height = height;
    for (auto& plane : s.planes.cmyk) plane.assign(count, 0);
  } else {
    s.rgba.width = static_cast<int>(width);
    s.rgba.height = static_cast<int>(height);
    s.rgba.pixels.assign(count * 4, 255);
  }
  s.in_page = true;
  return true;
}

bool RasterDocument::Line(std::uint32_t y, const std::uint8_t* line) {
  State& s = *state_;
  if (!s.in_page || y >= s.height) return !s.failed;  // lines past the page are ignored
  const std::size_t row = static_cast<std::size_t>(y) * s.width;
  switch (s.pixels) {
    case Pixels::kRgb:
      for (std::uint32_t x = 0; x < s.width; ++x) {
        std::uint8_t* p = &s.rgba.pixels[(row + x) * 4];
        p[0] = line[x * 3];
        p[1] = line[x * 3 + 1];
        p[2] = line[x * 3 + 2];
      }
      break;
    case Pixels::kGray:
      for (std::uint32_t x = 0; x < s.width; ++x) {
        std::uint8_t* p = &s.rgba.pixels[(row + x) * 4];
        p[0] = p[1] = p[2] = line[x];
      }
      break;
    case Pixels::kCmyk:
      for (std::uint32_t x = 0; x < s.width; ++x) {
        for (int c = 0; c < 4; ++c) s.planes.cmyk[static_cast<std::size_t>(c)][row + x] = line[x * 4 + c];
      }
      break;
  }
  return true;
}

bool RasterDocument::EndPage() {
  State& s = *state_;
  if (s.failed) return false;
  if (!s.in_page) return true;
  s.in_page = false;
  const std::string source = "page " + std::to_string(++s.pages);
  try {
    if (!s.writer) {
      s.raster_settings = std::make_unique<raster::JobSettings>(RasterSettings(s.settings, [] { return false; }));
      s.writer = std::make_unique<raster::JobWriter>(s.scratch.path() + "/job.spl", *s.raster_settings);
    }
    if (s.pixels == Pixels::kCmyk) {
      s.planes.source = source;
      s.writer->AddPage(s.planes);
    } else if (!s.settings.vendor.spot_colour.empty()) {
      s.writer->AddPage(SpotPage(s.rgba, source, s.settings.vendor.spot_colour));
    } else {
      s.writer->AddPage(raster::NamedImage{source, s.rgba});
    }
  } catch (const raster::Error& error) {
    return Fail(error.what());
  }
  // One page in memory at a time.
  s.rgba.pixels = {};
  s.planes = raster::PlanePage{};
  return true;
}

JobResult RasterDocument::Finish(JobHooks& hooks) {
  State& s = *state_;
  if (s.finished) return s.result;
  s.finished = true;
  if (s.failed || !s.writer) {
    s.result = Failed(s.failed ? reason_ : "the document has no pages");
    return s.result;
  }
  std::string spool;
  try {
    spool = s.writer->Finish().back();
  } catch (const raster::Error& error) {
    s.result = Failed(error.what());
    return s.result;
  }
  s.result = hooks.ShouldStop() ? Stopped() : RunSpoolJob(spool, ModuleSettings(s.settings), hooks);
  return s.result;
}

}  // namespace pc50::app
