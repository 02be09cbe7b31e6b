// Which resolution the device prints a requested resolution at. The driver
// object has no question for it, so the probe prints a one-row job at each
// resolution and reads the answer from the stream: the raster resolution it
// sets and how often it repeats each pixel across.
#pragma once

#include <vector>

namespace pc50::cli {

struct ResolutionAnswer {
  float requested = 0.0f;
  int dpi = 0;     // raster resolution of the stream
  int repeat = 0;  // device pixels per image pixel across
};

// Throws Failure when a probe job cannot run or its stream says nothing.
std::vector<ResolutionAnswer> ProbeResolutions(const std::vector<float>& requested);

}  // namespace pc50::cli
