// Our PackBits encoder against libtiff's on the same rows: an image of 256
// rows of one kind (mostly blank, dithered photo-like, alternating bytes) is
// packed row by row by PackBitsEncode, and written by libtiff as a 1-bit
// PackBits TIFF in memory (TIFFClientOpen with memory I/O, TIFFWriteScanline,
// which packs each row on its own too).
//
//   BM_Ours / BM_Libtiff   bytes of raw rows per second for each encoder
//   BM_Ratio               both encoders timed in the same loop (thread CPU
//                          time, so other load on the machine cancels out); counters
//                          ours_MBps, libtiff_MBps and ratio (ours faster
//                          when above 1), and the packed sizes of both
//
// Before timing, libtiff's strip is read back and unpacked to check that it
// holds the rows, so both sides do the same work.
#include <benchmark/benchmark.h>
#include <tiffio.h>
#include <time.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "device/packbits.h"
#include "row_kinds.h"

namespace {

using pc50::bench::Bytes;
using pc50::bench::KindName;
using pc50::bench::MakeImage;

constexpr int kRows = 256;

// ---- A TIFF file in memory --------------------------------------------------------

struct MemoryFile {
  Bytes bytes;
  std::size_t position = 0;
};

MemoryFile* FileOf(thandle_t handle) { return static_cast<MemoryFile*>(handle); }

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t size) {
  MemoryFile* file = FileOf(handle);
  const std::size_t available = file->position < file->bytes.size() ? file->bytes.size() - file->position : 0;
  const std::size_t n = static_cast<std::size_t>(size) < available ? static_cast<std::size_t>(size) : available;
  std::memcpy(buffer, file->bytes.data() + file->position, n);
  file->position += n;
  return static_cast<tmsize_t>(n);
}

tmsize_t WriteProc(thandle_t handle, void* buffer, tmsize_t size) {
  MemoryFile* file = FileOf(handle);
  const std::size_t end = file->position + static_cast<std::size_t>(size);
  if (end > file->bytes.size()) file->bytes.resize(end);
  std::memcpy(file->bytes.data() + file->position, buffer, static_cast<std::size_t>(size));
  file->position = end;
  return size;
}

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
  MemoryFile* file = FileOf(handle);
  const std::size_t base = whence == SEEK_CUR ? file->position : whence == SEEK_END ? file->bytes.size() : 0;
  file->position = base + static_cast<std::size_t>(offset);
  return file->position;
}

int CloseProc(thandle_t) { return 0; }
toff_t SizeProc(thandle_t handle) { return FileOf(handle)->bytes.size(); }
int MapProc(thandle_t, void**, toff_t*) { return 0; }
void UnmapProc(thandle_t, void*, toff_t) {}

TIFF* OpenMemory(MemoryFile* file, const char* mode) {
  file->position = 0;
  return TIFFClientOpen("memory", mode, file, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc, MapProc,
                        UnmapProc);
}

// Writes the rows as a 1-bit PackBits TIFF of one strip into file; returns
// false on any libtiff failure.
bool WriteTiff(MemoryFile* file, const Bytes& image, int width) {
  file->bytes.clear();
  TIFF* tiff = OpenMemory(file, "w");
  if (tiff == nullptr) return false;
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(width) * 8);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(kRows));
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_PACKBITS);
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, static_cast<std::uint32_t>(kRows));
  bool ok = true;
  for (int y = 0; y < kRows && ok; ++y) {
    void* row = const_cast<std::uint8_t*>(image.data() + static_cast<std::size_t>(y) * width);
    ok = TIFFWriteScanline(tiff, row, static_cast<std::uint32_t>(y), 0) == 1;
  }
  TIFFClose(tiff);
  return ok;
}

// The packed strip libtiff wrote, or empty.
Bytes ReadRawStrip(MemoryFile* file) {
  TIFF* tiff = OpenMemory(file, "r");
  if (tiff == nullptr) return {};
  Bytes strip(static_cast<std::size_t>(TIFFRawStripSize(tiff, 0)));
  const tmsize_t got = TIFFReadRawStrip(tiff, 0, strip.data(), static_cast<tmsize_t>(strip.size()));
  TIFFClose(tiff);
  strip.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return strip;
}

// Packs every row of image with our encoder; returns the packed total.
std::size_t PackOurs(const Bytes& image, int width, std::uint8_t* out) {
  std::size_t total = 0;
  for (int y = 0; y < kRows; ++y) {
    total += static_cast<std::size_t>(
        pc50::PackBitsEncode(out, image.data() + static_cast<std::size_t>(y) * width, width));
  }
  return total;
}

struct Setup {
  Bytes image;
  Bytes ours;
  MemoryFile tiff;
  std::size_t libtiffPacked = 0;
};

// Builds the image and checks that libtiff's strip unpacks to it.
bool Prepare(benchmark::State& state, Setup* setup) {
  const int kind = static_cast<int>(state.range(0));
  const int width = static_cast<int>(state.range(1));
  TIFFSetWarningHandler(nullptr);
  setup->image = MakeImage(kind, width, kRows);
  setup->ours.resize(static_cast<std::size_t>(pc50::PackBitsWorstCase(width)));
  if (!WriteTiff(&setup->tiff, setup->image, width)) {
    state.SkipWithError("libtiff could not write the image");
    return false;
  }
  const Bytes strip = ReadRawStrip(&setup->tiff);
  Bytes unpacked(setup->image.size() + 1);
  int length = 0;
  if (!pc50::UnpackBits(strip.data(), static_cast<int>(strip.size()), unpacked.data(),
                        static_cast<int>(unpacked.size()), &length) ||
      static_cast<std::size_t>(length) != setup->image.size() ||
      std::memcmp(unpacked.data(), setup->image.data(), setup->image.size()) != 0) {
    state.SkipWithError("libtiff's strip does not unpack to the image");
    return false;
  }
  setup->libtiffPacked = strip.size();
  state.SetLabel(KindName(kind));
  return true;
}

void BM_Ours(benchmark::State& state) {
  Setup setup;
  if (!Prepare(state, &setup)) return;
  const int width = static_cast<int>(state.range(1));
  std::size_t packed = 0;
  for (auto _ : state) {
    packed = PackOurs(setup.image, width, setup.ours.data());
    benchmark::DoNotOptimize(packed);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * setup.image.size()));
  state.counters["packed"] = static_cast<double>(packed) / static_cast<double>(setup.image.size());
}

void BM_Libtiff(benchmark::State& state) {
  Setup setup;
  if (!Prepare(state, &setup)) return;
  const int width = static_cast<int>(state.range(1));
  for (auto _ : state) {
    if (!WriteTiff(&setup.tiff, setup.image, width)) {
      state.SkipWithError("libtiff failed");
      break;
    }
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * setup.image.size()));
  state.counters["packed"] = static_cast<double>(setup.libtiffPacked) / static_cast<double>(setup.image.size());
}

// CPU time of this thread, in seconds.
double ThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Both encoders in one loop, so that a busy machine slows both alike.
void BM_Ratio(benchmark::State& state) {
  Setup setup;
  if (!Prepare(state, &setup)) return;
  const int width = static_cast<int>(state.range(1));
  double oursSeconds = 0, theirSeconds = 0;
  std::size_t packed = 0;
  for (auto _ : state) {
    const double start = ThreadSeconds();
    packed = PackOurs(setup.image, width, setup.ours.data());
    benchmark::DoNotOptimize(packed);
    benchmark::ClobberMemory();
    const double middle = ThreadSeconds();
    if (!WriteTiff(&setup.tiff, setup.image, width)) {
      state.SkipWithError("libtiff failed");
      break;
    }
    benchmark::ClobberMemory();
    oursSeconds += middle - start;
    theirSeconds += ThreadSeconds() - middle;
  }
  const double bytes = static_cast<double>(state.iterations()) * static_cast<double>(setup.image.size());
  if (oursSeconds <= 0 || theirSeconds <= 0) return;
  state.counters["ours_MBps"] = bytes / oursSeconds / 1e6;
  state.counters["libtiff_MBps"] = bytes / theirSeconds / 1e6;
  state.counters["ratio"] = theirSeconds / oursSeconds;
  state.counters["ours_packed"] = static_cast<double>(packed) / static_cast<double>(setup.image.size());
  state.counters["libtiff_packed"] =
      static_cast<double>(setup.libtiffPacked) / static_cast<double>(setup.image.size());
}

void Rows(benchmark::internal::Benchmark* b) {
  for (int kind : {pc50::bench::kBlank, pc50::bench::kDithered, pc50::bench::kAlternating}) {
    for (int width : {540, 4320}) b->Args({kind, width});
  }
  b->ArgNames({"kind", "width"});
}

BENCHMARK(BM_Ours)->Apply(Rows);
BENCHMARK(BM_Libtiff)->Apply(Rows);
BENCHMARK(BM_Ratio)->Apply(Rows);

}  // namespace
