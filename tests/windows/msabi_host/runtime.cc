// The Microsoft-ABI host's runtime: see runtime.h.
#include "runtime.h"

#include "win32.h"

// ---- What the compiler expects of a runtime ---------------------------------------

extern "C" {
// Marks a program that uses floating point.
int _fltused = 0;

void* memset(void* out, int value, size_t count) {
  unsigned char* bytes = static_cast<unsigned char*>(out);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<unsigned char>(value);
  return out;
}

void* memcpy(void* out, const void* in, size_t count) {
  unsigned char* to = static_cast<unsigned char*>(out);
  const unsigned char* from = static_cast<const unsigned char*>(in);
  for (size_t i = 0; i < count; ++i) to[i] = from[i];
  return out;
}

void* memmove(void* out, const void* in, size_t count) {
  unsigned char* to = static_cast<unsigned char*>(out);
  const unsigned char* from = static_cast<const unsigned char*>(in);
  if (to < from) {
    for (size_t i = 0; i < count; ++i) to[i] = from[i];
  } else {
    for (size_t i = count; i > 0; --i) to[i - 1] = from[i - 1];
  }
  return out;
}

int memcmp(const void* a, const void* b, size_t count) {
  const unsigned char* x = static_cast<const unsigned char*>(a);
  const unsigned char* y = static_cast<const unsigned char*>(b);
  for (size_t i = 0; i < count; ++i) {
    if (x[i] != y[i]) return x[i] < y[i] ? -1 : 1;
  }
  return 0;
}

// A pure virtual function was called: the table is not what the host thinks.
int _purecall(void) {
  host::Print("FATAL: pure virtual function called\n");
  ExitProcess(4);
  return 0;
}
}  // extern "C"

namespace {

long allocations = 0;
long frees = 0;

void* Allocate(size_t bytes) {
  void* block = HeapAlloc(GetProcessHeap(), 0, bytes != 0 ? bytes : 1);
  if (block == nullptr) {
    host::Print("FATAL: out of memory\n");
    ExitProcess(3);
  }
  ++allocations;
  return block;
}

void Release(void* block) {
  if (block == nullptr) return;
  ++frees;
  HeapFree(GetProcessHeap(), 0, block);
}

}  // namespace

void* operator new(size_t bytes) { return Allocate(bytes); }
void* operator new[](size_t bytes) { return Allocate(bytes); }
void operator delete(void* block) noexcept { Release(block); }
void operator delete[](void* block) noexcept { Release(block); }
void operator delete(void* block, size_t) noexcept { Release(block); }
void operator delete[](void* block, size_t) noexcept { Release(block); }

// ---- Entry point ---------------------------------------------------------------------

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Splits the command line: blanks separate arguments, double quotes group.
int SplitCommandLine(char* line, char** argv, int room) {
  int argc = 0;
  char* in = line;
  while (*in != '\0' && argc < room) {
    while (IsBlank(*in)) ++in;
    if (*in == '\0') break;
    char* out = in;
    argv[argc++] = out;
    bool quoted = false;
    while (*in != '\0' && (quoted || !IsBlank(*in))) {
      if (*in == '"') {
        quoted = !quoted;
      } else {
        *out++ = *in;
      }
      ++in;
    }
    if (*in != '\0') ++in;
    *out = '\0';
  }
  return argc;
}

}  // namespace

extern "C" void HostStart(void) {
  const char* line = GetCommandLineA();
  char* copy = new char[host::Length(line) + 1];
  host::Copy(copy, host::Length(line) + 1, line);
  constexpr int kMaxArguments = 16;
  char** argv = new char*[kMaxArguments + 1];
  const int argc = SplitCommandLine(copy, argv, kMaxArguments);
  argv[argc] = nullptr;
  ExitProcess(static_cast<unsigned>(host::Main(argc, argv)));
}

namespace host {

HeapCounts Counts() { return HeapCounts{allocations, frees}; }

size_t Length(const char* text) {
  size_t n = 0;
  while (text[n] != '\0') ++n;
  return n;
}

bool Same(const char* a, const char* b) {
  if (a == nullptr || b == nullptr) return a == b;
  while (*a != '\0' && *a == *b) ++a, ++b;
  return *a == *b;
}

bool Copy(char* out, size_t room, const char* text) {
  size_t n = 0;
  for (; text[n] != '\0' && n + 1 < room; ++n) out[n] = text[n];
  out[n] = '\0';
  return text[n] == '\0';
}

// ---- Text ------------------------------------------------------------------------------

Text::Text() : data_(new char[16]), size_(0), capacity_(16) { data_[0] = '\0'; }

Text::Text(const char* text) : Text() { *this << text; }

Text::Text(const Text& other) : Text() { Append(other.data_, other.size_); }

Text& Text::operator=(const Text& other) {
  if (this != &other) {
    size_ = 0;
    data_[0] = '\0';
    Append(other.data_, other.size_);
  }
  return *this;
}

Text::~Text() { delete[] data_; }

void Text::Reserve(size_t capacity) {
  if (capacity <= capacity_) return;
  size_t grown = capacity_ * 2;
  if (grown < capacity) grown = capacity;
  char* data = new char[grown];
  memcpy(data, data_, size_ + 1);
  delete[] data_;
  data_ = data;
  capacity_ = grown;
}

void Text::Append(const char* data, size_t count) {
  Reserve(size_ + count + 1);
  memcpy(data_ + size_, data, count);
  size_ += count;
  data_[size_] = '\0';
}

Text& Text::operator<<(const char* text) {
  if (text == nullptr) text = "(null)";
  Append(text, Length(text));
  return *this;
}

Text& Text::operator<<(const Text& text) {
  Append(text.data_, text.size_);
  return *this;
}

Text& Text::operator<<(long value) {
  char digits[24];
  int n = 0;
  unsigned long magnitude = value < 0 ? 0ul - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) digits[n++] = '-';
  while (n > 0) Append(&digits[--n], 1);
  return *this;
}

Text& Text::operator<<(const void* address) {
  const uintptr_t value = reinterpret_cast<uintptr_t>(address);
  char digits[2 + 2 * sizeof value];
  digits[0] = '0';
  digits[1] = 'x';
  for (size_t i = 0; i < 2 * sizeof value; ++i) {
    digits[2 + i] = "0123456789abcdef"[(value >> (4 * (2 * sizeof value - 1 - i))) & 15];
  }
  Append(digits, sizeof digits);
  return *this;
}

bool Text::operator==(const Text& other) const {
  return size_ == other.size_ && memcmp(data_, other.data_, size_) == 0;
}

void Print(const Text& text) {
  DWORD written = 0;
  WriteFile(GetStdHandle(kStdOutputHandle), text.c_str(), static_cast<DWORD>(text.size()), &written, nullptr);
}

Text WindowsPath(const char* path) {
  if (path[0] != '/') return Text(path);
  Text out("Z:");
  for (const char* c = path; *c != '\0'; ++c) out.Append(*c == '/' ? "\\" : c, 1);
  return out;
}

bool ReadWholeFile(const Text& path, Text* bytes) {
  HANDLE file = CreateFileA(path.c_str(), kGenericRead, kFileShareRead, nullptr, kOpenExisting, kFileAttributeNormal,
                            nullptr);
  if (file == INVALID_HANDLE) return false;
  *bytes = Text();
  bool ok = true;
  char* buffer = new char[65536];
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file, buffer, 65536, &read, nullptr)) {
      ok = false;
      break;
    }
    if (read == 0) break;
    bytes->Append(buffer, read);
  }
  delete[] buffer;
  CloseHandle(file);
  return ok;
}

// ---- Checks ------------------------------------------------------------------------------

namespace {
long passed = 0;
long failed = 0;
Text* currentGroup = nullptr;
}  // namespace

void Group(const Text& name) {
  if (currentGroup == nullptr) currentGroup = new Text;
  *currentGroup = name;
  Print(Text("-- ") << name << "\n");
}

bool Record(bool ok, const Text& what, int line) {
  if (ok) {
    ++passed;
    return true;
  }
  ++failed;
  Print(Text("FAILED [") << (currentGroup ? currentGroup->c_str() : "") << "] msabi_host.cc:" << line << ": "
                         << what << "\n");
  return false;
}

bool CheckEqual(long actual, long expected, const char* what, int line) {
  if (actual == expected) return Record(true, Text(), line);
  return Record(false, Text(what) << " (got " << actual << ", want " << expected << ")", line);
}

bool CheckText(const char* actual, const char* expected, const char* what, int line) {
  if (Same(actual, expected)) return Record(true, Text(), line);
  return Record(false, Text(what) << " == \"" << expected << "\" (got \"" << actual << "\")", line);
}

void Note(const Text& text) { Print(Text("   ") << text << "\n"); }

int Summary() {
  Print(Text() << passed << " passed, " << failed << " failed\n");
  return failed == 0 && passed > 0 ? 0 : 1;
}

}  // namespace host
