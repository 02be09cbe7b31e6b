// Seeded random print jobs for the round-trip suite, described in the
// terms a host lays a job out in: device pixels and rows, cells of the
// frame, colours, copies. A description turns into the spool job that the
// host kit writes and into the host's request (copies, single page). Small
// on purpose: a few hundred of them run in seconds.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "spool_job.h"

namespace pc50::roundtrip {

// What the host asks for besides the spool file.
struct HostRequest {
  int copies = 1;
  bool singlePage = false;
  bool promptsOn = false;  // prompt mode 0 instead of 4; no handler, so every prompt says OK
};

// One page image: the main cell and the frame around it.
struct ImageParams {
  std::uint32_t mainWidth = 8;
  std::uint32_t mainHeight = 2;
  // Widths of the side cells by kind (1, 2, 6, 7, 8, 9); 0 = absent. The
  // centre cells of the first and last bands (3, 4) are as wide as the main
  // cell and present when their flag is set.
  std::array<std::uint32_t, hostkit::kCellKindCount> sideWidths{};
  bool firstCentre = false;
  bool lastCentre = false;
  std::uint32_t firstHeight = 0;  // rows of every cell of the first band
  std::uint32_t lastHeight = 0;   // and of the last band
  // Colours (positions in the colour list) of each present cell; the main
  // cell's decide the planes of the page.
  std::array<std::vector<int>, hostkit::kCellKindCount> colours;
  std::map<int, int> bitsPerPixel;             // by colour; 1 when not listed
  std::set<std::pair<int, int>> emptyContent;  // (kind, colour) whose content flag is 0
  bool blankEmptyCells = true;                 // cells flagged empty hold no set pixel
  bool shuffledDirectory = false;              // sections not in kind order
  unsigned contentSeed = 1;

  bool HasKind(int kind) const;
  std::uint32_t Width(int kind) const;
  std::uint32_t Height(int kind) const;
};

struct JobParams {
  std::uint32_t seed = 0;
  std::int16_t version = 6;  // 5: 16-bit resolutions, one gap for both directions, no mask
  float xDpi = 180.0f;       // requested resolutions
  float yDpi = 180.0f;
  std::uint8_t ribbon = hostkit::kSingleColourRibbons;
  std::uint8_t printOrder = hostkit::kPrintOrderYMCK;
  std::int16_t colourModel = 0;
  std::vector<std::string> colours;
  std::set<int> maskedOff;  // colours whose bit of the colour mask is clear
  bool separations = false;
  bool rasterFiles = false;  // always with more than one image
  std::vector<ImageParams> images;
  // In device pixels (across) and rows (down) at the resolution the device
  // will use.
  int leftMargin = 0;
  int topMargin = 0;
  int gapX = 0;
  int gapY = 0;
  int pageLength = 0;  // 0: the whole media
  int mediaColumns = 64;
  int mediaRows = 64;
  HostRequest request;
};

// The families of jobs the suite draws from.
enum class Family {
  kSingleColourRibbons,  // one pass per plane
  kFourColourRibbon,     // process planes in one pass, spot colours after
  kSeparations,          // every plane a device job of its own
  kDeepPlanes,           // 2, 4 and 8 bits per pixel passed through
};

// A job of family drawn from seed.
JobParams GenerateJob(Family family, std::uint32_t seed);

// The device resolution for a requested one: below 225 dpi 180, below 450
// dpi 360.
float DeviceResolution(float requested);

// The spool job the host writes for params.
hostkit::SpoolJob BuildSpoolJob(const JobParams& params);

// One line per job: everything needed to build it again by hand.
std::string Describe(const JobParams& params);

// Smaller jobs to try while a failure persists, most promising first:
// fewer images, copies and colours, smaller cells, no frame, no margins.
std::vector<JobParams> Simplifications(const JobParams& params);

}  // namespace pc50::roundtrip
