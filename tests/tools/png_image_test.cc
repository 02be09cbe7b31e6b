#include "png_image.h"

#include <gtest/gtest.h>
#include <zlib.h>

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

TEST(ReadImage, JpegAndTypeFromTheContentNotTheName) {
  TempDir dir;
  testing::WriteJpeg(dir / "photo.png", testing::SolidImage(20, 10, 200, 40, 90));
  EXPECT_EQ(DetectDocumentType(dir / "photo.png"), DocumentType::kJpeg);
  const RgbaImage read = ReadImage(dir / "photo.png");
  ASSERT_EQ(read.width, 20);
  ASSERT_EQ(read.height, 10);
  EXPECT_NEAR(read.At(5, 5)[0], 200, 4);
  EXPECT_NEAR(read.At(5, 5)[1], 40, 4);
  EXPECT_EQ(read.At(5, 5)[3], 255);

  pc50::testing::PutBytes(dir / "doc.jpg", 0, "junk before %PDF-1.4 ...");
  EXPECT_EQ(DetectDocumentType(dir / "doc.jpg"), DocumentType::kPdf);
  EXPECT_THROW(ReadImage(dir / "doc.jpg"), Failure);

  const std::string jpeg = testing::ReadFile(dir / "photo.png");
  pc50::testing::PutBytes(dir / "cut.jpg", 0, jpeg.substr(0, jpeg.size() / 3));
  try {
    ReadImage(dir / "cut.jpg");
  } catch (const Failure& failure) {
    EXPECT_NE(std::string(failure.what()).find("cut.jpg"), std::string::npos) << failure.what();
  }
}

// Headers that declare 20000 x 20000 pixels are refused before any pixel
// is decoded.
TEST(ReadImage, DecompressionBombsAreRefused) {
  TempDir dir;
  testing::WriteJpeg(dir / "small.jpg", testing::SolidImage(8, 8, 0, 0, 0));
  std::string jpeg = testing::ReadFile(dir / "small.jpg");
  const std::size_t sof = jpeg.find("\xFF\xC0");
  ASSERT_NE(sof, std::string::npos);
  for (std::size_t at : {sof + 5, sof + 7}) jpeg.replace(at, 2, "\x4E\x20");  // 20000
  pc50::testing::PutBytes(dir / "bomb.jpg", 0, jpeg);

  testing::WritePng(dir / "small.png", testing::SolidImage(1, 1, 0, 0, 0));
  std::string png = testing::ReadFile(dir / "small.png");
  png.replace(16, 8, std::string("\0\0\x4E\x20\0\0\x4E\x20", 8));
  const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(png.data() + 12), 17);
  for (int i = 0; i < 4; ++i) png[static_cast<std::size_t>(29 + i)] = static_cast<char>((crc >> (24 - 8 * i)) & 0xFF);
  pc50::testing::PutBytes(dir / "bomb.png", 0, png);

  for (const char* name : {"bomb.jpg", "bomb.png"}) {
    try {
      ReadImage(dir / name);
      ADD_FAILURE() << name << " was read";
    } catch (const Failure& failure) {
      EXPECT_NE(std::string(failure.what()).find("20000x20000 pixels is outside"), std::string::npos)
          << failure.what();
    }
  }
}

TEST(Place, FitFillAndAreaAveraging) {
  // A 2:1 image of black and white columns, one pixel each.
  RgbaImage stripes = testing::SolidImage(100, 50, 255, 255, 255);
  for (int y = 0; y < 50; ++y) {
    for (int x = 0; x < 100; x += 2) {
      for (int c = 0; c < 3; ++c) stripes.pixels[(static_cast<std::size_t>(y) * 100 + x) * 4 + c] = 0;
    }
  }
  const RgbaImage fit = Place(stripes, Scaling::kFit, 50, 50);
  ASSERT_EQ(fit.width, 50);
  ASSERT_EQ(fit.height, 50);
  EXPECT_EQ(fit.At(20, 5)[0], 255);            // paper above the image
  EXPECT_NEAR(fit.At(20, 20)[0], 128, 1);      // two columns averaged to grey
  EXPECT_EQ(fit.At(20, 45)[0], 255);           // and below
  const RgbaImage fill = Place(stripes, Scaling::kFill, 50, 50);
  int black = 0;                               // the stripes reach every edge
  for (int x = 0; x < 50; ++x) black += (fill.At(x, 0)[0] == 0) + (fill.At(x, 49)[0] == 0);
  EXPECT_EQ(black, 50);
  EXPECT_EQ(fill.At(0, 20)[0] + fill.At(49, 20)[0], 255);
  EXPECT_EQ(Place(stripes, Scaling::kNone, 40, 40).width, 100);
  // Upscaling keeps the pixels' values.
  const RgbaImage up = Place(testing::SolidImage(2, 1, 10, 20, 30), Scaling::kFit, 8, 8);
  EXPECT_EQ(up.At(3, 3)[1], 20);
}

}  // namespace
}  // namespace pc50::cli
