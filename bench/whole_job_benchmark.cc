// Whole print jobs through the C entry points, from the spool file to the
// output file: CMYK and a Gold spot colour, four copies (two by two on the
// media) of a page of 10 x 8 inches, in each output mode, at 360 dpi and at
// 90 dpi requested (printed at 180 dpi with every pixel repeated twice
// across and down).
//
// Throughput is in unpacked raster bytes produced per second: the bytes of
// every plane bitmap of every pass the stream holds, as the host kit's
// decoder reads them back from one run. Counters: the stream's size, the
// resume steps and the longest step.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>

#include "spool_writer.h"
#include "stream_decoder.h"
#include "whole_job.h"

namespace {

namespace fs = std::filesystem;
using pc50::bench::OutputMode;
using pc50::bench::WholeJobShape;

// A private directory for the job's files, also the module's temporary
// directory; removed with everything in it.
class JobDirectory {
 public:
  JobDirectory() {
    std::error_code error;
    const fs::path shm("/dev/shm");
    const fs::path base = fs::is_directory(shm, error) ? shm : fs::temp_directory_path();
    path_ = base / ("pc50_whole_job_bench_" + std::to_string(::getpid()));
    fs::remove_all(path_, error);
    fs::create_directories(path_);
    previousTmp_ = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
    ::setenv("TMPDIR", path_.c_str(), 1);
  }
  ~JobDirectory() {
    std::error_code error;
    fs::remove_all(path_, error);
    if (previousTmp_.empty()) {
      ::unsetenv("TMPDIR");
    } else {
      ::setenv("TMPDIR", previousTmp_.c_str(), 1);
    }
  }
  std::string File(const char* name) const { return (path_ / name).string(); }

 private:
  fs::path path_;
  std::string previousTmp_;
};

std::int64_t RasterBytes(const std::string& streamPath) {
  std::FILE* file = std::fopen(streamPath.c_str(), "rb");
  if (file == nullptr) return -1;
  std::string stream;
  char buffer[1 << 16];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) stream.append(buffer, got);
  std::fclose(file);
  const pc50::hostkit::DecodeResult decoded = pc50::hostkit::DecodeStream(stream);
  if (!decoded.ok) return -1;
  std::int64_t bytes = 0;
  for (const pc50::hostkit::Page& page : decoded.pages) {
    for (const pc50::hostkit::Pass& pass : page.passes) {
      for (const pc50::hostkit::Bitmap& plane : pass.planes) bytes += static_cast<std::int64_t>(plane.bits.size());
    }
  }
  return bytes;
}

// Arguments: output mode (1, 2, 3), requested dpi.
void BM_WholeJob(benchmark::State& state) {
  WholeJobShape shape;
  shape.mode = static_cast<OutputMode>(state.range(0));
  shape.dpi = static_cast<float>(state.range(1));
  shape.copiesAcross = 2;
  shape.copiesDown = 2;
  state.SetLabel(std::string(pc50::bench::ModeName(shape.mode)) + (shape.dpi < 180 ? " repeat 2" : " 360 dpi"));

  JobDirectory dir;
  const std::string spool = dir.File("job.spl");
  const std::string output = dir.File("job.prn");
  const std::string written = pc50::hostkit::WriteSpoolJob(pc50::bench::MakeWholeJob(shape), spool);
  if (!written.empty()) {
    state.SkipWithError(("cannot write the spool job: " + written).c_str());
    return;
  }
  const int copies = pc50::bench::Copies(shape);
  const pc50::bench::JobRun first = pc50::bench::RunWholeJob(spool, output, copies);
  const std::int64_t rasterBytes = first.ok ? RasterBytes(output) : -1;
  if (!first.ok || rasterBytes <= 0) {
    state.SkipWithError(("the job failed: " + first.reason).c_str());
    return;
  }

  double longestStep = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::remove(output.c_str());
    state.ResumeTiming();
    const pc50::bench::JobRun run = pc50::bench::RunWholeJob(spool, output, copies);
    if (!run.ok) {
      state.SkipWithError(("the job failed: " + run.reason).c_str());
      return;
    }
    if (run.longestStepMs > longestStep) longestStep = run.longestStepMs;
  }
  state.SetBytesProcessed(state.iterations() * rasterBytes);
  state.counters["stream_MB"] = static_cast<double>(first.bytes) / 1e6;
  state.counters["raster_MB"] = static_cast<double>(rasterBytes) / 1e6;
  state.counters["steps"] = static_cast<double>(first.steps);
  state.counters["longest_step_ms"] = longestStep;
}

BENCHMARK(BM_WholeJob)
    ->ArgNames({"mode", "dpi"})
    ->ArgsProduct({{1, 2, 3}, {90, 360}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
