#include "roundtrip/job_generator.h"

#include <algorithm>
#include <random>
#include <sstream>

namespace pc50::roundtrip {
namespace {

using hostkit::Cell;
using hostkit::CellPlane;
using hostkit::Image;
using hostkit::Row;
using hostkit::SpoolJob;

const std::vector<std::string> kProcessNames = {"Cyan", "Magenta", "Yellow", "Black"};
const std::vector<std::string> kSpotNames = {"Orange", "Green", "Red", "Blue", "White", "Gold", "Silver"};
// A name the device does not know; it counts as a process colour.
const char kUnknownName[] = "Varnish";

constexpr int kSideKinds[] = {1, 2, 6, 7, 8, 9};
constexpr int kFirstBandKinds[] = {3, 8, 9};
constexpr int kLastBandKinds[] = {4, 6, 7};

// Small helper over a fixed engine so that a seed means the same job on
// every standard library.
class Rng {
 public:
  explicit Rng(std::uint32_t seed) : engine_(seed) {}
  int Int(int lo, int hi) { return lo + static_cast<int>(engine_() % static_cast<std::uint32_t>(hi - lo + 1)); }
  bool Chance(int percent) { return Int(0, 99) < percent; }
  template <typename T>
  const T& Pick(const std::vector<T>& items) {
    return items[static_cast<std::size_t>(Int(0, static_cast<int>(items.size()) - 1))];
  }
  template <typename T>
  void Shuffle(std::vector<T>& items) {
    for (std::size_t i = items.size(); i > 1; --i)
      std::swap(items[i - 1], items[static_cast<std::size_t>(Int(0, static_cast<int>(i) - 1))]);
  }
  std::uint32_t Next() { return engine_(); }

 private:
  std::mt19937 engine_;
};

bool IsSpotName(const std::string& name) {
  return std::find(kSpotNames.begin(), kSpotNames.end(), name) != kSpotNames.end();
}

bool InList(const std::vector<int>& list, int value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

int RepeatFor(float requested) { return requested < 180.0f ? static_cast<int>(180.0f / requested) : 1; }

// With the four-colour ribbon the process colours must land on planes 0 to
// 3 and every spot colour after them; other lists are outside what the
// device takes (and it says so).
bool FourColourLayoutHolds(const JobParams& p) {
  if (p.ribbon == hostkit::kSingleColourRibbons || p.colourModel == 2 || p.separations) return true;
  static constexpr int kOrder[4] = {1, 2, 3, 0};
  int lastProcess = -1;
  int firstSpot = 1 << 20;
  for (std::size_t i = 0; i < p.colours.size(); ++i) {
    const int plane = i < 4 ? kOrder[i] : static_cast<int>(i);
    if (IsSpotName(p.colours[i])) {
      firstSpot = std::min(firstSpot, plane);
    } else {
      if (plane > 3) return false;
      lastProcess = std::max(lastProcess, plane);
    }
  }
  return firstSpot > lastProcess;
}

bool Valid(const JobParams& p) {
  if (p.images.empty() || p.colours.empty() || p.request.copies < 1) return false;
  if (p.images.size() > 1 && !p.rasterFiles) return false;
  for (const ImageParams& image : p.images) {
    if (image.mainWidth < 1 || image.mainHeight < 1) return false;
    bool firstBand = false, lastBand = false;
    for (int kind : kFirstBandKinds) firstBand = firstBand || image.HasKind(kind);
    for (int kind : kLastBandKinds) lastBand = lastBand || image.HasKind(kind);
    if (firstBand != (image.firstHeight > 0) || lastBand != (image.lastHeight > 0)) return false;
    for (int kind = 0; kind < hostkit::kCellKindCount; ++kind) {
      for (int colour : image.colours[kind]) {
        if (colour < 0 || colour >= static_cast<int>(p.colours.size())) return false;
      }
    }
  }
  return FourColourLayoutHolds(p);
}

// ---- Drawing jobs ----

std::vector<std::string> ColourList(Family family, Rng& rng, std::uint8_t ribbon) {
  std::vector<std::string> colours;
  const bool fourColour =
      family == Family::kFourColourRibbon || (family == Family::kDeepPlanes && ribbon != hostkit::kSingleColourRibbons);
  if (!fourColour) {
    std::vector<std::string> pool = kProcessNames;
    pool.insert(pool.end(), kSpotNames.begin(), kSpotNames.end());
    pool.push_back(kUnknownName);
    rng.Shuffle(pool);
    if (rng.Chance(30)) return {"Cyan", "Magenta", "Yellow", "Black"};
    pool.resize(static_cast<std::size_t>(rng.Int(1, 5)));
    return pool;
  }
  std::vector<std::string> process = kProcessNames;
  rng.Shuffle(process);
  process.resize(static_cast<std::size_t>(rng.Chance(40) ? 4 : rng.Int(1, 4)));
  if (rng.Chance(10)) process.back() = kUnknownName;
  std::vector<std::string> spots = kSpotNames;
  rng.Shuffle(spots);
  spots.resize(static_cast<std::size_t>(rng.Chance(50) ? 0 : rng.Int(1, 2)));
  colours = process;
  colours.insert(colours.end(), spots.begin(), spots.end());
  return colours;
}

std::vector<int> SomeOf(Rng& rng, const std::vector<int>& from, int percent) {
  std::vector<int> chosen;
  for (int colour : from) {
    if (rng.Chance(percent)) chosen.push_back(colour);
  }
  return chosen;
}

ImageParams DrawImage(Family family, Rng& rng, int colourCount) {
  ImageParams image;
  const bool deep = family == Family::kDeepPlanes;
  image.mainWidth = static_cast<std::uint32_t>(rng.Int(1, deep ? 12 : 20));
  image.mainHeight = static_cast<std::uint32_t>(rng.Int(1, 4));
  if (rng.Chance(60)) {
    const int percent = rng.Int(20, 60);
    for (int kind : kSideKinds) {
      if (rng.Chance(percent)) image.sideWidths[kind] = static_cast<std::uint32_t>(rng.Int(1, 6));
    }
    image.firstCentre = rng.Chance(percent);
    image.lastCentre = rng.Chance(percent);
  }
  if (image.HasKind(3) || image.HasKind(8) || image.HasKind(9))
    image.firstHeight = static_cast<std::uint32_t>(rng.Int(1, 3));
  if (image.HasKind(4) || image.HasKind(6) || image.HasKind(7))
    image.lastHeight = static_cast<std::uint32_t>(rng.Int(1, 3));

  std::vector<int> all;
  for (int c = 0; c < colourCount; ++c) all.push_back(c);
  image.colours[hostkit::kMain] = SomeOf(rng, all, 75);
  if (image.colours[hostkit::kMain].empty()) image.colours[hostkit::kMain].push_back(rng.Pick(all));
  const std::vector<int>& main = image.colours[hostkit::kMain];
  for (int kind = 1; kind < hostkit::kCellKindCount; ++kind) {
    if (kind == hostkit::kMain || !image.HasKind(kind)) continue;
    image.colours[kind] = SomeOf(rng, main, 80);
    // Now and then a colour the main cell lacks: it has no plane and must
    // not print.
    if (rng.Chance(10)) {
      const int extra = rng.Pick(all);
      if (!InList(image.colours[kind], extra)) image.colours[kind].push_back(extra);
    }
  }
  for (int colour : all) {
    image.bitsPerPixel[colour] = deep && rng.Chance(70) ? rng.Pick(std::vector<int>{2, 4, 8}) : 1;
  }
  if (rng.Chance(15)) {
    // A colour with nothing in any cell: the device drops its plane.
    const int colour = rng.Pick(main);
    for (int kind = 0; kind < hostkit::kCellKindCount; ++kind) {
      if (InList(image.colours[kind], colour)) image.emptyContent.insert({kind, colour});
    }
  } else if (rng.Chance(15)) {
    const int colour = rng.Pick(main);
    image.emptyContent.insert({hostkit::kMain, colour});
  }
  image.blankEmptyCells = rng.Chance(70);
  image.shuffledDirectory = rng.Chance(20);
  image.contentSeed = rng.Next();
  return image;
}

// Media around the first image's frame: sometimes too narrow or too short
// for one copy, mostly room for a few.
void DrawMedia(Rng& rng, JobParams& p) {
  const ImageParams& image = p.images.front();
  const int repX = RepeatFor(p.xDpi), repY = RepeatFor(p.yDpi);
  const int sides = static_cast<int>(std::max({image.Width(1), image.Width(6), image.Width(9)}) +
                                     std::max({image.Width(2), image.Width(7), image.Width(8)}));
  const int copyWidth = repX * static_cast<int>(image.mainWidth);
  const int frameWidth = p.leftMargin + repX * sides + copyWidth;
  const int pitchX = p.gapX + copyWidth;
  p.mediaColumns = std::max(1, frameWidth + rng.Int(-copyWidth / 2 - (rng.Chance(5) ? pitchX : 0), 3 * pitchX));

  const int frameRows = repY * static_cast<int>(image.mainHeight + image.firstHeight + image.lastHeight) + p.topMargin;
  const int pitchY = repY * static_cast<int>(image.mainHeight) + p.gapY;
  p.mediaRows = std::max(1, frameRows + rng.Int(-frameRows / 3, 8 * pitchY));
  p.pageLength = rng.Chance(35) ? 0 : std::max(1, rng.Int(frameRows - 2, frameRows + 2 * pitchY));
}

// ---- Cell contents ----

Row RandomRow(Rng& rng, std::size_t bytes) {
  Row row(bytes);
  const int style = rng.Int(0, 3);
  for (std::uint8_t& byte : row) {
    switch (style) {
      case 0:
        byte = static_cast<std::uint8_t>(rng.Next());
        break;
      case 1:
        byte = rng.Chance(50) ? 0xFF : 0x00;
        break;
      case 2:
        byte = rng.Chance(80) ? 0x00 : static_cast<std::uint8_t>(rng.Next());
        break;
      default:
        byte = static_cast<std::uint8_t>(rng.Next() | rng.Next());
        break;
    }
  }
  return row;
}

Cell MakeCell(const ImageParams& image, int kind) {
  Cell cell;
  cell.width = image.Width(kind);
  cell.height = image.Height(kind);
  for (int colour : image.colours[kind]) {
    Rng rng(image.contentSeed * 2654435761u + static_cast<std::uint32_t>(kind * 131 + colour));
    CellPlane& plane = cell.colours[colour];
    const auto bits = image.bitsPerPixel.find(colour);
    plane.bitsPerPixel = bits == image.bitsPerPixel.end() ? 1 : bits->second;
    const bool empty = image.emptyContent.count({kind, colour}) != 0;
    plane.contentFlag = empty ? 0 : 1;
    const std::size_t bytes = hostkit::RowBytes(cell.width, plane.bitsPerPixel);
    for (std::uint32_t r = 0; r < cell.height; ++r) {
      plane.rows.push_back(empty && image.blankEmptyCells ? Row(bytes, 0) : RandomRow(rng, bytes));
    }
  }
  return cell;
}

// ---- Shrinking ----

void RemoveColour(JobParams& p, int colour) {
  p.colours.erase(p.colours.begin() + colour);
  const auto renumber = [colour](int c) { return c > colour ? c - 1 : c; };
  std::set<int> masked;
  for (int c : p.maskedOff) {
    if (c != colour) masked.insert(renumber(c));
  }
  p.maskedOff = masked;
  for (ImageParams& image : p.images) {
    for (auto& list : image.colours) {
      std::vector<int> kept;
      for (int c : list) {
        if (c != colour) kept.push_back(renumber(c));
      }
      list = kept;
    }
    std::map<int, int> bits;
    for (const auto& [c, b] : image.bitsPerPixel) {
      if (c != colour) bits[renumber(c)] = b;
    }
    image.bitsPerPixel = bits;
    std::set<std::pair<int, int>> empty;
    for (const auto& [kind, c] : image.emptyContent) {
      if (c != colour) empty.insert({kind, renumber(c)});
    }
    image.emptyContent = empty;
  }
}

void RemoveKind(ImageParams& image, int kind) {
  if (kind == 3) image.firstCentre = false;
  if (kind == 4) image.lastCentre = false;
  if (kind != 3 && kind != 4) image.sideWidths[kind] = 0;
  image.colours[kind].clear();
  if (!image.HasKind(3) && !image.HasKind(8) && !image.HasKind(9)) image.firstHeight = 0;
  if (!image.HasKind(4) && !image.HasKind(6) && !image.HasKind(7)) image.lastHeight = 0;
}

template <typename T>
std::string Join(const T& items) {
  std::ostringstream out;
  bool first = true;
  for (const auto& item : items) {
    out << (first ? "" : ",") << item;
    first = false;
  }
  return out.str();
}

}  // namespace

bool ImageParams::HasKind(int kind) const {
  if (kind == hostkit::kMain) return true;
  if (kind == hostkit::kFirstCentre) return firstCentre;
  if (kind == hostkit::kLastCentre) return lastCentre;
  return kind > 0 && kind < hostkit::kCellKindCount && sideWidths[kind] > 0;
}

std::uint32_t ImageParams::Width(int kind) const {
  if (!HasKind(kind)) return 0;
  if (kind == hostkit::kMain || kind == hostkit::kFirstCentre || kind == hostkit::kLastCentre) return mainWidth;
  return sideWidths[kind];
}

std::uint32_t ImageParams::Height(int kind) const {
  if (!HasKind(kind)) return 0;
  if (kind == 3 || kind == 8 || kind == 9) return firstHeight;
  if (kind == 4 || kind == 6 || kind == 7) return lastHeight;
  return mainHeight;
}

float DeviceResolution(float requested) {
  if (requested < 225.0f) return 180.0f;
  return 360.0f;
}

JobParams GenerateJob(Family family, std::uint32_t seed) {
  for (std::uint32_t attempt = 0;; ++attempt) {
    Rng rng(seed * 7919u + attempt * 104729u + static_cast<std::uint32_t>(family) * 15485863u);
    JobParams p;
    p.seed = seed;
    const std::vector<float> dpis = {180.0f, 180.0f, 360.0f, 90.0f, 120.0f};
    p.xDpi = rng.Pick(dpis);
    p.yDpi = rng.Chance(70) ? p.xDpi : rng.Pick(dpis);
    p.version = rng.Chance(10) ? 5 : 6;
    switch (family) {
      case Family::kSingleColourRibbons:
        p.ribbon = hostkit::kSingleColourRibbons;
        break;
      case Family::kFourColourRibbon:
        p.ribbon = rng.Chance(85) ? hostkit::kFourColourRibbon : 2;
        break;
      case Family::kSeparations:
      case Family::kDeepPlanes:
        p.ribbon = rng.Chance(50) ? hostkit::kSingleColourRibbons : hostkit::kFourColourRibbon;
        break;
    }
    p.printOrder = rng.Chance(50) ? hostkit::kPrintOrderYMCK : hostkit::kPrintOrderCMYK;
    p.colourModel = static_cast<std::int16_t>(rng.Chance(80) ? 0 : rng.Int(1, 2));
    if (family == Family::kFourColourRibbon && p.colourModel == 2 && rng.Chance(70)) p.colourModel = 0;
    p.separations = family == Family::kSeparations;
    p.colours = ColourList(family, rng, p.ribbon);
    if (rng.Chance(15)) p.maskedOff.insert(rng.Int(0, static_cast<int>(p.colours.size()) - 1));

    p.leftMargin = rng.Chance(50) ? 0 : rng.Int(1, 5);
    p.topMargin = rng.Chance(40) ? 0 : rng.Int(1, 3);
    p.gapX = rng.Chance(40) ? 0 : rng.Int(1, 4);
    p.gapY = rng.Chance(40) ? 0 : rng.Int(1, 3);
    if (p.version < 6) {
      // One gap for both directions, in inches across.
      const double inches = p.gapX / DeviceResolution(p.xDpi);
      p.gapY = static_cast<int>(DeviceResolution(p.yDpi) * inches + 0.5);
    }
    const int images = rng.Chance(75) ? 1 : rng.Int(2, 3);
    p.rasterFiles = images > 1 || rng.Chance(30);
    for (int i = 0; i < images; ++i) p.images.push_back(DrawImage(family, rng, static_cast<int>(p.colours.size())));
    DrawMedia(rng, p);
    p.request.copies = rng.Chance(20) ? 1 : rng.Int(2, 7);
    p.request.singlePage = rng.Chance(15);
    p.request.promptsOn = rng.Chance(10);
    if (Valid(p) || attempt > 50) return p;
  }
}

hostkit::SpoolJob BuildSpoolJob(const JobParams& p) {
  SpoolJob job;
  const double rx = DeviceResolution(p.xDpi), ry = DeviceResolution(p.yDpi);
  job.version = p.version;
  job.xResolution = p.xDpi;
  job.yResolution = p.yDpi;
  job.mediaWidth = p.mediaColumns / rx;
  job.mediaLength = p.mediaRows / ry;
  job.topMargin = p.topMargin / ry;
  job.leftMargin = p.leftMargin / rx;
  job.copyGap = p.gapX / rx;
  job.copyRowGap = static_cast<float>(p.gapY / ry);
  job.pageLength = static_cast<float>(p.pageLength / ry);
  job.colourModel = p.colourModel;
  job.SetRibbonType(p.ribbon);
  job.SetPrintOrder(p.printOrder);
  job.SetSeparations(p.separations);
  job.colours = p.colours;
  for (int colour : p.maskedOff) job.SetColourPrintable(colour, false);
  job.placement = p.rasterFiles ? hostkit::ImagePlacement::kRasterFiles : hostkit::ImagePlacement::kInline;
  for (const ImageParams& params : p.images) {
    Image image;
    for (int kind = 1; kind < hostkit::kCellKindCount; ++kind) {
      if (params.HasKind(kind)) image.cells[kind] = MakeCell(params, kind);
    }
    if (params.shuffledDirectory) {
      for (int kind = hostkit::kCellKindCount - 1; kind > 0; --kind) {
        if (params.HasKind(kind)) image.directoryOrder.push_back(kind);
      }
    }
    job.images.push_back(image);
  }
  return job;
}

std::string Describe(const JobParams& p) {
  std::ostringstream out;
  out << "seed " << p.seed << ": v" << p.version << " " << p.xDpi << "x" << p.yDpi << " dpi, ribbon " << int{p.ribbon}
      << " order " << int{p.printOrder} << " model " << p.colourModel << ", colours [" << Join(p.colours) << "]";
  if (!p.maskedOff.empty()) out << " masked {" << Join(p.maskedOff) << "}";
  if (p.separations) out << ", separations";
  out << (p.rasterFiles ? ", raster files" : ", inline") << "; left " << p.leftMargin << " top " << p.topMargin
      << " gaps " << p.gapX << "/" << p.gapY << " page length " << p.pageLength << " media " << p.mediaColumns << "x"
      << p.mediaRows << "; copies " << p.request.copies << (p.request.singlePage ? " single page" : "")
      << (p.request.promptsOn ? " prompts" : "");
  for (std::size_t i = 0; i < p.images.size(); ++i) {
    const ImageParams& image = p.images[i];
    out << "\n  image " << i << ": main " << image.mainWidth << "x" << image.mainHeight;
    if (image.firstHeight) out << ", first band " << image.firstHeight << " rows";
    if (image.lastHeight) out << ", last band " << image.lastHeight << " rows";
    for (int kind = 1; kind < hostkit::kCellKindCount; ++kind) {
      if (!image.HasKind(kind)) continue;
      out << "; cell " << kind << " (" << image.Width(kind) << " wide) colours {" << Join(image.colours[kind]) << "}";
    }
    std::vector<std::string> deep;
    for (const auto& [colour, bits] : image.bitsPerPixel) {
      if (bits != 1) deep.push_back(std::to_string(colour) + ":" + std::to_string(bits) + "bpp");
    }
    if (!deep.empty()) out << "; " << Join(deep);
    std::vector<std::string> empty;
    for (const auto& [kind, colour] : image.emptyContent) {
      empty.push_back(std::to_string(kind) + "/" + std::to_string(colour));
    }
    if (!empty.empty()) {
      out << "; content flag 0 in {" << Join(empty) << "}" << (image.blankEmptyCells ? " (blank)" : " (with pixels)");
    }
    if (image.shuffledDirectory) out << "; directory in reverse kind order";
  }
  return out.str();
}

std::vector<JobParams> Simplifications(const JobParams& p) {
  std::vector<JobParams> out;
  const auto add = [&out](JobParams candidate) {
    if (Valid(candidate)) out.push_back(std::move(candidate));
  };
  for (std::size_t i = 0; p.images.size() > 1 && i < p.images.size(); ++i) {
    JobParams q = p;
    q.images = {p.images[i]};
    add(q);
  }
  if (p.images.size() == 1 && p.rasterFiles) {
    JobParams q = p;
    q.rasterFiles = false;
    add(q);
  }
  for (int copies : {1, p.request.copies / 2, p.request.copies - 1}) {
    if (copies < 1 || copies >= p.request.copies) continue;
    JobParams q = p;
    q.request.copies = copies;
    add(q);
  }
  for (int c = static_cast<int>(p.colours.size()) - 1; c >= 0 && p.colours.size() > 1; --c) {
    JobParams q = p;
    RemoveColour(q, c);
    add(q);
  }
  const auto simpler = [&](auto change) {
    JobParams q = p;
    change(q);
    add(q);
  };
  if (p.request.singlePage) simpler([](JobParams& q) { q.request.singlePage = false; });
  if (p.request.promptsOn) simpler([](JobParams& q) { q.request.promptsOn = false; });
  if (!p.maskedOff.empty()) simpler([](JobParams& q) { q.maskedOff.clear(); });
  if (p.version != 6) simpler([](JobParams& q) { q.version = 6; });
  if (p.xDpi != 180.0f) simpler([](JobParams& q) { q.xDpi = 180.0f; });
  if (p.yDpi != 180.0f) simpler([](JobParams& q) { q.yDpi = 180.0f; });
  if (p.separations) simpler([](JobParams& q) { q.separations = false; });
  if (p.colourModel != 0) simpler([](JobParams& q) { q.colourModel = 0; });
  if (p.leftMargin) simpler([](JobParams& q) { q.leftMargin = 0; });
  if (p.topMargin) simpler([](JobParams& q) { q.topMargin = 0; });
  if (p.gapX) simpler([](JobParams& q) { q.gapX = 0; });
  if (p.gapY) simpler([](JobParams& q) { q.gapY = 0; });
  if (p.pageLength) simpler([](JobParams& q) { q.pageLength = 0; });
  for (std::size_t i = 0; i < p.images.size(); ++i) {
    const ImageParams& image = p.images[i];
    for (int kind = 1; kind < hostkit::kCellKindCount; ++kind) {
      if (kind == hostkit::kMain || !image.HasKind(kind)) continue;
      simpler([i, kind](JobParams& q) { RemoveKind(q.images[i], kind); });
      for (int colour : image.colours[kind]) {
        simpler([i, kind, colour](JobParams& q) {
          auto& list = q.images[i].colours[kind];
          list.erase(std::find(list.begin(), list.end(), colour));
        });
      }
      if (kind != 3 && kind != 4 && image.sideWidths[kind] > 1) {
        simpler([i, kind](JobParams& q) { q.images[i].sideWidths[kind] -= 1; });
      }
    }
    if (image.mainWidth > 1) {
      simpler([i](JobParams& q) { q.images[i].mainWidth = (q.images[i].mainWidth + 1) / 2; });
      simpler([i](JobParams& q) { q.images[i].mainWidth -= 1; });
    }
    if (image.mainHeight > 1) simpler([i](JobParams& q) { q.images[i].mainHeight -= 1; });
    if (image.firstHeight > 1) simpler([i](JobParams& q) { q.images[i].firstHeight -= 1; });
    if (image.lastHeight > 1) simpler([i](JobParams& q) { q.images[i].lastHeight -= 1; });
    for (const auto& [colour, bits] : image.bitsPerPixel) {
      if (bits != 1) simpler([i, colour = colour](JobParams& q) { q.images[i].bitsPerPixel[colour] = 1; });
    }
    if (!image.emptyContent.empty()) simpler([i](JobParams& q) { q.images[i].emptyContent.clear(); });
    if (image.shuffledDirectory) simpler([i](JobParams& q) { q.images[i].shuffledDirectory = false; });
  }
  return out;
}

}  // namespace pc50::roundtrip
