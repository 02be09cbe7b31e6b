// The factory of the object interface.
#include <new>

#include "engine/pc50_driver.h"
#include "host/module_state.h"
#include "pc50/pc50.h"

extern "C" PC50_API ABasePrinterDriver* createNewPrinterDriver(void) {
  pc50::ModuleStateGuard guard;
  try {
    return new (std::nothrow) pc50::APC50Driver();
  } catch (...) {
    return nullptr;
  }
}
