#include "device_report.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "errors.h"
#include "pc50/pc50.h"
#include "pc50/pc50_ext.h"

namespace pc50::cli {
namespace {

constexpr int kMaxModels = 32;
constexpr int kMaxColours = 32;

struct DriverDeleter {
  void operator()(ABasePrinterDriver* driver) const { delete driver; }
};

template <std::size_t N>
std::string Text(const char (&field)[N]) {
  const void* end = std::memchr(field, 0, N);
  return std::string(field, end ? static_cast<const char*>(end) - field : N);
}

std::vector<ColourInfo> ColoursOf(ABasePrinterDriver& driver, int model) {
  std::vector<ColorListEntry> entries(kMaxColours);
  ColorList list{0, entries.data()};
  std::vector<ColourInfo> colours;
  if (driver.GetColorList(model, &list) == 0) return colours;
  const int count = list.count < 0 ? 0 : (list.count > kMaxColours ? kMaxColours : list.count);
  for (int i = 0; i < count; ++i) {
    const ColorListEntry& entry = entries[static_cast<std::size_t>(i)];
    colours.push_back({Text(entry.name), Text(entry.displayName), entry.isSpot != 0, entry.colorRef});
  }
  return colours;
}

}  // namespace

DeviceReport QueryDevice() {
  std::unique_ptr<ABasePrinterDriver, DriverDeleter> driver(createNewPrinterDriver());
  if (!driver) {
    const std::string reason = pc50_LastFailure();
    throw Failure("cannot create a driver object" + (reason.empty() ? "" : ": " + reason));
  }
  DeviceReport report;
  char name[512] = {};
  if (driver->GetPrinterName(name, nullptr) != 0) report.printer = Text(name);
  report.version = driver->GetVersion();
  report.row_number = driver->GetRowNumber();
  report.has_driver_options = driver->HasDriverOption() != 0;

  char default_name[256] = {};
  const int default_model = driver->GetDefaultColorIndex(default_name, nullptr);
  for (int index = 0; index < kMaxModels; ++index) {
    char model_name[256] = {};
    int is_default = 0;
    if (driver->EnumColorModel(index, &is_default, model_name, nullptr) == 0) break;
    ColourModelInfo model;
    model.index = index;
    model.name = Text(model_name);
    model.is_default = index == default_model;
    model.colours = ColoursOf(*driver, index);
    report.models.push_back(std::move(model));
  }

  tagScreeningOption screening;
  std::memset(&screening, 0, sizeof screening);
  if (driver->GetDefaultScreening(&screening, nullptr) != 0) {
    const int count = screening.count < 0 ? 0 : (screening.count > 8 ? 8 : screening.count);
    for (int i = 0; i < count; ++i) {
      const ScreeningEntry& entry = screening.entries[i];
      report.screens.push_back({Text(entry.colorName), Text(entry.screenName), entry.frequency, entry.angle});
    }
  }
  return report;
}

std::string HexColour(std::uint32_t colorref) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02X%02X%02X", colorref & 0xFF, (colorref >> 8) & 0xFF,
                (colorref >> 16) & 0xFF);
  return text;
}

}  // namespace pc50::cli
