// The two ways a pc50 command fails: the job (or an input file) was wrong,
// or the command line was. main() turns them into exit codes 1 and 2.
#pragma once

#include <stdexcept>
#include <string>

#include "error.h"

namespace pc50::cli {

// The tool works in the raster step's terms (images, settings, jobs).
using namespace pc50::raster;

// The job failed; the message names the file, offset or option and what was
// wrong. Exit code 1. The raster step's own failures are of this type.
using Failure = raster::Error;

// The command line asks for something impossible. Exit code 2.
class UsageError : public std::runtime_error {
 public:
  explicit UsageError(const std::string& reason) : std::runtime_error(reason) {}
};

// text on one line: line breaks and tabs become spaces.
inline std::string OneLine(std::string text) { return raster::Error::OneLine(std::move(text)); }

}  // namespace pc50::cli
