// The terminal as a keyboard: raw input (no line editing, no echo, Ctrl-C
// arriving as a key) and keys decoded from the bytes a terminal sends.
// While a RawTerminal lives the cursor is hidden; both are put back when it
// ends, on an exception and on a terminating signal. POSIX terminals only.
#pragma once

#include <cstddef>
#include <string>

namespace pc50::cli {

enum class KeyCode {
  kUp,
  kDown,
  kLeft,
  kRight,
  kTab,
  kBackTab,
  kEnter,
  kSpace,
  kEscape,
  kInterrupt,  // Ctrl-C
  kChar,       // a printable character, in Key::ch
  kOther,      // a key or sequence the form has no use for
  kEnd,        // the input ended or failed
};

struct Key {
  KeyCode code = KeyCode::kOther;
  char ch = 0;
};

// The key that bytes make: one whole key as a terminal sends it (a single
// byte, or ESC with its sequence). Empty bytes are kEnd.
Key DecodeKey(const std::string& bytes);

class RawTerminal {
 public:
  // Switches the terminal of fd to raw input and hides the cursor (written
  // to out_fd). Throws Failure when fd is not a terminal.
  RawTerminal(int fd, int out_fd);
  ~RawTerminal();
  RawTerminal(const RawTerminal&) = delete;
  RawTerminal& operator=(const RawTerminal&) = delete;

  // Blocks for the next key. A lone ESC is told from the start of a sequence
  // by the bytes that follow it within a moment.
  Key ReadKey();

 private:
  // One byte, or -1 when the input ended or failed.
  int ReadByte();
  // True when a byte arrives within wait_ms.
  bool ByteFollows(int wait_ms);

  int fd_;
  int out_fd_;
};

}  // namespace pc50::cli
