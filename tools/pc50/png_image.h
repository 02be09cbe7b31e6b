// PNG input: any PNG file read as 8-bit RGBA (libpng converts palette,
// grayscale and 16-bit images).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pc50::cli {

struct RgbaImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;  // 4 bytes a pixel, rows top to bottom

  const std::uint8_t* At(int x, int y) const {
    return pixels.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                            static_cast<std::size_t>(x)) * 4;
  }
};

// The largest image the tool takes, in pixels (width x height).
constexpr std::uint64_t kMaxImagePixels = 64u << 20;

// Reads the PNG file at path. Throws Failure naming the file and what was
// wrong (missing, not a PNG, damaged, too large).
RgbaImage ReadPng(const std::string& path);

}  // namespace pc50::cli
