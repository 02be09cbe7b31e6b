// POSIX implementation of the platform seam.
#ifndef _WIN32

#include "platform/platform.h"
#include "platform/memory_files.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pc50::platform {
namespace {

thread_local DWORD lastError = ERROR_SUCCESS;
std::atomic<TickSource> tickSource{nullptr};
// Bytes WriteFile may still write; negative: no limit.
std::atomic<std::int64_t> writeBudget{-1};

struct Prompt {
  PromptHandler handler;
  void* context;
};
std::mutex promptLock;
Prompt prompt{nullptr, nullptr};

// Handles are file descriptors shifted by one, so that neither a null handle
// nor INVALID_HANDLE_VALUE can ever name a real descriptor.
HANDLE HandleFromFd(int fd) { return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fd) + 1); }
int FdFromHandle(HANDLE h) { return static_cast<int>(reinterpret_cast<std::intptr_t>(h) - 1); }

bool IsUsable(HANDLE h) {
  if (h == INVALID_HANDLE_VALUE || h == nullptr) {
    lastError = ERROR_INVALID_HANDLE;
    return false;
  }
  return true;
}

DWORD ErrorFromErrno(int err) {
  switch (err) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EEXIST: return ERROR_FILE_EXISTS;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return ERROR_DISK_FULL;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    default: return ERROR_GEN_FAILURE;
  }
}

void SetErrorFromErrno() { lastError = ErrorFromErrno(errno); }

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

}  // namespace

HANDLE CreateFileA(const char* path, DWORD desiredAccess, DWORD /*shareMode*/, void* security,
                   DWORD creationDisposition, DWORD /*flagsAndAttributes*/, HANDLE templateFile) {
  if (path == nullptr || security != nullptr || templateFile != nullptr) {
    lastError = ERROR_INVALID_PARAMETER;
    return INVALID_HANDLE_VALUE;
  }
  if (memory_files::InUse()) return memory_files::Create(path, desiredAccess, creationDisposition);
  const bool read = (desiredAccess & GENERIC_READ) != 0;
  const bool write = (desiredAccess & GENERIC_WRITE) != 0;
  // A handle without access rights still names the file; transfers through it
  // fail, as they would on Windows.
  int flags = read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY;
  switch (creationDisposition) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    default: lastError = ERROR_INVALID_PARAMETER; return INVALID_HANDLE_VALUE;
  }
  if ((flags & O_TRUNC) && !write) flags = (flags & ~O_ACCMODE) | O_RDWR;
  // Opened without blocking: opening a FIFO would otherwise wait for its
  // other end, possibly for ever. Only regular files are read: a read from
  // a pipe or a device could wait for ever too. (Output may go to a device.)
  int fd;
  do {
    fd = ::open(path, flags | O_CLOEXEC | O_NONBLOCK, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    // A FIFO opened for writing without a reader.
    lastError = errno == ENXIO ? ERROR_BAD_FILE_TYPE : ErrorFromErrno(errno);
    return INVALID_HANDLE_VALUE;
  }
  struct stat st;
  const bool known = ::fstat(fd, &st) == 0;
  if (!known || S_ISDIR(st.st_mode) || (!write && !S_ISREG(st.st_mode))) {
    const bool directory = known && S_ISDIR(st.st_mode);
    ::close(fd);
    lastError = directory ? ERROR_ACCESS_DENIED : ERROR_BAD_FILE_TYPE;
    return INVALID_HANDLE_VALUE;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  lastError = ERROR_SUCCESS;
  return HandleFromFd(fd);
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* read, void* /*overlapped*/) {
  if (read) *read = 0;
  if (!IsUsable(file)) return 0;
  if (memory_files::Owns(file)) return memory_files::Read(file, buffer, count, read);
  const int fd = FdFromHandle(file);
  char* out = static_cast<char*>(buffer);
  DWORD total = 0;
  while (total < count) {
    const ssize_t n = ::read(fd, out + total, count - total);
    if (n < 0) {
      if (errno == EINTR) continue;
      SetErrorFromErrno();
      if (read) *read = total;
      return 0;
    }
    if (n == 0) break;
    total += static_cast<DWORD>(n);
  }
  if (read) *read = total;
  lastError = ERROR_SUCCESS;
  return 1;
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* written, void* /*overlapped*/) {
  if (written) *written = 0;
  if (!IsUsable(file)) return 0;
  const int fd = FdFromHandle(file);
  const char* in = static_cast<const char*>(buffer);
  const DWORD allowed = TakeWriteBudget(count);
  DWORD total = 0;
  if (memory_files::Owns(file) && !memory_files::Write(file, buffer, allowed, &total)) return 0;
  while (total < allowed) {
    const ssize_t n = ::write(fd, in + total, allowed - total);
    if (n < 0) {
      if (errno == EINTR) continue;
      SetErrorFromErrno();
      if (written) *written = total;
      return 0;
    }
    if (n == 0) {
      lastError = ERROR_DISK_FULL;
      if (written) *written = total;
      return 0;
    }
    total += static_cast<DWORD>(n);
  }
  if (written) *written = total;
  if (total < count) {
    lastError = ERROR_DISK_FULL;
    return 0;
  }
  lastError = ERROR_SUCCESS;
  return 1;
}

DWORD SetFilePointer(HANDLE file, LONG distanceLow, LONG* distanceHigh, DWORD moveMethod) {
  if (!IsUsable(file)) return INVALID_SET_FILE_POINTER;
  if (memory_files::Owns(file)) return memory_files::SetPointer(file, distanceLow, distanceHigh, moveMethod);
  std::int64_t distance;
  if (distanceHigh != nullptr) {
    distance = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(static_cast<std::uint32_t>(*distanceHigh)) << 32) |
        static_cast<std::uint32_t>(distanceLow));
  } else {
    distance = distanceLow;
  }
  int whence;
  switch (moveMethod) {
    case FILE_BEGIN: whence = SEEK_SET; break;
    case FILE_CURRENT: whence = SEEK_CUR; break;
    case FILE_END: whence = SEEK_END; break;
    default: lastError = ERROR_INVALID_PARAMETER; return INVALID_SET_FILE_POINTER;
  }
  const int fd = FdFromHandle(file);
  if (whence != SEEK_SET) {
    const off_t base = ::lseek(fd, 0, whence);
    if (base < 0) {
      SetErrorFromErrno();
      return INVALID_SET_FILE_POINTER;
    }
    if (distance < 0 && base + distance < 0) {
      lastError = ERROR_NEGATIVE_SEEK;
      return INVALID_SET_FILE_POINTER;
    }
    distance += base;
  } else if (distance < 0) {
    lastError = ERROR_NEGATIVE_SEEK;
    return INVALID_SET_FILE_POINTER;
  }
  const off_t pos = ::lseek(fd, static_cast<off_t>(distance), SEEK_SET);
  if (pos < 0) {
    SetErrorFromErrno();
    return INVALID_SET_FILE_POINTER;
  }
  const auto upos = static_cast<std::uint64_t>(pos);
  if (distanceHigh != nullptr) {
    *distanceHigh = static_cast<LONG>(static_cast<std::uint32_t>(upos >> 32));
  } else if (upos > 0xFFFFFFFFull) {
    // The position does not fit the 32-bit result without a high part.
    lastError = ERROR_INVALID_PARAMETER;
    return INVALID_SET_FILE_POINTER;
  }
  lastError = ERROR_SUCCESS;
  return static_cast<DWORD>(upos & 0xFFFFFFFFull);
}

BOOL SetEndOfFile(HANDLE file) {
  if (!IsUsable(file)) return 0;
  if (memory_files::Owns(file)) return memory_files::SetEnd(file);
  const int fd = FdFromHandle(file);
  const off_t pos = ::lseek(fd, 0, SEEK_CUR);
  if (pos < 0 || ::ftruncate(fd, pos) != 0) {
    SetErrorFromErrno();
    return 0;
  }
  lastError = ERROR_SUCCESS;
  return 1;
}

BOOL CloseHandle(HANDLE handle) {
  if (!IsUsable(handle)) return 0;
  if (memory_files::Owns(handle)) return memory_files::Close(handle);
  if (::close(FdFromHandle(handle)) != 0 && errno != EINTR) {
    SetErrorFromErrno();
    return 0;
  }
  return 1;
}

BOOL DeleteFileA(const char* path) {
  if (path == nullptr) {
    lastError = ERROR_INVALID_PARAMETER;
    return 0;
  }
  if (memory_files::InUse()) return memory_files::Delete(path);
  if (::unlink(path) != 0) {
    SetErrorFromErrno();
    return 0;
  }
  lastError = ERROR_SUCCESS;
  return 1;
}

DWORD GetLastError() { return lastError; }
void SetLastError(DWORD error) { lastError = error; }

int _access(const char* path, int mode) {
  if (path == nullptr) return -1;
  if (memory_files::InUse()) return memory_files::Access(path);
  int how = F_OK;
  if (mode & 2) how |= W_OK;
  if (mode & 4) how |= R_OK;
  return ::access(path, how) == 0 ? 0 : -1;
}

std::FILE* CreateTempFile(const char* prefix, const char* suffix, char* pathOut, std::size_t capacity) {
  if (prefix == nullptr || suffix == nullptr || pathOut == nullptr || capacity == 0) {
    lastError = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  if (memory_files::InUse()) return memory_files::CreateTemp(prefix, suffix, pathOut, capacity);
  const char* dir = std::getenv("TMPDIR");
  if (dir == nullptr || *dir == '\0') dir = "/tmp";
  std::string path = dir;
  if (path.back() != '/') path += '/';
  path += prefix;
  path += "XXXXXX";
  path += suffix;
  if (path.size() >= capacity) {
    lastError = ERROR_FILENAME_EXCED_RANGE;
    return nullptr;
  }
  const int fd = ::mkstemps(path.data(), static_cast<int>(std::strlen(suffix)));
  if (fd < 0) {
    SetErrorFromErrno();
    return nullptr;
  }
  ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  std::FILE* file = ::fdopen(fd, "w+b");
  if (file == nullptr) {
    SetErrorFromErrno();
    ::close(fd);
    ::unlink(path.c_str());
    return nullptr;
  }
  std::memcpy(pathOut, path.c_str(), path.size() + 1);
  lastError = ERROR_SUCCESS;
  return file;
}

DWORD GetTickCount() {
  if (TickSource source = tickSource.load(std::memory_order_acquire)) return source();
  timespec ts;
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  const std::uint64_t ms = static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                           static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<DWORD>(ms);
}

void SetTickSourceForTesting(TickSource source) { tickSource.store(source, std::memory_order_release); }

void SetWriteLimitForTesting(std::int64_t bytes) { writeBudget.store(bytes < 0 ? -1 : bytes); }

DWORD TlsAlloc() {
  pthread_key_t key;
  if (::pthread_key_create(&key, nullptr) != 0) return TLS_OUT_OF_INDEXES;
  return static_cast<DWORD>(key);
}

BOOL TlsFree(DWORD index) { return ::pthread_key_delete(static_cast<pthread_key_t>(index)) == 0; }

void* TlsGetValue(DWORD index) { return ::pthread_getspecific(static_cast<pthread_key_t>(index)); }

BOOL TlsSetValue(DWORD index, void* value) {
  return ::pthread_setspecific(static_cast<pthread_key_t>(index), value) == 0;
}

int MessageBoxA(void* owner, const char* text, const char* caption, unsigned type) {
  Prompt current;
  {
    std::lock_guard<std::mutex> hold(promptLock);
    current = prompt;
  }
  if (current.handler == nullptr) return IDOK;
  const int answer = current.handler(current.context, text ? text : "", caption ? caption : "", type, owner);
  return answer == IDCANCEL ? IDCANCEL : IDOK;
}

void SetPromptHandler(PromptHandler handler, void* context) {
  std::lock_guard<std::mutex> hold(promptLock);
  prompt = Prompt{handler, context};
}

}  // namespace pc50::platform

#endif  // !_WIN32
