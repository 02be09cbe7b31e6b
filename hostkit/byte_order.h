// Little-endian field access for the byte images the host kit builds. Puts
// grow the buffer when the field reaches past its end, so a test can also
// use them to damage or extend a job before it is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

namespace pc50::hostkit {

using Bytes = std::vector<std::uint8_t>;

namespace detail {

template <std::size_t N>
struct UnsignedOfSize;
template <>
struct UnsignedOfSize<1> {
  using type = std::uint8_t;
};
template <>
struct UnsignedOfSize<2> {
  using type = std::uint16_t;
};
template <>
struct UnsignedOfSize<4> {
  using type = std::uint32_t;
};
template <>
struct UnsignedOfSize<8> {
  using type = std::uint64_t;
};

}  // namespace detail

// Stores value at offset, least significant byte first.
template <typename T>
void PutLE(Bytes& bytes, std::size_t offset, T value) {
  static_assert(std::is_arithmetic_v<T>, "numbers only");
  using U = typename detail::UnsignedOfSize<sizeof(T)>::type;
  U bits;
  std::memcpy(&bits, &value, sizeof bits);
  if (bytes.size() < offset + sizeof(T)) bytes.resize(offset + sizeof(T));
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    bytes[offset + i] = static_cast<std::uint8_t>(bits >> (8 * i));
  }
}

// Appends value, least significant byte first.
template <typename T>
void AppendLE(Bytes& bytes, T value) {
  PutLE(bytes, bytes.size(), value);
}

// Reads a value stored at offset. REQUIRES: offset + sizeof(T) <= size.
template <typename T>
T GetLE(const Bytes& bytes, std::size_t offset) {
  static_assert(std::is_arithmetic_v<T>, "numbers only");
  using U = typename detail::UnsignedOfSize<sizeof(T)>::type;
  U bits = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    bits |= static_cast<U>(static_cast<U>(bytes[offset + i]) << (8 * i));
  }
  T value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

}  // namespace pc50::hostkit
