// The PC-50's ribbon colours as the host sees them: the colour code that a
// stream selects with "!CL n;", the ribbon's name and its display colour.
// Kept here, apart from the module, so the decoder checks the module's codes
// against an independent copy.
#pragma once

#include <array>
#include <cstdint>

namespace pc50::hostkit {

struct Rgb {
  std::uint8_t r = 0;
  std::uint8_t g = 0;
  std::uint8_t b = 0;
};

inline bool operator==(Rgb a, Rgb b) { return a.r == b.r && a.g == b.g && a.b == b.b; }
inline bool operator!=(Rgb a, Rgb b) { return !(a == b); }

inline constexpr Rgb kPaperWhite{255, 255, 255};

struct RibbonColour {
  int code;                 // the number in "!CL n;"
  const char* name;
  std::uint32_t colorref;   // 0x00BBGGRR
  bool process;             // Cyan, Magenta, Yellow or Black
};

// The four-colour cartridge prints Cyan, Magenta, Yellow and Black in one
// pass; its code names no single ribbon colour.
inline constexpr int kFourColourCode = 5;

inline constexpr std::array<RibbonColour, 11> kRibbonColours{{
    {15, "Cyan", 0x00FFFF00, true},
    {14, "Magenta", 0x00FF00FF, true},
    {13, "Yellow", 0x0000FFFF, true},
    {12, "Black", 0x00000000, true},
    {20, "Orange", 0x00007FFF, false},
    {23, "Green", 0x0000FF00, false},
    {21, "Red", 0x000000FF, false},
    {22, "Blue", 0x00FF0000, false},
    {10, "White", 0x00FFFFFF, false},
    {8, "Gold", 0x00007F7F, false},
    {11, "Silver", 0x00C0C0C0, false},
}};

// The ribbon for a colour code, or null when the code names none (the
// four-colour code included).
inline const RibbonColour* FindRibbonColour(int code) {
  for (const RibbonColour& colour : kRibbonColours) {
    if (colour.code == code) return &colour;
  }
  return nullptr;
}

inline Rgb RgbOfColorref(std::uint32_t colorref) {
  return Rgb{static_cast<std::uint8_t>(colorref & 0xFF),
             static_cast<std::uint8_t>((colorref >> 8) & 0xFF),
             static_cast<std::uint8_t>((colorref >> 16) & 0xFF)};
}

}  // namespace pc50::hostkit
