#include "halftone.h"

#include <algorithm>

namespace pc50::cli {
namespace {

// Channel value of a pixel laid over white paper, 0..1.
float OverWhite(const std::uint8_t* pixel, int channel) {
  const float alpha = pixel[3] / 255.0f;
  return (pixel[channel] / 255.0f) * alpha + (1.0f - alpha);
}

Coverage EmptyCoverage(const RgbaImage& image) {
  Coverage coverage;
  coverage.width = static_cast<std::uint32_t>(image.width);
  coverage.height = static_cast<std::uint32_t>(image.height);
  coverage.values.assign(static_cast<std::size_t>(coverage.width) * coverage.height, 0.0f);
  return coverage;
}

constexpr int kBayer[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21},
};

// Each ink reads the matrix shifted by a pixel across, down or both, so at
// low coverage the inks' dots sit beside each other instead of on top.
float OrderedThreshold(std::uint32_t x, std::uint32_t y, int ink_index) {
  const std::uint32_t shift_x = static_cast<std::uint32_t>(ink_index) & 1u;
  const std::uint32_t shift_y = (static_cast<std::uint32_t>(ink_index) >> 1) & 1u;
  return (kBayer[(y + shift_y) % 8][(x + shift_x) % 8] + 0.5f) / 64.0f;
}

BitPlane OrderedDither(const Coverage& coverage, int ink_index) {
  BitPlane plane(coverage.width, coverage.height);
  for (std::uint32_t y = 0; y < coverage.height; ++y) {
    for (std::uint32_t x = 0; x < coverage.width; ++x) {
      if (coverage.At(x, y) > OrderedThreshold(x, y, ink_index)) plane.Set(x, y);
    }
  }
  return plane;
}

// Floyd-Steinberg with serpentine rows; errors go to two row buffers.
BitPlane ErrorDiffusion(const Coverage& coverage) {
  BitPlane plane(coverage.width, coverage.height);
  const std::size_t w = coverage.width;
  std::vector<float> current(w + 2, 0.0f);
  std::vector<float> next(w + 2, 0.0f);
  for (std::uint32_t y = 0; y < coverage.height; ++y) {
    const bool forward = y % 2 == 0;
    for (std::size_t i = 0; i < w; ++i) {
      const std::size_t x = forward ? i : w - 1 - i;
      const float value = coverage.At(static_cast<std::uint32_t>(x), y) + current[x + 1];
      const float output = value >= 0.5f ? 1.0f : 0.0f;
      if (output > 0.0f) plane.Set(static_cast<std::uint32_t>(x), y);
      const float error = value - output;
      // Index x + 1 is pixel x; the buffers have one slot of slack at each end.
      const std::size_t ahead = forward ? x + 2 : x;
      const std::size_t behind = forward ? x : x + 2;
      current[ahead] += error * 7.0f / 16.0f;
      next[behind] += error * 3.0f / 16.0f;
      next[x + 1] += error * 5.0f / 16.0f;
      next[ahead] += error * 1.0f / 16.0f;
    }
    std::swap(current, next);
    std::fill(next.begin(), next.end(), 0.0f);
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

std::array<Coverage, 4> SeparateCmyk(const RgbaImage& image, double black_generation) {
  const float share = static_cast<float>(std::clamp(black_generation, 0.0, 1.0));
  std::array<Coverage, 4> inks{EmptyCoverage(image), EmptyCoverage(image), EmptyCoverage(image),
                               EmptyCoverage(image)};
  for (std::size_t i = 0; i < inks[0].values.size(); ++i) {
    const std::uint8_t* pixel = image.pixels.data() + i * 4;
    const float c = 1.0f - OverWhite(pixel, 0);
    const float m = 1.0f - OverWhite(pixel, 1);
    const float y = 1.0f - OverWhite(pixel, 2);
    const float k = share * std::min({c, m, y});
    inks[0].values[i] = std::max(0.0f, c - k);
    inks[1].values[i] = std::max(0.0f, m - k);
    inks[2].values[i] = std::max(0.0f, y - k);
    inks[3].values[i] = k;
  }
  return inks;
}

Coverage SeparateGray(const RgbaImage& image) {
  Coverage black = EmptyCoverage(image);
  for (std::size_t i = 0; i < black.values.size(); ++i) {
    const std::uint8_t* pixel = image.pixels.data() + i * 4;
    const float luminance = 0.299f * OverWhite(pixel, 0) + 0.587f * OverWhite(pixel, 1) +
                            0.114f * OverWhite(pixel, 2);
    black.values[i] = std::clamp(1.0f - luminance, 0.0f, 1.0f);
  }
  return black;
}

BitPlane Halftone(const Coverage& coverage, ScreenKind screen, int ink_index) {
  return screen == ScreenKind::kOrdered ? OrderedDither(coverage, ink_index)
                                        : ErrorDiffusion(coverage);
}

std::array<BitPlane, 4> HalftoneCmyk(const RgbaImage& image, const HalftoneSettings& settings) {
  const std::array<Coverage, 4> inks = SeparateCmyk(image, settings.black_generation);
  std::array<BitPlane, 4> planes;
  for (int i = 0; i < 4; ++i) planes[i] = Halftone(inks[i], settings.screen, i);
  return planes;
}

BitPlane HalftoneGray(const RgbaImage& image, const HalftoneSettings& settings) {
  return Halftone(SeparateGray(image), settings.screen, 3);
}

BitPlane MaskPlane(const RgbaImage& mask) {
  const Coverage dark = SeparateGray(mask);
  BitPlane plane(dark.width, dark.height);
  for (std::uint32_t y = 0; y < dark.height; ++y) {
    for (std::uint32_t x = 0; x < dark.width; ++x) {
      if (dark.At(x, y) >= 0.5f) plane.Set(x, y);
    }
  }
  return plane;
}

}  // namespace pc50::cli
