// The few facts about the process's terminal that the tool needs.
#pragma once

#include <cstdio>

namespace pc50::cli {

// True when stream is attached to a terminal.
bool IsTerminal(std::FILE* stream);

}  // namespace pc50::cli
