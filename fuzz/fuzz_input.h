// Reads a fuzzer's input as a stream of small decisions. Past the end every
// read gives 0, so a short input is still a complete (if dull) program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace pc50::fuzz {

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool Empty() const { return at_ >= size_; }
  std::size_t Remaining() const { return at_ < size_ ? size_ - at_ : 0; }

  std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::uint16_t U16() {
    const std::uint16_t low = Byte();
    return static_cast<std::uint16_t>(low | (Byte() << 8));
  }
  std::uint32_t U32() {
    const std::uint32_t low = U16();
    return low | (static_cast<std::uint32_t>(U16()) << 16);
  }
  // The rest of the input.
  const std::uint8_t* Rest(std::size_t* size) {
    *size = Remaining();
    const std::uint8_t* rest = data_ + (at_ < size_ ? at_ : size_);
    at_ = size_;
    return rest;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

// A broken promise of the code under test: report and stop the run, so the
// input is kept as a crash.
[[noreturn]] inline void Violation(const char* what, long long a = 0, long long b = 0) {
  std::fprintf(stderr, "fuzz check failed: %s (%lld, %lld)\n", what, a, b);
  std::abort();
}

inline void Check(bool condition, const char* what, long long a = 0, long long b = 0) {
  if (!condition) Violation(what, a, b);
}

}  // namespace pc50::fuzz
