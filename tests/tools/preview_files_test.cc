#include "preview_files.h"

#include <gtest/gtest.h>

#include "cli_test_support.h"
#include "errors.h"

namespace pc50::cli {
namespace {

using testing::Exists;
using testing::TempDir;

hostkit::Page InkedPage(int colour_code) {
  hostkit::Page page;
  page.width = 8;
  page.height = 1;
  hostkit::Pass pass;
  pass.colourCode = colour_code;
  pass.rows = 1;
  hostkit::Bitmap bitmap;
  bitmap.width = 8;
  bitmap.height = 1;
  bitmap.stride = 1;
  bitmap.bits = {0xF0};
  pass.planes.push_back(bitmap);
  pass.transfersPerRow = {1};
  page.passes.push_back(pass);
  return page;
}

TEST(PreviewFiles, SeveralPagesAreNumberedAndEmptyPagesSkipped) {
  TempDir dir;
  const std::vector<hostkit::Page> pages = {InkedPage(12), hostkit::Page(), InkedPage(8)};
  const PreviewFiles files = WritePreviewFiles(pages, dir / "out.png", dir / "passes");
  EXPECT_EQ(files.pages, (std::vector<std::string>{dir / "out-1.png", dir / "out-3.png"}));
  EXPECT_EQ(files.passes, (std::vector<std::string>{dir / "passes/page1-pass1-Black.png",
                                                    dir / "passes/page3-pass1-Gold.png"}));
  EXPECT_FALSE(Exists(dir / "out.png"));
}

TEST(PreviewFiles, PassNamesAndPagesWithoutPixels) {
  EXPECT_EQ(PassColourName(InkedPage(5).passes[0]), "CMYK");
  EXPECT_EQ(PassColourName(InkedPage(15).passes[0]), "Cyan");
  EXPECT_EQ(PassColourName(InkedPage(-1).passes[0]), "code-1");
  TempDir dir;
  EXPECT_THROW(WritePreviewFiles({hostkit::Page()}, dir / "x.png"), Failure);
  EXPECT_TRUE(dir.Listing().empty());
}

}  // namespace
}  // namespace pc50::cli
