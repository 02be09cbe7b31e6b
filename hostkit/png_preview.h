// Previews of decoded PC-50 pages: composites the ribbon passes of a page the
// way the printer lays them down and writes them as 8-bit RGB PNG files, one
// image pixel per printer dot.
//
// How the passes are laid down
//   The page starts as white paper. Passes go down in stream order, each
//   over the earlier ones. Thermal-transfer ink is opaque: where a pass
//   lays ink, the ink replaces whatever is below; where it lays none, the
//   page shows through.
//   - A single-colour pass inks its set pixels in its ribbon's colour (the
//     COLORREF of its colour code in kRibbonColours). A code that names no
//     ribbon (a plane colour the device does not know) inks black.
//   - A four-colour pass heats up to four panels for one dot: index bit 0
//     black, 1 cyan, 2 magenta, 3 yellow. The panels of one dot overlap
//     subtractively, and the stream's palette spells that mix out (cyan +
//     magenta = blue, black over anything = black), so the dot's ink is the
//     palette entry of its index. Index 0 heats no panel and inks nothing;
//     a palette entry of white inks nothing either, since no panel prints
//     white. The mixed dot is then opaque like any other ink.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "stream_decoder.h"

namespace pc50::hostkit {

// The ink a pass lays for a palette index; false when it lays none.
bool InkOf(const Pass& pass, unsigned index, Rgb* ink);

// Paints row y (0 <= y < page.height) of the page composite into rgb,
// 3 * page.width bytes.
void ComposePageRow(const Page& page, int y, std::uint8_t* rgb);

// Paints row y of one pass alone on white paper.
void ComposePassRow(const Page& page, const Pass& pass, int y, std::uint8_t* rgb);

// Writes the page composite to path. The image goes to a temporary name
// beside path first and is renamed on success, so path is never left half
// written. Fails (false, with the reason in *error) for a page without
// pixels and on any file or encoding error.
bool WritePagePng(const Page& page, const std::string& path, std::string* error);

// Writes one pass of the page, alone on white paper, the same way.
bool WritePassPng(const Page& page, std::size_t passIndex, const std::string& path,
                  std::string* error);

// Writes "<prefix>-<n>.png" for page n (from 1) and, with perPass,
// "<prefix>-<n>-pass<m>.png" for its pass m (from 1). Pages without pixels
// are skipped. The names written are appended to *written (may be null).
// Stops at the first failure.
bool WritePreviews(const std::vector<Page>& pages, const std::string& prefix, bool perPass,
                   std::vector<std::string>* written, std::string* error);

}  // namespace pc50::hostkit
