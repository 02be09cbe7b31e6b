#include "png_preview.h"

#include <png.h>

#include <array>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

namespace pc50::hostkit {

namespace {

// The inks of one pass for the palette indices its planes can form.
class InkTable {
 public:
  InkTable(const Pass& pass, std::size_t planeCount) {
    for (unsigned i = 0; i < (1u << planeCount); ++i) inked_[i] = InkOf(pass, i, &inks_[i]);
  }
  bool Lookup(unsigned index, Rgb* ink) const {
    if (!inked_[index]) return false;
    *ink = inks_[index];
    return true;
  }

 private:
  std::array<Rgb, 256> inks_{};
  std::array<bool, 256> inked_{};
};

void FillWhite(std::uint8_t* rgb, int width) {
  std::memset(rgb, 255, static_cast<std::size_t>(width) * 3);
}

// Lays the ink of row y of pass over rgb.
void LayPassRow(const Pass& pass, int width, int y, std::uint8_t* rgb) {
  if (y < 0 || y >= pass.rows || pass.planes.empty()) return;
  const std::size_t planeCount = pass.planes.size() < 8 ? pass.planes.size() : 8;
  const InkTable table(pass, planeCount);
  const std::uint8_t* rows[8] = {};
  for (std::size_t k = 0; k < planeCount; ++k) rows[k] = pass.planes[k].Row(y);
  for (int x = 0; x < width; ++x) {
    const std::size_t byte = static_cast<std::size_t>(x) / 8;
    const int shift = 7 - x % 8;
    unsigned index = 0;
    for (std::size_t k = 0; k < planeCount; ++k) index |= ((rows[k][byte] >> shift) & 1u) << k;
    Rgb ink;
    if (index == 0 || !table.Lookup(index, &ink)) continue;
    std::uint8_t* pixel = rgb + static_cast<std::size_t>(x) * 3;
    pixel[0] = ink.r;
    pixel[1] = ink.g;
    pixel[2] = ink.b;
  }
}

int ResolutionOf(const Page& page) {
  for (const Pass& pass : page.passes) {
    if (pass.resolution > 0) return pass.resolution;
  }
  return 0;
}

// ---- libpng -----------------------------------------------------------------

// What libpng reports through its error callback; kept in plain storage
// because the encoder below unwinds with longjmp.
struct PngFailure {
  char message[200];
};

void OnPngError(png_structp png, png_const_charp message) {
  auto* failure = static_cast<PngFailure*>(png_get_error_ptr(png));
  std::snprintf(failure->message, sizeof failure->message, "%s", message ? message : "unknown");
  png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

using RowPainter = void (*)(const void* context, int y, std::uint8_t* rgb);

// Encodes width x height RGB rows, each painted into row by paint. Holds no
// objects with destructors, since libpng's errors longjmp back into it.
bool EncodePng(std::FILE* file, int width, int height, int dpi, RowPainter paint,
               const void* context, std::uint8_t* row, PngFailure* failure) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, failure, OnPngError, OnPngWarning);
  if (png == nullptr) {
    std::snprintf(failure->message, sizeof failure->message, "cannot start the PNG encoder");
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    std::snprintf(failure->message, sizeof failure->message, "cannot start the PNG encoder");
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (dpi > 0) {
    const auto perMetre = static_cast<png_uint_32>(dpi / 0.0254 + 0.5);
    png_set_pHYs(png, info, perMetre, perMetre, PNG_RESOLUTION_METER);
  }
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) {
    paint(context, y, row);
    png_write_row(png, row);
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

std::string ErrnoText() { return std::strerror(errno); }

// Opens a fresh temporary file beside path, never one that exists already.
std::FILE* OpenTemporary(const std::string& path, std::string* tempPath) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    *tempPath = path + ".tmp" + std::to_string(attempt);
    std::FILE* file = std::fopen(tempPath->c_str(), "wbx");
    if (file != nullptr || errno != EEXIST) return file;
  }
  return nullptr;
}

bool WriteImage(const std::string& path, int width, int height, int dpi, RowPainter paint,
                const void* context, std::string* error) {
  std::string tempPath;
  std::FILE* file = OpenTemporary(path, &tempPath);
  if (file == nullptr) {
    *error = "cannot create a temporary file for " + path + ": " + ErrnoText();
    return false;
  }
  std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 3);
  PngFailure failure{};
  std::string reason;
  if (!EncodePng(file, width, height, dpi, paint, context, row.data(), &failure)) {
    reason = std::string("PNG encoder failed: ") + failure.message;
  } else if (std::fflush(file) != 0 || std::ferror(file)) {
    reason = ErrnoText();
  }
  if (std::fclose(file) != 0 && reason.empty()) reason = ErrnoText();
  if (!reason.empty()) {
    *error = "cannot write " + tempPath + ": " + reason;
    std::remove(tempPath.c_str());
    return false;
  }
  if (std::rename(tempPath.c_str(), path.c_str()) != 0) {
    *error = "cannot rename " + tempPath + " to " + path + ": " + ErrnoText();
    std::remove(tempPath.c_str());
    return false;
  }
  return true;
}

bool CheckArea(const Page& page, std::string* error) {
  if (page.width > 0 && page.height > 0) return true;
  *error = "page has no pixels to preview (" + std::to_string(page.width) + " x " +
           std::to_string(page.height) + ")";
  return false;
}

struct PassContext {
  const Page* page;
  const Pass* pass;
};

void PaintPage(const void* context, int y, std::uint8_t* rgb) {
  ComposePageRow(*static_cast<const Page*>(context), y, rgb);
}

void PaintPass(const void* context, int y, std::uint8_t* rgb) {
  const auto* pass = static_cast<const PassContext*>(context);
  ComposePassRow(*pass->page, *pass->pass, y, rgb);
}

}  // namespace

bool InkOf(const Pass& pass, unsigned index, Rgb* ink) {
  if (index == 0 || index > 255) return false;
  if (pass.IsFourColour()) {
    if (pass.palette[index] == kPaperWhite) return false;
    *ink = pass.palette[index];
    return true;
  }
  if ((index & 1u) == 0) return false;
  const RibbonColour* ribbon = FindRibbonColour(pass.colourCode);
  *ink = ribbon ? RgbOfColorref(ribbon->colorref) : Rgb{0, 0, 0};
  return true;
}

void ComposePageRow(const Page& page, int y, std::uint8_t* rgb) {
  FillWhite(rgb, page.width);
  for (const Pass& pass : page.passes) LayPassRow(pass, page.width, y, rgb);
}

void ComposePassRow(const Page& page, const Pass& pass, int y, std::uint8_t* rgb) {
  FillWhite(rgb, page.width);
  LayPassRow(pass, page.width, y, rgb);
}

bool WritePagePng(const Page& page, const std::string& path, std::string* error) {
  if (!CheckArea(page, error)) return false;
  return WriteImage(path, page.width, page.height, ResolutionOf(page), PaintPage, &page, error);
}

bool WritePassPng(const Page& page, std::size_t passIndex, const std::string& path,
                  std::string* error) {
  if (passIndex >= page.passes.size()) {
    *error = "page has no pass " + std::to_string(passIndex + 1);
    return false;
  }
  if (!CheckArea(page, error)) return false;
  const PassContext context{&page, &page.passes[passIndex]};
  return WriteImage(path, page.width, page.height, ResolutionOf(page), PaintPass, &context, error);
}

bool WritePreviews(const std::vector<Page>& pages, const std::string& prefix, bool perPass,
                   std::vector<std::string>* written, std::string* error) {
  for (std::size_t n = 0; n < pages.size(); ++n) {
    const Page& page = pages[n];
    if (page.width <= 0 || page.height <= 0) continue;
    const std::string base = prefix + "-" + std::to_string(n + 1);
    if (!WritePagePng(page, base + ".png", error)) return false;
    if (written) written->push_back(base + ".png");
    for (std::size_t m = 0; perPass && m < page.passes.size(); ++m) {
      const std::string name = base + "-pass" + std::to_string(m + 1) + ".png";
      if (!WritePassPng(page, m, name, error)) return false;
      if (written) written->push_back(name);
    }
  }
  return true;
}

}  // namespace pc50::hostkit
