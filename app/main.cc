// pc50-app: the PC-50 as an IPP Everywhere printer, for any application
// that prints through CUPS, Windows, iOS or Android.
#include <cstdio>

#include <pappl/pappl.h>

#include "confirm_command.h"
#include "pc50_printer.h"
#include "server_setup.h"

namespace {

void Usage(void*) {
  std::puts(
      "Usage: pc50-app SUB-COMMAND [OPTIONS] [FILES]\n"
      "\n"
      "Sub-commands:\n"
      "  server      Run the server (-o listen-hostname=, server-port=, tls=no,\n"
      "              device-uri=, multi-queue=yes, spool-directory=, log-file=,\n"
      "              log-level=, state-file=, auth-service=)\n"
      "  confirm     Tell a job waiting for a cartridge that it is installed\n"
      "              (-d PRINTER or -u URI, -j JOB-ID)\n"
      "  add, delete, modify, default, devices, drivers, printers, options\n"
      "  submit, jobs, cancel, status, shutdown, autoadd\n"
      "\n"
      "Options:\n"
      "  -d PRINTER       Printer name\n"
      "  -j JOB-ID        Job ID (cancel, confirm)\n"
      "  -m DRIVER-NAME   Driver (add): pc50\n"
      "  -n COPIES        Copies (submit)\n"
      "  -o NAME=VALUE    Option\n"
      "  -u URI           ipp: or ipps: printer or server\n"
      "  -v DEVICE-URI    Device (add): usb://, socket://HOST:9100, file:///DIR");
}

}  // namespace

int main(int argc, char* argv[]) {
  // The subcommand, for the system callback: the first argument that is
  // not an option or an option's value.
  const char* subcommand = "server";
  for (int i = 1; i < argc; ++i) {
    if (argv[i][0] != '-') {
      subcommand = argv[i];
      break;
    }
    if (argv[i][1] != '-' && argv[i][1] != '\0' && argv[i][2] == '\0') ++i;  // "-o VALUE"
  }
  int driver_count = 0;
  pappl_pr_driver_t* drivers = pc50::app::Drivers(&driver_count);
  // A footer is needed: PAPPL looks it up in the strings as soon as any
  // are loaded.
  return papplMainloop(argc, argv, PC50_APP_VERSION, "PC-50 Printer Application", driver_count, drivers,
                       pc50::app::AutoAddCallback, pc50::app::DriverCallback, "confirm",
                       pc50::app::ConfirmCommand, pc50::app::SystemCallback, Usage, const_cast<char*>(subcommand));
}
