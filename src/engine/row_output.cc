// ARasterDriver: the row loops. A resume step that meets a row record runs
// one slice: it composes and sends rows until the band ends, 200 ms have
// passed, the output is more than 200,000 bytes ahead of the host, or a
// tenth of the page is done. Each slice sends at least one row; where to go
// on is kept in recordPos and the per-plane cell positions.
#include <algorithm>
#include <cstdint>
#include <limits>

#include "engine/raster_driver.h"
#include "engine/record_codes.h"
#include "platform/diagnostics.h"
#include "platform/platform.h"

namespace pc50 {
namespace {

using i64 = std::int64_t;


long long LL(i64 v) { return static_cast<long long>(v); }

int Percent(i64 done, i64 whole) {
  if (whole <= 0) whole = 1;
  return static_cast<int>(std::min<i64>(done * 100 / whole, std::numeric_limits<int>::max()));
}

}  // namespace

int ARasterDriver::PutRasterBlock() {
  if (!HasJob()) return Fail("no job");
  if (!ReadyForRows(settings_.currentPlane)) return 0;
  switch (CurrentRowMode()) {
    case RowMode::kSequential: return PutRowsSequential();
    case RowMode::kInterleaved: return PutRowsInterleaved();
    case RowMode::kDeviceOrder: return PutRowsDeviceOrder();
  }
  return Fail("no row loop for this device");
}

bool ARasterDriver::SliceEnds(platform::DWORD t0) const {
  // Unsigned difference: correct across the tick counter's wrap-around.
  if (static_cast<platform::DWORD>(platform::GetTickCount() - t0) > kSliceMilliseconds) return true;
  if (i64{job_->bytesProduced} - job_->bytesConsumed > kMaxBacklog) return true;
  return progressStep_ > 0 && rowsDone_ % progressStep_ == 0;
}

void ARasterDriver::CountRows(std::int64_t rows) {
  const i64 total = i64{rowsDone_} + rows;
  rowsDone_ = static_cast<std::int32_t>(std::min<i64>(total, std::numeric_limits<std::int32_t>::max()));
}

int ARasterDriver::PutComposedRow(int plane, int byteCount) {
  if (composedPackets_ != nullptr) {
    return device_->PutPackedRow(&settings_.currentPlane, byteCount, composedPackets_, composedPacketsLength_);
  }
  return device_->PutRow(&settings_.currentPlane, byteCount, planeBuffers_[plane].get());
}

int ARasterDriver::SendComposedRow(int plane, int byteCount) {
  int sent = 0;
  while (sent < repeatY_) {
    if (PutComposedRow(plane, byteCount) == 0) {
      return FailIfUnexplained("the device refused a row of plane %d", plane);
    }
    ++sent;
    if (settings_.currentPlane != plane) break;
  }
  // What the device did not take before moving on is sent later.
  pendingRepeats_[plane] = repeatY_ - sent;
  pendingRowBytes_[plane] = byteCount;
  return 1;
}

int ARasterDriver::PutRowsSequential() {
  if (!HasJob()) return Fail("no job");
  const platform::DWORD t0 = platform::GetTickCount();
  const int p = settings_.currentPlane;
  if (!ReadyForRows(p)) return 0;
  const int band = bandState_[p];
  for (;;) {
    const int width = ComposeRow(band);
    if (width == 0) return 0;
    const int bytes = RowBytes(p, width);
    for (int i = 0; i < repeatY_; ++i) {
      if (PutComposedRow(p, bytes) == 0) {
        return FailIfUnexplained("the device refused a row of plane %d", p);
      }
      if (settings_.currentPlane != p) {
        return Fail("the device moved from plane %d to %d while taking one plane at a time", p,
                    settings_.currentPlane);
      }
    }
    recordPos_ = settings_.planes[p].cellPos[band];
    CountRows(repeatY_);
    const int code = ReadCellRecord(p, band, recordPos_);
    if (code < 0) return 0;
    if (code != record_code::kRow) return FinishBandAtOnce({RowMode::kSequential, p});
    if (SliceEnds(t0)) {
      const i64 pageRows = currentPageRows_;
      device_->ShowProgress(Percent(i64{passesDone_} * pageRows + rowsDone_, pageRows * std::max(passesPerPage_, 1)));
      return 1;
    }
  }
}

int ARasterDriver::PutRowsInterleaved() {
  if (!HasJob()) return Fail("no job");
  const platform::DWORD t0 = platform::GetTickCount();
  const int first = settings_.firstPlane;
  if (!ReadyForRows(first)) return 0;
  // All planes share the band; a step always ends between whole rows.
  const int band = bandState_[first];
  settings_.currentPlane = first;
  int planesInRow = 0;
  for (;;) {
    const int p = settings_.currentPlane;
    if (!ReadyForRows(p)) return FailIfUnexplained("the device moved to plane %d", p);
    if (++planesInRow > settings_.enabledPlaneCount) {
      return Fail("the device did not come back to the first plane after a row of every plane");
    }
    const int width = ComposeRow(band);
    if (width == 0) return 0;
    if (SendComposedRow(p, RowBytes(p, width)) == 0) return 0;
    CountRows(repeatY_);
    if (settings_.currentPlane != first) continue;  // next plane of the same row

    // The device is back at the first plane: the row is complete.
    if (repeatY_ > 1 && ValidPlane(settings_.lastPlane) && pendingRepeats_[settings_.lastPlane] != 0 &&
        FlushAllPendingRows() == 0) {
      return 0;
    }
    planesInRow = 0;
    recordPos_ = BandPosition({RowMode::kInterleaved, first});
    const int code = ReadBandRecord({RowMode::kInterleaved, first});
    if (code < 0) return 0;
    if (code != record_code::kRow) {
      settings_.currentPlane = first;
      return FinishBandAtOnce({RowMode::kInterleaved, first});
    }
    if (SliceEnds(t0)) {
      device_->ShowProgress(Percent(rowsDone_, i64{settings_.enabledPlaneCount} * currentPageRows_));
      return 1;
    }
  }
}

int ARasterDriver::FlushUntilPlaneStays() {
  i64 owed = 0;
  for (int q = 0; q < kPlaneCount; ++q) {
    owed += i64{pendingRepeats_[q]} + pendingSeparator_[q] + pendingGap_[q];
  }
  // Each call that returns 1 has sent at least one owed row.
  for (i64 calls = 0; calls <= owed; ++calls) {
    const int result = FlushPendingRows();
    if (result == 0) return 0;
    if (result != 1) return 1;
  }
  return Fail("pending rows do not come to an end");
}

int ARasterDriver::PutRowsDeviceOrder() {
  if (!HasJob()) return Fail("no job");
  const platform::DWORD t0 = platform::GetTickCount();
  for (;;) {
    if (FlushUntilPlaneStays() == 0) return 0;
    const int p = settings_.currentPlane;
    if (!ReadyForRows(p)) return 0;
    const int band = bandState_[p];
    const i64 position = BandPosition({RowMode::kDeviceOrder, p});
    if (ReadBandRecord({RowMode::kDeviceOrder, p}) < 0) return 0;
    if (RecordCode() == record_code::kBandEnd) {
      recordPos_ = position;  // the next step ends the band
      return 1;
    }
    if (RecordCode() != record_code::kRow) {
      return Fail("expected a row (20) or band end (42) of plane %d at byte %lld, found code %d", p, LL(position),
                  RecordCode());
    }
    const int width = ComposeRow(band);
    if (width == 0) return 0;
    if (SendComposedRow(p, RowBytes(p, width)) == 0) return 0;
    const int now = settings_.currentPlane;
    if (!ReadyForRows(now)) return FailIfUnexplained("the device moved to plane %d", now);
    recordPos_ = BandPosition({RowMode::kDeviceOrder, now});
    CountRows(repeatY_);
    const int code = ReadBandRecord({RowMode::kDeviceOrder, now});
    if (code < 0) return 0;
    if (code != record_code::kRow) return 1;
    if (SliceEnds(t0)) {
      device_->ShowProgress(Percent(rowsDone_, i64{settings_.enabledPlaneCount} * currentPageRows_));
      return 1;
    }
  }
}

}  // namespace pc50
