// The controls of the "Driver Options" dialog as its logic sees them: a few
// operations on controls named by id. A Windows dialog, the headless control
// set and a terminal form each provide them.
#pragma once

#include "ui/driver_options_ids.h"

namespace pc50 {

constexpr int kDriverOptionsTemplate = PC50_IDD_DRIVER_OPTIONS;

// Control ids, in the template's creation order.
constexpr int kIdOk = PC50_IDC_OK;
constexpr int kIdCancel = PC50_IDC_CANCEL;
constexpr int kIdRestoreDefaults = PC50_IDC_RESTORE_DEFAULTS;
constexpr int kIdRibbonGroup = PC50_IDC_RIBBON_GROUP;
constexpr int kIdFourColor = PC50_IDC_FOUR_COLOR;
constexpr int kIdSingleColor = PC50_IDC_SINGLE_COLOR;
constexpr int kIdYmck = PC50_IDC_YMCK;
constexpr int kIdCmyk = PC50_IDC_CMYK;
constexpr int kIdOrderGroup = PC50_IDC_ORDER_GROUP;

class ControlSet {
 public:
  virtual ~ControlSet() = default;

  // Checks or unchecks a button (BM_SETCHECK).
  virtual void SetCheck(int id, bool checked) = 0;
  // True when the button is checked (BM_GETCHECK).
  virtual bool IsChecked(int id) const = 0;
  // Enables or disables a control (EnableWindow).
  virtual void Enable(int id, bool enabled) = 0;
};

}  // namespace pc50
