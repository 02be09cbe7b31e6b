// pc50 print SPOOL: runs a spool job through the module as a host would.
#pragma once

#include "command.h"

namespace pc50::cli {

Command AddPrintCommand(CLI::App& parent);

}  // namespace pc50::cli
