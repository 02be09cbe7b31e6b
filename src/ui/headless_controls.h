// The "Driver Options" template's controls without a window system: check
// and enabled state per control, and clicks that behave like the Windows
// buttons of the template (an automatic radio button checks itself and
// unchecks the other radio buttons of its group; a disabled control or a
// group box ignores the click). Tests and the terminal form drive the dialog
// logic through it.
#pragma once

#include <cstddef>
#include <vector>

#include "ui/dialog_controls.h"

namespace pc50 {

enum class ControlKind { kPushButton, kDefaultPushButton, kGroupBox, kAutoRadioButton };

// One control of the template, in creation order.
struct ControlInfo {
  int id;
  const char* text;
  ControlKind kind;
  bool startsGroup;  // WS_GROUP: a new radio group starts here
};

// The nine controls of the template.
const std::vector<ControlInfo>& DriverOptionsControls();

class HeadlessControls : public ControlSet {
 public:
  // All controls enabled and unchecked, as the template creates them.
  HeadlessControls();

  void SetCheck(int id, bool checked) override;
  bool IsChecked(int id) const override;
  void Enable(int id, bool enabled) override;

  // False for an id that is not in the template.
  bool IsEnabled(int id) const;

  // A mouse click on control id. Returns true when the click produces a
  // BN_CLICKED notification for the dialog: an enabled push button or radio
  // button. An unknown id, a group box or a disabled control returns false
  // and changes nothing.
  bool Click(int id);

 private:
  struct State {
    bool checked = false;
    bool enabled = true;
  };
  // Index of id in DriverOptionsControls(), or npos.
  static std::size_t IndexOf(int id);
  void CheckRadioInGroup(std::size_t index);

  static constexpr std::size_t npos = static_cast<std::size_t>(-1);
  std::vector<State> states_;
};

}  // namespace pc50
