// The device-output layer: takes composed raster rows plane by plane, turns
// them into a printer's byte stream and delivers it to the host's port or to
// the job's output file. This base class holds everything that does not
// depend on the printer; a printer class supplies the pure operations.
//
// Results are ints, 0 meaning failure unless stated. Nothing here throws.
#pragma once

#include <cstdint>
#include <memory>

#include "device/settings_block.h"
#include "pc50/pc50.h"
#include "spool/win_file.h"

namespace pc50 {

class ABaseOutputDevice {
 public:
  static constexpr int kOutBufferSize = 204800;
  static constexpr int kOutBufferThreshold = 204768;
  static constexpr int kTextFieldSize = 128;

  ABaseOutputDevice();
  ABaseOutputDevice(const ABaseOutputDevice&) = delete;
  ABaseOutputDevice& operator=(const ABaseOutputDevice&) = delete;

  // -- Virtual operations, in the order of the device's operation table. --
  virtual void SetDefaultResolution() = 0;
  // Copies count pixels, each repeated, at *bitPos of dst (MSB first) and
  // advances *bitPos. Zero pixels leave dst as it is.
  virtual int ReplicatePixels(int bitsPerPixel, int count, const std::uint8_t* src, int repeat,
                              int* bitPos, std::uint8_t* dst);
  virtual int PreparePlane(int plane);
  virtual int SelectPlane(int plane);
  virtual int FinishOutput();
  virtual ~ABaseOutputDevice();
  virtual int GetRowNumber() = 0;
  virtual float GetVersion() = 0;
  virtual int GetPrinterName(char* out, ABasePort* port) = 0;
  virtual int EnumColorModel(int index, int* isDefault, char* name, const DrvInfo* info);
  virtual int GetColorList(int type, ColorList* list) = 0;
  virtual int FindColorModel(const char* name);
  virtual int GetPassCount();
  // One row with page and plane bracketing; may advance *plane. With
  // rowsPerPlane > 0 the plane advances to the next enabled plane, ending the
  // page when it wraps; 0 when no plane 0..lastPlane is enabled.
  virtual int PutRow(int* plane, int byteCount, const std::uint8_t* row);
  virtual int SendRow(int plane, int byteCount, const std::uint8_t* row) = 0;
  // Rows that go out as PackBits packets can be handed over packed, when
  // the packets are exactly those the device would make of byteCount bytes
  // (PackBitsIsCanonical): the device then need not unpack and pack them
  // again. TakesPackedRow tells whether the device would send this plane's
  // row of byteCount bytes that way now (none does by default).
  virtual bool TakesPackedRow(int plane, int byteCount);
  // PutRow with the row given as its packets.
  int PutPackedRow(int* plane, int byteCount, const std::uint8_t* packed, int packedLength);
  // SendRow with the row given as its packets; the default unpacks them.
  virtual int SendPackedRow(int plane, int byteCount, const std::uint8_t* packed, int packedLength);
  virtual int AbortOutput() = 0;
  virtual int CloseOutput();
  virtual int GetDefaultColorIndex(char* name, const DrvInfo* info);
  // Stores both names in the attached job record. 0, storing nothing, when
  // there is no job record or a name does not fit its 512-byte field.
  virtual int SetJobFileName(const char* name1, const char* name2);
  virtual int QueryPlane(int plane) = 0;
  virtual int SupportsSection();
  // Starts the device's job for a page; returns the pages it produces.
  virtual int StartJob(int widthPixels, int heightPixels, int pages) = 0;
  virtual int EndJob() = 0;
  virtual int StartPage();
  virtual int EndPage();
  virtual int StartPlane(int plane);
  virtual int EndPlane(int plane);
  virtual int GetRowCount();
  virtual int OpenDevice();
  virtual int CompleteJob();
  virtual int ShowProgress(int percent);
  // Every byte the device produces passes through here.
  virtual int WriteOutput(const std::uint8_t* data, int length, int flush);
  // Writes at the output file's position and adds length to the job's
  // bytesProduced. 0 for length 0, a short write, or a count past INT32_MAX.
  virtual int WriteToFile(const std::uint8_t* data, int length);
  virtual int WriteString(const char* text, int ignored);
  virtual int Attach(JobContext* job, SettingsBlock* settings);
  virtual float GetNativeXResolution();
  virtual float GetNativeYResolution();
  virtual float GetXResolution();
  virtual float GetYResolution();
  virtual float SetXResolution(float dpi) = 0;
  virtual float SetYResolution(float dpi) = 0;
  virtual int GetDefaultScreening(tagScreeningOption* screening, const DrvInfo* info);
  virtual int DoInitStatusCheck(int& status, char* text);
  virtual int GetStatus(int& status, char* text);
  // Bit (index mod 8) of byte index/8, bit 0 the least significant.
  virtual int TestBit(int bitIndex, const std::uint8_t* bits);
  virtual int LookupColor(const char* name, char* displayName) = 0;
  virtual int GetPlaneOrder(int position);
  virtual void SetPrintOrder();
  virtual int GetRowsPerPlane();
  virtual int DecodeDriverOption(const char* text, std::uint8_t* block, DrvInfo* info) = 0;
  virtual int DecodePPDString(const char* text, std::uint8_t* block, DrvInfo* info);
  virtual int PutPPDDisplays(char* ignored, char* out);
  virtual void SetStatusText(int code, const char* text);
  // Composes one output row: lead blank pixels, the left part, midCopies
  // middle parts separated by gap pixels, the right part, each source pixel
  // repeated. Returns its width in pixels (dst may be null: width only);
  // midCopies < 1 leaves the middle out. 0 for negative or oversized rows.
  virtual int ScaleRow(int bitsPerPixel, int repeat, int lead, int leftWidth, const std::uint8_t* left,
                       int midWidth, const std::uint8_t* mid, int midCopies, int gap, int rightWidth,
                       const std::uint8_t* right, std::uint8_t* dst);

  // Hands what the staging buffer holds to the port, or writes it to the
  // output file. 1 when all of it was taken (or there was nothing to hand
  // over), 0 when less. WriteOutput's flush answers its own length, which
  // cannot tell.
  int FlushOutput();

  // -- State shared with the raster driver. --
  char texts[5][kTextFieldSize];  // device texts from the spool header; never read here
  ABasePort* port;                // null: output goes to outputFile
  AWinFile outputFile;            // opened and closed by the raster driver per step
  std::int32_t aborting;          // set by the driver's abort just before CloseOutput
  // Set by the raster driver while a step runs with the output file open:
  // output to the file collects in the staging buffer and is written in
  // blocks (counted in the job's bytesProduced as it is staged; a block the
  // file refuses is taken off the count again). The driver flushes before
  // it closes the file. Unset, every write goes to the file at once.
  std::int32_t stageFileOutput;
  std::int32_t markJob;           // never set by the device classes

 protected:
  std::unique_ptr<std::uint8_t[]> outBuffer;
  std::int32_t outBufferUsed;
  JobContext* job;
  SettingsBlock* settings;
  float nativeXResolution;
  float nativeYResolution;
  std::uint32_t rowsPerPlane;
  std::int32_t rowCount;
  float xResolution;
  float yResolution;
  std::int32_t planeOrder[kPlaneCount];
  std::int32_t pagePending;

 private:
  // Hands bytes to the port; 0 unless the port took all of them.
  int SendToPort(const std::uint8_t* data, int length);
  // WriteOutput to the file while stageFileOutput is set.
  int StageForFile(const std::uint8_t* data, int length, int flush);
  // Writes the staged file output; 0 (nothing of it counted) when the file
  // took less.
  int WriteStagedToFile();
  // A row as PutRow takes it, unpacked or as packets.
  struct RowData {
    int byteCount;
    const std::uint8_t* row;     // unpacked, or null
    const std::uint8_t* packed;  // else its packets
    int packedLength;
  };
  int PutRowData(int* plane, const RowData& data);
  int Deliver(int plane, const RowData& data);
  // PutRow with the settings block's separations flag set.
  int PutSeparationRow(int plane, const RowData& data);
  // Moves *plane to the next enabled plane, ending the page when it wraps.
  int AdvancePlane(int* plane);
};

}  // namespace pc50
