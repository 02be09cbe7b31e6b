// The host kit's PC-50 stream decoder on arbitrary bytes, and the page
// compositing behind its PNG previews, in memory.
//
// The whole input is the stream. Limits are tighter than the defaults so that
// a run stays fast; the decoder must respect them whatever the stream says.
//
// Checked: a fault comes with a message and no pages, at an offset inside the
// stream; decoded pages are consistent (plane bitmaps sized by the page and
// the pass, pass counts of planes and rows, the page height the longest
// pass, the limits kept), and every row of a small page composes without
// touching memory outside it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_input.h"
#include "png_preview.h"
#include "stream_decoder.h"

namespace {

using pc50::fuzz::Check;
using namespace pc50::hostkit;

constexpr std::size_t kComposeLimit = 1u << 18;  // pixels of a page worth compositing

DecodeLimits FuzzLimits() {
  DecodeLimits limits;
  limits.maxRowBytes = 4096;
  limits.maxRowsPerPass = 4096;
  limits.maxPageBytes = 4u << 20;
  limits.maxPages = 64;
  return limits;
}

void CheckPass(const Page& page, const Pass& pass, std::size_t stride, std::size_t* pageBytes,
               std::size_t streamSize) {
  Check(pass.offset < streamSize, "pass offset outside the stream", static_cast<long long>(pass.offset));
  Check(pass.rows >= 0 && pass.rows <= page.height, "pass rows outside the page", pass.rows, page.height);
  Check(pass.transfersPerRow.size() == static_cast<std::size_t>(pass.rows), "transfer counts per row",
        static_cast<long long>(pass.transfersPerRow.size()), pass.rows);
  const std::size_t maxPlanes = pass.IsFourColour() ? 4 : 1;
  Check(pass.planes.size() <= maxPlanes, "planes of a pass", static_cast<long long>(pass.planes.size()));
  for (std::uint8_t transfers : pass.transfersPerRow) {
    Check(transfers >= 1 && transfers <= maxPlanes, "transfers of a row", transfers);
    Check(transfers <= pass.planes.size() || pass.planes.empty(), "row with more transfers than planes",
          transfers, static_cast<long long>(pass.planes.size()));
  }
  for (const Bitmap& plane : pass.planes) {
    Check(plane.width == page.width && plane.height == pass.rows && plane.stride == stride,
          "plane bitmap shape", plane.width, plane.height);
    Check(plane.bits.size() == stride * static_cast<std::size_t>(plane.height), "plane bitmap size",
          static_cast<long long>(plane.bits.size()));
    *pageBytes += plane.bits.size();
  }
}

void CheckPage(const Page& page, const DecodeLimits& limits, std::size_t streamSize) {
  Check(page.width >= 0 && page.height >= 0, "page size", page.width, page.height);
  const std::size_t stride = (static_cast<std::size_t>(page.width) + 7) / 8;
  Check(stride <= limits.maxRowBytes, "page wider than the row limit", page.width);
  Check(page.offset <= streamSize, "page offset outside the stream", static_cast<long long>(page.offset));
  int longest = 0;
  std::size_t pageBytes = 0;
  for (const Pass& pass : page.passes) {
    CheckPass(page, pass, stride, &pageBytes, streamSize);
    longest = std::max(longest, pass.rows);
    Check(static_cast<std::size_t>(pass.rows) <= limits.maxRowsPerPass, "rows per pass", pass.rows);
  }
  Check(page.height == longest, "page height is not the longest pass", page.height, longest);
  Check(pageBytes <= limits.maxPageBytes, "page bitmaps beyond the limit", static_cast<long long>(pageBytes));

  if (page.width == 0 || page.height == 0) return;
  if (static_cast<std::size_t>(page.width) * static_cast<std::size_t>(page.height) > kComposeLimit) return;
  // Exactly one row of RGB, so any stray write is out of bounds.
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(page.width) * 3);
  for (int y = 0; y < page.height; ++y) {
    ComposePageRow(page, y, rgb.data());
    for (const Pass& pass : page.passes) ComposePassRow(page, pass, y, rgb.data());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const DecodeLimits limits = FuzzLimits();
  const DecodeResult result = DecodeStream(data, size, limits);
  if (!result.ok) {
    Check(result.pages.empty(), "a failed decode returned pages");
    Check(!result.error.message.empty(), "a fault without a message");
    Check(result.error.offset <= size, "fault offset outside the stream", static_cast<long long>(result.error.offset),
          static_cast<long long>(size));
    return 0;
  }
  Check(result.pages.size() <= limits.maxPages, "more pages than the limit",
        static_cast<long long>(result.pages.size()));
  for (const Page& page : result.pages) CheckPage(page, limits, size);
  return 0;
}
