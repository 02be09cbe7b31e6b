#include "device/packbits.h"

#include <cstring>

#include "platform/diagnostics.h"

namespace pc50 {
namespace {

constexpr int kMaxPacket = 128;

// Word-at-a-time scanning reads 8 bytes at once and needs the first byte in
// memory to be the lowest byte of the word.
#if defined(__BYTE_ORDER__) && defined(__ORDER_LITTLE_ENDIAN__) && \
    __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr bool kWordScan = true;
#elif defined(_M_X64) || defined(_M_IX86) || defined(_M_ARM64)
constexpr bool kWordScan = true;
#else
constexpr bool kWordScan = false;
#endif

constexpr std::uint64_t kLowBits = 0x0101010101010101ull;
constexpr std::uint64_t kHighBits = 0x8080808080808080ull;

inline std::uint64_t Load64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Index of the lowest set bit; v must not be 0.
inline int LowestBit(std::uint64_t v) {
#if defined(__GNUC__)
  return __builtin_ctzll(v);
#else
  int n = 0;
  while ((v & 1) == 0) {
    v >>= 1;
    ++n;
  }
  return n;
#endif
}

// Memory index (0..7) of the first zero byte of v, or 8 when it has none.
// Borrows can only flag bytes above a true zero byte, so the lowest flag is
// exact.
inline int FirstZeroByte(std::uint64_t v) {
  const std::uint64_t flags = (v - kLowBits) & ~v & kHighBits;
  return flags == 0 ? 8 : LowestBit(flags) >> 3;
}

// First k >= from with k < length - 2 and in[k] == in[k+1] == in[k+2];
// length - 2 when there is none.
int FindTriple(const std::uint8_t* in, int from, int length) {
  const int limit = length - 2;
  int k = from;
  if (kWordScan) {
    // Reads in[k .. k+9]; every position k+0..k+7 is below limit.
    for (; k + 10 <= length; k += 8) {
      const std::uint64_t a = Load64(in + k);
      const std::uint64_t b = Load64(in + k + 1);
      const std::uint64_t c = Load64(in + k + 2);
      const int hit = FirstZeroByte((a ^ b) | (b ^ c));
      if (hit < 8) return k + hit;
    }
  }
  for (; k < limit; ++k) {
    if (in[k] == in[k + 1] && in[k + 1] == in[k + 2]) return k;
  }
  return limit < from ? from : limit;
}

// End (exclusive) of the run of in[from] that starts at from.
int FindRunEnd(const std::uint8_t* in, int from, int length) {
  const std::uint8_t value = in[from];
  int k = from + 1;
  if (kWordScan) {
    const std::uint64_t pattern = kLowBits * value;
    for (; k + 8 <= length; k += 8) {
      const std::uint64_t diff = Load64(in + k) ^ pattern;
      if (diff != 0) return k + (LowestBit(diff) >> 3);
    }
  }
  while (k < length && in[k] == value) ++k;
  return k;
}

std::uint8_t* EmitLiteral(std::uint8_t* out, const std::uint8_t* in, int count) {
  while (count > kMaxPacket) {
    *out++ = kMaxPacket - 1;
    std::memcpy(out, in, kMaxPacket);
    out += kMaxPacket;
    in += kMaxPacket;
    count -= kMaxPacket;
  }
  if (count > 0) {
    *out++ = static_cast<std::uint8_t>(count - 1);
    std::memcpy(out, in, static_cast<std::size_t>(count));
    out += count;
  }
  return out;
}

// Copies n bytes without writing past dst + n. Packets are mostly short,
// and a call of the library's memcpy per packet costs more than the copy:
// up to 32 bytes go as two overlapping fixed-size moves.
inline void CopyPacket(std::uint8_t* dst, const std::uint8_t* src, int n) {
  if (n >= 16) {
    if (n > 32) {
      std::memcpy(dst, src, static_cast<std::size_t>(n));
      return;
    }
    std::uint8_t head[16], tail[16];
    std::memcpy(head, src, 16);
    std::memcpy(tail, src + n - 16, 16);
    std::memcpy(dst, head, 16);
    std::memcpy(dst + n - 16, tail, 16);
  } else if (n >= 8) {
    const std::uint64_t head = Load64(src), tail = Load64(src + n - 8);
    std::memcpy(dst, &head, 8);
    std::memcpy(dst + n - 8, &tail, 8);
  } else if (n >= 4) {
    std::uint32_t head, tail;
    std::memcpy(&head, src, 4);
    std::memcpy(&tail, src + n - 4, 4);
    std::memcpy(dst, &head, 4);
    std::memcpy(dst + n - 4, &tail, 4);
  } else {
    for (int k = 0; k < n; ++k) dst[k] = src[k];
  }
}

// Sets n bytes to value without writing past dst + n.
inline void FillPacket(std::uint8_t* dst, std::uint8_t value, int n) {
  if (n < 8 || n > 32) {
    std::memset(dst, value, static_cast<std::size_t>(n));
    return;
  }
  const std::uint64_t pattern = kLowBits * value;
  for (int k = 0; k + 8 <= n; k += 8) std::memcpy(dst + k, &pattern, 8);
  std::memcpy(dst + n - 8, &pattern, 8);
}

}  // namespace

int PackBitsEncode(std::uint8_t* out, const std::uint8_t* in, int length) {
  if (length <= 0) return 0;
  std::uint8_t* o = out;
  int start = 0;  // first byte not yet encoded
  int i = 0;      // scan position
  while (i < length - 2) {
    // With nothing pending two equal bytes make a run; otherwise three.
    if (i != start || in[i] != in[i + 1]) {
      i = FindTriple(in, i == start ? i + 1 : i, length);
      if (i >= length - 2) break;
    }
    o = EmitLiteral(o, in + start, i - start);
    const int end = FindRunEnd(in, i, length);
    const std::uint8_t value = in[i];
    int remaining = end - i;
    while (remaining > kMaxPacket) {
      *o++ = 0x81;
      *o++ = value;
      remaining -= kMaxPacket;
    }
    if (remaining >= 2) {
      *o++ = static_cast<std::uint8_t>(1 - remaining);
      *o++ = value;
      remaining = 0;
    }
    // A single leftover byte opens the next literal.
    start = end - remaining;
    i = end;
  }
  o = EmitLiteral(o, in + start, length - start);
  return static_cast<int>(o - out);
}

bool UnpackBits(const std::uint8_t* src, int srcLength, std::uint8_t* dst, int dstCapacity,
                int* outLength) {
  const int capacity = dstCapacity < 0 ? 0 : dstCapacity;
  bool ok = true;
  int i = 0;
  int j = 0;
  while (i < srcLength) {
    const int control = static_cast<std::int8_t>(src[i]);
    if (control == -128) {
      ++i;
      continue;
    }
    if (control < 0) {
      const int count = 1 - control;
      if (i + 1 >= srcLength) {
        ok = Fail("packed row of %d bytes ends inside a repeat packet at byte %d", srcLength, i);
        break;
      }
      if (count > capacity - j) {
        ok = Fail("packed row unpacks to more than %d bytes (repeat at byte %d)", capacity, i);
        break;
      }
      FillPacket(dst + j, src[i + 1], count);
      j += count;
      i += 2;
    } else {
      const int count = control + 1;
      if (count > srcLength - i - 1) {
        ok = Fail("packed row of %d bytes ends inside a literal of %d bytes at byte %d", srcLength,
                  count, i);
        break;
      }
      if (count > capacity - j) {
        ok = Fail("packed row unpacks to more than %d bytes (literal at byte %d)", capacity, i);
        break;
      }
      CopyPacket(dst + j, src + i + 1, count);
      j += count;
      i += count + 1;
    }
  }
  if (j < capacity) dst[j] = 0;
  if (outLength != nullptr) *outLength = j;
  return ok;
}

}  // namespace pc50
