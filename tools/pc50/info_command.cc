#include "info_command.h"

#include <CLI/CLI.hpp>

#include <cstdarg>
#include <cstdio>

#include "errors.h"
#include "resolution_probe.h"

namespace pc50::cli {
namespace {

const std::vector<float> kProbedResolutions = {90.0f, 120.0f, 180.0f, 224.0f, 225.0f, 300.0f, 360.0f};

#if defined(__GNUC__)
std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
#endif
std::string Printf(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

std::string FormatResolutions() {
  std::string text = "Resolutions (requested -> printed):\n";
  try {
    for (const ResolutionAnswer& answer : ProbeResolutions(kProbedResolutions)) {
      text += Printf("  %5g dpi -> %d dpi", static_cast<double>(answer.requested), answer.dpi);
      if (answer.repeat > 1) text += Printf(", each pixel printed %d times across", answer.repeat);
      text += "\n";
    }
  } catch (const Failure& failure) {
    text += "  not available: " + OneLine(failure.what()) + "\n";
  }
  return text;
}

int RunInfo() {
  std::fputs(FormatDeviceReport(QueryDevice()).c_str(), stdout);
  std::fputs(FormatResolutions().c_str(), stdout);
  return 0;
}

}  // namespace

std::string FormatDeviceReport(const DeviceReport& report) {
  std::string text;
  text += "Printer:        " + report.printer + "\n";
  text += Printf("Version:        %.1f\n", static_cast<double>(report.version));
  text += Printf("Row number:     %d\n", report.row_number);
  text += std::string("Driver options: ") + (report.has_driver_options ? "yes" : "no") + "\n";
  text += "Colour models:\n";
  for (const ColourModelInfo& model : report.models) {
    text += Printf("  %d %s%s\n", model.index, model.name.c_str(), model.is_default ? " (default)" : "");
    for (const ColourInfo& colour : model.colours) {
      text += Printf("      %-10s %-10s %-7s %s\n", colour.name.c_str(), colour.display_name.c_str(),
                     colour.spot ? "spot" : "process", HexColour(colour.colorref).c_str());
    }
  }
  text += "Default screening:\n";
  for (const ScreenInfo& screen : report.screens) {
    text += Printf("  %-10s %-8s %5.1f lpi %6.1f deg\n", screen.colour.c_str(), screen.shape.c_str(),
                   static_cast<double>(screen.frequency), static_cast<double>(screen.angle));
  }
  return text;
}

Command AddInfoCommand(CLI::App& parent) {
  CLI::App* command = parent.add_subcommand(
      "info", "Show what the device answers: name, version, colour models, resolutions, screening");
  return {command, [] { return RunInfo(); }};
}

}  // namespace pc50::cli
