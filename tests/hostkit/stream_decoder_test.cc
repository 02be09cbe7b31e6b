#include "stream_decoder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "decoder_stream_builder.h"

namespace pc50::hostkit {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using namespace pc50::hostkit::testing;

DecodeResult Decode(const std::string& stream, const DecodeLimits& limits = DecodeLimits()) {
  return DecodeStream(stream, limits);
}

// Pixels of row y of a bitmap as '#' and '.', for readable expectations.
std::string RowText(const Bitmap& bitmap, int y) {
  std::string text;
  for (int x = 0; x < bitmap.width; ++x) text += bitmap.Get(x, y) ? '#' : '.';
  return text;
}

// Expects a fault at offset whose message contains text.
void ExpectFault(const std::string& stream, std::size_t offset, const std::string& text,
                 const DecodeLimits& limits = DecodeLimits()) {
  const DecodeResult result = Decode(stream, limits);
  ASSERT_FALSE(result.ok) << "decoded without a fault";
  EXPECT_EQ(result.error.offset, offset) << result.error.ToString();
  EXPECT_THAT(result.error.message, HasSubstr(text));
  EXPECT_TRUE(result.pages.empty());
}

// A mode-3 page: an uncompressed four-colour pass, then a Gold pass.
std::string FourColourThenGoldPage() {
  return PageHeader(16, 2) + PlaneHeader(5, 0) +
         Transfer('V', Bytes({0x80, 0x01})) + Transfer('V', Bytes({0xC0, 0x00})) +
         Transfer('V', Bytes({0x60, 0x00})) + Transfer('W', Bytes({0x30, 0x00})) +
         Transfer('V', Bytes({0, 0})) + Transfer('V', Bytes({0, 0})) +
         Transfer('V', Bytes({0, 0})) + Transfer('W', Bytes({0, 0})) + kEndRaster +
         PlaneHeader(8, 2) + Transfer('W', Bytes({0x01, 0x0F, 0xF0})) + kEndRaster +
         kTrailerHold + kReset;
}

TEST(StreamDecoder, SingleColourPassesReadRowsInTheirRibbonCodes) {
  const std::string stream =
      PageHeader(16, 4) + PlaneHeader(8, 2) + kBlankRow +
      Transfer('W', Bytes({0x01, 0xF0, 0x0F})) +  // literal
      Transfer('W', Bytes({0xFF, 0xAA})) +        // dotted separator: AA repeated twice
      Transfer('W', Bytes({0x00, 0x80})) +        // short row, zero-filled
      kEndRaster + PlaneHeader(15, 2) + Transfer('W', Bytes({0xFF, 0xFF})) + kEndRaster +
      kTrailerAdvance + kReset;
  const DecodeResult result = Decode(stream);
  ASSERT_TRUE(result.ok) << result.error.ToString();
  ASSERT_EQ(result.pages.size(), 1u);
  const Page& page = result.pages[0];
  EXPECT_EQ(page.offset, 0u);
  EXPECT_EQ(page.end, PageEnd::kAdvance);
  EXPECT_EQ(page.plotWidth, PlotUnits(16, 180));
  EXPECT_EQ(page.width, 16);
  EXPECT_EQ(page.height, 4);
  ASSERT_EQ(page.passes.size(), 2u);

  const Pass& gold = page.passes[0];
  EXPECT_EQ(gold.colourCode, 8);
  EXPECT_FALSE(gold.IsFourColour());
  EXPECT_EQ(gold.compressionMethod, 2);
  EXPECT_EQ(gold.resolution, 180);
  EXPECT_TRUE(gold.endedByEndRaster);
  EXPECT_THAT(gold.transfersPerRow, ElementsAre(1, 1, 1, 1));
  ASSERT_EQ(gold.planes.size(), 1u);
  EXPECT_EQ(RowText(gold.planes[0], 0), "................");
  EXPECT_EQ(RowText(gold.planes[0], 1), "####........####");
  EXPECT_EQ(RowText(gold.planes[0], 2), "#.#.#.#.#.#.#.#.");
  EXPECT_EQ(RowText(gold.planes[0], 3), "#...............");

  const Pass& cyan = page.passes[1];
  EXPECT_EQ(cyan.colourCode, 15);
  EXPECT_EQ(cyan.rows, 1);
  EXPECT_EQ(RowText(cyan.planes[0], 0), "################");
}

TEST(StreamDecoder, FourColourRowsSetOnePaletteBitPerTransfer) {
  const std::string stream =
      PageHeader(8, 3) + PlaneHeader(5, 2) + kBlankRow +
      Transfer('V', Bytes({0x00, 0x01})) +  // black
      Transfer('V', Bytes({0x00, 0xC0})) +  // cyan
      Transfer('V', Bytes({0x00, 0x60})) +  // magenta
      Transfer('W', Bytes({0x00, 0x30})) +  // yellow
      "\x1b*b0V\x1b*b0V\x1b*b0V\x1b*b0W" + kEndRaster + kTrailerAdvance + kReset;
  const DecodeResult result = Decode(stream);
  ASSERT_TRUE(result.ok) << result.error.ToString();
  ASSERT_EQ(result.pages.size(), 1u);
  ASSERT_EQ(result.pages[0].passes.size(), 1u);
  const Pass& pass = result.pages[0].passes[0];
  EXPECT_TRUE(pass.IsFourColour());
  EXPECT_THAT(pass.transfersPerRow, ElementsAre(1, 4, 4));
  ASSERT_EQ(pass.planes.size(), 4u);
  std::vector<unsigned> indices;
  for (int x = 0; x < 8; ++x) indices.push_back(pass.IndexAt(x, 1));
  EXPECT_THAT(indices, ElementsAre(2, 6, 12, 8, 0, 0, 0, 1));
  for (int x = 0; x < 8; ++x) EXPECT_EQ(pass.IndexAt(x, 2), 0u);

  EXPECT_EQ(pass.config.colourSpace, 0);
  EXPECT_EQ(pass.config.bitsPerIndex, 1);
  EXPECT_EQ(pass.paletteDefined.count(), 16u);
  EXPECT_EQ(pass.palette[0], (Rgb{255, 255, 255}));
  EXPECT_EQ(pass.palette[1], (Rgb{0, 0, 0}));
  EXPECT_EQ(pass.palette[2], (Rgb{0, 255, 255}));
  EXPECT_EQ(pass.palette[4], (Rgb{255, 0, 255}));
  EXPECT_EQ(pass.palette[6], (Rgb{0, 0, 255}));
  EXPECT_EQ(pass.palette[8], (Rgb{255, 255, 0}));
  EXPECT_EQ(pass.palette[12], (Rgb{255, 0, 0}));
  EXPECT_EQ(pass.palette[14], (Rgb{0, 0, 0}));
}

TEST(StreamDecoder, UncompressedFourColourPassThenPackedSpotPass) {
  const DecodeResult result = Decode(FourColourThenGoldPage());
  ASSERT_TRUE(result.ok) << result.error.ToString();
  ASSERT_EQ(result.pages.size(), 1u);
  const Page& page = result.pages[0];
  EXPECT_EQ(page.end, PageEnd::kReset);
  ASSERT_EQ(page.passes.size(), 2u);
  const Pass& cmyk = page.passes[0];
  EXPECT_EQ(cmyk.compressionMethod, 0);
  EXPECT_EQ(cmyk.rows, 2);
  EXPECT_EQ(RowText(cmyk.planes[0], 0), "#..............#");
  EXPECT_EQ(RowText(cmyk.planes[3], 0), "..##............");
  const Pass& gold = page.passes[1];
  EXPECT_EQ(gold.colourCode, 8);
  EXPECT_EQ(gold.compressionMethod, 2);
  EXPECT_EQ(RowText(gold.planes[0], 0), "....########....");
}

TEST(StreamDecoder, PagesEndAtPageAdvanceResetAndEndOfStream) {
  const std::string first = PageHeader(8, 1) + PlaneHeader(12, 2) +
                            Transfer('W', Bytes({0x00, 0xFF})) + kEndRaster + kTrailerAdvance;
  const std::string second = PageHeader(8, 1) + PlaneHeader(12, 2) + kBlankRow + kEndRaster +
                             kTrailerHold;
  const std::string third = PageHeader(8, 1) + PlaneHeader(10, 2) + kBlankRow + kEndRaster;
  const DecodeResult result = Decode(first + second + third);
  ASSERT_TRUE(result.ok) << result.error.ToString();
  ASSERT_EQ(result.pages.size(), 3u);
  EXPECT_EQ(result.pages[0].end, PageEnd::kAdvance);
  EXPECT_EQ(result.pages[1].end, PageEnd::kReset);
  EXPECT_EQ(result.pages[1].offset, first.size());
  EXPECT_EQ(result.pages[2].end, PageEnd::kEndOfStream);
  EXPECT_EQ(result.pages[2].offset, first.size() + second.size());
  EXPECT_EQ(result.pages[2].passes[0].colourCode, 10);
  // A reset with nothing printed since the last page gives no page.
  EXPECT_EQ(Decode(kReset + kReset + PageHeader(8, 1) + kReset).pages.size(), 0u);
}

TEST(StreamDecoder, CombinedParametersAndPackBitsNoOpPackets) {
  const std::string stream = PageHeader(16, 1) + PlaneHeader(8, 0) +
                             "\x1b*b2m3W" + Bytes({0xFF, 0x0F, 0x80}) +
                             Transfer('W', Bytes({0x80, 0x01, 0xF0, 0x01})) + kEndRaster;
  const DecodeResult result = Decode(stream);
  ASSERT_TRUE(result.ok) << result.error.ToString();
  const Pass& pass = result.pages[0].passes[0];
  EXPECT_EQ(pass.compressionMethod, 2);
  EXPECT_EQ(RowText(pass.planes[0], 0), "....####....####");
  EXPECT_EQ(RowText(pass.planes[0], 1), "####...........#");
}

TEST(StreamDecoder, WithoutPlotSizeTheWidestRowSetsTheWidth) {
  const std::string stream = kReset + "\x1b%0B!CL12;\x1b%1A" + Transfer('W', Bytes({0xFF})) +
                             Transfer('W', Bytes({0x00, 0x00, 0x01})) + kEndRaster;
  const DecodeResult result = Decode(stream);
  ASSERT_TRUE(result.ok) << result.error.ToString();
  const Page& page = result.pages[0];
  EXPECT_FALSE(page.hasPlotSize);
  EXPECT_EQ(page.width, 24);
  EXPECT_EQ(RowText(page.passes[0].planes[0], 0), "########................");
  EXPECT_EQ(RowText(page.passes[0].planes[0], 1), ".......................#");
}

TEST(StreamDecoder, ResetInsideARowDropsTheUnfinishedRow) {
  const std::string stream = PageHeader(8, 2) + PlaneHeader(5, 2) +
                             Transfer('V', Bytes({0x00, 0xFF})) + kReset;
  const DecodeResult result = Decode(stream);
  ASSERT_TRUE(result.ok) << result.error.ToString();
  ASSERT_EQ(result.pages.size(), 1u);
  const Pass& pass = result.pages[0].passes[0];
  EXPECT_EQ(pass.rows, 0);
  EXPECT_FALSE(pass.endedByEndRaster);
  EXPECT_TRUE(pass.planes.empty());
}

TEST(StreamDecoder, MalformedEscapesAreRejectedWhereTheyGoWrong) {
  const std::string head = PageHeader(16, 1);
  ExpectFault(head + "X", head.size(), "expected ESC, found byte 0x58");
  ExpectFault(head + "\x1b\x01", head.size() + 1, "expected a command character after ESC");
  ExpectFault(head + "\x1b", head.size(), "truncated escape sequence");
  ExpectFault(head + "\x1b*b2", head.size(), "expected a parameter character");
  ExpectFault(head + "\x1b*b2\x01", head.size() + 4, "expected a parameter character");
  ExpectFault(head + "\x1b*p5X", head.size(), "unsupported PCL command ESC*p#X");
  ExpectFault(head + "\x1bZ", head.size(), "unsupported escape sequence ESCZ");
  ExpectFault(head + "\x1b*b3M", head.size() + 3, "unsupported compression method 3");
  ExpectFault(head + "\x1b*b99999999999W", head.size() + 3, "value out of range");
  ExpectFault(head + "\x1b*v8W12345678", head.size() + 3, "expected a 6-byte configure-image");
  ExpectFault(head + std::string("\x1b*v6W\x00\x01\x01\x01\x01\x01", 11), head.size() + 6,
              "unsupported encoding mode 1");
  ExpectFault(head + "\x1b*v2a0I", head.size() + 3, "palette component 2 outside 0..1");
  ExpectFault(head + "\x1b*v256I", head.size() + 3, "palette index 256 outside 0..255");
}

TEST(StreamDecoder, TransfersThatOverrunTheStreamOrTheRowAreRejected) {
  const std::string pass = PageHeader(16, 1) + PlaneHeader(8, 2);
  ExpectFault(pass + "\x1b*b5W" + Bytes({1, 2}), pass.size(),
              "transfer of 5 bytes runs past the end of the stream (2 left)");
  // Transfer header is 5 bytes; the literal packet wants 6 bytes, 1 follows.
  ExpectFault(pass + Transfer('W', Bytes({0x05, 0x01})) + kEndRaster, pass.size() + 5,
              "PackBits packet runs past the end of the transfer");
  ExpectFault(pass + Transfer('W', Bytes({0x00, 0x01, 0xFF})) + kEndRaster, pass.size() + 7,
              "PackBits packet runs past the end of the transfer");
  ExpectFault(pass + Transfer('W', Bytes({0xFD, 0x00})) + kEndRaster, pass.size() + 5,
              "PackBits row expands past the page width of 2 bytes");
  const std::string raw = PageHeader(16, 1) + PlaneHeader(8, 0);
  ExpectFault(raw + Transfer('W', Bytes({1, 2, 3})) + kEndRaster, raw.size() + 5,
              "row of 3 bytes is wider than the page (2 bytes)");
}

TEST(StreamDecoder, RowsMustFitTheirPass) {
  const std::string head = PageHeader(16, 1);
  ExpectFault(head + kBlankRow, head.size(), "raster transfer outside a colour pass");
  const std::string afterEnd = head + PlaneHeader(8, 2) + kBlankRow + kEndRaster;
  ExpectFault(afterEnd + kBlankRow, afterEnd.size(), "raster transfer outside a colour pass");
  const std::string gold = head + PlaneHeader(8, 2);
  ExpectFault(gold + "\x1b*b0V" + kBlankRow + kEndRaster, gold.size(),
              "single-colour pass takes one transfer per row");
  const std::string cmyk = head + PlaneHeader(5, 2) + "\x1b*b0V\x1b*b0V\x1b*b0V\x1b*b0V";
  ExpectFault(cmyk + kBlankRow, cmyk.size(), "at most four transfers per row");
  const std::string pending = head + PlaneHeader(5, 2) + "\x1b*b0V";
  ExpectFault(pending + kEndRaster, pending.size(), "expected a W transfer to finish the raster row");
  ExpectFault(pending, pending.size(), "stream ends inside a raster row");
  const std::string rows = gold + kBlankRow;
  ExpectFault(rows + kTrailerAdvance, rows.size(), "expected ESC*rC to end the raster pass");
  // The pass begins at its colour select, after "ESC%0BPU;PA0,0;".
  ExpectFault(rows, head.size() + 13, "stream ends inside the raster pass started here");
}

TEST(StreamDecoder, HpglSectionsMustBeCompleteAndKnown) {
  const std::string start = kReset + "\x1b%0BBP5,1;";
  ExpectFault(start + "PS100,200", start.size(), "unterminated HP-GL/2 instruction PS");
  ExpectFault(start + "PS100,200;\x1b*t180R", start.size() + 10,
              "expected ESC%1A to leave the HP-GL/2 section");
  ExpectFault(start + "PS100,;", start.size() + 6, "expected a number in HP-GL/2 instruction PS");
  ExpectFault(start + "PS100 200;", start.size() + 6, "expected ',' or ';'");
  ExpectFault(start + "IN;", start.size(), "unsupported HP-GL/2 instruction IN");
  ExpectFault(start + "!CL;", start.size(), "!CL takes one colour code");
  ExpectFault(start + "PS0,10;", start.size(), "plot size 0 is not positive");
  ExpectFault(start + "\x1b%0B", start.size(), "expected ESC%1A to end the HP-GL/2 section");
  ExpectFault(start + "#", start.size(), "expected an HP-GL/2 instruction");
  // A trailer may be the last thing in the stream.
  EXPECT_TRUE(Decode(start + "PS100,200;PU;PG;").ok);
  // A colour the device does not know goes out as code -1.
  const DecodeResult unknown =
      Decode(start + "PS100,200;\x1b%1A" + PlaneHeader(-1, 2) + kBlankRow + kEndRaster);
  ASSERT_TRUE(unknown.ok) << unknown.error.ToString();
  EXPECT_EQ(unknown.pages[0].passes[0].colourCode, -1);
}

TEST(StreamDecoder, LimitsBoundRowsAndPageMemory) {
  DecodeLimits limits;
  limits.maxRowsPerPass = 3;
  const std::string pass = PageHeader(16, 4) + PlaneHeader(8, 2) + kBlankRow + kBlankRow + kBlankRow;
  ExpectFault(pass + kBlankRow + kEndRaster, pass.size(), "pass has more than 3 rows", limits);

  limits = DecodeLimits();
  limits.maxPageBytes = 4;  // two rows of 16 pixels, one plane
  const std::string two = PageHeader(16, 4) + PlaneHeader(8, 2) + kBlankRow + kBlankRow;
  ExpectFault(two + kBlankRow + kEndRaster, two.size(), "page raster exceeds the limit of 4 bytes",
              limits);

  limits = DecodeLimits();
  limits.maxRowBytes = 1;
  const std::string wide = kReset + "\x1b%0B!CL8;\x1b%1A";
  ExpectFault(wide + Transfer('W', Bytes({1, 2})), wide.size() + 5,
              "row of 2 bytes exceeds the row limit of 1 bytes", limits);
}

// Every prefix and many damaged copies of a valid stream either decode or
// fail at an offset inside the input; run under the sanitizers this also
// shows that nothing is read out of bounds.
TEST(StreamDecoder, DamagedStreamsFailCleanly) {
  const std::string good = FourColourThenGoldPage();
  ASSERT_TRUE(Decode(good).ok);
  for (std::size_t n = 0; n <= good.size(); ++n) {
    const DecodeResult result = Decode(good.substr(0, n));
    if (!result.ok) {
      EXPECT_LE(result.error.offset, n);
    }
  }
  std::mt19937 random(1234);
  for (int i = 0; i < 3000; ++i) {
    std::string damaged = good;
    const int edits = 1 + static_cast<int>(random() % 4);
    for (int e = 0; e < edits; ++e) {
      const std::size_t at = random() % damaged.size();
      const char byte = static_cast<char>(random() % 256);
      switch (random() % 3) {
        case 0: damaged[at] = byte; break;
        case 1: damaged.insert(damaged.begin() + static_cast<std::ptrdiff_t>(at), byte); break;
        default: damaged.erase(at, 1); break;
      }
    }
    const DecodeResult result = Decode(damaged);
    if (!result.ok) {
      EXPECT_LE(result.error.offset, damaged.size());
    }
  }
}

}  // namespace
}  // namespace pc50::hostkit
