// ARasterDriver: rows besides the composed image rows. Blank rows (gaps and
// margins), the separator row at each page-length boundary, and what is
// still owed to a plane when the device moved on to another plane before
// the driver had sent it all.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "engine/raster_driver.h"
#include "platform/diagnostics.h"

namespace pc50 {
namespace {

using i64 = std::int64_t;

// Where enabled planes share one separator line, each dots its own pixels.
constexpr std::uint8_t kSeparatorPattern[4] = {0x11, 0x22, 0x44, 0x88};

}  // namespace

int ARasterDriver::PutBlankRows(int count) {
  static const std::uint8_t kBlankRow[1] = {0};
  if (!HasJob()) return Fail("no job");
  for (int i = 0; i < count; ++i) {
    if (planesOneAtATime_ != 0) {
      if (device_->PutRow(&settings_.currentPlane, 1, kBlankRow) == 0) {
        return FailIfUnexplained("the device refused a blank row of plane %d", settings_.currentPlane);
      }
      continue;
    }
    if (device_->GetRowsPerPlane() != 1) {
      return Fail("blank rows for all planes need a device that takes one row per plane");
    }
    const int last = std::min(settings_.lastPlane, kPlaneCount - 1);
    for (int q = std::max(settings_.firstPlane, 0); q <= last; ++q) {
      if (!PlaneEnabled(q)) continue;
      settings_.currentPlane = q;
      if (device_->PutRow(&settings_.currentPlane, 1, kBlankRow) == 0) {
        return FailIfUnexplained("the device refused a blank row of plane %d", q);
      }
    }
  }
  return 1;
}

int ARasterDriver::TakeSeparatorPhase(int planes) {
  const int phase = ((separatorPhase_ % planes) + planes) % planes;
  separatorPhase_ = (phase + 1) % planes;
  return phase;
}

int ARasterDriver::PutSeparatorRow() {
  if (!HasJob()) return Fail("no job");
  const int p = settings_.currentPlane;
  if (!ValidPlane(p) || !planeBuffers_[p]) return Fail("no row buffer for a separator row of plane %d", p);
  const int bits = settings_.planes[p].bitsPerPixel;
  const i64 length = (i64{pageColumns_} * bits + 7) / 8;
  if (length < 1 || length > planeBufferSizes_[p]) {
    return Fail("a separator row of %lld bytes does not fit the row buffer of plane %d", static_cast<long long>(length),
                p);
  }
  std::uint8_t* row = planeBuffers_[p].get();
  const int planes = settings_.enabledPlaneCount;
  if (settings_.separations != 0 || planes <= 1) {
    std::memset(row, 0xFF, static_cast<std::size_t>(length));
  } else {
    const int phase = TakeSeparatorPhase(planes);
    if (bits < 8) {
      std::memset(row, kSeparatorPattern[phase % 4], static_cast<std::size_t>(length));
    } else {
      std::memset(row, 0, static_cast<std::size_t>(length));
      for (i64 i = phase; i < length; i += planes) row[i] = 0xFF;
    }
  }
  // The last byte's bits past the page width stay blank.
  const i64 bitsUsed = i64{pageColumns_} * bits;
  if (bitsUsed % 8 != 0) row[length - 1] &= static_cast<std::uint8_t>(0xFF << (8 - bitsUsed % 8));
  if (device_->PutRow(&settings_.currentPlane, static_cast<int>(length), row) == 0) {
    return FailIfUnexplained("the device refused the separator row of plane %d", p);
  }
  return 1;
}

int ARasterDriver::PutSeparatorRowsForAllPlanes() {
  const int last = std::min(settings_.lastPlane, kPlaneCount - 1);
  for (int q = std::max(settings_.firstPlane, 0); q <= last; ++q) {
    if (!PlaneEnabled(q)) continue;
    settings_.currentPlane = q;
    if (PutSeparatorRow() == 0) return 0;
  }
  settings_.currentPlane = settings_.firstPlane;
  return 1;
}

int ARasterDriver::FlushRepeatRows() {
  if (!HasJob()) return Fail("no job");
  const int p = settings_.currentPlane;
  if (!ValidPlane(p)) return Fail("no current plane (%d)", p);
  const int owed = pendingRepeats_[p];
  if (owed <= 0) return 3;
  if (!planeBuffers_[p] || pendingRowBytes_[p] > planeBufferSizes_[p]) {
    return Fail("plane %d owes rows it has no buffer for", p);
  }
  for (int i = 1; i <= owed; ++i) {
    if (device_->PutRow(&settings_.currentPlane, pendingRowBytes_[p], planeBuffers_[p].get()) == 0) {
      return FailIfUnexplained("the device refused a repeated row of plane %d", p);
    }
    if (settings_.currentPlane != p) {
      pendingRepeats_[p] = owed - i;
      return 1;
    }
  }
  pendingRepeats_[p] = 0;
  return 2;
}

int ARasterDriver::FlushPendingRows() {
  if (!HasJob()) return Fail("no job");
  const int p = settings_.currentPlane;
  if (!ValidPlane(p)) return Fail("no current plane (%d)", p);
  bool sent = false;
  // Each pass sends rows or consumes a counter, so four passes always do.
  for (int pass = 0; pass < 8; ++pass) {
    if (pendingRepeats_[p] == 0 && pendingSeparator_[p] == 0 && pendingGap_[p] == 0) return sent ? 2 : 3;
    const int repeats = FlushRepeatRows();
    if (repeats == 0 || repeats == 1) return repeats;
    sent = sent || repeats == 2;
    if (!planeBuffers_[p]) return Fail("plane %d owes rows it has no buffer for", p);
    if (pendingSeparator_[p] > 1) {
      // The blank rows before the line, carried as repeats of a blank row.
      pendingRepeats_[p] = pendingSeparator_[p] - 1;
      pendingSeparator_[p] = 1;
      planeBuffers_[p][0] = 0;
      pendingRowBytes_[p] = 1;
      continue;
    }
    if (pendingSeparator_[p] == 1) {
      pendingSeparator_[p] = 0;
      if (PutSeparatorRow() == 0) return 0;
      sent = true;
      if (settings_.currentPlane != p) return 1;
      continue;
    }
    if (pendingGap_[p] > 0) {
      pendingRepeats_[p] = pendingGap_[p];
      pendingGap_[p] = 0;
      planeBuffers_[p][0] = 0;
      pendingRowBytes_[p] = 1;
      continue;
    }
    return 2;
  }
  return Fail("pending rows of plane %d do not come to an end", p);
}

int ARasterDriver::FlushAllPendingRows() {
  if (!HasJob()) return Fail("no job");
  const int first = settings_.firstPlane;
  const int last = settings_.lastPlane;
  if (!ValidPlane(first) || !ValidPlane(last)) return Fail("no planes to flush");
  i64 owed = 0;
  for (int q = first; q <= last; ++q) owed += pendingRepeats_[q];
  // Every round sends a row or steps to the next plane.
  const i64 limit = (owed + 1) * (last - first + 2);
  settings_.currentPlane = first;
  i64 round = 0;
  do {
    if (++round > limit) return Fail("repeated rows do not come to an end");
    const int result = FlushRepeatRows();
    if (result == 0) return 0;
    if (result != 1) {
      // Step on; past the last plane go back to the first.
      const int next = settings_.currentPlane + 1;
      settings_.currentPlane = next > last ? first : next;
    } else if (!ValidPlane(settings_.currentPlane)) {
      return Fail("the device moved to plane %d", settings_.currentPlane);
    }
  } while (pendingRepeats_[last] != 0);
  settings_.currentPlane = first;
  return 1;
}

}  // namespace pc50
