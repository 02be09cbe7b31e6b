#include "png_image.h"

#include <gtest/gtest.h>

#include "cli_test_support.h"
#include "errors.h"

namespace pc50::cli {
namespace {

using testing::TempDir;

std::string FailureOf(const std::string& path) {
  try {
    ReadPng(path);
  } catch (const Failure& failure) {
    return failure.what();
  }
  return "";
}

TEST(ReadPng, ReadsPixelsAsRgba) {
  TempDir dir;
  RgbaImage image = testing::SolidImage(3, 2, 10, 20, 30, 255);
  image.pixels[4 * 5 + 3] = 0;  // last pixel transparent
  testing::WritePng(dir / "in.png", image);
  const RgbaImage read = ReadPng(dir / "in.png");
  EXPECT_EQ(read.width, 3);
  EXPECT_EQ(read.height, 2);
  EXPECT_EQ(read.At(0, 0)[0], 10);
  EXPECT_EQ(read.At(1, 1)[2], 30);
  EXPECT_EQ(read.At(2, 1)[3], 0);
}

TEST(ReadPng, MissingDamagedAndForeignFilesNameTheFile) {
  TempDir dir;
  EXPECT_NE(FailureOf(dir / "none.png").find("cannot open " + (dir / "none.png")), std::string::npos);

  pc50::testing::PutBytes(dir / "text.png", 0, "hello, not an image");
  EXPECT_NE(FailureOf(dir / "text.png").find("text.png: not a PNG image"), std::string::npos);

  testing::WritePng(dir / "cut.png", testing::SolidImage(40, 40, 1, 2, 3));
  const std::string whole = testing::ReadFile(dir / "cut.png");
  pc50::testing::PutBytes(dir / "half.png", 0, whole.substr(0, whole.size() / 2));
  const std::string reason = FailureOf(dir / "half.png");
  EXPECT_NE(reason.find("half.png"), std::string::npos) << reason;
}

}  // namespace
}  // namespace pc50::cli
