#include "server_setup.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cartridge_page.h"
#include "pc50_printer.h"

namespace pc50::app {
namespace {

const char kAppName[] = "pc50-app";
const char kDefaultQueue[] = "PC-50";
constexpr int kDefaultPort = 8631;

// Labels for the Printing Defaults page and the job options.
const char kStrings[] =
    "\"pc50-ribbon\" = \"Ribbon\";\n"
    "\"pc50-ribbon.single-color\" = \"Single-colour cartridges\";\n"
    "\"pc50-ribbon.four-color\" = \"Four-colour cartridge\";\n"
    "\"pc50-print-order\" = \"Print order\";\n"
    "\"pc50-print-order.ymck\" = \"YMCK\";\n"
    "\"pc50-print-order.cmyk\" = \"CMYK\";\n"
    "\"pc50-copy-gap\" = \"Gap between copies (1/100 mm)\";\n"
    "\"pc50-row-gap\" = \"Gap between rows of copies (1/100 mm)\";\n"
    "\"pc50-single-page\" = \"Single page\";\n"
    "\"pc50-halftone\" = \"Halftone\";\n"
    "\"pc50-halftone.screen\" = \"Device screen\";\n"
    "\"pc50-halftone.diffusion\" = \"Error diffusion\";\n"
    "\"pc50-black-generation\" = \"Black generation (%)\";\n"
    "\"pc50-spot-color\" = \"Spot colour for images\";\n"
    "\"pc50-spot-color.none\" = \"None\";\n"
    "\"pc50-spot-color.orange\" = \"Orange\";\n"
    "\"pc50-spot-color.green\" = \"Green\";\n"
    "\"pc50-spot-color.red\" = \"Red\";\n"
    "\"pc50-spot-color.blue\" = \"Blue\";\n"
    "\"pc50-spot-color.white\" = \"White\";\n"
    "\"pc50-spot-color.gold\" = \"Gold\";\n"
    "\"pc50-spot-color.silver\" = \"Silver\";\n";

std::string Option(const char* name, int count, cups_option_t* options, const std::string& fallback) {
  const char* value = cupsGetOption(name, count, options);
  return value != nullptr ? value : fallback;
}

bool IsYes(const std::string& value) { return value == "yes" || value == "true" || value == "on"; }

std::string DefaultDirectory(const char* root_dir) {
  if (getuid() == 0 && *root_dir != '\0') return root_dir;
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp");
}

bool ParseLogLevel(const std::string& text, pappl_loglevel_t* level) {
  static const struct {
    const char* name;
    pappl_loglevel_t level;
  } kLevels[] = {{"debug", PAPPL_LOGLEVEL_DEBUG}, {"info", PAPPL_LOGLEVEL_INFO},
                 {"warn", PAPPL_LOGLEVEL_WARN},   {"error", PAPPL_LOGLEVEL_ERROR},
                 {"fatal", PAPPL_LOGLEVEL_FATAL}};
  for (const auto& entry : kLevels) {
    if (text == entry.name) {
      *level = entry.level;
      return true;
    }
  }
  return false;
}

// Spool jobs sent without a format (CUPS raw queues send
// application/octet-stream): the header's version (int16 at 4) and index
// position (int16 at 6, 3940 for every version we know) give them away.
const char* SniffFormat(const unsigned char* header, size_t size, void*) {
  if (size < 8) return nullptr;
  const int version = header[4] | header[5] << 8;
  const int index_position = header[6] | header[7] << 8;
  return version >= 1 && version <= 64 && index_position == 3940 ? kSpoolFormat : nullptr;
}

pappl_system_t* Refuse(const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", kAppName, message.c_str());
  return nullptr;
}

}  // namespace

pappl_system_t* SystemCallback(int num_options, cups_option_t* options, void* data) {
  const char* subcommand = static_cast<const char*>(data);
  if (subcommand != nullptr && std::strcmp(subcommand, "server") != 0) {
    // Only the driver list is wanted: nothing to listen on, load or log.
    const std::string scratch = DefaultDirectory("/tmp");
    pappl_system_t* system = papplSystemCreate(PAPPL_SOPTIONS_NO_TLS, "PC-50 Printer Application", 0, nullptr,
                                               scratch.c_str(), "/dev/null", PAPPL_LOGLEVEL_FATAL, nullptr, false);
    int driver_count = 0;
    pappl_pr_driver_t* drivers = Drivers(&driver_count);
    if (system != nullptr) {
      papplSystemSetPrinterDrivers(system, driver_count, drivers, AutoAddCallback, nullptr, DriverCallback, nullptr);
    }
    return system;
  }
  static const char* const kKnown[] = {"listen-hostname", "server-port",  "spool-directory", "log-file",
                                       "log-level",       "state-file",   "tls",             "multi-queue",
                                       "auth-service",    "device-uri",   "private-server"};
  for (int i = 0; i < num_options; ++i) {
    bool known = false;
    for (const char* name : kKnown) known = known || std::strcmp(options[i].name, name) == 0;
    if (!known) return Refuse(std::string("unknown server option \"") + options[i].name + "\"");
  }

  const std::string hostname = Option("listen-hostname", num_options, options, "localhost");
  const std::string port_text = Option("server-port", num_options, options, std::to_string(kDefaultPort));
  char* end = nullptr;
  const long port = std::strtol(port_text.c_str(), &end, 10);
  if (port_text.empty() || *end != '\0' || port < 1 || port > 65535) {
    return Refuse("server-port \"" + port_text + "\" is not a port number (1 to 65535)");
  }
  pappl_loglevel_t log_level = PAPPL_LOGLEVEL_INFO;
  const std::string level_text = Option("log-level", num_options, options, "info");
  if (!ParseLogLevel(level_text, &log_level)) {
    return Refuse("log-level \"" + level_text + "\" is not one of debug, info, warn, error, fatal");
  }
  const std::string uid = std::to_string(getuid());
  const std::string spool_dir = Option("spool-directory", num_options, options,
                                       getuid() == 0 ? "/var/spool/pc50-app"
                                                     : DefaultDirectory("") + "/pc50-app" + uid + ".d");
  const std::string log_file = Option("log-file", num_options, options, "-");
  static std::string state_file;
  state_file = Option("state-file", num_options, options,
                      getuid() == 0 ? "/var/lib/pc50-app.state"
                                    : DefaultDirectory("") + "/pc50-app" + uid + ".state");
  const bool no_tls = Option("tls", num_options, options, "yes") == "no";
  const bool multi_queue = IsYes(Option("multi-queue", num_options, options, "no"));
  const std::string auth_service = Option("auth-service", num_options, options, "");

  pappl_soptions_t soptions = PAPPL_SOPTIONS_WEB_INTERFACE | PAPPL_SOPTIONS_WEB_LOG |
                              PAPPL_SOPTIONS_WEB_SECURITY;
  if (multi_queue) soptions |= PAPPL_SOPTIONS_MULTI_QUEUE;
  if (no_tls) soptions |= PAPPL_SOPTIONS_NO_TLS;
  else soptions |= PAPPL_SOPTIONS_WEB_TLS;

  pappl_system_t* system =
      papplSystemCreate(soptions, "PC-50 Printer Application", static_cast<int>(port), "_print,_universal",
                        spool_dir.c_str(), log_file.c_str(), log_level,
                        auth_service.empty() ? nullptr : auth_service.c_str(), false);
  if (system == nullptr) return Refuse("cannot create the server (spool directory " + spool_dir + ")");
  // A private server (started on demand by another subcommand) answers only
  // on the local socket that papplMainloop adds.
  const bool private_server = IsYes(Option("private-server", num_options, options, "no"));
  if (!private_server && !papplSystemAddListeners(system, hostname.c_str())) {
    papplSystemDelete(system);
    return Refuse("cannot listen on " + hostname + ":" + port_text);
  }

  int driver_count = 0;
  pappl_pr_driver_t* drivers = Drivers(&driver_count);
  papplSystemSetPrinterDrivers(system, driver_count, drivers, AutoAddCallback, AddCartridgeLink, DriverCallback,
                               nullptr);
  papplSystemSetOperationCallback(system, OperationCallback, nullptr);
  papplSystemSetMIMECallback(system, SniffFormat, nullptr);
  for (const char* format : {"application/pdf", "image/png", "image/jpeg"}) {
    papplSystemAddMIMEFilter(system, format, kSpoolFormat, DocumentFilter, nullptr);
  }
  papplSystemAddStringsData(system, "/en.strings", "en", kStrings);
  AddCartridgePage(system);

  papplSystemSetSaveCallback(system, reinterpret_cast<pappl_save_cb_t>(papplSystemSaveState),
                             const_cast<char*>(state_file.c_str()));
  if (!papplSystemLoadState(system, state_file.c_str())) {
    const std::string device_uri = Option("device-uri", num_options, options, "");
    if (!device_uri.empty()) {
      pappl_printer_t* printer = papplPrinterCreate(system, 0, kDefaultQueue, kDriverName,
                                                    Drivers(&driver_count)[0].device_id, device_uri.c_str());
      if (printer == nullptr) {
        papplSystemDelete(system);
        return Refuse("cannot add the printer for " + device_uri);
      }
    }
  }
  papplSystemIteratePrinters(system, [](pappl_printer_t* printer, void*) {
    AddCartridgeLink(printer);
    ShowInstalledCartridge(printer);
  }, nullptr);
  return system;
}

}  // namespace pc50::app
