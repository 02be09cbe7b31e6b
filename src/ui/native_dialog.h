// The window system's own "Driver Options" dialog, where there is one.
#pragma once

#include "pc50/pc50.h"
#include "ui/driver_options_dialog.h"

namespace pc50 {

// Result of ShowNativeDriverOptionsDialog when no dialog can be shown.
constexpr int kNoNativeDialog = -1;

// Shows dialog template 129 modally over parent with dialog's logic behind
// it. Returns kIdOk or kIdCancel as the user ended it, or kNoNativeDialog
// (with a reason recorded) when there is no window system or the dialog
// could not be created. Never throws.
int ShowNativeDriverOptionsDialog(HWND parent, CDriverOptionsDialog& dialog);

}  // namespace pc50
