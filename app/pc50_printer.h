// The "PC-50 Thermal Printer" driver for PAPPL: its capabilities, the
// vendor attributes with their defaults, and the job callbacks that hand
// each job to the module through RunSpoolJob.
#pragma once

#include <pappl/pappl.h>

#include "cartridge_desk.h"

namespace pc50::app {

extern const char kDriverName[];         // "pc50"
extern const char kDriverDescription[];  // "PC-50 Thermal Printer"
extern const char kSpoolFormat[];        // "application/vnd.pc50-spool"

// The driver table handed to papplMainloop and papplSystemSetPrinterDrivers.
pappl_pr_driver_t* Drivers(int* count);

bool DriverCallback(pappl_system_t* system, const char* driver_name, const char* device_uri,
                    const char* device_id, pappl_pr_driver_data_t* data, ipp_t** attrs, void* cbdata);
const char* AutoAddCallback(const char* device_info, const char* device_uri, const char* device_id,
                            void* data);

// Our filter from PNG, JPEG and PDF to the printer: the raster step makes a
// spool job (copies, scaling and spot colours stay ours) and the module
// prints it.
bool DocumentFilter(pappl_job_t* job, pappl_device_t* device, void* data);

// The cartridge desk of a printer made by this driver, or nullptr.
CartridgeDesk* DeskOf(pappl_printer_t* printer);

// Shows the installed cartridge as the printer's supply.
void ShowInstalledCartridge(pappl_printer_t* printer);

}  // namespace pc50::app
