// A subcommand of pc50: its CLI11 node and what runs when it was chosen.
#pragma once

#include <functional>

namespace CLI {
class App;
}

namespace pc50::cli {

struct Command {
  CLI::App* app = nullptr;
  // Runs the command after parsing; returns the exit code or throws Failure
  // (exit 1) or UsageError (exit 2).
  std::function<int()> run;
};

}  // namespace pc50::cli
