#include "ui/driver_options_dialog.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "device/driver_options.h"
#include "platform/diagnostics.h"

namespace pc50 {
namespace {

// A 256-byte option block with the given first bytes and a recognisable rest.
std::array<std::uint8_t, 256> Block(std::uint8_t tag, std::uint8_t ribbon, std::uint8_t order) {
  std::array<std::uint8_t, 256> block;
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(0xA0 + i);
  block[0] = tag;
  block[1] = ribbon;
  block[2] = order;
  return block;
}

// What the user sees: the four radios' checks and the print order's state.
struct Shown {
  bool fourColor, singleColor, ymck, cmyk, orderEnabled;
  bool operator==(const Shown& o) const {
    return fourColor == o.fourColor && singleColor == o.singleColor && ymck == o.ymck && cmyk == o.cmyk &&
           orderEnabled == o.orderEnabled;
  }
};

std::ostream& operator<<(std::ostream& os, const Shown& s) {
  return os << "{4C " << s.fourColor << ", SC " << s.singleColor << ", YMCK " << s.ymck << ", CMYK " << s.cmyk
            << ", order enabled " << s.orderEnabled << "}";
}

Shown Look(const HeadlessControls& c) {
  EXPECT_EQ(c.IsEnabled(kIdYmck), c.IsEnabled(kIdCmyk));
  return {c.IsChecked(kIdFourColor), c.IsChecked(kIdSingleColor), c.IsChecked(kIdYmck), c.IsChecked(kIdCmyk),
          c.IsEnabled(kIdYmck)};
}

constexpr Shown kDefaultsShown{false, true, true, false, true};

// A user who records what the dialog shows before each click.
struct User {
  std::vector<int> clicks;
  std::vector<Shown> seen;
  std::size_t next = 0;
  ClickSource Source() {
    return [this](const HeadlessControls& shown) {
      seen.push_back(Look(shown));
      return next < clicks.size() ? clicks[next++] : kIdCancel;
    };
  }
};

int RunDialog(std::array<std::uint8_t, 256>& block, User& user) {
  HeadlessControls controls;
  return RunDriverOptionsDialogWith(controls, user.Source(), block.data(), nullptr);
}

int RunDialog(std::array<std::uint8_t, 256>& block, const std::vector<int>& script) {
  HeadlessControls controls;
  return RunDriverOptionsDialogWith(controls, script, block.data(), nullptr);
}

TEST(DriverOptionsDialog, UninitialisedBlockIsResetAtConstructionEvenWhenCancelled) {
  for (const std::vector<int>& script : {std::vector<int>{kIdCancel}, std::vector<int>{}}) {
    auto block = Block(7, 0, 1);
    auto expected = block;
    expected[0] = 20;
    expected[1] = 1;
    expected[2] = 0;
    EXPECT_EQ(RunDialog(block, script), 0);
    EXPECT_EQ(block, expected);
  }

  auto block = Block(0, 0, 1);
  CDriverOptionsDialog dialog(block.data(), nullptr);
  EXPECT_EQ(block[0], 20);
  EXPECT_EQ(block[1], 1);
  EXPECT_EQ(block[2], 0);
  EXPECT_EQ(dialog.WorkingCopy(), (std::array<std::uint8_t, 4>{20, 1, 0, 0xA3}));
}

TEST(DriverOptionsDialog, InitialisedBlockIsLeftAsItIsUntilOk) {
  auto block = Block(20, 0, 1);
  const auto before = block;
  CDriverOptionsDialog dialog(block.data(), nullptr);
  EXPECT_EQ(block, before);
  EXPECT_EQ(dialog.WorkingCopy(), (std::array<std::uint8_t, 4>{20, 0, 1, 0xA3}));
}

TEST(DriverOptionsDialog, DefaultsOpenAsSingleColorYmckWithPrintOrderEnabled) {
  auto block = Block(20, 5, 5);
  ResetDriverOptions(block.data());  // what action 1 does before showing the dialog
  const auto reset = block;
  User user;
  user.clicks = {kIdCancel};
  EXPECT_EQ(RunDialog(block, user), 0);
  ASSERT_EQ(user.seen.size(), 1u);
  EXPECT_EQ(user.seen[0], kDefaultsShown);
  EXPECT_EQ(block, reset);
}

TEST(DriverOptionsDialog, FourColorOpensWithPrintOrderDisabledButShowingTheStoredOrder) {
  for (std::uint8_t order : {0, 1}) {
    auto block = Block(20, 0, order);
    User user;
    // A click on a disabled print-order radio changes nothing.
    user.clicks = {order ? kIdYmck : kIdCmyk, kIdOk};
    EXPECT_EQ(RunDialog(block, user), 1);
    ASSERT_EQ(user.seen.size(), 2u);
    const Shown opened{true, false, order == 0, order != 0, false};
    EXPECT_EQ(user.seen[0], opened);
    EXPECT_EQ(user.seen[1], opened);
    EXPECT_EQ(block[1], 0);
    EXPECT_EQ(block[2], order);
  }
}

TEST(DriverOptionsDialog, RibbonClicksEnableAndDisableThePrintOrder) {
  auto block = Block(20, 1, 0);
  User user;
  user.clicks = {kIdFourColor, kIdSingleColor, kIdCmyk, kIdFourColor, kIdOk};
  EXPECT_EQ(RunDialog(block, user), 1);
  ASSERT_EQ(user.seen.size(), 5u);
  EXPECT_EQ(user.seen[1], (Shown{true, false, true, false, false}));
  EXPECT_EQ(user.seen[2], (Shown{false, true, true, false, true}));
  EXPECT_EQ(user.seen[3], (Shown{false, true, false, true, true}));
  EXPECT_EQ(user.seen[4], (Shown{true, false, false, true, false}));
  // The order is written from the radios even while they are disabled.
  EXPECT_EQ(block[1], 0);
  EXPECT_EQ(block[2], 1);
}

TEST(DriverOptionsDialog, OkWritesOnlyBytesOneAndTwo) {
  auto block = Block(20, 1, 0);
  auto expected = block;
  expected[1] = 0;
  expected[2] = 0;
  EXPECT_EQ(RunDialog(block, {kIdFourColor, kIdOk}), 1);
  EXPECT_EQ(block, expected);
}

TEST(DriverOptionsDialog, RestoreDefaultsThenCancelLeavesTheBlock) {
  auto block = Block(20, 0, 1);
  const auto before = block;
  User user;
  user.clicks = {kIdRestoreDefaults, kIdCancel};
  EXPECT_EQ(RunDialog(block, user), 0);
  ASSERT_EQ(user.seen.size(), 2u);
  EXPECT_EQ(user.seen[1], kDefaultsShown);
  EXPECT_EQ(block, before);
}

TEST(DriverOptionsDialog, RestoreDefaultsThenOkWritesTheDefaults) {
  auto block = Block(20, 0, 1);
  EXPECT_EQ(RunDialog(block, {kIdRestoreDefaults, kIdOk}), 1);
  EXPECT_EQ(block[0], 20);
  EXPECT_EQ(block[1], 1);
  EXPECT_EQ(block[2], 0);
}

TEST(DriverOptionsDialog, NonZeroBytesShowAsSingleColorCmykAndAreWrittenBackAsOne) {
  for (std::uint8_t value : {1, 2, 0x7F, 0xFF}) {
    auto block = Block(20, value, value);
    User user;
    user.clicks = {kIdOk};
    EXPECT_EQ(RunDialog(block, user), 1);
    ASSERT_EQ(user.seen.size(), 1u);
    EXPECT_EQ(user.seen[0], (Shown{false, true, false, true, true})) << int{value};
    EXPECT_EQ(block[1], 1);
    EXPECT_EQ(block[2], 1);
  }
}

TEST(DriverOptionsDialog, CancelAfterChangesWritesNothing) {
  auto block = Block(20, 1, 0);
  const auto before = block;
  EXPECT_EQ(RunDialog(block, {kIdCmyk, kIdFourColor, kIdCancel}), 0);
  EXPECT_EQ(block, before);
}

TEST(DriverOptionsDialog, ClicksOutsideTheMessageMapDoNotEndTheDialog) {
  auto block = Block(20, 1, 0);
  User user;
  user.clicks = {kIdRibbonGroup, kIdOrderGroup, 4242, kIdOk};
  EXPECT_EQ(RunDialog(block, user), 1);
  EXPECT_EQ(user.seen.size(), 4u);
}

TEST(DriverOptionsDialog, MissingBlockFailsWithAReason) {
  HeadlessControls controls;
  ClearFailure();
  EXPECT_EQ(RunDriverOptionsDialogWith(controls, std::vector<int>{kIdOk}, nullptr, nullptr), 0);
  EXPECT_NE(std::string(LastFailure()), "");
  EXPECT_EQ(RunDriverOptionsDialog(nullptr, nullptr, nullptr), 0);
}

TEST(DriverOptionsDialog, ExceptionDuringTheRunGivesZeroAndKeepsOnlyTheReset) {
  auto block = Block(9, 0, 1);
  HeadlessControls controls;
  int calls = 0;
  const ClickSource source = [&calls](const HeadlessControls&) -> int {
    if (++calls == 2) throw std::runtime_error("window gone");
    return kIdFourColor;
  };
  ClearFailure();
  EXPECT_EQ(RunDriverOptionsDialogWith(controls, source, block.data(), nullptr), 0);
  EXPECT_EQ(block[0], 20);
  EXPECT_EQ(block[1], 1);
  EXPECT_EQ(block[2], 0);
  EXPECT_NE(std::string(LastFailure()), "");
}

class InstalledInputTest : public ::testing::Test {
 protected:
  void TearDown() override { SetDriverOptionsDialogInputForTesting(nullptr); }
};

TEST_F(InstalledInputTest, WithoutWindowSystemTheDialogAnswersCancelAtOnce) {
  auto block = Block(3, 0, 1);
  ClearFailure();
  EXPECT_EQ(RunDriverOptionsDialog(nullptr, block.data(), nullptr), 0);
  EXPECT_EQ(block[0], 20);
  EXPECT_EQ(block[1], 1);
  EXPECT_EQ(block[2], 0);
  EXPECT_NE(std::string(LastFailure()).find("window system"), std::string::npos);

  auto initialised = Block(20, 0, 1);
  const auto before = initialised;
  EXPECT_EQ(RunDriverOptionsDialog(nullptr, initialised.data(), nullptr), 0);
  EXPECT_EQ(initialised, before);
}

TEST_F(InstalledInputTest, InstalledUserDrivesRunDriverOptionsDialog) {
  User user;
  user.clicks = {kIdFourColor, kIdOk};
  SetDriverOptionsDialogInputForTesting(user.Source());
  auto block = Block(20, 1, 0);
  EXPECT_EQ(RunDriverOptionsDialog(nullptr, block.data(), nullptr), 1);
  ASSERT_EQ(user.seen.size(), 2u);
  EXPECT_EQ(user.seen[0], kDefaultsShown);
  EXPECT_EQ(block[1], 0);
  EXPECT_EQ(block[2], 0);
}

}  // namespace
}  // namespace pc50
