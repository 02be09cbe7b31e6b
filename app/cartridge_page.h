// The operator's answers to cartridge prompts: the Cartridge web page with
// Continue and Cancel for each waiting job, and Resume-Job on a waiting job.
#pragma once

#include <pappl/pappl.h>

namespace pc50::app {

extern const char kCartridgePath[];  // "/cartridge"

// Adds the page and its navigation link; before papplSystemRun.
void AddCartridgePage(pappl_system_t* system);

// Adds the page's link to a printer's own status page.
void AddCartridgeLink(pappl_printer_t* printer, void* data = nullptr);

// IPP operations the server does not handle itself: Resume-Job answers a
// waiting prompt with "installed".
bool OperationCallback(pappl_client_t* client, void* data);

}  // namespace pc50::app
