#include "ui/driver_options_dialog.h"

#include "device/driver_options.h"
#include "platform/diagnostics.h"

namespace pc50 {

int RunDriverOptionsDialog(HWND, std::uint8_t* block, DrvInfo*) {
  if (block[0] != 20) ResetDriverOptions(block);
  return Fail("the Driver Options dialog needs a window system");
}

}  // namespace pc50
