// The modal "Driver Options" dialog that edits the ribbon type and print
// order of a driver-option block.
#pragma once

#include <cstdint>

#include "pc50/pc50.h"

namespace pc50 {

// Runs the dialog on block over parent. Returns 1 when the user pressed OK
// (the block then holds the choices), 0 otherwise. A block whose tag is not
// initialised is reset to its defaults first, even when the user cancels.
// Without a window system the dialog cannot be shown: it returns 0 and leaves
// the block as the reset left it.
int RunDriverOptionsDialog(HWND parent, std::uint8_t* block, DrvInfo* info);

}  // namespace pc50
