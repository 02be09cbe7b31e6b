// The modal "Driver Options" dialog that edits the ribbon type and print
// order of a driver-option block (bytes 1 and 2; byte 0 is the tag).
//
// The logic lives in CDriverOptionsDialog and talks to its controls only
// through a ControlSet, so the Windows dialog, the headless control set and a
// terminal form all run the same code.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "pc50/pc50.h"
#include "ui/dialog_controls.h"
#include "ui/headless_controls.h"

namespace pc50 {

class CDriverOptionsDialog {
 public:
  // Keeps block (not owned; at least 4 bytes). A block whose tag is not 20 is
  // reset to its defaults here, on the caller's block itself, so it stays
  // reset even when the dialog is cancelled. Then takes the working copy of
  // the first four bytes. info is not used.
  CDriverOptionsDialog(std::uint8_t* block, DrvInfo* info);

  // Sets the controls from the working copy. Returns true (the window system
  // sets the focus).
  bool OnInitDialog(ControlSet& controls);
  // A click on either ribbon radio: the print-order radios are enabled only
  // while "4 Color" is not checked.
  void OnRibbonType(ControlSet& controls);
  // A click on either print-order radio: nothing to do.
  void OnPrintOrder(ControlSet& controls);
  // Resets the working copy to the defaults and sets the controls from it.
  // The caller's block is not changed.
  void OnRestoreDefaults(ControlSet& controls);
  // Writes the radios into the caller's block: byte 1 := 0 when "4 Color" is
  // checked, else 1; byte 2 := 0 when "YMCK" is checked, else 1 (also while
  // the print-order radios are disabled). Nothing else is written.
  void OnOK(ControlSet& controls);

  // The message map: handles a BN_CLICKED from control id. Returns kIdOk or
  // kIdCancel when the click ends the dialog (OK has then written the block),
  // 0 when the dialog goes on.
  int OnCommand(int id, ControlSet& controls);

  const std::array<std::uint8_t, 4>& WorkingCopy() const { return working_; }

 private:
  void SetControls(ControlSet& controls) const;

  std::uint8_t* block_;
  std::array<std::uint8_t, 4> working_;
};

// Supplies the user's clicks to a headless run: returns the id of the next
// control clicked, seeing the controls as they are shown. kIdCancel stands
// for Escape and the close box too.
using ClickSource = std::function<int(const HeadlessControls& shown)>;

// Runs the dialog on block over parent. Returns 1 when the user pressed OK
// (the block then holds the choices), 0 otherwise. A block whose tag is not
// 20 is reset to its defaults first, even when the user cancels. Where there
// is no window system (every POSIX process) the dialog is never shown and
// never blocks: it returns 0, as Cancel, with the block as the reset left it.
// Never throws.
int RunDriverOptionsDialog(HWND parent, std::uint8_t* block, DrvInfo* info);

// Runs the dialog on controls, taking clicks from next until one ends it,
// and returns 1 for OK, 0 for Cancel. This is how tests and a terminal form
// drive the dialog. Never throws (a failure is 0).
int RunDriverOptionsDialogWith(HeadlessControls& controls, const ClickSource& next,
                               std::uint8_t* block, DrvInfo* info);

// The same with a fixed script of clicks; a script that ends without OK or
// Cancel closes the dialog (Cancel).
int RunDriverOptionsDialogWith(HeadlessControls& controls, const std::vector<int>& script,
                               std::uint8_t* block, DrvInfo* info);

// Lets tests play the user of RunDriverOptionsDialog: while a source is
// installed, every RunDriverOptionsDialog runs headless controls driven by
// it instead of the window system. An empty source restores the default.
void SetDriverOptionsDialogInputForTesting(ClickSource source);

}  // namespace pc50
