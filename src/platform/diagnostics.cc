#include "platform/diagnostics.h"

#include <cstdarg>
#include <cstdio>

namespace pc50 {
namespace {

thread_local char reason[512];

void Record(const char* format, va_list args) {
  std::vsnprintf(reason, sizeof reason, format, args);
}

}  // namespace

void ClearFailure() { reason[0] = '\0'; }

int Fail(const char* format, ...) {
  va_list args;
  va_start(args, format);
  Record(format, args);
  va_end(args);
  return 0;
}

int FailIfUnexplained(const char* format, ...) {
  if (reason[0] != '\0') return 0;
  va_list args;
  va_start(args, format);
  Record(format, args);
  va_end(args);
  return 0;
}

const char* LastFailure() { return reason; }

}  // namespace pc50
