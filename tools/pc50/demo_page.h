// The built-in sample job of pc50 demo: a colourful test page (colour bars,
// a hue sweep and a grey ramp), a Gold spot-colour star, and border cells
// all round, laid out four times on 4x6 inch media with the four-colour
// ribbon so that process and spot colours share the page.
#pragma once

#include "spool_builder.h"

namespace pc50::cli {

constexpr int kDemoCopies = 4;

// The page image, its Gold mask and the eight border cells.
JobInput DemoInput();

// 180 dpi, 4x6 inch media, gaps between the copies, four-colour ribbon.
SpoolSettings DemoSettings();

}  // namespace pc50::cli
