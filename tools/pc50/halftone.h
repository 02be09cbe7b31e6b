// The host's raster step: colour separation of an RGB image into ink
// coverages and halftoning to one bit per pixel.
//
// Separation: the image is laid over white paper (alpha), then
// c = 1 - r, m = 1 - g, y = 1 - b; black generation takes a share of the
// grey common to all three, k = share * min(c, m, y), and under-colour
// removal takes the same amount out of c, m and y. A Black-only job uses
// k = 1 - luminance.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "png_image.h"
#include "spool_job.h"

namespace pc50::cli {

// One bit per pixel, a set bit lays ink; leftmost pixel in the top bit.
struct BitPlane {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<hostkit::Row> rows;

  BitPlane() = default;
  BitPlane(std::uint32_t w, std::uint32_t h);

  void Set(std::uint32_t x, std::uint32_t y);
  bool Get(std::uint32_t x, std::uint32_t y) const;
  std::size_t CountSet() const;
  bool Empty() const { return CountSet() == 0; }
};

// Ink coverage 0 (none) to 1 (full) per pixel.
struct Coverage {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<float> values;  // row-major

  float At(std::uint32_t x, std::uint32_t y) const {
    return values[static_cast<std::size_t>(y) * width + x];
  }
};

enum class ScreenKind {
  kErrorDiffusion,  // Floyd-Steinberg, serpentine
  kOrdered,         // 8x8 Bayer matrix, shifted by a pixel for each ink
};

struct HalftoneSettings {
  ScreenKind screen = ScreenKind::kErrorDiffusion;
  double black_generation = 1.0;  // 0..1: share of the common grey that black takes
};

// Cyan, Magenta, Yellow, Black coverages of image.
std::array<Coverage, 4> SeparateCmyk(const RgbaImage& image, double black_generation);

// Black coverage of image for a Black-only job.
Coverage SeparateGray(const RgbaImage& image);

// Halftones one coverage. ink_index (0..3) picks the shift of the ordered
// matrix so the inks' dots do not all fall on the same pixels.
BitPlane Halftone(const Coverage& coverage, ScreenKind screen, int ink_index);

// Separation and halftoning in one: Cyan, Magenta, Yellow, Black planes.
std::array<BitPlane, 4> HalftoneCmyk(const RgbaImage& image, const HalftoneSettings& settings);
BitPlane HalftoneGray(const RgbaImage& image, const HalftoneSettings& settings);

// A spot-colour mask: ink where the mask is dark and opaque (coverage of
// at least one half after laying it over white).
BitPlane MaskPlane(const RgbaImage& mask);

}  // namespace pc50::cli
