// pc50 info: everything the device answers.
#pragma once

#include <string>

#include "command.h"
#include "device_report.h"

namespace pc50::cli {

Command AddInfoCommand(CLI::App& parent);

// The report as the command prints it.
std::string FormatDeviceReport(const DeviceReport& report);

}  // namespace pc50::cli
