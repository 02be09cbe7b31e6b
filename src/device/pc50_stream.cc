// The PC-50 command stream: PCL raster graphics inside HP-GL/2 framing, one
// pass per ribbon cartridge.
//
// Output modes:
//   1  one pass per enabled plane, each with its own cartridge and header;
//   2  the process planes of a row interleaved in one four-colour pass;
//   3  a four-colour pass assembled in a temporary file from fixed-size
//      uncompressed records (the planes arrive one after another), copied
//      to the output when its last plane ends, then one pass per spot plane.
#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cmath>
#include <cstring>
#include <new>

#include "device/ascii_text.h"
#include "device/driver_options.h"
#include "device/message_box.h"
#include "device/packbits.h"
#include "device/pc50_device.h"
#include "platform/diagnostics.h"
#include "platform/platform.h"
#include "resources/string_table.h"

namespace pc50 {
namespace {

// Page header: printer reset, HP-GL/2 with the plot size, then PCL at the
// raster resolution. ("\x1b" "E" is split: E would extend the hex escape.)
constexpr char kPageStart[] = "\x1b" "E" "\x1b%0BBP5,1;";
constexpr char kPlotSize[] = "PS%ld,%ld;";  // Y first
constexpr char kEnterPcl[] = "\x1b%1A";
constexpr char kRasterResolution[] = "\x1b*t%ldR";

// Plane header.
constexpr char kPenHome[] = "\x1b%0BPU;PA0,0;";
constexpr char kColourSelect[] = "!CL%d;";
constexpr std::uint8_t kConfigureImageData[] = {0x1B, '*', 'v', '6', 'W', 0x00, 0x00, 0x01, 0x01, 0x01, 0x01};
constexpr char kPaletteEntriesFollow[] = "\x1b&a1N";
// Palette index bit k is transfer k of a row: black, cyan, magenta, yellow.
constexpr char kPalette[] =
    "\x1b*v1a1b1c0I\x1b*v0a0b0c1I\x1b*v0a1b1c2I\x1b*v0a0b0c3I"
    "\x1b*v1a0b1c4I\x1b*v0a0b0c5I\x1b*v0a0b1c6I\x1b*v0a0b0c7I"
    "\x1b*v1a1b0c8I\x1b*v0a0b0c9I\x1b*v0a1b0c10I\x1b*v0a0b0c11I"
    "\x1b*v1a0b0c12I\x1b*v0a0b0c13I\x1b*v0a0b0c14I\x1b*v0a0b0c15I";
constexpr char kCompressionMethod[] = "\x1b*b%dM";

// Rows and trailers.
constexpr char kBlankRow[] = "\x1b*b0W";
constexpr char kTransfer[] = "\x1b*b%ld%c";  // data length, position letter
constexpr char kEmptyTransfer[] = "\x1b*b0%c";
constexpr char kEndRaster[] = "\x1b*rC";
constexpr char kTrailerSinglePage[] = "\x1b%0BPU;PA0,0;";
constexpr char kTrailerNextPage[] = "\x1b%0BPU;PG;";
constexpr char kReset[] = "\x1b" "E";

constexpr int kModeSinglePasses = 1;
constexpr int kModeInterleaved = 2;
constexpr int kModeAssembled = 3;
constexpr int kUncompressed = 0;
constexpr int kPackBits = 2;
constexpr int kFourColourCartridge = 5;
constexpr int kColourModelGrayscale = 2;
constexpr int kPromptModeSilent = 4;
constexpr int kSinglePage = 1;
constexpr int kPlaneNameLength = 32;
constexpr int kDisplayNameSize = 64;
constexpr int kPromptTextSize = 2 * kResourceStringSize;
constexpr char kTempPrefix[] = "PC50CMYK";
constexpr char kTempSuffix[] = ".tmp";
constexpr char kDefaultPrompt[] = "Please install %s cartridge to the printer";
constexpr char kDefaultCaption[] = "Change Cartridge";

// Row transfers carry 'V' (more planes of this row follow) except at the
// last process position, whose 'W' ends the row.
char PositionLetter(int position) { return position == APC50Device::kProcessPositions - 1 ? 'W' : 'V'; }

// kTransfer for a length of 0 or more, written without the formatting
// machinery (it runs for every row). Returns the characters written; out
// holds kTransferPrefixSize + 1.
int FormatTransfer(char* out, long length, char letter) {
  char digits[24];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + length % 10);
    length /= 10;
  } while (length > 0 && n < static_cast<int>(sizeof digits));
  int at = 0;
  out[at++] = '\x1b';
  out[at++] = '*';
  out[at++] = 'b';
  while (n > 0) out[at++] = digits[--n];
  out[at++] = letter;
  out[at] = '\0';
  return at;
}

const std::uint8_t* Bytes(const char* text) { return reinterpret_cast<const std::uint8_t*>(text); }

template <std::size_t N>
constexpr int TextLength(const char (&)[N]) {
  return static_cast<int>(N - 1);
}

// Appends commands to a fixed area; remembers when something did not fit.
class CommandText {
 public:
  CommandText(std::uint8_t* area, int capacity) : area_(area), capacity_(capacity) {}

  void Add(const void* data, int length) {
    if (!ok_ || length > capacity_ - used_) {
      ok_ = false;
      return;
    }
    std::memcpy(area_ + used_, data, static_cast<std::size_t>(length));
    used_ += length;
  }
  void Add(const char* text) { Add(text, static_cast<int>(std::strlen(text))); }
  void Format(const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
  {
    if (!ok_) return;
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(reinterpret_cast<char*>(area_ + used_),
                                      static_cast<std::size_t>(capacity_ - used_), format, args);
    va_end(args);
    if (length < 0 || length >= capacity_ - used_) {
      ok_ = false;
      return;
    }
    used_ += length;
  }

  bool ok() const { return ok_; }
  int size() const { return used_; }

 private:
  std::uint8_t* area_;
  int capacity_;
  int used_ = 0;
  bool ok_ = true;
};

// Pixels to plotter units (1,016 per inch), rounded up so that the plot
// always covers the raster it carries (a reader may clip the raster to the
// plot in whole pixels): the product is divided by the resolution in float
// arithmetic and the quotient taken to the next whole unit. Where the float
// quotient fell onto the whole unit below the exact one (very long pages),
// one unit more. False when the result does not fit 32 bits.
bool PlotUnits(int pixels, float dpi, long* units) {
  const long long product = static_cast<long long>(pixels) * 1016;
  const float scaled = static_cast<float>(product) / dpi;
  double rounded = std::ceil(static_cast<double>(scaled));
  if (rounded * static_cast<double>(dpi) < static_cast<double>(product)) rounded += 1.0;
  if (!(rounded >= 0.0 && rounded < 2147483648.0)) return false;
  *units = static_cast<long>(rounded);
  return true;
}

}  // namespace

// ---- Planes -----------------------------------------------------------------

void APC50Device::GetPlaneName(int plane, char* out) const {
  out[0] = '\0';
  if (settings == nullptr || plane < 0 || plane >= kPlaneCount) return;
  const char* stored = settings->planes[plane].name;
  const void* end = std::memchr(stored, '\0', kPlaneNameLength);
  const std::size_t length =
      end ? static_cast<std::size_t>(static_cast<const char*>(end) - stored) : kPlaneNameLength;
  std::memcpy(out, stored, length);
  out[length] = '\0';
}

bool APC50Device::IsSpotPlane(int plane) const {
  // Asked for every row: a page's answers are worked out when it starts.
  if (spotPlanesKnown != 0 && plane >= 0 && plane < kPlaneCount) return spotPlane[plane] != 0;
  char name[kPlaneNameLength + 1];
  GetPlaneName(plane, name);
  return FindColour(name) >= kProcessPositions;
}

void APC50Device::ClassifyPlanes() {
  spotPlanesKnown = 0;
  for (int p = 0; p < kPlaneCount; ++p) spotPlane[p] = IsSpotPlane(p) ? 1 : 0;
  spotPlanesKnown = 1;
}

int APC50Device::ChooseOutputMode() {
  // The mode follows from the first planes up to the first spot plane, as
  // far as the colour table reaches.
  std::memset(planeUsed, 0, sizeof planeUsed);
  hasProcessPlanes = 0;
  hasSpotPlanes = 0;
  for (int i = 0; i < colourCount && i < kPlaneUsedSize; ++i) {
    if (settings->planes[i].enabled == 0) continue;
    planeUsed[i] = 1;
    if (IsSpotPlane(i)) {
      hasSpotPlanes = 1;
      break;
    }
    hasProcessPlanes = 1;
  }
  firstProcessPlane = kProcessPositions - 1;
  lastProcessPlane = 0;
  for (int p = 0; p < kProcessPositions; ++p) {
    if (settings->planes[p].enabled == 0 || IsSpotPlane(p)) continue;
    if (p < firstProcessPlane) firstProcessPlane = p;
    if (p > lastProcessPlane) lastProcessPlane = p;
  }

  if (optionBlock != nullptr && optionBlock[1] == kSingleColorRibbons) return kModeSinglePasses;
  if (job->colorModel == kColourModelGrayscale) return kModeSinglePasses;
  if (settings->separations != 0) return kModeSinglePasses;
  if (hasProcessPlanes == 0) return kModeSinglePasses;
  if (hasSpotPlanes == 0) return kModeInterleaved;
  return kModeAssembled;
}

int APC50Device::CheckPlaneLayout() {
  for (int p = 0; p < kPlaneCount; ++p) {
    if (settings->planes[p].enabled == 0) continue;
    char name[kPlaneNameLength + 1];
    GetPlaneName(p, name);
    const bool spot = IsSpotPlane(p);
    if (!spot && p >= kProcessPositions) {
      return Fail("plane %d (\"%s\") is a process colour: the four-colour ribbon takes them on planes 0 to 3 only",
                  p, name);
    }
    if (spot && outputMode == kModeInterleaved) {
      return Fail("plane %d (\"%s\") is a spot colour beyond the first %d planes the device examines", p, name,
                  colourCount);
    }
    if (spot && p < lastProcessPlane) {
      return Fail("spot plane %d (\"%s\") comes before process plane %d: the four-colour pass must print first", p,
                  name, lastProcessPlane);
    }
  }
  return 1;
}

// ---- Page start -------------------------------------------------------------

int APC50Device::StartJob(int widthPixels, int heightPixels, int) {
  if (job == nullptr || settings == nullptr) return Fail("no job attached to the device");
  if (widthPixels < 0 || heightPixels < 0) return Fail("page of %d x %d pixels", widthPixels, heightPixels);
  const long long rowBytes = (static_cast<long long>(widthPixels) + 7) / 8;
  if (rowBytes > kMaxBytesPerRow) {
    return Fail("page %d pixels wide needs %lld bytes per row; the device takes at most %d", widthPixels, rowBytes,
                kMaxBytesPerRow);
  }
  if (!(xResolution > 0.0f && yResolution > 0.0f)) return Fail("no output resolution set for the page");

  DiscardTempFile();
  writeToTemp = 0;
  rowPosition = 0;
  assembledRows = 0;
  rowCount = 0;
  bytesPerRow = static_cast<std::int32_t>(rowBytes);
  ClassifyPlanes();
  outputMode = ChooseOutputMode();
  if (outputMode != kModeSinglePasses && CheckPlaneLayout() == 0) return 0;
  rowsPerPlane = outputMode == kModeInterleaved ? 1 : 0;
  compressionMethod = outputMode == kModeAssembled ? kUncompressed : kPackBits;
  if (AllocateRowAreas() == 0) return 0;

  if (outputMode == kModeAssembled) {
    tempFile.reset(platform::CreateTempFile(kTempPrefix, kTempSuffix, tempName, sizeof tempName));
    if (!tempFile) {
      tempName[0] = '\0';
      Fail("cannot create the temporary file of the four-colour pass: %s",
           AWinFile::ErrorText(platform::GetLastError()));
      throw 0;
    }
  }
  const int started = BeginPasses(widthPixels, heightPixels);
  if (started == 0) {
    DiscardTempFile();
    writeToTemp = 0;
  }
  return started;
}

int APC50Device::BeginPasses(int widthPixels, int heightPixels) {
  if (outputMode != kModeSinglePasses && AllocatePlaneRecords() == 0) return 0;
  if (WritePageHeader(widthPixels, heightPixels) == 0) return 0;
  if (outputMode == kModeSinglePasses) return 1;

  char models[kResourceStringSize] = "CMYK,";
  LoadResourceString(kStringColourModels, models, sizeof models);
  char cartridge[kDisplayNameSize] = "";
  GetListItem(0, models, cartridge, sizeof cartridge);
  if (PromptForCartridge(cartridge) == 0) return 0;
  if (SendPlaneHeader(kFourColourCartridge, 0) == 0) return 0;
  // The top-margin rows belong to the header: the rows of the process planes
  // count from 0, so in the assembled pass their records start right after.
  rowCount = 0;
  return 1;
}

int APC50Device::AllocateRowAreas() {
  if (workRow && packedRow && bytesPerRow <= rowAreaBytes) return 1;
  workRow.reset();
  packedRow.reset();
  rowAreaBytes = 0;
  const int rowSize = bytesPerRow > 0 ? bytesPerRow : 1;
  workRow.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(rowSize)]());
  packedRow.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(kTransferPrefixSize +
                                                                           PackBitsWorstCase(rowSize))]());
  if (!workRow || !packedRow) {
    workRow.reset();
    packedRow.reset();
    return Fail("no memory for rows of %d bytes", bytesPerRow);
  }
  rowAreaBytes = rowSize;
  return 1;
}

int APC50Device::AllocatePlaneRecords() {
  // Interleaved records hold a compressed row; assembled records one
  // uncompressed row, all of the same size so they can be placed by offset.
  const bool assembled = outputMode == kModeAssembled;
  const int size = kTransferPrefixSize + (assembled ? bytesPerRow : PackBitsWorstCase(bytesPerRow));
  for (int p = 0; p < kProcessPositions; ++p) {
    planeRecord[p].reset();
    planeRecordLength[p] = 0;
  }
  for (int p = 0; p < kProcessPositions; ++p) {
    planeRecord[p].reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(size)]());
    if (!planeRecord[p]) return Fail("no memory for the row records of the four-colour pass");
    char prefix[kTransferPrefixSize + 1];
    const int length = assembled ? std::snprintf(prefix, sizeof prefix, kTransfer, static_cast<long>(bytesPerRow),
                                                 PositionLetter(p))
                                 : std::snprintf(prefix, sizeof prefix, kEmptyTransfer, PositionLetter(p));
    std::memcpy(planeRecord[p].get(), prefix, static_cast<std::size_t>(length));
    planeRecordLength[p] = length + (assembled ? bytesPerRow : 0);
  }
  return 1;
}

int APC50Device::WritePageHeader(int widthPixels, int heightPixels) {
  long plotX = 0;
  long plotY = 0;
  if (!PlotUnits(widthPixels, xResolution, &plotX) || !PlotUnits(heightPixels, yResolution, &plotY)) {
    return Fail("page of %d x %d pixels is too large for the plot size", widthPixels, heightPixels);
  }
  CommandText header(command, kCommandSize);
  header.Add(kPageStart);
  header.Format(kPlotSize, plotY, plotX);
  header.Add(kEnterPcl);
  header.Format(kRasterResolution, static_cast<long>(xResolution));
  if (!header.ok()) return Fail("page header does not fit the command area");

  if (outputMode == kModeAssembled) {
    std::rewind(tempFile.get());
    writeToTemp = 1;
  } else {
    writeToTemp = 0;
  }
  return Write(command, header.size()) != 0 ? 1 : 0;
}

int APC50Device::PromptForCartridge(const char* displayName) {
  if (job->promptMode == kPromptModeSilent) return 1;
  char format[kResourceStringSize];
  char caption[kResourceStringSize];
  if (LoadResourceString(kStringCartridgePrompt, format, sizeof format) == 0) {
    CopyText(format, sizeof format, kDefaultPrompt);
  }
  if (LoadResourceString(kStringCartridgeCaption, caption, sizeof caption) == 0) {
    CopyText(caption, sizeof caption, kDefaultCaption);
  }
  char text[kPromptTextSize];
  // The format is the module's own string-table text with one %s.
  if (std::snprintf(text, sizeof text, format, displayName) < 0) text[0] = '\0';
  if (ShowMessage(text, platform::MB_OKCANCEL, job->parentWindow, caption) == platform::IDCANCEL) {
    return Fail("cartridge change cancelled (%s)", displayName);
  }
  return 1;
}

// ---- Plane headers and blank rows ---------------------------------------------

int APC50Device::SendPlaneHeader(int colourCode, int direct) {
  if (settings == nullptr) return Fail("no job attached to the device");
  CommandText header(command, kCommandSize);
  header.Add(kPenHome);
  header.Format(kColourSelect, colourCode);
  header.Add(kEnterPcl);
  header.Add(kConfigureImageData, static_cast<int>(sizeof kConfigureImageData));
  header.Add(kPaletteEntriesFollow);
  header.Add(kPalette);
  header.Format(kCompressionMethod, static_cast<int>(compressionMethod));
  if (!header.ok()) return Fail("plane header does not fit the command area");

  const bool toTemp = outputMode == kModeAssembled && direct == 0;
  writeToTemp = toTemp ? 1 : 0;
  if (Write(command, header.size()) == 0) return 0;
  if (toTemp) {
    const long position = std::ftell(tempFile.get());
    if (position < 0 || position > INT32_MAX) return Fail("temporary file position lost after the plane header");
    recordsStart = static_cast<std::int32_t>(position);
  }
  return SendBlankRows(settings->topMargin, direct) != 0 ? 1 : 0;
}

int APC50Device::SendBlankRows(int count, int direct) {
  if (count <= 0) return 1;
  const long long rows = static_cast<long long>(rowCount) + count;
  rowCount = rows > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(rows);
  const bool toTemp = outputMode == kModeAssembled && direct == 0;
  for (int i = 0; i < count; ++i) {
    writeToTemp = toTemp ? 1 : 0;
    if (Write(Bytes(kBlankRow), TextLength(kBlankRow)) == 0) return 0;
  }
  if (toTemp) {
    const long position = std::ftell(tempFile.get());
    if (position < 0 || position > INT32_MAX) return Fail("temporary file position lost after the blank rows");
    recordsStart = static_cast<std::int32_t>(position);
  }
  return 1;
}

// ---- Planes and rows ----------------------------------------------------------

int APC50Device::StartPlane(int plane) {
  if (job == nullptr || settings == nullptr) return Fail("no job attached to the device");
  if (plane < 0 || plane >= kPlaneCount) return Fail("plane %d out of range", plane);
  const bool spot = IsSpotPlane(plane);
  if (outputMode == kModeInterleaved || (outputMode == kModeAssembled && !spot)) return 1;

  // A pass of its own: its cartridge, its colour code, PackBits rows.
  char name[kPlaneNameLength + 1];
  GetPlaneName(plane, name);
  const int code = static_cast<std::int8_t>(GetColorCode(name));
  char displayName[kDisplayNameSize];
  CopyText(displayName, sizeof displayName, name);
  LookupColor(name, displayName);
  if (PromptForCartridge(displayName) == 0) return 0;
  compressionMethod = kPackBits;
  return SendPlaneHeader(code, spot ? 1 : 0);
}

std::uint8_t* APC50Device::PackWorkRow(char letter, int* length) {
  std::uint8_t* data = packedRow.get() + kTransferPrefixSize;
  const int packed = PackBitsEncode(data, workRow.get(), bytesPerRow);
  return FrameTransfer(letter, data, packed, length);
}

std::uint8_t* APC50Device::FrameTransfer(char letter, const std::uint8_t* packed, int packedLength, int* length) {
  std::uint8_t* data = packedRow.get() + kTransferPrefixSize;
  if (packed != data) std::memcpy(data, packed, static_cast<std::size_t>(packedLength));
  char prefix[kTransferPrefixSize + 1];
  const int prefixLength = FormatTransfer(prefix, packedLength, letter);
  std::uint8_t* record = data - prefixLength;
  std::memcpy(record, prefix, static_cast<std::size_t>(prefixLength));
  *length = prefixLength + packedLength;
  return record;
}

int APC50Device::SendRow(int plane, int byteCount, const std::uint8_t* row) {
  if (plane < 0 || plane >= kPlaneCount) return Fail("plane %d out of range", plane);
  if (byteCount < 0 || (byteCount > 0 && row == nullptr)) return Fail("invalid row of %d bytes", byteCount);
  if (!workRow || !packedRow) return Fail("row sent before the page was started");

  // A short row is padded with zeros, a long one cut to the page's width.
  const int copied = byteCount < bytesPerRow ? byteCount : bytesPerRow;
  if (copied > 0) std::memcpy(workRow.get(), row, static_cast<std::size_t>(copied));
  std::memset(workRow.get() + copied, 0, static_cast<std::size_t>(rowAreaBytes - copied));
  return SendWorkRow(plane);
}

bool APC50Device::TakesPackedRow(int plane, int byteCount) {
  if (plane < 0 || plane >= kPlaneCount || !workRow || !packedRow || byteCount != bytesPerRow) return false;
  return outputMode == kModeSinglePasses || IsSpotPlane(plane) ||
         (outputMode == kModeInterleaved && plane < kProcessPositions);
}

int APC50Device::SendPackedRow(int plane, int byteCount, const std::uint8_t* packed, int packedLength) {
  if (plane < 0 || plane >= kPlaneCount) return Fail("plane %d out of range", plane);
  if (byteCount < 0 || packedLength < 0 || (packedLength > 0 && packed == nullptr)) {
    return Fail("invalid packed row of %d bytes", packedLength);
  }
  if (!workRow || !packedRow) return Fail("row sent before the page was started");
  if (!TakesPackedRow(plane, byteCount) || packedLength > PackBitsWorstCase(bytesPerRow)) {
    // Unpacked into the work row (a row that unpacks past it fails) and
    // padded with zeros as SendRow pads.
    int unpacked = 0;
    if (!UnpackBits(packed, packedLength, workRow.get(), rowAreaBytes, &unpacked)) {
      return FailIfUnexplained("a packed row of plane %d does not unpack into a row of %d bytes", plane,
                               static_cast<int>(rowAreaBytes));
    }
    const int kept = std::min({unpacked, byteCount, static_cast<int>(bytesPerRow)});
    std::memset(workRow.get() + kept, 0, static_cast<std::size_t>(rowAreaBytes - kept));
    return SendWorkRow(plane);
  }
  int length = 0;
  if (outputMode == kModeSinglePasses || IsSpotPlane(plane)) {
    const std::uint8_t* record = FrameTransfer('W', packed, packedLength, &length);
    writeToTemp = 0;
    return Write(record, length) != 0 ? 1 : 0;
  }
  const std::uint8_t* record = FrameTransfer(PositionLetter(plane), packed, packedLength, &length);
  std::memcpy(planeRecord[plane].get(), record, static_cast<std::size_t>(length));
  planeRecordLength[plane] = length;
  return 1;
}

int APC50Device::SendWorkRow(int plane) {
  if (outputMode == kModeSinglePasses || IsSpotPlane(plane)) {
    int length = 0;
    const std::uint8_t* record = PackWorkRow('W', &length);
    writeToTemp = 0;
    return Write(record, length) != 0 ? 1 : 0;
  }
  if (plane >= kProcessPositions) return Fail("process plane %d has no place in the four-colour pass", plane);
  if (outputMode == kModeInterleaved) {
    int length = 0;
    const std::uint8_t* record = PackWorkRow(PositionLetter(plane), &length);
    std::memcpy(planeRecord[plane].get(), record, static_cast<std::size_t>(length));
    planeRecordLength[plane] = length;
    return 1;
  }
  return SendAssembledRow(plane);
}

int APC50Device::SendAssembledRow(int plane) {
  if (!tempFile) return Fail("row of plane %d after the four-colour pass ended", plane);
  if (plane == firstProcessPlane) {
    // The first plane lays down empty records for every position of its row.
    for (int p = 0; p < kProcessPositions; ++p) {
      if (WriteAt(rowCount, p, planeRecord[p].get(), planeRecordLength[p]) == 0) return 0;
    }
    if (rowCount >= assembledRows) assembledRows = rowCount + 1;
  } else if (rowCount >= assembledRows) {
    return Fail("plane %d has more rows than plane %d of the four-colour pass", plane,
                static_cast<int>(firstProcessPlane));
  }
  std::uint8_t* record = packedRow.get();
  const int prefixLength = FormatTransfer(reinterpret_cast<char*>(record), bytesPerRow, PositionLetter(plane));
  std::memcpy(record + prefixLength, workRow.get(), static_cast<std::size_t>(bytesPerRow));
  return WriteAt(rowCount, plane, record, prefixLength + bytesPerRow) != 0 ? 1 : 0;
}

int APC50Device::WriteAt(int rowIndex, int plane, const std::uint8_t* data, int length) {
  if (plane < 0 || plane >= kProcessPositions || rowIndex < 0) {
    return Fail("no record place for row %d of plane %d", rowIndex, plane);
  }
  if (!tempFile) return Fail("no temporary file for row %d of plane %d", rowIndex, plane);
  if (data == nullptr || length <= 0) return Fail("invalid record of %d bytes", length);
  const long long offset =
      recordsStart + static_cast<long long>(planeRecordLength[plane]) *
                         (static_cast<long long>(kProcessPositions) * rowIndex + plane);
  if (offset > LONG_MAX - length) {
    Fail("cannot reach offset %lld of the temporary file %s", offset, tempName);
    DiscardTempFile();
    return 0;
  }
  return PutRecord(offset, data, length) != 0 ? length : 0;
}

int APC50Device::PutRecord(long long offset, const std::uint8_t* data, int length) {
  constexpr long long kWindowTarget = 256 * 1024;
  if (windowStart < 0 || offset < windowStart || offset + length > windowStart + recordWindowSize) {
    if (FlushRecordWindow() == 0) return 0;
    windowStart = -1;
    // Whole rows of all positions, about kWindowTarget bytes, from the row
    // of the record on.
    const long long rowBytes = static_cast<long long>(planeRecordLength[0]) * kProcessPositions;
    const long long size = rowBytes >= kWindowTarget || rowBytes <= 0 ? std::max<long long>(rowBytes, length)
                                                                       : kWindowTarget / rowBytes * rowBytes;
    if (size < length) return Fail("row record of %d bytes larger than its row", length);
    if (size != recordWindowSize) {
      recordWindow.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(size)]);
      recordWindowSize = recordWindow ? size : 0;
      if (!recordWindow) return Fail("no memory for %lld bytes of the four-colour pass", size);
    }
    long long start = rowBytes > 0 ? recordsStart + (offset - recordsStart) / rowBytes * rowBytes : offset;
    if (start > offset || offset + length > start + size) start = offset;
    // What the file holds there already; past its end the window is blank,
    // as a seek past the end would leave it.
    std::FILE* file = tempFile.get();
    std::size_t got = 0;
    if (std::fseek(file, static_cast<long>(start), SEEK_SET) == 0) {
      got = std::fread(recordWindow.get(), 1, static_cast<std::size_t>(size), file);
    }
    if (std::ferror(file) != 0) {
      Fail("cannot read back offset %lld of the temporary file %s", start, tempName);
      DiscardTempFile();
      return 0;
    }
    std::memset(recordWindow.get() + got, 0, static_cast<std::size_t>(size) - got);
    windowStart = start;
    windowDirtyFrom = windowDirtyTo = 0;
  }
  const long long at = offset - windowStart;
  std::memcpy(recordWindow.get() + at, data, static_cast<std::size_t>(length));
  if (windowDirtyTo <= windowDirtyFrom) {
    windowDirtyFrom = at;
    windowDirtyTo = at + length;
  } else {
    windowDirtyFrom = std::min(windowDirtyFrom, at);
    windowDirtyTo = std::max(windowDirtyTo, at + length);
  }
  return 1;
}

int APC50Device::FlushRecordWindow() {
  if (windowStart < 0 || windowDirtyTo <= windowDirtyFrom) return 1;
  std::FILE* file = tempFile.get();
  const long long at = windowStart + windowDirtyFrom;
  const std::size_t n = static_cast<std::size_t>(windowDirtyTo - windowDirtyFrom);
  if (file == nullptr || at > LONG_MAX || std::fseek(file, static_cast<long>(at), SEEK_SET) != 0) {
    Fail("cannot reach offset %lld of the temporary file %s", at, tempName);
    DiscardTempFile();
    return 0;
  }
  const std::size_t written = std::fwrite(recordWindow.get() + windowDirtyFrom, 1, n, file);
  if (written != n) {
    Fail("temporary file %s took %zu of %zu bytes", tempName, written, n);
    DiscardTempFile();
    return 0;
  }
  windowDirtyFrom = windowDirtyTo = 0;
  return 1;
}

int APC50Device::EndPlane(int plane) {
  if (plane < 0 || plane >= kPlaneCount) return Fail("plane %d out of range", plane);
  const bool spot = IsSpotPlane(plane);
  if (outputMode == kModeInterleaved) {
    writeToTemp = 0;
    return SendInterleavedTransfer(plane);
  }
  if (outputMode == kModeAssembled && !spot) {
    const int result = plane == lastProcessPlane ? FinishAssembledPass() : 1;
    rowCount = 0;
    return result;
  }
  writeToTemp = 0;
  rowCount = 0;
  return Write(Bytes(kEndRaster), TextLength(kEndRaster));
}

int APC50Device::SendInterleavedTransfer(int plane) {
  if (plane < 0 || plane >= kProcessPositions) return Fail("plane %d has no place in the four-colour pass", plane);
  // Every row carries the transfers of positions 0 to 3 in order; a position
  // whose plane is not printed gets an empty transfer.
  if (plane < rowPosition && FinishInterleavedRow() == 0) return 0;
  for (int p = rowPosition; p < plane; ++p) {
    if (WriteEmptyTransfer(p) == 0) return 0;
  }
  if (Write(planeRecord[plane].get(), planeRecordLength[plane]) == 0) return 0;
  rowPosition = plane + 1;
  return plane >= lastProcessPlane ? FinishInterleavedRow() : 1;
}

int APC50Device::WriteEmptyTransfer(int position) {
  char empty[sizeof kEmptyTransfer];
  const int length = std::snprintf(empty, sizeof empty, kEmptyTransfer, PositionLetter(position));
  return Write(Bytes(empty), length);
}

int APC50Device::FinishInterleavedRow() {
  if (rowPosition == 0) return 1;
  writeToTemp = 0;
  for (int p = rowPosition; p < kProcessPositions; ++p) {
    if (WriteEmptyTransfer(p) == 0) return 0;
  }
  rowPosition = 0;
  return 1;
}

int APC50Device::FinishAssembledPass() {
  if (!tempFile) return Fail("the four-colour pass has already ended");
  if (FlushRecordWindow() == 0) return 0;
  if (std::fseek(tempFile.get(), 0, SEEK_END) != 0) {
    Fail("cannot reach the end of the temporary file %s", tempName);
    DiscardTempFile();
    return 0;
  }
  writeToTemp = 1;
  if (Write(Bytes(kEndRaster), TextLength(kEndRaster)) == 0) return 0;
  // Buffered bytes that cannot be stored (a full disk) show up here.
  if (std::fflush(tempFile.get()) != 0 || std::ferror(tempFile.get()) != 0) {
    Fail("temporary file %s could not be written out", tempName);
    DiscardTempFile();
    return 0;
  }
  return CopyTempFile() != 0 ? 1 : 0;
}

int APC50Device::CopyTempFile() {
  writeToTemp = 0;
  if (!tempFile) return Fail("no temporary file to copy");
  if (FlushRecordWindow() == 0) return 0;
  std::FILE* file = tempFile.get();
  const long size = std::fseek(file, 0, SEEK_END) == 0 ? std::ftell(file) : -1;
  bool ok = size > 0;
  if (!ok) Fail("temporary file %s is empty or unreadable", tempName);
  std::rewind(file);
  long copied = 0;
  while (ok && copied < size) {
    const long rest = size - copied;
    const std::size_t want = static_cast<std::size_t>(rest < kCommandSize ? rest : kCommandSize);
    const std::size_t got = std::fread(command, 1, want, file);
    if (got == 0) {
      Fail("temporary file %s ended after %ld of %ld bytes", tempName, copied, size);
      ok = false;
    } else if (WriteOutput(command, static_cast<int>(got), 0) != static_cast<int>(got)) {
      FailIfUnexplained("output refused the four-colour pass after %ld bytes", copied);
      ok = false;
    } else {
      copied += static_cast<long>(got);
    }
  }
  DiscardTempFile();
  if (!ok) return 0;
  return size > INT_MAX ? INT_MAX : static_cast<int>(size);
}

// ---- Page end and abort -----------------------------------------------------

int APC50Device::EndJob() {
  writeToTemp = 0;
  if (job == nullptr) return Fail("no job attached to the device");
  if (tempFile) {
    DiscardTempFile();
    return Fail("the four-colour pass did not end before the page");
  }
  if (outputMode == kModeInterleaved) {
    if (FinishInterleavedRow() == 0) return 0;
    if (WriteOutput(Bytes(kEndRaster), TextLength(kEndRaster), 1) != TextLength(kEndRaster)) {
      return FailIfUnexplained("output refused the end of the raster data");
    }
  }
  writeToTemp = 0;
  const char* trailer = job->singlePage == kSinglePage ? kTrailerSinglePage : kTrailerNextPage;
  const int length = static_cast<int>(std::strlen(trailer));
  if (WriteOutput(Bytes(trailer), length, 1) != length) return FailIfUnexplained("output refused the page trailer");
  return 1;
}

int APC50Device::AbortOutput() {
  DiscardTempFile();
  writeToTemp = 0;
  rowPosition = 0;
  return WriteOutput(Bytes(kReset), TextLength(kReset), 1);
}

// ---- Writing ------------------------------------------------------------------

int APC50Device::Write(const std::uint8_t* data, int length) {
  if (length <= 0 || data == nullptr) return Fail("invalid write of %d bytes", length);
  if (writeToTemp != 0) return WriteToTemp(data, length);
  if (WriteOutput(data, length, 0) != length) return FailIfUnexplained("output refused %d bytes", length);
  return length;
}

int APC50Device::WriteToTemp(const std::uint8_t* data, int length) {
  // The job's byte counters count the output file only; the temporary file
  // reaches it through CopyTempFile.
  if (!tempFile) return Fail("no temporary file to write to");
  // Records held back would land after what is written here.
  if (FlushRecordWindow() == 0) return 0;
  const std::size_t written = std::fwrite(data, 1, static_cast<std::size_t>(length), tempFile.get());
  if (written != static_cast<std::size_t>(length)) {
    Fail("temporary file %s took %zu of %d bytes", tempName, written, length);
    DiscardTempFile();
    return 0;
  }
  return length;
}

void APC50Device::DiscardTempFile() {
  windowStart = -1;
  windowDirtyFrom = windowDirtyTo = 0;
  tempFile.reset();
  if (tempName[0] != '\0') {
    platform::DeleteFileA(tempName);
    tempName[0] = '\0';
  }
}

}  // namespace pc50
