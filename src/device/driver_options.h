// The PC-50's driver-option block and the text forms in which the host hands
// option values over ("DriverOption" and "DriverOptionBinary" strings) and in
// which the device describes its options for display.
//
// Block bytes: 0 tag (20 once initialised), 1 ribbon type (1 = one cartridge
// per colour, otherwise the four-colour ribbon), 2 print order for
// single-colour ribbons (0 = YMCK, otherwise CMYK). The rest has no meaning
// here.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pc50 {

constexpr std::uint8_t kDriverOptionTag = 20;
constexpr std::uint8_t kSingleColorRibbons = 1;
constexpr std::uint8_t kPrintOrderYMCK = 0;
// Block bytes carried by the nibble form (two characters each).
constexpr int kNibbleOptionBytes = 200;

// Sets bytes 0, 1, 2 of the block to the tag and the defaults (20, 1, 0);
// nothing else is touched.
void ResetDriverOptions(std::uint8_t* block);

// True when text holds the nibble form ("DriverOptionBinary"); null is false.
bool HasNibbleForm(const char* text);

// Nibble form: after the first "DriverOptionBinary" and the first "=" behind
// it, each pair of characters ('0' + high half, '0' + low half) gives the
// next of up to 200 block bytes, taken modulo 256. Decoding stops at the
// text's end: a short text leaves the remaining bytes unchanged and an odd
// last character is not used. Without the "=" nothing changes.
// REQUIRES: block holds at least 200 bytes.
void DecodeNibbleOptions(const char* text, std::uint8_t* block);

// Decimal form: a sequence of "DriverOption<n>...=<v>" assignments, numbers
// read like "%d" (leading blanks and a sign allowed). Option 0 sets the
// ribbon type (byte 1), option 1 the print order (byte 2), each to v modulo
// 256 (the exact residue, however many digits v has); a resulting 255 leaves
// the byte unchanged. Decoding stops silently at the first assignment that
// lacks a number, lacks its "=" (before the next "DriverOption"), or names
// another option; what was read before still applies. Byte 0 is never
// touched. REQUIRES: block holds at least 3 bytes.
void DecodeDecimalOptions(const char* text, std::uint8_t* block);

// Rewrites text in place: the k-th ':' becomes ':', '0' + indexes[k], ','
// (indexes beyond indexCount count as 0). A result longer than capacity - 1
// characters is cut there (a reason is recorded) and always terminated.
// Returns 1.
int InsertDefaultIndexes(char* text, std::size_t capacity, const std::uint8_t* indexes,
                         std::size_t indexCount);

// Writes the display description of the options, "Print Order:0,YMCK,CMYK;",
// into out (cut to capacity like InsertDefaultIndexes). Returns 1.
int DescribeDriverOptions(char* out, std::size_t capacity);

}  // namespace pc50
