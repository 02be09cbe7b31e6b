#include "screen.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <memory>
#include <numeric>

#include "error.h"
#include "pc50/pc50.h"
#include "pc50/pc50_ext.h"

namespace pc50::raster {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kMaxCellsAcross = 32;

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// Spot function: larger values ink first. x and y run over [-1, 1) across
// one cell.
double Spot(const std::string& shape, double x, double y) {
  if (SameName(shape, "Round")) return 2.0 - (x * x + y * y);
  if (SameName(shape, "Line")) return 1.0 - std::fabs(y);
  return 2.0 - (std::fabs(x) + std::fabs(y));
}

struct Lattice {
  int a = 0;  // the supercell vector (a, b) spans k cells
  int b = 0;
  int k = 1;
  int side = 0;
};

// The integer supercell vector closest to period p (pixels) at theta
// (radians, in [0, pi/2)).
Lattice ChooseLattice(double p, double theta) {
  Lattice best;
  double best_score = 1e300;
  for (int k = 1; k <= kMaxCellsAcross; ++k) {
    const int a = static_cast<int>(std::lround(k * p * std::cos(theta)));
    const int b = static_cast<int>(std::lround(k * p * std::sin(theta)));
    if (a <= 0 || b < 0) continue;
    const int g = std::gcd(a, b);
    const long side = (static_cast<long>(a) * a + static_cast<long>(b) * b) / g;
    if (side > kMaxTileSide) continue;
    const double period = std::hypot(a, b) / k;
    const double angle_error = std::fabs(std::atan2(b, a) - theta) * 180.0 / kPi;
    const double period_error = std::fabs(period - p) / p * 100.0;  // percent
    // One degree weighs as much as one percent; a smaller tile breaks ties.
    const double score = angle_error + period_error + static_cast<double>(side) * 1e-4;
    if (score < best_score) {
      best_score = score;
      best = {a, b, k, static_cast<int>(side)};
    }
  }
  return best;
}

}  // namespace

ScreenTile ScreenTile::Build(const ScreenEntry& entry, double dpi) {
  if (!(dpi > 0.0) || !(entry.frequency > 0.0) || dpi / entry.frequency < 2.0) {
    throw Error("screen of " + entry.colour + ": " + std::to_string(entry.frequency) + " lpi at " +
                std::to_string(dpi) + " dpi gives cells of less than two pixels");
  }
  const double p = dpi / entry.frequency;
  double degrees = std::fmod(entry.angle, 90.0);
  if (degrees < 0) degrees += 90.0;
  const Lattice lattice = ChooseLattice(p, degrees * kPi / 180.0);
  if (lattice.side == 0) {
    throw Error("screen of " + entry.colour + ": no tile of at most " + std::to_string(kMaxTileSide) +
                " pixels for " + std::to_string(entry.frequency) + " lpi at " + std::to_string(dpi) + " dpi");
  }

  ScreenTile tile;
  tile.side_ = lattice.side;
  tile.stride_ = static_cast<std::size_t>(lattice.side) + 8;
  tile.frequency_ = dpi * lattice.k / std::hypot(lattice.a, lattice.b);
  tile.angle_ = std::atan2(lattice.b, lattice.a) * 180.0 / kPi;

  // Cell coordinates of a pixel centre: its projections on the supercell's
  // two axes, in cells.
  const double a = lattice.a;
  const double b = lattice.b;
  const double scale = lattice.k / (a * a + b * b);
  const int n = lattice.side;
  const std::size_t count = static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
  std::vector<double> key(count);
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      const double px = x + 0.5;
      const double py = -(y + 0.5);  // angles count anticlockwise, rows run down
      const double s = (px * a + py * b) * scale;
      const double t = (-px * b + py * a) * scale;
      const double fs = s - std::floor(s);
      const double ft = t - std::floor(t);
      // A cell-dependent nudge far below the spot function's steps keeps
      // equal values of different cells from always resolving one way.
      const double cell = std::floor(s) * 0.7548776662 + std::floor(t) * 0.5698402910;
      key[static_cast<std::size_t>(y) * n + x] =
          Spot(entry.shape, 2.0 * fs - 1.0, 2.0 * ft - 1.0) + 1e-9 * (cell - std::floor(cell));
    }
  }
  std::vector<std::uint32_t> order(count);
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(), [&key](std::uint32_t i, std::uint32_t j) { return key[i] > key[j]; });

  tile.thresholds_.assign(static_cast<std::size_t>(n) * tile.stride_, 0);
  for (std::size_t rank = 0; rank < count; ++rank) {
    const std::size_t pixel = order[rank];
    tile.thresholds_[(pixel / n) * tile.stride_ + pixel % n] =
        static_cast<std::uint8_t>(rank * 255 / count);
  }
  for (int y = 0; y < n; ++y) {
    std::uint8_t* row = &tile.thresholds_[static_cast<std::size_t>(y) * tile.stride_];
    for (int i = 0; i < 8; ++i) row[n + i] = row[i % n];
  }
  return tile;
}

void ScreenTile::ScreenRow(const std::uint8_t* coverage, std::uint32_t width, std::uint32_t y,
                           std::uint8_t* bits) const {
  const std::uint8_t* row = &thresholds_[(y % static_cast<std::uint32_t>(side_)) * stride_];
  const std::uint32_t whole = width / 8;
  std::size_t tx = 0;
  const std::size_t side = static_cast<std::size_t>(side_);
  for (std::uint32_t i = 0; i < whole; ++i) {
    const std::uint8_t* c = coverage + 8 * static_cast<std::size_t>(i);
    const std::uint8_t* t = row + tx;
    bits[i] = static_cast<std::uint8_t>((c[0] > t[0]) << 7 | (c[1] > t[1]) << 6 | (c[2] > t[2]) << 5 |
                                        (c[3] > t[3]) << 4 | (c[4] > t[4]) << 3 | (c[5] > t[5]) << 2 |
                                        (c[6] > t[6]) << 1 | (c[7] > t[7]));
    tx += 8;
    if (tx >= side) tx -= side;
    if (tx >= side) tx %= side;  // tiles narrower than a byte
  }
  if (width % 8 != 0) {
    std::uint8_t byte = 0;
    for (std::uint32_t x = whole * 8; x < width; ++x) {
      if (coverage[x] > row[x % side]) byte = static_cast<std::uint8_t>(byte | (0x80u >> (x % 8)));
    }
    bits[whole] = byte;
  }
}

std::vector<ScreenEntry> DeviceScreening() {
  struct Deleter {
    void operator()(ABasePrinterDriver* driver) const { delete driver; }
  };
  std::unique_ptr<ABasePrinterDriver, Deleter> driver(createNewPrinterDriver());
  if (!driver) {
    const std::string reason = pc50_LastFailure();
    throw Error("cannot ask the device for its screening" + (reason.empty() ? "" : ": " + reason));
  }
  tagScreeningOption answer;
  std::memset(&answer, 0, sizeof answer);
  std::vector<ScreenEntry> screens;
  if (driver->GetDefaultScreening(&answer, nullptr) == 0) return screens;
  const int count = std::clamp(answer.count, 0, 8);
  for (int i = 0; i < count; ++i) {
    const ScreeningEntry& answered = answer.entries[i];
    ScreenEntry entry;
    entry.colour.assign(answered.colorName, strnlen(answered.colorName, sizeof answered.colorName));
    entry.shape.assign(answered.screenName, strnlen(answered.screenName, sizeof answered.screenName));
    entry.frequency = answered.frequency;
    entry.angle = answered.angle;
    screens.push_back(std::move(entry));
  }
  return screens;
}

ScreenEntry ScreenFor(const std::vector<ScreenEntry>& screens, const std::string& colour) {
  const ScreenEntry* black = nullptr;
  for (const ScreenEntry& entry : screens) {
    if (SameName(entry.colour, colour)) return entry;
    if (SameName(entry.colour, "Black")) black = &entry;
  }
  ScreenEntry entry = black ? *black : ScreenEntry();
  entry.colour = colour;
  return entry;
}

ScreenMeasure MeasureScreen(const std::vector<std::vector<std::uint8_t>>& rows, std::uint32_t width,
                            double dpi) {
  const std::size_t height = rows.size();
  auto inked = [&rows](std::size_t x, std::size_t y) { return (rows[y][x / 8] & (0x80u >> (x % 8))) != 0; };
  std::vector<std::int32_t> label(height * width, -1);
  struct Cluster {
    double sx = 0, sy = 0;
    std::size_t n = 0;
    bool edge = false;
  };
  std::vector<Cluster> clusters;
  std::vector<std::size_t> stack;
  for (std::size_t y = 0; y < height; ++y) {
    for (std::size_t x = 0; x < width; ++x) {
      if (!inked(x, y) || label[y * width + x] >= 0) continue;
      Cluster cluster;
      const auto id = static_cast<std::int32_t>(clusters.size());
      label[y * width + x] = id;
      stack.push_back(y * width + x);
      while (!stack.empty()) {
        const std::size_t at = stack.back();
        stack.pop_back();
        const std::size_t cx = at % width;
        const std::size_t cy = at / width;
        cluster.sx += static_cast<double>(cx);
        cluster.sy += static_cast<double>(cy);
        ++cluster.n;
        if (cx == 0 || cy == 0 || cx + 1 == width || cy + 1 == height) cluster.edge = true;
        const std::size_t next[4][2] = {{cx - 1, cy}, {cx + 1, cy}, {cx, cy - 1}, {cx, cy + 1}};
        for (const auto& n : next) {
          if (n[0] >= width || n[1] >= height) continue;  // wrapped below zero too
          const std::size_t there = n[1] * width + n[0];
          if (label[there] < 0 && inked(n[0], n[1])) {
            label[there] = id;
            stack.push_back(there);
          }
        }
      }
      clusters.push_back(cluster);
    }
  }
  ScreenMeasure measure;
  measure.clusters = clusters.size();
  if (clusters.empty()) return measure;
  double pixels = 0;
  for (const Cluster& c : clusters) pixels += static_cast<double>(c.n);
  measure.mean_cluster = pixels / static_cast<double>(clusters.size());

  // Nearest neighbours of the whole clusters; the angle is averaged on the
  // circle of four times the angle, so 0 and 90 degrees agree.
  std::vector<std::pair<double, double>> centres;
  for (const Cluster& c : clusters) {
    if (!c.edge) centres.emplace_back(c.sx / c.n, c.sy / c.n);
  }
  std::sort(centres.begin(), centres.end(),
            [](const auto& p, const auto& q) { return p.second < q.second; });
  double sum_period = 0, sum_cos = 0, sum_sin = 0;
  std::size_t pairs = 0;
  for (std::size_t i = 0; i < centres.size(); ++i) {
    double best = 1e300, bx = 0, by = 0;
    // Only centres within the best distance so far in y can be nearer.
    auto visit = [&](std::size_t j) {
      const double dx = centres[j].first - centres[i].first;
      const double dy = centres[j].second - centres[i].second;
      const double d = dx * dx + dy * dy;
      if (d < best) {
        best = d;
        bx = dx;
        by = dy;
      }
    };
    for (std::size_t j = i + 1; j < centres.size(); ++j) {
      const double dy = centres[j].second - centres[i].second;
      if (dy * dy > best) break;
      visit(j);
    }
    for (std::size_t j = i; j-- > 0;) {
      const double dy = centres[i].second - centres[j].second;
      if (dy * dy > best) break;
      visit(j);
    }
    if (best == 1e300) continue;
    const double angle = std::atan2(-by, bx);  // y grows downwards
    sum_period += std::sqrt(best);
    sum_cos += std::cos(4 * angle);
    sum_sin += std::sin(4 * angle);
    ++pairs;
  }
  if (pairs == 0) return measure;
  // The period from the number of clusters per area (one per cell): nearest
  // neighbours of jittered centroids come out short.
  (void)sum_period;
  measure.frequency = dpi * std::sqrt(static_cast<double>(clusters.size()) / static_cast<double>(width * height));
  double angle = std::atan2(sum_sin, sum_cos) / 4 * 180.0 / kPi;
  if (angle < 0) angle += 90.0;
  measure.angle = angle;
  return measure;
}

}  // namespace pc50::raster
