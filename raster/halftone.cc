#include "halftone.h"

#include <algorithm>
#include <cmath>

namespace pc50::raster {
namespace {

constexpr const char* kProcessNames[4] = {"Cyan", "Magenta", "Yellow", "Black"};

// Ink of a channel laid over white paper: (255 - value) * alpha / 255.
inline int InkOverWhite(int value, int alpha) { return ((255 - value) * alpha + 127) / 255; }

constexpr int kBayer[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21},
};

std::uint8_t ToByte(float value) {
  return static_cast<std::uint8_t>(std::lround(std::clamp(value, 0.0f, 1.0f) * 255.0f));
}

Coverage EmptyCoverage(const RgbaImage& image) {
  Coverage coverage;
  coverage.width = static_cast<std::uint32_t>(image.width);
  coverage.height = static_cast<std::uint32_t>(image.height);
  coverage.values.assign(static_cast<std::size_t>(coverage.width) * coverage.height, 0.0f);
  return coverage;
}

BitPlane ScreenCoverage(const std::vector<std::uint8_t>& values, std::uint32_t width, std::uint32_t height,
                        PlaneScreener screener) {
  BitPlane plane(width, height);
  for (std::uint32_t y = 0; y < height; ++y) {
    screener.Row(values.data() + static_cast<std::size_t>(y) * width, y, plane.rows[y].data());
  }
  return plane;
}

}  // namespace

BitPlane::BitPlane(std::uint32_t w, std::uint32_t h)
    : width(w), height(h), rows(h, hostkit::Row(hostkit::RowBytes(w, 1), 0)) {}

void BitPlane::Set(std::uint32_t x, std::uint32_t y) {
  rows[y][x / 8] = static_cast<std::uint8_t>(rows[y][x / 8] | (0x80u >> (x % 8)));
}

bool BitPlane::Get(std::uint32_t x, std::uint32_t y) const {
  return (rows[y][x / 8] & (0x80u >> (x % 8))) != 0;
}

std::size_t BitPlane::CountSet() const {
  std::size_t count = 0;
  for (const hostkit::Row& row : rows) {
    for (std::uint8_t byte : row) {
      for (std::uint8_t b = byte; b != 0; b = static_cast<std::uint8_t>(b & (b - 1))) ++count;
    }
  }
  return count;
}

void SeparateRowCmyk(const std::uint8_t* rgba, std::uint32_t width, double share,
                     const std::array<std::uint8_t*, 4>& inks) {
  const int share256 = static_cast<int>(std::lround(std::clamp(share, 0.0, 1.0) * 256.0));
  for (std::uint32_t x = 0; x < width; ++x, rgba += 4) {
    const int c = InkOverWhite(rgba[0], rgba[3]);
    const int m = InkOverWhite(rgba[1], rgba[3]);
    const int y = InkOverWhite(rgba[2], rgba[3]);
    const int k = (std::min({c, m, y}) * share256 + 128) >> 8;
    inks[0][x] = static_cast<std::uint8_t>(c - k);
    inks[1][x] = static_cast<std::uint8_t>(m - k);
    inks[2][x] = static_cast<std::uint8_t>(y - k);
    inks[3][x] = static_cast<std::uint8_t>(k);
  }
}

void SeparateRowGray(const std::uint8_t* rgba, std::uint32_t width, std::uint8_t* black) {
  for (std::uint32_t x = 0; x < width; ++x, rgba += 4) {
    // 0.299, 0.587, 0.114 in 1/65536ths; the sum of the weights is 65536.
    const int ink = (19595 * InkOverWhite(rgba[0], rgba[3]) + 38470 * InkOverWhite(rgba[1], rgba[3]) +
                     7471 * InkOverWhite(rgba[2], rgba[3]) + 32768) >> 16;
    black[x] = static_cast<std::uint8_t>(std::min(ink, 255));
  }
}

PlaneScreener::PlaneScreener(ScreenKind kind, const ScreenTile* tile, int ink_index, std::uint32_t width)
    : kind_(kind), tile_(tile), ink_index_(ink_index), width_(width) {
  if (kind_ == ScreenKind::kErrorDiffusion) {
    current_.assign(static_cast<std::size_t>(width) + 2, 0.0f);
    next_.assign(static_cast<std::size_t>(width) + 2, 0.0f);
  }
}

void PlaneScreener::Row(const std::uint8_t* coverage, std::uint32_t y, std::uint8_t* bits) {
  const std::size_t bytes = hostkit::RowBytes(width_, 1);
  if (kind_ == ScreenKind::kDevice) {
    tile_->ScreenRow(coverage, width_, y, bits);
    return;
  }
  std::fill(bits, bits + bytes, 0);
  if (kind_ == ScreenKind::kOrdered) {
    // Each ink reads the matrix shifted by a pixel across, down or both, so
    // at low coverage the inks' dots sit beside each other.
    const std::uint32_t shift_x = static_cast<std::uint32_t>(ink_index_) & 1u;
    const std::uint32_t shift_y = (static_cast<std::uint32_t>(ink_index_) >> 1) & 1u;
    const int* matrix = kBayer[(y + shift_y) % 8];
    for (std::uint32_t x = 0; x < width_; ++x) {
      // Inked when coverage / 255 > (m + 0.5) / 64.
      if (coverage[x] * 128 > (2 * matrix[(x + shift_x) % 8] + 1) * 255) {
        bits[x / 8] = static_cast<std::uint8_t>(bits[x / 8] | (0x80u >> (x % 8)));
      }
    }
    return;
  }
  // Floyd-Steinberg with serpentine rows; index x + 1 of the error rows is
  // pixel x, with a slot of slack at each end.
  const bool forward = y % 2 == 0;
  const std::size_t w = width_;
  for (std::size_t i = 0; i < w; ++i) {
    const std::size_t x = forward ? i : w - 1 - i;
    const float value = coverage[x] / 255.0f + current_[x + 1];
    const float output = value >= 0.5f ? 1.0f : 0.0f;
    if (output > 0.0f) bits[x / 8] = static_cast<std::uint8_t>(bits[x / 8] | (0x80u >> (x % 8)));
    const float error = value - output;
    const std::size_t ahead = forward ? x + 2 : x;
    const std::size_t behind = forward ? x : x + 2;
    current_[ahead] += error * 7.0f / 16.0f;
    next_[behind] += error * 3.0f / 16.0f;
    next_[x + 1] += error * 5.0f / 16.0f;
    next_[ahead] += error * 1.0f / 16.0f;
  }
  std::swap(current_, next_);
  std::fill(next_.begin(), next_.end(), 0.0f);
}

JobScreens::JobScreens(ScreenKind kind, double dpi, std::vector<ScreenEntry> device_screens)
    : kind_(kind), dpi_(dpi), device_(std::move(device_screens)) {
  if (kind_ == ScreenKind::kDevice && device_.empty()) device_ = DeviceScreening();
}

const ScreenTile& JobScreens::Tile(const std::string& colour) {
  std::unique_ptr<ScreenTile>& tile = tiles_[colour];
  if (!tile) tile = std::make_unique<ScreenTile>(ScreenTile::Build(ScreenFor(device_, colour), dpi_));
  return *tile;
}

PlaneScreener JobScreens::For(const std::string& colour, int ink_index, std::uint32_t width) {
  const ScreenTile* tile = kind_ == ScreenKind::kDevice ? &Tile(colour) : nullptr;
  return PlaneScreener(kind_, tile, ink_index, width);
}

std::array<Coverage, 4> SeparateCmyk(const RgbaImage& image, double black_generation) {
  std::array<Coverage, 4> inks{EmptyCoverage(image), EmptyCoverage(image), EmptyCoverage(image),
                               EmptyCoverage(image)};
  const auto width = static_cast<std::uint32_t>(image.width);
  std::array<std::vector<std::uint8_t>, 4> row;
  for (auto& r : row) r.resize(width);
  for (int y = 0; y < image.height; ++y) {
    SeparateRowCmyk(image.At(0, y), width, black_generation,
                    {row[0].data(), row[1].data(), row[2].data(), row[3].data()});
    for (int i = 0; i < 4; ++i) {
      for (std::uint32_t x = 0; x < width; ++x) {
        inks[i].values[static_cast<std::size_t>(y) * width + x] = row[i][x] / 255.0f;
      }
    }
  }
  return inks;
}

Coverage SeparateGray(const RgbaImage& image) {
  Coverage black = EmptyCoverage(image);
  const auto width = static_cast<std::uint32_t>(image.width);
  std::vector<std::uint8_t> row(width);
  for (int y = 0; y < image.height; ++y) {
    SeparateRowGray(image.At(0, y), width, row.data());
    for (std::uint32_t x = 0; x < width; ++x) {
      black.values[static_cast<std::size_t>(y) * width + x] = row[x] / 255.0f;
    }
  }
  return black;
}

BitPlane Halftone(const Coverage& coverage, ScreenKind screen, int ink_index) {
  std::vector<std::uint8_t> values(coverage.values.size());
  std::transform(coverage.values.begin(), coverage.values.end(), values.begin(), ToByte);
  JobScreens screens(screen, 180.0);
  return ScreenCoverage(values, coverage.width, coverage.height,
                        screens.For(kProcessNames[ink_index & 3], ink_index, coverage.width));
}

std::array<BitPlane, 4> HalftoneCmyk(const RgbaImage& image, const HalftoneSettings& settings,
                                     JobScreens& screens) {
  const auto width = static_cast<std::uint32_t>(image.width);
  const auto height = static_cast<std::uint32_t>(image.height);
  std::array<BitPlane, 4> planes;
  std::vector<PlaneScreener> screeners;
  std::array<std::vector<std::uint8_t>, 4> row;
  for (int i = 0; i < 4; ++i) {
    planes[i] = BitPlane(width, height);
    screeners.push_back(screens.For(kProcessNames[i], i, width));
    row[i].resize(width);
  }
  for (std::uint32_t y = 0; y < height; ++y) {
    SeparateRowCmyk(image.At(0, static_cast<int>(y)), width, settings.black_generation,
                    {row[0].data(), row[1].data(), row[2].data(), row[3].data()});
    for (int i = 0; i < 4; ++i) screeners[i].Row(row[i].data(), y, planes[i].rows[y].data());
  }
  return planes;
}

BitPlane HalftoneGray(const RgbaImage& image, const HalftoneSettings&, JobScreens& screens) {
  const auto width = static_cast<std::uint32_t>(image.width);
  const auto height = static_cast<std::uint32_t>(image.height);
  BitPlane plane(width, height);
  PlaneScreener screener = screens.For("Black", 3, width);
  std::vector<std::uint8_t> row(width);
  for (std::uint32_t y = 0; y < height; ++y) {
    SeparateRowGray(image.At(0, static_cast<int>(y)), width, row.data());
    screener.Row(row.data(), y, plane.rows[y].data());
  }
  return plane;
}

BitPlane MaskPlane(const RgbaImage& mask) {
  const auto width = static_cast<std::uint32_t>(mask.width);
  BitPlane plane(width, static_cast<std::uint32_t>(mask.height));
  std::vector<std::uint8_t> row(width);
  for (int y = 0; y < mask.height; ++y) {
    SeparateRowGray(mask.At(0, y), width, row.data());
    for (std::uint32_t x = 0; x < width; ++x) {
      if (row[x] >= 128) plane.Set(x, static_cast<std::uint32_t>(y));
    }
  }
  return plane;
}

}  // namespace pc50::raster
