#include "ui/driver_options_dialog.h"

#include <cstddef>
#include <mutex>
#include <utility>

#include "device/driver_options.h"
#include "platform/diagnostics.h"
#include "ui/native_dialog.h"

namespace pc50 {
namespace {

std::mutex inputLock;
ClickSource installedInput;

ClickSource InstalledInput() {
  std::lock_guard<std::mutex> hold(inputLock);
  return installedInput;
}

// The modal loop of a headless run: clicks go through the controls (which
// ignore what a real window would ignore) to the message map.
int RunModal(CDriverOptionsDialog& dialog, HeadlessControls& controls, const ClickSource& next) {
  dialog.OnInitDialog(controls);
  if (!next) return kIdCancel;
  for (;;) {
    const int id = next(controls);
    if (!controls.Click(id)) continue;
    if (const int end = dialog.OnCommand(id, controls)) return end;
  }
}

}  // namespace

CDriverOptionsDialog::CDriverOptionsDialog(std::uint8_t* block, DrvInfo*) : block_(block), working_{} {
  if (block_[0] != kDriverOptionTag) ResetDriverOptions(block_);
  for (std::size_t i = 0; i < working_.size(); ++i) working_[i] = block_[i];
}

void CDriverOptionsDialog::SetControls(ControlSet& controls) const {
  const bool fourColor = working_[1] == 0;
  const bool ymck = working_[2] == 0;
  controls.SetCheck(kIdFourColor, fourColor);
  controls.SetCheck(kIdSingleColor, !fourColor);
  controls.SetCheck(kIdYmck, ymck);
  controls.SetCheck(kIdCmyk, !ymck);
  controls.Enable(kIdYmck, !fourColor);
  controls.Enable(kIdCmyk, !fourColor);
}

bool CDriverOptionsDialog::OnInitDialog(ControlSet& controls) {
  SetControls(controls);
  return true;
}

void CDriverOptionsDialog::OnRibbonType(ControlSet& controls) {
  const bool singleColor = !controls.IsChecked(kIdFourColor);
  controls.Enable(kIdYmck, singleColor);
  controls.Enable(kIdCmyk, singleColor);
}

void CDriverOptionsDialog::OnPrintOrder(ControlSet&) {}

void CDriverOptionsDialog::OnRestoreDefaults(ControlSet& controls) {
  ResetDriverOptions(working_.data());
  SetControls(controls);
}

void CDriverOptionsDialog::OnOK(ControlSet& controls) {
  block_[1] = controls.IsChecked(kIdFourColor) ? 0 : 1;
  block_[2] = controls.IsChecked(kIdYmck) ? 0 : 1;
}

int CDriverOptionsDialog::OnCommand(int id, ControlSet& controls) {
  switch (id) {
    case kIdOk:
      OnOK(controls);
      return kIdOk;
    case kIdCancel:
      return kIdCancel;
    case kIdRestoreDefaults:
      OnRestoreDefaults(controls);
      return 0;
    case kIdFourColor:
    case kIdSingleColor:
      OnRibbonType(controls);
      return 0;
    case kIdYmck:
    case kIdCmyk:
      OnPrintOrder(controls);
      return 0;
    default:
      return 0;
  }
}

int RunDriverOptionsDialog(HWND parent, std::uint8_t* block, DrvInfo* info) {
  if (block == nullptr) return Fail("no driver-option block");
  try {
    CDriverOptionsDialog dialog(block, info);
    const ClickSource input = InstalledInput();
    int end;
    if (input) {
      HeadlessControls controls;
      end = RunModal(dialog, controls, input);
    } else {
      end = ShowNativeDriverOptionsDialog(parent, dialog);
    }
    return end == kIdOk ? 1 : 0;
  } catch (...) {
    return FailIfUnexplained("the Driver Options dialog failed");
  }
}

int RunDriverOptionsDialogWith(HeadlessControls& controls, const ClickSource& next, std::uint8_t* block,
                               DrvInfo* info) {
  if (block == nullptr) return Fail("no driver-option block");
  try {
    CDriverOptionsDialog dialog(block, info);
    return RunModal(dialog, controls, next) == kIdOk ? 1 : 0;
  } catch (...) {
    return FailIfUnexplained("the Driver Options dialog failed");
  }
}

int RunDriverOptionsDialogWith(HeadlessControls& controls, const std::vector<int>& script,
                               std::uint8_t* block, DrvInfo* info) {
  std::size_t next = 0;
  try {
    const ClickSource source = [&script, &next](const HeadlessControls&) {
      return next < script.size() ? script[next++] : kIdCancel;
    };
    return RunDriverOptionsDialogWith(controls, source, block, info);
  } catch (...) {
    return FailIfUnexplained("the Driver Options dialog failed");
  }
}

void SetDriverOptionsDialogInputForTesting(ClickSource source) {
  std::lock_guard<std::mutex> hold(inputLock);
  installedInput = std::move(source);
}

}  // namespace pc50
