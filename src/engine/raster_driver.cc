// ARasterDriver: construction, the forwarded device questions, and the job
// lifecycle (start, one step, abort).
#include "engine/raster_driver.h"
#include "engine/record_codes.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "engine/little_endian.h"
#include "platform/diagnostics.h"

namespace pc50 {
namespace {

// Spool header fields.
constexpr int kHeaderVersion = 4;
constexpr int kHeaderIndexPosition = 6;
constexpr int kHeaderText5 = 264;
constexpr int kHeaderText1 = 584;
constexpr int kHeaderText4 = 648;
constexpr int kHeaderXResolution = 712;
constexpr int kHeaderYResolution = 716;
constexpr int kHeaderRowGap = 720;
constexpr int kHeaderPageLength = 724;
constexpr int kHeaderTopMargin = 776;
constexpr int kHeaderLeftMargin = 784;
constexpr int kHeaderMediaWidth = 808;
constexpr int kHeaderMediaLength = 816;
constexpr int kHeaderCopyGap = 824;
constexpr int kHeaderXResolutionV5 = 856;
constexpr int kHeaderYResolutionV5 = 858;
constexpr int kHeaderOptionBlock = 2552;
constexpr int kHeaderText2 = 3704;
constexpr int kHeaderText3 = 3768;
constexpr int kHeaderColorModel = 3834;
constexpr int kHeaderColorMask = 3838;
constexpr int kHeaderSpoolOptions = 3932;


// Repetition beyond this means a resolution no job can mean.
constexpr double kMaxRepeat = 64.0;

bool FitsField(const char* text, std::size_t size) { return std::memchr(text, '\0', size) != nullptr; }

// r(x): add 0.5 and truncate toward zero, refusing what an int cannot hold.
bool RoundToInt(double x, std::int32_t* out) {
  const double r = std::trunc(x + 0.5);
  if (!std::isfinite(r) || r < -2147483648.0 || r > 2147483647.0) return false;
  *out = static_cast<std::int32_t>(r);
  return true;
}

// One measurement of the header in device units; must be finite and >= 0.
bool DeviceUnits(double resolution, double inches, const char* what, std::int32_t* out) {
  if (!RoundToInt(resolution * inches, out)) {
    return Fail("spool header: %s of %g inches is out of range", what, inches);
  }
  if (*out < 0) return Fail("spool header: %s of %g inches is negative", what, inches);
  return true;
}

int RepeatFactor(float requested, float native) {
  if (requested >= native) return 1;
  return static_cast<int>(static_cast<double>(native) / requested);
}

}  // namespace

ARasterDriver::ARasterDriver() {
  std::memset(&settings_, 0, sizeof settings_);
  std::memset(colorMask_, 0xFF, sizeof colorMask_);
  spool_.reset(new (std::nothrow) ASpoolFile());
}

ARasterDriver::~ARasterDriver() = default;

// ---- Forwarded questions -----------------------------------------------------

int ARasterDriver::HasControlPanel() { return 0; }
int ARasterDriver::DoControlPanel(void*, int, HWND, ABasePort*) { return 0; }
int ARasterDriver::HasDriverOption() { return 0; }
int ARasterDriver::DoDriverOption(void*, int, DrvInfo*, HWND, ABasePort*) { return 0; }
int ARasterDriver::SupportSeparation() { return 0; }
int ARasterDriver::SupportCMYKPage() { return 1; }

int ARasterDriver::GetPrinterName(char* name, ABasePort* port) {
  return device_ ? device_->GetPrinterName(name, port) : 0;
}

int ARasterDriver::DecodePPDString(char* ppdText, char* optionBlock, DrvInfo* info) {
  return device_ ? device_->DecodePPDString(ppdText, reinterpret_cast<std::uint8_t*>(optionBlock), info) : 0;
}

int ARasterDriver::GetRowNumber() { return GetDeviceRowNumber(); }

float ARasterDriver::GetVersion() { return device_ ? device_->GetVersion() : 0.0f; }

int ARasterDriver::PutPPDDisplays(char* displayText, char* optionBlock) {
  if (device_ == nullptr || displayText == nullptr) return 0;
  char scratch[256] = {};
  if (device_->PutPPDDisplays(optionBlock, scratch) == 0) return 0;
  // The host receives the device's own description of its options.
  scratch[sizeof scratch - 1] = '\0';
  std::memcpy(displayText, scratch, std::strlen(scratch) + 1);
  return 1;
}

int ARasterDriver::EnumColorModel(int index, int* isDefault, char* name, const DrvInfo* info) {
  return device_ ? device_->EnumColorModel(index, isDefault, name, info) : 0;
}

int ARasterDriver::FindColorModel(const char* name) { return device_ ? device_->FindColorModel(name) : -1; }

int ARasterDriver::GetColorList(int model, ColorList* list) {
  return device_ ? device_->GetColorList(model, list) : 0;
}

int ARasterDriver::GetDefaultScreening(tagScreeningOption* screening, const DrvInfo* info) {
  return device_ ? device_->GetDefaultScreening(screening, info) : 0;
}

int ARasterDriver::GetDefaultColorIndex(char* name, const DrvInfo* info) {
  return device_ ? device_->GetDefaultColorIndex(name, info) : -1;
}

int ARasterDriver::SetJobFileName(const char* name, const char* name2) {
  return device_ ? device_->SetJobFileName(name, name2) : 0;
}

int ARasterDriver::DoInitStatusCheck(int& status, char* text) {
  return device_ ? device_->DoInitStatusCheck(status, text) : 3;
}

int ARasterDriver::GetStatus(int& status, char* text) { return device_ ? device_->GetStatus(status, text) : 3; }

void ARasterDriver::SetDevice(ABaseOutputDevice* device) { device_ = device; }

int ARasterDriver::GetDeviceRowNumber() { return device_ ? device_->GetRowNumber() : -1; }

// ---- Job start -----------------------------------------------------------------

int ARasterDriver::InitializePrint(JobContext* job, ABasePort* port) {
  ClearFailure();
  readPos_ = 0;
  recordPos_ = 0;
  job_ = job;
  state_ = JobState::kIdle;
  separatorPhase_ = 0;
  if (job_ == nullptr) return Fail("no job record");
  if (device_ == nullptr || spool_ == nullptr) return Fail("the driver has no device or spool reader");
  bool started = false;
  try {
    started = OpenJob(port);
  } catch (...) {
    FailIfUnexplained("job start failed");
  }
  if (!started) {
    NameInputFile("in");
    spool_->Close();
    return 0;
  }
  state_ = JobState::kStarted;
  return 1;
}

bool ARasterDriver::OpenJob(ABasePort* port) {
  if (!FitsField(job_->spoolPath, sizeof job_->spoolPath)) return Fail("spool path is not terminated");
  if (!FitsField(job_->outputPath, sizeof job_->outputPath)) return Fail("output path is not terminated");
  if (!spool_->Open(job_->spoolPath, 0)) {
    return FailIfUnexplained("cannot open spool file '%s'", job_->spoolPath);
  }
  device_->port = port;
  std::memset(&settings_, 0, sizeof settings_);
  job_->bytesConsumed = 0;
  job_->bytesProduced = 0;
  // A shorter file leaves zeros, which the checks below turn into a reason.
  spool_->ReadAt(settings_.header, kSpoolHeaderSize, 0);
  return ReadHeader() && AttachDevice() && ReadIndexStart();
}

bool ARasterDriver::ReadHeader() {
  const std::uint8_t* h = settings_.header;
  readPos_ = LoadI16(h + kHeaderIndexPosition);
  if (readPos_ < 0) return Fail("spool header: index position %lld is negative", static_cast<long long>(readPos_));
  job_->colorModel = LoadI16(h + kHeaderColorModel);
  std::memcpy(settings_.driverOptions, h + kHeaderOptionBlock, kDriverOptionBlockSize);
  settings_.mediaWidth = LoadF64(h + kHeaderMediaWidth);
  settings_.mediaLength = LoadF64(h + kHeaderMediaLength);

  const int version = LoadI16(h + kHeaderVersion);
  float x, y;
  if (version >= 6) {
    x = LoadF32(h + kHeaderXResolution);
    y = LoadF32(h + kHeaderYResolution);
    std::memcpy(colorMask_, h + kHeaderColorMask, sizeof colorMask_);
  } else {
    x = LoadI16(h + kHeaderXResolutionV5);
    y = LoadI16(h + kHeaderYResolutionV5);
    std::memset(colorMask_, 0xFF, sizeof colorMask_);
  }
  if (!std::isfinite(x) || x <= 0.0f) return Fail("spool header: X resolution %g is not a positive number", x);
  if (!std::isfinite(y) || y <= 0.0f) return Fail("spool header: Y resolution %g is not a positive number", y);
  settings_.requestedXResolution = x;
  settings_.requestedYResolution = y;
  device_->SetXResolution(x);
  device_->SetYResolution(y);

  const float nativeX = device_->GetNativeXResolution();
  const float nativeY = device_->GetNativeYResolution();
  if (nativeX / x > kMaxRepeat || nativeY / y > kMaxRepeat) {
    return Fail("spool header: resolution %gx%g dpi is too low for this printer", x, y);
  }
  repeatX_ = RepeatFactor(x, nativeX);
  repeatY_ = RepeatFactor(y, nativeY);

  const double rx = device_->GetXResolution();
  const double ry = device_->GetYResolution();
  std::int32_t pageLength = 0;
  if (!DeviceUnits(rx, LoadF64(h + kHeaderLeftMargin), "left margin", &settings_.leftMargin) ||
      !DeviceUnits(ry, LoadF64(h + kHeaderTopMargin), "top margin", &settings_.topMargin) ||
      !DeviceUnits(rx, LoadF64(h + kHeaderCopyGap), "gap between copies", &settings_.gapX) ||
      !RoundToInt(ry * LoadF32(h + kHeaderPageLength), &pageLength)) {
    return FailIfUnexplained("spool header: page length is out of range");
  }
  pageLength_ = pageLength < 0 ? 0 : pageLength;
  const double rowGap = version >= 6 ? LoadF32(h + kHeaderRowGap) : LoadF64(h + kHeaderCopyGap);
  if (!DeviceUnits(ry, rowGap, "gap between copy rows", &settings_.gapY)) return false;

  settings_.spoolOptions = LoadU16(h + kHeaderSpoolOptions);
  settings_.separations = settings_.spoolOptions & 1;
  settings_.separationsOnLastPosition = 1;
  return true;
}

bool ARasterDriver::AttachDevice() {
  device_->Attach(job_, &settings_);
  attached_ = true;
  static constexpr int kTextOffsets[5] = {kHeaderText1, kHeaderText2, kHeaderText3, kHeaderText4, kHeaderText5};
  for (int i = 0; i < 5; ++i) {
    const char* text = reinterpret_cast<const char*>(settings_.header + kTextOffsets[i]);
    if (!FitsField(text, ABaseOutputDevice::kTextFieldSize)) {
      return Fail("spool header: device text %d at byte %d is longer than 127 characters", i + 1, kTextOffsets[i]);
    }
    std::strcpy(device_->texts[i], text);
  }
  return true;
}

bool ARasterDriver::ReadIndexStart() {
  ReadRecord(readPos_);
  if (RecordCode() == record_code::kSkipped) readPos_ += 4 + LoadU16(record_ + 2);
  ReadRecord(readPos_);
  if (RecordCode() != record_code::kColorList) {
    return Fail("spool index: expected the colour list (record 30) at byte %lld, found code %d",
                static_cast<long long>(readPos_), RecordCode());
  }
  if (ReadColorNames() == 0) return false;
  settings_.currentPlane = 0;
  deviceOpen_ = 0;
  readPos_ += 2 + 36 * static_cast<std::int64_t>(settings_.colorCount);
  recordPos_ = readPos_;
  return true;
}

// ---- One step --------------------------------------------------------------------

int ARasterDriver::ResumePrint(int, int, int, int flags) {
  if ((flags & 2) == 0) return 1;
  ClearFailure();
  if (state_ != JobState::kStarted && state_ != JobState::kRunning) {
    return Fail("no job is running on this driver");
  }
  if (!HasJob()) return Fail("the driver has no device or spool reader");
  const bool toFile = device_->port == nullptr;
  int result = 0;
  try {
    result = RunStep(toFile);
  } catch (...) {
    FailIfUnexplained("job step failed");
    result = 0;
  }
  if (result == 0) {
    FailStep();
    return 0;
  }
  if (toFile && CloseOutputFile() == 0) {
    FailIfUnexplained("the output of the step could not be written");
    FailStep();
    return 0;
  }
  return result;
}

int ARasterDriver::RunStep(bool toFile) {
  if (toFile) {
    if (!device_->outputFile.Open(job_->outputPath, 2)) {
      return FailIfUnexplained("cannot open output file '%s'", job_->outputPath);
    }
    if (job_->bytesProduced < 0 || !device_->outputFile.Seek(job_->bytesProduced, 0, 0)) {
      return Fail("cannot position output file '%s' at byte %d", job_->outputPath, job_->bytesProduced);
    }
    // Rows are written in blocks rather than one by one; the step writes
    // what is left before it returns.
    device_->stageFileOutput = 1;
  }
  if (deviceOpen_ == 0) {
    if (device_->OpenDevice() == 0) return FailIfUnexplained("the device could not be opened");
    deviceOpen_ = 1;
    passesDone_ = 0;
    state_ = JobState::kRunning;
  }
  ReadRecord(recordPos_);
  // Taken now: handling the record reads others into the same window.
  const int code = RecordCode();
  const long long position = recordPos_;
  const int result = Dispatch();
  if (result == 0) {
    FailIfUnexplained("record %d at byte %lld could not be processed", code, position);
    char where[64];
    std::snprintf(where, sizeof where, "record %d at byte %lld of", code, position);
    NameInputFile(where);
  }
  return result;
}

void ARasterDriver::NameInputFile(const char* where) {
  char path[AWinFile::kPathSize];
  if (!spool_ || !spool_->IsOpen() || !spool_->GetFilePath(path)) return;
  const std::string reason = LastFailure();
  if (reason.empty() || reason.find(path) != std::string::npos) return;
  Fail("%s (%s '%s')", reason.c_str(), where, path);
}

int ARasterDriver::Dispatch() {
  switch (RecordCode()) {
    case record_code::kRow: return PutRasterBlock();
    case record_code::kPlaneSectionEnd: return EndPlaneSection();
    case record_code::kPageDirectory: return BeginPage();
    case record_code::kPlaneHeader: return BeginPlaneData();
    case record_code::kBandEnd: return EndBand();
    case record_code::kRasterFile: return OpenNextRasterFile();
    default:
      return Fail("unexpected record code %d at byte %lld of %s", RecordCode(), static_cast<long long>(recordPos_),
                  settings_.inRasterFile ? "the raster file" : "the spool file");
  }
}

void ARasterDriver::FailStep() {
  if (spool_) spool_->Close();
  ReleasePlaneBuffers();
  ForgetCanonicalRows();
  // What the step produced before it failed belongs to the stream.
  if (device_ != nullptr && device_->port == nullptr) CloseOutputFile();
  state_ = JobState::kFailed;
}

int ARasterDriver::CloseOutputFile() {
  const int flushed = device_->FlushOutput();
  device_->stageFileOutput = 0;
  device_->outputFile.Close();
  return flushed;
}

// ---- Abort ---------------------------------------------------------------------

int ARasterDriver::AbortPrint() {
  ClearFailure();
  if (!HasJob()) return Fail("no job to abort");
  if (!attached_) return Fail("the job never started: nothing to abort");
  const bool toFile = device_->port == nullptr;
  int result = 1;
  try {
    if (toFile) {
      if (!device_->outputFile.Open(job_->outputPath, 2) || job_->bytesProduced < 0 ||
          !device_->outputFile.Seek(job_->bytesProduced, 0, 0)) {
        result = FailIfUnexplained("cannot open output file '%s' to end the job", job_->outputPath);
      }
    }
    if (result != 0) {
      device_->AbortOutput();
      device_->aborting = 1;
      device_->CloseOutput();
    }
  } catch (...) {
    result = FailIfUnexplained("job abort failed");
  }
  if (toFile) CloseOutputFile();
  spool_->Close();
  ReleasePlaneBuffers();
  ForgetCanonicalRows();
  state_ = JobState::kAborted;
  return result;
}

// ---- Shared helpers ------------------------------------------------------------

int ARasterDriver::ReadRecord(std::int64_t position) {
  std::memset(record_, 0, sizeof record_);
  return spool_->ReadAt(record_, kRecordSize, position);
}

void ARasterDriver::ReleasePlaneBuffers() {
  for (int p = 0; p < kPlaneCount; ++p) {
    planeBuffers_[p].reset();
    planeBufferSizes_[p] = 0;
  }
}

void ARasterDriver::ForgetCanonicalRows() {
  canonicalRows_.reset();
  packetCredit_ = kPacketCredit;
}

int ARasterDriver::ScratchBufferFor(int kind) {
  switch (kind) {
    case 2: case 7: case 8: return 1;
    case 1: case 6: case 9: return 2;
    default: return 0;
  }
}

int ARasterDriver::NextEnabledPlane(int plane) const {
  const int last = settings_.lastPlane < kPlaneCount ? settings_.lastPlane : kPlaneCount - 1;
  for (int q = plane + 1; q <= last; ++q) {
    if (PlaneEnabled(q)) return q;
  }
  return -1;
}

int ARasterDriver::RowBytes(int plane, int pixels) const {
  const std::int64_t bits = static_cast<std::int64_t>(settings_.planes[plane].bitsPerPixel) * pixels;
  return static_cast<int>((bits + 7) / 8);
}

}  // namespace pc50
