#include "engine/pc50_driver.h"

#include <new>

#include "device/driver_options.h"
#include "device/pc50_device.h"
#include "platform/diagnostics.h"
#include "ui/driver_options_dialog.h"

namespace pc50 {

APC50Driver::APC50Driver() : pc50Device_(new (std::nothrow) APC50Device()) { SetDevice(pc50Device_.get()); }

APC50Driver::~APC50Driver() {
  // The raster driver must not reach the device once it is gone.
  SetDevice(nullptr);
}

int APC50Driver::HasDriverOption() { return 1; }

int APC50Driver::DoDriverOption(void* optionBlock, int action, DrvInfo* info, HWND parent, ABasePort*) {
  auto* block = static_cast<std::uint8_t*>(optionBlock);
  if (block == nullptr) return Fail("no driver-option block");
  switch (action) {
    case 1:
      ResetDriverOptions(block);
      return RunDriverOptionsDialog(parent, block, info);
    case 2:
      ResetDriverOptions(block);
      return 1;
    case 3:
      return RunDriverOptionsDialog(parent, block, info);
    default:
      return Fail("driver-option action %d is not 1, 2 or 3", action);
  }
}

}  // namespace pc50
