// Colour separation of RGB(A) pixels into ink coverages, and halftoning of
// coverages to one bit per pixel.
//
// Separation: a pixel is laid over white paper (alpha), then
// c = 1 - r, m = 1 - g, y = 1 - b; black generation takes a share of the
// grey common to all three, k = share * min(c, m, y), and under-colour
// removal takes the same amount out of c, m and y. A Black-only job uses
// k = 1 - luminance. Coverages are 8-bit (255 = full ink) and worked a row
// at a time, so a page never exists as more than its bit planes.
//
// Screens: the device's clustered dots (screen.h), error diffusion
// (Floyd-Steinberg, serpentine) or an 8x8 Bayer matrix.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "image_file.h"
#include "screen.h"
#include "spool_job.h"

namespace pc50::raster {

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
  kDevice,          // the device's clustered-dot screens
  kErrorDiffusion,  // Floyd-Steinberg, serpentine
  kOrdered,         // 8x8 Bayer matrix, shifted by a pixel for each ink
};

struct HalftoneSettings {
  ScreenKind screen = ScreenKind::kDevice;
  double black_generation = 1.0;  // 0..1: share of the common grey that black takes
};

// Cyan, Magenta, Yellow, Black coverages (0..255) of a row of RGBA pixels.
// share: black generation 0..1.
void SeparateRowCmyk(const std::uint8_t* rgba, std::uint32_t width, double share,
                     const std::array<std::uint8_t*, 4>& inks);
// Black coverage of a row for a Black-only job.
void SeparateRowGray(const std::uint8_t* rgba, std::uint32_t width, std::uint8_t* black);

// Halftones one plane a row at a time; rows must come in order (error
// diffusion carries its error down).
class PlaneScreener {
 public:
  // tile is used for kDevice and must outlive the screener; ink_index (0..3)
  // shifts the ordered matrix so the inks' dots do not all coincide.
  PlaneScreener(ScreenKind kind, const ScreenTile* tile, int ink_index, std::uint32_t width);

  // Screens row y of coverage (width values) into bits (RowBytes(width, 1)).
  void Row(const std::uint8_t* coverage, std::uint32_t y, std::uint8_t* bits);

 private:
  ScreenKind kind_;
  const ScreenTile* tile_;
  int ink_index_;
  std::uint32_t width_;
  std::vector<float> current_;  // diffusion errors of this row and the next
  std::vector<float> next_;
};

// The screens of one job at its resolution, built once per colour.
class JobScreens {
 public:
  // For kDevice the device's screening is asked through the module unless
  // device_screens is given.
  JobScreens(ScreenKind kind, double dpi, std::vector<ScreenEntry> device_screens = {});

  // A screener for colour (a ribbon name); ink_index as above.
  PlaneScreener For(const std::string& colour, int ink_index, std::uint32_t width);

  ScreenKind kind() const { return kind_; }
  const ScreenTile& Tile(const std::string& colour);

 private:
  ScreenKind kind_;
  double dpi_;
  std::vector<ScreenEntry> device_;
  std::map<std::string, std::unique_ptr<ScreenTile>> tiles_;
};

// Cyan, Magenta, Yellow, Black coverages of image.
std::array<Coverage, 4> SeparateCmyk(const RgbaImage& image, double black_generation);

// Black coverage of image for a Black-only job.
Coverage SeparateGray(const RgbaImage& image);

// Halftones one coverage (the device's screens at 180 dpi for kDevice).
// ink_index (0..3) names Cyan, Magenta, Yellow or Black.
BitPlane Halftone(const Coverage& coverage, ScreenKind screen, int ink_index);

// Separation and halftoning in one: Cyan, Magenta, Yellow, Black planes.
std::array<BitPlane, 4> HalftoneCmyk(const RgbaImage& image, const HalftoneSettings& settings,
                                     JobScreens& screens);
BitPlane HalftoneGray(const RgbaImage& image, const HalftoneSettings& settings, JobScreens& screens);

// A spot-colour mask: ink where the mask is dark and opaque (coverage of
// at least one half after laying it over white).
BitPlane MaskPlane(const RgbaImage& mask);

}  // namespace pc50::raster
