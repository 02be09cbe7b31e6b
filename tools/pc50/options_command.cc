#include "options_command.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "atomic_file.h"
#include "errors.h"
#include "options_edit.h"
#include "pc50/pc50.h"
#include "pc50/pc50_ext.h"

namespace pc50::cli {
namespace {

namespace dsi = pc50::driver_setup_info;

constexpr std::uint8_t kTag = 20;
constexpr int kResetAction = 2;

struct DecodeOptions {
  std::string text;
  std::string block_file;
};

// A host DriverSetupInfo record whose first bytes are the option block.
std::vector<std::uint8_t> SetupRecord(const OptionBlock& block) {
  std::vector<std::uint8_t> record(std::max<std::size_t>(dsi::kMinimumSize, 512), 0);
  std::memcpy(record.data() + dsi::kOptionBlock, block.data(), block.size());
  return record;
}

OptionBlock BlockOf(const std::vector<std::uint8_t>& record) {
  OptionBlock block;
  std::memcpy(block.data(), record.data() + dsi::kOptionBlock, block.size());
  return block;
}

std::string ModuleReason() {
  const std::string reason = pc50_LastFailure();
  return reason.empty() ? "the module gave no reason" : reason;
}

int RunDecode(const DecodeOptions& options) {
  const bool have_file = !options.block_file.empty() && std::filesystem::exists(options.block_file);
  OptionBlock block = have_file ? ReadBlockFile(options.block_file) : DefaultOptionBlock();
  const OptionBlock before = block;
  DecodeOptionString(options.text, &block);
  std::fputs(DescribeOptionBlock(block).c_str(), stdout);
  if (block == before) std::puts("(no option changed)");
  if (!options.block_file.empty()) {
    WriteBlockFile(options.block_file, block);
    std::printf("wrote %s\n", options.block_file.c_str());
  }
  return 0;
}

int RunDescribe() {
  OptionBlock block = DefaultOptionBlock();
  std::vector<char> text(1024, '\0');
  const short result = PutPPDDisplays(text.data(), reinterpret_cast<char*>(block.data()));
  if (result == 0 || result == -1) throw Failure("cannot describe the driver options: " + ModuleReason());
  text.back() = '\0';
  std::printf("%s\n", text.data());
  return 0;
}

}  // namespace

OptionBlock ReadBlockFile(const std::string& path) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) {
    throw Failure(path + " is a directory, not a driver-option block file");
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Failure("cannot open " + path + ": " + std::strerror(errno));
  OptionBlock block;
  in.read(reinterpret_cast<char*>(block.data()), static_cast<std::streamsize>(block.size()));
  const std::streamsize got = in.gcount();
  const bool longer = in.peek() != std::char_traits<char>::eof();
  if (got != static_cast<std::streamsize>(block.size()) || longer) {
    std::error_code ignored;
    throw Failure(path + ": " + std::to_string(std::filesystem::file_size(path, ignored)) +
                  " bytes; a driver-option block file holds exactly 256");
  }
  return block;
}

void WriteBlockFile(const std::string& path, const OptionBlock& block) {
  AtomicFile file(path);
  {
    std::ofstream out(file.temp_path(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size()));
    out.flush();
    if (!out) throw Failure("cannot write " + path);
  }
  file.Commit();
}

OptionBlock DefaultOptionBlock() {
  OptionBlock block{};
  std::vector<std::uint8_t> record = SetupRecord(block);
  if (PopUpDriverOptionDialog(nullptr, reinterpret_cast<DriverSetupInfo*>(record.data()), kResetAction) == 0) {
    throw Failure("cannot reset a driver-option block: " + ModuleReason());
  }
  return BlockOf(record);
}

void DecodeOptionString(const std::string& text, OptionBlock* block) {
  std::vector<char> ppd(text.begin(), text.end());
  ppd.push_back('\0');
  std::vector<std::uint8_t> record = SetupRecord(*block);
  if (DECODESTRING(ppd.data(), reinterpret_cast<DriverSetupInfo*>(record.data())) == 0) {
    throw Failure("cannot decode \"" + text + "\": " + ModuleReason());
  }
  *block = BlockOf(record);
}

std::string DescribeOptionBlock(const OptionBlock& block) {
  char text[512];
  const bool single = block[1] == 1;
  std::snprintf(text, sizeof text, "tag:         %u%s\nribbon type: %u (%s)\nprint order: %u (%s%s)\n",
                block[0], block[0] == kTag ? "" : " (not set up: the device uses its defaults)",
                block[1], single ? "single-colour ribbons" : "four-colour ribbon", block[2],
                block[2] == 0 ? "YMCK" : "CMYK", single ? "" : "; used with single-colour ribbons only");
  return text;
}

Command AddOptionsCommand(CLI::App& parent) {
  CLI::App* command = parent.add_subcommand("options", "Decode, describe and edit the PC-50's driver options");
  command->require_subcommand(1);

  auto decode_options = std::make_shared<DecodeOptions>();
  CLI::App* decode = command->add_subcommand(
      "decode", "Decode an option string (DriverOption0=1 DriverOption1=0, or the DriverOptionBinary form)");
  decode->add_option("TEXT", decode_options->text, "Option string")->required();
  decode->add_option("--block", decode_options->block_file,
                     "256-byte driver-option block file: read when it exists, written with the result");

  CLI::App* describe = command->add_subcommand("describe", "Show the options' display description");
  const Command edit = AddOptionsEditCommand(*command);

  return {command, [decode, describe, edit, decode_options]() -> int {
            if (decode->parsed()) return RunDecode(*decode_options);
            if (describe->parsed()) return RunDescribe();
            if (edit.app->parsed()) return edit.run();
            throw UsageError("options: choose decode, describe or edit");
          }};
}

}  // namespace pc50::cli
