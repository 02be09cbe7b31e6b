#include "spool/win_file.h"

#include <climits>
#include <cstring>

#include "platform/diagnostics.h"

namespace pc50 {

using platform::BOOL;
using platform::DWORD;
using platform::HANDLE;
using platform::INVALID_HANDLE_VALUE;
using platform::LONG;

namespace {

constexpr std::size_t kNameSize = 256;

DWORD AccessForMode(int mode) {
  switch (mode) {
    case 0: return platform::GENERIC_READ;
    case 1: return platform::GENERIC_WRITE;
    case 2: return platform::GENERIC_READ | platform::GENERIC_WRITE;
    default: return 0;
  }
}

// A read-only open must not create the file it looks for.
DWORD DispositionForMode(int mode) { return mode == 0 ? platform::OPEN_EXISTING : platform::OPEN_ALWAYS; }

// The last '\\' or '/' in path, null when there is none.
const char* LastSeparator(const char* path) {
  const char* back = std::strrchr(path, '\\');
  const char* slash = std::strrchr(path, '/');
  if (back == nullptr) return slash;
  if (slash == nullptr) return back;
  return back > slash ? back : slash;
}

// Opens path with the access of mode; INVALID_HANDLE_VALUE (reason recorded)
// when the path does not fit the path field or the system refuses it.
HANDLE OpenHandle(const char* path, int mode) {
  if (path == nullptr) {
    Fail("cannot open file: no path given");
    return INVALID_HANDLE_VALUE;
  }
  if (std::strlen(path) >= static_cast<std::size_t>(AWinFile::kPathSize)) {
    Fail("cannot open file '%.64s...': path longer than %d characters", path, AWinFile::kPathSize - 1);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE handle =
      platform::CreateFileA(path, AccessForMode(mode), platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE,
                            nullptr, DispositionForMode(mode), platform::FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    Fail("cannot open file '%s': %s", path, AWinFile::ErrorText(platform::GetLastError()));
  }
  return handle;
}

// The stored path: the requested one when it fits, otherwise nothing, so the
// field never holds a path that was cut short.
void StorePath(char (&field)[AWinFile::kPathSize], const char* path) {
  std::memset(field, 0, sizeof field);
  if (path != nullptr && std::strlen(path) < sizeof field) std::memcpy(field, path, std::strlen(path));
}

std::int64_t Join(LONG low, LONG high) {
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(static_cast<std::uint32_t>(high)) << 32) |
                                   static_cast<std::uint32_t>(low));
}

// Transfers report their count as int; larger requests become short ones.
DWORD CapCount(DWORD count) { return count > static_cast<DWORD>(INT_MAX) ? static_cast<DWORD>(INT_MAX) : count; }

}  // namespace

const char* AWinFile::ErrorText(DWORD error) {
  switch (error) {
    case platform::ERROR_SUCCESS: return "no error reported";
    case platform::ERROR_FILE_NOT_FOUND: return "file not found";
    case platform::ERROR_PATH_NOT_FOUND: return "path not found";
    case platform::ERROR_ACCESS_DENIED: return "access denied";
    case platform::ERROR_INVALID_HANDLE: return "invalid handle";
    case platform::ERROR_NOT_ENOUGH_MEMORY: return "not enough memory";
    case platform::ERROR_FILE_EXISTS: return "file exists";
    case platform::ERROR_INVALID_PARAMETER: return "invalid parameter";
    case platform::ERROR_DISK_FULL: return "disk full";
    case platform::ERROR_NEGATIVE_SEEK: return "negative seek";
    case platform::ERROR_FILENAME_EXCED_RANGE: return "file name too long";
    case platform::ERROR_BAD_FILE_TYPE: return "not a regular file";
    default: return "system error";
  }
}

AWinFile::AWinFile() : handle_(INVALID_HANDLE_VALUE) { std::memset(path_, 0, sizeof path_); }

AWinFile::AWinFile(const char* path, int mode) : handle_(INVALID_HANDLE_VALUE) {
  StorePath(path_, path);
  handle_ = OpenHandle(path, mode);
  if (handle_ == INVALID_HANDLE_VALUE) throw 0;
}

AWinFile::~AWinFile() {
  if (IsOpen()) platform::CloseHandle(handle_);
}

BOOL AWinFile::Open(const char* path, int mode) {
  if (IsOpen()) Close();
  StorePath(path_, path);
  handle_ = OpenHandle(path, mode);
  return IsOpen() ? 1 : 0;
}

BOOL AWinFile::GetFilePath(char* out) {
  if (!IsOpen()) return 0;
  std::memcpy(out, path_, sizeof path_);
  return 1;
}

BOOL AWinFile::GetFileDirectory(char* out) {
  if (!IsOpen()) return 0;
  const char* separator = LastSeparator(path_);
  const std::size_t length = separator == nullptr ? 0 : static_cast<std::size_t>(separator - path_);
  std::memcpy(out, path_, length);
  out[length] = '\0';
  return 1;
}

HANDLE AWinFile::GetHandle() { return handle_; }

BOOL AWinFile::GetFileName(char* out) {
  if (!IsOpen()) return 0;
  const char* separator = LastSeparator(path_);
  const char* name = separator == nullptr ? path_ : separator + 1;
  const std::size_t length = std::strlen(name);
  if (length >= kNameSize) {
    out[0] = '\0';
    return Fail("file name of '%s' is longer than %zu characters", path_, kNameSize - 1);
  }
  std::memcpy(out, name, length + 1);
  return 1;
}

BOOL AWinFile::Seek(LONG distanceLow, LONG distanceHigh, int origin) {
  if (!IsOpen()) return 0;
  LONG high = distanceHigh;
  const DWORD low = platform::SetFilePointer(handle_, distanceLow, &high, static_cast<DWORD>(origin));
  return !(low == platform::INVALID_SET_FILE_POINTER && platform::GetLastError() != platform::ERROR_SUCCESS);
}

std::int64_t AWinFile::GetPosition() {
  if (!IsOpen()) return -1;
  LONG high = 0;
  const DWORD low = platform::SetFilePointer(handle_, 0, &high, platform::FILE_CURRENT);
  if (low == platform::INVALID_SET_FILE_POINTER && platform::GetLastError() != platform::ERROR_SUCCESS) return -1;
  return Join(static_cast<LONG>(low), high);
}

int AWinFile::Read(void* buffer, DWORD count, LONG distanceLow, LONG distanceHigh, int origin) {
  if (!IsOpen()) return 0;
  const bool continues = origin == 1 && distanceLow == 0 && distanceHigh == 0;
  if (!continues && !Seek(distanceLow, distanceHigh, origin)) return 0;
  DWORD read = 0;
  platform::ReadFile(handle_, buffer, CapCount(count), &read, nullptr);
  return static_cast<int>(read);
}

int AWinFile::Write(const void* buffer, DWORD count, LONG distanceLow, LONG distanceHigh, int origin) {
  if (!IsOpen()) return 0;
  const bool continues = origin == 1 && distanceLow == 0 && distanceHigh == 0;
  if (!continues && !Seek(distanceLow, distanceHigh, origin)) return 0;
  DWORD written = 0;
  platform::WriteFile(handle_, buffer, CapCount(count), &written, nullptr);
  return static_cast<int>(written);
}

void AWinFile::Close() {
  if (IsOpen()) platform::CloseHandle(handle_);
  handle_ = INVALID_HANDLE_VALUE;
}

BOOL AWinFile::Delete() {
  if (!IsOpen()) return 0;
  Close();
  return platform::DeleteFileA(path_);
}

BOOL AWinFile::SetEnd() { return platform::SetEndOfFile(handle_); }

}  // namespace pc50
