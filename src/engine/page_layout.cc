// ARasterDriver: places the job's copies on the media. Decides how many
// copies stand side by side, how many copy rows fit into a page length and
// onto a page, how many pages the job needs, and the size of a full page and
// of the last one.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "engine/raster_driver.h"
#include "platform/diagnostics.h"

namespace pc50 {
namespace {

using i64 = std::int64_t;

// Bound on any single extent of the layout (pixels across or rows down). It
// keeps every sum and product below far from 64-bit overflow and means a
// media or cell of about 186,000 inches at 360 dpi.
constexpr i64 kMaxExtent = i64{1} << 26;
constexpr i64 kMaxInt = std::numeric_limits<std::int32_t>::max();

// nearest(x): x + 0.5 truncated toward zero; -1 when that is no usable extent.
i64 NearestExtent(double x) {
  const double r = x + 0.5;
  if (!std::isfinite(r) || r < 0.0 || r >= static_cast<double>(kMaxExtent)) return -1;
  return static_cast<i64>(r);
}

bool InExtent(i64 value) { return value >= 0 && value <= kMaxExtent; }

// a mod b, or b when that is 0 (how many copy rows the last page length holds).
i64 RowsInLastLength(i64 rows, i64 perLength) {
  const i64 r = rows % perLength;
  return r == 0 ? perLength : r;
}

}  // namespace

void ARasterDriver::ComputeLayout() { layoutValid_ = LayoutCopies(); }

bool ARasterDriver::LayoutCopies() {
  if (device_ == nullptr || job_ == nullptr) return Fail("no job to lay out");

  const SettingsBlock& s = settings_;
  // 1. The media in device pixels and rows.
  const i64 mediaColumns = NearestExtent(static_cast<double>(device_->GetXResolution()) * s.mediaWidth);
  const i64 mediaRows = NearestExtent(static_cast<double>(device_->GetYResolution()) * s.mediaLength);
  if (mediaColumns < 0 || mediaRows < 0) {
    return Fail("media of %g x %g inches at %g x %g dpi is out of range", s.mediaWidth, s.mediaLength,
                device_->GetXResolution(), device_->GetYResolution());
  }
  if (repeatX_ < 1 || repeatY_ < 1 || repeatX_ > 1024 || repeatY_ > 1024) {
    return Fail("pixel repetition %d x %d is out of range", repeatX_, repeatY_);
  }
  const i64 leftMargin = s.leftMargin, topMargin = s.topMargin, gapX = s.gapX, gapY = s.gapY;
  if (!InExtent(leftMargin) || !InExtent(topMargin) || !InExtent(gapX) || !InExtent(gapY)) {
    return Fail("margins (%d, %d) or gaps (%d, %d) are negative or too large", s.leftMargin, s.topMargin, s.gapX,
                s.gapY);
  }
  const i64 copies = job_->copies;
  if (copies < 1) return Fail("the job asks for %d copies", job_->copies);

  // 2. The page length; 0 or more than the media means the whole media.
  i64 pageLength = pageLength_;
  if (pageLength <= 0 || pageLength > mediaRows) pageLength = mediaRows;

  // 3. Scaled frame sizes and copy pitches.
  const i64 sWm = i64{repeatX_} * cellWidths_[5];
  const i64 sWl = i64{repeatX_} * leftColumnWidth_;
  const i64 sWr = i64{repeatX_} * rightColumnWidth_;
  const i64 sHm = i64{repeatY_} * cellHeights_[5];
  const i64 sHf = i64{repeatY_} * firstBandHeight_;
  const i64 sHl = i64{repeatY_} * lastBandHeight_;
  if (!InExtent(sWm) || !InExtent(sWl) || !InExtent(sWr) || !InExtent(sHm) || !InExtent(sHf) || !InExtent(sHl)) {
    return Fail("cells of the page directory are too large for the layout");
  }
  const i64 cellW = gapX + sWm;
  const i64 cellH = sHm + gapY;
  const i64 frame = sHm + sHl + sHf + topMargin;
  if (cellW <= 0) return Fail("the page has no main cell width and no gap between copies");
  if (cellH <= 0) return Fail("the page has no main cell height and no gap between copy rows");

  // 4. Copies side by side; a copy wider than the media still prints alone.
  i64 copiesPerRow = (mediaColumns - sWm - sWl - sWr - leftMargin - 1) / cellW + 1;
  copiesPerRow = std::min(std::max<i64>(copiesPerRow, 1), copies);

  // 5. A page length shorter than the frame is raised to it.
  i64 avail = pageLength - frame;
  if (avail < 0) {
    avail = 0;
    pageLength = frame;
  }
  if (pageLength <= 0) return Fail("the page has neither rows nor media length");

  // 6. Whole page lengths on the media.
  i64 lengths = mediaRows / pageLength;
  if (lengths < 1) {
    pageLength = mediaRows;
    lengths = 1;
  }

  // 7, 8. Copy rows per page length; what is left of it for the separator.
  const i64 copyRowsPerLength = std::max<i64>((avail - 1) / cellH + 1, 1);
  const i64 lengthRemainder = pageLength - (copyRowsPerLength - 1) * cellH - frame;

  // 9, 10. Copy rows per page: the whole page lengths and what fits into the
  // rest of the media, but no more than the copies need.
  const i64 rest = mediaRows - lengths * pageLength - frame;
  i64 extra, full;
  if (rest > 0) {
    extra = (rest - 1) / cellH + 1;
    full = lengths;
  } else {
    extra = copyRowsPerLength;
    full = lengths - 1;
  }
  i64 copyRowsPerPage = extra + copyRowsPerLength * full;
  if (copyRowsPerPage * copiesPerRow > copies) copyRowsPerPage = (copies - 1) / copiesPerRow + 1;

  // 11 - 14. Pages, and what the last page holds.
  const i64 lastInLength = RowsInLastLength(copyRowsPerPage, copyRowsPerLength);
  const i64 perPage = copyRowsPerPage * copiesPerRow;
  i64 pageCount = (copies - 1) / perPage + 1;
  if (job_->singlePage == 1) pageCount = 1;
  const i64 lastPageCopyRows = (copies - (pageCount - 1) * perPage - 1) / copiesPerRow + 1;
  const i64 lastRowCopies = copies - ((pageCount - 1) * copyRowsPerPage + lastPageCopyRows - 1) * copiesPerRow;

  // 15 - 19. Page sizes.
  const i64 bands = sHl + sHf + topMargin;
  i64 pageRows = sHm + ((copyRowsPerPage - 1) / copyRowsPerLength) * pageLength + (lastInLength - 1) * cellH + bands;
  i64 pageColumns = (copiesPerRow - 1) * cellW + sWm + sWl + sWr + leftMargin;
  const i64 lastInLength2 = RowsInLastLength(lastPageCopyRows, copyRowsPerLength);
  const i64 lastPageRows =
      sHm + ((lastPageCopyRows - 1) / copyRowsPerLength) * pageLength + (lastInLength2 - 1) * cellH + bands;
  const i64 lastPageColumns =
      lastPageCopyRows > 1 ? pageColumns : (lastRowCopies - 1) * cellW + sWm + sWl + sWr + leftMargin;
  if (pageCount == 1) {
    pageRows = lastPageRows;
    pageColumns = lastPageColumns;
  }
  if (pageRows < 1 || lastPageRows < 1 || pageColumns < 1 || lastPageColumns < 1) {
    return Fail("the page has no rows or no columns to print");
  }
  if (pageRows > kMaxInt || lastPageRows > kMaxInt || pageColumns > kMaxInt || lastPageColumns > kMaxInt) {
    return Fail("a page of %lld copies is too large (%lld x %lld pixels)", static_cast<long long>(copies),
                static_cast<long long>(std::max(pageColumns, lastPageColumns)),
                static_cast<long long>(std::max(pageRows, lastPageRows)));
  }

  // Everything is in range: store it.
  effectivePageLength_ = static_cast<std::int32_t>(pageLength);
  copiesPerRow_ = static_cast<std::int32_t>(copiesPerRow);
  copyRowsPerLength_ = static_cast<std::int32_t>(copyRowsPerLength);
  lengthRemainder_ = static_cast<std::int32_t>(lengthRemainder);
  copyRowsPerPage_ = static_cast<std::int32_t>(copyRowsPerPage);
  pageCount_ = static_cast<std::int32_t>(pageCount);
  lastPageCopyRows_ = static_cast<std::int32_t>(lastPageCopyRows);
  lastRowCopies_ = static_cast<std::int32_t>(lastRowCopies);
  pageRows_ = static_cast<std::int32_t>(pageRows);
  pageColumns_ = static_cast<std::int32_t>(pageColumns);
  lastPageRows_ = static_cast<std::int32_t>(lastPageRows);
  lastPageColumns_ = static_cast<std::int32_t>(lastPageColumns);

  // 20. Page and per-plane counters. When the first page is also the last,
  // it starts with the last page's counts (which singlePage can make larger
  // than a full page's).
  pagesDone_ = 0;
  const bool lastPageFirst = pageCount_ == 1;
  for (int p = 0; p < kPlaneCount; ++p) {
    copyRowsDone_[p] = 0;
    rowCopies_[p] = lastPageFirst && lastPageCopyRows_ == 1 ? lastRowCopies_ : copiesPerRow_;
    pageCopyRows_[p] = lastPageFirst ? lastPageCopyRows_ : copyRowsPerPage_;
    bandState_[p] = 0;
    pendingRepeats_[p] = 0;
    pendingRowBytes_[p] = 0;
    pendingSeparator_[p] = 0;
    pendingGap_[p] = 0;
  }
  // 21, 22.
  currentPageRows_ = pageRows_;
  currentPageColumns_ = pageColumns_;
  uniformPages_ = (copiesPerRow_ == lastRowCopies_ && copyRowsPerPage_ == lastPageCopyRows_) || pageCount_ == 1;
  return true;
}

}  // namespace pc50
