#include "spool_builder.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>

#include "atomic_file.h"
#include "errors.h"
#include "ribbon_colours.h"
#include "spool_writer.h"

namespace pc50::cli {
namespace {

using hostkit::Cell;
using hostkit::CellPlane;

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

// Who supplies the cell of kind on this page, for messages.
std::string Describe(const PageInput& page, const JobInput& input, int kind) {
  if (kind == hostkit::kMain) return "page image " + page.image.source;
  return "cell " + std::string(CellKindName(kind)) + " (" + input.cells.at(kind).source + ")";
}

const RgbaImage* ImageOfKind(const PageInput& page, const JobInput& input, int kind) {
  if (kind == hostkit::kMain) return &page.image.image;
  auto it = input.cells.find(kind);
  return it == input.cells.end() ? nullptr : &it->second.image;
}

// The frame must line up: a band's cells are equally high, a column's cells
// equally wide, and the first and last band's centre cells as wide as the
// page image.
void CheckFrame(const PageInput& page, const JobInput& input) {
  for (const auto& band : kBands) {
    int reference = -1;
    for (int kind : band) {
      const RgbaImage* image = ImageOfKind(page, input, kind);
      if (image == nullptr) continue;
      if (reference < 0) {
        reference = kind;
        continue;
      }
      const RgbaImage& first = *ImageOfKind(page, input, reference);
      if (image->height != first.height) {
        throw Failure(Describe(page, input, kind) + " is " + std::to_string(image->height) +
                      " rows high, but " + Describe(page, input, reference) + " in the same band is " +
                      std::to_string(first.height));
      }
    }
  }
  for (const auto& column : kColumns) {
    int reference = -1;
    for (int kind : column) {
      const RgbaImage* image = ImageOfKind(page, input, kind);
      if (image == nullptr) continue;
      if (reference < 0) {
        reference = kind;
        continue;
      }
      const RgbaImage& first = *ImageOfKind(page, input, reference);
      if (image->width != first.width) {
        throw Failure(Describe(page, input, kind) + " is " + std::to_string(image->width) +
                      " pixels wide, but " + Describe(page, input, reference) +
                      " in the same column is " + std::to_string(first.width));
      }
    }
  }
  for (int kind : {hostkit::kFirstCentre, hostkit::kLastCentre}) {
    const RgbaImage* image = ImageOfKind(page, input, kind);
    if (image != nullptr && image->width != page.image.image.width) {
      throw Failure(Describe(page, input, kind) + " is " + std::to_string(image->width) +
                    " pixels wide; a centre cell must be as wide as the " +
                    Describe(page, input, hostkit::kMain) + " (" +
                    std::to_string(page.image.image.width) + ")");
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

// A cell with the job's process inks halftoned from image.
Cell ProcessCell(const RgbaImage& image, const SpoolSettings& settings) {
  Cell cell;
  cell.width = static_cast<std::uint32_t>(image.width);
  cell.height = static_cast<std::uint32_t>(image.height);
  if (settings.gray) {
    cell.colours[0] = PlaneOf(HalftoneGray(image, settings.halftone));
  } else {
    std::array<BitPlane, 4> inks = HalftoneCmyk(image, settings.halftone);
    for (int i = 0; i < 4; ++i) cell.colours[i] = PlaneOf(std::move(inks[i]));
  }
  return cell;
}

int ColourNumber(const std::vector<std::string>& colours, const std::string& name) {
  for (std::size_t i = 0; i < colours.size(); ++i) {
    if (colours[i] == name) return static_cast<int>(i);
  }
  return -1;
}

std::string Stem(const std::string& spool_path) {
  return std::filesystem::path(spool_path).stem().string();
}

void WriteBytes(const std::filesystem::path& path, const std::string& shown_name,
                const hostkit::Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (out) out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (out) out.flush();
  if (!out) throw Failure("cannot write " + shown_name + ": " + std::strerror(errno));
}

}  // namespace

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

std::vector<std::string> ColourList(const JobInput& input, bool gray) {
  std::vector<std::string> colours;
  if (gray) {
    colours = {"Black"};
  } else {
    colours = {"Cyan", "Magenta", "Yellow", "Black"};
  }
  for (const PageInput& page : input.pages) {
    for (const SpotMask& spot : page.spots) {
      const std::string name = SpotColourName(spot.colour);
      if (!name.empty() && ColourNumber(colours, name) < 0) colours.push_back(name);
    }
  }
  return colours;
}

hostkit::SpoolJob BuildJob(const JobInput& input, const SpoolSettings& settings,
                           const std::string& spool_path) {
  if (input.pages.empty()) throw Failure("no page image given");
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
  job.colours = ColourList(input, settings.gray);

  const bool raster_files = settings.raster_files || input.pages.size() > 1;
  job.placement = raster_files ? hostkit::ImagePlacement::kRasterFiles : hostkit::ImagePlacement::kInline;

  std::map<int, Cell> border_cells;
  for (const auto& [kind, cell_image] : input.cells) {
    if (kind == hostkit::kMain || CellKindName(kind)[0] == '?') {
      throw Failure("cell kind " + std::to_string(kind) + " is not a border cell");
    }
    border_cells[kind] = ProcessCell(cell_image.image, settings);
  }

  for (std::size_t n = 0; n < input.pages.size(); ++n) {
    const PageInput& page = input.pages[n];
    CheckFrame(page, input);
    hostkit::Image image;
    image.cells[hostkit::kMain] = ProcessCell(page.image.image, settings);
    for (const SpotMask& spot : page.spots) {
      const std::string name = SpotColourName(spot.colour);
      if (name.empty()) {
        throw Failure("spot colour \"" + spot.colour + "\" (" + spot.mask.source +
                      ") is not one of the printer's spot ribbons");
      }
      if (spot.mask.image.width != page.image.image.width ||
          spot.mask.image.height != page.image.image.height) {
        throw Failure(name + " mask " + spot.mask.source + " is " + Size(spot.mask.image) +
                      " pixels; it must match the page image " + page.image.source + " (" +
                      Size(page.image.image) + ")");
      }
      const int colour = ColourNumber(job.colours, name);
      if (image.Main().colours.count(colour)) {
        throw Failure("page image " + page.image.source + " has two " + name + " masks");
      }
      image.Main().colours[colour] = PlaneOf(MaskPlane(spot.mask.image));
    }
    for (const auto& [kind, cell] : border_cells) image.cells[kind] = cell;
    job.images.push_back(std::move(image));
    if (raster_files) {
      job.rasterFileNames.push_back(Stem(spool_path) + "-page" + std::to_string(n + 1) + ".dat");
    }
  }
  return job;
}

std::vector<std::string> WriteJobFiles(const hostkit::SpoolJob& job, const std::string& spool_path) {
  hostkit::BuiltJob built;
  const std::string reason = hostkit::BuildSpoolJob(job, &built);
  if (!reason.empty()) throw Failure(spool_path + ": " + reason);

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

}  // namespace pc50::cli
