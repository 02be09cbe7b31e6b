// pc50 demo: the whole road of a job on the built-in sample: spool file,
// printed stream and preview, with nothing needed from the user.
#pragma once

#include "command.h"

namespace pc50::cli {

Command AddDemoCommand(CLI::App& parent);

}  // namespace pc50::cli
