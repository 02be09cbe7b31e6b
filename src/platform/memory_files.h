// Files in memory behind the platform seam, for tests and fuzz targets that
// would otherwise create and remove thousands of real files.
//
// While in use, CreateFileA, DeleteFileA, _access and CreateTempFile of the
// seam work on files kept in this process's memory; the other file calls
// follow their handle, so a handle opened either way keeps working after a
// switch. Paths are plain names (no directories are looked at); a file is
// sparse: what was never written reads as zeros and costs nothing, so a
// store of 2 GB chunks fits. Deleting a file that is still open behaves as
// on POSIX: the handles keep its bytes. The write limit of the seam
// (SetWriteLimitForTesting) applies. The temporary file is a real anonymous
// stream file (std::tmpfile); its name is an in-memory entry that
// DeleteFileA removes. Thread-safe; the module's production paths never
// turn it on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace pc50::platform::memory_files {

// -- For tests and fuzz targets. --

void Use(bool on);
bool InUse();
// Forgets every in-memory file (open handles keep their bytes).
void Clear();
// Creates or replaces path with size bytes of data.
void Put(const std::string& path, const void* data, std::size_t size);
// Up to limit bytes of path into *bytes; false when there is no such file.
bool Get(const std::string& path, std::string* bytes, std::int64_t limit = INT64_MAX);
// The size of path, -1 when there is no such file.
std::int64_t Size(const std::string& path);
// The names of the in-memory files, sorted.
std::vector<std::string> Names();
// Handles open on in-memory files.
int OpenHandles();

// -- For the seam (platform_posix.cc, platform_win32.cc). Each sets the
// seam's last error as the real call would. --

bool Owns(HANDLE handle);
HANDLE Create(const char* path, DWORD desiredAccess, DWORD creationDisposition);
BOOL Read(HANDLE file, void* buffer, DWORD count, DWORD* read);
// Writes count bytes (the caller has applied the write limit).
BOOL Write(HANDLE file, const void* buffer, DWORD count, DWORD* written);
DWORD SetPointer(HANDLE file, LONG distanceLow, LONG* distanceHigh, DWORD moveMethod);
BOOL SetEnd(HANDLE file);
BOOL Close(HANDLE file);
BOOL Delete(const char* path);
int Access(const char* path);
std::FILE* CreateTemp(const char* prefix, const char* suffix, char* pathOut, std::size_t capacity);

}  // namespace pc50::platform::memory_files
