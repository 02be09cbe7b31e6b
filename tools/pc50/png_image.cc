#include "png_image.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "errors.h"

namespace pc50::cli {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

std::string Reason(const png_image& image) {
  return image.message[0] != '\0' ? std::string(image.message) : std::string("not a readable PNG");
}

}  // namespace

RgbaImage ReadPng(const std::string& path) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) throw Failure("cannot open " + path + ": " + std::strerror(errno));

  png_byte signature[8] = {};
  const std::size_t got = std::fread(signature, 1, sizeof signature, file.get());
  if (got != sizeof signature || png_sig_cmp(signature, 0, sizeof signature) != 0) {
    throw Failure(path + ": not a PNG image (no PNG signature)");
  }
  std::rewind(file.get());

  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_stdio(&image, file.get())) {
    const std::string reason = Reason(image);
    png_image_free(&image);
    throw Failure(path + ": not a PNG image (" + reason + ")");
  }
  const std::uint64_t pixels = static_cast<std::uint64_t>(image.width) * image.height;
  if (image.width == 0 || image.height == 0 || pixels > kMaxImagePixels) {
    png_image_free(&image);
    throw Failure(path + ": image of " + std::to_string(image.width) + "x" +
                  std::to_string(image.height) + " pixels is outside what the tool takes (1.." +
                  std::to_string(kMaxImagePixels) + " pixels)");
  }
  image.format = PNG_FORMAT_RGBA;
  RgbaImage out;
  out.width = static_cast<int>(image.width);
  out.height = static_cast<int>(image.height);
  out.pixels.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, out.pixels.data(), 0, nullptr)) {
    const std::string reason = Reason(image);
    png_image_free(&image);
    throw Failure(path + ": damaged PNG image (" + reason + ")");
  }
  return out;
}

}  // namespace pc50::cli
