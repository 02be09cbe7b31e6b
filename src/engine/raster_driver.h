// The generic raster driver: runs a print job from the host's spool file,
// one bounded step per ResumePrint, and forwards every device question to its
// device-output object.
//
// The operations are spread over several files by concern:
//   raster_driver.cc   construction, queries, InitializePrint/ResumePrint/AbortPrint
//   spool_records.cc   colour list, raster-file index, cell rows
//   page_directory.cc  page directory, cell sections, frame sizes, row buffers
//   page_layout.cc     copies and page layout
//   band_sequencer.cc  plane data, bands, row composition, page and section ends
//   row_output.cc      the time-sliced row loops
//   pending_rows.cc    blank, separator and pending rows
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "device/output_device.h"
#include "device/settings_block.h"
#include "pc50/pc50.h"
#include "spool/spool_file.h"

namespace pc50 {

class ARasterDriver : public ABasePrinterDriver {
 public:
  static constexpr int kRecordSize = 34;
  static constexpr int kNameBufferSize = 128;
  static constexpr int kScratchBuffers = 4;
  // Slice limits of the row loops.
  static constexpr platform::DWORD kSliceMilliseconds = 200;
  static constexpr std::int32_t kMaxBacklog = 200000;

  ARasterDriver();
  ~ARasterDriver() override;

  // -- Host-facing operations. --
  int InitializePrint(JobContext* job, ABasePort* port) override;
  int ResumePrint(int, int, int, int flags) override;
  int AbortPrint() override;
  int HasControlPanel() override;
  int DoControlPanel(void*, int, HWND, ABasePort*) override;
  int HasDriverOption() override;
  int DoDriverOption(void* optionBlock, int action, DrvInfo* info, HWND parent, ABasePort* port) override;
  int GetPrinterName(char* name, ABasePort* port) override;
  int DecodePPDString(char* ppdText, char* optionBlock, DrvInfo* info) override;
  int GetRowNumber() override;
  int SupportSeparation() override;
  float GetVersion() override;
  int PutPPDDisplays(char* displayText, char* optionBlock) override;
  int SupportCMYKPage() override;
  int EnumColorModel(int index, int* isDefault, char* name, const DrvInfo* info) override;
  int FindColorModel(const char* name) override;
  int GetColorList(int model, ColorList* list) override;
  int GetDefaultScreening(tagScreeningOption* screening, const DrvInfo* info) override;
  int GetDefaultColorIndex(char* name, const DrvInfo* info) override;
  int SetJobFileName(const char* name, const char* name2) override;
  int DoInitStatusCheck(int& status, char* text) override;
  int GetStatus(int& status, char* text) override;

  // -- The raster driver's own operations, in table order. --
  virtual void SetDevice(ABaseOutputDevice* device);
  virtual int GetDeviceRowNumber();
  virtual int OpenNextRasterFile();
  virtual int BeginPage();
  virtual int BeginPlaneData();
  virtual int SelectBand(short band);
  virtual int PutRasterBlock();
  virtual int PutRowsSequential();
  virtual int PutRowsInterleaved();
  virtual int PutRowsDeviceOrder();
  virtual int ComposeRow(int band);
  virtual int EndBand();
  virtual int EndPlaneSection();
  virtual int ReturnToSpoolIndex();
  virtual int FinishJob();
  virtual int PutSeparatorRow();
  virtual int PutBlankRows(int count);
  virtual int ReadColorNames();
  virtual int ReadSection(std::int64_t position);
  virtual int ReadCellRow(int kind, std::uint8_t* out);
  virtual int NextPage();
  virtual int FlushRepeatRows();
  virtual int FlushPendingRows();
  virtual int FlushAllPendingRows();
  virtual void ComputeFrameSizes();
  virtual void ComputeLayout();
  virtual int AllocateRowBuffers();

  // Where a job stands, for the host's "is it over" questions and for tests.
  enum class JobState { kIdle, kStarted, kRunning, kEnded, kFailed, kAborted };
  JobState state() const { return state_; }
  const SettingsBlock& settings() const { return settings_; }

 protected:
  // Reads the record at position into the record window (cleared first, so a
  // short read never leaves stale bytes). Returns the bytes read.
  int ReadRecord(std::int64_t position);
  int RecordCode() const { return static_cast<std::int8_t>(record_[0]); }
  bool HasJob() const { return device_ != nullptr && job_ != nullptr && spool_ != nullptr; }
  // Reads the record at position, where the next row (20) or the end (42)
  // of cell slot of plane must stand, and returns its code. -1, with a
  // reason naming the file, the byte and the cell, when the file ends there
  // before the cell has all the rows its section declares, or inside the
  // row record's head. A file that ends after a cell's last row reads as
  // code 0: its end records alone are missing.
  int ReadCellRecord(int plane, int slot, std::int64_t position);
  // The two halves of ReadCellRow: the next row record of cell kind of the
  // current plane, its packets read into scratch buffer 3 and its cell
  // position moved past it (*packedLength gets their length, *at where they
  // stood); then those packets unpacked into out. 1, or 0 with a reason.
  int ReadCellPackets(int kind, int* packedLength, std::int64_t* at);
  int UnpackCellRow(int kind, int packedLength, std::int64_t at, std::uint8_t* out);
  // Composes the row of the band of kinds (centre, right, left) as the
  // packets of its one cell when the row is that cell's row unchanged and
  // the device takes them as they are (see ComposeRow). Returns the row's width and sets composedPackets_; 0 when
  // the row must be composed (*packedLength then holds the packets read, or
  // -1 when none were); -1 on failure.
  int ComposeFromPackets(const int* kinds, int* packedLength, std::int64_t* at);
  // PackBitsIsCanonical for a row's packets, with the answer remembered for
  // packets that pass in the slot of the row's place on the page: copies of
  // a page read the same rows again, and a row whose fingerprint matches
  // its slot's needs no second check. The answer depends on the packets and
  // the row length alone; the place only picks the slot.
  bool PacketsCanonical(std::uint64_t place, const std::uint8_t* packets, int length, int rowBytes);
  // Releases what PacketsCanonical keeps, at the end of a job.
  void ForgetCanonicalRows();
  // Sends the row ComposeRow made (its packets, or the plane's row buffer).
  int PutComposedRow(int plane, int byteCount);
  // Whether the row record read at position (got bytes of it in the record
  // window) has its whole head in the file.
  bool RowHeadComplete(std::int64_t position, int got);
  // The path of the file being read, for reasons.
  std::string InputPath();
  // Closes the reader and releases the plane buffers after a failed step.
  void FailStep();
  // Writes the output staged during the step and closes the output file.
  // 1, or 0 when the staged output could not be written.
  int CloseOutputFile();
  void ReleasePlaneBuffers();
  // The scratch buffer that holds rows of a cell kind: 0 centre, 1 right, 2 left.
  static int ScratchBufferFor(int kind);
  bool PlaneEnabled(int plane) const { return settings_.planes[plane].enabled != 0; }
  // The next enabled plane after plane up to lastPlane, or -1.
  int NextEnabledPlane(int plane) const;
  // Row length in bytes of w pixels at the plane's depth.
  int RowBytes(int plane, int pixels) const;

  // -- State used by the lifecycle. --
  std::int32_t deviceOpen_ = 0;
  std::unique_ptr<std::uint8_t[]> scratchBuffers_[kScratchBuffers];
  std::int32_t scratchSizes_[kScratchBuffers] = {};
  std::unique_ptr<std::uint8_t[]> planeBuffers_[kPlaneCount];
  std::int32_t planeBufferSizes_[kPlaneCount] = {};
  // The last composed row as the spool's packets (in scratch buffer 3), or
  // null when it is in its plane's row buffer.
  const std::uint8_t* composedPackets_ = nullptr;
  std::int32_t composedPacketsLength_ = 0;
  // Fingerprints of rows that passed PacketsCanonical, slotted by their
  // place on the page; allocated at the first such row, released with the job.
  std::unique_ptr<std::uint64_t[]> canonicalRows_;
  // Whether rows are worth checking for the device's own packets (see
  // PacketsCanonical), and rows passed by since the credit ran out.
  static constexpr std::int32_t kPacketCredit = 64;
  std::int32_t packetCredit_ = kPacketCredit;
  std::uint32_t packetProbes_ = 0;

  // Per-plane tables.
  std::int32_t bandState_[kPlaneCount] = {};
  std::int32_t copyRowsDone_[kPlaneCount] = {};
  std::int32_t pageCopyRows_[kPlaneCount] = {};
  std::int32_t rowCopies_[kPlaneCount] = {};
  std::int32_t pendingRepeats_[kPlaneCount] = {};
  std::int32_t pendingRowBytes_[kPlaneCount] = {};
  std::int32_t pendingSeparator_[kPlaneCount] = {};
  std::int32_t pendingGap_[kPlaneCount] = {};
  // Rows read of each cell since its band last started, beside cellPos.
  std::int32_t cellRowsRead_[kPlaneCount][kCellKinds] = {};
  // Phase of the dotted separator pattern. Each job has its own, starting at
  // 0, so that a job's lines never depend on other jobs running at the same
  // time or before it.
  int separatorPhase_ = 0;

  std::uint8_t colorMask_[31];
  std::uint8_t record_[kRecordSize] = {};
  ABaseOutputDevice* device_ = nullptr;  // owned by the most derived driver
  JobContext* job_ = nullptr;            // owned by whoever made it
  std::unique_ptr<ASpoolFile> spool_;
  SettingsBlock settings_;

  std::int64_t readPos_ = 0;
  std::int64_t recordPos_ = 0;
  std::int32_t pageLength_ = 0;
  std::int32_t repeatX_ = 1;
  std::int32_t repeatY_ = 1;
  std::int32_t progressStep_ = 1;
  std::int32_t passesPerPage_ = 0;
  std::int32_t passesDone_ = 0;

  // Frame sizes of the current page directory.
  std::int32_t cellWidths_[kCellKinds] = {};
  std::int32_t cellHeights_[kCellKinds] = {};
  std::int32_t firstBandHeight_ = 0;
  std::int32_t lastBandHeight_ = 0;
  std::int32_t leftColumnWidth_ = 0;
  std::int32_t rightColumnWidth_ = 0;

  // Layout of the copies.
  std::int32_t copiesPerRow_ = 0;
  std::int32_t copyRowsPerLength_ = 0;
  std::int32_t lengthRemainder_ = 0;
  std::int32_t copyRowsPerPage_ = 0;
  std::int32_t pageCount_ = 0;
  std::int32_t lastPageCopyRows_ = 0;
  std::int32_t lastRowCopies_ = 0;
  std::int32_t pageRows_ = 0;
  std::int32_t pageColumns_ = 0;
  std::int32_t lastPageRows_ = 0;
  std::int32_t lastPageColumns_ = 0;
  std::int32_t currentPageRows_ = 0;
  std::int32_t currentPageColumns_ = 0;
  std::int32_t uniformPages_ = 0;
  std::int32_t pagesDone_ = 0;

  // Page sequencing.
  std::int32_t rowsDone_ = 0;
  std::int32_t planesOneAtATime_ = 0;
  std::int32_t deviceWholePlanes_ = 0;

  JobState state_ = JobState::kIdle;
  bool attached_ = false;  // the device holds this job's record

  // Pipeline helpers.
  // How the planes of a page are visited: one plane at a time, all planes of
  // a row together, or in whatever order the device asks for them.
  enum class RowMode { kSequential, kInterleaved, kDeviceOrder };
  // The planes a band transition concerns: the one plane, or (interleaved)
  // every enabled plane from firstPlane to lastPlane.
  struct BandScope {
    RowMode mode;
    int plane;
  };
  // Rows a band transition owes, in the order they go out.
  struct RowPlan {
    std::int64_t blankBefore = 0;
    bool separator = false;
    std::int64_t blankAfter = 0;
  };
  enum class BandEnd { kContinue, kPageFinished, kFailed };

  // Layout: computes into locals and stores only a consistent result.
  bool LayoutCopies();
  // Drops planes without content, counts the enabled ones, finds first/last.
  void FinishPlaneSelection();
  bool CheckCentreCells();
  bool ValidPlane(int plane) const { return plane >= 0 && plane < kPlaneCount; }
  // Plane index, enabled, row buffer present, page laid out; else a reason.
  bool ReadyForRows(int plane);
  RowMode CurrentRowMode();
  // The cell that decides where band ends for plane: the centre cell, else
  // the left, else the right cell; -1 when the plane has none of them.
  int ReferenceKind(int plane, int band) const;
  // The first enabled plane that has a reference cell in band, or -1.
  int ReferencePlane(int band) const;
  bool BandMissing(const BandScope& scope, int band) const;
  int BandHeight(int band) const;
  int StatePlane(const BandScope& scope) const;
  void SetBandState(const BandScope& scope, int band);
  // Selects band for the planes of scope, or (band missing) plans its
  // blank rows and runs on to the following band.
  BandEnd EnterBand(const BandScope& scope, int band, RowPlan* plan);
  // The band of scope has ended: counts copy rows, plans gap and separator
  // rows and enters the next band, or reports the page finished.
  BandEnd AdvanceBand(const BandScope& scope, RowPlan* plan);
  bool SelectBandFor(const BandScope& scope, int band);
  void AddBlankRows(RowPlan* plan, std::int64_t rows) const;
  void AddSeparatorBlock(RowPlan* plan) const;
  // Sends the planned rows at once (one plane, or every plane per row).
  int SendPlan(const BandScope& scope, const RowPlan& plan);
  // Leaves the planned rows pending for plane (device-order output).
  void QueuePlan(int plane, const RowPlan& plan);
  // Band transition with its rows sent at once; NextPage at the page's end.
  int FinishBandAtOnce(const BandScope& scope);
  // The record position where the scope's current band continues.
  std::int64_t BandPosition(const BandScope& scope) const;
  // ReadCellRecord at BandPosition(scope).
  int ReadBandRecord(const BandScope& scope);
  int StartDevicePage();
  // Sends the plane's composed row up to repeatY times; what is left when
  // the device moves to another plane stays pending.
  int SendComposedRow(int plane, int byteCount);
  bool SliceEnds(platform::DWORD t0) const;
  void CountRows(std::int64_t rows);
  // FlushPendingRows until the device keeps its plane (bounded).
  int FlushUntilPlaneStays();
  int PutSeparatorRowsForAllPlanes();
  // Takes the next phase of the dotted separator pattern for n planes.
  int TakeSeparatorPhase(int planes);

  bool layoutValid_ = false;            // the current page is laid out
  std::int32_t effectivePageLength_ = 0;  // pageLength_ as the layout adjusted it

 private:
  // Lifecycle helpers.
  bool OpenJob(ABasePort* port);
  bool ReadHeader();
  bool AttachDevice();
  bool ReadIndexStart();
  int RunStep(bool toFile);
  // Adds the file being read to the failure's reason (with where in it, as
  // context), unless the reason names that file already: positions in a
  // reason mean little without their file.
  void NameInputFile(const char* where);
  int Dispatch();
};

}  // namespace pc50
