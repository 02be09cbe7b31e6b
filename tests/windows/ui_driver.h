// Drives the module's windows from a second thread of the test program while
// the first sits in the module's modal loop: finds a window by class and
// caption, reads its controls and clicks them as a user would.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "windows_host.h"

namespace pc50::wintest {

// Dialog boxes and message boxes share this window class.
constexpr char kDialogClass[] = "#32770";

// The visible top-level window of the dialog class with that caption, or
// null when none comes up within timeoutMs or once *givenUp is set.
inline HWND WaitForWindow(const char* caption, int timeoutMs, const std::atomic<bool>* givenUp = nullptr) {
  for (int waited = 0; waited <= timeoutMs && !(givenUp != nullptr && givenUp->load()); waited += 20) {
    HWND window = ::FindWindowA(kDialogClass, caption);
    if (window != nullptr && ::IsWindowVisible(window)) return window;
    ::Sleep(20);
  }
  return nullptr;
}

// Waits until window is gone; false when it is still there after timeoutMs.
inline bool WaitUntilClosed(HWND window, int timeoutMs) {
  for (int waited = 0; waited <= timeoutMs; waited += 20) {
    if (!::IsWindow(window)) return true;
    ::Sleep(20);
  }
  return false;
}

inline std::string WindowText(HWND window) {
  char text[512] = {};
  if (window != nullptr) ::GetWindowTextA(window, text, sizeof text);
  return text;
}

inline std::string ControlText(HWND dialog, int id) { return WindowText(::GetDlgItem(dialog, id)); }

inline bool IsChecked(HWND dialog, int id) {
  return ::SendMessageA(::GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

inline bool IsEnabled(HWND dialog, int id) {
  HWND control = ::GetDlgItem(dialog, id);
  return control != nullptr && ::IsWindowEnabled(control);
}

// A click on the control, delivered by the control itself: the button
// changes its state and notifies the dialog as for a mouse click.
inline bool Click(HWND dialog, int id) {
  HWND control = ::GetDlgItem(dialog, id);
  if (control == nullptr) return false;
  ::SendMessageA(control, BM_CLICK, 0, 0);
  return true;
}

// The texts of a window's static controls, in creation order, empty ones
// (icons) left out.
inline std::vector<std::string> StaticTexts(HWND window) {
  std::vector<std::string> texts;
  for (HWND child = ::GetWindow(window, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
    char className[64] = {};
    ::GetClassNameA(child, className, sizeof className);
    if (::lstrcmpiA(className, "Static") != 0) continue;
    const std::string text = WindowText(child);
    if (!text.empty()) texts.push_back(text);
  }
  return texts;
}

// Repaints the window and gives the X server a moment to show it, before a
// screenshot.
inline void Settle(HWND window) {
  ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  ::Sleep(500);
}

// A plain top-level window of the host, owner of the module's windows.
inline HWND MakeHostWindow(const char* title) {
  HWND window = ::CreateWindowExA(0, "STATIC", title, WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                  ::GetModuleHandleA(nullptr), nullptr);
  return window;
}

}  // namespace pc50::wintest
