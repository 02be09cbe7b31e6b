#include "device/pc50_device.h"

#include <cstring>

#include "device/ascii_text.h"
#include "device/driver_options.h"
#include "platform/diagnostics.h"
#include "resources/string_table.h"

namespace pc50 {
namespace {

constexpr char kPrinterName[] = "PC-50 Thermal Printer";
constexpr int kRowNumber = 17;
constexpr float kVersion = 1.0f;
constexpr float kHighResolutionFrom = 225.0f;
constexpr float kUnsupportedFrom = 450.0f;
constexpr int kDisplayTextSize = 64;

// Ribbon colours: indices 0 to 3 are the process colours, the rest spot
// colours with cartridges of their own.
struct ColourDefault {
  const char* name;
  std::uint32_t colorRef;  // 0x00BBGGRR
  std::int32_t code;       // sent in the colour-select instruction
};

constexpr ColourDefault kColours[] = {
    {"Cyan", 0x00FFFF00u, 15},   {"Magenta", 0x00FF00FFu, 14}, {"Yellow", 0x0000FFFFu, 13},
    {"Black", 0x00000000u, 12},  {"Orange", 0x00007FFFu, 20},  {"Green", 0x0000FF00u, 23},
    {"Red", 0x000000FFu, 21},    {"Blue", 0x00FF0000u, 22},    {"White", 0x00FFFFFFu, 10},
    {"Gold", 0x00007F7Fu, 8},    {"Silver", 0x00C0C0C0u, 11},
};
constexpr int kProcessColours = 4;
constexpr int kBlack = 3;

// Process colours of each colour model, in colour-table order.
constexpr int kCmykColours[] = {0, 1, 2, 3};
constexpr int kCmyColours[] = {0, 1, 2};
constexpr int kGrayColours[] = {kBlack};

// Print position -> plane index for each ribbon set-up.
constexpr std::int32_t kOrderYMCK[] = {2, 1, 0, 3};
constexpr std::int32_t kOrderCMYK[] = {0, 1, 2, 3};
constexpr std::int32_t kOrderFourColour[] = {1, 2, 3, 0};

float MapResolution(float dpi, float previous) {
  if (dpi < kHighResolutionFrom) return APC50Device::kNativeResolution;
  if (dpi < kUnsupportedFrom) return APC50Device::kHighResolution;
  // Nothing above 360 dpi: keep what was set before, or the native
  // resolution when nothing was.
  return previous != 0.0f ? previous : APC50Device::kNativeResolution;
}

}  // namespace

APC50Device::APC50Device()
    : command{},
      tempName{},
      optionBlock(nullptr),
      compressionMethod(2),
      hasSpotPlanes(0),
      hasProcessPlanes(1),
      outputMode(1),
      planeRecordLength{},
      planeUsed{},
      writeToTemp(0),
      firstProcessPlane(0),
      lastProcessPlane(0),
      recordsStart(0),
      colourNames{},
      colourCodes{},
      colourRefs{},
      colourCount(0),
      bytesPerRow(0),
      rowAreaBytes(0),
      rowPosition(0),
      assembledRows(0) {
  std::memcpy(planeOrder, kOrderYMCK, sizeof kOrderYMCK);
  rowsPerPlane = 0;
  for (const ColourDefault& colour : kColours) AddColour(colour.name, colour.colorRef, colour.code);
}

APC50Device::~APC50Device() { DiscardTempFile(); }

void APC50Device::AddColour(const char* name, std::uint32_t colorRef, std::int32_t code) {
  if (colourCount >= kColourCapacity) return;
  CopyText(colourNames[colourCount], kColourNameSize, name);
  colourRefs[colourCount] = colorRef;
  colourCodes[colourCount] = code;
  ++colourCount;
}

// ---- Identity ---------------------------------------------------------------

int APC50Device::GetRowNumber() { return kRowNumber; }

float APC50Device::GetVersion() { return kVersion; }

int APC50Device::GetPrinterName(char* out, ABasePort*) {
  if (out == nullptr) return Fail("no buffer for the printer name");
  std::memcpy(out, kPrinterName, sizeof kPrinterName);
  return 1;
}

int APC50Device::QueryPlane(int) { return 0; }

// ---- Resolutions ------------------------------------------------------------

void APC50Device::SetDefaultResolution() {
  nativeXResolution = kNativeResolution;
  nativeYResolution = kNativeResolution;
}

float APC50Device::SetXResolution(float dpi) {
  xResolution = MapResolution(dpi, xResolution);
  return xResolution;
}

float APC50Device::SetYResolution(float dpi) {
  yResolution = MapResolution(dpi, yResolution);
  return yResolution;
}

// ---- Colours ----------------------------------------------------------------

int APC50Device::FindColour(const char* name) const {
  for (int i = 0; i < colourCount; ++i) {
    if (EqualsIgnoringCase(colourNames[i], name)) return i;
  }
  return -1;
}

int APC50Device::LookupColor(const char* name, char* displayName) {
  const int index = FindColour(name);
  if (index < 0 || displayName == nullptr) return index;
  char displayNames[kResourceStringSize];
  if (LoadResourceString(kStringColourNames, displayNames, sizeof displayNames) != 0) {
    GetListItem(index, displayNames, displayName, kDisplayTextSize);
  }
  return index;
}

int APC50Device::GetColorCode(const char* name) {
  const int index = FindColour(name);
  return index < 0 ? -1 : colourCodes[index];
}

int APC50Device::GetColorList(int type, ColorList* list) {
  const int* process = nullptr;
  int processCount = 0;
  switch (type) {
    case 0:
      process = kCmykColours;
      processCount = sizeof kCmykColours / sizeof kCmykColours[0];
      break;
    case 1:
      process = kCmyColours;
      processCount = sizeof kCmyColours / sizeof kCmyColours[0];
      break;
    case 2:
      process = kGrayColours;
      processCount = sizeof kGrayColours / sizeof kGrayColours[0];
      break;
    default:
      return Fail("no colour model %d", type);
  }
  if (list == nullptr || list->entries == nullptr) return Fail("no colour list to fill");

  char displayNames[kResourceStringSize] = "";
  LoadResourceString(kStringColourNames, displayNames, sizeof displayNames);
  int count = 0;
  auto add = [&](int index) {
    ColorListEntry& entry = list->entries[count++];
    std::memset(&entry, 0, sizeof entry);
    CopyText(entry.name, sizeof entry.name, colourNames[index]);
    GetListItem(index, displayNames, entry.displayName, sizeof entry.displayName);
    entry.isSpot = index >= kProcessColours ? 1 : 0;
    entry.constant1 = 1;
    entry.constant2 = 1;
    entry.colorRef = colourRefs[index];
  };
  for (int i = 0; i < processCount; ++i) add(process[i]);
  for (int i = kProcessColours; i < colourCount; ++i) add(i);
  list->count = count;
  return 1;
}

// ---- Job binding and options ------------------------------------------------

int APC50Device::Attach(JobContext* jobRecord, SettingsBlock* settingsBlock) {
  spotPlanesKnown = 0;
  optionBlock = settingsBlock != nullptr ? settingsBlock->driverOptions : nullptr;
  if (optionBlock != nullptr && optionBlock[0] != kDriverOptionTag) ResetDriverOptions(optionBlock);
  return ABaseOutputDevice::Attach(jobRecord, settingsBlock);
}

void APC50Device::SetPrintOrder() {
  const std::int32_t* order = kOrderFourColour;
  if (optionBlock != nullptr && optionBlock[1] == kSingleColorRibbons) {
    order = optionBlock[2] == kPrintOrderYMCK ? kOrderYMCK : kOrderCMYK;
  }
  std::memcpy(planeOrder, order, kProcessPositions * sizeof(std::int32_t));
}

int APC50Device::DecodeDriverOption(const char* text, std::uint8_t* block, DrvInfo*) {
  if (text == nullptr || block == nullptr) return Fail("option string or option block missing");
  DecodeDecimalOptions(text, block);
  return 1;
}

int APC50Device::PutPPDDisplays(char*, char* out) {
  if (out == nullptr) return Fail("no buffer for the option description");
  char description[kDisplayTextSize];
  DescribeDriverOptions(description, sizeof description);
  std::memcpy(out, description, std::strlen(description) + 1);
  return 1;
}

}  // namespace pc50
