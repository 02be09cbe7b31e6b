// The job settings that the raster driver keeps and the device reads: the
// driver-option block, margins, plane selection and the plane table. The
// driver writes them; the device only reads the fields it is documented to.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pc50 {

constexpr int kPlaneCount = 256;
constexpr int kCellKinds = 10;
constexpr int kSpoolHeaderSize = 3940;
constexpr int kDriverOptionBlockSize = 256;

// One colour plane of the page, indexed by the device's plane index.
struct PlaneRecord {
  std::int32_t order;                  // position in the job's colour list
  std::int32_t enabled;                // nonzero: printed on this page
  std::int32_t cellFlags[kCellKinds];  // per cell kind: content flag of its plane header
  std::int64_t cellStart[kCellKinds];  // per kind: first row record; [0]: main plane header
  std::int64_t cellPos[kCellKinds];    // per kind: next row record
  std::int32_t bitsPerPixel;
  char name[36];                       // colour name, NUL-terminated within 32
};
static_assert(sizeof(PlaneRecord) == 248, "plane record layout");
static_assert(offsetof(PlaneRecord, enabled) == 4, "enabled");
static_assert(offsetof(PlaneRecord, cellFlags) == 8, "cellFlags");
static_assert(offsetof(PlaneRecord, cellStart) == 48, "cellStart");
static_assert(offsetof(PlaneRecord, cellPos) == 128, "cellPos");
static_assert(offsetof(PlaneRecord, bitsPerPixel) == 208, "bitsPerPixel");
static_assert(offsetof(PlaneRecord, name) == 212, "name");

struct SettingsBlock {
  std::uint8_t driverOptions[kDriverOptionBlockSize];  // must stay first
  std::int32_t leftMargin;   // device pixels before the first cell of a row
  std::int32_t topMargin;    // blank rows after every plane header / separator
  double mediaWidth;         // inches
  double mediaLength;        // inches
  std::int32_t gapX;         // device pixels between copies side by side
  std::int32_t gapY;         // device rows between copy rows
  float requestedXResolution;
  float requestedYResolution;
  std::int32_t inRasterFile; // 1 while the reader holds a raster file
  std::int32_t colorCount;   // colours in the job's colour list
  std::uint32_t spoolOptions;
  std::uint8_t header[kSpoolHeaderSize];  // copy of the spool header
  std::int32_t separations;  // spool option bit 0
  std::int32_t currentPlane;
  std::int32_t firstPlane;
  std::int32_t lastPlane;
  std::int32_t enabledPlaneCount;
  std::int32_t separationsOnLastPosition;
  PlaneRecord planes[kPlaneCount];
};
static_assert(offsetof(SettingsBlock, driverOptions) == 0, "option block first");

}  // namespace pc50
