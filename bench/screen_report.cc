// Quality report of the device screens: for each screen the device asks for,
// at 180 and 360 dpi, the tile the raster step builds (side, achieved
// frequency and angle), the frequency and angle measured on a rendered 20 %
// tint, the tone reproduction of flat tints 0..100 % in 5 % steps, and the
// mean size of a dot cluster at 50 % against error diffusion's.
//
//   screen_report            (results: bench/README.md)
#include <cmath>
#include <cstdio>
#include <vector>

#include "halftone.h"
#include "screen.h"

namespace {

using pc50::raster::BitPlane;
using pc50::raster::JobScreens;
using pc50::raster::MeasureScreen;
using pc50::raster::PlaneScreener;
using pc50::raster::ScreenKind;
using pc50::raster::ScreenMeasure;
using pc50::raster::ScreenEntry;
using pc50::raster::ScreenTile;

constexpr std::uint32_t kSize = 720;

BitPlane Tint(PlaneScreener screener, std::uint8_t value) {
  BitPlane plane(kSize, kSize);
  const std::vector<std::uint8_t> row(kSize, value);
  for (std::uint32_t y = 0; y < kSize; ++y) screener.Row(row.data(), y, plane.rows[y].data());
  return plane;
}

}  // namespace

int main() {
  const std::vector<ScreenEntry> screens = pc50::raster::DeviceScreening();
  for (double dpi : {180.0, 360.0}) {
    std::printf("## %g dpi\n\n", dpi);
    std::printf("| colour | asked lpi / deg | tile side | tile lpi / deg | measured lpi / deg (20 %%) | "
                "worst tone error 0..100 %% | monotonic | mean cluster at 50 %% (diffusion) |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
    JobScreens device(ScreenKind::kDevice, dpi, screens);
    JobScreens diffusion(ScreenKind::kErrorDiffusion, dpi);
    for (const ScreenEntry& entry : screens) {
      const ScreenTile& tile = device.Tile(entry.colour);
      const ScreenMeasure at20 =
          MeasureScreen(Tint(device.For(entry.colour, 0, kSize), 51).rows, kSize, dpi);
      double worst = 0.0;
      bool monotonic = true;
      double previous = -1.0;
      for (int percent = 0; percent <= 100; percent += 5) {
        const auto value = static_cast<std::uint8_t>(std::lround(percent * 2.55));
        const BitPlane plane = Tint(device.For(entry.colour, 0, kSize), value);
        const double printed = 100.0 * static_cast<double>(plane.CountSet()) / (kSize * kSize);
        worst = std::max(worst, std::fabs(printed - percent));
        if (printed < previous) monotonic = false;
        previous = printed;
      }
      const ScreenMeasure half = MeasureScreen(Tint(device.For(entry.colour, 0, kSize), 128).rows, kSize, dpi);
      const ScreenMeasure fs = MeasureScreen(Tint(diffusion.For(entry.colour, 0, kSize), 128).rows, kSize, dpi);
      std::printf("| %s | %g / %g | %d | %.2f / %.2f | %.2f / %.2f | %.2f %% | %s | %.1f px (%.1f px) |\n",
                  entry.colour.c_str(), entry.frequency, entry.angle, tile.side(), tile.frequency(), tile.angle(),
                  at20.frequency, at20.angle, worst, monotonic ? "yes" : "no", half.mean_cluster,
                  fs.mean_cluster);
    }
    std::printf("\n");
  }
  return 0;
}
