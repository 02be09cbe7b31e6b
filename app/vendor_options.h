// The PC-50's own job attributes (ribbon, print order, gaps, ...): their
// supported values and defaults, and the check every job value goes through.
// Names follow IPP's rules for attribute names ([a-z0-9-]); each has
// NAME-default and NAME-supported on the printer.
#pragma once

#include <string>
#include <vector>

namespace pc50::app {

struct VendorOption {
  enum class Kind { kKeyword, kRange, kBoolean };
  const char* name;
  Kind kind;
  std::vector<std::string> keywords;  // kKeyword: the supported values
  int low = 0;                        // kRange: inclusive bounds
  int high = 0;
  std::string default_value;          // as text: "single-color", "0", "false"
};

// All of them, in the order the web pages show them (their labels are in
// the server's strings).
const std::vector<VendorOption>& VendorOptions();
const VendorOption* FindVendorOption(const std::string& name);

// "" when value (the attribute's value as text) is supported for the option
// named name; otherwise a message that names the attribute and the value.
std::string CheckVendorValue(const std::string& name, const std::string& value);

// The settings a job's vendor attributes give, with the printer defaults
// filled in where the job sent none.
struct VendorSettings {
  bool four_colour_ribbon = false;
  bool print_order_cmyk = false;
  int copy_gap = 0;  // hundredths of millimetres
  int row_gap = 0;
  bool single_page = false;
  std::string halftone;
  int black_generation = 100;  // percent
  std::string spot_colour;     // "" for none, else a ribbon name ("Gold")
};

// value_of(name) gives the job's value, else the printer default, as text.
template <typename Lookup>
VendorSettings ReadVendorSettings(Lookup value_of);

// Parses one option value into settings (the value must have passed
// CheckVendorValue).
void ApplyVendorValue(const std::string& name, const std::string& value, VendorSettings* settings);

template <typename Lookup>
VendorSettings ReadVendorSettings(Lookup value_of) {
  VendorSettings settings;
  for (const VendorOption& option : VendorOptions()) {
    ApplyVendorValue(option.name, value_of(option), &settings);
  }
  return settings;
}

}  // namespace pc50::app
