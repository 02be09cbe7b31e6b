// The nine procedural entry points. The job functions keep one driver object
// and one job record per host thread in the module object's slots; the
// question functions make a driver object for the call.
#include <cstring>
#include <memory>
#include <new>

#include "device/settings_block.h"
#include "engine/pc50_driver.h"
#include "host/driver_app.h"
#include "host/drv_info_builder.h"
#include "host/host_record.h"
#include "host/module_state.h"
#include "pc50/pc50.h"
#include "platform/diagnostics.h"

namespace pc50 {
namespace {

namespace pji = print_job_info;
namespace dsi = driver_setup_info;

// The two paths are read within their own fields: up to the next field the
// module uses.
constexpr std::size_t kSpoolPathField = pji::kParentWindow - pji::kSpoolPath;      // 260
constexpr std::size_t kOutputPathField = pji::kBytesConsumed - pji::kOutputPath;  // 272
constexpr std::size_t kDriverOptionBytesOwned = dsi::kText;                      // 192

// Copies a terminated text of the host record into a job field.
bool CopyPath(const HostRecord& record, std::size_t offset, std::size_t field, char* out, std::size_t outSize,
              const char* what) {
  const char* text = record.Text(offset);
  const void* end = std::memchr(text, '\0', field);
  if (end == nullptr) return Fail("%s is not terminated within its %zu-byte field", what, field);
  const std::size_t length = static_cast<const char*>(end) - text;
  if (length >= outSize) return Fail("%s is longer than %zu characters", what, outSize - 1);
  std::memcpy(out, text, length + 1);
  return true;
}

// Values copied in by every job call.
void CopyInEachCall(const HostRecord& record, JobContext* job) {
  job->promptMode = record.I16(pji::kPromptMode);
  job->hostValue2320 = record.I16(pji::kHostValue2320);
  job->bytesConsumed = record.I32(pji::kBytesConsumed);
  job->bytesProduced = record.I32(pji::kBytesProduced);
  job->parentWindow = record.I32(pji::kParentWindow);
}

void CopyBack(const JobContext* job, HostRecord& record) {
  record.SetBytes(pji::kStatusText, job->statusText, sizeof job->statusText);
  record.SetI16(pji::kStatusCode, job->statusCode);
  record.SetI32(pji::kBytesConsumed, job->bytesConsumed);
  record.SetI32(pji::kBytesProduced, job->bytesProduced);
  record.SetI16(pji::kPromptMode, job->promptMode);
}

bool StartJobRecord(const HostRecord& record, JobContext* job) {
  InitJobContext(job);
  if (!CopyPath(record, pji::kSpoolPath, kSpoolPathField, job->spoolPath, sizeof job->spoolPath, "spool path") ||
      !CopyPath(record, pji::kOutputPath, kOutputPathField, job->outputPath, sizeof job->outputPath,
                "output path")) {
    return false;
  }
  job->singlePage = record.I16(pji::kSinglePage);
  job->copies = record.I16(pji::kCopies);
  job->hostValue2328 = record.I32(pji::kHostValue2328);
  job->hostValue2332 = record.I32(pji::kHostValue2332);
  job->reserved1 = 0;
  job->reserved2 = 0;
  CopyInEachCall(record, job);
  return true;
}

void DestroySlots(CDriverApp& app) {
  DestroyDriver(app.GetDriver());
  delete app.GetJob();
  app.SetDriver(nullptr);
  app.SetJob(nullptr);
}

}  // namespace
}  // namespace pc50

using namespace pc50;

extern "C" {

PC50_API int INITIALIZEPRINT(PrintJobInfo* info) {
  ModuleStateGuard guard;
  ClearFailure();
  CDriverApp& app = TheDriverApp();
  if (info == nullptr) return Fail("no print job record");
  if (!app.Ready()) return Fail("the module's thread slots are not available");
  // One job per thread: a second start would orphan the first job's driver,
  // files and buffers. It is refused; the running job stays as it is.
  if (app.GetDriver() != nullptr || app.GetJob() != nullptr) {
    return Fail("a job is already running on this thread: ABORTPRINT ends it before the next INITIALIZEPRINT");
  }
  try {
    HostRecord record(info);
    std::unique_ptr<JobContext> job(new JobContext);
    if (!StartJobRecord(record, job.get())) return 0;
    std::unique_ptr<APC50Driver> driver(new APC50Driver);
    const int result = driver->InitializePrint(job.get(), nullptr);
    CopyBack(job.get(), record);
    if (result == 0) return 0;
    app.SetDriver(driver.release());
    app.SetJob(job.release());
    return 1;
  } catch (...) {
    return FailIfUnexplained("job start failed");
  }
}

PC50_API int RESUMEPRINT(PrintJobInfo* info) {
  ModuleStateGuard guard;
  CDriverApp& app = TheDriverApp();
  ABasePrinterDriver* driver = app.GetDriver();
  JobContext* job = app.GetJob();
  if (info == nullptr || driver == nullptr || job == nullptr) {
    ClearFailure();
    return Fail("no job is running on this thread");
  }
  try {
    HostRecord record(info);
    CopyInEachCall(record, job);
    const int result = driver->ResumePrint(0, 0, 0, 2);
    CopyBack(job, record);
    return result;
  } catch (...) {
    return FailIfUnexplained("job step failed");
  }
}

PC50_API int ABORTPRINT(PrintJobInfo* info) {
  ModuleStateGuard guard;
  CDriverApp& app = TheDriverApp();
  ABasePrinterDriver* driver = app.GetDriver();
  JobContext* job = app.GetJob();
  int result = 0;
  try {
    if (info != nullptr && driver != nullptr && job != nullptr) {
      HostRecord record(info);
      CopyInEachCall(record, job);
      result = driver->AbortPrint();
      CopyBack(job, record);
    } else {
      ClearFailure();
      Fail("no job is running on this thread");
    }
  } catch (...) {
    result = FailIfUnexplained("job abort failed");
  }
  DestroySlots(app);
  return result;
}

PC50_API int SETJOBFILENAME(const char* name1, const char* name2) {
  ModuleStateGuard guard;
  ClearFailure();
  JobContext* job = TheDriverApp().GetJob();
  if (job == nullptr) return Fail("no job is running on this thread");
  if (name1 == nullptr || name2 == nullptr) return Fail("job file name missing");
  const std::size_t length1 = std::strlen(name1);
  const std::size_t length2 = std::strlen(name2);
  if (length1 >= sizeof job->jobFileName1 || length2 >= sizeof job->jobFileName2) {
    return Fail("job file name longer than %zu characters", sizeof job->jobFileName1 - 1);
  }
  std::memcpy(job->jobFileName1, name1, length1 + 1);
  std::memcpy(job->jobFileName2, name2, length2 + 1);
  return 1;
}

PC50_API int DECODESTRING(char* ppdText, DriverSetupInfo* setup) {
  ModuleStateGuard guard;
  ClearFailure();
  if (ppdText == nullptr || setup == nullptr) return Fail("no option text or setup record");
  try {
    HostRecord record(setup);
    DrvInfo info = MakeDrvInfo(setup);
    APC50Driver driver;
    // Decode into a copy: the host's own fields from byte 192 on must survive
    // the 200 bytes of the nibble form.
    char block[kDriverOptionBlockSize];
    record.GetBytes(dsi::kOptionBlock, block, kDriverOptionBytesOwned);
    std::memset(block + kDriverOptionBytesOwned, 0, sizeof block - kDriverOptionBytesOwned);
    const int result = driver.DecodePPDString(ppdText, block, &info);
    record.SetBytes(dsi::kOptionBlock, block, kDriverOptionBytesOwned);
    return result;
  } catch (...) {
    return FailIfUnexplained("option text could not be decoded");
  }
}

PC50_API int HASCONFIGDIALOG(void) {
  ModuleStateGuard guard;
  try {
    APC50Driver driver;
    return 1;
  } catch (...) {
    return 0;
  }
}

PC50_API int GetRowNumber(void) {
  ModuleStateGuard guard;
  try {
    APC50Driver driver;
    return driver.GetDeviceRowNumber();
  } catch (...) {
    return -1;
  }
}

PC50_API short PutPPDDisplays(char* displayText, char* optionBlock) {
  ModuleStateGuard guard;
  try {
    APC50Driver driver;
    return static_cast<short>(driver.PutPPDDisplays(displayText, optionBlock) & 0xFFFF);
  } catch (...) {
    return static_cast<short>(0xFFFF);
  }
}

PC50_API int PopUpDriverOptionDialog(HWND parent, DriverSetupInfo* setup, int action) {
  ModuleStateGuard guard;
  ClearFailure();
  if (setup == nullptr) return Fail("no setup record");
  try {
    HostRecord record(setup);
    DrvInfo info = MakeDrvInfo(setup);
    APC50Driver driver;
    return driver.DoDriverOption(record.Bytes(dsi::kOptionBlock), action, &info, parent, nullptr);
  } catch (...) {
    return FailIfUnexplained("the Driver Options dialog failed");
  }
}

}  // extern "C"
