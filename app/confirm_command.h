// `pc50-app confirm`: tells a job that waits for a cartridge that the
// cartridge is in (Resume-Job), from a terminal.
#pragma once

#include <cups/cups.h>

namespace pc50::app {

// -u URI or -d PRINTER pick the printer (default: the local server's default
// printer); -j JOB-ID the job (default: the printer's processing job).
int ConfirmCommand(const char* base_name, int num_options, cups_option_t* options, int num_files,
                   char** files, void* data);

}  // namespace pc50::app
