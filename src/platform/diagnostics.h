// Failure reasons. Every operation that can fail records why, per thread, so
// that our tools can tell the user more than the host-facing 0 result.
#pragma once

// Format checking for printf-style reasons. MinGW's plain "printf" means
// the old Microsoft runtime's formats; the module's C++ runtime formats like
// GNU's (%zu included), so say so there.
#if defined(__MINGW32__)
#define PC50_PRINTF_LIKE(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#elif defined(__GNUC__)
#define PC50_PRINTF_LIKE(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define PC50_PRINTF_LIKE(fmt, args)
#endif

namespace pc50 {

// Forgets the reason recorded on this thread.
void ClearFailure();

// Records a reason (printf-style), replacing an earlier one. Returns 0 so a
// failing operation can write `return Fail("...")`.
int Fail(const char* format, ...) PC50_PRINTF_LIKE(1, 2);

// Records a reason only when none is recorded yet: outer layers use it so the
// most specific reason, given deepest down, survives. Returns 0.
int FailIfUnexplained(const char* format, ...) PC50_PRINTF_LIKE(1, 2);

// The reason recorded on this thread, "" when none.
const char* LastFailure();

}  // namespace pc50
