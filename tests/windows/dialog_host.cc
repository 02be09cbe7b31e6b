// The "Driver Options" dialog of pc50drv.dll in a real window: the main
// thread calls PopUpDriverOptionDialog, a second thread finds the dialog by
// its caption, reads the controls and clicks them by id, and the main thread
// checks the host's option block afterwards.
//
//   pc50_dialog_host MODULE [--hold DIR]
#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "check.h"
#include "ui/driver_options_ids.h"
#include "ui_driver.h"
#include "windows_host.h"

namespace {

using namespace pc50::wintest;
using Dialog = int (*)(HWND, DriverSetupInfo*, int);

// The controls' state at one moment.
struct Controls {
  bool fourColor = false;
  bool singleColor = false;
  bool ymck = false;
  bool cmyk = false;
  bool ymckEnabled = false;
  bool cmykEnabled = false;
};

Controls Read(HWND dialog) {
  Controls c;
  c.fourColor = IsChecked(dialog, PC50_IDC_FOUR_COLOR);
  c.singleColor = IsChecked(dialog, PC50_IDC_SINGLE_COLOR);
  c.ymck = IsChecked(dialog, PC50_IDC_YMCK);
  c.cmyk = IsChecked(dialog, PC50_IDC_CMYK);
  c.ymckEnabled = IsEnabled(dialog, PC50_IDC_YMCK);
  c.cmykEnabled = IsEnabled(dialog, PC50_IDC_CMYK);
  return c;
}

// What a case expects the controls to show: the ribbon and order radios
// checked, and whether the order radios are enabled.
struct Shown {
  bool fourColor;
  bool cmyk;
  bool orderEnabled;
};

void CheckShown(const Controls& c, const Shown& expected) {
  CHECK_EQ(c.fourColor, expected.fourColor);
  CHECK_EQ(c.singleColor, !expected.fourColor);
  CHECK_EQ(c.ymck, !expected.cmyk);
  CHECK_EQ(c.cmyk, expected.cmyk);
  CHECK_EQ(c.ymckEnabled, expected.orderEnabled);
  CHECK_EQ(c.cmykEnabled, expected.orderEnabled);
}

// One step of the user: a click on a control, the close box, or a look.
struct Step {
  enum Kind { kClick, kClose, kLook } kind;
  int id = 0;
};
Step ClickOn(int id) { return Step{Step::kClick, id}; }
Step Look() { return Step{Step::kLook, 0}; }
Step CloseBox() { return Step{Step::kClose, 0}; }

struct Seen {
  bool found = false;
  bool closed = false;
  HWND owner = nullptr;
  std::vector<Controls> looks;
  std::vector<std::pair<int, std::string>> texts;  // control id and its text, at the first look
};

// Runs the steps on the dialog from a second thread. A dialog left open
// (a failed click) is cancelled so the main thread comes back.
void Drive(const std::vector<Step>& steps, ScreenshotHold* hold, const std::atomic<bool>* returned, Seen* seen) {
  HWND dialog = WaitForWindow("Driver Options", 30000, returned);
  if (dialog == nullptr) return;
  seen->found = true;
  seen->owner = ::GetWindow(dialog, GW_OWNER);
  for (int id : {PC50_IDC_OK, PC50_IDC_CANCEL, PC50_IDC_RESTORE_DEFAULTS, PC50_IDC_RIBBON_GROUP, PC50_IDC_FOUR_COLOR,
                 PC50_IDC_SINGLE_COLOR, PC50_IDC_YMCK, PC50_IDC_CMYK, PC50_IDC_ORDER_GROUP}) {
    seen->texts.emplace_back(id, ControlText(dialog, id));
  }
  if (hold != nullptr) {
    Settle(dialog);
    hold->AtOpenWindow();
  }
  for (const Step& step : steps) {
    if (!::IsWindow(dialog)) break;
    switch (step.kind) {
      case Step::kLook:
        seen->looks.push_back(Read(dialog));
        break;
      case Step::kClick:
        Click(dialog, step.id);
        break;
      case Step::kClose:
        ::PostMessageA(dialog, WM_CLOSE, 0, 0);
        break;
    }
  }
  seen->closed = WaitUntilClosed(dialog, 10000);
  if (!seen->closed) {
    ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    WaitUntilClosed(dialog, 10000);
  }
}

class DialogCases {
 public:
  DialogCases(Dialog dialog, std::string holdDir) : dialog_(dialog), hold_(std::move(holdDir)) {}

  // Runs one case: the block starts with first three bytes, the rest of the
  // host's record is marked; the steps run while the dialog is up.
  void Run(const std::string& name, int action, std::vector<std::uint8_t> first3, const std::vector<Step>& steps,
           int expectedResult, std::vector<std::uint8_t> expectedFirst3, const std::vector<Shown>& looks,
           HWND parent = nullptr) {
    Group(name);
    std::vector<std::uint8_t> setup(512, 0x5A);
    std::memcpy(setup.data(), first3.data(), 3);
    Seen seen;
    ScreenshotHold* hold = first_ ? &hold_ : nullptr;
    first_ = false;
    std::atomic<bool> returned{false};
    std::thread user(Drive, std::cref(steps), hold, &returned, &seen);
    const int result = dialog_(parent, reinterpret_cast<DriverSetupInfo*>(setup.data()), action);
    returned = true;
    user.join();

    if (CHECK(seen.found)) {
      CHECK(seen.closed);
    } else {
      Note("no \"Driver Options\" window came up (is DISPLAY an X server?)");
    }
    CHECK_EQ(result, expectedResult);
    CHECK_EQ(static_cast<int>(setup[0]), static_cast<int>(expectedFirst3[0]));
    CHECK_EQ(static_cast<int>(setup[1]), static_cast<int>(expectedFirst3[1]));
    CHECK_EQ(static_cast<int>(setup[2]), static_cast<int>(expectedFirst3[2]));
    bool restUntouched = true;
    for (std::size_t k = 3; k < setup.size(); ++k) restUntouched = restUntouched && setup[k] == 0x5A;
    CHECK(restUntouched);
    if (!seen.found) return;
    if (CHECK_EQ(seen.looks.size(), looks.size())) {
      for (std::size_t k = 0; k < looks.size(); ++k) CheckShown(seen.looks[k], looks[k]);
    }
    if (parent != nullptr) CHECK(seen.owner == parent);
    lastTexts_ = seen.texts;
  }

  const std::vector<std::pair<int, std::string>>& lastTexts() const { return lastTexts_; }

 private:
  Dialog dialog_;
  ScreenshotHold hold_;
  bool first_ = true;
  std::vector<std::pair<int, std::string>> lastTexts_;
};

void CheckTexts(const std::vector<std::pair<int, std::string>>& texts) {
  Group("control texts");
  const std::vector<std::pair<int, std::string>> expected = {
      {PC50_IDC_OK, "&OK"},           {PC50_IDC_CANCEL, "&Cancel"},      {PC50_IDC_RESTORE_DEFAULTS, "&Restore Defaults"},
      {PC50_IDC_RIBBON_GROUP, "Ribbon Type"}, {PC50_IDC_FOUR_COLOR, "4 Color"}, {PC50_IDC_SINGLE_COLOR, "Single Color"},
      {PC50_IDC_YMCK, "YMCK"},        {PC50_IDC_CMYK, "CMYK"},           {PC50_IDC_ORDER_GROUP, "Print Order"}};
  if (!CHECK_EQ(texts.size(), expected.size())) return;
  for (std::size_t k = 0; k < expected.size(); ++k) {
    CHECK_EQ(texts[k].first, expected[k].first);
    CHECK_EQ(texts[k].second, expected[k].second);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && !(argc == 4 && std::strcmp(argv[2], "--hold") == 0)) {
    std::fprintf(stderr, "usage: %s MODULE [--hold DIR]\n", argv[0]);
    return 2;
  }
  Group("load");
  const Module module(argv[1]);
  const auto dialog = module.Get<Dialog>("PopUpDriverOptionDialog");
  if (!CHECK(module.loaded()) || !CHECK(dialog != nullptr)) return Summary();

  DialogCases cases(dialog, argc == 4 ? argv[3] : "");
  const std::vector<std::uint8_t> defaults = {20, 1, 0};
  const Shown singleYmck{false, false, true};
  const Shown singleCmyk{false, true, true};
  const Shown fourYmck{true, false, false};
  const Shown fourCmyk{true, true, false};

  // The first case is the one in the screenshot: the defaults over a host window.
  HWND host = MakeHostWindow("pc50 test host");
  CHECK(host != nullptr);
  cases.Run("stored options shown over the host window; Cancel writes nothing", 3, defaults,
            {Look(), ClickOn(PC50_IDC_CANCEL)}, 0, defaults, {singleYmck}, host);
  ::DestroyWindow(host);
  CheckTexts(cases.lastTexts());

  cases.Run("4 Color disables the print order; OK writes ribbon 0", 3, defaults,
            {ClickOn(PC50_IDC_FOUR_COLOR), Look(), ClickOn(PC50_IDC_OK)}, 1, {20, 0, 0}, {fourYmck});
  cases.Run("ribbon 0 opens with the order disabled but shown; OK keeps it", 3, {20, 0, 1},
            {Look(), ClickOn(PC50_IDC_OK)}, 1, {20, 0, 1}, {fourCmyk});
  cases.Run("Restore Defaults then Cancel leaves the block", 3, {20, 0, 1},
            {ClickOn(PC50_IDC_RESTORE_DEFAULTS), Look(), ClickOn(PC50_IDC_CANCEL)}, 0, {20, 0, 1}, {singleYmck});
  cases.Run("Restore Defaults then OK writes the defaults", 3, {20, 0, 1},
            {ClickOn(PC50_IDC_RESTORE_DEFAULTS), ClickOn(PC50_IDC_OK)}, 1, defaults, {});
  cases.Run("nonzero bytes show as Single Color and CMYK and come back as 1", 3, {20, 7, 9},
            {Look(), ClickOn(PC50_IDC_OK)}, 1, {20, 1, 1}, {singleCmyk});
  cases.Run("an uninitialised block is reset when the dialog opens, also on Cancel", 3, {0, 0, 1},
            {Look(), ClickOn(PC50_IDC_CANCEL)}, 0, defaults, {singleYmck});
  cases.Run("action 1 resets the block and shows the defaults", 1, {20, 0, 1},
            {Look(), ClickOn(PC50_IDC_CANCEL)}, 0, defaults, {singleYmck});
  cases.Run("Single Color enables the order again; CMYK then OK", 3, {20, 0, 0},
            {ClickOn(PC50_IDC_SINGLE_COLOR), Look(), ClickOn(PC50_IDC_CMYK), Look(), ClickOn(PC50_IDC_OK)}, 1,
            {20, 1, 1}, {singleYmck, singleCmyk});
  cases.Run("the close box cancels", 3, defaults, {ClickOn(PC50_IDC_FOUR_COLOR), CloseBox()}, 0, defaults, {});
  return Summary();
}
