// The "Driver Options" dialog drawn as a terminal form: its lines, the
// numbered choices of the line-by-line form, and the focus that keys move in
// the full-screen form. It only draws and interprets input; what a click
// does is the dialog logic's business.
#pragma once

#include <string>
#include <vector>

#include "raw_terminal.h"
#include "ui/headless_controls.h"

namespace pc50::cli {

// The controls a user can click, in the numbered form's order (numbered from
// 1): 4 Color, Single Color, YMCK, CMYK, Restore Defaults, OK, Cancel.
const std::vector<int>& FormChoices();

// "1) 4 Color  2) Single Color  ...  7) Cancel"
std::string NumberedMenu();

// The control a typed line names: its number in FormChoices() or its text
// (letter case, surrounding blanks and the mnemonic's '&' ignored). 0 for
// anything else.
int ParseChoice(const std::string& line);

// A control's text as shown, without the mnemonic marker; "" for an unknown id.
std::string ControlText(int id);

// Why a click on the disabled control id does nothing.
std::string DisabledReason(int id);

struct FormStyle {
  bool ansi = false;     // dim disabled controls, show the focus in reverse video
  bool buttons = false;  // draw the row of push buttons
  int focused = 0;       // control marked with '>', 0 for none
};

// The form's lines (without line ends) for the controls as shown.
std::vector<std::string> FormLines(const HeadlessControls& shown, const FormStyle& style);

// The focus of the full-screen form and what keys do with it: Up/Down and
// Tab/Shift-Tab move it over the enabled controls; Left/Right select the
// other radio button of a group, or move between the push buttons; Space and
// Enter click the focused control; Escape, Ctrl-C, q and the end of input
// cancel; the mnemonics o, c, r and the choice numbers click their controls.
class FormFocus {
 public:
  // Starts on the checked ribbon-type radio button.
  explicit FormFocus(const HeadlessControls& shown);

  // The focused control, first moved on when it has been disabled.
  int Focused(const HeadlessControls& shown);

  // Handles key: returns the id of the control it clicks (kIdCancel for the
  // keys that cancel), or 0 when it only moved the focus or did nothing.
  int Press(const Key& key, const HeadlessControls& shown);

 private:
  void Move(int step, const HeadlessControls& shown);

  int focused_;
};

}  // namespace pc50::cli
