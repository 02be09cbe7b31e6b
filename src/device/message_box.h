// The module's message box: the cartridge prompt goes through here.
#pragma once

#include <cstdint>

namespace pc50 {

// Shows text with caption over the host window ownerWindow (a 32-bit window
// handle as the job record stores it, 0 for none), with the given buttons,
// brought to the foreground. Returns the button pressed (IDOK, IDCANCEL).
int ShowMessage(const char* text, unsigned buttons, std::int32_t ownerWindow, const char* caption);

}  // namespace pc50
