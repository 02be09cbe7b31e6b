#include "options_edit.h"

#include <CLI/CLI.hpp>

#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "errors.h"
#include "options_form.h"
#include "platform/diagnostics.h"
#include "raw_terminal.h"
#include "terminal.h"
#include "ui/driver_options_dialog.h"

namespace pc50::cli {
namespace {

constexpr std::uint8_t kTag = 20;
// A longer line is no choice; the rest of it is skipped.
constexpr std::size_t kMaxLine = 256;

constexpr char kKeyHelp[] =
    "Up/Down: move   Left/Right, Space, Enter: select   o: OK   r: Restore Defaults   Esc: Cancel";

struct EditOptions {
  std::string file;
  bool numbered = false;
};

std::string Printable(const std::string& text) {
  std::string out;
  for (char c : text) out += (c >= ' ' && c < '\x7f') ? c : '?';
  return out;
}

// One line of input without its line end; a line longer than kMaxLine keeps
// its start and gets "..." so that it names no choice. False at the end of
// input.
bool ReadLine(std::FILE* in, std::string* line) {
  line->clear();
  bool truncated = false;
  int c;
  while ((c = std::fgetc(in)) != EOF && c != '\n') {
    if (line->size() < kMaxLine) {
      *line += static_cast<char>(c);
    } else {
      truncated = true;
    }
  }
  if (truncated) *line += "...";
  return c == '\n' || !line->empty();
}

// The form line by line: the controls as shown, the numbered menu, then a
// line read as the choice. A line that names no control is asked again;
// the end of input cancels, as closing the dialog does.
class NumberedForm {
 public:
  NumberedForm(std::FILE* in, std::FILE* out, bool echo) : in_(in), out_(out), echo_(echo) {}

  int Next(const HeadlessControls& shown) {
    for (const std::string& line : FormLines(shown, FormStyle{})) std::fprintf(out_, "%s\n", line.c_str());
    std::fprintf(out_, "%s\n", NumberedMenu().c_str());
    for (;;) {
      std::fputs("Choice: ", out_);
      std::fflush(out_);
      std::string line;
      if (!ReadLine(in_, &line)) {
        std::fputs("\n", out_);
        input_ended_ = true;
        return kIdCancel;
      }
      if (echo_) std::fprintf(out_, "%s\n", Printable(line).c_str());
      const int id = ParseChoice(line);
      if (id == 0) {
        if (line.find_first_not_of(" \t\r") != std::string::npos) {
          std::fprintf(out_, "\"%s\" is not a choice: give its number or its name\n", Printable(line).c_str());
        }
        continue;
      }
      // The click still goes to the controls, which ignore it.
      if (!shown.IsEnabled(id)) std::fprintf(out_, "%s: choice ignored\n", DisabledReason(id).c_str());
      return id;
    }
  }

  bool input_ended() const { return input_ended_; }

 private:
  std::FILE* in_;
  std::FILE* out_;
  bool echo_;
  bool input_ended_ = false;
};

// The form drawn in place on a raw terminal and driven by keys.
class FullScreenForm {
 public:
  FullScreenForm(RawTerminal& terminal, std::FILE* out) : terminal_(terminal), out_(out) {}

  int Next(const HeadlessControls& shown) {
    if (!focus_) focus_.emplace(shown);
    for (;;) {
      Draw(shown, focus_->Focused(shown), true);
      const Key key = terminal_.ReadKey();
      if (key.code == KeyCode::kEnd) input_ended_ = true;
      status_.clear();
      const int id = focus_->Press(key, shown);
      if (id == 0) continue;
      if (!shown.IsEnabled(id)) status_ = DisabledReason(id);
      return id;
    }
  }

  // Leaves the final state on the screen, without focus or key help.
  void Finish(const HeadlessControls& shown) { Draw(shown, 0, false); }

  bool input_ended() const { return input_ended_; }

 private:
  void Draw(const HeadlessControls& shown, int focused, bool help) {
    FormStyle style;
    style.ansi = true;
    style.buttons = true;
    style.focused = focused;
    std::vector<std::string> lines = FormLines(shown, style);
    if (help) {
      lines.push_back("");
      lines.push_back(kKeyHelp);
      lines.push_back(status_);
    }
    std::string screen;
    if (drawn_lines_ > 0) screen += "\r\x1b[" + std::to_string(drawn_lines_) + "A";
    screen += "\x1b[J";
    for (const std::string& line : lines) screen += line + "\n";
    std::fputs(screen.c_str(), out_);
    std::fflush(out_);
    drawn_lines_ = lines.size();
  }

  RawTerminal& terminal_;
  std::FILE* out_;
  std::optional<FormFocus> focus_;
  std::string status_;
  std::size_t drawn_lines_ = 0;
  bool input_ended_ = false;
};

bool DumbTerminal() {
  const char* term = std::getenv("TERM");
  return term == nullptr || std::string(term).empty() || std::string(term) == "dumb";
}

// The block the form starts from; false when path does not exist yet.
bool LoadBlock(const std::string& path, OptionBlock* block) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::symlink_status(path, error);
  if (status.type() != std::filesystem::file_type::not_found) {
    *block = ReadBlockFile(path);
    return true;
  }
  const std::filesystem::path dir = std::filesystem::path(path).parent_path();
  if (!dir.empty() && !std::filesystem::is_directory(dir, error)) {
    throw Failure("cannot create " + path + ": " + dir.string() + " is not a directory");
  }
  *block = DefaultOptionBlock();
  return false;
}

int RunEdit(const EditOptions& options) {
  const std::string& path = options.file;
  OptionBlock block;
  const bool existed = LoadBlock(path, &block);

  std::printf("Driver Options: %s\n", path.c_str());
  if (!existed) {
    std::printf("(%s does not exist: the form starts from the defaults)\n", path.c_str());
  } else if (block[0] != kTag) {
    std::printf("(%s is not set up, its tag is %u: the form starts from the defaults)\n", path.c_str(),
                block[0]);
  }

  FormStreams streams;
  streams.full_screen =
      !options.numbered && IsTerminal(stdin) && IsTerminal(stdout) && !DumbTerminal();
  if (!RunOptionsForm(&block, streams)) {
    std::printf("Cancelled: %s %s\n", path.c_str(), existed ? "left unchanged" : "not created");
    return 0;
  }
  WriteBlockFile(path, block);
  std::fputs(DescribeOptionBlock(block).c_str(), stdout);
  std::printf("wrote %s\n", path.c_str());
  return 0;
}

// Runs the dialog logic on controls with form's clicks; notes whether the
// last click was Cancel, to tell a cancelled form from a failed one.
template <typename Form>
int RunDialog(Form& form, HeadlessControls& controls, OptionBlock* block, bool* cancel_chosen) {
  const ClickSource next = [&form, cancel_chosen](const HeadlessControls& shown) {
    const int id = form.Next(shown);
    *cancel_chosen = id == kIdCancel;
    return id;
  };
  return RunDriverOptionsDialogWith(controls, next, block->data(), nullptr);
}

}  // namespace

bool RunOptionsForm(OptionBlock* block, const FormStreams& streams) {
  HeadlessControls controls;
  bool cancel_chosen = false;
  bool input_ended = false;
  int result = 0;
  ClearFailure();
  if (streams.full_screen) {
    RawTerminal terminal(fileno(streams.in), fileno(streams.out));
    FullScreenForm form(terminal, streams.out);
    result = RunDialog(form, controls, block, &cancel_chosen);
    form.Finish(controls);
    input_ended = form.input_ended();
  } else {
    NumberedForm form(streams.in, streams.out, !IsTerminal(streams.in));
    result = RunDialog(form, controls, block, &cancel_chosen);
    input_ended = form.input_ended();
  }
  if (result == 1) return true;
  if (!cancel_chosen) {
    const std::string reason = LastFailure();
    throw Failure("the Driver Options form failed: " + (reason.empty() ? "no reason given" : reason));
  }
  if (input_ended) std::fputs("The input ended before OK.\n", streams.out);
  return false;
}

Command AddOptionsEditCommand(CLI::App& options) {
  auto edit_options = std::make_shared<EditOptions>();
  CLI::App* edit = options.add_subcommand(
      "edit", "Edit the ribbon type and print order of a 256-byte driver-option block file in the "
              "Driver Options form");
  edit->add_option("FILE", edit_options->file,
                   "Driver-option block file; a missing one starts from the defaults (20, 1, 0) and is "
                   "created on OK")
      ->required();
  edit->add_flag("--numbered", edit_options->numbered,
                 "Read numbered choices line by line even on a terminal");
  edit->footer(
      "On a terminal: Up/Down move between the controls, Left/Right or Space/Enter select,\n"
      "o is OK, r Restore Defaults, Esc or c Cancel. Otherwise (or with --numbered) each line\n"
      "of standard input is a choice, by number or by name:\n"
      "  " + NumberedMenu() + "\n"
      "\"YMCK\" and \"CMYK\" are disabled, and ignored, while \"4 Color\" is checked.\n"
      "OK writes the ribbon type and print order into FILE (a block that was not set up gets\n"
      "its tag as well); Cancel and the end of input write nothing; Restore Defaults changes\n"
      "the form, not FILE, until OK.\n"
      "Exit status: 0 after OK (FILE written) or Cancel (FILE unchanged), 1 when FILE cannot\n"
      "be read or written, 2 for a usage error.");
  return {edit, [edit_options]() -> int { return RunEdit(*edit_options); }};
}

}  // namespace pc50::cli
