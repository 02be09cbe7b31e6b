// The two ways a pc50 command fails: the job (or an input file) was wrong,
// or the command line was. main() turns them into exit codes 1 and 2.
#pragma once

#include <stdexcept>
#include <string>

namespace pc50::cli {

// The job failed; the message names the file, offset or option and what was
// wrong. Exit code 1.
class Failure : public std::runtime_error {
 public:
  explicit Failure(const std::string& reason) : std::runtime_error(reason) {}
};

// The command line asks for something impossible. Exit code 2.
class UsageError : public std::runtime_error {
 public:
  explicit UsageError(const std::string& reason) : std::runtime_error(reason) {}
};

// text on one line: line breaks and tabs become spaces.
inline std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  }
  return text;
}

}  // namespace pc50::cli
