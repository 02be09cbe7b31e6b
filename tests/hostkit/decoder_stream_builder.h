// Tiny PC-50 streams for the decoder and preview tests, put together from the
// printer's command strings by hand.
#pragma once

#include <cstdio>
#include <initializer_list>
#include <string>

namespace pc50::hostkit::testing {

// "\x1b" "E" stays split: 'E' would otherwise extend the hex escape.
inline const std::string kReset = "\x1b" "E";
inline const std::string kEndRaster = "\x1b*rC";
inline const std::string kTrailerAdvance = "\x1b%0BPU;PG;";
inline const std::string kTrailerHold = "\x1b%0BPU;PA0,0;";
inline const std::string kBlankRow = "\x1b*b0W";

inline const std::string kPalette =
    "\x1b*v1a1b1c0I\x1b*v0a0b0c1I\x1b*v0a1b1c2I\x1b*v0a0b0c3I\x1b*v1a0b1c4I\x1b*v0a0b0c5I"
    "\x1b*v0a0b1c6I\x1b*v0a0b0c7I\x1b*v1a1b0c8I\x1b*v0a0b0c9I\x1b*v0a1b0c10I\x1b*v0a0b0c11I"
    "\x1b*v1a0b0c12I\x1b*v0a0b0c13I\x1b*v0a0b0c14I\x1b*v0a0b0c15I";

inline std::string Format(const char* format, long a, long b = 0) {
  char text[64];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

// Plot size in plotter units for a page of width x height pixels at dpi:
// the fewest whole units that cover it.
inline long PlotUnits(long pixels, long dpi) { return (pixels * 1016 + dpi - 1) / dpi; }

inline std::string PageHeader(long widthPixels, long heightPixels, long dpi = 180) {
  return kReset + "\x1b%0BBP5,1;" +
         Format("PS%ld,%ld;", PlotUnits(heightPixels, dpi), PlotUnits(widthPixels, dpi)) +
         "\x1b%1A" + Format("\x1b*t%ldR", dpi);
}

inline std::string PlaneHeader(long colourCode, long compressionMethod) {
  return std::string("\x1b%0BPU;PA0,0;") + Format("!CL%ld;", colourCode) + "\x1b%1A" +
         std::string("\x1b*v6W\x00\x00\x01\x01\x01\x01", 11) + "\x1b&a1N" + kPalette +
         Format("\x1b*b%ldM", compressionMethod);
}

// One transfer: letter 'V' (more planes follow) or 'W' (last of the row).
inline std::string Transfer(char letter, const std::string& data) {
  return Format("\x1b*b%ld", static_cast<long>(data.size())) + letter + data;
}

inline std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int v : values) bytes += static_cast<char>(v);
  return bytes;
}

}  // namespace pc50::hostkit::testing
