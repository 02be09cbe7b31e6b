#include "job_runner.h"

#include <cstring>
#include <memory>
#include <mutex>

#include "pc50/pc50.h"
#include "pc50/pc50_ext.h"

namespace pc50::app {
namespace {

constexpr std::int32_t kPromptModeAsk = 0;
constexpr std::int32_t kJobEnded = -1;
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
// Consecutive steps without new output or status after which the module is
// taken to be stuck.
constexpr long kStallLimit = 1000000;

// The page trailers: a page advance, or the pen home of a single-page job.
constexpr char kPageAdvance[] = "\x1b%0BPU;PG;";
constexpr char kPenHome[] = "\x1b%0BPU;PA0,0;";

// The prompt handler is process-wide; each job thread routes its prompts to
// the hooks of the job it runs.
thread_local JobHooks* current_hooks = nullptr;
thread_local bool prompt_refused = false;

int RoutePrompt(void*, const char* text, const char*, unsigned, HWND) {
  JobHooks* hooks = current_hooks;
  if (hooks == nullptr) return kIdOk;  // not one of our jobs: never block
  const std::string message = text != nullptr ? text : "";
  if (hooks->AskForCartridge(CartridgeOfPrompt(message), message)) return kIdOk;
  prompt_refused = true;
  return kIdCancel;
}

void InstallPromptRouter() {
  static std::once_flag once;
  std::call_once(once, [] { pc50_SetPromptHandler(RoutePrompt, nullptr); });
}

class HooksOnThread {
 public:
  explicit HooksOnThread(JobHooks* hooks) {
    current_hooks = hooks;
    prompt_refused = false;
  }
  ~HooksOnThread() { current_hooks = nullptr; }
  HooksOnThread(const HooksOnThread&) = delete;
  HooksOnThread& operator=(const HooksOnThread&) = delete;
};

bool EndsWith(const std::string& text, const char* tail) {
  const std::size_t n = std::strlen(tail);
  return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
}

// The port the module writes to: passes bytes to the hooks and notices page
// trailers (each ends a flushed write, possibly split over two).
class SinkPort : public ABasePort {
 public:
  explicit SinkPort(JobHooks* hooks) : hooks_(hooks) {}

  int SendData(const void* data, int length, int) override {
    if (length <= 0) return 0;
    if (!failed_ && !hooks_->Write(data, static_cast<std::size_t>(length))) failed_ = true;
    if (failed_) return 0;
    bytes_ += static_cast<std::uint64_t>(length);
    tail_.append(static_cast<const char*>(data), static_cast<std::size_t>(length));
    if (EndsWith(tail_, kPageAdvance) || EndsWith(tail_, kPenHome)) {
      ++pages_;
      hooks_->PageDone();
      tail_.clear();
    } else if (tail_.size() > 32) {
      tail_.erase(0, tail_.size() - 32);
    }
    return length;
  }

  bool failed() const { return failed_; }
  std::uint64_t bytes() const { return bytes_; }
  int pages() const { return pages_; }

 private:
  JobHooks* hooks_;
  bool failed_ = false;
  std::uint64_t bytes_ = 0;
  int pages_ = 0;
  std::string tail_;
};

std::string ModuleReason(const std::string& fallback) {
  const char* reason = pc50_LastFailure();
  return reason != nullptr && *reason != '\0' ? reason : fallback;
}

struct DriverDeleter {
  void operator()(ABasePrinterDriver* driver) const { DestroyDriver(driver); }
};

}  // namespace

std::string CartridgeOfPrompt(const std::string& text) {
  static const char kHead[] = "Please install ";
  static const char kTail[] = " cartridge to the printer";
  const std::size_t head = sizeof kHead - 1;
  const std::size_t tail = sizeof kTail - 1;
  if (text.size() > head + tail && text.compare(0, head, kHead) == 0 &&
      text.compare(text.size() - tail, tail, kTail) == 0) {
    return text.substr(head, text.size() - head - tail);
  }
  return text;
}

JobResult RunSpoolJob(const std::string& spoolPath, const JobSettings& settings, JobHooks& hooks) {
  InstallPromptRouter();
  HooksOnThread routed(&hooks);
  JobResult result;

  JobContext job;
  InitJobContext(&job);
  if (spoolPath.size() >= sizeof job.spoolPath) {
    result.reason = "the spool file's path is longer than " + std::to_string(sizeof job.spoolPath - 1) +
                    " characters";
    return result;
  }
  std::memcpy(job.spoolPath, spoolPath.c_str(), spoolPath.size() + 1);
  job.promptMode = kPromptModeAsk;
  job.copies = settings.copies < 1 ? 1 : settings.copies;
  job.singlePage = settings.single_page ? 1 : 0;

  std::unique_ptr<ABasePrinterDriver, DriverDeleter> driver(createNewPrinterDriver());
  if (!driver) {
    result.reason = "cannot create a driver object: " + ModuleReason("out of memory");
    return result;
  }
  SinkPort port(&hooks);
  if (driver->InitializePrint(&job, &port) == 0) {
    result.reason = "not a readable spool job: " + ModuleReason("the module gave no reason");
    driver->AbortPrint();
    return result;
  }

  std::int32_t last_produced = -1;
  std::string last_status;
  long idle = 0;
  for (long step = 1;; ++step) {
    if (hooks.ShouldStop()) {
      result.end = JobEnd::kStopped;
      result.reason = "stopped";
      break;
    }
    const int ok = driver->ResumePrint(0, 0, 0, 2);
    if (ok == 0) {
      if (prompt_refused) {
        result.end = JobEnd::kStopped;
        result.reason = "the cartridge was not installed";
      } else if (port.failed()) {
        result.reason = "the printer stopped taking data";
      } else {
        result.reason = ModuleReason("job step " + std::to_string(step) + " failed without a reason");
      }
      break;
    }
    if (job.promptMode == kJobEnded) {
      result.end = JobEnd::kCompleted;
      break;
    }
    job.bytesConsumed = job.bytesProduced;
    const std::string status(job.statusText, strnlen(job.statusText, sizeof job.statusText));
    if (job.bytesProduced != last_produced || status != last_status) {
      last_produced = job.bytesProduced;
      last_status = status;
      idle = 0;
    } else if (++idle >= kStallLimit) {
      result.reason = "the job made no progress in a million steps";
      break;
    }
  }
  // The abort call always follows; after a stop it sends the printer reset.
  if (driver->AbortPrint() == 0 && result.end == JobEnd::kCompleted) {
    result.end = JobEnd::kFailed;
    result.reason = "cannot close the job: " + ModuleReason("the module gave no reason");
  }
  if (result.end == JobEnd::kCompleted && port.failed()) {
    result.end = JobEnd::kFailed;
    result.reason = "the printer stopped taking data";
  }
  result.bytes = port.bytes();
  result.pages = port.pages();
  return result;
}

}  // namespace pc50::app
