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
  // Widest row a page may have; wider pages are refused by StartJob.
  static constexpr int kMaxBytesPerRow = 1000000;
  // Room for a row transfer's command ("\x1b*b<n><letter>") ahead of its data.
  static constexpr int kTransferPrefixSize = 16;

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
  // Sends (or, for the four-colour pass, keeps) one row of plane; byteCount
  // bytes of row, cut or padded with zeros to the page's row length.
  int SendRow(int plane, int byteCount, const std::uint8_t* row) override;
  // Rows of a pass of their own and of the interleaved pass go out packed:
  // packets of a row of the page's full row length are taken as they are.
  bool TakesPackedRow(int plane, int byteCount) override;
  int SendPackedRow(int plane, int byteCount, const std::uint8_t* packed, int packedLength) override;
  // Resets the printer ("\x1bE", flushed) and removes the temporary file.
  // Returns the result of that write.
  int AbortOutput() override;
  int QueryPlane(int plane) override;  // 0
  // Starts a page: chooses the output mode from the enabled planes, writes
  // the page header and, for the four-colour pass, asks for the CMYK
  // cartridge and writes its plane header. Returns 1, or 0 (cancelled
  // prompt, failed write, unsupported plane layout or width). Throws int 0
  // when the temporary file of the four-colour pass cannot be created.
  int StartJob(int widthPixels, int heightPixels, int pages) override;
  // Ends the raster data and writes the page trailer, both flushed. 1 or 0.
  int EndJob() override;
  // A pass of its own (single-colour ribbons, spot colours): asks for the
  // cartridge and writes the plane header. 1, or 0 when cancelled or failed.
  int StartPlane(int plane) override;
  // Ends plane's rows: one row of the interleaved pass, a pass, or (last
  // process plane of the four-colour pass) copies the assembled pass out.
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
  // count blank rows ("\x1b*b0W" each); into the temporary file for the
  // four-colour pass unless direct. 1, or 0 when a write failed.
  virtual int SendBlankRows(int count, int direct);
  // The plane header for a cartridge, followed by the top-margin rows. 1/0.
  virtual int SendPlaneHeader(int colourCode, int direct);
  // Writes to the temporary file (writeToTemp set) or the output. Returns
  // length when every byte was taken, else 0 (also for length 0).
  virtual int Write(const std::uint8_t* data, int length);
  // Copies the temporary file to the output and removes it, also when the
  // copy fails. Returns the bytes copied (at most INT_MAX), 0 on failure.
  virtual int CopyTempFile();
  // Writes a row record of the four-colour pass at its fixed place in the
  // temporary file. Returns length, or 0.
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

  // -- Command-stream helpers (pc50_stream.cc). --
  // The colour name of plane (at most 32 characters) into out[33].
  void GetPlaneName(int plane, char* out) const;
  // Spot planes carry a colour-table colour from index 4 on; anything else,
  // unknown names included, is a process plane.
  bool IsSpotPlane(int plane) const;
  // Works out IsSpotPlane for every plane of the page being started.
  void ClassifyPlanes();
  // Classifies the enabled planes and returns the output mode for the page.
  int ChooseOutputMode();
  // The interleaved and assembled passes place process planes by position:
  // 0 unless every enabled plane fits that scheme.
  int CheckPlaneLayout();
  int AllocateRowAreas();
  int AllocatePlaneRecords();
  int BeginPasses(int widthPixels, int heightPixels);
  int WritePageHeader(int widthPixels, int heightPixels);
  // Asks for the cartridge named displayName; 1 for OK (or no prompts), 0
  // when cancelled.
  int PromptForCartridge(const char* displayName);
  // Compresses the work row into packedRow after room for the transfer
  // command, puts "\x1b*b<n><letter>" right before the data and returns
  // where the record starts; *length gets its length.
  std::uint8_t* PackWorkRow(char letter, int* length);
  // Puts "\x1b*b<n><letter>" and the packets in packedRow as PackWorkRow does.
  std::uint8_t* FrameTransfer(char letter, const std::uint8_t* packed, int packedLength, int* length);
  // SendRow once the row is in the work row.
  int SendWorkRow(int plane);
  int SendInterleavedTransfer(int plane);
  // The empty transfer of a position whose plane is not on the page.
  int WriteEmptyTransfer(int position);
  int FinishInterleavedRow();
  int SendAssembledRow(int plane);
  int FinishAssembledPass();
  int WriteToTemp(const std::uint8_t* data, int length);
  // Closes the temporary file and removes it from the disk.
  void DiscardTempFile();
  // Puts a row record at offset of the temporary file through the record
  // window. 1, or 0 (reason recorded, temporary file discarded).
  int PutRecord(long long offset, const std::uint8_t* data, int length);
  // Writes the bytes of the window changed since it was read in. 1, or 0
  // (reason recorded, temporary file discarded).
  int FlushRecordWindow();

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
  // Per page, sized by StartJob: the work row (bytesPerRow bytes) and the
  // area a row is compressed into (transfer prefix + PackBits worst case).
  std::unique_ptr<std::uint8_t[]> workRow;
  std::unique_ptr<std::uint8_t[]> packedRow;
  std::int32_t rowAreaBytes;  // bytesPerRow the two areas were sized for
  // Interleaved pass: the next process position due in the current row.
  std::int32_t rowPosition;
  // Assembled pass: rows laid down by the first process plane.
  std::int32_t assembledRows;
  // Assembled pass: row records reach the temporary file through a window of
  // whole rows, so that the records of one plane, a row apart, cost one read
  // and one write per window rather than a seek and a write each.
  // IsSpotPlane of every plane, from the start of the page (spotPlanesKnown
  // set) until the job record or settings change.
  std::uint8_t spotPlane[kPlaneCount] = {};
  std::int32_t spotPlanesKnown = 0;
  std::unique_ptr<std::uint8_t[]> recordWindow;
  long long recordWindowSize = 0;  // bytes of room
  long long windowStart = -1;      // file offset of the window; -1: none
  long long windowDirtyFrom = 0;   // changed bytes, relative to windowStart
  long long windowDirtyTo = 0;
};

}  // namespace pc50
