// Whole print jobs through the C entry points, as a host runs them.
//
// Input (whole_job_input.h): four control bytes, then the spool file; a
// marker line splits off up to two raster files, written beside the spool
// file under the names its index gives them (page1.dat, page2.dat where the
// index names none). The control bytes set the ribbon type and print order
// (bytes 1 and 2 of the driver-option block in the spool header), the colour
// model, the copies, single-page layout and whether the host drains the
// output after every step; so every output mode is reached from any spool
// file.
//
// The job runs through INITIALIZEPRINT, at most 2,000 RESUMEPRINT steps with
// prompts off (prompt mode 4), and ABORTPRINT. Checked: a call that fails
// gives its reason (pc50_LastFailure), the abort of a started job appends
// the printer reset at the host's count (or, on a full disk, counts
// nothing), no file is left open and no scratch file of the four-colour pass
// on disk, and a job that ends well leaves exactly its counted bytes as a
// stream that decodes.
// Sanitizers catch crashes, leaks and stray memory accesses; libFuzzer's
// timeout catches a hang.
//
// The files live in memory (platform/memory_files.h): the module opens them
// through the platform seam, so no job creates or removes a real file but
// the four-colour pass's anonymous scratch stream. The disk is small: the
// output file takes at most 256 KB per job (beyond, writes fail as on a full
// disk), and the scratch stream may not grow past 2 MB, so that a damaged
// size field cannot make a run write for minutes.
#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "job_record.h"
#include "pc50/pc50.h"
#include "pc50/pc50_ext.h"
#include "platform/memory_files.h"
#include "platform/platform.h"
#include "stream_decoder.h"
#include "whole_job_input.h"

namespace {

using pc50::fuzz::Check;
using pc50::fuzz::Violation;
namespace pji = pc50::print_job_info;
namespace wj = pc50::fuzz::whole_job;
namespace memory_files = pc50::platform::memory_files;

constexpr long kMaxSteps = 2000;
constexpr std::int64_t kOutputLimit = 256 << 10;
constexpr rlim_t kFileSizeLimit = 2u << 20;
constexpr std::int16_t kPromptsOff = 4;
constexpr std::int16_t kJobEnded = -1;
const char kSpoolName[] = "job.spl";
const char kOutputName[] = "out.prn";

bool g_verbose = false;  // PC50_FUZZ_VERBOSE set: each job's outcome on stderr

void Note(const char* outcome, long steps, std::int32_t produced) {
  if (!g_verbose) return;
  std::fprintf(stderr, "job: %s after %ld steps, %d bytes: %s\n", outcome, steps, produced, pc50_LastFailure());
}

// Paths of the job's files; the module's scratch files have names of their own.
const std::string g_dir = "job";

void LimitScratchFiles() {
  rlimit limit;
  if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > kFileSizeLimit)) {
    limit.rlim_cur = kFileSizeLimit;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
}

std::string PathOf(const std::string& name) { return g_dir + "/" + name; }

void WriteFile(const std::string& name, const std::uint8_t* data, std::size_t size) {
  memory_files::Put(PathOf(name), data, size);
}

// The files there are, named as the job names them (its own, under g_dir)
// or by their whole path (the module's scratch files).
std::vector<std::string> DirectoryEntries() {
  std::vector<std::string> names;
  for (const std::string& path : memory_files::Names()) {
    names.push_back(path.rfind(g_dir + "/", 0) == 0 ? path.substr(g_dir.size() + 1) : path);
  }
  return names;
}

std::string ReadOutput(std::size_t limit) {
  std::string bytes;
  memory_files::Get(PathOf(kOutputName), &bytes, static_cast<std::int64_t>(limit));
  return bytes;
}

// Open files of every kind: descriptors and in-memory handles.
int OpenDescriptors() {
  int count = memory_files::OpenHandles();
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (::readdir(dir) != nullptr) ++count;
    ::closedir(dir);
  }
  return count;
}

// The host's PrintJobInfo record.
using JobInfo = pc50::hostkit::JobRecord;

void CheckReason(const char* call, long step) {
  const char* reason = pc50_LastFailure();
  if (reason == nullptr || reason[0] == '\0') Violation(call, step);
}

// A fault of the decoder's own bounds, not of the stream.
bool DecoderLimit(const std::string& message) {
  return message.find("limit") != std::string::npos || message.find("more than") != std::string::npos;
}

// inputs: the files the job was given.
void RunJob(const wj::Job& job, const std::set<std::string>& inputs) {
  JobInfo info;
  info.SetSpoolPath(PathOf(kSpoolName));
  info.SetOutputPath(PathOf(kOutputName));
  info.SetI16(pji::kPromptMode, kPromptsOff);
  info.SetI16(pji::kCopies, static_cast<std::int16_t>(job.copies));
  info.SetI16(pji::kSinglePage, job.singlePage ? 1 : 0);

  const int descriptors = OpenDescriptors();
  pc50::platform::SetWriteLimitForTesting(kOutputLimit);
  if (INITIALIZEPRINT(info.get()) == 0) {
    CheckReason("INITIALIZEPRINT failed without a reason", 0);
    Note("not started", 0, 0);
    Check(OpenDescriptors() == descriptors, "a file of the failed start is still open", descriptors);
    pc50::platform::SetWriteLimitForTesting(-1);
    Check(RESUMEPRINT(info.get()) == 0, "RESUMEPRINT after a failed start");
    return;
  }
  bool ended = false;
  bool failed = false;
  long steps = 0;
  while (steps < kMaxSteps) {
    ++steps;
    if (job.drain) info.SetI32(pji::kBytesConsumed, info.I32(pji::kBytesProduced));
    if (RESUMEPRINT(info.get()) == 0) {
      CheckReason("RESUMEPRINT failed without a reason", steps);
      failed = true;
      break;
    }
    if (info.I16(pji::kPromptMode) == kJobEnded) {
      ended = true;
      break;
    }
  }
  const std::int32_t produced = info.I32(pji::kBytesProduced);
  Note(failed ? "failed" : ended ? "ended" : "step limit", steps, produced);
  const int aborted = ABORTPRINT(info.get());
  pc50::platform::SetWriteLimitForTesting(-1);
  if (aborted == 0) CheckReason("ABORTPRINT failed without a reason", 0);
  Check(aborted != 0 || !ended, "ABORTPRINT of a job that ended well failed");
  Check(RESUMEPRINT(info.get()) == 0, "RESUMEPRINT after ABORTPRINT");
  Check(OpenDescriptors() == descriptors, "a file of the job is still open", descriptors, OpenDescriptors());
  // The abort appends the printer reset where the host's count ends, or
  // (disk full) counts nothing.
  const std::int32_t afterAbort = info.I32(pji::kBytesProduced);
  if (aborted != 0) {
    Check(afterAbort == produced || afterAbort == produced + 2, "ABORTPRINT counted more than the reset", produced,
          afterAbort);
    if (afterAbort == produced + 2) {
      Check(ReadOutput(static_cast<std::size_t>(afterAbort)).substr(static_cast<std::size_t>(produced)) == "\x1b" "E",
            "ABORTPRINT wrote other than the reset", produced);
    }
  }

  for (const std::string& name : DirectoryEntries()) {
    if (inputs.count(name) == 0 && name != kOutputName) {
      std::fprintf(stderr, "left behind: %s\n", name.c_str());
      Violation("a scratch file of the module outlived the job");
    }
  }
  if (!ended || failed) return;

  Check(produced >= 0, "negative byte count", produced);
  const std::string file = ReadOutput(static_cast<std::size_t>(produced) + 1);
  Check(file.size() >= static_cast<std::size_t>(produced), "output file shorter than its count",
        static_cast<long long>(file.size()), produced);
  const std::string stream = file.substr(0, static_cast<std::size_t>(produced));
  const pc50::hostkit::DecodeResult decoded = pc50::hostkit::DecodeStream(stream);
  if (!decoded.ok && !DecoderLimit(decoded.error.message)) {
    std::fprintf(stderr, "stream of a finished job does not decode: %s\n", decoded.error.ToString().c_str());
    Violation("stream of a finished job does not decode", static_cast<long long>(decoded.error.offset));
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  memory_files::Use(true);
  LimitScratchFiles();
  g_verbose = std::getenv("PC50_FUZZ_VERBOSE") != nullptr;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A file that reaches the size limit fails its write instead of ending the
  // process; set here because libFuzzer installs its own handler after
  // LLVMFuzzerInitialize.
  static const bool kIgnoreFileSizeSignal = ::signal(SIGXFSZ, SIG_IGN) != SIG_ERR;
  (void)kIgnoreFileSizeSignal;
  const wj::Job job = wj::ParseJob(data, size);
  std::set<std::string> inputs = {kSpoolName};
  WriteFile(kSpoolName, job.spool.data(), job.spool.size());
  for (const wj::RasterPart& raster : job.rasters) {
    if (raster.fileName == kOutputName || !inputs.insert(raster.fileName).second) continue;
    WriteFile(raster.fileName, raster.bytes.data(), raster.bytes.size());
  }
  RunJob(job, inputs);
  memory_files::Clear();
  return 0;
}
