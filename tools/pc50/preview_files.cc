#include "preview_files.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "errors.h"
#include "png_preview.h"
#include "ribbon_colours.h"

namespace pc50::cli {
namespace {

namespace fs = std::filesystem;

bool HasPixels(const hostkit::Page& page) { return page.width > 0 && page.height > 0; }

std::string PageFileName(const std::string& png_path, std::size_t number) {
  fs::path path(png_path);
  const std::string stem = path.stem().string();
  const std::string extension = path.has_extension() ? path.extension().string() : ".png";
  return (path.parent_path() / (stem + "-" + std::to_string(number) + extension)).string();
}

}  // namespace

std::vector<hostkit::Page> DecodeStreamBytes(const std::string& stream, const std::string& name) {
  const hostkit::DecodeResult decoded = hostkit::DecodeStream(stream);
  if (!decoded.ok) throw Failure(name + ": " + decoded.error.ToString());
  return decoded.pages;
}

std::vector<hostkit::Page> DecodeStreamFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Failure("cannot open " + path + ": no such file or not readable");
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) throw Failure("cannot read " + path);
  return DecodeStreamBytes(bytes.str(), path);
}

std::string PassColourName(const hostkit::Pass& pass) {
  if (pass.IsFourColour()) return "CMYK";
  const hostkit::RibbonColour* ribbon = hostkit::FindRibbonColour(pass.colourCode);
  return ribbon != nullptr ? ribbon->name : "code" + std::to_string(pass.colourCode);
}

PreviewFiles WritePreviewFiles(const std::vector<hostkit::Page>& pages, const std::string& png_path,
                               const std::string& passes_dir) {
  std::size_t printed = 0;
  for (const hostkit::Page& page : pages) printed += HasPixels(page) ? 1 : 0;
  if (printed == 0) throw Failure("the stream holds no printed page");

  if (!passes_dir.empty()) {
    std::error_code error;
    fs::create_directories(passes_dir, error);
    if (error) throw Failure("cannot create directory " + passes_dir + ": " + error.message());
  }

  PreviewFiles files;
  std::string reason;
  for (std::size_t n = 0; n < pages.size(); ++n) {
    const hostkit::Page& page = pages[n];
    if (!HasPixels(page)) continue;
    const std::string path = pages.size() == 1 ? png_path : PageFileName(png_path, n + 1);
    if (!hostkit::WritePagePng(page, path, &reason)) throw Failure(path + ": " + reason);
    files.pages.push_back(path);
    if (passes_dir.empty()) continue;
    for (std::size_t m = 0; m < page.passes.size(); ++m) {
      const std::string name = "page" + std::to_string(n + 1) + "-pass" + std::to_string(m + 1) +
                               "-" + PassColourName(page.passes[m]) + ".png";
      const std::string pass_path = (fs::path(passes_dir) / name).string();
      if (!hostkit::WritePassPng(page, m, pass_path, &reason)) throw Failure(pass_path + ": " + reason);
      files.passes.push_back(pass_path);
    }
  }
  return files;
}

}  // namespace pc50::cli
