// pc50 render STREAM -o PNG: decodes a PC-50 stream and writes its preview.
#pragma once

#include "command.h"

namespace pc50::cli {

Command AddRenderCommand(CLI::App& parent);

}  // namespace pc50::cli
