#include "job_builder.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "error.h"
#include "ribbon_colours.h"
#include "spool_writer.h"

namespace pc50::raster {
namespace {

using hostkit::Cell;
using hostkit::CellPlane;

constexpr const char* kProcessNames[4] = {"Cyan", "Magenta", "Yellow", "Black"};

struct KindName {
  const char* name;
  int kind;
};

constexpr KindName kKindNames[] = {
    {"first-left", hostkit::kFirstLeft}, {"first", hostkit::kFirstCentre},
    {"first-right", hostkit::kFirstRight}, {"left", hostkit::kMiddleLeft},
    {"right", hostkit::kMiddleRight},    {"last-left", hostkit::kLastLeft},
    {"last", hostkit::kLastCentre},      {"last-right", hostkit::kLastRight},
};

// The three bands (the page image first in its band, so messages measure
// against it) and the two side columns, top to bottom.
constexpr int kBands[3][3] = {
    {hostkit::kFirstLeft, hostkit::kFirstCentre, hostkit::kFirstRight},
    {hostkit::kMain, hostkit::kMiddleLeft, hostkit::kMiddleRight},
    {hostkit::kLastLeft, hostkit::kLastCentre, hostkit::kLastRight},
};
constexpr int kColumns[2][3] = {
    {hostkit::kFirstLeft, hostkit::kMiddleLeft, hostkit::kLastLeft},
    {hostkit::kFirstRight, hostkit::kMiddleRight, hostkit::kLastRight},
};

bool EqualIgnoringCase(const std::string& a, const char* b) {
  if (a.size() != std::strlen(b)) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::string Size(const RgbaImage& image) {
  return std::to_string(image.width) + "x" + std::to_string(image.height);
}

// The page's main image as the frame check sees it.
struct MainSize {
  std::string source;
  int width = 0;
  int height = 0;
};

struct Extent {
  int width = 0;
  int height = 0;
};

// Who supplies the cell of kind on this page, for messages.
std::string Describe(const MainSize& page, const std::map<int, NamedImage>& cells, int kind) {
  if (kind == hostkit::kMain) return "page image " + page.source;
  return "cell " + std::string(CellKindName(kind)) + " (" + cells.at(kind).source + ")";
}

std::optional<Extent> ExtentOfKind(const MainSize& page, const std::map<int, NamedImage>& cells, int kind) {
  if (kind == hostkit::kMain) return Extent{page.width, page.height};
  auto it = cells.find(kind);
  if (it == cells.end()) return std::nullopt;
  return Extent{it->second.image.width, it->second.image.height};
}

// The frame must line up: a band's cells are equally high, a column's cells
// equally wide, and the first and last band's centre cells as wide as the
// page image.
void CheckFrame(const MainSize& page, const std::map<int, NamedImage>& cells) {
  // Within each group the first present cell is the reference the others
  // must match in the measured dimension.
  auto check = [&](const auto& groups, int Extent::*size, const char* unit,
                   const char* group) {
    for (const auto& kinds : groups) {
      int reference = -1;
      for (int kind : kinds) {
        const std::optional<Extent> image = ExtentOfKind(page, cells, kind);
        if (!image) continue;
        if (reference < 0) {
          reference = kind;
          continue;
        }
        const Extent first = *ExtentOfKind(page, cells, reference);
        if ((*image).*size != first.*size) {
          throw Error(Describe(page, cells, kind) + " is " + std::to_string((*image).*size) + unit +
                      ", but " + Describe(page, cells, reference) + " in the same " + group +
                      " is " + std::to_string(first.*size));
        }
      }
    }
  };
  check(kBands, &Extent::height, " rows high", "band");
  check(kColumns, &Extent::width, " pixels wide", "column");
  for (int kind : {hostkit::kFirstCentre, hostkit::kLastCentre}) {
    const std::optional<Extent> image = ExtentOfKind(page, cells, kind);
    if (image && image->width != page.width) {
      throw Error(Describe(page, cells, kind) + " is " + std::to_string(image->width) +
                  " pixels wide; a centre cell must be as wide as the " +
                  Describe(page, cells, hostkit::kMain) + " (" + std::to_string(page.width) + ")");
    }
  }
}

CellPlane PlaneOf(BitPlane bits) {
  CellPlane plane;
  plane.bitsPerPixel = 1;
  plane.contentFlag = bits.Empty() ? 0 : 1;
  plane.rows = std::move(bits.rows);
  return plane;
}

// A cell with the job's process inks screened from image.
Cell ProcessCell(const RgbaImage& image, const JobSettings& settings, JobScreens& screens) {
  Cell cell;
  cell.width = static_cast<std::uint32_t>(image.width);
  cell.height = static_cast<std::uint32_t>(image.height);
  if (settings.gray) {
    cell.colours[0] = PlaneOf(HalftoneGray(image, settings.halftone, screens));
  } else {
    std::array<BitPlane, 4> inks = HalftoneCmyk(image, settings.halftone, screens);
    for (int i = 0; i < 4; ++i) cell.colours[i] = PlaneOf(std::move(inks[i]));
  }
  return cell;
}

// The main cell of an RGBA page with its masks; colour_of gives the colour
// number of a spot ribbon.
hostkit::Image RgbaPage(const NamedImage& page, const std::vector<SpotMask>& masks,
                        const std::map<int, NamedImage>& cell_images, const std::map<int, Cell>& cells,
                        const JobSettings& settings, JobScreens& screens,
                        const std::function<int(const std::string&)>& colour_of) {
  CheckFrame({page.source, page.image.width, page.image.height}, cell_images);
  hostkit::Image image;
  image.cells[hostkit::kMain] = ProcessCell(page.image, settings, screens);
  for (const SpotMask& spot : masks) {
    const std::string name = SpotColourName(spot.colour);
    if (name.empty()) {
      throw Error("spot colour \"" + spot.colour + "\" (" + spot.mask.source +
                  ") is not one of the printer's spot ribbons");
    }
    if (spot.mask.image.width != page.image.width || spot.mask.image.height != page.image.height) {
      throw Error(name + " mask " + spot.mask.source + " is " + Size(spot.mask.image) +
                  " pixels; it must match the page image " + page.source + " (" + Size(page.image) + ")");
    }
    const int colour = colour_of(name);
    if (image.Main().colours.count(colour)) {
      throw Error("page image " + page.source + " has two " + name + " masks");
    }
    image.Main().colours[colour] = PlaneOf(MaskPlane(spot.mask.image));
  }
  for (const auto& [kind, cell] : cells) image.cells[kind] = cell;
  return image;
}

std::string Stem(const std::string& spool_path) {
  return std::filesystem::path(spool_path).stem().string();
}

std::string RasterName(const std::string& spool_path, std::size_t index) {
  return Stem(spool_path) + "-page" + std::to_string(index + 1) + ".dat";
}

void WriteBytes(const std::filesystem::path& path, const std::string& shown_name,
                const hostkit::Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (out) out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (out) out.flush();
  if (!out) throw Error("cannot write " + shown_name + ": " + std::strerror(errno));
}

void WriteAtomically(const std::string& path, const hostkit::Bytes& bytes) {
  AtomicFile file(path);
  WriteBytes(file.temp_path(), path, bytes);
  file.Commit();
}

hostkit::SpoolJob HeaderOf(const JobSettings& settings, std::vector<std::string> colours) {
  hostkit::SpoolJob job;
  job.xResolution = settings.dpi;
  job.yResolution = settings.dpi;
  job.mediaWidth = settings.media_width;
  job.mediaLength = settings.media_length;
  job.topMargin = settings.top_margin;
  job.leftMargin = settings.left_margin;
  job.copyGap = settings.copy_gap;
  job.copyRowGap = settings.copy_row_gap;
  job.pageLength = settings.page_length;
  job.colourModel = settings.gray ? 2 : 0;
  job.SetRibbonType(settings.ribbon);
  job.SetPrintOrder(settings.order);
  job.SetSeparations(settings.separations);
  job.colours = std::move(colours);
  return job;
}

std::vector<std::string> ProcessColours(bool gray) {
  if (gray) return {"Black"};
  return {"Cyan", "Magenta", "Yellow", "Black"};
}

std::map<int, Cell> BorderCells(const std::map<int, NamedImage>& images, const JobSettings& settings,
                                JobScreens& screens) {
  std::map<int, Cell> cells;
  for (const auto& [kind, cell_image] : images) {
    if (kind == hostkit::kMain || CellKindName(kind)[0] == '?') {
      throw Error("cell kind " + std::to_string(kind) + " is not a border cell");
    }
    cells[kind] = ProcessCell(cell_image.image, settings, screens);
  }
  return cells;
}

}  // namespace

int JobSettings::PrintableWidth() const {
  return static_cast<int>(std::floor((media_width - left_margin) * dpi + 1e-6));
}

int JobSettings::PrintableLength() const {
  const double length = page_length > 0.0f ? page_length : media_length;
  return static_cast<int>(std::floor((length - top_margin) * dpi + 1e-6));
}

int CellKindByName(const std::string& name) {
  for (const KindName& entry : kKindNames) {
    if (name == entry.name) return entry.kind;
  }
  return -1;
}

const char* CellKindName(int kind) {
  if (kind == hostkit::kMain) return "main";
  for (const KindName& entry : kKindNames) {
    if (kind == entry.kind) return entry.name;
  }
  return "?";
}

std::string CellKindNames() {
  std::string names;
  for (const KindName& entry : kKindNames) {
    if (!names.empty()) names += ", ";
    names += entry.name;
  }
  return names;
}

std::string SpotColourName(const std::string& name) {
  for (const hostkit::RibbonColour& colour : hostkit::kRibbonColours) {
    if (!colour.process && EqualIgnoringCase(name, colour.name)) return colour.name;
  }
  return "";
}

std::string SpotRibbonNames() {
  std::string names;
  for (const hostkit::RibbonColour& colour : hostkit::kRibbonColours) {
    if (colour.process) continue;
    if (!names.empty()) names += ", ";
    names += colour.name;
  }
  return names;
}

std::vector<std::string> ColourList(const JobInput& input, bool gray) {
  std::vector<std::string> colours = ProcessColours(gray);
  for (const PageInput& page : input.pages) {
    for (const SpotMask& spot : page.spots) {
      const std::string name = SpotColourName(spot.colour);
      if (!name.empty() && std::find(colours.begin(), colours.end(), name) == colours.end()) {
        colours.push_back(name);
      }
    }
  }
  return colours;
}

// ---- JobWriter ----

JobWriter::JobWriter(std::string spool_path, JobSettings settings, std::map<int, NamedImage> cells)
    : spool_path_(std::move(spool_path)),
      settings_(std::move(settings)),
      screens_(settings_.halftone.screen, settings_.dpi, settings_.device_screens),
      cell_images_(std::move(cells)),
      colours_(ProcessColours(settings_.gray)) {
  cells_ = BorderCells(cell_images_, settings_, screens_);
}

JobWriter::~JobWriter() {
  if (finished_) return;
  for (const std::string& path : written_) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
  }
}

int JobWriter::Colour(const std::string& name) {
  auto it = std::find(colours_.begin(), colours_.end(), name);
  if (it != colours_.end()) return static_cast<int>(it - colours_.begin());
  colours_.push_back(name);
  return static_cast<int>(colours_.size() - 1);
}

void JobWriter::AddPage(const NamedImage& image, const std::vector<SpotMask>& masks) {
  Add(RgbaPage(image, masks, cell_images_, cells_, settings_, screens_,
               [this](const std::string& name) { return Colour(name); }));
}

void JobWriter::AddPage(const PlanePage& page) {
  const std::size_t pixels = static_cast<std::size_t>(page.width) * page.height;
  auto check = [&](const std::vector<std::uint8_t>& values, const std::string& name) {
    if (values.size() != pixels) {
      throw Error(page.source + ": the " + name + " plane has " + std::to_string(values.size()) +
                  " values for " + std::to_string(page.width) + "x" + std::to_string(page.height) + " pixels");
    }
  };
  for (int i = 0; i < 4; ++i) check(page.cmyk[i], kProcessNames[i]);
  if (page.width == 0 || page.height == 0 || pixels > kMaxImagePixels) {
    throw Error(page.source + ": page of " + std::to_string(page.width) + "x" + std::to_string(page.height) +
                " pixels is outside what the raster step takes (1.." + std::to_string(kMaxImagePixels) + " pixels)");
  }
  // Spot planes by ribbon; two separations naming one ribbon lay the more ink.
  std::map<std::string, std::vector<std::uint8_t>> spots;
  std::vector<std::string> order;
  for (const SpotPlane& spot : page.spots) {
    check(spot.values, "\"" + spot.name + "\"");
    const std::string ribbon = SpotColourName(spot.name);
    if (ribbon.empty()) {
      throw Error(page.source + ": separation \"" + spot.name + "\" is not one of the printer's spot ribbons (" +
                  SpotRibbonNames() + ")");
    }
    if (std::none_of(spot.values.begin(), spot.values.end(), [](std::uint8_t v) { return v != 0; })) continue;
    auto [it, added] = spots.emplace(ribbon, spot.values);
    if (added) {
      order.push_back(ribbon);
    } else {
      std::transform(it->second.begin(), it->second.end(), spot.values.begin(), it->second.begin(),
                     [](std::uint8_t a, std::uint8_t b) { return std::max(a, b); });
    }
  }
  CheckFrame({page.source, static_cast<int>(page.width), static_cast<int>(page.height)}, cell_images_);

  hostkit::Image image;
  Cell main;
  main.width = page.width;
  main.height = page.height;
  auto screen = [&](const std::string& colour, int ink, const std::uint8_t* values) {
    BitPlane plane(page.width, page.height);
    PlaneScreener screener = screens_.For(colour, ink, page.width);
    for (std::uint32_t y = 0; y < page.height; ++y) {
      screener.Row(values + static_cast<std::size_t>(y) * page.width, y, plane.rows[y].data());
    }
    return PlaneOf(std::move(plane));
  };
  if (settings_.gray) {
    // The luminance of the inks as black.
    std::vector<std::uint8_t> black(pixels);
    for (std::size_t i = 0; i < pixels; ++i) {
      const double k = 1.0 - page.cmyk[3][i] / 255.0;
      const double r = (1.0 - page.cmyk[0][i] / 255.0) * k;
      const double g = (1.0 - page.cmyk[1][i] / 255.0) * k;
      const double b = (1.0 - page.cmyk[2][i] / 255.0) * k;
      black[i] = static_cast<std::uint8_t>(std::lround((1.0 - (0.299 * r + 0.587 * g + 0.114 * b)) * 255.0));
    }
    main.colours[0] = screen("Black", 3, black.data());
  } else {
    for (int i = 0; i < 4; ++i) main.colours[i] = screen(kProcessNames[i], i, page.cmyk[i].data());
  }
  for (const std::string& ribbon : order) {
    main.colours[Colour(ribbon)] = screen(ribbon, 3, spots[ribbon].data());
  }
  image.cells[hostkit::kMain] = std::move(main);
  for (const auto& [kind, cell] : cells_) image.cells[kind] = cell;
  Add(std::move(image));
}

void JobWriter::Add(hostkit::Image image) {
  ++pages_;
  if (pages_ == 1 && !settings_.raster_files) {
    held_ = std::move(image);
    return;
  }
  if (held_) {
    WriteRaster(*held_, 0);
    held_.reset();
  }
  WriteRaster(image, pages_ - 1);
}

void JobWriter::WriteRaster(const hostkit::Image& image, std::size_t index) {
  const std::string name = RasterName(spool_path_, index);
  hostkit::RasterFile file;
  const std::string reason = hostkit::BuildRasterFile(Header(), image, index, name, &file);
  if (!reason.empty()) throw Error(spool_path_ + ": " + reason);
  const std::string path = hostkit::RasterFilePath(spool_path_, name);
  WriteAtomically(path, file.bytes);
  written_.push_back(path);
  raster_names_.push_back(name);
}

hostkit::SpoolJob JobWriter::Header() const { return HeaderOf(settings_, colours_); }

void JobWriter::SetMedia(double width, double length) {
  settings_.media_width = width;
  settings_.media_length = length;
}

std::vector<std::string> JobWriter::Finish() {
  if (pages_ == 0) throw Error("no page given");
  hostkit::SpoolJob job = Header();
  hostkit::Bytes spool;
  std::string reason;
  if (held_) {
    job.images.push_back(std::move(*held_));
    held_.reset();
    hostkit::BuiltJob built;
    reason = hostkit::BuildSpoolJob(job, &built);
    spool = std::move(built.spool);
  } else {
    reason = hostkit::BuildRasterIndex(job, raster_names_, &spool);
  }
  if (!reason.empty()) throw Error(spool_path_ + ": " + reason);
  WriteAtomically(spool_path_, spool);
  finished_ = true;
  std::vector<std::string> written = written_;
  written.push_back(std::filesystem::path(spool_path_).string());
  return written;
}

// ---- Whole jobs in memory ----

hostkit::SpoolJob BuildJob(const JobInput& input, const JobSettings& settings, const std::string& spool_path) {
  if (input.pages.empty()) throw Error("no page image given");
  hostkit::SpoolJob job = HeaderOf(settings, ColourList(input, settings.gray));
  const bool raster_files = settings.raster_files || input.pages.size() > 1;
  job.placement = raster_files ? hostkit::ImagePlacement::kRasterFiles : hostkit::ImagePlacement::kInline;

  JobScreens screens(settings.halftone.screen, settings.dpi, settings.device_screens);
  const std::map<int, Cell> cells = BorderCells(input.cells, settings, screens);
  auto colour_of = [&job](const std::string& name) {
    return static_cast<int>(std::find(job.colours.begin(), job.colours.end(), name) - job.colours.begin());
  };
  for (std::size_t n = 0; n < input.pages.size(); ++n) {
    const PageInput& page = input.pages[n];
    job.images.push_back(RgbaPage(page.image, page.spots, input.cells, cells, settings, screens, colour_of));
    if (raster_files) job.rasterFileNames.push_back(RasterName(spool_path, n));
  }
  return job;
}

std::vector<std::string> WriteJobFiles(const hostkit::SpoolJob& job, const std::string& spool_path) {
  hostkit::BuiltJob built;
  const std::string reason = hostkit::BuildSpoolJob(job, &built);
  if (!reason.empty()) throw Error(spool_path + ": " + reason);

  std::vector<std::unique_ptr<AtomicFile>> files;
  for (const hostkit::RasterFile& raster : built.rasterFiles) {
    const std::string path = hostkit::RasterFilePath(spool_path, raster.indexName);
    files.push_back(std::make_unique<AtomicFile>(path));
    WriteBytes(files.back()->temp_path(), path, raster.bytes);
  }
  files.push_back(std::make_unique<AtomicFile>(spool_path));
  WriteBytes(files.back()->temp_path(), spool_path, built.spool);

  std::vector<std::string> written;
  for (auto& file : files) {
    file->Commit();
    written.push_back(file->final_path().string());
  }
  return written;
}

}  // namespace pc50::raster
