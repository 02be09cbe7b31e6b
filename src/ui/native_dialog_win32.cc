// The "Driver Options" dialog on Windows: template 129 from the module's own
// resources, run modally with DialogBoxParamA. The dialog procedure only
// translates messages; CDriverOptionsDialog decides what they do.
#ifdef _WIN32

#include "ui/native_dialog.h"

#include "platform/diagnostics.h"
#include "platform/module_resources.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace pc50 {
namespace {

// The dialog's controls, reached through their windows.
class WindowControls : public ControlSet {
 public:
  explicit WindowControls(HWND dialog) : dialog_(dialog) {}

  void SetCheck(int id, bool checked) override {
    ::SendMessageA(::GetDlgItem(dialog_, id), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  }
  bool IsChecked(int id) const override {
    return ::SendMessageA(::GetDlgItem(dialog_, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
  }
  void Enable(int id, bool enabled) override { ::EnableWindow(::GetDlgItem(dialog_, id), enabled ? TRUE : FALSE); }

 private:
  HWND dialog_;
};

// EndDialog's result when the procedure gave up on an exception.
constexpr INT_PTR kDialogFailed = -2;

CDriverOptionsDialog* DialogOf(HWND window) {
  return reinterpret_cast<CDriverOptionsDialog*>(::GetWindowLongPtrA(window, DWLP_USER));
}

// No exception may unwind into the window system.
INT_PTR CALLBACK DriverOptionsProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    switch (message) {
      case WM_INITDIALOG: {
        ::SetWindowLongPtrA(window, DWLP_USER, lParam);
        WindowControls controls(window);
        return reinterpret_cast<CDriverOptionsDialog*>(lParam)->OnInitDialog(controls) ? TRUE : FALSE;
      }
      case WM_COMMAND: {
        CDriverOptionsDialog* dialog = DialogOf(window);
        if (dialog == nullptr || HIWORD(wParam) != BN_CLICKED) return FALSE;
        WindowControls controls(window);
        if (const int end = dialog->OnCommand(LOWORD(wParam), controls)) ::EndDialog(window, end);
        return TRUE;
      }
      default:
        return FALSE;
    }
  } catch (...) {
    FailIfUnexplained("the Driver Options dialog failed");
    ::EndDialog(window, kDialogFailed);
    return TRUE;
  }
}

}  // namespace

int ShowNativeDriverOptionsDialog(HWND parent, CDriverOptionsDialog& dialog) {
  HINSTANCE instance = static_cast<HINSTANCE>(platform::ModuleInstance());
  // A stale or invalid parent would keep the dialog from opening at all.
  HWND owner = parent != nullptr && ::IsWindow(parent) ? parent : nullptr;
  const INT_PTR result = ::DialogBoxParamA(instance, MAKEINTRESOURCEA(kDriverOptionsTemplate), owner,
                                           DriverOptionsProc, reinterpret_cast<LPARAM>(&dialog));
  if (result == IDOK) return kIdOk;
  if (result == IDCANCEL) return kIdCancel;
  if (result != kDialogFailed) {
    Fail("the Driver Options dialog could not be shown (error %lu)", static_cast<unsigned long>(::GetLastError()));
  }
  return kNoNativeDialog;
}

}  // namespace pc50

#endif  // _WIN32
