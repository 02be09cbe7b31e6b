// A host record seen as bytes: fields are read and written at fixed offsets
// only, whatever the host's own declaration of the record looks like.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace pc50 {

class HostRecord {
 public:
  explicit HostRecord(void* record) : bytes_(static_cast<std::uint8_t*>(record)) {}

  std::int16_t I16(std::size_t offset) const {
    std::int16_t value;
    std::memcpy(&value, bytes_ + offset, sizeof value);
    return value;
  }
  std::int32_t I32(std::size_t offset) const {
    std::int32_t value;
    std::memcpy(&value, bytes_ + offset, sizeof value);
    return value;
  }
  // Stores the low 16 bits.
  void SetI16(std::size_t offset, std::int32_t value) {
    const auto low = static_cast<std::int16_t>(static_cast<std::uint16_t>(value & 0xFFFF));
    std::memcpy(bytes_ + offset, &low, sizeof low);
  }
  void SetI32(std::size_t offset, std::int32_t value) { std::memcpy(bytes_ + offset, &value, sizeof value); }

  const char* Text(std::size_t offset) const { return reinterpret_cast<const char*>(bytes_ + offset); }
  char* Bytes(std::size_t offset) { return reinterpret_cast<char*>(bytes_ + offset); }
  void GetBytes(std::size_t offset, void* out, std::size_t count) const { std::memcpy(out, bytes_ + offset, count); }
  void SetBytes(std::size_t offset, const void* in, std::size_t count) { std::memcpy(bytes_ + offset, in, count); }

 private:
  std::uint8_t* bytes_;
};

}  // namespace pc50
