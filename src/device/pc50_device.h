// The PC-50 thermal-transfer printer as a device: its name, colour table and
// colour models, resolutions, print order from the driver options, the
// option strings, and (pc50_stream.cc) the command stream with its ribbon
// passes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

#include "device/output_device.h"

namespace pc50 {

class APC50Device : public ABaseOutputDevice {
 public:
  static constexpr int kCommandSize = 5120;
  static constexpr int kTempNameSize = 256;
  static constexpr int kProcessPositions = 4;
  static constexpr int kPlaneUsedSize = 32;
  static constexpr int kColourCapacity = 32;
  static constexpr int kColourNameSize = 64;
  static constexpr float kNativeResolution = 180.0f;
  static constexpr float kHighResolution = 360.0f;

  APC50Device();
  ~APC50Device() override;

  // -- Operations of the device table that the PC-50 defines. --
  void SetDefaultResolution() override;
  int GetRowNumber() override;  // 17
  float GetVersion() override;  // 1.0
  // Copies "PC-50 Thermal Printer" into out (the port is not used).
  int GetPrinterName(char* out, ABasePort* port) override;
  // Fills list for model 0 (CMYK), 1 (CMY) or 2 (Grayscale); 0 for any other.
  int GetColorList(int type, ColorList* list) override;
  int SendRow(int plane, int byteCount, const std::uint8_t* row) override;
  int AbortOutput() override;
  int QueryPlane(int plane) override;  // 0
  int StartJob(int widthPixels, int heightPixels, int pages) override;
  int EndJob() override;
  int StartPlane(int plane) override;
  int EndPlane(int plane) override;
  // Binds the job and the settings block, whose driver-option block is reset
  // to its defaults unless it carries the tag, and sets the print order.
  int Attach(JobContext* job, SettingsBlock* settings) override;
  // Below 225 dpi: 180; below 450: 360; otherwise the previous value (180
  // when there is none). Returns the stored resolution.
  float SetXResolution(float dpi) override;
  float SetYResolution(float dpi) override;
  // Colour-table index of name (ignoring case), or -1. On a match the display
  // name (at most 64 bytes) goes to displayName when it is not null.
  int LookupColor(const char* name, char* displayName) override;
  // planeOrder[0..3] from the ribbon type and print order.
  void SetPrintOrder() override;
  // The decimal "DriverOption<n>=<v>" form. Returns 1.
  int DecodeDriverOption(const char* text, std::uint8_t* block, DrvInfo* info) override;
  // Writes "Print Order:0,YMCK,CMYK;" into out. Returns 1.
  int PutPPDDisplays(char* ignored, char* out) override;

  // -- Operations the PC-50 adds, in this order. --
  // The device colour code of name (ignoring case), or -1.
  virtual int GetColorCode(const char* name);
  virtual int SendBlankRows(int count, int direct);
  virtual int SendPlaneHeader(int colourCode, int direct);
  virtual int Write(const std::uint8_t* data, int length);
  virtual int CopyTempFile();
  virtual int WriteAt(int rowIndex, int plane, const std::uint8_t* data, int length);

 protected:
  struct FileCloser {
    void operator()(std::FILE* file) const {
      if (file != nullptr) std::fclose(file);
    }
  };

  // Index of name in the colour table, ignoring case; -1 when absent.
  int FindColour(const char* name) const;
  void AddColour(const char* name, std::uint32_t colorRef, std::int32_t code);

  std::uint8_t command[kCommandSize];
  char tempName[kTempNameSize];
  std::unique_ptr<std::FILE, FileCloser> tempFile;
  std::uint8_t* optionBlock;  // the settings block's driver options; not owned
  std::int32_t compressionMethod;
  std::int32_t hasSpotPlanes;
  std::int32_t hasProcessPlanes;
  std::int32_t outputMode;
  std::unique_ptr<std::uint8_t[]> planeRecord[kProcessPositions];
  std::int32_t planeRecordLength[kProcessPositions];
  std::uint8_t planeUsed[kPlaneUsedSize];
  std::int32_t writeToTemp;
  std::int32_t firstProcessPlane;
  std::int32_t lastProcessPlane;
  std::int32_t recordsStart;
  char colourNames[kColourCapacity][kColourNameSize];
  std::int32_t colourCodes[kColourCapacity];
  std::uint32_t colourRefs[kColourCapacity];
  std::int32_t colourCount;
  std::int32_t bytesPerRow;
};

}  // namespace pc50
