// Reading little-endian fields out of byte records.
#pragma once

#include <cstdint>
#include <cstring>

namespace pc50 {

inline std::uint16_t LoadU16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::int16_t LoadI16(const std::uint8_t* p) { return static_cast<std::int16_t>(LoadU16(p)); }
inline std::uint32_t LoadU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::int64_t LoadI64(const std::uint8_t* p) {
  const std::uint64_t lo = LoadU32(p);
  const std::uint64_t hi = LoadU32(p + 4);
  return static_cast<std::int64_t>(lo | (hi << 32));
}
inline float LoadF32(const std::uint8_t* p) {
  const std::uint32_t bits = LoadU32(p);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}
inline double LoadF64(const std::uint8_t* p) {
  const std::uint64_t bits = static_cast<std::uint64_t>(LoadI64(p));
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

}  // namespace pc50
