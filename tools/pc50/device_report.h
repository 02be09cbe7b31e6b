// What the device answers through a driver object: name, version, row
// number, colour models with their colour lists, default screening.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pc50::cli {

struct ColourInfo {
  std::string name;
  std::string display_name;
  bool spot = false;
  std::uint32_t colorref = 0;  // 0x00BBGGRR
};

struct ColourModelInfo {
  int index = 0;
  std::string name;
  bool is_default = false;
  std::vector<ColourInfo> colours;
};

struct ScreenInfo {
  std::string colour;
  std::string shape;
  float frequency = 0.0f;
  float angle = 0.0f;
};

struct DeviceReport {
  std::string printer;
  float version = 0.0f;
  int row_number = 0;
  bool has_driver_options = false;
  std::vector<ColourModelInfo> models;
  std::vector<ScreenInfo> screens;
};

// Asks a new driver object. Throws Failure when none can be made.
DeviceReport QueryDevice();

// "#RRGGBB" of a COLORREF.
std::string HexColour(std::uint32_t colorref);

}  // namespace pc50::cli
