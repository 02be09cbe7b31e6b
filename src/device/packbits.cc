#include "device/packbits.h"

#include <cstring>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define PC50_PACKBITS_SSE2 1
#else
#define PC50_PACKBITS_SSE2 0
#endif

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

// Literal packets of 128 bytes while more are pending, then the rest.
inline std::uint8_t* EmitLiteral(std::uint8_t* out, const std::uint8_t* in, int count) {
  while (count > kMaxPacket) {
    *out++ = kMaxPacket - 1;
    std::memcpy(out, in, kMaxPacket);
    out += kMaxPacket;
    in += kMaxPacket;
    count -= kMaxPacket;
  }
  if (count > 0) {
    *out++ = static_cast<std::uint8_t>(count - 1);
    CopyPacket(out, in, count);
    out += count;
  }
  return out;
}

// Run finding a word at a time, for every target.
class WordScanner {
 public:
  WordScanner(const std::uint8_t* in, int length) : in_(in), length_(length) {}
  int FindTriple(int from) const { return pc50::FindTriple(in_, from, length_); }
  int FindRunEnd(int from) const { return pc50::FindRunEnd(in_, from, length_); }

 private:
  const std::uint8_t* in_;
  int length_;
};

#if PC50_PACKBITS_SSE2
// Bit k: p[k] == p[k + 1], for k = 0..63; reads p[0 .. 64].
inline std::uint64_t EqualBits64(const std::uint8_t* p) {
  std::uint64_t bits = 0;
  for (int t = 0; t < 4; ++t) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * t));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * t + 1));
    bits |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, b))))
            << (16 * t);
  }
  return bits;
}

// Run finding 64 positions at a time: SSE2 compares of each byte with the
// next give a bit per position; runs and triples are then found with shifts
// and bit scans. Positions only move forward, so the bits of two blocks of
// 64 are kept and each byte is compared about once.
class VectorScanner {
 public:
  VectorScanner(const std::uint8_t* in, int length) : in_(in), length_(length) { Reload(0); }

  // First k >= from with in[k] == in[k+1] == in[k+2] and k < length - 2;
  // length when there is none.
  int FindTriple(int from) {
    for (;;) {
      if (from - base_ >= 64) Seek(from);
      const std::uint64_t triples = equal0_ & ((equal0_ >> 1) | (equal1_ << 63));
      const std::uint64_t found = triples >> (from - base_);
      if (found != 0) return from + LowestBit(found);
      from = base_ + 64;
      if (from >= length_ - 2) return length_;
    }
  }

  // End (exclusive) of the run of in[from] that starts at from.
  int FindRunEnd(int from) {
    if (from - base_ >= 64) Seek(from);
    const std::uint64_t ends = ~equal0_ >> (from - base_);
    if (ends != 0) return from + LowestBit(ends) + 1;
    if (~equal1_ != 0) return base_ + 64 + LowestBit(~equal1_) + 1;
    // A run of more than 64 bytes: compare with the value directly.
    const std::uint8_t value = in_[from];
    const __m128i pattern = _mm_set1_epi8(static_cast<char>(value));
    int k = base_ + 128;
    for (; k + 16 <= length_; k += 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in_ + k));
      const unsigned differ = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, pattern))) ^ 0xFFFFu;
      if (differ != 0) return k + LowestBit(differ);
    }
    while (k < length_ && in_[k] == value) ++k;
    return k;
  }

 private:
  // Bit k: in[at+k] == in[at+k+1], zero where at+k+1 is past the row.
  std::uint64_t EqualBits(int at) const {
    if (at + 65 <= length_) return EqualBits64(in_ + at);
    const int n = length_ - at;
    if (n <= 1) return 0;
    // Near the end of a long row: the block that ends with the row, shifted.
    if (length_ >= 65) return EqualBits64(in_ + length_ - 65) >> (65 - n);
    std::uint8_t tail[80] = {};
    std::memcpy(tail, in_ + at, static_cast<std::size_t>(n));
    return EqualBits64(tail) & ((std::uint64_t{1} << (n - 1)) - 1);
  }

  void Reload(int at) {
    base_ = at;
    equal0_ = EqualBits(at);
    equal1_ = EqualBits(at + 64);
  }

  // Makes from lie in the first block.
  void Seek(int from) {
    if (from - base_ >= 128) {
      Reload(from);
      return;
    }
    base_ += 64;
    equal0_ = equal1_;
    equal1_ = EqualBits(base_ + 64);
  }

  const std::uint8_t* in_;
  int length_;
  int base_ = 0;
  std::uint64_t equal0_ = 0;  // positions base .. base + 63
  std::uint64_t equal1_ = 0;  // positions base + 64 .. base + 127
};
#endif

// A literal of up to 32 bytes with 32 bytes readable after it and room for
// 33 in out goes as one fixed-size move; the bytes moved past its end are
// written over by the packets that follow or left unused in out.
inline std::uint8_t* EmitShortLiteral(std::uint8_t* out, const std::uint8_t* outEnd, const std::uint8_t* in,
                                      const std::uint8_t* inEnd, int count) {
  if (count <= 32 && outEnd - out >= 33 && inEnd - in >= 32) {
    std::uint8_t block[32];
    std::memcpy(block, in, 32);
    *out = static_cast<std::uint8_t>(count - 1);
    std::memcpy(out + 1, block, 32);
    return out + count + 1;
  }
  return EmitLiteral(out, in, count);
}

template <class Scanner>
int Encode(std::uint8_t* out, const std::uint8_t* in, int length) {
  if (length <= 0) return 0;
  Scanner scanner(in, length);
  const std::uint8_t* const outEnd = out + PackBitsWorstCase(length);
  const std::uint8_t* const inEnd = in + length;
  std::uint8_t* o = out;
  int start = 0;  // first byte not yet encoded
  int i = 0;      // scan position
  while (i < length - 2) {
    // With nothing pending two equal bytes make a run; otherwise three.
    if (i != start || in[i] != in[i + 1]) {
      i = scanner.FindTriple(i == start ? i + 1 : i);
      if (i >= length - 2) break;
    }
    if (i > start) o = EmitShortLiteral(o, outEnd, in + start, inEnd, i - start);
    const int end = scanner.FindRunEnd(i);
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

}  // namespace

int PackBitsEncodeScalar(std::uint8_t* out, const std::uint8_t* in, int length) {
  return Encode<WordScanner>(out, in, length);
}

int PackBitsEncode(std::uint8_t* out, const std::uint8_t* in, int length) {
#if PC50_PACKBITS_SSE2
  return Encode<VectorScanner>(out, in, length);
#else
  return Encode<WordScanner>(out, in, length);
#endif
}

namespace {

// Bit k of a window: src[base + k] == src[base + k + 1] == src[base + k + 2],
// for the 64 positions from base. Packets are checked in order, so the
// window only moves forward and each position is compared about once.
class TripleWindow {
 public:
  TripleWindow(const std::uint8_t* src, int length) : src_(src), length_(length) {}

  // True when a triple starts at some k in [from, from + count), count
  // positions inside the row's packets (from + count <= length - 2).
  bool Any(int from, int count) {
    if (count <= 0) return false;
    if (from < base_ || from + count > base_ + 64) {
      if (count > 64) return Any(from, 64) || Any(from + 64, count - 64);
      Load(from);
    }
    const std::uint64_t mask = count == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << count) - 1;
    return ((bits_ >> (from - base_)) & mask) != 0;
  }

 private:
  void Load(int at) {
    base_ = at;
    bits_ = 0;
    const std::uint8_t* p = src_ + at;
#if PC50_PACKBITS_SSE2
    if (at + 66 <= length_) {
      for (int t = 0; t < 4; ++t) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * t));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * t + 1));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * t + 2));
        const __m128i both = _mm_and_si128(_mm_cmpeq_epi8(a, b), _mm_cmpeq_epi8(b, c));
        bits_ |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(both))) << (16 * t);
      }
      return;
    }
#endif
    const int last = length_ - 2 - at < 64 ? length_ - 2 - at : 64;
    for (int k = 0; k < last; ++k) {
      if (p[k] == p[k + 1] && p[k + 1] == p[k + 2]) bits_ |= std::uint64_t{1} << k;
    }
  }

  const std::uint8_t* src_;
  int length_;
  int base_ = -64;  // nothing loaded yet
  std::uint64_t bits_ = 0;
};

}  // namespace

bool PackBitsIsCanonical(const std::uint8_t* src, int srcLength, int rowLength) {
  if (src == nullptr || srcLength < 0 || rowLength < 0) return srcLength == 0 && rowLength == 0;
  TripleWindow triples(src, srcLength);
  // What the packets so far end with. The conditions of each packet are
  // gathered into one flag, so that only the packet's kind and a failure
  // branch.
  bool afterLiteral = false;  // the last packet is a literal
  bool afterRun = false;      // the last packet is a repeat
  int lastLength = 0;         // bytes the last packet stands for
  int lastByte = -1;          // the last byte it stands for
  int beforeLast = -1;        // the byte before that, within a literal packet
  int chainLength = 0;        // bytes of the repeat packets of lastByte in a row
  int i = 0;
  int at = 0;  // bytes the packets so far stand for
  while (i < srcLength) {
    const int control = static_cast<std::int8_t>(src[i]);
    if (control >= 0) {
      const int count = control + 1;
      if (count > srcLength - i - 1 || count > rowLength - at) return false;
      const std::uint8_t* data = src + i + 1;
      const int first = data[0];
      const int second = data[count > 1 ? 1 : 0];
      const bool pair = count > 1 && first == second;
      // After a literal: pending bytes go out in packets of 128 and one
      // rest, and no three equal bytes span the boundary.
      bool bad = afterLiteral & ((lastLength != kMaxPacket) | ((beforeLast == lastByte) & (lastByte == first)) |
                                 (pair & (lastByte == first)));
      // Otherwise (the row's first packet or one after a run): a byte equal
      // to the run is its single leftover, which follows only a run of a
      // multiple of 128 bytes; two equal bytes with nothing pending start a
      // run, except as the row's last two bytes.
      const bool leftover = afterRun & (first == lastByte);
      bad |= leftover & (chainLength % kMaxPacket != 0);
      bad |= !afterLiteral & pair & (leftover | (at != rowLength - 2));
      // Three equal bytes inside a literal would have been a run.
      if (bad || triples.Any(i + 1, count - 2)) return false;
      afterLiteral = true;
      afterRun = false;
      lastLength = count;
      lastByte = data[count - 1];
      beforeLast = count > 1 ? data[count - 2] : -1;
      i += count + 1;
      at += count;
      continue;
    }
    const int count = 1 - control;
    if (control == -128 || i + 1 >= srcLength || count > rowLength - at) return false;
    const int value = src[i + 1];
    const bool continues = afterRun & (value == lastByte);
    // A run goes out in packets of 128 and one rest of at least two; it
    // starts at the first of its equal bytes; two equal bytes are a run
    // only with nothing pending and not as the row's last two bytes.
    const bool bad = (continues & (lastLength != kMaxPacket)) | (afterLiteral & (value == lastByte)) |
                     (!continues & (count == 2) & (afterLiteral | (at + 2 >= rowLength)));
    if (bad) return false;
    chainLength = continues ? chainLength + count : count;
    afterLiteral = false;
    afterRun = true;
    lastLength = count;
    lastByte = value;
    i += 2;
    at += count;
  }
  return at == rowLength;
}

bool UnpackBits(const std::uint8_t* src, int srcLength, std::uint8_t* dst, int dstCapacity,
                int* outLength) {
  const int capacity = dstCapacity < 0 ? 0 : dstCapacity;
  bool ok = true;
  int i = 0;
  int j = 0;
  while (i < srcLength) {
    const int control = static_cast<std::int8_t>(src[i]);
#if PC50_PACKBITS_SSE2
    // Packets of up to 32 bytes, with 32 bytes of room in dst and the
    // packet's next 32 bytes readable, are written as two 16-byte stores.
    // The stores may run past the packet into the room left (later packets
    // write over it), never past dst's capacity.
    if (i + 34 <= srcLength && j + 32 <= capacity) {
      if (control >= 0) {
        if (control < 32) {
          const __m128i head = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 1));
          const __m128i tail = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 17));
          _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + j), head);
          _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + j + 16), tail);
          i += control + 2;
          j += control + 1;
          continue;
        }
      } else if (control >= -31) {
        const __m128i fill = _mm_set1_epi8(static_cast<char>(src[i + 1]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + j), fill);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + j + 16), fill);
        i += 2;
        j += 1 - control;
        continue;
      }
    }
#endif
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
