// ARasterDriver: bands and pages. Every plane of a page is printed as a
// sequence of bands: per page length the first band, the middle band once
// per copy row, the last band and the rows of the separator line. A row of a
// band is composed from the current rows of its three cells; a band restarts
// by resetting its cell positions, a page by going back to the plane header.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <new>

#include "device/packbits.h"
#include "engine/raster_driver.h"
#include "engine/record_codes.h"
#include "platform/diagnostics.h"

namespace pc50 {
namespace {

using i64 = std::int64_t;

constexpr int kPlaneHeaderSize = 6;
constexpr int kFirstBand = 3;
constexpr int kLastBand = 4;
constexpr int kMiddleBand = 5;

long long LL(i64 v) { return static_cast<long long>(v); }

// The cells of a band in the order their rows are read: centre, right, left.
bool CellsOfBand(int band, int kinds[3]) {
  switch (band) {
    case kMiddleBand: kinds[0] = 5, kinds[1] = 2, kinds[2] = 1; return true;
    case kLastBand: kinds[0] = 4, kinds[1] = 7, kinds[2] = 6; return true;
    case kFirstBand: kinds[0] = 3, kinds[1] = 8, kinds[2] = 9; return true;
    default: return false;
  }
}

// Rows of the device's own packets remembered: a slot for each row of the
// centre cells of five planes of a page of 3,276 rows, 128 KB.
constexpr std::uint32_t kCanonicalSlots = 1u << 14;

std::uint64_t Rotate(std::uint64_t x, int bits) { return (x << bits) | (x >> (64 - bits)); }

std::uint64_t Load64(const std::uint8_t* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

// A 64-bit fingerprint of a row's packets and the row length they stand
// for: four independent multiply-rotate lanes over 32-byte blocks (the last
// block overlapping the one before it, or zero-padded for a row shorter
// than a block), merged and mixed. Never 0, which marks an empty slot.
std::uint64_t Fingerprint(const std::uint8_t* packets, int length, int rowBytes) {
  constexpr std::uint64_t kPrime1 = 0x9E3779B185EBCA87ull;
  constexpr std::uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Full;
  const auto round = [](std::uint64_t lane, std::uint64_t word) {
    return Rotate(lane + word * kPrime2, 31) * kPrime1;
  };
  std::uint64_t a = kPrime1 + kPrime2, b = kPrime2, c = 0, d = 0 - kPrime1;
  const auto block = [&](const std::uint8_t* at) {
    a = round(a, Load64(at));
    b = round(b, Load64(at + 8));
    c = round(c, Load64(at + 16));
    d = round(d, Load64(at + 24));
  };
  int i = 0;
  for (; i + 32 <= length; i += 32) block(packets + i);
  if (i < length) {
    if (length >= 32) {
      block(packets + length - 32);
    } else {
      std::uint8_t padded[32] = {};
      for (int k = 0; k < length; ++k) padded[k] = packets[k];
      block(padded);
    }
  }
  std::uint64_t h = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(length)) << 32) |
                    static_cast<std::uint32_t>(rowBytes);
  for (std::uint64_t lane : {a, b, c, d}) h = Rotate(h ^ round(0, lane), 27) * kPrime1 + kPrime2;
  h ^= h >> 33;
  h *= kPrime2;
  h ^= h >> 29;
  return h | 1;
}

}  // namespace

// ---- Plane data ----------------------------------------------------------------

int ARasterDriver::BeginPlaneData() {
  if (!HasJob()) return Fail("no job");
  const i64 header = recordPos_;
  ReadRecord(header);
  if (RecordCode() != record_code::kPlaneHeader) {
    return Fail("expected a plane header (41) at byte %lld, found code %d", LL(header), RecordCode());
  }
  const int p = settings_.currentPlane;
  if (!ReadyForRows(p)) return 0;
  if (settings_.planes[p].cellStart[0] != header) {
    return Fail("the plane header at byte %lld is not the header of plane %d", LL(header), p);
  }
  bandState_[p] = kFirstBand;
  if (passesDone_ == 0 && (settings_.separations != 0 || p == settings_.firstPlane) && !StartDevicePage()) return 0;
  recordPos_ = header + kPlaneHeaderSize;

  const RowMode mode = CurrentRowMode();
  const int first = settings_.firstPlane;
  RowPlan plan;
  BandEnd end = BandEnd::kContinue;
  if (mode == RowMode::kSequential) {
    end = EnterBand({mode, p}, kFirstBand, &plan);
  } else if (mode == RowMode::kInterleaved) {
    for (int q = first; q <= settings_.lastPlane; ++q) bandState_[q] = kFirstBand;
    end = EnterBand({mode, first}, kFirstBand, &plan);
  } else {
    for (int q = first; q <= settings_.lastPlane; ++q) {
      if (!PlaneEnabled(q)) continue;
      settings_.currentPlane = q;
      bandState_[q] = kFirstBand;
      RowPlan owed;
      if (EnterBand({mode, q}, kFirstBand, &owed) == BandEnd::kFailed) return 0;
      QueuePlan(q, owed);
    }
    settings_.currentPlane = first;
    recordPos_ = BandPosition({mode, first});
  }
  if (end == BandEnd::kFailed) return 0;

  const int selected = device_->SelectPlane(settings_.currentPlane);
  if (selected == 0) return FailIfUnexplained("the device could not select plane %d", settings_.currentPlane);
  if (mode != RowMode::kDeviceOrder && !SendPlan({mode, mode == RowMode::kInterleaved ? first : p}, plan)) return 0;
  return selected;
}

int ARasterDriver::StartDevicePage() {
  // How the planes are visited is decided afresh for every page.
  planesOneAtATime_ = 0;
  deviceWholePlanes_ = 0;
  i64 pages = i64{pageCount_} - pagesDone_;
  rowsDone_ = 0;
  // A last page that differs is never announced together with the others.
  if (uniformPages_ == 0 && pages != 1) --pages;
  if (pages < 1) return Fail("no page is left to print (%d of %d done)", pagesDone_, pageCount_);

  const int produced = device_->StartJob(currentPageColumns_, currentPageRows_, static_cast<int>(pages));
  passesPerPage_ = std::max(device_->GetPassCount(), 1);
  const int rowsPerPlane = device_->GetRowsPerPlane();
  deviceWholePlanes_ = rowsPerPlane == 0;
  if (rowsPerPlane <= 0 || settings_.separations != 0) planesOneAtATime_ = 1;
  if (rowsPerPlane != 0) std::fill(std::begin(bandState_), std::end(bandState_), kFirstBand);
  const i64 rows = planesOneAtATime_ ? i64{currentPageRows_} : i64{settings_.enabledPlaneCount} * currentPageRows_;
  i64 step = (rows + 9) / 10;
  if (step <= 0) step = 10;
  progressStep_ = static_cast<std::int32_t>(std::min<i64>(step, std::numeric_limits<std::int32_t>::max()));

  if (produced <= 0) {
    return FailIfUnexplained("the device could not start a page of %d x %d pixels", currentPageColumns_,
                             currentPageRows_);
  }
  // Pages the device repeats by itself count as done.
  pagesDone_ += static_cast<std::int32_t>(std::min<i64>(produced, pages) - 1);
  return 1;
}

ARasterDriver::RowMode ARasterDriver::CurrentRowMode() {
  if (planesOneAtATime_ != 0) return RowMode::kSequential;
  const int rowsPerPlane = device_->GetRowsPerPlane();
  if (rowsPerPlane == 1) return RowMode::kInterleaved;
  if (rowsPerPlane > 1) return RowMode::kDeviceOrder;
  return RowMode::kSequential;
}

bool ARasterDriver::ReadyForRows(int plane) {
  if (!HasJob()) return Fail("no job");
  if (!layoutValid_) return Fail("plane data without a laid-out page directory");
  if (!ValidPlane(plane) || !PlaneEnabled(plane)) return Fail("plane %d is not printed on this page", plane);
  if (!planeBuffers_[plane]) return Fail("plane %d has no row buffer", plane);
  for (const auto& buffer : scratchBuffers_) {
    if (!buffer) return Fail("the cell row buffers are missing");
  }
  return true;
}

// ---- Bands -----------------------------------------------------------------------

int ARasterDriver::SelectBand(short band) {
  const int p = settings_.currentPlane;
  if (!ValidPlane(p)) return Fail("no current plane (%d)", p);
  int kinds[3];
  if (!CellsOfBand(band, kinds)) {
    // Restart the plane's current band.
    if (firstBandHeight_ > 0 && bandState_[p] == kFirstBand) return SelectBand(kFirstBand);
    if (bandState_[p] == kLastBand) return lastBandHeight_ > 0 ? SelectBand(kLastBand) : 0;
    return SelectBand(kMiddleBand);
  }
  PlaneRecord& plane = settings_.planes[p];
  for (int kind : kinds) {
    plane.cellPos[kind] = plane.cellStart[kind];
    cellRowsRead_[p][kind] = 0;
  }
  const int reference = ReferenceKind(p, band);
  if (reference < 0) return 0;
  // Without a centre cell the band's end is found through a side cell.
  plane.cellPos[band] = plane.cellStart[reference];
  bandState_[p] = band;
  recordPos_ = plane.cellPos[band];
  return 1;
}

int ARasterDriver::ReferenceKind(int plane, int band) const {
  if (!ValidPlane(plane)) return -1;
  static constexpr int kFirst[] = {3, 9, 8};
  static constexpr int kLast[] = {4, 6, 7};
  static constexpr int kMiddle[] = {5};
  const PlaneRecord& record = settings_.planes[plane];
  const auto find = [&record](const auto& kinds) {
    for (int kind : kinds) {
      if (record.cellStart[kind] != 0) return kind;
    }
    return -1;
  };
  switch (band) {
    case kFirstBand: return find(kFirst);
    case kLastBand: return find(kLast);
    case kMiddleBand: return find(kMiddle);
    default: return -1;
  }
}

int ARasterDriver::ReferencePlane(int band) const {
  for (int q = std::max(settings_.firstPlane, 0); q <= settings_.lastPlane && q < kPlaneCount; ++q) {
    if (PlaneEnabled(q) && ReferenceKind(q, band) >= 0) return q;
  }
  return -1;
}

bool ARasterDriver::BandMissing(const BandScope& scope, int band) const {
  if (band == kMiddleBand) return false;
  if (scope.mode == RowMode::kInterleaved) return ReferencePlane(band) < 0;
  return ReferenceKind(scope.plane, band) < 0;
}

int ARasterDriver::BandHeight(int band) const {
  switch (band) {
    case kFirstBand: return firstBandHeight_;
    case kLastBand: return lastBandHeight_;
    default: return cellHeights_[kMiddleBand];
  }
}

int ARasterDriver::StatePlane(const BandScope& scope) const {
  return scope.mode == RowMode::kInterleaved ? settings_.firstPlane : scope.plane;
}

void ARasterDriver::SetBandState(const BandScope& scope, int band) {
  if (scope.mode != RowMode::kInterleaved) {
    bandState_[scope.plane] = band;
    return;
  }
  for (int q = settings_.firstPlane; q <= settings_.lastPlane; ++q) {
    if (PlaneEnabled(q)) bandState_[q] = band;
  }
}

std::int64_t ARasterDriver::BandPosition(const BandScope& scope) const {
  int plane = scope.plane;
  if (scope.mode == RowMode::kInterleaved) plane = ReferencePlane(bandState_[settings_.firstPlane]);
  if (!ValidPlane(plane)) return 0;
  const int band = bandState_[plane];
  return band >= 0 && band < kCellKinds ? settings_.planes[plane].cellPos[band] : 0;
}

int ARasterDriver::ReadBandRecord(const BandScope& scope) {
  int plane = scope.plane;
  if (scope.mode == RowMode::kInterleaved) plane = ReferencePlane(bandState_[settings_.firstPlane]);
  const int band = ValidPlane(plane) ? bandState_[plane] : -1;
  return ReadCellRecord(plane, band, BandPosition(scope));
}

bool ARasterDriver::SelectBandFor(const BandScope& scope, int band) {
  if (scope.mode != RowMode::kInterleaved) {
    settings_.currentPlane = scope.plane;
    if (SelectBand(static_cast<short>(band))) return true;
    return FailIfUnexplained("plane %d has no cells in band %d", scope.plane, band);
  }
  for (int q = settings_.firstPlane; q <= settings_.lastPlane; ++q) {
    if (!PlaneEnabled(q)) continue;
    settings_.currentPlane = q;
    // A plane without cells in the band composes blank rows while the
    // reference plane decides where the band ends.
    if (!SelectBand(static_cast<short>(band))) bandState_[q] = band;
  }
  settings_.currentPlane = settings_.firstPlane;
  recordPos_ = BandPosition(scope);
  return true;
}

ARasterDriver::BandEnd ARasterDriver::EnterBand(const BandScope& scope, int band, RowPlan* plan) {
  if (band == kFirstBand && firstBandHeight_ <= 0) band = kMiddleBand;
  if (BandMissing(scope, band)) {
    // No cells of this band for these planes: they owe its rows blank, so
    // that they stay in register with planes that have them.
    AddBlankRows(plan, i64{BandHeight(band)} * repeatY_);
    SetBandState(scope, band);
    return AdvanceBand(scope, plan);
  }
  return SelectBandFor(scope, band) ? BandEnd::kContinue : BandEnd::kFailed;
}

ARasterDriver::BandEnd ARasterDriver::AdvanceBand(const BandScope& scope, RowPlan* plan) {
  const bool all = scope.mode == RowMode::kInterleaved;
  const int sp = StatePlane(scope);
  if (!ValidPlane(sp)) {
    Fail("band end without a current plane (%d)", sp);
    return BandEnd::kFailed;
  }
  const int lo = all ? settings_.firstPlane : sp;
  const int hi = all ? settings_.lastPlane : sp;
  const int nextLength = firstBandHeight_ > 0 ? kFirstBand : kMiddleBand;
  // When the next copy row is the last one of the job, it and the bands that
  // frame it hold only the copies left over.
  const auto narrowBeforeLastCopyRow = [&](int done) {
    if (pagesDone_ != pageCount_ - 1 || done != lastPageCopyRows_ - 1) return;
    for (int q = lo; q <= hi; ++q) rowCopies_[q] = lastRowCopies_;
  };
  int next = 0;
  switch (bandState_[sp]) {
    case kFirstBand:
      next = kMiddleBand;
      break;
    case kMiddleBand: {
      for (int q = lo; q <= hi; ++q) ++copyRowsDone_[q];
      const int done = copyRowsDone_[sp];
      if (done >= pageCopyRows_[sp]) {
        if (lastBandHeight_ <= 0) return BandEnd::kPageFinished;
        next = kLastBand;
      } else if (done % copyRowsPerLength_ != 0) {
        AddBlankRows(plan, settings_.gapY);
        next = kMiddleBand;
      } else if (lastBandHeight_ > 0) {
        next = kLastBand;
      } else {
        AddSeparatorBlock(plan);
        next = nextLength;
      }
      // The last band still frames the copy row above it.
      if (next != kLastBand) narrowBeforeLastCopyRow(done);
      break;
    }
    case kLastBand:
      if (copyRowsDone_[sp] >= pageCopyRows_[sp]) return BandEnd::kPageFinished;
      AddSeparatorBlock(plan);
      narrowBeforeLastCopyRow(copyRowsDone_[sp]);
      next = nextLength;
      break;
    default:
      Fail("band end of plane %d outside any band (state %d)", sp, bandState_[sp]);
      return BandEnd::kFailed;
  }
  return EnterBand(scope, next, plan);
}

void ARasterDriver::AddBlankRows(RowPlan* plan, std::int64_t rows) const {
  if (rows <= 0) return;
  (plan->separator ? plan->blankAfter : plan->blankBefore) += rows;
}

void ARasterDriver::AddSeparatorBlock(RowPlan* plan) const {
  // lengthRemainder + topMargin rows: the rest of the page length with the
  // separator row as its last row, then the next length's top margin. With
  // no remainder the separator row takes the first top-margin row; with no
  // top margin either there is no row for it, and the line is left out
  // rather than pushing the page past the length announced to the device.
  const i64 block = i64{lengthRemainder_} + settings_.topMargin;
  if (block <= 0) return;
  if (lengthRemainder_ > 0) {
    AddBlankRows(plan, lengthRemainder_ - 1);
    plan->separator = true;
    AddBlankRows(plan, block - lengthRemainder_);
  } else {
    plan->separator = true;
    AddBlankRows(plan, block - 1);
  }
}

int ARasterDriver::SendPlan(const BandScope& scope, const RowPlan& plan) {
  const bool all = scope.mode == RowMode::kInterleaved;
  if (plan.blankBefore > 0 && PutBlankRows(static_cast<int>(plan.blankBefore)) == 0) {
    return FailIfUnexplained("blank rows could not be sent");
  }
  if (plan.separator && (all ? PutSeparatorRowsForAllPlanes() : PutSeparatorRow()) == 0) {
    return FailIfUnexplained("the separator row could not be sent");
  }
  if (plan.blankAfter > 0 && PutBlankRows(static_cast<int>(plan.blankAfter)) == 0) {
    return FailIfUnexplained("blank rows could not be sent");
  }
  const i64 rows = plan.blankBefore + (plan.separator ? 1 : 0) + plan.blankAfter;
  CountRows(rows * (all ? settings_.enabledPlaneCount : 1));
  if (all) settings_.currentPlane = settings_.firstPlane;
  return 1;
}

void ARasterDriver::QueuePlan(int plane, const RowPlan& plan) {
  if (plan.separator) {
    pendingSeparator_[plane] += static_cast<std::int32_t>(plan.blankBefore + 1);
    pendingGap_[plane] += static_cast<std::int32_t>(plan.blankAfter);
  } else {
    pendingGap_[plane] += static_cast<std::int32_t>(plan.blankBefore);
  }
  CountRows(plan.blankBefore + (plan.separator ? 1 : 0) + plan.blankAfter);
}

int ARasterDriver::FinishBandAtOnce(const BandScope& scope) {
  RowPlan plan;
  const BandEnd end = AdvanceBand(scope, &plan);
  if (end == BandEnd::kFailed) return 0;
  if (SendPlan(scope, plan) == 0) return 0;
  if (end == BandEnd::kPageFinished) return NextPage();
  recordPos_ = BandPosition(scope);
  return 1;
}

// ---- Rows ------------------------------------------------------------------------

int ARasterDriver::ComposeRow(int band) {
  const int p = settings_.currentPlane;
  composedPackets_ = nullptr;
  // ReadyForRows checks the plane index too; the second check keeps the bound
  // next to planes[p] for GCC, whose jump threading at -O3 splits paths off
  // the inlined checks and then warns (-Warray-bounds) about indexes it can
  // no longer bound.
  if (!ReadyForRows(p) || !ValidPlane(p)) return 0;
  int kinds[3];
  if (!CellsOfBand(band, kinds)) return Fail("plane %d has a row outside any band (state %d)", p, band);
  // Packets of the centre cell already read, when they could not be sent as they are.
  int centrePackets = -1;
  std::int64_t centreAt = 0;
  const int direct = ComposeFromPackets(kinds, &centrePackets, &centreAt);
  if (direct != 0) return direct < 0 ? 0 : direct;

  PlaneRecord& plane = settings_.planes[p];
  const int bits = plane.bitsPerPixel;
  const std::int32_t fieldWidths[3] = {cellWidths_[kMiddleBand], rightColumnWidth_, leftColumnWidth_};
  const std::uint8_t* parts[3] = {nullptr, nullptr, nullptr};
  for (int i = 0; i < 3; ++i) {
    const int kind = kinds[i];
    if (plane.cellStart[kind] == 0) continue;  // absent: a blank field
    const bool read = i == 0 && centrePackets >= 0;
    if (!read) {
      // A cell that has run out of rows leaves its field blank; nothing past
      // its last row is read. A file that ends before them fails the row.
      const int code = ReadCellRecord(p, kind, plane.cellPos[kind]);
      if (code < 0) return 0;
      if (code != record_code::kRow) continue;
    }
    const int buffer = ScratchBufferFor(kind);
    std::uint8_t* out = scratchBuffers_[buffer].get();
    const i64 fieldBytes = (i64{fieldWidths[i]} * bits + 7) / 8;
    if (out == nullptr || fieldBytes > scratchSizes_[buffer]) return Fail("no buffer for the rows of cell %d", kind);
    const int ok = read ? UnpackCellRow(kind, centrePackets, centreAt, out) : ReadCellRow(kind, out);
    if (ok == 0) return FailIfUnexplained("a row of cell %d of plane %d cannot be read", kind, p);
    // The field is read whole: past a narrower cell's width (stale bytes, the
    // padding bits of its last byte, a row that unpacks longer) it is blank.
    if (cellWidths_[kind] < fieldWidths[i]) {
      const i64 cellBits = i64{cellWidths_[kind]} * bits;
      i64 byte = cellBits / 8;
      if (cellBits % 8 != 0) out[byte++] &= static_cast<std::uint8_t>(0xFF << (8 - cellBits % 8));
      std::memset(out + byte, 0, static_cast<std::size_t>(fieldBytes - byte));
    }
    parts[i] = out;
  }
  const int reference = ReferenceKind(p, band);
  if (band != kMiddleBand && plane.cellStart[band] == 0 && reference >= 0) {
    plane.cellPos[band] = plane.cellPos[reference];
    cellRowsRead_[p][band] = cellRowsRead_[p][reference];
  }

  const int lead = settings_.leftMargin;
  const int gap = settings_.gapX;
  const int copies = rowCopies_[p];
  const int total = device_->ScaleRow(bits, repeatX_, lead, leftColumnWidth_, parts[2], cellWidths_[kMiddleBand],
                                      parts[0], copies, gap, rightColumnWidth_, parts[1], nullptr);
  if (total <= 0) return FailIfUnexplained("a row of plane %d cannot be composed", p);
  if ((i64{total} * bits + 7) / 8 > planeBufferSizes_[p]) {
    return Fail("a composed row of %d pixels does not fit the row buffer of plane %d", total, p);
  }
  return device_->ScaleRow(bits, repeatX_, lead, leftColumnWidth_, parts[2], cellWidths_[kMiddleBand], parts[0], copies,
                           gap, rightColumnWidth_, parts[1], planeBuffers_[p].get());
}

int ARasterDriver::ComposeFromPackets(const int* kinds, int* packedLength, std::int64_t* at) {
  // The row is the centre cell's row unchanged when nothing stands beside
  // it: no margin, no side cells or columns, one copy, no pixel repeated,
  // and the cell as wide as its field in whole bytes. The device then
  // composes nothing (its ScaleRow copies the cell) and, when it would pack
  // the row into the very packets the spool holds, takes them as they are.
  const int p = settings_.currentPlane;
  PlaneRecord& plane = settings_.planes[p];
  const int centre = kinds[0];
  const i64 width = cellWidths_[kMiddleBand];
  const i64 bits = i64{width} * plane.bitsPerPixel;
  if (repeatX_ != 1 || repeatY_ != 1 || settings_.leftMargin != 0 || leftColumnWidth_ != 0 || rightColumnWidth_ != 0 ||
      rowCopies_[p] != 1 || plane.cellStart[centre] == 0 || plane.cellStart[kinds[1]] != 0 ||
      plane.cellStart[kinds[2]] != 0 || cellWidths_[centre] != width || width <= 0 || bits % 8 != 0 ||
      bits / 8 > planeBufferSizes_[p]) {
    return 0;
  }
  const int rowBytes = static_cast<int>(bits / 8);
  if (!device_->TakesPackedRow(p, rowBytes)) return 0;
  const int code = ReadCellRecord(p, centre, plane.cellPos[centre]);
  if (code < 0) return -1;
  if (code != record_code::kRow) return 0;  // run out of rows: a blank field
  if (ReadCellPackets(centre, packedLength, at) == 0) {
    FailIfUnexplained("a row of cell %d of plane %d cannot be read", centre, p);
    return -1;
  }
  const std::uint8_t* packets = scratchBuffers_[3].get();
  // The row's place among the centre cells' rows of the page, plane by
  // plane: the same in every copy.
  const i64 firstRows = cellHeights_[kFirstBand], middleRows = cellHeights_[kMiddleBand];
  const i64 bandStart = centre == kFirstBand ? 0 : centre == kMiddleBand ? firstRows : firstRows + middleRows;
  const i64 place = i64{p} * (firstRows + middleRows + cellHeights_[kLastBand]) + bandStart +
                    cellRowsRead_[p][centre] - 1;
  if (!PacketsCanonical(static_cast<std::uint64_t>(place), packets, *packedLength, rowBytes)) return 0;
  composedPackets_ = packets;
  composedPacketsLength_ = *packedLength;
  *packedLength = -1;
  return static_cast<int>(width);
}

bool ARasterDriver::PacketsCanonical(std::uint64_t place, const std::uint8_t* packets, int length, int rowBytes) {
  // Checking pays when at least about a third of the rows pass: a spool
  // packed by other rules fails most of them. Passes earn credit, failures
  // spend it; without credit only one row in kPacketCredit is checked.
  if (packetCredit_ <= 0 && ++packetProbes_ % kPacketCredit != 0) return false;
  if (!canonicalRows_) canonicalRows_.reset(new (std::nothrow) std::uint64_t[kCanonicalSlots]());
  const std::uint64_t print = Fingerprint(packets, length, rowBytes);
  std::uint64_t* slot = canonicalRows_ ? &canonicalRows_[place % kCanonicalSlots] : nullptr;
  if (slot == nullptr || *slot != print) {
    if (!PackBitsIsCanonical(packets, length, rowBytes)) {
      if (packetCredit_ > 0) --packetCredit_;
      return false;
    }
    if (slot != nullptr) *slot = print;
  }
  packetCredit_ = std::min(packetCredit_ + 2, kPacketCredit);
  return true;
}

// ---- Band, page and section ends --------------------------------------------------

int ARasterDriver::EndBand() {
  if (!HasJob()) return Fail("no job");
  const int p = settings_.currentPlane;
  if (!ReadyForRows(p)) return 0;
  const RowMode mode = CurrentRowMode();
  if (mode == RowMode::kInterleaved) {
    settings_.currentPlane = settings_.firstPlane;
    return FinishBandAtOnce({mode, settings_.firstPlane});
  }
  if (mode == RowMode::kSequential) return FinishBandAtOnce({mode, p});

  // The device asks for planes in its own order: rows are queued.
  const int flushed = FlushPendingRows();
  if (flushed == 0) return 0;
  if (flushed == 1) {
    recordPos_ = BandPosition({mode, settings_.currentPlane});
    return 1;
  }
  const BandScope scope{mode, p};
  RowPlan plan;
  const BandEnd end = AdvanceBand(scope, &plan);
  if (end == BandEnd::kFailed) return 0;
  if (end == BandEnd::kContinue) {
    QueuePlan(p, plan);
    recordPos_ = BandPosition(scope);
    return 1;
  }
  if (plan.blankBefore > 0 || plan.separator || plan.blankAfter > 0) {
    return Fail("plane %d has no cells in the last band; a device that takes several rows per plane cannot be "
                "given its blank rows at the page end",
                p);
  }
  if (device_->GetRowCount() > 0) {
    if (device_->EndPlane(p) == 0) return FailIfUnexplained("the device could not end plane %d", p);
    if (p == settings_.lastPlane && device_->EndPage() == 0) return FailIfUnexplained("the device could not end the page");
  }
  const int next = NextEnabledPlane(p);
  if (next >= 0) {
    settings_.currentPlane = next;
    recordPos_ = BandPosition({mode, next});
    return 1;
  }
  return NextPage();
}

int ARasterDriver::NextPage() {
  if (!HasJob()) return Fail("no job");
  int& current = settings_.currentPlane;
  ++passesDone_;
  const bool pageDone = passesDone_ >= std::max(passesPerPage_, 1);
  if (pageDone) {
    passesDone_ = 0;
    device_->ShowProgress(100);
  }
  if (settings_.separations != 0) {
    const int plane = settings_.separationsOnLastPosition != 0 ? device_->GetPlaneOrder(3) : current;
    if (device_->EndPlane(plane) == 0) return FailIfUnexplained("the device could not end plane %d", plane);
    if (pageDone) {
      if (device_->EndPage() == 0) return FailIfUnexplained("the device could not end the page");
      if (device_->EndJob() == 0) return FailIfUnexplained("the device could not end the page's job");
      ++pagesDone_;
    }
  } else if (deviceWholePlanes_ != 0) {
    rowsDone_ = 0;
    if (device_->EndPlane(current) == 0) return FailIfUnexplained("the device could not end plane %d", current);
    if (pageDone) {
      const int next = NextEnabledPlane(current);
      if (next >= 0) {
        current = next;
      } else {
        if (device_->EndPage() == 0) return FailIfUnexplained("the device could not end the page");
        if (device_->EndJob() == 0) return FailIfUnexplained("the device could not end the page's job");
        ++pagesDone_;
        current = settings_.firstPlane;
      }
    }
  } else {
    // All planes together: the device has ended planes and pages itself; a
    // page of several passes ends after its last pass.
    current = settings_.firstPlane;
    if (pageDone) {
      if (device_->EndJob() == 0) return FailIfUnexplained("the device could not end the page's job");
      ++pagesDone_;
    }
  }
  if (!ValidPlane(current)) return Fail("no plane to continue with (%d)", current);
  bandState_[current] = 0;
  const bool lastPageBegins = pagesDone_ == pageCount_ - 1;
  for (int q = 0; q < kPlaneCount; ++q) {
    copyRowsDone_[q] = 0;
    if (lastPageBegins) {
      pageCopyRows_[q] = lastPageCopyRows_;
      rowCopies_[q] = lastPageCopyRows_ == 1 ? lastRowCopies_ : copiesPerRow_;
    }
  }
  if (lastPageBegins) {
    currentPageRows_ = lastPageRows_;
    currentPageColumns_ = lastPageColumns_;
  }
  // What the port refuses here would be lost from the stream.
  if (device_->FlushOutput() == 0) return FailIfUnexplained("the port refused the output of the pass");
  if (pagesDone_ >= pageCount_) return EndPlaneSection();
  // The page's data is read again from the plane header.
  recordPos_ = settings_.planes[current].cellStart[0];
  return 1;
}

int ARasterDriver::EndPlaneSection() {
  if (!HasJob()) return Fail("no job");
  if (settings_.separations != 0) {
    const int next = NextEnabledPlane(settings_.currentPlane);
    if (next >= 0) {
      // Each plane of a separated job is a job of its own at the device.
      settings_.currentPlane = next;
      ComputeLayout();
      if (!layoutValid_) return FailIfUnexplained("the page cannot be laid out for plane %d", next);
      recordPos_ = settings_.planes[next].cellStart[0];
      return 1;
    }
  }
  return settings_.inRasterFile != 0 ? ReturnToSpoolIndex() : FinishJob();
}

}  // namespace pc50
