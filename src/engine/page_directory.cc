// ARasterDriver: the page directory. Reads the cell sections of a page image
// into the plane table, derives the frame around the main cell, lays out the
// copies and allocates the row buffers.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <new>

#include "engine/little_endian.h"
#include "engine/raster_driver.h"
#include "engine/record_codes.h"
#include "platform/diagnostics.h"

namespace pc50 {
namespace {

using i64 = std::int64_t;

constexpr int kMainKind = 5;
constexpr int kMaxSections = 9;
constexpr int kSectionRecordSize = 10;
constexpr int kPlaneHeaderSize = 6;
// A cell is at most this many pixels wide or rows high.
constexpr std::uint32_t kMaxCellExtent = 1u << 24;
// A plane row (or one of the cell buffers) is at most this many bytes.
constexpr i64 kMaxRowBytes = i64{4} << 20;
// Colour numbers index the 31-byte colour mask.
constexpr int kMaxColours = 31 * 8;

long long LL(i64 v) { return static_cast<long long>(v); }

bool ValidBitsPerPixel(int bits) { return bits == 1 || bits == 2 || bits == 4 || bits == 8; }

std::unique_ptr<std::uint8_t[]> AllocateZeroed(i64 size) {
  return std::unique_ptr<std::uint8_t[]>(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(size)]());
}

}  // namespace

int ARasterDriver::BeginPage() {
  if (!HasJob()) return Fail("no job");
  layoutValid_ = false;
  const i64 directory = recordPos_;
  if (ReadRecord(directory) < 2 || RecordCode() != record_code::kPageDirectory) {
    return Fail("expected a page directory (38) at byte %lld", LL(directory));
  }
  if (ReadRecord(directory + 2) < 2 || RecordCode() != record_code::kList) {
    return Fail("page directory at byte %lld has no section list (40)", LL(directory));
  }
  const int count = static_cast<std::int8_t>(record_[1]);
  if (count < 0 || count > kMaxSections) {
    return Fail("page directory at byte %lld lists %d sections (0 to 9 allowed)", LL(directory), count);
  }
  std::uint8_t list[kMaxSections * 8];
  if (count > 0 && spool_->ReadAt(list, static_cast<platform::DWORD>(8 * count), directory + 4) < 8 * count) {
    return Fail("page directory at byte %lld is cut short", LL(directory));
  }

  std::fill(std::begin(cellWidths_), std::end(cellWidths_), 0);
  std::fill(std::begin(cellHeights_), std::end(cellHeights_), 0);
  // Cell positions and the planes of an earlier page mean nothing here: a
  // page without a main section has no plane to print.
  for (PlaneRecord& plane : settings_.planes) {
    std::fill(std::begin(plane.cellFlags), std::end(plane.cellFlags), 0);
    std::fill(std::begin(plane.cellStart), std::end(plane.cellStart), 0);
    std::fill(std::begin(plane.cellPos), std::end(plane.cellPos), 0);
    plane.enabled = 0;
  }
  settings_.enabledPlaneCount = 0;
  std::memset(cellRowsRead_, 0, sizeof cellRowsRead_);

  for (int i = 0; i < count; ++i) {
    if (ReadSection(LoadI64(list + 8 * i)) == 0) {
      return FailIfUnexplained("page directory at byte %lld: section %d cannot be read", LL(directory), i + 1);
    }
  }
  FinishPlaneSelection();
  ComputeFrameSizes();
  ComputeLayout();
  if (!layoutValid_) return FailIfUnexplained("the page at byte %lld cannot be laid out", LL(directory));
  if (settings_.enabledPlaneCount == 0) {
    // Nothing to print on this page: go on with the rest of the job.
    return settings_.inRasterFile ? ReturnToSpoolIndex() : FinishJob();
  }
  if (!CheckCentreCells()) return 0;
  if (AllocateRowBuffers() == 0) return FailIfUnexplained("no row buffers for the page");

  settings_.currentPlane = settings_.firstPlane;
  recordPos_ = settings_.planes[settings_.currentPlane].cellStart[0];
  return 1;
}

int ARasterDriver::ReadSection(std::int64_t position) {
  if (!HasJob()) return Fail("no job");
  if (position < 0 || position >= ASpoolFile::kMaxSize) {
    return Fail("cell section position %lld lies outside the file", LL(position));
  }
  const int got = ReadRecord(position);
  if (got == 0) return Fail("cell section position %lld lies outside the file", LL(position));
  if (got < kSectionRecordSize || RecordCode() != record_code::kSection) {
    return Fail("expected a cell section (22) at byte %lld, found code %d", LL(position), RecordCode());
  }
  const int kind = static_cast<std::int8_t>(record_[1]);
  if (kind < 0 || kind >= kCellKinds) return Fail("cell section at byte %lld has kind %d (0 to 9)", LL(position), kind);
  const std::uint32_t width = LoadU32(record_ + 2);
  const std::uint32_t height = LoadU32(record_ + 6);
  if (width > kMaxCellExtent || height > kMaxCellExtent) {
    return Fail("cell %d of %u x %u pixels is too large", kind, width, height);
  }

  const i64 listPos = position + kSectionRecordSize;
  if (ReadRecord(listPos) < 2 || RecordCode() != record_code::kList) {
    return Fail("cell section at byte %lld has no plane list (40)", LL(position));
  }
  const int planes = static_cast<std::int8_t>(record_[1]);
  if (planes < 0) return Fail("cell section at byte %lld lists %d planes", LL(position), planes);
  std::uint8_t list[127 * 8];
  if (planes > 0 && spool_->ReadAt(list, static_cast<platform::DWORD>(8 * planes), listPos + 2) < 8 * planes) {
    return Fail("plane list of the cell section at byte %lld is cut short", LL(position));
  }

  cellWidths_[kind] = static_cast<std::int32_t>(width);
  cellHeights_[kind] = static_cast<std::int32_t>(height);
  if (kind == kMainKind) {
    for (PlaneRecord& plane : settings_.planes) plane.enabled = 0;
  }
  for (int i = 0; i < planes; ++i) {
    const i64 header = LoadI64(list + 8 * i);
    if (header <= 0) continue;  // the colour is absent from this cell
    if (header >= ASpoolFile::kMaxSize || ReadRecord(header) < kPlaneHeaderSize) {
      return Fail("plane header position %lld of cell %d lies outside the file", LL(header), kind);
    }
    if (kind == kMainKind && RecordCode() != record_code::kPlaneHeader) {
      return Fail("expected a plane header (41) of the main cell at byte %lld, found code %d", LL(header),
                  RecordCode());
    }
    const int colour = LoadU16(record_ + 2);
    if (colour >= kMaxColours) return Fail("plane header at byte %lld names colour %d", LL(header), colour);
    const int p = device_->GetPlaneOrder(colour);
    if (!ValidPlane(p)) return Fail("the device gave plane %d for colour %d", p, colour);
    PlaneRecord& plane = settings_.planes[p];
    plane.cellFlags[kind] = LoadU16(record_ + 4);
    if (kind == kMainKind) {
      plane.enabled = device_->TestBit(colour, colorMask_);
      plane.bitsPerPixel = static_cast<std::int8_t>(record_[1]);
      plane.cellStart[0] = plane.cellPos[0] = header;
    }
    // Slot 0 holds the main plane header; a kind-0 section never moves it.
    if (kind != 0) plane.cellStart[kind] = plane.cellPos[kind] = header + kPlaneHeaderSize;
  }
  return 1;
}

void ARasterDriver::FinishPlaneSelection() {
  // Flags of every section count, whatever the directory order.
  const bool dropEmpty = device_ != nullptr && device_->SupportsSection() != 0;
  int count = 0, first = -1, last = -1;
  for (int p = 0; p < kPlaneCount; ++p) {
    PlaneRecord& plane = settings_.planes[p];
    if (plane.enabled == 0) continue;
    if (dropEmpty && std::all_of(std::begin(plane.cellFlags), std::end(plane.cellFlags), [](int f) { return f == 0; })) {
      plane.enabled = 0;
      continue;
    }
    ++count;
    if (first < 0) first = p;
    last = p;
  }
  settings_.enabledPlaneCount = count;
  if (count > 0) {
    settings_.firstPlane = first;
    settings_.lastPlane = last;
  }
}

void ARasterDriver::ComputeFrameSizes() {
  const auto widest = [this](int a, int b, int c) { return std::max({cellWidths_[a], cellWidths_[b], cellWidths_[c]}); };
  const auto tallest = [this](int a, int b, int c) {
    return std::max({cellHeights_[a], cellHeights_[b], cellHeights_[c]});
  };
  firstBandHeight_ = tallest(3, 8, 9);
  lastBandHeight_ = tallest(4, 6, 7);
  leftColumnWidth_ = widest(1, 6, 9);
  rightColumnWidth_ = widest(2, 7, 8);
}

bool ARasterDriver::CheckCentreCells() {
  for (int kind : {3, 4}) {
    if (cellWidths_[kind] > cellWidths_[kMainKind]) {
      return Fail("the centre cell of the %s band is %d pixels wide, wider than the main cell (%d)",
                  kind == 3 ? "first" : "last", cellWidths_[kind], cellWidths_[kMainKind]);
    }
  }
  return true;
}

int ARasterDriver::AllocateRowBuffers() {
  ReleasePlaneBuffers();
  if (ValidPlane(settings_.currentPlane)) pendingRepeats_[settings_.currentPlane] = 0;

  // One output row per enabled plane: the composed row and the separator row
  // are both pageColumns pixels at most.
  int maxBits = 1;
  for (int p = 0; p < kPlaneCount; ++p) {
    if (!PlaneEnabled(p)) continue;
    const int bits = settings_.planes[p].bitsPerPixel;
    if (!ValidBitsPerPixel(bits)) return Fail("plane %d has %d bits per pixel (1, 2, 4 or 8)", p, bits);
    const i64 size = (i64{bits} * pageColumns_ + 7) / 8 + 64;
    if (size > kMaxRowBytes) {
      return Fail("a page row of %lld bytes for plane %d exceeds the %lld-byte limit", LL(size), p, LL(kMaxRowBytes));
    }
    planeBuffers_[p] = AllocateZeroed(size);
    if (!planeBuffers_[p]) return Fail("out of memory for a %lld-byte row of plane %d", LL(size), p);
    planeBufferSizes_[p] = static_cast<std::int32_t>(size);
    maxBits = std::max(maxBits, bits);
  }

  // Unpacked cell rows (centre, right, left) and the packed row. Twice the
  // row leaves room for a row that decodes longer than its cell, plus the
  // decoder's terminating zero.
  const std::int32_t widths[3] = {cellWidths_[kMainKind], rightColumnWidth_, leftColumnWidth_};
  i64 sizes[kScratchBuffers] = {};
  for (int i = 0; i < 3; ++i) {
    sizes[i] = 2 * ((i64{widths[i]} * maxBits + 7) / 8) + 1;
    if (sizes[i] > 2 * kMaxRowBytes + 1) return Fail("cell rows of %d pixels are too wide", widths[i]);
  }
  sizes[3] = std::max({sizes[0], sizes[1], sizes[2]});
  for (int i = 0; i < kScratchBuffers; ++i) {
    scratchBuffers_[i].reset();
    scratchSizes_[i] = 0;
  }
  for (int i = 0; i < kScratchBuffers; ++i) {
    scratchBuffers_[i] = AllocateZeroed(sizes[i]);
    if (!scratchBuffers_[i]) return Fail("out of memory for a %lld-byte cell row", LL(sizes[i]));
    scratchSizes_[i] = static_cast<std::int32_t>(sizes[i]);
  }
  return 1;
}

}  // namespace pc50
