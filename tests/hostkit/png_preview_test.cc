#include "png_preview.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "decoder_stream_builder.h"

namespace pc50::hostkit {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using namespace pc50::hostkit::testing;
namespace fs = std::filesystem;

constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kCyan{0, 255, 255};
constexpr Rgb kYellow{255, 255, 0};
constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kGold{0x7F, 0x7F, 0x00};

Page DecodeOnePage(const std::string& stream) {
  const DecodeResult result = DecodeStream(stream);
  EXPECT_TRUE(result.ok) << result.error.ToString();
  EXPECT_EQ(result.pages.size(), 1u);
  return result.ok && !result.pages.empty() ? result.pages[0] : Page();
}

// Eight pixels wide. Row 0 of the four-colour pass: cyan on 0-1, magenta on
// 1-2, yellow on 2-3, black on 7; then Gold on 1 and 5.
Page FourColourAndGoldPage() {
  return DecodeOnePage(PageHeader(8, 2) + PlaneHeader(5, 2) +
                       Transfer('V', Bytes({0x00, 0x01})) + Transfer('V', Bytes({0x00, 0xC0})) +
                       Transfer('V', Bytes({0x00, 0x60})) + Transfer('W', Bytes({0x00, 0x30})) +
                       kBlankRow + kEndRaster + PlaneHeader(8, 2) +
                       Transfer('W', Bytes({0x00, 0x44})) + kEndRaster + kTrailerAdvance);
}

std::vector<Rgb> PageRow(const Page& page, int y) {
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(page.width) * 3);
  ComposePageRow(page, y, rgb.data());
  std::vector<Rgb> pixels;
  for (int x = 0; x < page.width; ++x) pixels.push_back({rgb[x * 3], rgb[x * 3 + 1], rgb[x * 3 + 2]});
  return pixels;
}

struct Image {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;
  Rgb At(int x, int y) const {
    const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
    return {rgb[i], rgb[i + 1], rgb[i + 2]};
  }
};

// Reads a PNG back with libpng, independent of the writer's code.
Image ReadPng(const std::string& path) {
  Image image;
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path.c_str())) {
    ADD_FAILURE() << "cannot read " << path << ": " << png.message;
    return image;
  }
  png.format = PNG_FORMAT_RGB;
  image.rgb.resize(PNG_IMAGE_SIZE(png));
  if (!png_image_finish_read(&png, nullptr, image.rgb.data(), 0, nullptr)) {
    ADD_FAILURE() << "cannot decode " << path << ": " << png.message;
    return image;
  }
  image.width = static_cast<int>(png.width);
  image.height = static_cast<int>(png.height);
  return image;
}

class PngPreviewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device seed;
    dir_ = fs::temp_directory_path() / ("pc50_preview_" + std::to_string(seed()));
    ASSERT_TRUE(fs::create_directory(dir_));
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  std::vector<std::string> Listing() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir_;
};

TEST(InkOf, SingleColourPassesInkTheirRibbonColour) {
  Pass pass;
  Rgb ink;
  pass.colourCode = 8;  // Gold
  EXPECT_FALSE(InkOf(pass, 0, &ink));
  ASSERT_TRUE(InkOf(pass, 1, &ink));
  EXPECT_EQ(ink, kGold);
  pass.colourCode = 21;  // Red
  ASSERT_TRUE(InkOf(pass, 1, &ink));
  EXPECT_EQ(ink, kRed);
  pass.colourCode = -1;  // a plane colour the device does not know
  ASSERT_TRUE(InkOf(pass, 1, &ink));
  EXPECT_EQ(ink, kBlack);
}

TEST(InkOf, FourColourDotsTakeTheirPaletteEntryAndWhiteInksNothing) {
  const Page page = FourColourAndGoldPage();
  ASSERT_EQ(page.passes.size(), 2u);
  Pass pass = page.passes[0];
  Rgb ink;
  EXPECT_FALSE(InkOf(pass, 0, &ink));
  ASSERT_TRUE(InkOf(pass, 2, &ink));
  EXPECT_EQ(ink, kCyan);
  ASSERT_TRUE(InkOf(pass, 6, &ink));
  EXPECT_EQ(ink, (Rgb{0, 0, 255}));
  ASSERT_TRUE(InkOf(pass, 15, &ink));
  EXPECT_EQ(ink, kBlack);
  pass.palette[3] = kWhite;
  EXPECT_FALSE(InkOf(pass, 3, &ink));
}

TEST(ComposePageRow, LaterPassesCoverEarlierOnesAndPanelsMixWithinAPass) {
  const Page page = FourColourAndGoldPage();
  ASSERT_EQ(page.width, 8);
  ASSERT_EQ(page.height, 2);
  EXPECT_THAT(PageRow(page, 0),
              ElementsAre(kCyan, kGold, kRed, kYellow, kWhite, kGold, kWhite, kBlack));
  EXPECT_THAT(PageRow(page, 1), ::testing::Each(kWhite));
}

TEST(ComposePageRow, SingleColourRibbonsAreOpaqueEvenWhite) {
  const Page page = DecodeOnePage(PageHeader(8, 1) + PlaneHeader(12, 2) +
                                  Transfer('W', Bytes({0x00, 0xF0})) + kEndRaster +
                                  PlaneHeader(10, 2) + Transfer('W', Bytes({0x00, 0x30})) +
                                  kEndRaster + PlaneHeader(13, 2) +
                                  Transfer('W', Bytes({0x00, 0x81})) + kEndRaster);
  EXPECT_THAT(PageRow(page, 0),
              ElementsAre(kYellow, kBlack, kWhite, kWhite, kWhite, kWhite, kWhite, kYellow));
}

TEST_F(PngPreviewTest, PageAndPassImagesReadBackWithTheirPixels) {
  const Page page = FourColourAndGoldPage();
  std::vector<std::string> written;
  std::string error;
  ASSERT_TRUE(WritePreviews({page}, Path("job"), true, &written, &error)) << error;
  EXPECT_THAT(written, ElementsAre(Path("job-1.png"), Path("job-1-pass1.png"),
                                   Path("job-1-pass2.png")));
  EXPECT_THAT(Listing(), ElementsAre("job-1-pass1.png", "job-1-pass2.png", "job-1.png"));

  const Image composite = ReadPng(Path("job-1.png"));
  ASSERT_EQ(composite.width, 8);
  ASSERT_EQ(composite.height, 2);
  EXPECT_EQ(composite.At(0, 0), kCyan);
  EXPECT_EQ(composite.At(1, 0), kGold);
  EXPECT_EQ(composite.At(2, 0), kRed);
  EXPECT_EQ(composite.At(7, 0), kBlack);
  EXPECT_EQ(composite.At(7, 1), kWhite);

  const Image cmyk = ReadPng(Path("job-1-pass1.png"));
  EXPECT_EQ(cmyk.At(1, 0), (Rgb{0, 0, 255}));
  EXPECT_EQ(cmyk.At(5, 0), kWhite);
  const Image gold = ReadPng(Path("job-1-pass2.png"));
  EXPECT_EQ(gold.At(0, 0), kWhite);
  EXPECT_EQ(gold.At(5, 0), kGold);
}

TEST_F(PngPreviewTest, RewritingReplacesTheFileAndLeavesNoTemporary) {
  std::string error;
  ASSERT_TRUE(WritePagePng(FourColourAndGoldPage(), Path("page.png"), &error)) << error;
  const Page wide = DecodeOnePage(PageHeader(24, 3) + PlaneHeader(12, 2) + kBlankRow + kEndRaster);
  ASSERT_TRUE(WritePagePng(wide, Path("page.png"), &error)) << error;
  const Image image = ReadPng(Path("page.png"));
  EXPECT_EQ(image.width, 24);
  EXPECT_EQ(image.height, 1);
  EXPECT_THAT(Listing(), ElementsAre("page.png"));
}

TEST_F(PngPreviewTest, FailuresGiveAReasonAndWriteNothing) {
  std::string error;
  const Page page = FourColourAndGoldPage();
  EXPECT_FALSE(WritePagePng(page, Path("missing/page.png"), &error));
  EXPECT_THAT(error, HasSubstr("cannot create a temporary file for " + Path("missing/page.png")));
  EXPECT_FALSE(WritePassPng(page, 2, Path("pass.png"), &error));
  EXPECT_THAT(error, HasSubstr("page has no pass 3"));

  Page blank;
  blank.end = PageEnd::kAdvance;
  EXPECT_FALSE(WritePagePng(blank, Path("blank.png"), &error));
  EXPECT_THAT(error, HasSubstr("no pixels"));
  std::vector<std::string> written;
  EXPECT_TRUE(WritePreviews({blank}, Path("job"), true, &written, &error));
  EXPECT_TRUE(written.empty());
  EXPECT_TRUE(Listing().empty());
}

}  // namespace
}  // namespace pc50::hostkit
