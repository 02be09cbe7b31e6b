// Windows implementation of the platform seam: each call goes to the Win32
// call of the same name. Where the seam promises more than Win32 does (a
// cleared last error after success, a usable owner window for message boxes),
// this file adds it.
//
// platform.h is included before <windows.h>: the seam's constants share
// their names with the Windows macros (and have the same values), so below
// the include the Windows ones are used.
#ifdef _WIN32

#include "platform/platform.h"
#include "platform/memory_files.h"
#include "platform/module_resources.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <fcntl.h>
#include <io.h>

namespace pc50::platform {
namespace {

std::atomic<TickSource> tickSource{nullptr};
std::atomic<void*> moduleInstance{nullptr};
std::atomic<unsigned> tempCounter{0};
// Bytes WriteFile may still write; negative: no limit.
std::atomic<std::int64_t> writeBudget{-1};

// How many of count bytes the write limit lets through; takes them from it.
DWORD TakeWriteBudget(DWORD count) {
  std::int64_t budget = writeBudget.load();
  std::int64_t allowed;
  do {
    if (budget < 0) return count;
    allowed = budget < count ? budget : count;
  } while (!writeBudget.compare_exchange_weak(budget, budget - allowed));
  return static_cast<DWORD>(allowed);
}

struct Prompt {
  PromptHandler handler;
  void* context;
};
SRWLOCK promptLock = SRWLOCK_INIT;
Prompt prompt{nullptr, nullptr};

bool IsUsable(HANDLE h) {
  if (h == INVALID_HANDLE_VALUE || h == nullptr) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  return true;
}

BOOL Succeeded() {
  ::SetLastError(ERROR_SUCCESS);
  return 1;
}

// A window handle the caller gave us, or null when it names no window (the
// job record keeps owners as 32-bit values that may be stale or zero).
HWND UsableOwner(void* owner) {
  HWND window = static_cast<HWND>(owner);
  return window != nullptr && ::IsWindow(window) ? window : nullptr;
}

}  // namespace

HANDLE CreateFileA(const char* path, DWORD desiredAccess, DWORD shareMode, void* security,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile) {
  if (path == nullptr || security != nullptr || templateFile != nullptr) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  if (memory_files::InUse()) return memory_files::Create(path, desiredAccess, creationDisposition);
  HANDLE file = ::CreateFileA(path, desiredAccess, shareMode, nullptr, creationDisposition, flagsAndAttributes,
                              nullptr);
  if (file == INVALID_HANDLE_VALUE) return file;
  // Pipes and devices are not read: a read could wait for ever. (Output may
  // go to a device.)
  if ((desiredAccess & GENERIC_WRITE) == 0 && ::GetFileType(file) != FILE_TYPE_DISK) {
    ::CloseHandle(file);
    ::SetLastError(ERROR_BAD_FILE_TYPE);
    return INVALID_HANDLE_VALUE;
  }
  // Success may leave ERROR_ALREADY_EXISTS behind; the seam reports none.
  Succeeded();
  return file;
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read, void* /*overlapped*/) {
  if (read) *read = 0;
  if (!IsUsable(file)) return 0;
  if (memory_files::Owns(file)) return memory_files::Read(file, buffer, count, read);
  ::DWORD done = 0;
  const BOOL ok = ::ReadFile(file, buffer, count, &done, nullptr);
  if (read) *read = done;
  return ok ? Succeeded() : 0;
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* written, void* /*overlapped*/) {
  if (written) *written = 0;
  if (!IsUsable(file)) return 0;
  const DWORD allowed = TakeWriteBudget(count);
  ::DWORD done = 0;
  BOOL ok;
  if (memory_files::Owns(file)) {
    DWORD put = 0;
    ok = memory_files::Write(file, buffer, allowed, &put);
    done = put;
  } else {
    ok = allowed == 0 || ::WriteFile(file, buffer, allowed, &done, nullptr);
  }
  if (written) *written = done;
  if (!ok) return 0;
  if (done < count) {
    ::SetLastError(ERROR_DISK_FULL);
    return 0;
  }
  return Succeeded();
}

DWORD SetFilePointer(HANDLE file, LONG distanceLow, LONG* distanceHigh, DWORD moveMethod) {
  if (!IsUsable(file)) return INVALID_SET_FILE_POINTER;
  if (memory_files::Owns(file)) return memory_files::SetPointer(file, distanceLow, distanceHigh, moveMethod);
  ::LONG high = distanceHigh != nullptr ? *distanceHigh : 0;
  // A low part of 0xFFFFFFFF is a valid result; only the last error tells.
  ::SetLastError(ERROR_SUCCESS);
  const ::DWORD low = ::SetFilePointer(file, distanceLow, distanceHigh != nullptr ? &high : nullptr, moveMethod);
  if (low == INVALID_SET_FILE_POINTER && ::GetLastError() != ERROR_SUCCESS) return INVALID_SET_FILE_POINTER;
  if (distanceHigh != nullptr) *distanceHigh = high;
  return low;
}

BOOL SetEndOfFile(HANDLE file) {
  if (!IsUsable(file)) return 0;
  if (memory_files::Owns(file)) return memory_files::SetEnd(file);
  return ::SetEndOfFile(file) ? Succeeded() : 0;
}

BOOL CloseHandle(HANDLE handle) {
  if (!IsUsable(handle)) return 0;
  if (memory_files::Owns(handle)) return memory_files::Close(handle);
  return ::CloseHandle(handle) ? 1 : 0;
}

BOOL DeleteFileA(const char* path) {
  if (path == nullptr) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (memory_files::InUse()) return memory_files::Delete(path);
  return ::DeleteFileA(path) ? Succeeded() : 0;
}

DWORD GetLastError() { return ::GetLastError(); }
void SetLastError(DWORD error) { ::SetLastError(error); }

int _access(const char* path, int mode) {
  if (path == nullptr) return -1;
  if (memory_files::InUse()) return memory_files::Access(path);
  // Only existence (0), write (2) and read (4) are meaningful here.
  return ::_access(path, mode & 6) == 0 ? 0 : -1;
}

std::FILE* CreateTempFile(const char* prefix, const char* suffix, char* pathOut, std::size_t capacity) {
  if (prefix == nullptr || suffix == nullptr || pathOut == nullptr || capacity == 0) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (memory_files::InUse()) return memory_files::CreateTemp(prefix, suffix, pathOut, capacity);
  char dir[MAX_PATH + 1];
  const ::DWORD dirLength = ::GetTempPathA(sizeof dir, dir);
  if (dirLength == 0) return nullptr;
  if (dirLength >= sizeof dir) {
    ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return nullptr;
  }
  constexpr int kAttempts = 100;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    char unique[32];
    std::snprintf(unique, sizeof unique, "%08lX%08lX", static_cast<unsigned long>(::GetCurrentProcessId()),
                  static_cast<unsigned long>(::GetTickCount() * 31u + tempCounter.fetch_add(1)));
    const std::string path = std::string(dir, dirLength) + prefix + unique + suffix;
    if (path.size() >= capacity) {
      ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
      return nullptr;
    }
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      const ::DWORD error = ::GetLastError();
      if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
      return nullptr;
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<std::intptr_t>(file), _O_RDWR | _O_BINARY);
    if (fd < 0) {
      ::CloseHandle(file);
      ::DeleteFileA(path.c_str());
      ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    std::FILE* stream = ::_fdopen(fd, "w+b");
    if (stream == nullptr) {
      ::_close(fd);
      ::DeleteFileA(path.c_str());
      ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    path.copy(pathOut, path.size());
    pathOut[path.size()] = '\0';
    Succeeded();
    return stream;
  }
  ::SetLastError(ERROR_FILE_EXISTS);
  return nullptr;
}

DWORD GetTickCount() {
  if (TickSource source = tickSource.load(std::memory_order_acquire)) return source();
  return ::GetTickCount();
}

void SetTickSourceForTesting(TickSource source) { tickSource.store(source, std::memory_order_release); }

void SetWriteLimitForTesting(std::int64_t bytes) { writeBudget.store(bytes < 0 ? -1 : bytes); }

DWORD TlsAlloc() { return ::TlsAlloc(); }

BOOL TlsFree(DWORD index) { return ::TlsFree(index) ? 1 : 0; }

void* TlsGetValue(DWORD index) {
  // TlsGetValue clears the last error on success; keep the caller's.
  const ::DWORD saved = ::GetLastError();
  void* value = ::TlsGetValue(index);
  ::SetLastError(saved);
  return value;
}

BOOL TlsSetValue(DWORD index, void* value) { return ::TlsSetValue(index, value) ? 1 : 0; }

int MessageBoxA(void* owner, const char* text, const char* caption, unsigned type) {
  ::AcquireSRWLockShared(&promptLock);
  const Prompt current = prompt;
  ::ReleaseSRWLockShared(&promptLock);
  text = text ? text : "";
  caption = caption ? caption : "";
  const int answer = current.handler != nullptr
                         ? current.handler(current.context, text, caption, type, owner)
                         : ::MessageBoxA(UsableOwner(owner), text, caption, type);
  return answer == IDCANCEL ? IDCANCEL : IDOK;
}

void SetPromptHandler(PromptHandler handler, void* context) {
  ::AcquireSRWLockExclusive(&promptLock);
  prompt = Prompt{handler, context};
  ::ReleaseSRWLockExclusive(&promptLock);
}

void* ModuleInstance() {
  if (void* recorded = moduleInstance.load(std::memory_order_acquire)) return recorded;
  HMODULE self = nullptr;
  ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&moduleInstance), &self);
  return self;
}

void SetModuleInstance(void* instance) { moduleInstance.store(instance, std::memory_order_release); }

int LoadStringA(unsigned id, char* buffer, int bufferMax) {
  if (buffer == nullptr || bufferMax <= 0) return 0;
  return ::LoadStringA(static_cast<HINSTANCE>(ModuleInstance()), id, buffer, bufferMax);
}

}  // namespace pc50::platform

#endif  // _WIN32
