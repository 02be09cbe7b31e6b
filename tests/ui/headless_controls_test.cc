#include "ui/headless_controls.h"

#include <gtest/gtest.h>

#include <vector>

namespace pc50 {
namespace {

TEST(HeadlessControls, HoldsTheTemplatesNineControlsInCreationOrder) {
  std::vector<int> ids;
  for (const ControlInfo& c : DriverOptionsControls()) ids.push_back(c.id);
  EXPECT_EQ(ids, (std::vector<int>{1, 2, 1000, 1002, 1003, 1004, 1005, 1006, 1010}));
  HeadlessControls controls;
  for (int id : ids) {
    EXPECT_TRUE(controls.IsEnabled(id)) << id;
    EXPECT_FALSE(controls.IsChecked(id)) << id;
  }
}

TEST(HeadlessControls, RadioClickChecksItselfAndClearsOnlyItsOwnGroup) {
  HeadlessControls controls;
  controls.SetCheck(kIdFourColor, true);
  controls.SetCheck(kIdCmyk, true);
  EXPECT_TRUE(controls.Click(kIdYmck));
  EXPECT_TRUE(controls.IsChecked(kIdYmck));
  EXPECT_FALSE(controls.IsChecked(kIdCmyk));
  EXPECT_TRUE(controls.IsChecked(kIdFourColor));

  EXPECT_TRUE(controls.Click(kIdSingleColor));
  EXPECT_TRUE(controls.IsChecked(kIdSingleColor));
  EXPECT_FALSE(controls.IsChecked(kIdFourColor));
  EXPECT_TRUE(controls.IsChecked(kIdYmck));

  // Clicking a checked radio notifies again and keeps it checked.
  EXPECT_TRUE(controls.Click(kIdSingleColor));
  EXPECT_TRUE(controls.IsChecked(kIdSingleColor));
}

TEST(HeadlessControls, DisabledControlsGroupBoxesAndUnknownIdsIgnoreClicks) {
  HeadlessControls controls;
  controls.SetCheck(kIdCmyk, true);
  controls.Enable(kIdYmck, false);
  EXPECT_FALSE(controls.Click(kIdYmck));
  EXPECT_FALSE(controls.IsChecked(kIdYmck));
  EXPECT_TRUE(controls.IsChecked(kIdCmyk));

  EXPECT_FALSE(controls.Click(kIdRibbonGroup));
  EXPECT_FALSE(controls.Click(kIdOrderGroup));
  EXPECT_FALSE(controls.Click(7));
  EXPECT_FALSE(controls.IsEnabled(7));
  controls.SetCheck(7, true);
  EXPECT_FALSE(controls.IsChecked(7));

  EXPECT_TRUE(controls.Click(kIdOk));
  EXPECT_TRUE(controls.Click(kIdRestoreDefaults));
}

}  // namespace
}  // namespace pc50
