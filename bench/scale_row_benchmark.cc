// Row composition (ScaleRow) on the PC-50 device: a lead of blank pixels, a
// left part, `copies` copies of the middle part with gaps between them and a
// right part, each source pixel repeated 1 to 3 times, at 1, 2, 4 and 8 bits
// per pixel. Throughput is in composed output bytes per second.
//
// Source rows are a mix of blank stretches, solid runs and noise, so both
// the zero-pixel skip and the drawing paths are exercised. The gap between
// copies (13 pixels) and the lead (5 pixels) keep most parts off byte
// boundaries, as real layouts do.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "device/pc50_device.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kMidPixels = 2048;
constexpr int kSidePixels = 96;
constexpr int kLead = 5;
constexpr int kGap = 13;

Bytes MakeSource(int pixels, int bitsPerPixel, unsigned seed) {
  Bytes row(static_cast<std::size_t>((pixels * bitsPerPixel + 7) / 8), 0);
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> any(0, 255);
  for (std::size_t i = 0; i < row.size(); ++i) {
    switch ((i / 16) % 4) {
      case 0: break;                              // blank
      case 1: row[i] = 0xFF; break;               // solid
      default: row[i] = static_cast<std::uint8_t>(any(rng));  // noise
    }
  }
  return row;
}

void BM_ScaleRow(benchmark::State& state) {
  const int bpp = static_cast<int>(state.range(0));
  const int repeat = static_cast<int>(state.range(1));
  const int copies = static_cast<int>(state.range(2));
  const Bytes left = MakeSource(kSidePixels, bpp, 1);
  const Bytes mid = MakeSource(kMidPixels, bpp, 2);
  const Bytes right = MakeSource(kSidePixels, bpp, 3);
  pc50::APC50Device device;
  const int total = device.ScaleRow(bpp, repeat, kLead, kSidePixels, left.data(), kMidPixels, mid.data(), copies,
                                    kGap, kSidePixels, right.data(), nullptr);
  const std::size_t outBytes = (static_cast<std::size_t>(total) * bpp + 7) / 8;
  Bytes out(outBytes + 1);
  for (auto _ : state) {
    const int pixels = device.ScaleRow(bpp, repeat, kLead, kSidePixels, left.data(), kMidPixels, mid.data(), copies,
                                       kGap, kSidePixels, right.data(), out.data());
    benchmark::DoNotOptimize(pixels);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * outBytes));
  state.counters["out_bytes"] = static_cast<double>(outBytes);
}

void Arguments(benchmark::internal::Benchmark* b) {
  for (int bpp : {1, 2, 4, 8}) {
    for (int repeat : {1, 2, 3}) {
      for (int copies : {1, 4}) b->Args({bpp, repeat, copies});
    }
  }
  b->ArgNames({"bpp", "repeat", "copies"});
}

BENCHMARK(BM_ScaleRow)->Apply(Arguments);

}  // namespace
