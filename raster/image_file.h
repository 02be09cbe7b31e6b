// Document files as the raster step reads them: the type from the content
// (PNG, JPEG, PDF), PNG and JPEG images as 8-bit RGBA, and the placement of
// an image of any size on the printable area.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pc50::raster {

struct RgbaImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;  // 4 bytes a pixel, rows top to bottom

  const std::uint8_t* At(int x, int y) const {
    return pixels.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                            static_cast<std::size_t>(x)) * 4;
  }
};

// The largest image the raster step takes, in pixels (width x height); a
// file that declares more is refused before it is decoded.
constexpr std::uint64_t kMaxImagePixels = 64u << 20;

enum class DocumentType { kPng, kJpeg, kPdf };

// The type of the file at path from its first bytes. Throws Error naming
// the file when it cannot be read or is none of the three.
DocumentType DetectDocumentType(const std::string& path);

// Reads the PNG (or JPEG) file at path. Throws Error naming the file and
// what was wrong (missing, not that type, damaged, too large).
RgbaImage ReadPng(const std::string& path);
RgbaImage ReadJpeg(const std::string& path);
// PNG or JPEG by content.
RgbaImage ReadImage(const std::string& path);

enum class Scaling {
  kNone,  // one image pixel per device pixel
  kFit,   // as large as fits the area, whole, centred
  kFill,  // covers the area, centred, the overflow cut off
};

// The image placed on an area of width x height device pixels (white
// paper around it) for kFit and kFill; kNone returns the image as it is.
// Downscaling averages the source area under each pixel; upscaling takes
// the nearest pixel's share the same way.
RgbaImage Place(const RgbaImage& image, Scaling scaling, int width, int height);

}  // namespace pc50::raster
