#include "options_form.h"

#include <algorithm>
#include <cctype>
#include <cstddef>

namespace pc50::cli {
namespace {

// The full-screen form's controls from top left to bottom right.
const int kFocusOrder[] = {kIdFourColor, kIdSingleColor, kIdYmck, kIdCmyk,
                           kIdOk,        kIdCancel,      kIdRestoreDefaults};
constexpr int kFocusCount = sizeof kFocusOrder / sizeof kFocusOrder[0];
const int kButtons[] = {kIdOk, kIdCancel, kIdRestoreDefaults};
constexpr int kButtonCount = sizeof kButtons / sizeof kButtons[0];

struct RadioRow {
  int group;
  int first;
  int second;
};
const RadioRow kRadioRows[] = {{kIdRibbonGroup, kIdFourColor, kIdSingleColor},
                               {kIdOrderGroup, kIdYmck, kIdCmyk}};

constexpr std::size_t kLabelWidth = 16;
constexpr std::size_t kCellWidth = 18;

constexpr char kReverse[] = "\x1b[7m";
constexpr char kDim[] = "\x1b[2m";
constexpr char kPlain[] = "\x1b[0m";

std::string Normalized(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c != '&') out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  const std::size_t first = out.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  return out.substr(first, out.find_last_not_of(" \t\r") - first + 1);
}

int IndexIn(const int* ids, int count, int id) {
  for (int i = 0; i < count; ++i) {
    if (ids[i] == id) return i;
  }
  return -1;
}

// The other radio button of id's row, or 0 when id is no radio button.
int PartnerOf(int id) {
  for (const RadioRow& row : kRadioRows) {
    if (row.first == id) return row.second;
    if (row.second == id) return row.first;
  }
  return 0;
}

// text padded to width, with the focus marker before it and the attributes
// of the control's state around the text only.
std::string Cell(const std::string& text, bool focused, bool enabled, const FormStyle& style,
                 std::size_t width) {
  std::string cell(1, focused ? '>' : ' ');
  if (style.ansi && (focused || !enabled)) {
    cell += focused ? kReverse : "";
    cell += enabled ? "" : kDim;
    cell += text + kPlain;
  } else {
    cell += text;
  }
  if (text.size() + 1 < width) cell.append(width - text.size() - 1, ' ');
  return cell;
}

std::string RadioCell(const HeadlessControls& shown, int id, const FormStyle& style) {
  const std::string text = (shown.IsChecked(id) ? "(*) " : "( ) ") + ControlText(id);
  return Cell(text, style.focused == id, shown.IsEnabled(id), style, kCellWidth);
}

std::string RadioLine(const HeadlessControls& shown, const RadioRow& row, const FormStyle& style) {
  std::string line = "  " + ControlText(row.group);
  line.append(kLabelWidth - std::min(kLabelWidth, line.size()), ' ');
  line += RadioCell(shown, row.first, style) + RadioCell(shown, row.second, style);
  if (!shown.IsEnabled(row.first) && !shown.IsEnabled(row.second)) {
    line += "(disabled while \"" + ControlText(kIdFourColor) + "\" is checked)";
  }
  return line.substr(0, line.find_last_not_of(' ') + 1);
}

std::string ButtonLine(const HeadlessControls& shown, const FormStyle& style) {
  std::string line = "  ";
  for (int id : kButtons) {
    const std::string text = "[ " + ControlText(id) + " ]";
    line += Cell(text, style.focused == id, shown.IsEnabled(id), style, text.size() + 3);
  }
  return line.substr(0, line.find_last_not_of(' ') + 1);
}

}  // namespace

const std::vector<int>& FormChoices() {
  static const std::vector<int> choices = {kIdFourColor, kIdSingleColor,     kIdYmck,  kIdCmyk,
                                           kIdRestoreDefaults, kIdOk, kIdCancel};
  return choices;
}

std::string NumberedMenu() {
  std::string menu;
  const std::vector<int>& choices = FormChoices();
  for (std::size_t i = 0; i < choices.size(); ++i) {
    menu += (i == 0 ? "" : "  ") + std::to_string(i + 1) + ") " + ControlText(choices[i]);
  }
  return menu;
}

int ParseChoice(const std::string& line) {
  const std::string wanted = Normalized(line);
  const std::vector<int>& choices = FormChoices();
  for (std::size_t i = 0; i < choices.size(); ++i) {
    if (wanted == std::to_string(i + 1) || wanted == Normalized(ControlText(choices[i]))) {
      return choices[i];
    }
  }
  return 0;
}

std::string ControlText(int id) {
  for (const ControlInfo& control : DriverOptionsControls()) {
    if (control.id != id) continue;
    std::string text;
    for (const char* c = control.text; *c != '\0'; ++c) {
      if (*c != '&') text += *c;
    }
    return text;
  }
  return "";
}

std::string DisabledReason(int id) {
  return "\"" + ControlText(id) + "\" is disabled while \"" + ControlText(kIdFourColor) +
         "\" is checked";
}

std::vector<std::string> FormLines(const HeadlessControls& shown, const FormStyle& style) {
  std::vector<std::string> lines;
  for (const RadioRow& row : kRadioRows) lines.push_back(RadioLine(shown, row, style));
  if (style.buttons) lines.push_back(ButtonLine(shown, style));
  return lines;
}

FormFocus::FormFocus(const HeadlessControls& shown)
    : focused_(shown.IsChecked(kIdFourColor) ? kIdFourColor : kIdSingleColor) {}

int FormFocus::Focused(const HeadlessControls& shown) {
  if (!shown.IsEnabled(focused_)) Move(1, shown);
  return focused_;
}

void FormFocus::Move(int step, const HeadlessControls& shown) {
  int index = std::max(0, IndexIn(kFocusOrder, kFocusCount, focused_));
  for (int tries = 0; tries < kFocusCount; ++tries) {
    index = (index + step + kFocusCount) % kFocusCount;
    if (shown.IsEnabled(kFocusOrder[index])) {
      focused_ = kFocusOrder[index];
      return;
    }
  }
}

int FormFocus::Press(const Key& key, const HeadlessControls& shown) {
  const int focused = Focused(shown);
  switch (key.code) {
    case KeyCode::kUp:
    case KeyCode::kBackTab:
      Move(-1, shown);
      return 0;
    case KeyCode::kDown:
    case KeyCode::kTab:
      Move(1, shown);
      return 0;
    case KeyCode::kLeft:
    case KeyCode::kRight: {
      const int partner = PartnerOf(focused);
      if (partner != 0) {
        if (!shown.IsEnabled(partner)) return 0;
        focused_ = partner;
        return partner;
      }
      const int button = IndexIn(kButtons, kButtonCount, focused);
      const int step = key.code == KeyCode::kLeft ? -1 : 1;
      if (button >= 0) focused_ = kButtons[(button + step + kButtonCount) % kButtonCount];
      return 0;
    }
    case KeyCode::kSpace:
    case KeyCode::kEnter:
      return focused;
    case KeyCode::kEscape:
    case KeyCode::kInterrupt:
    case KeyCode::kEnd:
      return kIdCancel;
    case KeyCode::kChar:
      break;
    default:
      return 0;
  }
  const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(key.ch)));
  if (c == 'q') return kIdCancel;
  int id = 0;
  if (c == 'o') id = kIdOk;
  if (c == 'c') id = kIdCancel;
  if (c == 'r') id = kIdRestoreDefaults;
  if (c >= '1' && c <= '9') id = ParseChoice(std::string(1, c));
  if (id != 0 && shown.IsEnabled(id)) focused_ = id;
  return id;
}

}  // namespace pc50::cli
