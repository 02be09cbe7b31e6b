#include "ui/headless_controls.h"

namespace pc50 {

const std::vector<ControlInfo>& DriverOptionsControls() {
  static const std::vector<ControlInfo> controls = {
      {kIdOk, "&OK", ControlKind::kDefaultPushButton, false},
      {kIdCancel, "&Cancel", ControlKind::kPushButton, false},
      {kIdRestoreDefaults, "&Restore Defaults", ControlKind::kPushButton, false},
      {kIdRibbonGroup, "Ribbon Type", ControlKind::kGroupBox, false},
      {kIdFourColor, "4 Color", ControlKind::kAutoRadioButton, true},
      {kIdSingleColor, "Single Color", ControlKind::kAutoRadioButton, false},
      {kIdYmck, "YMCK", ControlKind::kAutoRadioButton, true},
      {kIdCmyk, "CMYK", ControlKind::kAutoRadioButton, false},
      {kIdOrderGroup, "Print Order", ControlKind::kGroupBox, false},
  };
  return controls;
}

HeadlessControls::HeadlessControls() : states_(DriverOptionsControls().size()) {}

std::size_t HeadlessControls::IndexOf(int id) {
  const std::vector<ControlInfo>& controls = DriverOptionsControls();
  for (std::size_t i = 0; i < controls.size(); ++i) {
    if (controls[i].id == id) return i;
  }
  return npos;
}

void HeadlessControls::SetCheck(int id, bool checked) {
  const std::size_t i = IndexOf(id);
  if (i != npos) states_[i].checked = checked;
}

bool HeadlessControls::IsChecked(int id) const {
  const std::size_t i = IndexOf(id);
  return i != npos && states_[i].checked;
}

void HeadlessControls::Enable(int id, bool enabled) {
  const std::size_t i = IndexOf(id);
  if (i != npos) states_[i].enabled = enabled;
}

bool HeadlessControls::IsEnabled(int id) const {
  const std::size_t i = IndexOf(id);
  return i != npos && states_[i].enabled;
}

// A group runs from a control that starts one up to the next that does (the
// dialog manager's WS_GROUP rule); only radio buttons in it are unchecked.
void HeadlessControls::CheckRadioInGroup(std::size_t index) {
  const std::vector<ControlInfo>& controls = DriverOptionsControls();
  std::size_t first = index;
  while (first > 0 && !controls[first].startsGroup) --first;
  for (std::size_t i = first; i < controls.size(); ++i) {
    if (i != first && controls[i].startsGroup) break;
    if (controls[i].kind == ControlKind::kAutoRadioButton) states_[i].checked = (i == index);
  }
}

bool HeadlessControls::Click(int id) {
  const std::size_t i = IndexOf(id);
  if (i == npos || !states_[i].enabled) return false;
  switch (DriverOptionsControls()[i].kind) {
    case ControlKind::kGroupBox:
      return false;
    case ControlKind::kAutoRadioButton:
      CheckRadioInGroup(i);
      return true;
    case ControlKind::kPushButton:
    case ControlKind::kDefaultPushButton:
      return true;
  }
  return false;
}

}  // namespace pc50
