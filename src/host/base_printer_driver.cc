// The host's abstract driver class: the members this module exports, with
// the base results every driver inherits.
#include "pc50/pc50.h"

ABasePrinterDriver::ABasePrinterDriver() = default;
ABasePrinterDriver::ABasePrinterDriver(const ABasePrinterDriver&) {}
ABasePrinterDriver& ABasePrinterDriver::operator=(const ABasePrinterDriver&) { return *this; }
ABasePrinterDriver::~ABasePrinterDriver() = default;

int ABasePrinterDriver::AbortPrint() { return 1; }
int ABasePrinterDriver::HasControlPanel() { return 0; }
int ABasePrinterDriver::DoControlPanel(void*, int, HWND, ABasePort*) { return 0; }
int ABasePrinterDriver::HasDriverOption() { return 0; }
int ABasePrinterDriver::DoDriverOption(void*, int, DrvInfo*, HWND, ABasePort*) { return 0; }
int ABasePrinterDriver::GetPrinterName(char*, ABasePort*) { return 0; }
int ABasePrinterDriver::DecodePPDString(char*, char*, DrvInfo*) { return 0; }
int ABasePrinterDriver::GetRowNumber() { return -1; }
int ABasePrinterDriver::SupportSeparation() { return 1; }
float ABasePrinterDriver::GetVersion() { return 1.0f; }
int ABasePrinterDriver::PutPPDDisplays(char*, char*) { return 0; }
int ABasePrinterDriver::SupportCMYKPage() { return 1; }
int ABasePrinterDriver::GetDefaultScreening(tagScreeningOption*, const DrvInfo*) { return 0; }
int ABasePrinterDriver::GetDefaultColorIndex(char*, const DrvInfo*) { return -1; }
int ABasePrinterDriver::SetJobFileName(const char*, const char*) { return 1; }
int ABasePrinterDriver::DoInitStatusCheck(int&, char*) { return 0; }
int ABasePrinterDriver::GetStatus(int&, char*) { return 0; }
