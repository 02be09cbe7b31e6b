#include "roundtrip/expected_picture.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <sstream>

namespace pc50::roundtrip {
namespace {

using hostkit::Cell;
using hostkit::Image;
using hostkit::Row;
using hostkit::SpoolJob;
using BitRow = std::vector<std::uint8_t>;
using i64 = long long;

// ---- The device's colours ----

struct RibbonColour {
  const char* name;
  int code;  // the number in the colour select
};
constexpr RibbonColour kColourTable[] = {
    {"Cyan", 15}, {"Magenta", 14}, {"Yellow", 13}, {"Black", 12}, {"Orange", 20}, {"Green", 23},
    {"Red", 21},  {"Blue", 22},    {"White", 10},  {"Gold", 8},   {"Silver", 11},
};
constexpr int kFourColourCartridge = 5;
constexpr int kProcessColours = 4;

int FindColour(const std::string& name) {
  for (int i = 0; i < static_cast<int>(std::size(kColourTable)); ++i) {
    if (strcasecmp(name.c_str(), kColourTable[i].name) == 0) return i;
  }
  return -1;
}
int ColourCode(const std::string& name) {
  const int i = FindColour(name);
  return i < 0 ? -1 : kColourTable[i].code;
}
// Names the device does not know print as process colours.
bool IsSpot(const std::string& name) { return FindColour(name) >= kProcessColours; }

// ---- The job's header in device terms ----

i64 Nearest(double x) { return static_cast<i64>(x + 0.5); }

struct Settings {
  float dpiX = 0, dpiY = 0;  // what the device prints at
  int repeatX = 1, repeatY = 1;
  i64 leftMargin = 0, topMargin = 0, gapX = 0, gapY = 0, pageLength = 0;
  i64 mediaColumns = 0, mediaRows = 0;
  int planeOrder[4] = {1, 2, 3, 0};
  bool singleColourRibbons = false;
  bool grayscale = false;
  bool separations = false;
  bool singlePage = false;
  int copies = 1;
  std::vector<std::string> colours;
  const SpoolJob* job = nullptr;

  int PlaneOf(int colour) const { return colour < 4 ? planeOrder[colour] : colour; }
  bool Printable(int colour) const {
    if (job->version < 6) return true;
    return ((job->colourMask[static_cast<std::size_t>(colour / 8)] >> (colour % 8)) & 1) != 0;
  }
};

float DeviceDpi(float requested) { return requested < 225.0f ? 180.0f : 360.0f; }
int RepeatFor(float requested) { return requested < 180.0f ? static_cast<int>(180.0f / requested) : 1; }

Settings ReadSettings(const SpoolJob& job, const HostRequest& request) {
  Settings s;
  s.job = &job;
  float x = job.xResolution, y = job.yResolution;
  if (job.version < 6) {
    x = static_cast<std::int16_t>(job.xResolution);
    y = static_cast<std::int16_t>(job.yResolution);
  }
  s.dpiX = DeviceDpi(x);
  s.dpiY = DeviceDpi(y);
  s.repeatX = RepeatFor(x);
  s.repeatY = RepeatFor(y);
  s.leftMargin = Nearest(s.dpiX * job.leftMargin);
  s.topMargin = Nearest(s.dpiY * job.topMargin);
  s.gapX = Nearest(s.dpiX * job.copyGap);
  s.gapY = Nearest(s.dpiY * (job.version >= 6 ? static_cast<double>(job.copyRowGap) : job.copyGap));
  s.pageLength = std::max<i64>(0, Nearest(s.dpiY * static_cast<double>(job.pageLength)));
  s.mediaColumns = Nearest(s.dpiX * job.mediaWidth);
  s.mediaRows = Nearest(s.dpiY * job.mediaLength);
  const int ribbon = job.driverOptions[1], order = job.driverOptions[2];
  s.singleColourRibbons = ribbon == hostkit::kSingleColourRibbons;
  if (s.singleColourRibbons && order == hostkit::kPrintOrderYMCK) {
    const int ymck[4] = {2, 1, 0, 3};
    std::copy(ymck, ymck + 4, s.planeOrder);
  } else if (s.singleColourRibbons) {
    const int cmyk[4] = {0, 1, 2, 3};
    std::copy(cmyk, cmyk + 4, s.planeOrder);
  }
  s.grayscale = job.colourModel == 2;
  s.separations = job.HasSeparations();
  s.singlePage = request.singlePage;
  s.copies = request.copies;
  s.colours = job.colours;
  return s;
}

// ---- The frame of one page image ----

struct Frame {
  i64 mainWidth = 0, mainHeight = 0, firstHeight = 0, lastHeight = 0, leftWidth = 0, rightWidth = 0;
};

i64 WidthOf(const Image& image, int kind) { return image.cells[kind] ? image.cells[kind]->width : 0; }
i64 HeightOf(const Image& image, int kind) { return image.cells[kind] ? image.cells[kind]->height : 0; }

Frame FrameOf(const Image& image) {
  Frame f;
  f.mainWidth = WidthOf(image, hostkit::kMain);
  f.mainHeight = HeightOf(image, hostkit::kMain);
  f.firstHeight = std::max({HeightOf(image, 3), HeightOf(image, 8), HeightOf(image, 9)});
  f.lastHeight = std::max({HeightOf(image, 4), HeightOf(image, 6), HeightOf(image, 7)});
  f.leftWidth = std::max({WidthOf(image, 1), WidthOf(image, 6), WidthOf(image, 9)});
  f.rightWidth = std::max({WidthOf(image, 2), WidthOf(image, 7), WidthOf(image, 8)});
  return f;
}

// The cells of a band, left to right.
struct Band {
  int left, centre, right;
};
constexpr Band kFirstBand{9, 3, 8};
constexpr Band kMiddleBand{1, 5, 2};
constexpr Band kLastBand{6, 4, 7};

// ---- Copies on the media ----

// Where the copies go: the numbers the host's layout rules give.
struct Layout {
  i64 pageLength = 0;
  i64 copiesPerRow = 1, copyRowsPerLength = 1, lengthRemainder = 0, copyRowsPerPage = 1;
  i64 pageCount = 1, lastPageCopyRows = 1, lastRowCopies = 1;
  i64 pageRows = 0, pageColumns = 0, lastPageRows = 0, lastPageColumns = 0;
};

i64 LastInLength(i64 rows, i64 perLength) { return rows % perLength == 0 ? perLength : rows % perLength; }

Layout LayOut(const Settings& s, const Frame& f) {
  Layout l;
  const i64 n = s.copies;
  l.pageLength = s.pageLength <= 0 || s.pageLength > s.mediaRows ? s.mediaRows : s.pageLength;
  const i64 sWm = s.repeatX * f.mainWidth, sWl = s.repeatX * f.leftWidth, sWr = s.repeatX * f.rightWidth;
  const i64 sHm = s.repeatY * f.mainHeight, sHf = s.repeatY * f.firstHeight, sHl = s.repeatY * f.lastHeight;
  const i64 pitchX = s.gapX + sWm, pitchY = sHm + s.gapY;
  const i64 frame = sHm + sHl + sHf + s.topMargin;
  const i64 fixedWidth = sWm + sWl + sWr + s.leftMargin;

  // Copies side by side: one more for every pitch the media has beyond the
  // first copy (a part of a pitch counts); at least one, at most n.
  l.copiesPerRow = std::clamp<i64>((s.mediaColumns - fixedWidth - 1) / pitchX + 1, 1, n);
  // A page length holds at least one frame.
  i64 avail = l.pageLength - frame;
  if (avail < 0) {
    avail = 0;
    l.pageLength = frame;
  }
  i64 lengths = s.mediaRows / l.pageLength;
  if (lengths < 1) {
    l.pageLength = s.mediaRows;
    lengths = 1;
  }
  l.copyRowsPerLength = std::max<i64>((avail - 1) / pitchY + 1, 1);
  l.lengthRemainder = l.pageLength - (l.copyRowsPerLength - 1) * pitchY - frame;
  // The whole page lengths on the media and the copy rows the rest takes.
  const i64 rest = s.mediaRows - lengths * l.pageLength - frame;
  const i64 extra = rest > 0 ? (rest - 1) / pitchY + 1 : l.copyRowsPerLength;
  const i64 full = rest > 0 ? lengths : lengths - 1;
  l.copyRowsPerPage = extra + l.copyRowsPerLength * full;
  if (l.copyRowsPerPage * l.copiesPerRow > n) l.copyRowsPerPage = (n - 1) / l.copiesPerRow + 1;

  const i64 perPage = l.copyRowsPerPage * l.copiesPerRow;
  l.pageCount = s.singlePage ? 1 : (n - 1) / perPage + 1;
  l.lastPageCopyRows = (n - (l.pageCount - 1) * perPage - 1) / l.copiesPerRow + 1;
  l.lastRowCopies = n - ((l.pageCount - 1) * l.copyRowsPerPage + l.lastPageCopyRows - 1) * l.copiesPerRow;

  const auto rowsFor = [&](i64 copyRows) {
    return sHm + ((copyRows - 1) / l.copyRowsPerLength) * l.pageLength +
           (LastInLength(copyRows, l.copyRowsPerLength) - 1) * pitchY + sHl + sHf + s.topMargin;
  };
  l.pageRows = rowsFor(l.copyRowsPerPage);
  l.pageColumns = (l.copiesPerRow - 1) * pitchX + fixedWidth;
  l.lastPageRows = rowsFor(l.lastPageCopyRows);
  l.lastPageColumns = l.lastPageCopyRows > 1 ? l.pageColumns : (l.lastRowCopies - 1) * pitchX + fixedWidth;
  if (l.pageCount == 1) {
    l.pageRows = l.lastPageRows;
    l.pageColumns = l.lastPageColumns;
  }
  return l;
}

// Copies in each copy row of each page.
std::vector<std::vector<i64>> CopyRowsOfPages(const Layout& l) {
  std::vector<std::vector<i64>> pages;
  for (i64 k = 0; k < l.pageCount; ++k) {
    const bool last = k == l.pageCount - 1;
    std::vector<i64> rows(static_cast<std::size_t>(last ? l.lastPageCopyRows : l.copyRowsPerPage), l.copiesPerRow);
    if (last) rows.back() = l.lastRowCopies;
    pages.push_back(rows);
  }
  return pages;
}

// ---- Rows ----

int PixelOf(const Row& row, i64 x, int bits) {
  const i64 bit = x * bits;
  const std::size_t byte = static_cast<std::size_t>(bit / 8);
  if (byte >= row.size()) return 0;
  return (row[byte] >> (8 - bits - bit % 8)) & ((1 << bits) - 1);
}

std::vector<std::uint8_t> Pack(const std::vector<int>& pixels, int bits) {
  std::vector<std::uint8_t> bytes((pixels.size() * static_cast<std::size_t>(bits) + 7) / 8, 0);
  for (std::size_t x = 0; x < pixels.size(); ++x) {
    const std::size_t bit = x * static_cast<std::size_t>(bits);
    bytes[bit / 8] |= static_cast<std::uint8_t>(pixels[x] << (8 - bits - bit % 8));
  }
  return bytes;
}

// What the printer gets of a row of bytes on a page width pixels wide: one
// bit per pixel, the row cut or padded to the page.
BitRow OnPage(const std::vector<std::uint8_t>& bytes, i64 width) {
  BitRow row(static_cast<std::size_t>((width + 7) / 8), 0);
  std::copy_n(bytes.begin(), std::min(bytes.size(), row.size()), row.begin());
  if (width % 8 != 0 && !row.empty()) row.back() &= static_cast<std::uint8_t>(0xFF << (8 - width % 8));
  return row;
}

// One plane of one page image.
struct PlaneSource {
  const Image* image;
  int colour;
  int bits;
};

// Row r of a band for one plane: the left margin, the left cell, the centre
// cell once per copy with the gaps between, the right cell. Each cell sits
// at the left of its field, and the cell pixels are repeated across.
std::vector<int> ComposeRow(const Settings& s, const Frame& f, const PlaneSource& plane, const Band& band, i64 r,
                            i64 copies) {
  std::vector<int> pixels(static_cast<std::size_t>(s.leftMargin), 0);
  const auto field = [&](int kind, i64 width) {
    const auto& cell = plane.image->cells[kind];
    const hostkit::CellPlane* data = nullptr;
    if (cell && cell->colours.count(plane.colour) && r < static_cast<i64>(cell->colours.at(plane.colour).rows.size())) {
      data = &cell->colours.at(plane.colour);
    }
    for (i64 x = 0; x < width; ++x) {
      const int value = data && x < cell->width ? PixelOf(data->rows[static_cast<std::size_t>(r)], x, plane.bits) : 0;
      pixels.insert(pixels.end(), static_cast<std::size_t>(s.repeatX), value);
    }
  };
  field(band.left, f.leftWidth);
  for (i64 k = 0; k < copies; ++k) {
    if (k > 0) pixels.insert(pixels.end(), static_cast<std::size_t>(s.gapX), 0);
    field(band.centre, f.mainWidth);
  }
  field(band.right, f.rightWidth);
  return pixels;
}

// The separator line: solid, or one phase of the dotted pattern with which
// the planes of a page share the line.
std::vector<std::uint8_t> SeparatorBytes(i64 columns, int bits, int phase, int planes) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>((columns * bits + 7) / 8), 0xFF);
  if (phase < 0) return bytes;
  if (bits < 8) {
    static constexpr std::uint8_t kPattern[4] = {0x11, 0x22, 0x44, 0x88};
    std::fill(bytes.begin(), bytes.end(), kPattern[phase % 4]);
  } else {
    std::fill(bytes.begin(), bytes.end(), 0);
    for (std::size_t i = static_cast<std::size_t>(phase); i < bytes.size(); i += static_cast<std::size_t>(planes)) {
      bytes[i] = 0xFF;
    }
  }
  return bytes;
}

// The rows of one plane on one page, top to bottom. separatorPhases holds
// the phase of each separator line (-1: solid).
std::vector<BitRow> PlanePage(const Settings& s, const Frame& f, const Layout& l, const PlaneSource& plane,
                              const std::vector<i64>& copyRows, i64 width, const std::vector<int>& separatorPhases,
                              int planes) {
  std::vector<BitRow> rows;
  const BitRow blank(static_cast<std::size_t>((width + 7) / 8), 0);
  const auto blanks = [&](i64 n) { rows.insert(rows.end(), static_cast<std::size_t>(std::max<i64>(n, 0)), blank); };
  const auto band = [&](const Band& cells, i64 height, i64 copies) {
    for (i64 r = 0; r < height; ++r) {
      const BitRow row = OnPage(Pack(ComposeRow(s, f, plane, cells, r, copies), plane.bits), width);
      rows.insert(rows.end(), static_cast<std::size_t>(s.repeatY), row);
    }
  };

  blanks(s.topMargin);
  for (std::size_t start = 0, line = 0; start < copyRows.size(); start += l.copyRowsPerLength, ++line) {
    const std::size_t end = std::min(copyRows.size(), start + static_cast<std::size_t>(l.copyRowsPerLength));
    if (line > 0 && l.lengthRemainder + s.topMargin > 0) {
      // The rest of the page length ends with the separator line; the next
      // length's top margin follows (the line takes its first row when the
      // length has no rest; with no margin either there is no line).
      const BitRow separator =
          OnPage(SeparatorBytes(l.pageColumns, plane.bits, separatorPhases[line - 1], planes), width);
      if (l.lengthRemainder > 0) {
        blanks(l.lengthRemainder - 1);
        rows.push_back(separator);
        blanks(s.topMargin);
      } else {
        rows.push_back(separator);
        blanks(l.lengthRemainder + s.topMargin - 1);
      }
    }
    // The first band frames the copy row below it, the last band the one above.
    band(kFirstBand, f.firstHeight, copyRows[start]);
    for (std::size_t i = start; i < end; ++i) {
      if (i > start) blanks(s.gapY);
      band(kMiddleBand, f.mainHeight, copyRows[i]);
    }
    band(kLastBand, f.lastHeight, copyRows[end - 1]);
  }
  return rows;
}

// ---- Planes and passes ----

struct Plane {
  int index;  // the device's plane number
  PlaneSource source;
  std::string name;
};

// Planes printed for an image, by plane number: the main cell's colours that
// the mask lets print and that have content in some cell.
std::vector<Plane> PlanesOf(const Settings& s, const Image& image) {
  std::vector<Plane> planes;
  for (const auto& [colour, data] : image.cells[hostkit::kMain]->colours) {
    bool content = false;
    for (const auto& cell : image.cells) {
      if (cell && cell->colours.count(colour) && cell->colours.at(colour).contentFlag != 0) content = true;
    }
    if (!content || !s.Printable(colour)) continue;
    planes.push_back(
        {s.PlaneOf(colour), {&image, colour, data.bitsPerPixel}, s.colours[static_cast<std::size_t>(colour)]});
  }
  std::sort(planes.begin(), planes.end(), [](const Plane& a, const Plane& b) { return a.index < b.index; });
  return planes;
}

enum class Mode { kOnePassPerPlane = 1, kFourColour = 2, kFourColourThenSpots = 3 };

// The device looks at the planes in order up to the first spot colour
// within its colour table's reach.
Mode ModeOf(const Settings& s, const std::vector<Plane>& planes) {
  bool process = false, spot = false;
  for (const Plane& plane : planes) {
    if (plane.index >= static_cast<int>(std::size(kColourTable))) break;
    if (IsSpot(plane.name)) {
      spot = true;
      break;
    }
    process = true;
  }
  if (s.singleColourRibbons || s.grayscale || s.separations || !process) return Mode::kOnePassPerPlane;
  return spot ? Mode::kFourColourThenSpots : Mode::kFourColour;
}

std::string PlaneNameAt(const Settings& s, int index) {
  for (std::size_t c = 0; c < s.colours.size(); ++c) {
    if (s.PlaneOf(static_cast<int>(c)) == index) return s.colours[c];
  }
  return "";
}

ExpectedPage PageFrame(const Settings& s, i64 width, i64 length, std::string what) {
  ExpectedPage page;
  page.what = std::move(what);
  page.width = static_cast<int>(width);
  page.length = static_cast<int>(length);
  page.plotWidth = PlotUnits(page.width, s.dpiX);
  page.plotLength = PlotUnits(page.length, s.dpiY);
  page.resolution = static_cast<int>(s.dpiX);
  page.advance = !s.singlePage;
  return page;
}

std::string DescribeLayout(std::size_t index, const Layout& l) {
  std::ostringstream out;
  out << "image " << index << ": " << l.copiesPerRow << " copies per row, " << l.copyRowsPerLength
      << " copy rows per length of " << l.pageLength << " rows (remainder " << l.lengthRemainder << "), "
      << l.copyRowsPerPage << " copy rows per page, " << l.pageCount << " pages, last page " << l.lastPageCopyRows
      << " copy rows with " << l.lastRowCopies << " copies in its last; page " << l.pageColumns << "x" << l.pageRows
      << ", last page " << l.lastPageColumns << "x" << l.lastPageRows << "\n";
  return out.str();
}

// Separator phases by page, plane and line, taken in the order the rows go
// to the device: in the four-colour pass all planes of a line together,
// otherwise a plane's whole page at a time. -1: a solid line.
std::vector<std::vector<std::vector<int>>> TakeSeparatorPhases(const Settings& s, const Layout& l, Mode mode,
                                                               const std::vector<std::vector<i64>>& pages, int planes,
                                                               SeparatorPhase* phase) {
  std::vector<std::vector<std::vector<int>>> phases(pages.size(),
                                                    std::vector<std::vector<int>>(static_cast<std::size_t>(planes)));
  for (std::size_t k = 0; k < pages.size(); ++k) {
    const std::size_t lines = static_cast<std::size_t>((static_cast<i64>(pages[k].size()) - 1) / l.copyRowsPerLength);
    for (auto& plane : phases[k]) plane.assign(lines, -1);
    if (s.separations || planes == 1 || l.lengthRemainder + s.topMargin < 1) continue;
    if (mode == Mode::kFourColour) {
      for (std::size_t line = 0; line < lines; ++line) {
        for (auto& plane : phases[k]) plane[line] = phase->Take(planes);
      }
    } else {
      for (auto& plane : phases[k]) {
        for (std::size_t line = 0; line < lines; ++line) plane[line] = phase->Take(planes);
      }
    }
  }
  return phases;
}

void AddImagePages(const Settings& s, const Image& image, std::size_t index, SeparatorPhase* phase, ExpectedJob* out) {
  const std::vector<Plane> planes = PlanesOf(s, image);
  if (planes.empty()) return;  // nothing of this image prints
  const Frame f = FrameOf(image);
  const Layout l = LayOut(s, f);
  out->layout += DescribeLayout(index, l);
  const Mode mode = ModeOf(s, planes);
  const std::vector<std::vector<i64>> pages = CopyRowsOfPages(l);
  const int n = static_cast<int>(planes.size());
  const auto phases = TakeSeparatorPhases(s, l, mode, pages, n, phase);

  const auto newPage = [&](std::size_t k, const std::string& what) {
    const bool last = static_cast<i64>(k) == l.pageCount - 1;
    ExpectedPage page = PageFrame(s, last ? l.lastPageColumns : l.pageColumns, last ? l.lastPageRows : l.pageRows,
                                  "image " + std::to_string(index) + ", page " + std::to_string(k + 1) + " of " +
                                      std::to_string(pages.size()) + what);
    page.separatorLines = static_cast<int>((static_cast<i64>(pages[k].size()) - 1) / l.copyRowsPerLength);
    page.separatorBlockRows = static_cast<int>(l.lengthRemainder + s.topMargin);
    return page;
  };
  const auto picture = [&](std::size_t k, std::size_t p, const ExpectedPage& page) {
    return PlanePicture{PlanePage(s, f, l, planes[p].source, pages[k], page.width, phases[k][p], n)};
  };

  if (s.separations) {
    // Each plane is a device job of its own, printed under the colour at
    // the last print position.
    const int code = ColourCode(PlaneNameAt(s, s.planeOrder[3]));
    for (std::size_t p = 0; p < planes.size(); ++p) {
      for (std::size_t k = 0; k < pages.size(); ++k) {
        ExpectedPage page = newPage(k, ", plane " + std::to_string(planes[p].index));
        page.passes.push_back({code, 2, {picture(k, p, page)}});
        out->pages.push_back(std::move(page));
      }
    }
    return;
  }
  for (std::size_t k = 0; k < pages.size(); ++k) {
    ExpectedPage page = newPage(k, "");
    if (mode != Mode::kOnePassPerPlane) {
      // The four process positions of each row, blank where no plane prints.
      ExpectedPass pass{kFourColourCartridge, mode == Mode::kFourColour ? 2 : 0, {}};
      for (int position = 0; position < kProcessColours; ++position) {
        PlanePicture plane;
        for (std::size_t p = 0; p < planes.size(); ++p) {
          if (planes[p].index == position && !IsSpot(planes[p].name)) plane = picture(k, p, page);
        }
        pass.planes.push_back(plane);
      }
      page.passes.push_back(pass);
    }
    for (std::size_t p = 0; p < planes.size(); ++p) {
      if (mode != Mode::kOnePassPerPlane && !IsSpot(planes[p].name)) continue;
      page.passes.push_back({ColourCode(planes[p].name), 2, {picture(k, p, page)}});
    }
    out->pages.push_back(std::move(page));
  }
}

}  // namespace

int SeparatorPhase::Take(int planes) {
  ++taken;
  const int phase = ((stored % planes) + planes) % planes;
  stored = (phase + 1) % planes;
  return phase;
}

long PlotUnits(int pixels, float dpi) {
  // The fewest whole plotter units that cover the pixels (the resolutions
  // are whole numbers).
  const long long units = static_cast<long long>(dpi);
  return static_cast<long>((static_cast<long long>(pixels) * 1016 + units - 1) / units);
}

ExpectedJob ExpectedPicture(const hostkit::SpoolJob& job, const HostRequest& request, SeparatorPhase* phase) {
  ExpectedJob out;
  const Settings s = ReadSettings(job, request);
  for (std::size_t i = 0; i < job.images.size(); ++i) {
    if (job.images[i].cells[hostkit::kMain]) AddImagePages(s, job.images[i], i, phase, &out);
  }
  return out;
}

}  // namespace pc50::roundtrip
