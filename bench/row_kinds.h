// Raster rows of three kinds for the codec benchmarks: mostly blank (short
// marks of text or line art on white), dithered photo-like (solid runs in
// highlights and shadows, patterns in the mid-tones) and the worst case for
// run-length coding, alternating bytes.
#pragma once

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace pc50::bench {

using Bytes = std::vector<std::uint8_t>;

enum RowKind { kBlank = 0, kDithered = 1, kAlternating = 2 };

inline const char* KindName(int kind) {
  return kind == kBlank ? "blank" : kind == kDithered ? "dithered" : "alternating";
}

// Row y of an image of the given kind, width bytes wide.
inline Bytes MakeRow(int kind, int width, int y = 0) {
  Bytes row(static_cast<std::size_t>(width), 0);
  std::mt19937 rng(12345u + static_cast<unsigned>(width) * 31u + static_cast<unsigned>(y));
  switch (kind) {
    case kBlank: {
      std::uniform_int_distribution<int> gap(20, 120);
      std::uniform_int_distribution<int> mark(1, 6);
      std::uniform_int_distribution<int> bits(1, 255);
      for (int x = gap(rng); x < width; x += gap(rng)) {
        for (int k = mark(rng); k > 0 && x < width; --k, ++x) {
          row[static_cast<std::size_t>(x)] = static_cast<std::uint8_t>(bits(rng));
        }
      }
      break;
    }
    case kDithered: {
      // A 1-bit plane of a smooth image with grain, dithered by a 4x4 Bayer
      // threshold.
      static const int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
      std::normal_distribution<double> grain(0.0, 0.08);
      for (int x = 0; x < width; ++x) {
        int byte = 0;
        for (int b = 0; b < 8; ++b) {
          const int pixel = x * 8 + b;
          const double tone = 0.5 + 0.6 * std::sin(pixel / 900.0 + y / 300.0) * std::cos(pixel / 2300.0) + grain(rng);
          const double threshold = (kBayer[y & 3][pixel & 3] + 0.5) / 16.0 + 0.25;
          byte = (byte << 1) | (tone > threshold ? 1 : 0);
        }
        row[static_cast<std::size_t>(x)] = static_cast<std::uint8_t>(byte);
      }
      break;
    }
    default:
      for (int x = 0; x < width; ++x) row[static_cast<std::size_t>(x)] = (x & 1) ? 0x55 : 0xAA;
  }
  return row;
}

// rows rows of the kind, one after the other in one buffer.
inline Bytes MakeImage(int kind, int width, int rows) {
  Bytes image;
  image.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(rows));
  for (int y = 0; y < rows; ++y) {
    const Bytes row = MakeRow(kind, width, y);
    image.insert(image.end(), row.begin(), row.end());
  }
  return image;
}

}  // namespace pc50::bench
