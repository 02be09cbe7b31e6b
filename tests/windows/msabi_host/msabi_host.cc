// pc50drv.dll seen from a host of the Microsoft C++ ABI: built with clang
// for i686-pc-windows-msvc against the plain declaration in pc50.h (virtual
// destructor in slot 0), without any Microsoft runtime, and linked against
// an import library of the module's decorated names. It drives a driver from
// the factory only through its virtual table, prints every reference job to
// a file and to a port of its own, destroys drivers with delete, and derives
// a driver class of its own from the imported base class.
//
//   msabi_host MODULE REFERENCE_DIR OUTPUT_DIR
#include "pc50/pc50.h"
#include "runtime.h"
#include "win32.h"

namespace {

using host::Text;

constexpr int kJobEnded = -1;
constexpr int kPromptsOff = 4;
constexpr long kStepLimit = 200000;

// ---- The module's export table ---------------------------------------------------------

// The decorated names of the table's slots, in slot order; null for the
// pure operations, which are not exported.
const char* const kSlotNames[] = {
    nullptr,  // 0: the destructor, the module's own in every derived table
    nullptr,  // 1 InitializePrint
    nullptr,  // 2 ResumePrint
    "?AbortPrint@ABasePrinterDriver@@UAEHXZ",
    "?HasControlPanel@ABasePrinterDriver@@UAEHXZ",
    "?DoControlPanel@ABasePrinterDriver@@UAEHPAXHPAUHWND__@@PAVABasePort@@@Z",
    "?HasDriverOption@ABasePrinterDriver@@UAEHXZ",
    "?DoDriverOption@ABasePrinterDriver@@UAEHPAXHPAUDrvInfo@@PAUHWND__@@PAVABasePort@@@Z",
    "?GetPrinterName@ABasePrinterDriver@@UAEHPADPAVABasePort@@@Z",
    "?DecodePPDString@ABasePrinterDriver@@UAEHPAD0PAUDrvInfo@@@Z",
    "?GetRowNumber@ABasePrinterDriver@@UAEHXZ",
    "?SupportSeparation@ABasePrinterDriver@@UAEHXZ",
    "?GetVersion@ABasePrinterDriver@@UAEMXZ",
    "?PutPPDDisplays@ABasePrinterDriver@@UAEHPAD0@Z",
    "?SupportCMYKPage@ABasePrinterDriver@@UAEHXZ",
    nullptr,  // 15 EnumColorModel
    nullptr,  // 16 FindColorModel
    nullptr,  // 17 GetColorList
    "?GetDefaultScreening@ABasePrinterDriver@@UAEHPAUtagScreeningOption@@PBUDrvInfo@@@Z",
    "?GetDefaultColorIndex@ABasePrinterDriver@@UAEHPADPBUDrvInfo@@@Z",
    "?SetJobFileName@ABasePrinterDriver@@UAEHPBD0@Z",
    "?DoInitStatusCheck@ABasePrinterDriver@@UAEHAAHPAD@Z",
    "?GetStatus@ABasePrinterDriver@@UAEHAAHPAD@Z",
};
constexpr int kSlots = sizeof kSlotNames / sizeof kSlotNames[0];
static_assert(kSlots == 23, "23 host slots");

const char* const kVftable = "??_7ABasePrinterDriver@@6B@";
const char* const kDefaultConstructor = "??0ABasePrinterDriver@@QAE@XZ";
const char* const kCopyConstructor = "??0ABasePrinterDriver@@QAE@ABV0@@Z";

using Constructor = ABasePrinterDriver*(__thiscall*)(void* self);
using CopyConstructor = ABasePrinterDriver*(__thiscall*)(void* self, const ABasePrinterDriver* other);
using Assignment = ABasePrinterDriver*(__thiscall*)(void* self, const ABasePrinterDriver* other);
const char* const kAssignment = "??4ABasePrinterDriver@@QAEAAV0@ABV0@@Z";

void ExportTable(HMODULE module) {
  host::Group("export table");
  const char* const names[] = {"INITIALIZEPRINT", "RESUMEPRINT", "ABORTPRINT", "SETJOBFILENAME", "DECODESTRING",
                               "HASCONFIGDIALOG", "GetRowNumber", "PutPPDDisplays", "PopUpDriverOptionDialog",
                               "createNewPrinterDriver", kVftable, kDefaultConstructor, kCopyConstructor,
                               "??1ABasePrinterDriver@@UAE@XZ", kAssignment};
  for (const char* name : names) {
    if (!CHECK(GetProcAddress(module, name) != nullptr)) host::Note(Text("missing export ") << name);
  }

  // The exported table is the class's own: the exported members in their
  // slots, something callable in the others.
  void* const* table = static_cast<void* const*>(GetProcAddress(module, kVftable));
  if (table == nullptr) return;
  for (int slot = 0; slot < kSlots; ++slot) {
    if (kSlotNames[slot] == nullptr) {
      if (!CHECK(table[slot] != nullptr)) host::Note(Text("slot ") << slot << " is empty");
    } else if (!CHECK(table[slot] == GetProcAddress(module, kSlotNames[slot]))) {
      host::Note(Text("slot ") << slot << " does not hold " << kSlotNames[slot]);
    }
  }

  // The constructors return the object and install that table; the copy
  // constructor copies nothing else.
  const auto construct = reinterpret_cast<Constructor>(GetProcAddress(module, kDefaultConstructor));
  const auto copy = reinterpret_cast<CopyConstructor>(GetProcAddress(module, kCopyConstructor));
  if (construct == nullptr || copy == nullptr) return;
  void* raw[2] = {nullptr, reinterpret_cast<void*>(0x5A5A5A5A)};
  CHECK(construct(raw) == reinterpret_cast<ABasePrinterDriver*>(raw));
  if (!CHECK(raw[0] == table)) host::Note(Text("installed ") << raw[0] << ", exported " << table);
  CHECK(raw[1] == reinterpret_cast<void*>(0x5A5A5A5A));
  void* other[2] = {nullptr, nullptr};
  CHECK(copy(other, reinterpret_cast<ABasePrinterDriver*>(raw)) == reinterpret_cast<ABasePrinterDriver*>(other));
  CHECK(other[0] == table);
  CHECK(other[1] == nullptr);

  // Assignment copies nothing, not even the table pointer, and returns the
  // object assigned to.
  const auto assign = reinterpret_cast<Assignment>(GetProcAddress(module, kAssignment));
  if (assign == nullptr) return;
  void* fake[2] = {reinterpret_cast<void*>(0x1234), reinterpret_cast<void*>(0x5678)};
  CHECK(assign(fake, reinterpret_cast<ABasePrinterDriver*>(raw)) == reinterpret_cast<ABasePrinterDriver*>(fake));
  CHECK(fake[0] == reinterpret_cast<void*>(0x1234));
  CHECK(fake[1] == reinterpret_cast<void*>(0x5678));
}

// ---- A fresh driver, every slot -------------------------------------------------------

struct ExpectedColour {
  const char* name;
  int isSpot;
  uint32_t colorRef;
};
const ExpectedColour kColours[] = {
    {"Cyan", 0, 0x00FFFF00u},  {"Magenta", 0, 0x00FF00FFu}, {"Yellow", 0, 0x0000FFFFu}, {"Black", 0, 0x00000000u},
    {"Orange", 1, 0x00007FFFu}, {"Green", 1, 0x0000FF00u},  {"Red", 1, 0x000000FFu},     {"Blue", 1, 0x00FF0000u},
    {"White", 1, 0x00FFFFFFu},  {"Gold", 1, 0x00007F7Fu},   {"Silver", 1, 0x00C0C0C0u},
};

void CheckColourList(ABasePrinterDriver* driver, int model, const int* expected, int count) {
  ColorListEntry* entries = new ColorListEntry[32];
  ColorList list{-1, entries};
  CHECK_EQ(driver->GetColorList(model, &list), 1);
  if (CHECK_EQ(list.count, count)) {
    for (int i = 0; i < count; ++i) {
      const ExpectedColour& colour = kColours[expected[i]];
      CHECK_TEXT(entries[i].name, colour.name);
      CHECK_TEXT(entries[i].displayName, colour.name);
      CHECK_EQ(entries[i].isSpot, colour.isSpot);
      CHECK_EQ(entries[i].constant1, 1);
      CHECK_EQ(entries[i].constant2, 1);
      CHECK(entries[i].colorRef == colour.colorRef);
    }
  }
  delete[] entries;
}

void Questions(ABasePrinterDriver* driver) {
  CHECK_EQ(driver->HasControlPanel(), 0);
  CHECK_EQ(driver->DoControlPanel(nullptr, 0, nullptr, nullptr), 0);
  CHECK_EQ(driver->HasDriverOption(), 1);
  CHECK_EQ(driver->SupportSeparation(), 0);
  CHECK_EQ(driver->SupportCMYKPage(), 1);
  CHECK(driver->GetVersion() == 1.0f);
  CHECK_EQ(driver->GetRowNumber(), 17);
  char name[128] = {};
  CHECK_EQ(driver->GetPrinterName(name, nullptr), 1);
  CHECK_TEXT(name, "PC-50 Thermal Printer");

  // Colour models.
  const char* const models[] = {"CMYK", "CMY", "Grayscale"};
  for (int model = 0; model < 3; ++model) {
    int isDefault = -5;
    char modelName[64] = {};
    CHECK(driver->EnumColorModel(model, &isDefault, modelName, nullptr) != 0);
    CHECK_TEXT(modelName, models[model]);
    CHECK_EQ(isDefault, 1);
  }
  int isDefault = 0;
  CHECK_EQ(driver->EnumColorModel(3, &isDefault, name, nullptr), 0);
  CHECK_EQ(driver->FindColorModel("Grayscale"), 2);
  CHECK_EQ(driver->FindColorModel("cmy"), 1);
  CHECK_EQ(driver->FindColorModel("RGB"), -1);
  host::Copy(name, sizeof name, "stale");
  CHECK_EQ(driver->GetDefaultColorIndex(name, nullptr), 0);
  CHECK_TEXT(name, "CMYK");

  // Colour lists: 11, 10 and 8 entries.
  const int cmyk[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  const int cmy[] = {0, 1, 2, 4, 5, 6, 7, 8, 9, 10};
  const int gray[] = {3, 4, 5, 6, 7, 8, 9, 10};
  CheckColourList(driver, 0, cmyk, 11);
  CheckColourList(driver, 1, cmy, 10);
  CheckColourList(driver, 2, gray, 8);
  ColorListEntry spare[1];
  ColorList untouched{-7, spare};
  CHECK_EQ(driver->GetColorList(3, &untouched), 0);
  CHECK_EQ(untouched.count, -7);

  // Default screening: eight diamond screens.
  tagScreeningOption* screening = new tagScreeningOption;
  memset(screening, 0x5A, sizeof *screening);
  CHECK_EQ(driver->GetDefaultScreening(screening, nullptr), 1);
  const char* const screenColours[] = {"Cyan", "Magenta", "Yellow", "Black", "LCyan", "LMagenta", "Orange", "Green"};
  const int angles[] = {105, 75, 90, 45, 75, 105, 105, 75};
  if (CHECK_EQ(screening->count, 8)) {
    for (int i = 0; i < 8; ++i) {
      CHECK_TEXT(screening->entries[i].screenName, "Diamond");
      CHECK(screening->entries[i].frequency == 55.0f);
      CHECK(screening->entries[i].angle == static_cast<float>(angles[i]));
      CHECK_TEXT(screening->entries[i].colorName, screenColours[i]);
    }
  }
  delete screening;

  // Status questions of a device without a status channel.
  int status = -9;
  char text[256] = {};
  CHECK_EQ(driver->DoInitStatusCheck(status, text), 0);
  CHECK_EQ(driver->GetStatus(status, text), 0);
}

void OptionStrings(ABasePrinterDriver* driver) {
  // The display description, with the default index after each colon.
  char display[256] = {};
  char block[256] = {};
  CHECK_EQ(driver->PutPPDDisplays(display, block), 1);
  CHECK_TEXT(display, "Print Order:0,YMCK,CMYK;");

  // Decimal and nibble forms into a block.
  unsigned char options[256] = {20, 1, 0};
  char decimal[] = "DriverOption0=0 DriverOption1=1";
  CHECK_EQ(driver->DecodePPDString(decimal, reinterpret_cast<char*>(options), nullptr), 1);
  CHECK_EQ(options[0], 20);
  CHECK_EQ(options[1], 0);
  CHECK_EQ(options[2], 1);
  Text nibbles("DriverOptionBinary=");
  for (int i = 0; i < 200; ++i) nibbles << "15";
  char* nibbleText = new char[nibbles.size() + 1];
  host::Copy(nibbleText, nibbles.size() + 1, nibbles.c_str());
  CHECK_EQ(driver->DecodePPDString(nibbleText, reinterpret_cast<char*>(options), nullptr), 1);
  CHECK_EQ(options[0], 0x15);
  CHECK_EQ(options[199], 0x15);
  delete[] nibbleText;

  // Action 2 resets the block without a window; an unknown action does
  // nothing.
  DrvInfo info = {};
  memset(options, 9, sizeof options);
  CHECK_EQ(driver->DoDriverOption(options, 2, &info, nullptr, nullptr), 1);
  CHECK_EQ(options[0], 20);
  CHECK_EQ(options[1], 1);
  CHECK_EQ(options[2], 0);
  CHECK_EQ(options[3], 9);
  options[1] = 5;
  CHECK_EQ(driver->DoDriverOption(options, 7, &info, nullptr, nullptr), 0);
  CHECK_EQ(options[1], 5);
}

using Factory = ABasePrinterDriver* (*)();

void FreshDriver(Factory create) {
  host::Group("fresh driver, every slot");
  ABasePrinterDriver* driver = create();
  if (!CHECK(driver != nullptr)) return;
  Questions(driver);
  OptionStrings(driver);
  // Job operations without a job.
  CHECK_EQ(driver->SetJobFileName("first", "second"), 0);
  CHECK_EQ(driver->ResumePrint(0, 0, 0, 0), 1);
  CHECK_EQ(driver->ResumePrint(0, 0, 0, 1), 1);
  CHECK_EQ(driver->AbortPrint(), 0);
  delete driver;
}

// ---- Jobs ------------------------------------------------------------------------------------

struct Paths {
  Text references;
  Text output;
};

struct ReferenceJob {
  Text name;
  int copies = 1;
  int singlePage = 0;
};

// The host's port: keeps what the module sends.
class BufferPort : public ABasePort {
 public:
  int SendData(const void* data, int length, int) override {
    if (length <= 0) return 0;
    bytes.Append(static_cast<const char*>(data), static_cast<size_t>(length));
    ++calls;
    return length;
  }
  Text bytes;
  long calls = 0;
};

bool ParseNumber(const char*& at, int* value) {
  while (*at == ' ') ++at;
  bool negative = *at == '-';
  if (negative) ++at;
  if (*at < '0' || *at > '9') return false;
  int n = 0;
  while (*at >= '0' && *at <= '9') n = n * 10 + (*at++ - '0');
  *value = negative ? -n : n;
  return true;
}

// jobs.txt: one "name copies singlePage" a line.
int ReadManifest(const Paths& paths, ReferenceJob* jobs, int room) {
  Text manifest;
  if (!host::ReadWholeFile(host::WindowsPath((Text(paths.references.c_str()) << "/jobs.txt").c_str()), &manifest)) {
    return -1;
  }
  int count = 0;
  const char* at = manifest.c_str();
  while (*at != '\0' && count < room) {
    while (*at == '\n' || *at == '\r') ++at;
    if (*at == '\0') break;
    ReferenceJob& job = jobs[count];
    job.name = Text();
    while (*at != ' ' && *at != '\0' && *at != '\n') job.name.Append(at++, 1);
    if (!ParseNumber(at, &job.copies) || !ParseNumber(at, &job.singlePage)) return -1;
    while (*at != '\n' && *at != '\0') ++at;
    ++count;
  }
  return count;
}

Text JobFile(const Paths& paths, const ReferenceJob& job, const char* file) {
  return host::WindowsPath((Text(paths.references.c_str()) << "/" << job.name << "/" << file).c_str());
}

void CompareWithReference(const Paths& paths, const ReferenceJob& job, const Text& stream) {
  Text reference;
  if (!CHECK(host::ReadWholeFile(JobFile(paths, job, "reference.prn"), &reference))) return;
  if (CHECK(stream == reference)) return;
  size_t at = 0;
  while (at < stream.size() && at < reference.size() && stream.c_str()[at] == reference.c_str()[at]) ++at;
  host::Note(Text() << job.name << ": " << static_cast<long>(stream.size()) << " bytes against "
                    << static_cast<long>(reference.size()) << "; first difference at byte " << static_cast<long>(at));
}

void RunJob(Factory create, const Paths& paths, const ReferenceJob& job, bool toPort) {
  host::Group(Text("job ") << job.name << (toPort ? " to a port of the host" : " to a file"));
  const Text output = host::WindowsPath((Text(paths.output.c_str()) << "/" << job.name << "-msabi.prn").c_str());
  DeleteFileA(output.c_str());

  JobContext* context = new JobContext;
  InitJobContext(context);
  CHECK(host::Copy(context->spoolPath, sizeof context->spoolPath, JobFile(paths, job, "job.spl").c_str()));
  CHECK(host::Copy(context->outputPath, sizeof context->outputPath, output.c_str()));
  context->promptMode = kPromptsOff;
  context->copies = job.copies;
  context->singlePage = job.singlePage;

  BufferPort* port = toPort ? new BufferPort : nullptr;
  ABasePrinterDriver* driver = create();
  if (CHECK(driver != nullptr)) {
    CHECK_EQ(driver->InitializePrint(context, port), 1);
    CHECK_EQ(driver->SetJobFileName("job name", "second name"), 1);
    CHECK_TEXT(context->jobFileName1, "job name");
    CHECK_TEXT(context->jobFileName2, "second name");
    CHECK_EQ(driver->ResumePrint(0, 0, 0, 0), 1);
    long steps = 0;
    while (steps++ < kStepLimit && context->promptMode != kJobEnded) {
      if (!CHECK_EQ(driver->ResumePrint(0, 0, 0, 2), 1)) {
        host::Note(Text("status \"") << context->statusText << "\" after " << steps << " steps");
        break;
      }
      context->bytesConsumed = context->bytesProduced;
    }
    CHECK_EQ(context->promptMode, kJobEnded);
    CHECK_EQ(driver->AbortPrint(), 1);
    delete driver;

    Text stream;
    if (toPort) {
      CHECK(port->calls > 0);
      stream = port->bytes;
    } else {
      CHECK(host::ReadWholeFile(output, &stream));
    }
    CompareWithReference(paths, job, stream);
  }
  delete port;
  delete context;
}

// ---- Destruction through slot 0 --------------------------------------------------------------

// Validates every heap of the process and adds up its blocks in use.
bool HeapsConsistent(long* bytesInUse) {
  HANDLE heaps[64];
  const DWORD count = GetProcessHeaps(64, heaps);
  if (count == 0 || count > 64) return false;
  bool ok = true;
  long inUse = 0;
  for (DWORD i = 0; i < count; ++i) {
    if (!HeapValidate(heaps[i], 0, nullptr)) ok = false;
    HeapLock(heaps[i]);
    ProcessHeapEntry entry = {};
    while (HeapWalk(heaps[i], &entry)) {
      if (entry.flags & kHeapEntryBusy) inUse += static_cast<long>(entry.dataSize);
    }
    HeapUnlock(heaps[i]);
  }
  *bytesInUse = inUse;
  return ok;
}

void DeleteManyTimes(Factory create) {
  host::Group("delete through slot 0, many times over");
  constexpr int kRounds = 300;
  long before = 0;
  CHECK(HeapsConsistent(&before));
  // The object is the module's: its slot 0 frees it with the module's
  // allocator, never with the host's operator delete.
  const host::HeapCounts start = host::Counts();
  int made = 0;
  for (int round = 0; round < kRounds; ++round) {
    ABasePrinterDriver* driver = create();
    if (driver == nullptr) break;
    ++made;
    if (round % 2 == 1) driver->GetRowNumber();
    delete driver;
  }
  const host::HeapCounts end = host::Counts();
  CHECK_EQ(made, kRounds);
  CHECK_EQ(end.allocations - start.allocations, 0);
  CHECK_EQ(end.frees - start.frees, 0);
  long after = 0;
  CHECK(HeapsConsistent(&after));
  // Each driver holds kilobytes; three hundred of them left behind would
  // show.
  if (!CHECK(after - before < 64 * 1024)) host::Note(Text("heap grew by ") << (after - before) << " bytes");
}

// ---- A driver class of the host's own -----------------------------------------------------------

// Supplies only the pure operations; everything else is the imported base
// class's.
class HostDriver : public ABasePrinterDriver {
 public:
  explicit HostDriver(int tag) : tag(tag) {}
  int InitializePrint(JobContext*, ABasePort*) override { return 100 + tag; }
  int ResumePrint(int, int, int, int flags) override { return 200 + flags; }
  int EnumColorModel(int index, int*, char*, const DrvInfo*) override { return 300 + index; }
  int FindColorModel(const char*) override { return 400; }
  int GetColorList(int model, ColorList*) override { return 500 + model; }
  ~HostDriver() override { ++destroyed; }

  int tag;
  static int destroyed;
};
int HostDriver::destroyed = 0;

void BaseResults(ABasePrinterDriver& base) {
  char text[256] = {};
  int status = 0;
  CHECK_EQ(base.AbortPrint(), 1);
  CHECK_EQ(base.HasControlPanel(), 0);
  CHECK_EQ(base.DoControlPanel(nullptr, 0, nullptr, nullptr), 0);
  CHECK_EQ(base.HasDriverOption(), 0);
  CHECK_EQ(base.DoDriverOption(text, 1, nullptr, nullptr, nullptr), 0);
  CHECK_EQ(base.GetPrinterName(text, nullptr), 0);
  CHECK_EQ(base.DecodePPDString(text, text, nullptr), 0);
  CHECK_EQ(base.GetRowNumber(), -1);
  CHECK_EQ(base.SupportSeparation(), 1);
  CHECK(base.GetVersion() == 1.0f);
  CHECK_EQ(base.PutPPDDisplays(text, text), 0);
  CHECK_EQ(base.SupportCMYKPage(), 1);
  CHECK_EQ(base.GetDefaultScreening(nullptr, nullptr), 0);
  CHECK_EQ(base.GetDefaultColorIndex(text, nullptr), -1);
  CHECK_EQ(base.SetJobFileName("a", "b"), 1);
  CHECK_EQ(base.DoInitStatusCheck(status, text), 0);
  CHECK_EQ(base.GetStatus(status, text), 0);
}

void DerivedClass(HMODULE module) {
  host::Group("a driver class derived by the host");
  HostDriver* driver = new HostDriver(7);
  ABasePrinterDriver& base = *driver;
  BaseResults(base);
  // The host's own slots.
  CHECK_EQ(base.InitializePrint(nullptr, nullptr), 107);
  CHECK_EQ(base.ResumePrint(0, 0, 0, 2), 202);
  CHECK_EQ(base.EnumColorModel(3, nullptr, nullptr, nullptr), 303);
  CHECK_EQ(base.FindColorModel("x"), 400);
  CHECK_EQ(base.GetColorList(2, nullptr), 502);
  // Its table is the host's, not the module's.
  CHECK(*reinterpret_cast<void**>(driver) != GetProcAddress(module, kVftable));

  // Copy construction and assignment run the imported base members and keep
  // each object's own table and data.
  HostDriver copy(*driver);
  CHECK_EQ(copy.tag, 7);
  CHECK(*reinterpret_cast<void**>(&copy) == *reinterpret_cast<void**>(driver));
  HostDriver other(9);
  other = *driver;
  CHECK_EQ(other.tag, 7);
  CHECK_EQ(other.InitializePrint(nullptr, nullptr), 107);
  BaseResults(other);

  // delete runs the host's slot 0, which calls the imported destructor and
  // frees with the host's allocator.
  const host::HeapCounts start = host::Counts();
  const int destroyedBefore = HostDriver::destroyed;
  delete driver;
  const host::HeapCounts end = host::Counts();
  CHECK_EQ(HostDriver::destroyed - destroyedBefore, 1);
  CHECK_EQ(end.frees - start.frees, 1);
  long inUse = 0;
  CHECK(HeapsConsistent(&inUse));
}

}  // namespace

int host::Main(int argc, char** argv) {
  if (argc != 4) {
    Print(Text("usage: ") << (argc > 0 ? argv[0] : "msabi_host") << " MODULE REFERENCE_DIR OUTPUT_DIR\n");
    return 2;
  }
  const Paths paths{Text(argv[2]), Text(argv[3])};
  CreateDirectoryA(WindowsPath(argv[3]).c_str(), nullptr);

  Group("load");
  HMODULE module = LoadLibraryA(WindowsPath(argv[1]).c_str());
  if (!CHECK(module != nullptr)) {
    Note(Text("LoadLibraryA failed with error ") << static_cast<long>(GetLastError()));
    return Summary();
  }
  // The factory through the import library, as a host links it.
  CHECK(GetProcAddress(module, "createNewPrinterDriver") == reinterpret_cast<void*>(&createNewPrinterDriver));
  ExportTable(module);
  FreshDriver(&createNewPrinterDriver);

  Group("reference set");
  constexpr int kMaxJobs = 32;
  ReferenceJob* jobs = new ReferenceJob[kMaxJobs];
  const int count = ReadManifest(paths, jobs, kMaxJobs);
  if (CHECK(count > 0)) {
    for (int i = 0; i < count; ++i) {
      RunJob(&createNewPrinterDriver, paths, jobs[i], false);
      RunJob(&createNewPrinterDriver, paths, jobs[i], true);
    }
  } else {
    Note(Text("no reference set in ") << argv[2]);
  }
  delete[] jobs;

  DeleteManyTimes(&createNewPrinterDriver);
  DerivedClass(module);
  FreeLibrary(module);
  return Summary();
}
