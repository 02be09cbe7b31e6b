// Throughput of the PackBits encoder, decoder and canonical check on three kinds of raster row
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

// The rows of an image packed one after the other, and where each starts.
struct PackedImage {
  Bytes packets;
  std::vector<int> starts;
};

PackedImage PackImage(const Bytes& image, int width, int rows) {
  PackedImage packed;
  packed.packets.resize(static_cast<std::size_t>(pc50::PackBitsWorstCase(width)) * static_cast<std::size_t>(rows));
  packed.starts.assign(static_cast<std::size_t>(rows) + 1, 0);
  for (int y = 0; y < rows; ++y) {
    const std::size_t at = static_cast<std::size_t>(y);
    const int n = pc50::PackBitsEncode(packed.packets.data() + packed.starts[at], image.data() + at * width, width);
    packed.starts[at + 1] = packed.starts[at] + n;
  }
  return packed;
}

void BM_UnpackBits(benchmark::State& state) {
  const int kind = static_cast<int>(state.range(0));
  const int width = static_cast<int>(state.range(1));
  const int rows = RowCount(width);
  const PackedImage packed = PackImage(Image(kind, width), width, rows);
  Bytes out(static_cast<std::size_t>(width) + 1);
  int y = 0;
  for (auto _ : state) {
    const int start = packed.starts[static_cast<std::size_t>(y)];
    int length = 0;
    const bool ok = pc50::UnpackBits(packed.packets.data() + start, packed.starts[static_cast<std::size_t>(y) + 1] - start,
                                     out.data(), static_cast<int>(out.size()), &length);
    benchmark::DoNotOptimize(ok);
    benchmark::DoNotOptimize(length);
    benchmark::ClobberMemory();
    if (++y == rows) y = 0;
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * width);
  state.SetLabel(KindName(kind));
}

// The check that lets a spool row go out as its packets, in bytes of the
// row it stands for.
void BM_PackBitsIsCanonical(benchmark::State& state) {
  const int kind = static_cast<int>(state.range(0));
  const int width = static_cast<int>(state.range(1));
  const int rows = RowCount(width);
  const PackedImage packed = PackImage(Image(kind, width), width, rows);
  int y = 0;
  for (auto _ : state) {
    const int start = packed.starts[static_cast<std::size_t>(y)];
    const bool ok = pc50::PackBitsIsCanonical(packed.packets.data() + start,
                                              packed.starts[static_cast<std::size_t>(y) + 1] - start, width);
    if (!ok) state.SkipWithError("the encoder's packets were not taken as its own");
    benchmark::DoNotOptimize(ok);
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
BENCHMARK(BM_PackBitsIsCanonical)->Apply(RowArguments);

}  // namespace
