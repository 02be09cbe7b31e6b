// pc50: the host's side of the PC-50 module on the command line.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "demo_command.h"
#include "errors.h"
#include "info_command.h"
#include "options_command.h"
#include "print_command.h"
#include "render_command.h"
#include "spool_command.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// The chosen subcommand's name, for messages.
std::string Chosen(const std::vector<pc50::cli::Command>& commands) {
  for (const pc50::cli::Command& command : commands) {
    if (command.app->parsed()) return command.app->get_name();
  }
  return "";
}

void Complain(const std::string& command, const std::string& message) {
  std::fprintf(stderr, "pc50%s%s: %s\n", command.empty() ? "" : " ", command.c_str(),
               pc50::cli::OneLine(message).c_str());
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"pc50: print PC-50 spool jobs, make them from PNG images, and look at the results"};
  app.require_subcommand(1);
  std::vector<pc50::cli::Command> commands = {
      pc50::cli::AddPrintCommand(app),   pc50::cli::AddSpoolCommand(app),
      pc50::cli::AddRenderCommand(app),  pc50::cli::AddInfoCommand(app),
      pc50::cli::AddOptionsCommand(app), pc50::cli::AddDemoCommand(app),
  };
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error);
    return code == 0 ? 0 : kExitUsage;
  }

  const std::string name = Chosen(commands);
  try {
    for (const pc50::cli::Command& command : commands) {
      if (command.app->parsed()) return command.run();
    }
    Complain("", "choose a subcommand (see pc50 --help)");
    return kExitUsage;
  } catch (const pc50::cli::UsageError& error) {
    Complain(name, error.what());
    std::fprintf(stderr, "Run with --help for more information.\n");
    return kExitUsage;
  } catch (const pc50::cli::Failure& failure) {
    Complain(name, failure.what());
    return kExitFailure;
  } catch (const std::exception& error) {
    Complain(name, error.what());
    return kExitFailure;
  }
}
