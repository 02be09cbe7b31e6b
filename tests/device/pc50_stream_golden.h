// Golden PC-50 streams for tests, put together by hand from the printer's
// command strings, and a byte-for-byte comparison that shows where two
// streams part.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <string>

namespace pc50::stream_golden {

struct Stream {
  std::string bytes;

  Stream& Add(const std::string& text) {
    bytes += text;
    return *this;
  }
  Stream& PageHeader(long plotX, long plotY, int dpi) {
    return Add("\x1b" "E" "\x1b%0BBP5,1;PS" + std::to_string(plotY) + "," + std::to_string(plotX) +
               ";\x1b%1A\x1b*t" + std::to_string(dpi) + "R");
  }
  Stream& PlaneHeader(int colourCode, int method, int blankRows) {
    Add("\x1b%0BPU;PA0,0;!CL" + std::to_string(colourCode) + ";\x1b%1A");
    Add(std::string("\x1b*v6W\0\0\x01\x01\x01\x01", 11));
    Add("\x1b&a1N");
    // Palette index bit 0 prints black, bits 1 to 3 cyan, magenta, yellow;
    // each ink takes its share away from white.
    for (int i = 0; i < 16; ++i) {
      const bool black = i & 1, cyan = i & 2, magenta = i & 4, yellow = i & 8;
      Add("\x1b*v" + std::to_string(!(black || cyan)) + "a" + std::to_string(!(black || magenta)) + "b" +
          std::to_string(!(black || yellow)) + "c" + std::to_string(i) + "I");
    }
    Add("\x1b*b" + std::to_string(method) + "M");
    for (int i = 0; i < blankRows; ++i) Add("\x1b*b0W");
    return *this;
  }
  Stream& Row(char letter, const std::string& data) {
    return Add("\x1b*b" + std::to_string(data.size()) + letter + data);
  }
  Stream& EndRaster() { return Add("\x1b*rC"); }
  Stream& NextPage() { return Add("\x1b%0BPU;PG;"); }
  Stream& Reset() { return Add("\x1b" "E"); }
};

inline std::string Show(const std::string& bytes, std::size_t at) {
  std::string out;
  const std::size_t from = at > 24 ? at - 24 : 0;
  for (std::size_t i = from; i < bytes.size() && i < at + 24; ++i) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (i == at) out += "[";
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
    if (i == at) out += "]";
  }
  return out;
}

inline void ExpectStream(const std::string& actual, const std::string& expected) {
  if (actual == expected) return;
  std::size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  ADD_FAILURE() << "streams differ at offset " << at << " (" << actual.size() << " bytes, expected "
                << expected.size() << ")\n  actual:   " << Show(actual, at) << "\n  expected: " << Show(expected, at);
}

}  // namespace pc50::stream_golden
