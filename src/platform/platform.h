// The seam between the module and the operating system.
//
// The module was designed against a subset of Win32 and the C runtime. This
// header declares that subset with the same names and meanings, in namespace
// pc50::platform. platform_posix.cc implements it on POSIX; a Windows build
// maps each call onto the real API. Nothing outside src/platform/ includes a
// system header of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace pc50::platform {

using DWORD = std::uint32_t;
using LONG = std::int32_t;
using BOOL = int;
using HANDLE = void*;

inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));
constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFFu;
constexpr DWORD TLS_OUT_OF_INDEXES = 0xFFFFFFFFu;

// Desired access.
constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
// Share mode.
constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
// Creation disposition.
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
// Move method of SetFilePointer.
constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_END = 2;

// Error codes reported through GetLastError.
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_FILE_EXISTS = 80;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_NEGATIVE_SEEK = 131;
constexpr DWORD ERROR_BAD_FILE_TYPE = 222;  // a pipe, device or other non-regular file
constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
constexpr DWORD ERROR_GEN_FAILURE = 31;

// Message box buttons, flags and answers.
constexpr unsigned MB_OK = 0x0;
constexpr unsigned MB_OKCANCEL = 0x1;
constexpr unsigned MB_SETFOREGROUND = 0x10000;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

// ---- Files -----------------------------------------------------------------
// Tests and fuzz targets may put these files into memory instead
// (platform/memory_files.h).

// Opens or creates a file. Returns INVALID_HANDLE_VALUE on failure and sets
// the last error. Security attributes and template are not supported and must
// be null. OPEN_EXISTING never creates; OPEN_ALWAYS creates a missing file.
// Never waits: a pipe without its other end fails at once. Opened for
// reading only, only a regular file opens: a pipe, a device or another kind
// of file is refused with ERROR_BAD_FILE_TYPE. A directory is refused with
// ERROR_ACCESS_DENIED.
HANDLE CreateFileA(const char* path, DWORD desiredAccess, DWORD shareMode, void* security,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile);

// Reads up to count bytes at the current position. Returns nonzero on success
// (also at end of file, with *read = 0).
BOOL ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read, void* overlapped);

// Writes count bytes at the current position; *written may be short when the
// disk is full, in which case the result is 0 and the last error is set.
BOOL WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* written, void* overlapped);

// Tests simulate a full disk: once bytes more bytes in total have gone
// through WriteFile (on any thread), it writes short and fails with
// ERROR_DISK_FULL. -1 lifts the limit.
void SetWriteLimitForTesting(std::int64_t bytes);

// Moves the file pointer by the signed 64-bit distance *high:low from method.
// Returns the low 32 bits of the new position and stores the high 32 bits
// through high (when given); INVALID_SET_FILE_POINTER with a nonzero last
// error on failure (a negative result position is an error).
DWORD SetFilePointer(HANDLE file, LONG distanceLow, LONG* distanceHigh, DWORD moveMethod);

// Makes the current position the end of the file (shortens or lengthens it).
BOOL SetEndOfFile(HANDLE file);

BOOL CloseHandle(HANDLE handle);
BOOL DeleteFileA(const char* path);

DWORD GetLastError();
void SetLastError(DWORD error);

// _access from the C runtime: 0 when the file exists (mode 0), -1 otherwise.
int _access(const char* path, int mode);

// Creates a new, empty file with a unique name in the system's temporary
// directory (TMPDIR, else /tmp; on Windows the GetTempPath directory): prefix,
// some unique characters, then suffix. The file is created exclusively, never
// opening one that exists, and returned open for binary reading and writing.
// Its path goes to pathOut (capacity bytes). Null on failure, with the last
// error set and nothing left on disk; a path that does not fit capacity is
// ERROR_FILENAME_EXCED_RANGE.
std::FILE* CreateTempFile(const char* prefix, const char* suffix, char* pathOut, std::size_t capacity);

// ---- Time ------------------------------------------------------------------

// Milliseconds since an arbitrary start, wrapping at 2^32.
DWORD GetTickCount();

// Tests replace the tick source; null restores the system clock.
using TickSource = DWORD (*)();
void SetTickSourceForTesting(TickSource source);

// ---- Thread-local storage --------------------------------------------------

DWORD TlsAlloc();
BOOL TlsFree(DWORD index);
void* TlsGetValue(DWORD index);
BOOL TlsSetValue(DWORD index, void* value);

// ---- Message boxes ---------------------------------------------------------

// Shows text with caption over owner and returns the button pressed (IDOK or
// IDCANCEL). On POSIX there is no window system: the installed prompt handler
// answers, and without one every message box answers IDOK at once.
int MessageBoxA(void* owner, const char* text, const char* caption, unsigned type);

using PromptHandler = int (*)(void* context, const char* text, const char* caption, unsigned type,
                              void* owner);
void SetPromptHandler(PromptHandler handler, void* context);

}  // namespace pc50::platform
