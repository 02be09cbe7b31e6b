// Host interface of the PC-50 printer-driver module.
//
// A host reaches the module in two ways: through the abstract driver class
// ABasePrinterDriver (a driver object from createNewPrinterDriver), or
// through nine plain C functions that keep one job per host thread. The
// records below are fixed-layout: their sizes and offsets are part of the
// contract with the host.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#  if defined(PC50_BUILDING_MODULE)
#    define PC50_API __declspec(dllexport)
#  else
#    define PC50_API __declspec(dllimport)
#  endif
#else
#  define PC50_API __attribute__((visibility("default")))
#endif

// The Windows window handle, declared the way <windows.h> declares it so the
// two declarations agree when a host includes both.
struct HWND__;
typedef HWND__* HWND;

// ---- Host records ----------------------------------------------------------

// Host information passed with option and colour-model calls. The module
// never reads one it is given; it fills the text and the two values itself
// for the procedural calls that need one.
struct DrvInfo {
  char text[60];          // bounded copy, not terminated at 60 characters
  char reserved1[132];
  double value1;          // offset 192
  double value2;          // offset 200
  char reserved2[48];
};
static_assert(sizeof(DrvInfo) == 256, "DrvInfo is 256 bytes");
static_assert(offsetof(DrvInfo, text) == 0, "DrvInfo text");
static_assert(offsetof(DrvInfo, value1) == 192, "DrvInfo first value");
static_assert(offsetof(DrvInfo, value2) == 200, "DrvInfo second value");

// One default halftone screen.
struct ScreeningEntry {
  char screenName[128];   // dot shape
  float frequency;        // lines per inch
  float angle;            // degrees
  char colorName[64];
};
static_assert(sizeof(ScreeningEntry) == 200, "screening entry is 200 bytes");
static_assert(offsetof(ScreeningEntry, frequency) == 128, "frequency");
static_assert(offsetof(ScreeningEntry, angle) == 132, "angle");
static_assert(offsetof(ScreeningEntry, colorName) == 136, "colour name");

// Default screening as filled by GetDefaultScreening: a count, then entries.
struct tagScreeningOption {
  std::int32_t count;
  ScreeningEntry entries[8];
};
static_assert(offsetof(tagScreeningOption, entries) == 4, "entries start at 4");
static_assert(sizeof(tagScreeningOption) == 4 + 8 * 200, "eight entries");

// One colour of a colour list.
struct ColorListEntry {
  char name[64];
  char displayName[64];
  std::int32_t isSpot;    // 0 process colour, 1 spot colour
  std::int32_t constant1; // always 1
  std::int32_t constant2; // always 1
  std::uint32_t colorRef; // 0x00BBGGRR
};
static_assert(sizeof(ColorListEntry) == 144, "ColorListEntry is 144 bytes");
static_assert(offsetof(ColorListEntry, displayName) == 64, "display name");
static_assert(offsetof(ColorListEntry, isSpot) == 128, "spot flag");
static_assert(offsetof(ColorListEntry, constant1) == 132, "first constant");
static_assert(offsetof(ColorListEntry, constant2) == 136, "second constant");
static_assert(offsetof(ColorListEntry, colorRef) == 140, "colour");

// A colour list: the count, and the host's array that receives the entries
// (room for at least 32).
struct ColorList {
  std::int32_t count;
  ColorListEntry* entries;
};

// The module's job record: paths, prompt settings, status text and the byte
// counters through which host and module pace the output file.
struct JobContext {
  char spoolPath[512];
  char outputPath[512];
  char jobFileName2[512];
  char jobFileName1[512];
  std::int32_t parentWindow;   // owner window of the cartridge prompts
  std::int32_t singlePage;     // 1: the whole job is one page
  std::int32_t promptMode;     // 4: no prompts; -1 once the output is closed
  char statusText[256];
  std::int32_t statusCode;
  std::int32_t hostValue2320;  // copied from the host at every job call
  std::int32_t copies;
  std::int32_t hostValue2328;  // copied from the host at job start
  std::int32_t hostValue2332;  // copied from the host at job start
  std::int32_t reserved1;
  std::int32_t reserved2;
  std::int32_t bytesConsumed;  // output bytes the host has taken
  std::int32_t bytesProduced;  // output bytes written so far
  std::int32_t colorModel;     // 0 CMYK, 1 CMY, 2 Grayscale
  std::int32_t portFlag;       // third argument of every SendData call
};
static_assert(sizeof(JobContext) == 2360, "JobContext is 2,360 bytes");
static_assert(offsetof(JobContext, spoolPath) == 0, "spoolPath");
static_assert(offsetof(JobContext, outputPath) == 512, "outputPath");
static_assert(offsetof(JobContext, jobFileName2) == 1024, "jobFileName2");
static_assert(offsetof(JobContext, jobFileName1) == 1536, "jobFileName1");
static_assert(offsetof(JobContext, parentWindow) == 2048, "parentWindow");
static_assert(offsetof(JobContext, singlePage) == 2052, "singlePage");
static_assert(offsetof(JobContext, promptMode) == 2056, "promptMode");
static_assert(offsetof(JobContext, statusText) == 2060, "statusText");
static_assert(offsetof(JobContext, statusCode) == 2316, "statusCode");
static_assert(offsetof(JobContext, hostValue2320) == 2320, "host value 2320");
static_assert(offsetof(JobContext, copies) == 2324, "copies");
static_assert(offsetof(JobContext, hostValue2328) == 2328, "host value 2328");
static_assert(offsetof(JobContext, hostValue2332) == 2332, "host value 2332");
static_assert(offsetof(JobContext, reserved1) == 2336, "reserved 2336");
static_assert(offsetof(JobContext, reserved2) == 2340, "reserved 2340");
static_assert(offsetof(JobContext, bytesConsumed) == 2344, "bytesConsumed");
static_assert(offsetof(JobContext, bytesProduced) == 2348, "bytesProduced");
static_assert(offsetof(JobContext, colorModel) == 2352, "colorModel");
static_assert(offsetof(JobContext, portFlag) == 2356, "portFlag");

// Gives a job record the values a new job starts with.
inline void InitJobContext(JobContext* job) {
  *job = JobContext{};
  job->promptMode = -1;
  job->copies = 1;
}

// ---- Host classes ----------------------------------------------------------

// Windows hosts are built with the Microsoft compiler. Its virtual tables give
// the destructor a single slot, the scalar deleting destructor (thiscall, one
// flags argument: bit 0 frees the object; returns the object), where GNU
// compilers put two. A GNU compiler on Windows therefore declares slot 0 as
// that function and moves the real destructor to the end of the table, where
// no Microsoft-compiled object has one: it is protected, so that nothing
// reaches it on an object the host made. A compiler of the Microsoft ABI
// (and every compiler elsewhere) sees the plain declaration.
#if defined(_WIN32) && !defined(_MSC_VER)
#  define PC50_MSVC_TABLE_BY_HAND 1
#else
#  define PC50_MSVC_TABLE_BY_HAND 0
#endif

// The host's output port. The module calls only SendData, which returns the
// number of bytes accepted; anything other than length is a failed write.
class ABasePort {
 public:
#if PC50_MSVC_TABLE_BY_HAND
  virtual void* __thiscall ScalarDeletingDestructor(unsigned flags) {
    this->~ABasePort();
    if (flags & 1) ::operator delete(this);
    return this;
  }
  virtual int SendData(const void* data, int length, int flag) = 0;

 protected:
  virtual ~ABasePort() {}
#else
  virtual ~ABasePort() {}
  virtual int SendData(const void* data, int length, int flag) = 0;
#endif
};

// The host's abstract printer driver. The order of the virtual operations is
// a binary contract with the host: slot 0 the destructor, 1 InitializePrint,
// ..., 22 GetStatus. Non-pure operations answer the base results.
class PC50_API ABasePrinterDriver {
 public:
  ABasePrinterDriver();
  ABasePrinterDriver(const ABasePrinterDriver&);
  ABasePrinterDriver& operator=(const ABasePrinterDriver&);
#if PC50_MSVC_TABLE_BY_HAND
  // Slot 0 as a Microsoft-compiled host's `delete driver` calls it (flags 1).
  virtual void* __thiscall ScalarDeletingDestructor(unsigned flags);
#else
  virtual ~ABasePrinterDriver();
#endif

  // Starts a job; port null sends the stream to job->outputPath. 1 or 0.
  virtual int InitializePrint(JobContext* job, ABasePort* port) = 0;
  // One job step when flags has bit 1 (value 2); otherwise returns 1 at once.
  virtual int ResumePrint(int, int, int, int flags) = 0;
  // Ends the job, finished or not.
  virtual int AbortPrint();
  virtual int HasControlPanel();
  virtual int DoControlPanel(void*, int, HWND, ABasePort*);
  virtual int HasDriverOption();
  virtual int DoDriverOption(void* optionBlock, int action, DrvInfo* info, HWND parent, ABasePort* port);
  virtual int GetPrinterName(char* name, ABasePort* port);
  virtual int DecodePPDString(char* ppdText, char* optionBlock, DrvInfo* info);
  virtual int GetRowNumber();
  virtual int SupportSeparation();
  virtual float GetVersion();
  virtual int PutPPDDisplays(char* displayText, char* optionBlock);
  virtual int SupportCMYKPage();
  virtual int EnumColorModel(int index, int* isDefault, char* name, const DrvInfo* info) = 0;
  virtual int FindColorModel(const char* name) = 0;
  virtual int GetColorList(int model, ColorList* list) = 0;
  virtual int GetDefaultScreening(tagScreeningOption* screening, const DrvInfo* info);
  virtual int GetDefaultColorIndex(char* name, const DrvInfo* info);
  virtual int SetJobFileName(const char* name, const char* name2);
  virtual int DoInitStatusCheck(int& status, char* text);
  virtual int GetStatus(int& status, char* text);

#if PC50_MSVC_TABLE_BY_HAND
 protected:
  // After the host's slots: reached through slot 0 or a derived destructor.
  virtual ~ABasePrinterDriver();
#endif
};

namespace pc50 {
// Destroys a driver object from createNewPrinterDriver and frees it, as a
// host's `delete driver` does: through slot 0 where the table is laid out by
// hand, else through the virtual destructor.
inline void DestroyDriver(ABasePrinterDriver* driver) {
#if PC50_MSVC_TABLE_BY_HAND
  if (driver != nullptr) driver->ScalarDeletingDestructor(1);
#else
  delete driver;
#endif
}
}  // namespace pc50

// ---- Procedural interface ----------------------------------------------------

// Host records of the procedural interface. The module reads and writes them
// only at the offsets below; their size and other fields are the host's.
struct PrintJobInfo;
struct DriverSetupInfo;

namespace pc50 {
namespace print_job_info {
constexpr std::size_t kSpoolPath = 0;        // text, read within 260 bytes
constexpr std::size_t kParentWindow = 260;   // int32
constexpr std::size_t kSinglePage = 268;     // int16
constexpr std::size_t kPromptMode = 272;     // int16
constexpr std::size_t kStatusText = 276;     // char[256]
constexpr std::size_t kStatusCode = 532;     // int16
constexpr std::size_t kHostValue2320 = 534;  // int16
constexpr std::size_t kCopies = 538;         // int16
constexpr std::size_t kOutputPath = 552;     // text, read within 272 bytes
constexpr std::size_t kBytesConsumed = 824;  // int32
constexpr std::size_t kBytesProduced = 828;  // int32
constexpr std::size_t kHostValue2328 = 1652; // int32
constexpr std::size_t kHostValue2332 = 1656; // int32
constexpr std::size_t kMinimumSize = 1660;
}  // namespace print_job_info
namespace driver_setup_info {
constexpr std::size_t kOptionBlock = 0;      // driver-option block
constexpr std::size_t kText = 192;           // up to 60 characters
constexpr std::size_t kValue1 = 252;         // int16
constexpr std::size_t kValue2 = 254;         // int16
constexpr std::size_t kMinimumSize = 256;
}  // namespace driver_setup_info
}  // namespace pc50

extern "C" {
// Returns a new PC-50 driver object owned by the caller, or null.
PC50_API ABasePrinterDriver* createNewPrinterDriver(void);

PC50_API int INITIALIZEPRINT(PrintJobInfo* info);
PC50_API int RESUMEPRINT(PrintJobInfo* info);
PC50_API int ABORTPRINT(PrintJobInfo* info);
PC50_API int SETJOBFILENAME(const char* name1, const char* name2);
PC50_API int DECODESTRING(char* ppdText, DriverSetupInfo* setup);
PC50_API int HASCONFIGDIALOG(void);
PC50_API int GetRowNumber(void);
PC50_API short PutPPDDisplays(char* displayText, char* optionBlock);
PC50_API int PopUpDriverOptionDialog(HWND parent, DriverSetupInfo* setup, int action);
}
