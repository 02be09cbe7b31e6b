// pc50 spool IMAGE... -o SPOOL: the host's raster step for PNG images.
#pragma once

#include <string>
#include <utility>

#include "command.h"

namespace pc50::cli {

Command AddSpoolCommand(CLI::App& parent);

// "4x6" -> {4, 6}; throws UsageError unless both are positive numbers.
std::pair<double, double> ParseMediaSize(const std::string& text);

// "Gold=mask.png" -> {"Gold", "mask.png"}; throws UsageError naming option
// when there is no "=" or either side is empty.
std::pair<std::string, std::string> SplitAssignment(const std::string& text, const char* option);

}  // namespace pc50::cli
