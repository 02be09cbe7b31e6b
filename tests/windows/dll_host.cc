// pc50drv.dll seen from a Windows host: loaded with LoadLibraryA, every entry
// point looked up by its plain name, jobs printed through both interfaces and
// on two threads at once, each stream compared byte for byte with the one
// the Linux build printed from the same spool job.
//
//   pc50_dll_host MODULE REFERENCE_DIR OUTPUT_DIR
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "check.h"
#include "job_runner.h"
#include "pc50/pc50.h"
#include "reference_set.h"
#include "windows_host.h"

namespace {

using namespace pc50::wintest;
namespace pji = pc50::print_job_info;
namespace dsi = pc50::driver_setup_info;

using Factory = ABasePrinterDriver* (*)();
using NoArgument = int (*)();
using Displays = short (*)(char*, char*);
using Decode = int (*)(char*, DriverSetupInfo*);
using Dialog = int (*)(HWND, DriverSetupInfo*, int);
using JobNames = int (*)(const char*, const char*);

struct Paths {
  std::string references;
  std::string output;
};

void ExportsByPlainName(const Module& module) {
  Group("entry points by plain name");
  for (const char* name : {"INITIALIZEPRINT", "RESUMEPRINT", "ABORTPRINT", "SETJOBFILENAME", "DECODESTRING",
                           "HASCONFIGDIALOG", "GetRowNumber", "PutPPDDisplays", "PopUpDriverOptionDialog",
                           "createNewPrinterDriver"}) {
    if (!CHECK(module.Get<void*>(name) != nullptr)) Note(std::string("missing export ") + name);
  }
  for (const char* decorated : {"_INITIALIZEPRINT@4", "INITIALIZEPRINT@4", "_GetRowNumber@0", "_createNewPrinterDriver"}) {
    if (!CHECK(module.Get<void*>(decorated) == nullptr)) Note(std::string("decorated export ") + decorated);
  }
}

void QuestionFunctions(const Module& module) {
  Group("question functions");
  const auto hasDialog = module.Get<NoArgument>("HASCONFIGDIALOG");
  const auto rowNumber = module.Get<NoArgument>("GetRowNumber");
  const auto displays = module.Get<Displays>("PutPPDDisplays");
  const auto decode = module.Get<Decode>("DECODESTRING");
  const auto dialog = module.Get<Dialog>("PopUpDriverOptionDialog");
  if (!hasDialog || !rowNumber || !displays || !decode || !dialog) return;

  CHECK_EQ(hasDialog(), 1);
  CHECK_EQ(rowNumber(), 17);
  char display[256] = {};
  char block[256] = {};
  CHECK_EQ(displays(display, block), 1);
  CHECK_EQ(std::string(display), "Print Order:0,YMCK,CMYK;");

  // The nibble form writes 200 bytes at the record's start but keeps the
  // host's text at offset 192; the decimal form sets single bytes.
  std::vector<char> setup(512, 0);
  std::memcpy(&setup[dsi::kText], "host text", 10);
  std::string nibbles = "DriverOptionBinary=";
  for (int i = 0; i < 200; ++i) nibbles += "15";
  CHECK_EQ(decode(nibbles.data(), reinterpret_cast<DriverSetupInfo*>(setup.data())), 1);
  CHECK_EQ(setup[0], 0x15);
  CHECK_EQ(setup[191], 0x15);
  CHECK_EQ(std::string(&setup[dsi::kText]), "host text");
  std::string decimal = "DriverOption0=0 DriverOption1=1";
  CHECK_EQ(decode(decimal.data(), reinterpret_cast<DriverSetupInfo*>(setup.data())), 1);
  CHECK_EQ(setup[1], 0);
  CHECK_EQ(setup[2], 1);

  // Action 2 resets the block without a window; an unknown action does nothing.
  std::vector<char> options(512, 9);
  CHECK_EQ(dialog(nullptr, reinterpret_cast<DriverSetupInfo*>(options.data()), 2), 1);
  CHECK_EQ(options[0], 20);
  CHECK_EQ(options[1], 1);
  CHECK_EQ(options[2], 0);
  CHECK_EQ(options[3], 9);
  options[1] = 5;
  CHECK_EQ(dialog(nullptr, reinterpret_cast<DriverSetupInfo*>(options.data()), 7), 0);
  CHECK_EQ(options[1], 5);
}

void DriverObject(const Module& module) {
  Group("driver object from the factory");
  const auto create = module.Get<Factory>("createNewPrinterDriver");
  if (!CHECK(create != nullptr)) return;
  ABasePrinterDriver* driver = create();
  if (!CHECK(driver != nullptr)) return;
  CHECK_EQ(driver->GetRowNumber(), 17);
  CHECK_EQ(driver->HasDriverOption(), 1);
  char name[64] = {};
  CHECK_EQ(driver->GetPrinterName(name, nullptr), 1);
  CHECK_EQ(std::string(name), "PC-50 Thermal Printer");
  CHECK_EQ(driver->FindColorModel("Grayscale"), 2);
  pc50::DestroyDriver(driver);
}

void CallsWithoutAJob(const Module& module, const Paths& paths) {
  Group("job calls without a job");
  const JobFunctions jobs = module.Jobs();
  const auto names = module.Get<JobNames>("SETJOBFILENAME");
  if (!Complete(jobs) || names == nullptr) return;
  // A fresh thread has never started a job.
  std::thread([&] {
    JobRecord record;
    record.SetI16(pji::kPromptMode, kPromptsOff);
    record.SetI32(pji::kBytesProduced, 55);
    CHECK_EQ(jobs.resume(record.get()), 0);
    CHECK_EQ(jobs.abort(record.get()), 0);
    CHECK_EQ(names("a", "b"), 0);
    CHECK_EQ(record.I32(pji::kBytesProduced), 55);
    CHECK_EQ(record.I16(pji::kPromptMode), kPromptsOff);
  }).join();

  JobSettings missing;
  missing.spoolPath = WindowsPath(paths.output + "/no-such-job.spl");
  missing.outputPath = WindowsPath(paths.output + "/no-such-job.prn");
  const JobRun run = RunJob(jobs, missing);
  CHECK_EQ(run.started, 0);
  CHECK_EQ(run.steps, 0);

  // A pipe in place of the spool file is refused, not read: a read would
  // wait for the pipe's other end for ever.
  const std::string pipeName = "\\\\.\\pipe\\pc50_spool_" + std::to_string(::GetCurrentProcessId());
  HANDLE pipe = ::CreateNamedPipeA(pipeName.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096,
                                   0, nullptr);
  if (CHECK(pipe != INVALID_HANDLE_VALUE)) {
    JobSettings piped = missing;
    piped.spoolPath = pipeName;
    const JobRun refused = RunJob(jobs, piped);
    CHECK_EQ(refused.started, 0);
    CHECK_EQ(refused.steps, 0);
    ::CloseHandle(pipe);
  }
}

JobSettings SettingsFor(const Paths& paths, const ReferenceJob& job, const std::string& outputName) {
  JobSettings settings;
  settings.spoolPath = WindowsPath(JobPath(paths.references, job.name, "job.spl"));
  settings.outputPath = WindowsPath(paths.output + "/" + outputName);
  settings.copies = job.copies;
  settings.singlePage = job.singlePage;
  return settings;
}

void CheckStream(const Paths& paths, const ReferenceJob& job, const std::string& stream) {
  std::string reference;
  if (!CHECK(ReadBytes(WindowsPath(JobPath(paths.references, job.name, "reference.prn")), &reference))) return;
  CHECK_EQ(CompareStreams(stream, reference), "");
}

void CheckJob(const Paths& paths, const ReferenceJob& job, const JobRun& run, const std::string& outputName) {
  CHECK_EQ(run.problem, "");
  CHECK_EQ(run.started, 1);
  if (!CHECK(run.ended)) Note(job.name + ": status \"" + run.status + "\" after " + std::to_string(run.steps) + " steps");
  CHECK_EQ(run.aborted, 1);
  std::string stream;
  if (CHECK(ReadBytes(WindowsPath(paths.output + "/" + outputName), &stream))) CheckStream(paths, job, stream);
}

void StreamsMatchTheLinuxBuild(const Module& module, const Paths& paths, const std::vector<ReferenceJob>& set) {
  const JobFunctions jobs = module.Jobs();
  if (!Complete(jobs)) return;
  for (const ReferenceJob& job : set) {
    Group("procedural job " + job.name);
    const std::string output = job.name + ".prn";
    CheckJob(paths, job, RunJob(jobs, SettingsFor(paths, job, output)), output);
  }
}

// The host's port: keeps what the module sends.
class StringPort : public ABasePort {
 public:
  int SendData(const void* data, int length, int /*flag*/) override {
    if (length <= 0) return 0;
    bytes.append(static_cast<const char*>(data), static_cast<std::size_t>(length));
    return length;
  }
  std::string bytes;
};

// The object interface, with the stream to a port and to a file.
void ObjectInterface(const Module& module, const Paths& paths, const ReferenceJob& job) {
  const auto create = module.Get<Factory>("createNewPrinterDriver");
  if (create == nullptr) return;
  for (const bool toPort : {true, false}) {
    Group("object interface " + job.name + (toPort ? " to a port" : " to a file"));
    ABasePrinterDriver* driver = create();
    if (!CHECK(driver != nullptr)) return;
    const std::string outputName = job.name + "-object.prn";
    const JobSettings settings = SettingsFor(paths, job, outputName);
    JobContext context;
    InitJobContext(&context);
    std::strcpy(context.spoolPath, settings.spoolPath.c_str());
    std::strcpy(context.outputPath, settings.outputPath.c_str());
    context.promptMode = kPromptsOff;
    context.copies = job.copies;
    context.singlePage = job.singlePage ? 1 : 0;
    StringPort port;
    CHECK_EQ(driver->InitializePrint(&context, toPort ? &port : nullptr), 1);
    long steps = 0;
    while (steps++ < kStepLimit && context.promptMode != kJobEnded) {
      if (!CHECK_EQ(driver->ResumePrint(0, 0, 0, 2), 1)) break;
      context.bytesConsumed = context.bytesProduced;
    }
    CHECK_EQ(context.promptMode, kJobEnded);
    CHECK_EQ(driver->AbortPrint(), 1);
    pc50::DestroyDriver(driver);
    std::string stream = port.bytes;
    if (!toPort && !CHECK(ReadBytes(settings.outputPath, &stream))) continue;
    CheckStream(paths, job, stream);
  }
}

std::string OutputName(const ReferenceJob& job, int thread) {
  return job.name + "-thread" + std::to_string(thread) + ".prn";
}

// Two host threads, one job each, running at the same time.
void TwoThreads(const Module& module, const Paths& paths, const ReferenceJob& first, const ReferenceJob& second) {
  Group("two threads: " + first.name + " and " + second.name);
  const JobFunctions jobs = module.Jobs();
  if (!Complete(jobs)) return;
  std::atomic<int> ready{0};
  JobRun runs[2];
  const ReferenceJob* chosen[2] = {&first, &second};
  std::vector<std::thread> threads;
  for (int k = 0; k < 2; ++k) {
    threads.emplace_back([&, k] {
      ++ready;
      while (ready.load() < 2) std::this_thread::yield();
      runs[k] = RunJob(jobs, SettingsFor(paths, *chosen[k], OutputName(*chosen[k], k)));
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int k = 0; k < 2; ++k) CheckJob(paths, *chosen[k], runs[k], OutputName(*chosen[k], k));
}

// SETJOBFILENAME during a job; an abort without any step ends the job.
void JobSlots(const Module& module, const Paths& paths, const ReferenceJob& job) {
  Group("job slots");
  const JobFunctions jobs = module.Jobs();
  const auto names = module.Get<JobNames>("SETJOBFILENAME");
  if (!Complete(jobs) || names == nullptr) return;
  JobSettings settings = SettingsFor(paths, job, "slots.prn");
  JobRecord record;
  record.SetText(pji::kSpoolPath, settings.spoolPath, 260);
  record.SetText(pji::kOutputPath, settings.outputPath, 272);
  record.SetI16(pji::kPromptMode, kPromptsOff);
  CHECK_EQ(jobs.initialize(record.get()), 1);
  CHECK_EQ(names("first", "second"), 1);
  CHECK_EQ(jobs.abort(record.get()), 1);
  CHECK_EQ(record.I16(pji::kPromptMode), kJobEnded);
  CHECK_EQ(jobs.resume(record.get()), 0);
  CHECK_EQ(names("first", "second"), 0);
}

const ReferenceJob* Find(const std::vector<ReferenceJob>& set, const std::string& name) {
  for (const ReferenceJob& job : set) {
    if (job.name == name) return &job;
  }
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s MODULE REFERENCE_DIR OUTPUT_DIR\n", argv[0]);
    return 2;
  }
  const Paths paths{argv[2], argv[3]};
  ::CreateDirectoryA(WindowsPath(paths.output).c_str(), nullptr);

  Group("load");
  const Module module(argv[1]);
  if (!CHECK(module.loaded())) {
    Note("LoadLibraryA failed with error " + std::to_string(::GetLastError()));
    return Summary();
  }
  ExportsByPlainName(module);
  QuestionFunctions(module);
  DriverObject(module);
  CallsWithoutAJob(module, paths);

  Group("reference set");
  std::string problem;
  const std::vector<ReferenceJob> set = ReadManifest(WindowsPath(paths.references), &problem);
  if (!CHECK_EQ(problem, "")) return Summary();
  StreamsMatchTheLinuxBuild(module, paths, set);

  const ReferenceJob* mixed = Find(set, "four-colour-gold");
  const ReferenceJob* single = Find(set, "single-ribbons");
  const ReferenceJob* interleaved = Find(set, "four-colour");
  Group("jobs the tests below use");
  if (CHECK(mixed != nullptr) & CHECK(single != nullptr) & CHECK(interleaved != nullptr)) {
    ObjectInterface(module, paths, *mixed);
    TwoThreads(module, paths, *mixed, *single);
    TwoThreads(module, paths, *interleaved, *interleaved);
    JobSlots(module, paths, *single);
  }
  return Summary();
}
