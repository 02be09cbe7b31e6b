// Without a window system there is no dialog to show.
#ifndef _WIN32

#include "ui/native_dialog.h"

#include "platform/diagnostics.h"

namespace pc50 {

int ShowNativeDriverOptionsDialog(HWND, CDriverOptionsDialog&) {
  Fail("the Driver Options dialog needs a window system");
  return kNoNativeDialog;
}

}  // namespace pc50

#endif  // !_WIN32
