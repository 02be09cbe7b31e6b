// What the Microsoft-ABI host has instead of a C and C++ runtime: an entry
// point that hands the command line to host::Main, operator new and delete
// over the process heap (counted), a growable text, whole-file reads, console
// output and a check harness that ends with "N passed, N failed".
#pragma once

#include <stddef.h>
#include <stdint.h>

extern "C" {
void* memset(void* out, int value, size_t count);
void* memcpy(void* out, const void* in, size_t count);
int memcmp(const void* a, const void* b, size_t count);
}

namespace host {

// The program's own main, called by the entry point; its result is the exit
// code.
int Main(int argc, char** argv);

// Blocks the host's operator new handed out and its operator delete took
// back, since the start.
struct HeapCounts {
  long allocations;
  long frees;
};
HeapCounts Counts();

size_t Length(const char* text);
bool Same(const char* a, const char* b);
// Copies text into out (room bytes, always terminated); false when cut.
bool Copy(char* out, size_t room, const char* text);

// A growable byte string, always terminated.
class Text {
 public:
  Text();
  Text(const char* text);  // NOLINT: converts like a string
  Text(const Text& other);
  Text& operator=(const Text& other);
  ~Text();

  void Append(const char* data, size_t count);
  Text& operator<<(const char* text);
  Text& operator<<(const Text& text);
  Text& operator<<(long value);
  Text& operator<<(int value) { return *this << static_cast<long>(value); }
  Text& operator<<(unsigned value) { return *this << static_cast<long>(value); }
  Text& operator<<(const void* address);  // hexadecimal

  const char* c_str() const { return data_; }
  size_t size() const { return size_; }
  bool operator==(const Text& other) const;

 private:
  void Reserve(size_t capacity);
  char* data_;
  size_t size_;
  size_t capacity_;
};

void Print(const Text& text);

// A Linux path as a Windows program sees it under Wine: through drive Z:.
Text WindowsPath(const char* path);
// The whole file; false when it cannot be read.
bool ReadWholeFile(const Text& path, Text* bytes);

// ---- Checks ------------------------------------------------------------------
void Group(const Text& name);
bool Record(bool ok, const Text& what, int line);
bool CheckEqual(long actual, long expected, const char* what, int line);
bool CheckText(const char* actual, const char* expected, const char* what, int line);
void Note(const Text& text);
// Prints "N passed, N failed"; 0 only when some check ran and none failed.
int Summary();

}  // namespace host

#define CHECK(condition) ::host::Record(static_cast<bool>(condition), #condition, __LINE__)
#define CHECK_EQ(actual, expected) \
  ::host::CheckEqual(static_cast<long>(actual), static_cast<long>(expected), #actual " == " #expected, __LINE__)
#define CHECK_TEXT(actual, expected) ::host::CheckText((actual), (expected), #actual, __LINE__)
