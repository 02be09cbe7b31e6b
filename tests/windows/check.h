// A small check harness for the test programs of the Windows module, which
// run under Wine without GoogleTest: CHECK and CHECK_EQ count and report,
// a failed check does not stop the program, and Summary() prints the closing
// "N passed, N failed" line and gives the exit code.
#pragma once

#include <atomic>
#include <cstdio>
#include <mutex>
#include <sstream>
#include <string>

namespace pc50::wintest {

inline std::atomic<int> passedChecks{0};
inline std::atomic<int> failedChecks{0};
inline std::mutex printLock;
// The group of checks running on this thread, named in failure reports.
inline thread_local std::string currentGroup;

// Starts a named group of checks on the calling thread.
inline void Group(const std::string& name) {
  currentGroup = name;
  std::lock_guard<std::mutex> lock(printLock);
  std::printf("-- %s\n", name.c_str());
  std::fflush(stdout);
}

inline bool Record(bool ok, const std::string& what, const char* file, int line) {
  if (ok) {
    ++passedChecks;
    return true;
  }
  ++failedChecks;
  std::lock_guard<std::mutex> lock(printLock);
  std::printf("FAILED [%s] %s:%d: %s\n", currentGroup.c_str(), file, line, what.c_str());
  std::fflush(stdout);
  return false;
}

template <typename T>
std::string Show(const T& value) {
  std::ostringstream out;
  out << value;
  return out.str();
}
inline std::string Show(const std::string& value) { return "\"" + value + "\""; }
inline std::string Show(const char* value) { return value ? "\"" + std::string(value) + "\"" : "null"; }
inline std::string Show(signed char value) { return std::to_string(value); }
inline std::string Show(unsigned char value) { return std::to_string(value); }
inline std::string Show(char value) { return std::to_string(static_cast<int>(value)); }

template <typename A, typename B>
bool RecordEqual(const A& actual, const B& expected, const char* actualText, const char* expectedText,
                 const char* file, int line) {
  if (actual == expected) return Record(true, "", file, line);
  return Record(false,
                std::string(actualText) + " == " + expectedText + " (got " + Show(actual) + ", want " +
                    Show(expected) + ")",
                file, line);
}

// A line of its own, to say what happened around a failure.
inline void Note(const std::string& text) {
  std::lock_guard<std::mutex> lock(printLock);
  std::printf("   %s\n", text.c_str());
  std::fflush(stdout);
}

// Prints "N passed, N failed" and returns the program's exit code: 0 only
// when some check ran and none failed.
inline int Summary() {
  const int passed = passedChecks.load();
  const int failed = failedChecks.load();
  std::printf("%d passed, %d failed\n", passed, failed);
  std::fflush(stdout);
  return failed == 0 && passed > 0 ? 0 : 1;
}

}  // namespace pc50::wintest

#define CHECK(condition) ::pc50::wintest::Record(static_cast<bool>(condition), #condition, __FILE__, __LINE__)
#define CHECK_EQ(actual, expected) \
  ::pc50::wintest::RecordEqual((actual), (expected), #actual, #expected, __FILE__, __LINE__)
