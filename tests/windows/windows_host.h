// What the Windows test programs share: the module loaded by path with its
// entry points looked up by name, Windows forms of the Linux paths they are
// given, and the hold that lets a screenshot be taken while a window is open.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

#include "job_runner.h"
#include "pc50/pc50.h"

namespace pc50::wintest {

// A path as a Windows program sees it: Linux paths ("/x/y") through Wine's
// drive Z:, which maps the Linux root.
inline std::string WindowsPath(const std::string& path) {
  if (path.empty() || path[0] != '/') return path;
  std::string out = "Z:" + path;
  for (char& c : out) {
    if (c == '/') c = '\\';
  }
  return out;
}

inline bool FileExists(const std::string& path) {
  return ::GetFileAttributesA(WindowsPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

class Module {
 public:
  explicit Module(const std::string& path) : handle_(::LoadLibraryA(WindowsPath(path).c_str())) {}
  ~Module() {
    if (handle_ != nullptr) ::FreeLibrary(handle_);
  }
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  bool loaded() const { return handle_ != nullptr; }

  template <typename F>
  F Get(const char* name) const {
    return handle_ != nullptr ? reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(handle_, name)))
                              : nullptr;
  }

  JobFunctions Jobs() const {
    JobFunctions functions;
    functions.initialize = Get<int (*)(PrintJobInfo*)>("INITIALIZEPRINT");
    functions.resume = Get<int (*)(PrintJobInfo*)>("RESUMEPRINT");
    functions.abort = Get<int (*)(PrintJobInfo*)>("ABORTPRINT");
    return functions;
  }

 private:
  HMODULE handle_;
};

inline bool Complete(const JobFunctions& functions) {
  return functions.initialize != nullptr && functions.resume != nullptr && functions.abort != nullptr;
}

// With a hold directory, the first time a window of the test is open the
// program creates <dir>/open and waits (at most 60 seconds) for <dir>/taken,
// which the screenshot wrapper creates once it has the picture.
class ScreenshotHold {
 public:
  explicit ScreenshotHold(std::string dir) : dir_(std::move(dir)) {}

  void AtOpenWindow() {
    if (dir_.empty() || done_) return;
    done_ = true;
    const std::string open = WindowsPath(dir_ + "/open");
    HANDLE file = ::CreateFileA(open.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
    for (int waited = 0; waited < 600 && !FileExists(dir_ + "/taken"); ++waited) ::Sleep(100);
  }

 private:
  std::string dir_;
  bool done_ = false;
};

}  // namespace pc50::wintest
