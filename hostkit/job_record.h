// The host's PrintJobInfo record for the module's C entry points, as a byte
// buffer: the module reads and writes it only at the offsets of
// pc50::print_job_info. Header-only and portable (the Windows test hosts
// compile it with MinGW).
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "pc50/pc50.h"

namespace pc50::hostkit {

class JobRecord {
 public:
  // Room of the two paths, terminator included.
  static constexpr std::size_t kSpoolPathRoom = print_job_info::kParentWindow - print_job_info::kSpoolPath;
  static constexpr std::size_t kOutputPathRoom = print_job_info::kBytesConsumed - print_job_info::kOutputPath;

  JobRecord() : bytes_(2048, 0) {}

  PrintJobInfo* get() { return reinterpret_cast<PrintJobInfo*>(bytes_.data()); }

  // Stores text with its terminator; false (nothing stored) when it does
  // not fit in room bytes.
  bool SetText(std::size_t offset, const std::string& text, std::size_t room) {
    if (text.size() + 1 > room || offset + room > bytes_.size()) return false;
    std::memcpy(&bytes_[offset], text.c_str(), text.size() + 1);
    return true;
  }
  bool SetSpoolPath(const std::string& path) { return SetText(print_job_info::kSpoolPath, path, kSpoolPathRoom); }
  bool SetOutputPath(const std::string& path) {
    return SetText(print_job_info::kOutputPath, path, kOutputPathRoom);
  }

  std::string Text(std::size_t offset, std::size_t room) const {
    const char* start = reinterpret_cast<const char*>(&bytes_[offset]);
    const void* end = std::memchr(start, 0, room);
    return std::string(start, end ? static_cast<const char*>(end) - start : room);
  }

  void SetI16(std::size_t offset, std::int16_t value) { std::memcpy(&bytes_[offset], &value, 2); }
  void SetI32(std::size_t offset, std::int32_t value) { std::memcpy(&bytes_[offset], &value, 4); }
  std::int16_t I16(std::size_t offset) const {
    std::int16_t value;
    std::memcpy(&value, &bytes_[offset], 2);
    return value;
  }
  std::int32_t I32(std::size_t offset) const {
    std::int32_t value;
    std::memcpy(&value, &bytes_[offset], 4);
    return value;
  }

 private:
  std::vector<std::uint8_t> bytes_;
};

}  // namespace pc50::hostkit
