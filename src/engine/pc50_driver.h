// The PC-50 driver: the raster driver with a PC-50 device and the Driver
// Options dialog. This is the class the factory and the procedural entry
// points create.
#pragma once

#include <memory>

#include "engine/raster_driver.h"

namespace pc50 {

class APC50Device;

class APC50Driver : public ARasterDriver {
 public:
  APC50Driver();
  ~APC50Driver() override;

  int HasDriverOption() override;
  // Action 1 resets the block and shows the dialog, 2 only resets it (1), 3
  // shows the dialog on the block as it is; the dialog gives 1 for OK. Any
  // other action gives 0.
  int DoDriverOption(void* optionBlock, int action, DrvInfo* info, HWND parent, ABasePort* port) override;

 private:
  std::unique_ptr<APC50Device> pc50Device_;
};

}  // namespace pc50
