// Description of a host spool job: the header settings, the colour list and
// the page images, in the terms a reader of the job understands. The spool
// writer turns it into the spool file and its raster files.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace pc50::hostkit {

using Row = std::vector<std::uint8_t>;

// Cell kinds of the three-by-three frame around the main image. Kind 0 is
// not part of the frame.
enum CellKind : int {
  kMiddleLeft = 1,
  kMiddleRight = 2,
  kFirstCentre = 3,
  kLastCentre = 4,
  kMain = 5,
  kLastLeft = 6,
  kLastRight = 7,
  kFirstRight = 8,
  kFirstLeft = 9,
};
constexpr int kCellKindCount = 10;

// Bytes of an unpacked row of width pixels at bitsPerPixel.
inline std::size_t RowBytes(std::uint32_t width, int bitsPerPixel) {
  return (static_cast<std::size_t>(width) * static_cast<std::size_t>(bitsPerPixel) + 7) / 8;
}

// One colour's data within a cell: its plane header and its unpacked rows.
struct CellPlane {
  int bitsPerPixel = 1;           // 1, 2, 4 or 8
  std::uint16_t contentFlag = 1;  // 0: nothing to print in this cell
  std::vector<Row> rows;          // height rows of RowBytes(width, bpp)
};

struct Cell {
  std::uint32_t width = 0;   // pixels
  std::uint32_t height = 0;  // rows
  // Keyed by colour number (position in the job's colour list); a colour
  // missing here is absent from the cell.
  std::map<int, CellPlane> colours;
};

// A cell of width x height whose given colours all have every byte = fill.
inline Cell FilledCell(std::uint32_t width, std::uint32_t height, const std::vector<int>& colours,
                       int bitsPerPixel = 1, std::uint8_t fill = 0xFF) {
  Cell cell;
  cell.width = width;
  cell.height = height;
  for (int colour : colours) {
    CellPlane& plane = cell.colours[colour];
    plane.bitsPerPixel = bitsPerPixel;
    plane.rows.assign(height, Row(RowBytes(width, bitsPerPixel), fill));
  }
  return cell;
}

// One page image (one page directory). The main cell decides which colour
// planes exist on the page.
struct Image {
  std::array<std::optional<Cell>, kCellKindCount> cells;
  // Order of the sections in the page directory, as cell kinds; empty means
  // the present kinds in ascending order. Kinds left out are not written.
  std::vector<int> directoryOrder;

  Cell& Main() { return *cells[kMain]; }
};

enum class ImagePlacement {
  kInline,       // page data right after the colour list; one image only
  kRasterFiles,  // one raster file per image, named in the spool index
};

// Driver-option block values.
constexpr std::uint8_t kDriverOptionTag = 20;
constexpr std::uint8_t kFourColourRibbon = 0;
constexpr std::uint8_t kSingleColourRibbons = 1;
constexpr std::uint8_t kPrintOrderYMCK = 0;
constexpr std::uint8_t kPrintOrderCMYK = 1;

// Spool option flag: each plane's data comes in its own plane section.
constexpr std::uint16_t kSeparationsFlag = 0x0001;

struct SpoolJob {
  SpoolJob() {
    colourMask.fill(0xFF);
    driverOptions.fill(0);
    driverOptions[0] = kDriverOptionTag;
    driverOptions[1] = kSingleColourRibbons;
    driverOptions[2] = kPrintOrderYMCK;
  }

  std::int16_t version = 6;  // 6 and later: float resolutions, copy-row gap, colour mask;
                             // before 6: 16-bit resolutions
  std::int16_t indexPosition = 3940;
  float xResolution = 180.0f;  // dpi
  float yResolution = 180.0f;
  double mediaWidth = 4.0;  // inches
  double mediaLength = 6.0;
  double topMargin = 0.0;
  double leftMargin = 0.0;
  double copyGap = 0.0;     // between copies; before version 6 also between copy rows
  float copyRowGap = 0.0f;  // version 6 and later
  float pageLength = 0.0f;  // inches; 0: the whole media
  std::int16_t colourModel = 0;
  std::array<std::uint8_t, 31> colourMask;      // version 6 and later; bit n: colour n prints
  std::array<std::uint8_t, 256> driverOptions;  // tag 20, single-colour ribbons, YMCK
  std::uint16_t spoolOptions = 0;
  std::optional<std::vector<std::uint8_t>> record21;  // payload of the leading record 21

  std::vector<std::string> colours;        // colour list, at most 32 characters a name
  std::array<std::string, 5> deviceTexts;  // first to fifth

  std::vector<Image> images;
  ImagePlacement placement = ImagePlacement::kInline;
  // Names written in the index for the raster files, one per image; empty
  // means page1.dat, page2.dat, ... A directory part ("sub\\page1.dat") is
  // kept in the index; the file itself lies beside the spool file.
  std::vector<std::string> rasterFileNames;

  // Shape of the records, for tests that probe the reader.
  int rowFieldCount = 1;                 // 16-bit fields of a row record
  std::int64_t absentPlanePosition = 0;  // list entry of a colour absent from a cell
  // Rows in literal packets only, as a host that looks for no runs packs
  // them, instead of the printer's own packets.
  bool literalRows = false;
  // When false, cells are written as given: rows need not match the cell's
  // width, height or bits per pixel, and bands need not line up.
  bool strict = true;

  void SetRibbonType(std::uint8_t type) { driverOptions[1] = type; }
  void SetPrintOrder(std::uint8_t order) { driverOptions[2] = order; }
  void SetSeparations(bool on) {
    spoolOptions = static_cast<std::uint16_t>(on ? spoolOptions | kSeparationsFlag
                                                 : spoolOptions & ~kSeparationsFlag);
  }
  bool HasSeparations() const { return (spoolOptions & kSeparationsFlag) != 0; }
  // Sets or clears bit colour of the mask (least significant bit first);
  // colours outside the mask are ignored.
  void SetColourPrintable(int colour, bool printable) {
    if (colour < 0 || colour >= static_cast<int>(colourMask.size() * 8)) return;
    const unsigned bit = 1u << (colour % 8);
    std::uint8_t& byte = colourMask[static_cast<std::size_t>(colour / 8)];
    byte = static_cast<std::uint8_t>(printable ? byte | bit : byte & ~bit);
  }
};

}  // namespace pc50::hostkit
