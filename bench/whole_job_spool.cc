// Writes the spool job of the whole-job benchmarks for bench/whole_job.sh:
//
//   whole_job_spool SPOOL [mode 1|2|3] [dpi] [width inches] [height inches]
//
// Defaults: mode 3 (four-colour ribbon, CMYK and Gold), 360 dpi, 10 x 8
// inches, one copy per page.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "spool_writer.h"
#include "whole_job.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 6) {
    std::fprintf(stderr, "usage: %s SPOOL [mode 1|2|3] [dpi] [width inches] [height inches]\n", argv[0]);
    return 2;
  }
  pc50::bench::WholeJobShape shape;
  if (argc > 2) {
    const int mode = std::atoi(argv[2]);
    if (mode < 1 || mode > 3) {
      std::fprintf(stderr, "mode must be 1, 2 or 3, not %s\n", argv[2]);
      return 2;
    }
    shape.mode = static_cast<pc50::bench::OutputMode>(mode);
  }
  if (argc > 3) shape.dpi = static_cast<float>(std::atof(argv[3]));
  if (argc > 4) shape.widthInches = std::atof(argv[4]);
  if (argc > 5) shape.heightInches = std::atof(argv[5]);
  if (!(shape.dpi >= 30 && shape.dpi <= 450 && shape.widthInches > 0 && shape.widthInches <= 40 &&
        shape.heightInches > 0 && shape.heightInches <= 40)) {
    std::fprintf(stderr, "dpi 30..450 and a page of at most 40 x 40 inches, please\n");
    return 2;
  }
  const std::string error = pc50::hostkit::WriteSpoolJob(pc50::bench::MakeWholeJob(shape), argv[1]);
  if (!error.empty()) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  return 0;
}
