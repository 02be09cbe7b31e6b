// Throughput of the PackBits encoder and decoder on three kinds of raster row
// (bench/row_kinds.h): mostly blank, dithered photo-like and the worst case,
// alternating bytes. Each iteration packs or unpacks the next row of an
// image of about 1 MB of distinct rows: one row packed over and over would
// let the processor learn its packet sequence by heart, which no print job
// does.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "device/packbits.h"
#include "row_kinds.h"

namespace {

using pc50::bench::Bytes;
using pc50::bench::KindName;

// Enough rows for about 1 MB, at least 8.
int RowCount(int width) { return std::max(8, (1 << 20) / width); }

// The image of a kind and width, made once: each benchmark runs many times.
const Bytes& Image(int kind, int width) {
  static std::map<std::pair<int, int>, Bytes> images;
  Bytes& image = images[{kind, width}];
  if (image.empty()) image = pc50::bench::MakeImage(kind, width, RowCount(width));
  return image;
}

void BM_PackBitsEncode(benchmark::State& state) {
  const int kind = static_cast<int>(state.range(0));
  const int width = static_cast<int>(state.range(1));
  const int rows = RowCount(width);
  const Bytes& image = Image(kind, width);
  Bytes out(static_cast<std::size_t>(pc50::PackBitsWorstCase(width)));
  std::int64_t packed = 0;
  int y = 0;
  for (auto _ : state) {
    packed += pc50::PackBitsEncode(out.data(), image.data() + static_cast<std::size_t>(y) * width, width);
    benchmark::ClobberMemory();
    if (++y == rows) y = 0;
  }
  benchmark::DoNotOptimize(packed);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * width);
  state.SetLabel(KindName(kind));
  state.counters["ratio"] = static_cast<double>(packed) / static_cast<double>(state.iterations() * width);
}

void BM_UnpackBits(benchmark::State& state) {
  const int kind = static_cast<int>(state.range(0));
  const int width = static_cast<int>(state.range(1));
  const int rows = RowCount(width);
  const Bytes& image = Image(kind, width);
  // The packed rows one after the other, and where each starts.
  Bytes packed(static_cast<std::size_t>(pc50::PackBitsWorstCase(width)) * static_cast<std::size_t>(rows));
  std::vector<int> starts(static_cast<std::size_t>(rows) + 1, 0);
  for (int y = 0; y < rows; ++y) {
    const int n = pc50::PackBitsEncode(packed.data() + starts[static_cast<std::size_t>(y)],
                                       image.data() + static_cast<std::size_t>(y) * width, width);
    starts[static_cast<std::size_t>(y) + 1] = starts[static_cast<std::size_t>(y)] + n;
  }
  Bytes out(static_cast<std::size_t>(width) + 1);
  int y = 0;
  for (auto _ : state) {
    const int start = starts[static_cast<std::size_t>(y)];
    int length = 0;
    const bool ok = pc50::UnpackBits(packed.data() + start, starts[static_cast<std::size_t>(y) + 1] - start,
                                     out.data(), static_cast<int>(out.size()), &length);
    benchmark::DoNotOptimize(ok);
    benchmark::DoNotOptimize(length);
    benchmark::ClobberMemory();
    if (++y == rows) y = 0;
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * width);
  state.SetLabel(KindName(kind));
}

void RowArguments(benchmark::internal::Benchmark* b) {
  for (int kind : {pc50::bench::kBlank, pc50::bench::kDithered, pc50::bench::kAlternating}) {
    for (int width : {64, 540, 4320, 34560}) b->Args({kind, width});
  }
}

BENCHMARK(BM_PackBitsEncode)->Apply(RowArguments);
BENCHMARK(BM_UnpackBits)->Apply(RowArguments);

}  // namespace
