// Reads a PC-50 command stream the way the printer does and hands back what
// it would print: pages, the ribbon passes of each page and, per pass, one
// bitmap per raster plane. It is the host's independent check of the module's
// stream writer and shares no code with it.
//
// What the decoder understands
//   PCL escape sequences in general (ESC, parameterised character, group
//   character, value, parameter character; lower-case parameter characters
//   combine further commands, as in "ESC*v1a1b1c0I"), of which it accepts:
//     ESC E              reset: ends the page and forgets all state
//     ESC %#B / ESC %#A  enter HP-GL/2 / back to PCL
//     ESC *t#R           raster resolution (dots per inch)
//     ESC *v6W + 6 bytes configure image data (short form)
//     ESC *v#a #b #c #I  palette: three colour components, then the index
//     ESC &a#N           negative motion (accepted and ignored)
//     ESC *b#M           compression method: 0 (none) or 2 (PackBits)
//     ESC *b#V / #W      raster transfers of # data bytes
//     ESC *rC            end of raster graphics: ends the pass
//   and in HP-GL/2 sections the instructions BP, PS, PU, PA, PG and the
//   PC-50's colour select "!CL n;".
//
// Pages and passes
//   A page ends at PG (page advance), at ESC E or at the end of the stream;
//   a page is reported when it holds a pass or ended with PG. PS gives the
//   plot size in plotter units (1,016 per inch), length first; with the
//   raster resolution it fixes the page width: the whole pixels the plot
//   covers (a writer declares a plot at least as wide as its raster). Without PS (or before any ESC *t#R) the width is the
//   widest row of the page. Each "!CL n;" starts a pass with colour code n;
//   ESC *rC ends it. Every pass starts at the top-left corner of the page
//   (the stream puts the pen at 0,0 before every colour select).
//
// Rows
//   A raster row is a run of 'V' transfers closed by one 'W' transfer;
//   transfer k of a row is plane k. "ESC*b0W" alone is therefore a whole
//   blank row. Rows shorter than the page are zero-filled; a row wider than
//   a declared page width is a fault (the writer sizes rows from the same
//   width). Pixel x of a row is bit 7 - x % 8 of byte x / 8.
//
// Colour: how the palette is read
//   The configure-image-data block is the standard short form: colour space
//   (0 = RGB, 1 = CMY), encoding mode (only 0, indexed by plane, is
//   accepted), bits per index, then bits per primary for each of the three
//   primaries. Palette entries are given as three components, each 0 to
//   2^bits-per-primary - 1, where the maximum is full intensity of that
//   primary; so with one bit per primary the components are 0/1 per
//   primary: in RGB, 1,1,1 is white (no ink) and 0,0,0 black.
//   The PC-50's block declares one bit per index, yet its four-colour pass
//   defines sixteen entries and sends four planes per row. A strict PCL
//   printer would keep two entries and drop planes past the first, and the
//   four-colour cartridge could then print only black; the PC-50 plainly
//   does not. So the declared bits per index are reported but do not limit
//   anything: the palette has 256 entries and transfer k of a row sets bit
//   k of the pixel's palette index. With the stream's palette, index bit 0
//   is black, bit 1 cyan, bit 2 magenta and bit 3 yellow, and the entry of
//   each combination is the subtractive mix of its panels (cyan + magenta
//   = blue, black over anything = black). A configure-image-data block
//   resets the palette to entry 0 white and every other entry black.
//   A four-colour pass (colour code 5) takes at most four transfers per
//   row. Any other pass is a single-colour pass: one transfer per row, and
//   its set pixels print in the ribbon colour of its code; the palette does
//   not colour it.
//
// Faults
//   The decoder stops at the first fault and reports the stream offset of
//   the offending byte (or of the command that starts the offending
//   structure) with what it expected there. It never reads outside the
//   input, and the limits below bound what it allocates.
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ribbon_colours.h"

namespace pc50::hostkit {

struct StreamError {
  std::size_t offset = 0;
  std::string message;

  // "offset N: message"
  std::string ToString() const;
};

// Bounds on what a stream may make the decoder allocate.
struct DecodeLimits {
  std::size_t maxRowBytes = 65536;          // widest raster row
  std::size_t maxRowsPerPass = 1u << 20;
  std::size_t maxPageBytes = 256u << 20;    // plane bitmaps of one page, all passes
  std::size_t maxPages = 100000;
};

// One bit per pixel, rows of `stride` bytes, leftmost pixel in the top bit.
struct Bitmap {
  int width = 0;
  int height = 0;
  std::size_t stride = 0;
  std::vector<std::uint8_t> bits;

  bool Get(int x, int y) const;
  const std::uint8_t* Row(int y) const { return bits.data() + static_cast<std::size_t>(y) * stride; }
};

// The short-form configure-image-data block.
struct ImageConfig {
  int colourSpace = 0;    // 0 RGB, 1 CMY
  int encodingMode = 0;   // 0 indexed by plane
  int bitsPerIndex = 1;
  std::array<int, 3> bitsPerPrimary{{1, 1, 1}};
};

struct Pass {
  std::size_t offset = 0;        // of the "!CL" instruction
  int colourCode = 0;
  int compressionMethod = 0;     // in effect for the pass's first row
  int resolution = 0;            // dots per inch, 0 when never set
  ImageConfig config;
  std::array<Rgb, 256> palette{};
  std::bitset<256> paletteDefined;   // entries the stream set since the last reset
  int rows = 0;
  std::vector<Bitmap> planes;        // planes[k]: transfer k of each row
  std::vector<std::uint8_t> transfersPerRow;
  bool endedByEndRaster = false;     // closed with ESC*rC (not by a reset or page end)

  bool IsFourColour() const { return colourCode == kFourColourCode; }
  // Palette index of pixel (x, y): bit k from plane k.
  unsigned IndexAt(int x, int y) const;
};

enum class PageEnd { kAdvance, kReset, kEndOfStream };

struct Page {
  std::size_t offset = 0;        // first command of the page
  bool hasPlotSize = false;
  long plotLength = 0;           // PS, plotter units
  long plotWidth = 0;
  int width = 0;                 // pixels
  int height = 0;                // rows of the longest pass
  std::vector<Pass> passes;
  PageEnd end = PageEnd::kEndOfStream;
};

struct DecodeResult {
  bool ok = false;
  StreamError error;             // when !ok
  std::vector<Page> pages;       // when ok
};

// Decodes a whole stream. On a fault returns !ok with the fault and no pages.
DecodeResult DecodeStream(const std::uint8_t* data, std::size_t size,
                          const DecodeLimits& limits = DecodeLimits());
DecodeResult DecodeStream(const std::string& bytes, const DecodeLimits& limits = DecodeLimits());

}  // namespace pc50::hostkit
