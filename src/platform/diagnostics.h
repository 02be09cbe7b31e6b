// Failure reasons. Every operation that can fail records why, per thread, so
// that our tools can tell the user more than the host-facing 0 result.
#pragma once

namespace pc50 {

// Forgets the reason recorded on this thread.
void ClearFailure();

// Records a reason (printf-style), replacing an earlier one. Returns 0 so a
// failing operation can write `return Fail("...")`.
int Fail(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Records a reason only when none is recorded yet: outer layers use it so the
// most specific reason, given deepest down, survives. Returns 0.
int FailIfUnexplained(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// The reason recorded on this thread, "" when none.
const char* LastFailure();

}  // namespace pc50
