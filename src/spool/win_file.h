// A file: one system handle and the path it was opened with.
//
// Modes: 0 read only, 1 write only, 2 read and write. Origins: 0 start,
// 1 current position, 2 end. Modes 1 and 2 create a missing file and never
// truncate an existing one; mode 0 opens existing files only, so a
// read-only open never changes the disk.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace pc50 {

class AWinFile {
 public:
  static constexpr int kPathSize = 512;

  AWinFile();
  // Opens path; throws int 0 when the file cannot be opened (the reason is
  // recorded with Fail).
  AWinFile(const char* path, int mode);
  AWinFile(const AWinFile&) = delete;
  AWinFile& operator=(const AWinFile&) = delete;
  virtual ~AWinFile();

  // Closes an open file first, then opens path. Nonzero when open. A path
  // that does not fit the 512-byte path field is a failed open.
  virtual platform::BOOL Open(const char* path, int mode);
  // Copies the 512-byte path field to out (512 bytes). 0 when not open.
  virtual platform::BOOL GetFilePath(char* out);
  // The path up to its last separator, without it; "" when there is none.
  // out holds 512 bytes. 0 when not open.
  virtual platform::BOOL GetFileDirectory(char* out);
  virtual platform::HANDLE GetHandle();
  // The part after the last separator (the whole path without one); out
  // holds 256 bytes. 0 when not open or when the name does not fit.
  virtual platform::BOOL GetFileName(char* out);
  // Moves to the signed 64-bit distance high:low from origin. 0 on failure.
  virtual platform::BOOL Seek(platform::LONG distanceLow, platform::LONG distanceHigh, int origin);
  // The current position, -1 when not open or on failure.
  virtual std::int64_t GetPosition();
  // Seeks first unless origin is 1 with distance 0; returns bytes moved
  // (at most INT_MAX per call).
  virtual int Read(void* buffer, platform::DWORD count, platform::LONG distanceLow,
                   platform::LONG distanceHigh, int origin);
  virtual int Write(const void* buffer, platform::DWORD count, platform::LONG distanceLow,
                    platform::LONG distanceHigh, int origin);
  virtual void Close();
  // Closes and removes the file. 0 when not open.
  virtual platform::BOOL Delete();
  // Makes the current position the end of the file.
  virtual platform::BOOL SetEnd();

  bool IsOpen() const { return handle_ != platform::INVALID_HANDLE_VALUE; }

  // A short human-readable text for a system error code, for failure reasons.
  static const char* ErrorText(platform::DWORD error);

 protected:
  platform::HANDLE handle_;
  char path_[kPathSize];
};

}  // namespace pc50
