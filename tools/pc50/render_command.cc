#include "render_command.h"

#include <CLI/CLI.hpp>

#include <memory>

#include "preview_files.h"

namespace pc50::cli {
namespace {

struct RenderOptions {
  std::string stream;
  std::string output;
  std::string passes;
};

int RunRender(const RenderOptions& options) {
  const std::vector<hostkit::Page> pages = DecodeStreamFile(options.stream);
  const PreviewFiles files = WritePreviewFiles(pages, options.output, options.passes);
  for (const std::string& file : files.pages) std::printf("page: %s\n", file.c_str());
  for (const std::string& file : files.passes) std::printf("pass: %s\n", file.c_str());
  return 0;
}

}  // namespace

Command AddRenderCommand(CLI::App& parent) {
  auto options = std::make_shared<RenderOptions>();
  CLI::App* command =
      parent.add_subcommand("render", "Decode a PC-50 stream and write the composite preview PNG");
  command->add_option("STREAM", options->stream, "PC-50 command stream")->required();
  command->add_option("-o,--output", options->output,
                      "Preview PNG (several pages: NAME-1.png, NAME-2.png, ...)")
      ->required();
  command->add_option("--passes", options->passes, "Also write one PNG per pass into this directory");
  return {command, [options] { return RunRender(*options); }};
}

}  // namespace pc50::cli
