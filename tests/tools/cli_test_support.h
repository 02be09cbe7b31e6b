// Helpers for the pc50 tool tests: running the executable, making PNG
// inputs and small spool jobs.
#pragma once

#include <gtest/gtest.h>
#include <cstdio>  // before jpeglib.h, which uses FILE
#include <jpeglib.h>
#include <png.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "png_image.h"
#include "spool/temp_dir.h"
#include "spool_writer.h"
#include "stream_decoder.h"

namespace pc50::cli::testing {

using pc50::testing::Exists;
using pc50::testing::TempDir;

struct CliRun {
  int exit_code = -1;
  std::string out;
  std::string err;
};

inline std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Runs pc50 with args in dir, without a terminal (standard input empty).
inline CliRun RunCli(const TempDir& dir, const std::vector<std::string>& args) {
  std::string command = "cd " + Quote(dir.path()) + " && " + Quote(PC50_CLI_PATH);
  for (const std::string& arg : args) command += " " + Quote(arg);
  const std::string out = dir / ".cli-out";
  const std::string err = dir / ".cli-err";
  command += " >" + Quote(out) + " 2>" + Quote(err) + " </dev/null";
  const int status = std::system(command.c_str());
  CliRun run;
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = ReadFile(out);
  run.err = ReadFile(err);
  std::remove(out.c_str());
  std::remove(err.c_str());
  return run;
}

// The number of lines of text.
inline int Lines(const std::string& text) {
  int lines = 0;
  for (char c : text) lines += c == '\n' ? 1 : 0;
  return lines;
}

inline RgbaImage SolidImage(int width, int height, std::uint8_t r, std::uint8_t g, std::uint8_t b,
                            std::uint8_t a = 255) {
  RgbaImage image;
  image.width = width;
  image.height = height;
  for (int i = 0; i < width * height; ++i) {
    image.pixels.insert(image.pixels.end(), {r, g, b, a});
  }
  return image;
}

inline void WritePng(const std::string& path, const RgbaImage& image) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(image.width);
  png.height = static_cast<png_uint_32>(image.height);
  png.format = PNG_FORMAT_RGBA;
  ASSERT_TRUE(png_image_write_to_file(&png, path.c_str(), 0, image.pixels.data(), 0, nullptr))
      << png.message;
}

// A baseline RGB JPEG of image (alpha ignored) at quality 95.
inline void WriteJpeg(const std::string& path, const RgbaImage& image) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr) << path;
  jpeg_compress_struct info;
  jpeg_error_mgr error;
  info.err = jpeg_std_error(&error);
  jpeg_create_compress(&info);
  jpeg_stdio_dest(&info, file);
  info.image_width = static_cast<JDIMENSION>(image.width);
  info.image_height = static_cast<JDIMENSION>(image.height);
  info.input_components = 4;
  info.in_color_space = JCS_EXT_RGBA;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 95, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<std::uint8_t*>(image.At(0, static_cast<int>(info.next_scanline)));
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::fclose(file);
}

// A PDF made from a PostScript program by Ghostscript's ps2pdf.
inline void WritePdf(const std::string& path, const std::string& postscript) {
  const std::string ps = path + ".ps";
  std::ofstream(ps) << postscript;
  ASSERT_EQ(std::system(("ps2pdf " + Quote(ps) + " " + Quote(path)).c_str()), 0) << postscript;
  std::remove(ps.c_str());
}

// A stand-in for Ghostscript: a shell script with body.
inline std::string WriteFakeGhostscript(const TempDir& dir, const std::string& name, const std::string& body) {
  const std::string path = dir / name;
  std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
  return path;
}

// Pixels set in a decoded plane.
inline std::size_t InkedPixels(const hostkit::Bitmap& bitmap) {
  std::size_t count = 0;
  for (int y = 0; y < bitmap.height; ++y) {
    for (int x = 0; x < bitmap.width; ++x) count += bitmap.Get(x, y) ? 1 : 0;
  }
  return count;
}

// A one-colour spool job of a filled width x height Black cell.
inline void WriteBlackJob(const std::string& path, std::uint32_t width = 16, std::uint32_t height = 4) {
  hostkit::SpoolJob job;
  job.colours = {"Black"};
  hostkit::Image image;
  image.cells[hostkit::kMain] = hostkit::FilledCell(width, height, {0});
  job.images.push_back(image);
  ASSERT_EQ(hostkit::WriteSpoolJob(job, path), "");
}

}  // namespace pc50::cli::testing
