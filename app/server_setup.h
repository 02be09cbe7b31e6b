// Makes the server for `pc50-app server` (and the other subcommands that
// ask papplMainloop for a system): listeners, paths, drivers, pages, state.
#pragma once

#include <pappl/pappl.h>

namespace pc50::app {

// Server options (-o NAME=VALUE):
//   listen-hostname  where to listen (default localhost)
//   server-port      TCP port (default 8631)
//   spool-directory, log-file ("-" for standard error), log-level,
//   state-file       where jobs, settings and printers are kept
//   tls=no           plain HTTP only, no certificate is made
//   multi-queue=yes  allow several printers in one server
//   auth-service     PAM service for the web admin pages
//   device-uri       the device of the default queue "PC-50", made when
//                    no saved state exists
//   private-server=yes  only the local socket (another subcommand started it)
//
// data points to the subcommand's name: for anything but "server" (the
// `drivers` listing) the system is made without listeners, state or log.
pappl_system_t* SystemCallback(int num_options, cups_option_t* options, void* data);

}  // namespace pc50::app
