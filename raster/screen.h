// Clustered-dot screens built from the device's screening answers (dot
// shape, frequency, angle per colour).
//
// A screen is a threshold tile computed once per job at the printed
// resolution; screening a row is then one table look-up and compare per
// pixel, with no trigonometry.
//
// Angles are approximated with a rational-tangent supercell: the tile's
// lattice vector (A, B) is an integer vector spanning k screen cells, chosen
// among k = 1..32 (tile side at most kMaxTileSide) to come closest to the
// asked angle and period. The tile is square and repeats every
// (A*A + B*B) / gcd(A, B) pixels in x and y. At 180 and 360 dpi the device's
// 55 lpi screens at 15, 45, 75 and 0 degrees come within 0.5 degrees and
// 1 % of the asked frequency (achieved values: bench/README.md).
//
// Inside the tile the spot function ranks every pixel; the pixel of rank r
// gets the threshold floor(255 * r / N) of the tile's N pixels, so a flat
// tint v (0..255) inks exactly ceil(v * N / 255) pixels of every tile: tone
// reproduction is linear by construction, and cells grow together because
// the ranking runs over the whole supercell.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pc50::raster {

// One colour's screen as the device describes it.
struct ScreenEntry {
  std::string colour;
  std::string shape = "Diamond";  // Diamond, Round or Line (others: Diamond)
  double frequency = 55.0;        // lines per inch
  double angle = 45.0;            // degrees
};

constexpr int kMaxTileSide = 512;

class ScreenTile {
 public:
  // The tile of entry at dpi. Throws Error for a frequency that gives a
  // cell of less than two pixels or a non-positive dpi.
  static ScreenTile Build(const ScreenEntry& entry, double dpi);

  // Sets the bit of every inked pixel of row y (leftmost pixel in the top
  // bit of bits[0]); coverage holds width values, 255 = full ink. bits
  // must hold (width + 7) / 8 bytes and is overwritten.
  void ScreenRow(const std::uint8_t* coverage, std::uint32_t width, std::uint32_t y,
                 std::uint8_t* bits) const;

  int side() const { return side_; }
  // What the tile achieves: lines per inch and degrees in [0, 90).
  double frequency() const { return frequency_; }
  double angle() const { return angle_; }
  std::uint8_t Threshold(int x, int y) const {
    return thresholds_[static_cast<std::size_t>(y) * stride_ + static_cast<std::size_t>(x)];
  }

 private:
  int side_ = 0;
  std::size_t stride_ = 0;  // side_ + 8: each row repeats its first 8 values
  double frequency_ = 0.0;
  double angle_ = 0.0;
  std::vector<std::uint8_t> thresholds_;
};

// The device's default screening, asked through the module's driver object
// as a host does. Throws Error when no driver object can be made.
std::vector<ScreenEntry> DeviceScreening();

// The screen of colour (a ribbon name, any case) from the device's list:
// its own entry where the list has one; otherwise a spot colour takes the
// Black entry's screen (45 degrees, the least visible angle; a spot ribbon
// prints in a pass of its own), and a list without Black gives 55 lpi
// Diamond at 45 degrees.
ScreenEntry ScreenFor(const std::vector<ScreenEntry>& screens, const std::string& colour);

// What a screened plane shows, for the quality report and the tests:
// isolated dot clusters (4-connected) are found, their centroids joined to
// their nearest neighbours, and the mean neighbour vector gives the
// period and the angle (folded into [0, 90)).
struct ScreenMeasure {
  double frequency = 0.0;    // lines per inch
  double angle = 0.0;        // degrees
  double mean_cluster = 0.0; // pixels per cluster
  std::size_t clusters = 0;
};

// bits: rows of (width + 7) / 8 bytes, leftmost pixel in the top bit.
ScreenMeasure MeasureScreen(const std::vector<std::vector<std::uint8_t>>& rows, std::uint32_t width,
                            double dpi);

}  // namespace pc50::raster
