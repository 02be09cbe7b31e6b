#include "resolution_probe.h"

#include <string>

#include "errors.h"
#include "preview_files.h"
#include "print_job.h"
#include "scratch_directory.h"
#include "spool_writer.h"

namespace pc50::cli {
namespace {

constexpr std::uint32_t kProbeWidth = 8;

std::size_t SetBitsInRow(const hostkit::Bitmap& bitmap, int y) {
  std::size_t count = 0;
  const std::uint8_t* row = bitmap.Row(y);
  for (std::size_t i = 0; i < bitmap.stride; ++i) {
    for (std::uint8_t b = row[i]; b != 0; b = static_cast<std::uint8_t>(b & (b - 1))) ++count;
  }
  return count;
}

ResolutionAnswer Probe(const ScratchDirectory& dir, float dpi, int number) {
  hostkit::SpoolJob job;
  job.xResolution = dpi;
  job.yResolution = dpi;
  job.colours = {"Black"};
  hostkit::Image image;
  image.cells[hostkit::kMain] = hostkit::FilledCell(kProbeWidth, 1, {0});
  job.images.push_back(image);
  const std::string base = (dir.path() / ("probe" + std::to_string(number))).string();
  const std::string reason = hostkit::WriteSpoolJob(job, base + ".spl");
  if (!reason.empty()) throw Failure("resolution probe: " + reason);

  PrintRequest request;
  request.spool_path = base + ".spl";
  request.output_path = base + ".prn";
  request.prompts_off = true;
  request.keep_stream = true;
  const PrintResult result = RunPrintJob(request);

  ResolutionAnswer answer;
  answer.requested = dpi;
  for (const hostkit::Page& page : DecodeStreamBytes(result.stream, "probe stream")) {
    for (const hostkit::Pass& pass : page.passes) {
      if (pass.resolution <= 0 || pass.planes.empty()) continue;
      answer.dpi = pass.resolution;
      for (int y = 0; y < pass.planes[0].height; ++y) {
        const std::size_t set = SetBitsInRow(pass.planes[0], y);
        if (set > 0) {
          answer.repeat = static_cast<int>(set / kProbeWidth);
          return answer;
        }
      }
    }
  }
  throw Failure("resolution probe at " + std::to_string(dpi) + " dpi: the stream prints nothing");
}

}  // namespace

std::vector<ResolutionAnswer> ProbeResolutions(const std::vector<float>& requested) {
  ScratchDirectory dir;
  std::vector<ResolutionAnswer> answers;
  int number = 0;
  for (float dpi : requested) answers.push_back(Probe(dir, dpi, ++number));
  return answers;
}

}  // namespace pc50::cli
