#include "print_job.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "atomic_file.h"
#include "errors.h"
#include "job_record.h"
#include "pc50/pc50.h"
#include "pc50/pc50_ext.h"

namespace pc50::cli {
namespace {

namespace fs = std::filesystem;
namespace pji = pc50::print_job_info;

constexpr std::int16_t kPromptModeAsk = 0;
constexpr std::int16_t kPromptModeOff = 4;
constexpr std::int32_t kJobEnded = -1;
// Consecutive steps without new output or new status text after which the
// module is taken to be stuck.
constexpr long kStallLimit = 1000000;

std::string ModuleReason(const std::string& fallback) {
  const std::string reason = pc50_LastFailure();
  return reason.empty() ? fallback : reason;
}

// The host's port: writes the stream to a file or standard output.
class StreamPort : public ABasePort {
 public:
  StreamPort(std::FILE* out, std::string name, std::string* copy)
      : out_(out), name_(std::move(name)), copy_(copy) {}

  int SendData(const void* data, int length, int) override {
    if (length <= 0) return 0;
    const std::size_t written = std::fwrite(data, 1, static_cast<std::size_t>(length), out_);
    if (written != static_cast<std::size_t>(length) && error_.empty()) {
      error_ = "cannot write to " + name_ + ": " + std::strerror(errno);
    }
    bytes_ += written;
    if (copy_ != nullptr) copy_->append(static_cast<const char*>(data), written);
    return static_cast<int>(written);
  }

  std::uint64_t bytes() const { return bytes_; }
  const std::string& error() const { return error_; }

 private:
  std::FILE* out_;
  std::string name_;
  std::string* copy_;
  std::uint64_t bytes_ = 0;
  std::string error_;
};

// Notices a module that goes on stepping without producing anything.
class StallGuard {
 public:
  bool Stalled(std::int32_t produced, const std::string& status) {
    if (produced != produced_ || status != status_) {
      produced_ = produced;
      status_ = status;
      idle_ = 0;
      return false;
    }
    return ++idle_ >= kStallLimit;
  }

 private:
  std::int32_t produced_ = -1;
  std::string status_;
  long idle_ = 0;
};

std::string BoundedText(const char* text, std::size_t room) {
  const void* end = std::memchr(text, 0, room);
  return std::string(text, end ? static_cast<const char*>(end) - text : room);
}

const char kStallReason[] = "the job made no progress in a million steps; stopped";

void Report(const PrintRequest& request, const std::string& status) {
  if (request.on_status) request.on_status(status);
}

// Times one resume call and keeps the longest.
class StepTimer {
 public:
  explicit StepTimer(double* longest) : longest_(longest), start_(std::chrono::steady_clock::now()) {}
  ~StepTimer() {
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start_;
    if (took.count() > *longest_) *longest_ = took.count();
  }
  StepTimer(const StepTimer&) = delete;
  StepTimer& operator=(const StepTimer&) = delete;

 private:
  double* longest_;
  std::chrono::steady_clock::time_point start_;
};

// Runs the job through the nine C entry points. Returns the bytes produced.
std::uint64_t RunThroughCInterface(const PrintRequest& request, const std::string& spool,
                                   const std::string& output, long* steps, double* longest) {
  hostkit::JobRecord info;
  if (!info.SetSpoolPath(spool)) {
    throw Failure("spool path " + spool + " is longer than the " +
                  std::to_string(pji::kParentWindow - pji::kSpoolPath - 1) +
                  " characters the C interface takes (try --api object)");
  }
  if (!info.SetOutputPath(output)) {
    throw Failure("the output path is too long for the C interface (" + std::to_string(output.size()) +
                  " characters with its temporary name, at most " +
                  std::to_string(pji::kBytesConsumed - pji::kOutputPath - 1) + "; try --api object)");
  }
  info.SetI16(pji::kPromptMode, request.prompts_off ? kPromptModeOff : kPromptModeAsk);
  info.SetI16(pji::kCopies, static_cast<std::int16_t>(request.copies));
  info.SetI16(pji::kSinglePage, request.single_page ? 1 : 0);

  if (INITIALIZEPRINT(info.get()) == 0) {
    throw Failure("cannot start the job: " + ModuleReason("the module gave no reason"));
  }
  std::string failure;
  StallGuard guard;
  for (;;) {
    int ok = 0;
    {
      StepTimer timer(longest);
      ok = RESUMEPRINT(info.get());
    }
    ++*steps;
    const std::string status = info.Text(pji::kStatusText, 256);
    Report(request, status);
    if (ok == 0) {
      failure = ModuleReason("job step " + std::to_string(*steps) + " failed without a reason");
      break;
    }
    if (info.I16(pji::kPromptMode) == kJobEnded) break;
    // The host takes everything written so far.
    info.SetI32(pji::kBytesConsumed, info.I32(pji::kBytesProduced));
    if (guard.Stalled(info.I32(pji::kBytesProduced), status)) {
      failure = kStallReason;
      break;
    }
  }
  if (ABORTPRINT(info.get()) == 0 && failure.empty()) {
    failure = "cannot close the job: " + ModuleReason("the module gave no reason");
  }
  if (!failure.empty()) throw Failure(failure);
  return static_cast<std::uint32_t>(info.I32(pji::kBytesProduced));
}

void CopyPath(char (&field)[512], const std::string& path, const char* what) {
  if (path.size() >= sizeof field) {
    throw Failure(std::string(what) + " " + path + " is longer than the " +
                  std::to_string(sizeof field - 1) + " characters a job record takes");
  }
  std::memcpy(field, path.c_str(), path.size() + 1);
}

struct DriverDeleter {
  void operator()(ABasePrinterDriver* driver) const { delete driver; }
};

// Runs the job on a driver object. Returns the bytes produced.
std::uint64_t RunThroughDriverObject(const PrintRequest& request, const std::string& spool,
                                     const std::string& output, StreamPort* port, long* steps,
                                     double* longest) {
  std::unique_ptr<ABasePrinterDriver, DriverDeleter> driver(createNewPrinterDriver());
  if (!driver) throw Failure("cannot create a driver object: " + ModuleReason("out of memory"));
  JobContext job;
  InitJobContext(&job);
  CopyPath(job.spoolPath, spool, "spool path");
  if (port == nullptr) CopyPath(job.outputPath, output, "output path");
  job.promptMode = request.prompts_off ? kPromptModeOff : kPromptModeAsk;
  job.copies = request.copies;
  job.singlePage = request.single_page ? 1 : 0;

  if (driver->InitializePrint(&job, port) == 0) {
    throw Failure("cannot start the job: " + ModuleReason("the module gave no reason"));
  }
  std::string failure;
  StallGuard guard;
  for (;;) {
    int ok = 0;
    {
      StepTimer timer(longest);
      ok = driver->ResumePrint(0, 0, 0, 2);
    }
    ++*steps;
    const std::string status = BoundedText(job.statusText, sizeof job.statusText);
    Report(request, status);
    if (ok == 0) {
      failure = ModuleReason("job step " + std::to_string(*steps) + " failed without a reason");
      if (port != nullptr && !port->error().empty()) failure = port->error();
      break;
    }
    if (job.promptMode == kJobEnded) break;
    job.bytesConsumed = job.bytesProduced;
    if (guard.Stalled(job.bytesProduced, status)) {
      failure = kStallReason;
      break;
    }
  }
  if (driver->AbortPrint() == 0 && failure.empty()) {
    failure = "cannot close the job: " + ModuleReason("the module gave no reason");
  }
  if (failure.empty() && port != nullptr && !port->error().empty()) failure = port->error();
  if (!failure.empty()) throw Failure(failure);
  return port != nullptr ? port->bytes() : static_cast<std::uint32_t>(job.bytesProduced);
}

std::string ReadWholeFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (!in) throw Failure("cannot read back " + path.string());
  return bytes.str();
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

PrintResult RunPrintJob(const PrintRequest& request) {
  const bool to_port = !request.port_path.empty();
  if (to_port == !request.output_path.empty()) {
    throw UsageError("give either an output file or a port");
  }
  if (to_port && request.api != Api::kObject) {
    throw UsageError("a port needs the object interface (--api object)");
  }
  if (request.copies < 1 || request.copies > 32767) {
    throw UsageError("copies must be 1..32767, not " + std::to_string(request.copies));
  }
  const std::string spool = fs::absolute(request.spool_path).string();
  if (!fs::is_regular_file(spool)) {
    throw Failure("no such spool file");
  }

  PrintResult result;
  std::unique_ptr<AtomicFile> file;
  std::unique_ptr<std::FILE, FileCloser> port_file;
  std::unique_ptr<StreamPort> port;
  std::string* copy = request.keep_stream ? &result.stream : nullptr;
  if (!to_port) {
    file = std::make_unique<AtomicFile>(fs::absolute(request.output_path));
  } else if (request.port_path == "-") {
    port = std::make_unique<StreamPort>(stdout, "standard output", copy);
    result.destination = "standard output";
  } else {
    file = std::make_unique<AtomicFile>(fs::absolute(request.port_path));
    port_file.reset(std::fopen(file->temp_path().string().c_str(), "wb"));
    if (!port_file) throw Failure("cannot open port file " + request.port_path + ": " + std::strerror(errno));
    port = std::make_unique<StreamPort>(port_file.get(), request.port_path, copy);
  }

  const std::string output = file ? file->temp_path().string() : std::string();
  result.bytes = request.api == Api::kC
                     ? RunThroughCInterface(request, spool, output, &result.steps, &result.longest_step_ms)
                     : RunThroughDriverObject(request, spool, output, port.get(), &result.steps,
                                              &result.longest_step_ms);

  if (port_file) {
    const bool closed = std::fclose(port_file.release()) == 0;
    if (!closed) throw Failure("cannot write to " + request.port_path + ": " + std::strerror(errno));
  } else if (port) {
    if (std::fflush(stdout) != 0) throw Failure("cannot write to standard output");
  }
  if (file) {
    if (!to_port) {
      // The job's own count is what the host has received; nothing after it
      // belongs to the stream.
      std::error_code error;
      fs::resize_file(file->temp_path(), result.bytes, error);
      if (error) throw Failure("cannot finish " + request.output_path + ": " + error.message());
    }
    file->Commit();
    result.destination = to_port ? request.port_path : request.output_path;
    if (request.keep_stream && !to_port) result.stream = ReadWholeFile(file->final_path());
  }
  return result;
}

}  // namespace pc50::cli
