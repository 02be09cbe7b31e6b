// Screening speed per plane: a 360 dpi row of a photo-like ramp through the
// device's clustered-dot tile, the ordered matrix and error diffusion.
#include <benchmark/benchmark.h>

#include <vector>

#include "halftone.h"

namespace {

using pc50::raster::JobScreens;
using pc50::raster::PlaneScreener;
using pc50::raster::ScreenKind;

constexpr std::uint32_t kWidth = 1440;  // 4 inches at 360 dpi
constexpr std::uint32_t kRows = 256;

void Screen(benchmark::State& state, ScreenKind kind) {
  JobScreens screens(kind, 360.0);
  std::vector<std::vector<std::uint8_t>> rows(kRows, std::vector<std::uint8_t>(kWidth));
  for (std::uint32_t y = 0; y < kRows; ++y) {
    for (std::uint32_t x = 0; x < kWidth; ++x) rows[y][x] = static_cast<std::uint8_t>((x + 3 * y) * 255 / (kWidth + 3 * kRows));
  }
  std::vector<std::uint8_t> bits((kWidth + 7) / 8);
  PlaneScreener screener = screens.For("Cyan", 0, kWidth);
  std::uint32_t y = 0;
  for (auto _ : state) {
    screener.Row(rows[y % kRows].data(), y, bits.data());
    benchmark::DoNotOptimize(bits.data());
    ++y;
  }
  state.SetItemsProcessed(state.iterations() * kWidth);
  state.SetLabel("items = pixels of one plane");
}

void BM_ScreenDevice(benchmark::State& state) { Screen(state, ScreenKind::kDevice); }
void BM_ScreenOrdered(benchmark::State& state) { Screen(state, ScreenKind::kOrdered); }
void BM_ScreenDiffusion(benchmark::State& state) { Screen(state, ScreenKind::kErrorDiffusion); }

BENCHMARK(BM_ScreenDevice);
BENCHMARK(BM_ScreenOrdered);
BENCHMARK(BM_ScreenDiffusion);

}  // namespace
