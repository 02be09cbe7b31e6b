#include "image_file.h"

#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

#include "error.h"

namespace pc50::raster {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File Open(const std::string& path) {
  File file(std::fopen(path.c_str(), "rb"));
  if (!file) throw Error("cannot open " + path + ": " + std::strerror(errno));
  return file;
}

void CheckSize(const std::string& path, std::uint64_t width, std::uint64_t height) {
  if (width == 0 || height == 0 || width * height > kMaxImagePixels) {
    throw Error(path + ": image of " + std::to_string(width) + "x" + std::to_string(height) +
                " pixels is outside what the raster step takes (1.." + std::to_string(kMaxImagePixels) +
                " pixels)");
  }
}

std::string Reason(const png_image& image) {
  return image.message[0] != '\0' ? std::string(image.message) : std::string("not a readable PNG");
}

// libjpeg reports errors through a callback that must not return.
struct JpegError {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void OnJpegError(j_common_ptr info) {
  JpegError* error = reinterpret_cast<JpegError*>(info->err);
  (*info->err->format_message)(info, error->message);
  std::longjmp(error->jump, 1);
}

void IgnoreJpegMessage(j_common_ptr, int) {}

// Source pixels under each destination pixel along one axis, with weights
// that sum to one. Destination pixel d covers source [(d + offset) / scale,
// (d + offset + 1) / scale).
struct Span {
  int first = 0;
  std::vector<float> weights;
};

std::vector<Span> Spans(int destination, int source, double scale, double offset) {
  std::vector<Span> spans(static_cast<std::size_t>(destination));
  for (int d = 0; d < destination; ++d) {
    double from = (d + offset) / scale;
    double to = (d + offset + 1) / scale;
    from = std::clamp(from, 0.0, static_cast<double>(source));
    to = std::clamp(to, 0.0, static_cast<double>(source));
    if (to - from < 1e-9) {  // rounding at the edge: take the nearest pixel
      const int nearest = std::clamp(static_cast<int>(from), 0, source - 1);
      spans[d] = {nearest, {1.0f}};
      continue;
    }
    Span& span = spans[d];
    span.first = static_cast<int>(std::floor(from));
    const int last = std::min(source - 1, static_cast<int>(std::ceil(to)) - 1);
    for (int s = span.first; s <= last; ++s) {
      const double overlap = std::min(to, s + 1.0) - std::max(from, static_cast<double>(s));
      span.weights.push_back(static_cast<float>(std::max(0.0, overlap) / (to - from)));
    }
  }
  return spans;
}

}  // namespace

DocumentType DetectDocumentType(const std::string& path) {
  File file = Open(path);
  unsigned char head[1024] = {};
  const std::size_t got = std::fread(head, 1, sizeof head, file.get());
  if (got >= 8 && png_sig_cmp(head, 0, 8) == 0) return DocumentType::kPng;
  if (got >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF) return DocumentType::kJpeg;
  // A PDF may have bytes before its header; readers look in the first 1024.
  const unsigned char* end = head + got;
  static const unsigned char kPdf[] = {'%', 'P', 'D', 'F', '-'};
  if (std::search(static_cast<const unsigned char*>(head), end, kPdf, kPdf + 5) != end) return DocumentType::kPdf;
  throw Error(path + ": not a PNG image (nor a JPEG image or a PDF document)");
}

RgbaImage ReadPng(const std::string& path) {
  File file = Open(path);
  png_byte signature[8] = {};
  const std::size_t got = std::fread(signature, 1, sizeof signature, file.get());
  if (got != sizeof signature || png_sig_cmp(signature, 0, sizeof signature) != 0) {
    throw Error(path + ": not a PNG image (no PNG signature)");
  }
  std::rewind(file.get());

  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_stdio(&image, file.get())) {
    const std::string reason = Reason(image);
    png_image_free(&image);
    throw Error(path + ": not a PNG image (" + reason + ")");
  }
  if (image.width == 0 || image.height == 0 ||
      static_cast<std::uint64_t>(image.width) * image.height > kMaxImagePixels) {
    png_image_free(&image);
    CheckSize(path, image.width, image.height);
  }
  image.format = PNG_FORMAT_RGBA;
  RgbaImage out;
  out.width = static_cast<int>(image.width);
  out.height = static_cast<int>(image.height);
  out.pixels.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, out.pixels.data(), 0, nullptr)) {
    const std::string reason = Reason(image);
    png_image_free(&image);
    throw Error(path + ": damaged PNG image (" + reason + ")");
  }
  return out;
}

RgbaImage ReadJpeg(const std::string& path) {
  File file = Open(path);
  jpeg_decompress_struct info;
  JpegError error;
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = OnJpegError;
  error.manager.emit_message = IgnoreJpegMessage;
  error.message[0] = '\0';
  RgbaImage out;
  if (setjmp(error.jump)) {
    jpeg_destroy_decompress(&info);
    throw Error(path + ": damaged JPEG image (" + error.message + ")");
  }
  jpeg_create_decompress(&info);
  jpeg_stdio_src(&info, file.get());
  jpeg_read_header(&info, TRUE);
  const std::uint64_t width = info.image_width;
  const std::uint64_t height = info.image_height;
  if (width == 0 || height == 0 || width * height > kMaxImagePixels) {
    jpeg_destroy_decompress(&info);
    CheckSize(path, width, height);
  }
  // CMYK JPEGs come out as the inverted CMYK of Adobe's writers; the rest
  // libjpeg turns into RGB.
  const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBA;
  jpeg_start_decompress(&info);
  out.width = static_cast<int>(width);
  out.height = static_cast<int>(height);
  out.pixels.resize(static_cast<std::size_t>(width * height * 4));
  while (info.output_scanline < info.output_height) {
    std::uint8_t* line = out.pixels.data() + static_cast<std::size_t>(info.output_scanline) * width * 4;
    JSAMPROW rows[1] = {line};
    jpeg_read_scanlines(&info, rows, 1);
    if (cmyk) {
      for (std::size_t x = 0; x < width; ++x) {
        std::uint8_t* p = line + 4 * x;
        const int k = p[3];  // Adobe's CMYK is stored inverted: 255 = no ink
        p[0] = static_cast<std::uint8_t>(p[0] * k / 255);
        p[1] = static_cast<std::uint8_t>(p[1] * k / 255);
        p[2] = static_cast<std::uint8_t>(p[2] * k / 255);
        p[3] = 255;
      }
    }
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return out;
}

RgbaImage ReadImage(const std::string& path) {
  switch (DetectDocumentType(path)) {
    case DocumentType::kPng:
      return ReadPng(path);
    case DocumentType::kJpeg:
      return ReadJpeg(path);
    case DocumentType::kPdf:
      break;
  }
  throw Error(path + ": a PDF document where an image (PNG or JPEG) is needed");
}

RgbaImage Place(const RgbaImage& image, Scaling scaling, int width, int height) {
  if (scaling == Scaling::kNone) return image;
  if (width <= 0 || height <= 0 || image.width <= 0 || image.height <= 0) {
    throw Error("no printable area to place the image on (" + std::to_string(width) + "x" +
                std::to_string(height) + " pixels)");
  }
  const double sx = static_cast<double>(width) / image.width;
  const double sy = static_cast<double>(height) / image.height;
  const double scale = scaling == Scaling::kFit ? std::min(sx, sy) : std::max(sx, sy);
  const int scaled_w = std::max(1, static_cast<int>(std::lround(image.width * scale)));
  const int scaled_h = std::max(1, static_cast<int>(std::lround(image.height * scale)));
  // Where the scaled image starts on the area; negative when it overflows.
  const int left = (width - scaled_w) / 2;
  const int top = (height - scaled_h) / 2;
  const int x0 = std::max(0, left);
  const int y0 = std::max(0, top);
  const int w = std::min(width, scaled_w);
  const int h = std::min(height, scaled_h);
  const double step_x = static_cast<double>(scaled_w) / image.width;
  const double step_y = static_cast<double>(scaled_h) / image.height;
  const std::vector<Span> across = Spans(w, image.width, step_x, -std::min(0, left));
  const std::vector<Span> down = Spans(h, image.height, step_y, -std::min(0, top));

  RgbaImage out;
  out.width = width;
  out.height = height;
  out.pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4, 255);
  std::vector<float> sum(static_cast<std::size_t>(w) * 3);
  for (int y = 0; y < h; ++y) {
    std::fill(sum.begin(), sum.end(), 0.0f);
    const Span& rows = down[static_cast<std::size_t>(y)];
    for (std::size_t r = 0; r < rows.weights.size(); ++r) {
      const std::uint8_t* source = image.At(0, rows.first + static_cast<int>(r));
      for (int x = 0; x < w; ++x) {
        const Span& columns = across[static_cast<std::size_t>(x)];
        float rgb[3] = {0, 0, 0};
        for (std::size_t c = 0; c < columns.weights.size(); ++c) {
          const std::uint8_t* p = source + 4 * static_cast<std::size_t>(columns.first + static_cast<int>(c));
          const float alpha = p[3] / 255.0f;
          for (int k = 0; k < 3; ++k) rgb[k] += columns.weights[c] * (p[k] * alpha + 255.0f * (1 - alpha));
        }
        for (int k = 0; k < 3; ++k) sum[static_cast<std::size_t>(x) * 3 + k] += rows.weights[r] * rgb[k];
      }
    }
    std::uint8_t* target = out.pixels.data() + (static_cast<std::size_t>(y0 + y) * width + x0) * 4;
    for (int x = 0; x < w; ++x) {
      for (int k = 0; k < 3; ++k) {
        target[4 * x + k] = static_cast<std::uint8_t>(std::clamp(std::lround(sum[static_cast<std::size_t>(x) * 3 + k]), 0L, 255L));
      }
    }
  }
  return out;
}

}  // namespace pc50::raster
