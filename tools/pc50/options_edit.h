// pc50 options edit FILE: the "Driver Options" dialog as a terminal form over
// a 256-byte driver-option block file. Every choice is a click on the
// dialog's controls and goes through the dialog's own logic, so the form
// behaves as the dialog does: OK writes the ribbon type and print order,
// Cancel writes nothing, Restore Defaults changes the form until OK.
#pragma once

#include <cstdio>

#include "command.h"
#include "options_command.h"

namespace pc50::cli {

// Adds "edit" under the options command.
Command AddOptionsEditCommand(CLI::App& options);

// Where the form reads and draws.
struct FormStreams {
  std::FILE* in = stdin;
  std::FILE* out = stdout;
  // Arrow keys on a raw terminal; otherwise numbered choices line by line.
  bool full_screen = false;
};

// Runs the form on block. Returns true when the user pressed OK: block then
// holds the choices. A block whose tag is not 20 is reset to its defaults
// first, whatever the user does. Throws Failure when the form fails.
bool RunOptionsForm(OptionBlock* block, const FormStreams& streams);

}  // namespace pc50::cli
