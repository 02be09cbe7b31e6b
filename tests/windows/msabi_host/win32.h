// The few Win32 declarations the Microsoft-ABI host needs, written out here:
// the host is built without Microsoft headers or runtime. Its import library
// for kernel32.dll comes from kernel32.def.
#pragma once

#include <stddef.h>
#include <stdint.h>

#define WINAPI __stdcall

typedef void* HANDLE;
typedef void* HMODULE;
typedef uint32_t DWORD;
typedef int BOOL;

constexpr DWORD kStdOutputHandle = static_cast<DWORD>(-11);
constexpr DWORD kGenericRead = 0x80000000u;
constexpr DWORD kFileShareRead = 1;
constexpr DWORD kOpenExisting = 3;
constexpr DWORD kFileAttributeNormal = 0x80;
constexpr DWORD kInvalidFileSize = 0xFFFFFFFFu;
#define INVALID_HANDLE ((HANDLE)(intptr_t)-1)

// One entry of HeapWalk.
struct ProcessHeapEntry {
  void* data;
  DWORD dataSize;
  uint8_t overhead;
  uint8_t regionIndex;
  uint16_t flags;
  DWORD blockOrRegion[4];
};
static_assert(sizeof(ProcessHeapEntry) == 28, "PROCESS_HEAP_ENTRY is 28 bytes on 32-bit Windows");
constexpr uint16_t kHeapEntryBusy = 0x0004;

extern "C" {
__declspec(dllimport) char* WINAPI GetCommandLineA(void);
__declspec(dllimport) HANDLE WINAPI GetStdHandle(DWORD which);
__declspec(dllimport) void WINAPI ExitProcess(unsigned code);
__declspec(dllimport) DWORD WINAPI GetLastError(void);

__declspec(dllimport) HMODULE WINAPI LoadLibraryA(const char* path);
__declspec(dllimport) void* WINAPI GetProcAddress(HMODULE module, const char* name);
__declspec(dllimport) BOOL WINAPI FreeLibrary(HMODULE module);

__declspec(dllimport) HANDLE WINAPI GetProcessHeap(void);
__declspec(dllimport) DWORD WINAPI GetProcessHeaps(DWORD count, HANDLE* heaps);
__declspec(dllimport) void* WINAPI HeapAlloc(HANDLE heap, DWORD flags, size_t bytes);
__declspec(dllimport) BOOL WINAPI HeapFree(HANDLE heap, DWORD flags, void* block);
__declspec(dllimport) BOOL WINAPI HeapValidate(HANDLE heap, DWORD flags, const void* block);
__declspec(dllimport) BOOL WINAPI HeapLock(HANDLE heap);
__declspec(dllimport) BOOL WINAPI HeapUnlock(HANDLE heap);
__declspec(dllimport) BOOL WINAPI HeapWalk(HANDLE heap, ProcessHeapEntry* entry);

__declspec(dllimport) HANDLE WINAPI CreateFileA(const char* path, DWORD access, DWORD share, void* security,
                                                DWORD disposition, DWORD attributes, HANDLE templateFile);
__declspec(dllimport) BOOL WINAPI ReadFile(HANDLE file, void* buffer, DWORD bytes, DWORD* read, void* overlapped);
__declspec(dllimport) BOOL WINAPI WriteFile(HANDLE file, const void* buffer, DWORD bytes, DWORD* written,
                                            void* overlapped);
__declspec(dllimport) DWORD WINAPI GetFileSize(HANDLE file, DWORD* high);
__declspec(dllimport) BOOL WINAPI CloseHandle(HANDLE handle);
__declspec(dllimport) BOOL WINAPI DeleteFileA(const char* path);
__declspec(dllimport) BOOL WINAPI CreateDirectoryA(const char* path, void* security);
}
