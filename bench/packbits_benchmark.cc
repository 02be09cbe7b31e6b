// Throughput of the PackBits encoder and decoder on three kinds of raster row:
// mostly blank (a few marks on white), dithered photo-like (runs in highlights
// and shadows, noise in the mid-tones) and the worst case, alternating bytes.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "device/packbits.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

enum RowKind { kBlank = 0, kDithered = 1, kAlternating = 2 };

Bytes MakeRow(int kind, int width) {
  Bytes row(static_cast<std::size_t>(width), 0);
  std::mt19937 rng(12345u + static_cast<unsigned>(width));
  switch (kind) {
    case kBlank: {
      // Short marks of text or line art on one byte in fifty or so.
      std::uniform_int_distribution<int> gap(20, 120);
      std::uniform_int_distribution<int> mark(1, 6);
      std::uniform_int_distribution<int> bits(1, 255);
      for (int x = gap(rng); x < width; x += gap(rng)) {
        for (int k = mark(rng); k > 0 && x < width; --k, ++x) {
          row[static_cast<std::size_t>(x)] = static_cast<std::uint8_t>(bits(rng));
        }
      }
      break;
    }
    case kDithered: {
      // A 1-bit plane of a smooth image with grain, dithered by a 4x4 Bayer
      // threshold: solid where the tone is near 0 or 1, patterned between.
      static const int kBayer[4] = {0, 8, 2, 10};
      std::normal_distribution<double> grain(0.0, 0.08);
      for (int x = 0; x < width; ++x) {
        int byte = 0;
        for (int b = 0; b < 8; ++b) {
          const int pixel = x * 8 + b;
          double tone = 0.5 + 0.6 * std::sin(pixel / 900.0) * std::cos(pixel / 2300.0) + grain(rng);
          const double threshold = (kBayer[pixel & 3] + 0.5) / 16.0 + 0.25;
          byte = (byte << 1) | (tone > threshold ? 1 : 0);
        }
        row[static_cast<std::size_t>(x)] = static_cast<std::uint8_t>(byte);
      }
      break;
    }
    default:
      for (int x = 0; x < width; ++x) row[static_cast<std::size_t>(x)] = (x & 1) ? 0x55 : 0xAA;
  }
  return row;
}

const char* KindName(int kind) {
  return kind == kBlank ? "blank" : kind == kDithered ? "dithered" : "alternating";
}

void BM_PackBitsEncode(benchmark::State& state) {
  const int kind = static_cast<int>(state.range(0));
  const int width = static_cast<int>(state.range(1));
  const Bytes row = MakeRow(kind, width);
  Bytes out(static_cast<std::size_t>(pc50::PackBitsWorstCase(width)));
  int packed = 0;
  for (auto _ : state) {
    packed = pc50::PackBitsEncode(out.data(), row.data(), width);
    benchmark::DoNotOptimize(packed);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * width);
  state.SetLabel(KindName(kind));
  state.counters["ratio"] = width > 0 ? static_cast<double>(packed) / width : 0.0;
}

void BM_UnpackBits(benchmark::State& state) {
  const int kind = static_cast<int>(state.range(0));
  const int width = static_cast<int>(state.range(1));
  const Bytes row = MakeRow(kind, width);
  Bytes packed(static_cast<std::size_t>(pc50::PackBitsWorstCase(width)));
  packed.resize(static_cast<std::size_t>(pc50::PackBitsEncode(packed.data(), row.data(), width)));
  Bytes out(static_cast<std::size_t>(width) + 1);
  for (auto _ : state) {
    int length = 0;
    const bool ok = pc50::UnpackBits(packed.data(), static_cast<int>(packed.size()), out.data(),
                                     static_cast<int>(out.size()), &length);
    benchmark::DoNotOptimize(ok);
    benchmark::DoNotOptimize(length);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * width);
  state.SetLabel(KindName(kind));
}

void RowArguments(benchmark::internal::Benchmark* b) {
  for (int kind : {kBlank, kDithered, kAlternating}) {
    for (int width : {64, 540, 4320, 34560}) b->Args({kind, width});
  }
}

BENCHMARK(BM_PackBitsEncode)->Apply(RowArguments);
BENCHMARK(BM_UnpackBits)->Apply(RowArguments);

}  // namespace
