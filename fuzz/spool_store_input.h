// The input language of the spool store fuzzer, shared with the seed corpus
// generator so that seeds say what they mean.
//
// layout   chunk0 (byte % 3: 0 absent, 1 tiny of byte / 3 % 40 bytes,
//          2 exactly one chunk size), chunks 1..4 (byte % 4 == 0 absent,
//          else byte / 4 % 32 bytes), far index (5 + byte % 251), far size
//          (odd: present with byte / 2 % 16 bytes)
// session  up to 12 operations, then a byte whose bit 0 asks for an
//          explicit Close (otherwise the destructor closes). Three sessions
//          follow the layout: modes 0, 2, 0.
//
// Operation bytes (code % 10) and their arguments:
//   kSeek        distance, origin
//   kRead        distance, origin, count
//   kReadOn      count (sequential: distance 0 from the current position)
//   kWrite       distance, origin, count code, data seed
//   kSetEnd      -
//   kChunkName   k + 8, 0xFF adds 256
//   kReopen      - (Close, then Open in the session's mode)
//   kDelete      - (read-write sessions only)
//   kEnd         -
// distance: kind byte, small byte [, u16 for kShifted]; the kind's high
//   nibble (0..3) is the chunk c of the near kinds, or the shift of kShifted.
// count (reads): byte with bit 7 set, then u16 (& 0x1FFF); else one byte.
// count code (writes): 0xFF is 2^31 (refused); bit 7 set: (code & 0x7F) * 8;
//   else the code itself.
#pragma once

#include <cstdint>

namespace pc50::fuzz::spool_input {

enum Op : std::uint8_t {
  kSeek = 0,
  kRead = 1,
  kReadOn = 2,
  kWrite = 3,
  kSetEnd = 5,
  kChunkName = 6,
  kReopen = 7,
  kDelete = 8,
  kEnd = 9,
};

// Distance kinds (low nibble of the kind byte).
enum Distance : std::uint8_t {
  kSmall = 0,        // small
  kInChunk = 3,      // c * S + small
  kBeforeEnd = 5,    // (c + 1) * S - 1 - small
  kBack = 7,         // -small
  kBackChunks = 8,   // -(c * S + small)
  kShifted = 9,      // u16 << high nibble
  kNearLimit = 10,   // largest size - 1 - small
  kPastLimit = 11,   // largest size + small
  kHugeUp = 12,      // INT64_MAX - small
  kHugeDown = 13,    // INT64_MIN + small
};

constexpr int kMaxOps = 12;

}  // namespace pc50::fuzz::spool_input
