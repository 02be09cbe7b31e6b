// Codes of the records in the spool file and the raster files (first byte of
// each record).
#pragma once

namespace pc50::record_code {

constexpr int kEndOfJob = 12;           // end of the spool index
constexpr int kRow = 20;                // one packed cell row
constexpr int kSkipped = 21;            // optional first index record, skipped
constexpr int kSection = 22;            // cell section: kind, width, height
constexpr int kPlaneSectionEnd = 23;
constexpr int kRasterPrologue = 24;     // first byte of a raster file
constexpr int kColorList = 30;
constexpr int kPageDirectory = 38;      // "&"
constexpr int kList = 40;               // "(": a list of positions
constexpr int kPlaneHeader = 41;        // ")"
constexpr int kBandEnd = 42;            // "*": end of a cell's rows
constexpr int kRasterFile = 125;        // "}": name of a raster file

}  // namespace pc50::record_code
