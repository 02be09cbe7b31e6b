#include "print_command.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <iostream>
#include <memory>

#include "cartridge_prompt.h"
#include "errors.h"
#include "preview_files.h"
#include "print_job.h"
#include "progress_bar.h"
#include "terminal.h"

namespace pc50::cli {
namespace {

namespace fs = std::filesystem;

struct PrintOptions {
  std::string spool;
  std::string output;
  std::string port;
  std::string api = "c";
  bool yes = false;
  bool no_prompt = false;
  int copies = 1;
  bool single_page = false;
  bool step_times = false;
  std::string preview;
};

// SPOOL with the extension .prn, never the spool file itself.
std::string DefaultOutput(const std::string& spool) {
  fs::path output(spool);
  output.replace_extension(".prn");
  if (output == fs::path(spool)) output += ".prn";
  return output.string();
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  if (fs::equivalent(a, b, error)) return true;
  return fs::absolute(a).lexically_normal() == fs::absolute(b).lexically_normal();
}

void ClearProgress(void* bar) { static_cast<ProgressBar*>(bar)->Clear(); }

int RunPrint(const PrintOptions& options) {
  PrintRequest request;
  request.spool_path = options.spool;
  request.api = options.api == "object" ? Api::kObject : Api::kC;
  request.copies = options.copies;
  request.single_page = options.single_page;
  request.prompts_off = options.no_prompt;
  request.keep_stream = !options.preview.empty();
  if (!options.port.empty()) {
    if (request.api != Api::kObject) throw UsageError("--port needs --api object");
    request.port_path = options.port;
  } else {
    request.output_path = options.output.empty() ? DefaultOutput(options.spool) : options.output;
  }
  const std::string& target = options.port.empty() ? request.output_path : options.port;
  if (target != "-" && SameFile(target, options.spool)) {
    throw UsageError("the output " + target + " would overwrite the spool file");
  }

  const bool ask = !options.yes && !options.no_prompt;
  CartridgePrompter prompter(ask ? PromptPolicy::kAsk : PromptPolicy::kAlwaysOk,
                             IsTerminal(stdin) && IsTerminal(stderr), std::cin, stderr);
  ProgressBar progress(stderr, IsTerminal(stderr));
  prompter.set_before_question(&ClearProgress, &progress);
  request.on_status = [&progress](const std::string& status) { progress.Update(status); };

  PrintResult result;
  {
    ScopedPromptHandler handler(&prompter);
    try {
      result = RunPrintJob(request);
    } catch (const Failure& failure) {
      progress.Clear();
      if (prompter.cancelled()) {
        throw Failure(options.spool + ": cancelled at the cartridge prompt \"" +
                      prompter.cancelled_text() + "\"; no output written");
      }
      throw Failure(options.spool + ": " + failure.what());
    }
  }
  progress.Clear();

  // With the stream on standard output, notes go to standard error.
  std::FILE* notes = options.port == "-" ? stderr : stdout;
  std::fprintf(notes, "printed %s: %llu bytes to %s in %ld steps\n", options.spool.c_str(),
               static_cast<unsigned long long>(result.bytes), result.destination.c_str(),
               result.steps);
  if (options.step_times) {
    std::fprintf(notes, "longest step: %.3f ms of %ld steps\n", result.longest_step_ms, result.steps);
  }
  if (!options.preview.empty()) {
    const PreviewFiles files =
        WritePreviewFiles(DecodeStreamBytes(result.stream, result.destination), options.preview);
    for (const std::string& file : files.pages) std::fprintf(notes, "preview: %s\n", file.c_str());
  }
  return 0;
}

}  // namespace

Command AddPrintCommand(CLI::App& parent) {
  auto options = std::make_shared<PrintOptions>();
  CLI::App* command = parent.add_subcommand(
      "print", "Run a spool job through the module and write the PC-50 command stream");
  command->add_option("SPOOL", options->spool, "The host's spool file")->required();
  CLI::Option* output = command->add_option(
      "-o,--output", options->output, "Output file for the stream (default: SPOOL with .prn)");
  CLI::Option* port = command->add_option(
      "--port", options->port, "Send the stream through a port object to FILE, - for standard output "
                               "(needs --api object)");
  output->excludes(port);
  command->add_option("--api", options->api, "Way into the module: c (the nine entry points) or "
                                             "object (a driver object)")
      ->check(CLI::IsMember({"c", "object"}))
      ->capture_default_str();
  CLI::Option* yes = command->add_flag("--yes", options->yes, "Answer OK to every cartridge prompt");
  CLI::Option* no_prompt = command->add_flag("--no-prompt", options->no_prompt,
                                             "Run with prompts off (prompt mode 4)");
  yes->excludes(no_prompt);
  command->add_option("--copies", options->copies, "Copies of the page image")
      ->check(CLI::Range(1, 32767))
      ->capture_default_str();
  command->add_flag("--single-page", options->single_page, "Lay the whole job out as one page");
  command->add_option("--preview", options->preview, "Also render what was written to this PNG");
  command->add_flag("--step-times", options->step_times,
                    "Also report the longest job step (one resume call), in milliseconds");
  return {command, [options] { return RunPrint(*options); }};
}

}  // namespace pc50::cli
