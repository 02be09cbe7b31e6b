#include "raw_terminal.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "errors.h"

namespace pc50::cli {
namespace {

constexpr char kEsc = '\x1b';
constexpr char kHideCursor[] = "\x1b[?25l";
constexpr char kShowCursor[] = "\x1b[?25h";
// Longest escape sequence read before giving up on it.
constexpr std::size_t kMaxSequence = 16;
// How long the bytes of one sequence may straggle behind its ESC.
constexpr int kSequenceWaitMs = 50;

constexpr int kRestoredSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// What a signal handler needs to put the terminal back; one raw terminal at
// a time.
volatile sig_atomic_t savedActive = 0;
int savedFd = -1;
int savedOutFd = -1;
struct termios savedMode;

void WriteAll(int fd, const char* text, std::size_t size) {
  while (size > 0) {
    const ssize_t put = ::write(fd, text, size);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return;
    text += put;
    size -= static_cast<std::size_t>(put);
  }
}

void RestoreTerminal() {
  if (!savedActive) return;
  ::tcsetattr(savedFd, TCSAFLUSH, &savedMode);
  WriteAll(savedOutFd, kShowCursor, sizeof kShowCursor - 1);
  savedActive = 0;
}

extern "C" void RestoreAndRaise(int signal) {
  RestoreTerminal();
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

}  // namespace

Key DecodeKey(const std::string& bytes) {
  if (bytes.empty()) return {KeyCode::kEnd, 0};
  const char first = bytes[0];
  if (first == kEsc) {
    if (bytes.size() == 1) return {KeyCode::kEscape, 0};
    if (bytes.size() < 3 || (bytes[1] != '[' && bytes[1] != 'O')) return {KeyCode::kOther, 0};
    switch (bytes.back()) {
      case 'A': return {KeyCode::kUp, 0};
      case 'B': return {KeyCode::kDown, 0};
      case 'C': return {KeyCode::kRight, 0};
      case 'D': return {KeyCode::kLeft, 0};
      case 'Z': return {KeyCode::kBackTab, 0};
      default: return {KeyCode::kOther, 0};
    }
  }
  if (bytes.size() != 1) return {KeyCode::kOther, 0};
  switch (first) {
    case '\r':
    case '\n': return {KeyCode::kEnter, 0};
    case '\t': return {KeyCode::kTab, 0};
    case ' ': return {KeyCode::kSpace, 0};
    case '\x03': return {KeyCode::kInterrupt, 0};
    case '\x04': return {KeyCode::kEnd, 0};  // Ctrl-D
    default: break;
  }
  if (first > ' ' && first < '\x7f') return {KeyCode::kChar, first};
  return {KeyCode::kOther, 0};
}

RawTerminal::RawTerminal(int fd, int out_fd) : fd_(fd), out_fd_(out_fd) {
  struct termios mode;
  if (::tcgetattr(fd_, &mode) != 0) {
    throw Failure(std::string("cannot use the terminal for the form: ") + std::strerror(errno));
  }
  savedFd = fd_;
  savedOutFd = out_fd_;
  savedMode = mode;
  savedActive = 1;
  for (int signal : kRestoredSignals) std::signal(signal, RestoreAndRaise);

  mode.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
  mode.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL | INLCR | IGNCR);
  mode.c_cc[VMIN] = 1;
  mode.c_cc[VTIME] = 0;
  if (::tcsetattr(fd_, TCSAFLUSH, &mode) != 0) {
    const int error = errno;
    RestoreTerminal();
    throw Failure(std::string("cannot use the terminal for the form: ") + std::strerror(error));
  }
  WriteAll(out_fd_, kHideCursor, sizeof kHideCursor - 1);
}

RawTerminal::~RawTerminal() {
  RestoreTerminal();
  for (int signal : kRestoredSignals) std::signal(signal, SIG_DFL);
}

int RawTerminal::ReadByte() {
  for (;;) {
    unsigned char byte = 0;
    const ssize_t got = ::read(fd_, &byte, 1);
    if (got == 1) return byte;
    if (got < 0 && errno == EINTR) continue;
    return -1;
  }
}

bool RawTerminal::ByteFollows(int wait_ms) {
  struct pollfd ready = {fd_, POLLIN, 0};
  for (;;) {
    const int result = ::poll(&ready, 1, wait_ms);
    if (result < 0 && errno == EINTR) continue;
    return result > 0;
  }
}

Key RawTerminal::ReadKey() {
  const int first = ReadByte();
  if (first < 0) return {KeyCode::kEnd, 0};
  std::string bytes(1, static_cast<char>(first));
  if (first != kEsc || !ByteFollows(kSequenceWaitMs)) return DecodeKey(bytes);

  // ESC [ or ESC O, parameters, then a final byte from '@' to '~'.
  const int second = ReadByte();
  if (second < 0) return {KeyCode::kEnd, 0};
  bytes += static_cast<char>(second);
  if (second != '[' && second != 'O') return DecodeKey(bytes);
  while (bytes.size() < kMaxSequence) {
    const int next = ReadByte();
    if (next < 0) return {KeyCode::kEnd, 0};
    bytes += static_cast<char>(next);
    if (next >= '@' && next <= '~') break;
  }
  return DecodeKey(bytes);
}

}  // namespace pc50::cli
