// PackBits, the run-length scheme of TIFF and of PCL raster compression
// method 2. The decoder accepts any PackBits stream; the encoder makes fixed
// packet choices so that a given row always produces the same bytes.
#pragma once

#include <cstdint>

namespace pc50 {

// Largest output PackBitsEncode can produce for n input bytes: one count byte
// per 128 literal bytes on top of the data.
constexpr int PackBitsWorstCase(int n) { return n <= 0 ? 0 : n + n / 128 + (n % 128 != 0); }

// Encodes in[0 .. length) into out and returns the number of bytes written.
// REQUIRES: out holds PackBitsWorstCase(length) bytes; length >= 0. Bytes
// of out past the returned length may be overwritten.
// Two equal bytes start a repeat packet only when no literal bytes are
// pending, otherwise three are needed; runs longer than 128 are split into
// 128-copy packets and a single leftover byte opens the next literal. The
// last two input bytes never start a run of their own.
// Finds runs with SSE2 compares where the target has them.
int PackBitsEncode(std::uint8_t* out, const std::uint8_t* in, int length);

// The same packets, found a word at a time on every target (what
// PackBitsEncode uses without SSE2); kept callable so that the two can be
// compared.
int PackBitsEncodeScalar(std::uint8_t* out, const std::uint8_t* in, int length);

// True when src[0 .. srcLength) holds exactly the packets PackBitsEncode
// makes of the rowLength bytes they unpack to: such a row can be sent as it
// is, without unpacking and packing it again. Reads only src[0 .. srcLength);
// false for anything else, a damaged row included.
bool PackBitsIsCanonical(const std::uint8_t* src, int srcLength, int rowLength);

// Decodes src[0 .. srcLength) into dst. Control byte -128 is skipped, -127..-1
// repeats the next byte 2..128 times, 0..127 copies the next 1..128 bytes.
// A zero byte is written after the output when it fits (it is not counted).
// Stores the decoded length through outLength (when not null) and returns
// true. Returns false, with a reason, when the output would exceed
// dstCapacity or a packet runs past the end of the input; outLength then
// holds the bytes decoded before the bad packet. Never writes past
// dst[dstCapacity - 1], but may overwrite bytes after the output and its
// zero up to there.
bool UnpackBits(const std::uint8_t* src, int srcLength, std::uint8_t* dst, int dstCapacity,
                int* outLength);

}  // namespace pc50
