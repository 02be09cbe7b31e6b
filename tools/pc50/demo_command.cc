#include "demo_command.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "demo_page.h"
#include "errors.h"
#include "preview_files.h"
#include "print_job.h"
#include "spool_builder.h"

namespace pc50::cli {
namespace {

namespace fs = std::filesystem;

struct DemoOptions {
  std::string dir = "pc50-demo";
};

int RunDemo(const DemoOptions& options) {
  std::error_code error;
  fs::create_directories(options.dir, error);
  if (error) throw Failure("cannot create directory " + options.dir + ": " + error.message());
  const fs::path dir(options.dir);
  const std::string spool = (dir / "demo.spl").string();
  const std::string stream = (dir / "demo.prn").string();
  const std::string preview = (dir / "demo.png").string();
  const std::string passes = (dir / "passes").string();

  const JobInput input = DemoInput();
  const SpoolSettings settings = DemoSettings();
  WriteJobFiles(BuildJob(input, settings, spool), spool);
  std::printf("spool file: %s (%d copies of a test page with a Gold star, four-colour ribbon)\n",
              spool.c_str(), kDemoCopies);
  std::fflush(stdout);

  PrintRequest request;
  request.spool_path = spool;
  request.output_path = stream;
  request.copies = kDemoCopies;
  request.prompts_off = true;
  request.keep_stream = true;
  PrintResult result;
  try {
    result = RunPrintJob(request);
  } catch (const Failure& failure) {
    throw Failure("printing " + spool + ": " + failure.what());
  }
  std::printf("stream:     %s (%llu bytes, %ld steps)\n", stream.c_str(),
              static_cast<unsigned long long>(result.bytes), result.steps);

  const PreviewFiles files = WritePreviewFiles(DecodeStreamBytes(result.stream, stream), preview, passes);
  for (const std::string& file : files.pages) std::printf("preview:    %s\n", file.c_str());
  for (const std::string& file : files.passes) std::printf("pass:       %s\n", file.c_str());
  return 0;
}

}  // namespace

Command AddDemoCommand(CLI::App& parent) {
  auto options = std::make_shared<DemoOptions>();
  CLI::App* command = parent.add_subcommand(
      "demo", "Build a sample job, print it to a stream and render the preview");
  command->add_option("-o,--output", options->dir, "Directory for the files")->capture_default_str();
  return {command, [options] { return RunDemo(*options); }};
}

}  // namespace pc50::cli
