#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>

#include "pipeline_support.h"

namespace pc50::pipeline_testing {
namespace {

// Layout inputs in device pixels and rows.
struct Params {
  int mediaColumns = 720, mediaRows = 1080, pageLength = 0;
  int repeatX = 1, repeatY = 1;
  int leftMargin = 0, topMargin = 0, gapX = 0, gapY = 0;
  int mainW = 100, mainH = 100, leftW = 0, rightW = 0, firstH = 0, lastH = 0;
  int copies = 1, singlePage = 0;
};

struct Layout {
  int copiesPerRow, copyRowsPerLength, copyRowsPerPage, pageCount, lastPageCopyRows, lastRowCopies;
  int pageRows, pageColumns, lastPageRows, lastPageColumns;
  bool operator==(const Layout& o) const {
    return copiesPerRow == o.copiesPerRow && copyRowsPerLength == o.copyRowsPerLength &&
           copyRowsPerPage == o.copyRowsPerPage && pageCount == o.pageCount &&
           lastPageCopyRows == o.lastPageCopyRows && lastRowCopies == o.lastRowCopies && pageRows == o.pageRows &&
           pageColumns == o.pageColumns && lastPageRows == o.lastPageRows && lastPageColumns == o.lastPageColumns;
  }
};

std::ostream& operator<<(std::ostream& os, const Layout& l) {
  return os << "{across " << l.copiesPerRow << ", rows/length " << l.copyRowsPerLength << ", rows/page "
            << l.copyRowsPerPage << ", pages " << l.pageCount << ", last rows " << l.lastPageCopyRows
            << ", last copies " << l.lastRowCopies << ", page " << l.pageColumns << "x" << l.pageRows << ", last "
            << l.lastPageColumns << "x" << l.lastPageRows << "}";
}

std::string Describe(const Params& p) {
  char text[400];
  std::snprintf(text, sizeof text,
                "media %dx%d length %d repeat %dx%d margins %d/%d gaps %d/%d main %dx%d left %d right %d first %d "
                "last %d copies %d single %d",
                p.mediaColumns, p.mediaRows, p.pageLength, p.repeatX, p.repeatY, p.leftMargin, p.topMargin, p.gapX,
                p.gapY, p.mainW, p.mainH, p.leftW, p.rightW, p.firstH, p.lastH, p.copies, p.singlePage);
  return text;
}

// A straightforward model: copies are placed on a grid, one copy row after
// the other down page lengths of the media. A copy fits across when the
// row's right frame edge stays inside the media; a copy row fits into a page
// length when its last band ends before the length's last row, which is
// kept for the separator line. The first copy of a row and the first row of
// a length always print.
Layout Model(const Params& p) {
  const int sWm = p.repeatX * p.mainW, sWl = p.repeatX * p.leftW, sWr = p.repeatX * p.rightW;
  const int sHm = p.repeatY * p.mainH, sHf = p.repeatY * p.firstH, sHl = p.repeatY * p.lastH;
  const int pitchX = sWm + p.gapX, pitchY = sHm + p.gapY;
  const auto rowWidth = [&](int copies) { return p.leftMargin + sWl + (copies - 1) * pitchX + sWm + sWr; };
  int across = 1;
  while (across < p.copies && rowWidth(across + 1) < p.mediaColumns) ++across;

  // The page length: the whole media when unset or too long, at least a
  // frame, and the whole media again when a frame does not fit onto it.
  const int frame = p.topMargin + sHf + sHm + sHl;
  int length = p.pageLength <= 0 || p.pageLength > p.mediaRows ? p.mediaRows : p.pageLength;
  if (length < frame) length = frame > p.mediaRows ? p.mediaRows : frame;
  const auto rowsIn = [&](int rows) {  // copy rows in a stretch of media
    int n = 0;
    while (n == 0 || p.topMargin + sHf + n * pitchY + sHm + sHl < rows) ++n;
    return n;
  };
  const int perLength = rowsIn(length);
  int mediaCopyRows = 0, y = 0;
  for (; y + length <= p.mediaRows; y += length) mediaCopyRows += perLength;
  if (y == 0) mediaCopyRows = perLength;
  else if (p.mediaRows - y > frame) mediaCopyRows += rowsIn(p.mediaRows - y);

  const int copyRowsNeeded = (p.copies + across - 1) / across;
  Layout l{};
  l.copiesPerRow = across;
  l.copyRowsPerLength = perLength;
  l.copyRowsPerPage = std::min(mediaCopyRows, copyRowsNeeded);
  const int perPage = p.singlePage ? p.copies : l.copyRowsPerPage * across;
  l.pageCount = (p.copies + perPage - 1) / perPage;
  const int lastCopies = p.copies - (l.pageCount - 1) * perPage;
  l.lastPageCopyRows = (lastCopies + across - 1) / across;
  l.lastRowCopies = lastCopies - (l.lastPageCopyRows - 1) * across;
  const auto pageRows = [&](int copyRows) {  // bottom of the last band of the last copy row
    const int j = copyRows - 1;
    return (j / perLength) * length + p.topMargin + sHf + (j % perLength) * pitchY + sHm + sHl;
  };
  l.lastPageRows = pageRows(l.lastPageCopyRows);
  l.lastPageColumns = rowWidth(l.lastPageCopyRows > 1 ? across : l.lastRowCopies);
  l.pageRows = l.pageCount == 1 ? l.lastPageRows : pageRows(l.copyRowsPerPage);
  l.pageColumns = l.pageCount == 1 ? l.lastPageColumns : rowWidth(across);
  return l;
}

class LayoutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitJobContext(&job_);
    device_.SetXResolution(kDpi);
    device_.SetYResolution(kDpi);
    driver_.SetDevice(&device_);
    driver_.job_ = &job_;
  }

  // Lays p out; false (with the reason in LastFailure) when it cannot be.
  bool Lay(const Params& p) {
    SettingsBlock& s = driver_.settings_;
    s.mediaWidth = Inches(p.mediaColumns);
    s.mediaLength = Inches(p.mediaRows);
    driver_.pageLength_ = p.pageLength;
    driver_.repeatX_ = p.repeatX;
    driver_.repeatY_ = p.repeatY;
    s.leftMargin = p.leftMargin;
    s.topMargin = p.topMargin;
    s.gapX = p.gapX;
    s.gapY = p.gapY;
    driver_.cellWidths_[5] = p.mainW;
    driver_.cellHeights_[5] = p.mainH;
    driver_.leftColumnWidth_ = p.leftW;
    driver_.rightColumnWidth_ = p.rightW;
    driver_.firstBandHeight_ = p.firstH;
    driver_.lastBandHeight_ = p.lastH;
    job_.copies = p.copies;
    job_.singlePage = p.singlePage;
    ClearFailure();
    driver_.ComputeLayout();
    return driver_.layoutValid_;
  }

  Layout Got() const {
    const ProbeDriver& d = driver_;
    return Layout{d.copiesPerRow_, d.copyRowsPerLength_, d.copyRowsPerPage_, d.pageCount_, d.lastPageCopyRows_,
                  d.lastRowCopies_, d.pageRows_, d.pageColumns_, d.lastPageRows_, d.lastPageColumns_};
  }

  JobContext job_;
  RecordingDevice device_;
  ProbeDriver driver_;
};

TEST_F(LayoutTest, SingleCopyIsOneFramedPage) {
  Params p;
  p.leftMargin = 5, p.topMargin = 7, p.leftW = 10, p.rightW = 11, p.firstH = 12, p.lastH = 13, p.repeatX = 2;
  ASSERT_TRUE(Lay(p));
  EXPECT_EQ(Got(), (Layout{1, 10, 1, 1, 1, 1, 100 + 13 + 12 + 7, 200 + 20 + 22 + 5, 132, 247}));
  EXPECT_EQ(driver_.uniformPages_, 1);
}

TEST_F(LayoutTest, CopyOverhangingTheMediaStillPrintsOnce) {
  Params p;
  p.copies = 3, p.gapX = 10;
  p.mainW = 750;  // 30 pixels more than the media, less than a pitch
  ASSERT_TRUE(Lay(p));
  EXPECT_EQ(driver_.copiesPerRow_, 1);
  p.mainW = 100, p.leftW = 2000;  // a whole pitch or more: the first division goes negative
  ASSERT_TRUE(Lay(p));
  EXPECT_EQ(driver_.copiesPerRow_, 1);
  EXPECT_EQ(driver_.copyRowsPerPage_, 3);
}

TEST_F(LayoutTest, PageLengthBelowTheFrameIsRaisedToIt) {
  Params p;
  p.pageLength = 50, p.topMargin = 4, p.firstH = 10, p.lastH = 6, p.copies = 4, p.gapY = 3;
  ASSERT_TRUE(Lay(p));
  EXPECT_EQ(driver_.effectivePageLength_, 120);
  EXPECT_EQ(driver_.copyRowsPerLength_, 1);
  EXPECT_EQ(driver_.lengthRemainder_, 0);
  EXPECT_EQ(driver_.pageLength_, 50);  // the header's value stays for the next page
}

TEST_F(LayoutTest, CopyRowOfOneDeviceRowFillingTheLengthExactlyStillCounts) {
  Params p;
  p.mainH = 1, p.pageLength = 11, p.topMargin = 10, p.copies = 5;
  ASSERT_TRUE(Lay(p));
  EXPECT_EQ(driver_.copyRowsPerLength_, 1);
  EXPECT_EQ(driver_.pageRows_, Model(p).pageRows);
}

TEST_F(LayoutTest, SevenCopiesThreeAcrossTwoRowsPerPage) {
  Params p;
  p.mediaColumns = 301, p.mediaRows = 201, p.copies = 7;
  ASSERT_TRUE(Lay(p));
  EXPECT_EQ(Got(), (Layout{3, 2, 2, 2, 1, 1, 200, 300, 100, 100}));
  EXPECT_EQ(driver_.uniformPages_, 0);
  EXPECT_EQ(driver_.pageCopyRows_[0], 2);
}

TEST_F(LayoutTest, SinglePagePutsEveryCopyRowOnOnePage) {
  Params p;
  p.mediaColumns = 301, p.mediaRows = 201, p.copies = 7, p.singlePage = 1;
  ASSERT_TRUE(Lay(p));
  EXPECT_EQ(Got(), (Layout{3, 2, 2, 1, 3, 1, 201 + 100, 300, 301, 300}));
  // The page is the last page from its start: all three copy rows print.
  EXPECT_EQ(driver_.pageCopyRows_[0], 3);
}

TEST_F(LayoutTest, PageWithoutMainCellOrGapsIsRefused) {
  Params p;
  p.mainW = 0, p.mainH = 0;
  EXPECT_FALSE(Lay(p));
  EXPECT_NE(std::string(LastFailure()), "");
  p.gapX = 3, p.gapY = 2, p.leftW = 5, p.firstH = 4;
  EXPECT_TRUE(Lay(p));
}

TEST_F(LayoutTest, HostileSizesFailInsteadOfOverflowing) {
  Params p;
  p.copies = 2147483647, p.singlePage = 1;  // one page of two billion copy rows
  EXPECT_FALSE(Lay(p));
  p = Params();
  p.mediaColumns = 1 << 30;
  EXPECT_FALSE(Lay(p));
  p = Params();
  p.copies = 0;
  EXPECT_FALSE(Lay(p));
  p = Params();
  p.leftMargin = -1;
  EXPECT_FALSE(Lay(p));
  p = Params();
  p.copies = 2147483647;  // many pages are fine
  ASSERT_TRUE(Lay(p));
  EXPECT_EQ(driver_.pageCount_, 2147483647 / 70 + 1);
}

TEST_F(LayoutTest, AgreesWithGridModel) {
  std::mt19937 random(2024);
  const auto pick = [&random](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
  for (int i = 0; i < 400; ++i) {
    Params p;
    p.mediaColumns = pick(0, 400), p.mediaRows = pick(1, 600), p.pageLength = pick(-5, 700);
    p.repeatX = pick(1, 3), p.repeatY = pick(1, 3);
    p.leftMargin = pick(0, 10), p.topMargin = pick(0, 10), p.gapX = pick(0, 8), p.gapY = pick(0, 8);
    p.mainW = pick(0, 50), p.mainH = pick(0, 40);
    p.leftW = pick(0, 1) * pick(0, 20), p.rightW = pick(0, 1) * pick(0, 20);
    p.firstH = pick(0, 1) * pick(0, 20), p.lastH = pick(0, 1) * pick(0, 20);
    p.copies = pick(1, 60), p.singlePage = pick(0, 9) == 0;
    if (p.mainW + p.gapX == 0) p.gapX = 1;
    if (p.mainH + p.gapY == 0) p.gapY = 1;
    ASSERT_TRUE(Lay(p)) << Describe(p) << ": " << LastFailure();
    EXPECT_EQ(Got(), Model(p)) << Describe(p);
  }
}

}  // namespace
}  // namespace pc50::pipeline_testing
