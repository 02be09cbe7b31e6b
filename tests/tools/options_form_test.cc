// The terminal form's choices and focus, without a terminal.
#include "options_form.h"

#include <gtest/gtest.h>

namespace pc50::cli {
namespace {

Key Press(KeyCode code, char ch = 0) { return Key{code, ch}; }

// Controls as the dialog sets them for a ribbon type and print order.
HeadlessControls Shown(bool four_color, bool ymck) {
  HeadlessControls shown;
  shown.SetCheck(kIdFourColor, four_color);
  shown.SetCheck(kIdSingleColor, !four_color);
  shown.SetCheck(kIdYmck, ymck);
  shown.SetCheck(kIdCmyk, !ymck);
  shown.Enable(kIdYmck, !four_color);
  shown.Enable(kIdCmyk, !four_color);
  return shown;
}

TEST(OptionsForm, ChoicesByNumberOrNameOnly) {
  EXPECT_EQ(NumberedMenu(),
            "1) 4 Color  2) Single Color  3) YMCK  4) CMYK  5) Restore Defaults  6) OK  7) Cancel");
  EXPECT_EQ(ParseChoice(" 7\r"), kIdCancel);
  EXPECT_EQ(ParseChoice("&OK"), kIdOk);
  for (const char* junk : {"", "0", "8", "01", "1 2", "Ribbon Type", "Print Order", "-1"}) {
    EXPECT_EQ(ParseChoice(junk), 0) << junk;
  }
}

TEST(OptionsForm, FocusSkipsDisabledControlsAndWraps) {
  const HeadlessControls shown = Shown(true, true);
  FormFocus focus(shown);
  EXPECT_EQ(focus.Focused(shown), kIdFourColor);
  EXPECT_EQ(focus.Press(Press(KeyCode::kUp), shown), 0);
  EXPECT_EQ(focus.Focused(shown), kIdRestoreDefaults);
  focus.Press(Press(KeyCode::kTab), shown);
  focus.Press(Press(KeyCode::kTab), shown);
  focus.Press(Press(KeyCode::kDown), shown);
  EXPECT_EQ(focus.Focused(shown), kIdOk);
  EXPECT_EQ(focus.Press(Press(KeyCode::kLeft), shown), 0);  // buttons: focus only
  EXPECT_EQ(focus.Focused(shown), kIdRestoreDefaults);
  EXPECT_EQ(focus.Press(Press(KeyCode::kEnter), shown), kIdRestoreDefaults);
}

TEST(OptionsForm, ArrowsSelectWithinAGroupAndFocusLeavesDisabledRadios) {
  const HeadlessControls single = Shown(false, true);
  FormFocus focus(single);
  EXPECT_EQ(focus.Focused(single), kIdSingleColor);
  focus.Press(Press(KeyCode::kDown), single);
  EXPECT_EQ(focus.Press(Press(KeyCode::kRight), single), kIdCmyk);
  EXPECT_EQ(focus.Press(Press(KeyCode::kRight), single), kIdYmck);

  // "4 Color" chosen by its number while the focus is on YMCK.
  const HeadlessControls four = Shown(true, true);
  EXPECT_EQ(focus.Press(Press(KeyCode::kChar, '1'), four), kIdFourColor);
  EXPECT_EQ(focus.Focused(four), kIdFourColor);
  focus.Press(Press(KeyCode::kDown), single);
  focus.Press(Press(KeyCode::kDown), single);
  EXPECT_EQ(focus.Focused(four), kIdOk);  // YMCK went disabled under the focus
  EXPECT_EQ(focus.Press(Press(KeyCode::kChar, '3'), four), kIdYmck);  // a click the controls ignore
  EXPECT_EQ(focus.Focused(four), kIdOk);

  for (const Key& cancel : {Press(KeyCode::kEscape), Press(KeyCode::kInterrupt), Press(KeyCode::kEnd),
                            Press(KeyCode::kChar, 'c'), Press(KeyCode::kChar, 'Q')}) {
    EXPECT_EQ(focus.Press(cancel, four), kIdCancel);
  }
  EXPECT_EQ(focus.Press(Press(KeyCode::kChar, 'x'), four), 0);
}

}  // namespace
}  // namespace pc50::cli
