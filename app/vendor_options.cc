#include "vendor_options.h"

#include <cstdlib>

namespace pc50::app {
namespace {

using Kind = VendorOption::Kind;

std::string Join(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : ", ") + item;
  return text;
}

bool ParseInt(const std::string& text, int* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  const long parsed = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || parsed < -1000000 || parsed > 1000000) return false;
  *value = static_cast<int>(parsed);
  return true;
}

}  // namespace

const std::vector<VendorOption>& VendorOptions() {
  // Gaps in hundredths of millimetres, up to 5 cm.
  static const std::vector<VendorOption> options = {
      {"pc50-ribbon", Kind::kKeyword, {"single-color", "four-color"}, 0, 0, "single-color"},
      {"pc50-print-order", Kind::kKeyword, {"ymck", "cmyk"}, 0, 0, "ymck"},
      {"pc50-copy-gap", Kind::kRange, {}, 0, 5000, "0"},
      {"pc50-row-gap", Kind::kRange, {}, 0, 5000, "0"},
      {"pc50-single-page", Kind::kBoolean, {}, 0, 0, "false"},
      {"pc50-halftone", Kind::kKeyword, {"screen", "diffusion"}, 0, 0, "screen"},
      {"pc50-black-generation", Kind::kRange, {}, 0, 100, "100"},
      {"pc50-spot-color",
       Kind::kKeyword,
       {"none", "orange", "green", "red", "blue", "white", "gold", "silver"},
       0,
       0,
       "none"},
  };
  return options;
}

const VendorOption* FindVendorOption(const std::string& name) {
  for (const VendorOption& option : VendorOptions()) {
    if (name == option.name) return &option;
  }
  return nullptr;
}

std::string CheckVendorValue(const std::string& name, const std::string& value) {
  const VendorOption* option = FindVendorOption(name);
  if (option == nullptr) return "unknown attribute " + name;
  switch (option->kind) {
    case Kind::kKeyword:
      for (const std::string& keyword : option->keywords) {
        if (value == keyword) return "";
      }
      return name + " \"" + value + "\" is not supported (" + Join(option->keywords) + ")";
    case Kind::kRange: {
      int number = 0;
      if (ParseInt(value, &number) && number >= option->low && number <= option->high) return "";
      return name + " \"" + value + "\" is not supported (" + std::to_string(option->low) + " to " +
             std::to_string(option->high) + ")";
    }
    case Kind::kBoolean:
      if (value == "true" || value == "false") return "";
      return name + " \"" + value + "\" is not supported (true or false)";
  }
  return name + ": unknown kind";
}

void ApplyVendorValue(const std::string& name, const std::string& value, VendorSettings* settings) {
  int number = 0;
  if (name == "pc50-ribbon") {
    settings->four_colour_ribbon = value == "four-color";
  } else if (name == "pc50-print-order") {
    settings->print_order_cmyk = value == "cmyk";
  } else if (name == "pc50-copy-gap") {
    if (ParseInt(value, &number)) settings->copy_gap = number;
  } else if (name == "pc50-row-gap") {
    if (ParseInt(value, &number)) settings->row_gap = number;
  } else if (name == "pc50-single-page") {
    settings->single_page = value == "true";
  } else if (name == "pc50-halftone") {
    settings->halftone = value;
  } else if (name == "pc50-black-generation") {
    if (ParseInt(value, &number)) settings->black_generation = number;
  } else if (name == "pc50-spot-color") {
    settings->spot_colour.clear();
    if (value != "none" && !value.empty()) {
      settings->spot_colour = value;
      settings->spot_colour[0] = static_cast<char>(settings->spot_colour[0] - 'a' + 'A');
    }
  }
}

}  // namespace pc50::app
