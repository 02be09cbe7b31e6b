#include "platform/memory_files.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_set>

namespace pc50::platform::memory_files {
namespace {

constexpr std::int64_t kPageSize = 4096;
// Positions and sizes stay far below what int64 arithmetic could overflow.
constexpr std::int64_t kMaxSize = std::int64_t{1} << 52;

struct File {
  std::int64_t size = 0;
  std::map<std::int64_t, std::unique_ptr<std::uint8_t[]>> pages;  // page index -> kPageSize bytes

  void Resize(std::int64_t newSize) {
    if (newSize < size) {
      pages.erase(pages.lower_bound((newSize + kPageSize - 1) / kPageSize), pages.end());
      // The rest of a kept partial page reads as zeros again if the file grows.
      const auto last = pages.find(newSize / kPageSize);
      if (last != pages.end()) {
        const std::int64_t offset = newSize % kPageSize;
        std::memset(last->second.get() + offset, 0, static_cast<std::size_t>(kPageSize - offset));
      }
    }
    size = newSize;
  }

  void ReadAt(std::int64_t position, std::uint8_t* out, std::int64_t count) const {
    while (count > 0) {
      const std::int64_t offset = position % kPageSize;
      const std::int64_t n = std::min(count, kPageSize - offset);
      const auto page = pages.find(position / kPageSize);
      if (page == pages.end()) std::memset(out, 0, static_cast<std::size_t>(n));
      else std::memcpy(out, page->second.get() + offset, static_cast<std::size_t>(n));
      position += n;
      out += n;
      count -= n;
    }
  }

  void WriteAt(std::int64_t position, const std::uint8_t* in, std::int64_t count) {
    if (position + count > size) size = position + count;
    while (count > 0) {
      const std::int64_t offset = position % kPageSize;
      const std::int64_t n = std::min(count, kPageSize - offset);
      std::unique_ptr<std::uint8_t[]>& page = pages[position / kPageSize];
      if (!page) page.reset(new std::uint8_t[kPageSize]());
      std::memcpy(page.get() + offset, in, static_cast<std::size_t>(n));
      position += n;
      in += n;
      count -= n;
    }
  }
};

struct Handle {
  std::shared_ptr<File> file;
  std::int64_t position = 0;
  bool canRead = false;
  bool canWrite = false;
};

std::atomic<bool> inUse{false};
// Set once any handle was made: until then Owns needs no lock.
std::atomic<bool> everUsed{false};
std::mutex lock;
std::map<std::string, std::shared_ptr<File>>& Files() {
  static auto* files = new std::map<std::string, std::shared_ptr<File>>();
  return *files;
}
std::unordered_set<Handle*>& Handles() {
  static auto* handles = new std::unordered_set<Handle*>();
  return *handles;
}
unsigned tempCounter = 0;

// The handle, or null with ERROR_INVALID_HANDLE. REQUIRES: lock held.
Handle* Find(HANDLE h) {
  auto* handle = static_cast<Handle*>(h);
  if (Handles().count(handle) == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return handle;
}

}  // namespace

void Use(bool on) {
  if (on) everUsed.store(true);
  inUse.store(on);
}

bool InUse() { return inUse.load(std::memory_order_relaxed); }

void Clear() {
  std::lock_guard<std::mutex> hold(lock);
  Files().clear();
}

void Put(const std::string& path, const void* data, std::size_t size) {
  auto file = std::make_shared<File>();
  file->WriteAt(0, static_cast<const std::uint8_t*>(data), static_cast<std::int64_t>(size));
  std::lock_guard<std::mutex> hold(lock);
  Files()[path] = std::move(file);
}

bool Get(const std::string& path, std::string* bytes, std::int64_t limit) {
  std::lock_guard<std::mutex> hold(lock);
  const auto it = Files().find(path);
  if (it == Files().end()) return false;
  const std::int64_t n = std::min(it->second->size, std::max<std::int64_t>(limit, 0));
  bytes->assign(static_cast<std::size_t>(n), '\0');
  it->second->ReadAt(0, reinterpret_cast<std::uint8_t*>(&(*bytes)[0]), n);
  return true;
}

std::int64_t Size(const std::string& path) {
  std::lock_guard<std::mutex> hold(lock);
  const auto it = Files().find(path);
  return it == Files().end() ? -1 : it->second->size;
}

std::vector<std::string> Names() {
  std::lock_guard<std::mutex> hold(lock);
  std::vector<std::string> names;
  for (const auto& entry : Files()) names.push_back(entry.first);
  return names;
}

int OpenHandles() {
  std::lock_guard<std::mutex> hold(lock);
  return static_cast<int>(Handles().size());
}

bool Owns(HANDLE handle) {
  if (!everUsed.load(std::memory_order_relaxed)) return false;
  std::lock_guard<std::mutex> hold(lock);
  return Handles().count(static_cast<Handle*>(handle)) != 0;
}

HANDLE Create(const char* path, DWORD desiredAccess, DWORD creationDisposition) {
  if (path == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  if (*path == '\0') {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  std::lock_guard<std::mutex> hold(lock);
  auto& files = Files();
  auto it = files.find(path);
  const bool exists = it != files.end();
  switch (creationDisposition) {
    case CREATE_NEW:
      if (exists) {
        SetLastError(ERROR_FILE_EXISTS);
        return INVALID_HANDLE_VALUE;
      }
      break;
    case CREATE_ALWAYS:
    case OPEN_ALWAYS:
      break;
    case OPEN_EXISTING:
      if (!exists) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
      }
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return INVALID_HANDLE_VALUE;
  }
  if (!exists) it = files.emplace(path, std::make_shared<File>()).first;
  if (creationDisposition == CREATE_ALWAYS) it->second->Resize(0);
  auto* handle = new Handle;
  handle->file = it->second;
  handle->canRead = (desiredAccess & GENERIC_READ) != 0;
  handle->canWrite = (desiredAccess & GENERIC_WRITE) != 0;
  Handles().insert(handle);
  everUsed.store(true);
  SetLastError(ERROR_SUCCESS);
  return handle;
}

BOOL Read(HANDLE h, void* buffer, DWORD count, DWORD* read) {
  if (read) *read = 0;
  std::lock_guard<std::mutex> hold(lock);
  Handle* handle = Find(h);
  if (handle == nullptr) return 0;
  if (!handle->canRead) {
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
  }
  const File& file = *handle->file;
  const std::int64_t n = std::max<std::int64_t>(0, std::min<std::int64_t>(count, file.size - handle->position));
  file.ReadAt(handle->position, static_cast<std::uint8_t*>(buffer), n);
  handle->position += n;
  if (read) *read = static_cast<DWORD>(n);
  SetLastError(ERROR_SUCCESS);
  return 1;
}

BOOL Write(HANDLE h, const void* buffer, DWORD count, DWORD* written) {
  if (written) *written = 0;
  std::lock_guard<std::mutex> hold(lock);
  Handle* handle = Find(h);
  if (handle == nullptr) return 0;
  if (!handle->canWrite) {
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
  }
  if (handle->position + count > kMaxSize) {
    SetLastError(ERROR_DISK_FULL);
    return 0;
  }
  handle->file->WriteAt(handle->position, static_cast<const std::uint8_t*>(buffer), count);
  handle->position += count;
  if (written) *written = count;
  SetLastError(ERROR_SUCCESS);
  return 1;
}

DWORD SetPointer(HANDLE h, LONG distanceLow, LONG* distanceHigh, DWORD moveMethod) {
  std::lock_guard<std::mutex> hold(lock);
  Handle* handle = Find(h);
  if (handle == nullptr) return INVALID_SET_FILE_POINTER;
  std::int64_t distance = distanceLow;
  if (distanceHigh != nullptr) {
    distance = static_cast<std::int64_t>((static_cast<std::uint64_t>(static_cast<std::uint32_t>(*distanceHigh)) << 32) |
                                         static_cast<std::uint32_t>(distanceLow));
  }
  std::int64_t base;
  switch (moveMethod) {
    case FILE_BEGIN: base = 0; break;
    case FILE_CURRENT: base = handle->position; break;
    case FILE_END: base = handle->file->size; break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return INVALID_SET_FILE_POINTER;
  }
  if (distance < -base) {
    SetLastError(ERROR_NEGATIVE_SEEK);
    return INVALID_SET_FILE_POINTER;
  }
  if (distance > kMaxSize - base) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  handle->position = base + distance;
  const auto position = static_cast<std::uint64_t>(handle->position);
  if (distanceHigh != nullptr) {
    *distanceHigh = static_cast<LONG>(static_cast<std::uint32_t>(position >> 32));
  } else if (position > 0xFFFFFFFFull) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(position & 0xFFFFFFFFull);
}

BOOL SetEnd(HANDLE h) {
  std::lock_guard<std::mutex> hold(lock);
  Handle* handle = Find(h);
  if (handle == nullptr) return 0;
  if (!handle->canWrite) {
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
  }
  handle->file->Resize(handle->position);
  SetLastError(ERROR_SUCCESS);
  return 1;
}

BOOL Close(HANDLE h) {
  std::lock_guard<std::mutex> hold(lock);
  Handle* handle = Find(h);
  if (handle == nullptr) return 0;
  Handles().erase(handle);
  delete handle;
  return 1;
}

BOOL Delete(const char* path) {
  if (path == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::lock_guard<std::mutex> hold(lock);
  if (Files().erase(path) == 0) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return 0;
  }
  SetLastError(ERROR_SUCCESS);
  return 1;
}

int Access(const char* path) {
  if (path == nullptr) return -1;
  std::lock_guard<std::mutex> hold(lock);
  return Files().count(path) != 0 ? 0 : -1;
}

std::FILE* CreateTemp(const char* prefix, const char* suffix, char* pathOut, std::size_t capacity) {
  if (prefix == nullptr || suffix == nullptr || pathOut == nullptr || capacity == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::string path;
  {
    std::lock_guard<std::mutex> hold(lock);
    do {
      path = std::string(prefix) + std::to_string(++tempCounter) + suffix;
    } while (Files().count(path) != 0);
  }
  if (path.size() >= capacity) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return nullptr;
  }
  std::FILE* stream = std::tmpfile();
  if (stream == nullptr) {
    SetLastError(ERROR_GEN_FAILURE);
    return nullptr;
  }
  {
    std::lock_guard<std::mutex> hold(lock);
    Files().emplace(path, std::make_shared<File>());
  }
  std::memcpy(pathOut, path.c_str(), path.size() + 1);
  SetLastError(ERROR_SUCCESS);
  return stream;
}

}  // namespace pc50::platform::memory_files
