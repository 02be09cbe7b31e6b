// pc50 options edit: the Driver Options form run as a subprocess, with
// numbered choices on standard input and with keys on a pseudo-terminal.
#include "options_edit.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "cli_test_support.h"

extern char** environ;

namespace pc50::cli {
namespace {

using testing::CliRun;
using testing::ReadFile;
using testing::RunCli;
using testing::TempDir;

// A 256-byte block: the first three bytes, then a pattern the form must keep.
std::string Block(char tag, char ribbon, char order) {
  std::string bytes = {tag, ribbon, order};
  for (int i = 3; i < 256; ++i) bytes += static_cast<char>(i * 7);
  return bytes;
}

void WriteBlock(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Runs pc50 args in dir with input as its standard input (not a terminal).
CliRun RunWithInput(const TempDir& dir, const std::vector<std::string>& args, const std::string& input) {
  const std::string in = dir / ".cli-in";
  WriteBlock(in, input);
  std::string command = "cd " + testing::Quote(dir.path()) + " && " + testing::Quote(PC50_CLI_PATH);
  for (const std::string& arg : args) command += " " + testing::Quote(arg);
  const std::string out = dir / ".cli-out";
  const std::string err = dir / ".cli-err";
  command += " >" + testing::Quote(out) + " 2>" + testing::Quote(err) + " <" + testing::Quote(in);
  const int status = std::system(command.c_str());
  CliRun run;
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = ReadFile(out);
  run.err = ReadFile(err);
  std::remove(in.c_str());
  std::remove(out.c_str());
  std::remove(err.c_str());
  return run;
}

CliRun Edit(const TempDir& dir, const std::string& input) {
  return RunWithInput(dir, {"options", "edit", "opt.bin"}, input);
}

int Count(const std::string& text, const std::string& part) {
  int count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

TEST(OptionsEdit, OkAfterFourColorWritesRibbonZeroAndKeepsTheRest) {
  TempDir dir;
  WriteBlock(dir / "opt.bin", Block(20, 1, 1));
  const CliRun run = Edit(dir, "1\n6\n");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  // The order still shows CMYK while disabled, and OK writes what it shows.
  EXPECT_EQ(ReadFile(dir / "opt.bin"), Block(20, 0, 1));
  EXPECT_NE(run.out.find("ribbon type: 0 (four-colour ribbon)"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("print order: 1 (CMYK"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("wrote opt.bin"), std::string::npos);
  EXPECT_EQ(dir.Listing().size(), 1u);  // no temporary file left behind
}

TEST(OptionsEdit, CancelAndEndOfInputWriteNothing) {
  TempDir dir;
  WriteBlock(dir / "opt.bin", Block(20, 0, 1));
  CliRun run = Edit(dir, "2\n4\n5\n7\n");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.out.find("Cancelled: opt.bin left unchanged"), std::string::npos) << run.out;
  EXPECT_EQ(ReadFile(dir / "opt.bin"), Block(20, 0, 1));

  run = Edit(dir, "single color\n");  // input ends without OK
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.out.find("The input ended before OK."), std::string::npos) << run.out;
  EXPECT_EQ(ReadFile(dir / "opt.bin"), Block(20, 0, 1));

  run = RunWithInput(dir, {"options", "edit", "new.bin"}, "Cancel\n");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.out.find("new.bin not created"), std::string::npos) << run.out;
  EXPECT_FALSE(testing::Exists(dir / "new.bin"));
}

TEST(OptionsEdit, RestoreDefaultsChangesTheFileOnlyOnOk) {
  TempDir dir;
  WriteBlock(dir / "opt.bin", Block(20, 0, 1));
  EXPECT_EQ(Edit(dir, "5\n7\n").exit_code, 0);
  EXPECT_EQ(ReadFile(dir / "opt.bin"), Block(20, 0, 1));

  const CliRun run = Edit(dir, "5\n6\n");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(ReadFile(dir / "opt.bin"), Block(20, 1, 0));
  EXPECT_NE(run.out.find("  Print Order    (*) YMCK          ( ) CMYK\n"), std::string::npos) << run.out;

  // A missing file starts from the defaults and is created on OK.
  EXPECT_EQ(RunWithInput(dir, {"options", "edit", "new.bin"}, "4\n6\n").exit_code, 0);
  std::string expected = {20, 1, 1};
  expected.resize(256, '\0');
  EXPECT_EQ(ReadFile(dir / "new.bin"), expected);
}

TEST(OptionsEdit, UninitialisedBlockOpensAtDefaultsAndIsWrittenOnlyOnOk) {
  TempDir dir;
  WriteBlock(dir / "opt.bin", Block(7, 0, 1));
  CliRun run = Edit(dir, "7\n");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.out.find("its tag is 7"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("( ) 4 Color       (*) Single Color"), std::string::npos) << run.out;
  EXPECT_EQ(ReadFile(dir / "opt.bin"), Block(7, 0, 1));  // Cancel leaves the file as it was

  run = Edit(dir, "OK\n");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(ReadFile(dir / "opt.bin"), Block(20, 1, 0));
}

TEST(OptionsEdit, PrintOrderChoicesAreIgnoredWhileFourColorIsChecked) {
  TempDir dir;
  WriteBlock(dir / "opt.bin", Block(20, 0, 0));
  CliRun run = Edit(dir, "4\ncmyk\n6\n");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(Count(run.out, "\"CMYK\" is disabled while \"4 Color\" is checked: choice ignored"), 2) << run.out;
  EXPECT_EQ(ReadFile(dir / "opt.bin"), Block(20, 0, 0));

  // Enabled by "Single Color", chosen, then kept while "4 Color" disables it.
  run = Edit(dir, "2\n4\n1\n3\n6\n");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(Count(run.out, "choice ignored"), 1) << run.out;
  EXPECT_EQ(ReadFile(dir / "opt.bin"), Block(20, 0, 1));

  run = Edit(dir, "banana\n\n 2 \n6\n");  // junk is asked again; blanks around a number are fine
  EXPECT_NE(run.out.find("\"banana\" is not a choice"), std::string::npos) << run.out;
  EXPECT_EQ(ReadFile(dir / "opt.bin"), Block(20, 1, 1));
}

TEST(OptionsEdit, BadFilesAreRefusedWithOneLineAndUsageErrorsExitTwo) {
  TempDir dir;
  WriteBlock(dir / "short.bin", std::string(100, '\x14'));
  CliRun run = RunWithInput(dir, {"options", "edit", "short.bin"}, "6\n");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err, "pc50 options: short.bin: 100 bytes; a driver-option block file holds exactly 256\n");
  EXPECT_EQ(ReadFile(dir / "short.bin"), std::string(100, '\x14'));

  WriteBlock(dir / "long.bin", Block(20, 1, 0) + "x");
  EXPECT_EQ(RunWithInput(dir, {"options", "edit", "long.bin"}, "6\n").exit_code, 1);
  EXPECT_EQ(ReadFile(dir / "long.bin").size(), 257u);

  std::filesystem::create_directory(dir / "sub");
  run = RunWithInput(dir, {"options", "edit", "sub"}, "6\n");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err, "pc50 options: sub is a directory, not a driver-option block file\n");
  run = RunWithInput(dir, {"options", "edit", "nowhere/opt.bin"}, "6\n");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(testing::Lines(run.err), 1);

  EXPECT_EQ(RunCli(dir, {"options", "edit"}).exit_code, 2);
  run = RunCli(dir, {"options", "edit", "--help"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_NE(run.out.find("Exit status: 0 after OK"), std::string::npos) << run.out;
}

// pc50 run on a pseudo-terminal: keys are sent once the form is drawn, the
// screen is read until the process ends.
struct TerminalRun {
  int exit_code = -1;
  std::string screen;
  bool canonical_after = false;  // line editing was back on when it ended
};

TerminalRun RunOnTerminal(const std::vector<std::string>& args, const std::string& keys) {
  std::vector<std::string> env_text = {"TERM=xterm"};
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::string(*e).rfind("TERM=", 0) != 0) env_text.push_back(*e);
  }
  std::vector<char*> env;
  for (std::string& text : env_text) env.push_back(text.data());
  env.push_back(nullptr);
  std::vector<std::string> argv_text = {PC50_CLI_PATH};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& text : argv_text) argv.push_back(text.data());
  argv.push_back(nullptr);

  TerminalRun run;
  int master = -1;
  const pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
  if (child < 0) {
    ADD_FAILURE() << "forkpty failed";
    return run;
  }
  if (child == 0) {
    ::execve(argv[0], argv.data(), env.data());
    ::_exit(127);
  }
  bool sent = false;
  for (;;) {
    struct pollfd ready = {master, POLLIN, 0};
    // A bound on a hung form only; no test depends on how long anything takes.
    if (::poll(&ready, 1, 30000) <= 0) {
      ADD_FAILURE() << "the form did not end; screen so far:\n" << run.screen;
      ::kill(child, SIGKILL);
      break;
    }
    char buffer[4096];
    const ssize_t got = ::read(master, buffer, sizeof buffer);
    if (got <= 0) break;  // EIO once the child has gone
    run.screen.append(buffer, static_cast<std::size_t>(got));
    if (!sent && run.screen.find("Esc: Cancel") != std::string::npos) {
      EXPECT_EQ(::write(master, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
      sent = true;
    }
  }
  struct termios mode;
  run.canonical_after = ::tcgetattr(master, &mode) == 0 && (mode.c_lflag & ICANON) != 0;
  int status = 0;
  ::waitpid(child, &status, 0);
  ::close(master);
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

constexpr char kUp[] = "\x1b[A";
constexpr char kDown[] = "\x1b[B";
constexpr char kRight[] = "\x1b[C";
constexpr char kLeft[] = "\x1b[D";

TEST(OptionsEdit, ArrowKeysOnTerminalMoveSelectAndSkipDisabledControls) {
  TempDir dir;
  // Focus starts on "Single Color". Left selects "4 Color", which disables
  // the print order; Down and Up move without selecting; the last Down
  // skips the disabled radios to OK, which Enter clicks.
  const std::string keys = std::string(kLeft) + kDown + kUp + kDown + kDown + "\r";
  TerminalRun run = RunOnTerminal({"options", "edit", dir / "opt.bin"}, keys);
  EXPECT_EQ(run.exit_code, 0) << run.screen;
  EXPECT_TRUE(run.canonical_after);
  EXPECT_NE(run.screen.find("(disabled while \"4 Color\" is checked)"), std::string::npos) << run.screen;
  std::string expected = {20, 0, 0};
  expected.resize(256, '\0');
  EXPECT_EQ(ReadFile(dir / "opt.bin"), expected);

  // Down to the print order, Right selects CMYK, a lone Escape cancels.
  run = RunOnTerminal({"options", "edit", dir / "new.bin"}, std::string(kDown) + kRight + "\x1b");
  EXPECT_EQ(run.exit_code, 0) << run.screen;
  EXPECT_TRUE(run.canonical_after);
  EXPECT_NE(run.screen.find(">\x1b[7m(*) CMYK"), std::string::npos) << run.screen;
  EXPECT_NE(run.screen.find("Cancelled: "), std::string::npos) << run.screen;
  EXPECT_FALSE(testing::Exists(dir / "new.bin"));

  // From "4 Color": Down, Down to OK; Right, Right along the buttons without
  // clicking them; Space clicks Restore Defaults; o is OK.
  run = RunOnTerminal({"options", "edit", dir / "opt.bin"},
                      std::string(kDown) + kDown + kRight + kRight + " o");
  EXPECT_EQ(run.exit_code, 0) << run.screen;
  expected[1] = 1;  // Restore Defaults put "Single Color" and "YMCK" back
  EXPECT_EQ(ReadFile(dir / "opt.bin"), expected);
}

}  // namespace
}  // namespace pc50::cli
