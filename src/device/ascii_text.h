// Small text helpers for the device: ASCII case folding that does not depend
// on the C locale, and bounded copies into fixed-size fields.
#pragma once

#include <cstddef>
#include <cstring>

namespace pc50 {

inline char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// True when a and b hold the same text up to ASCII case. Null equals nothing.
inline bool EqualsIgnoringCase(const char* a, const char* b) {
  if (a == nullptr || b == nullptr) return false;
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (AsciiLower(*a) != AsciiLower(*b)) return false;
  }
  return *a == *b;
}

// Copies text into out (capacity bytes, capacity > 0), cutting it short when
// needed; out is always terminated. Returns false when text was cut.
inline bool CopyText(char* out, std::size_t capacity, const char* text) {
  const std::size_t length = text ? std::strlen(text) : 0;
  const std::size_t copied = length < capacity ? length : capacity - 1;
  if (copied > 0) std::memcpy(out, text, copied);
  out[copied] = '\0';
  return copied == length;
}

}  // namespace pc50
