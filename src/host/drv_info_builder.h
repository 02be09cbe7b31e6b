// The host information record that the procedural option calls build from
// the host's DriverSetupInfo.
#pragma once

#include "pc50/pc50.h"

namespace pc50 {

// Text: a bounded copy of at most 60 characters from offset 192, zero-padded
// and not terminated at 60 or more; values: the int16s at 252 and 254.
DrvInfo MakeDrvInfo(const DriverSetupInfo* setup);

}  // namespace pc50
