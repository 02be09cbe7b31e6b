// The operator's side of cartridge changes for one printer: which cartridge
// is installed, and the one prompt a job may be waiting on. A job thread
// waits in Await; the web page, Resume-Job and `pc50-app confirm` answer
// through Answer. Nothing here knows the IPP server.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace pc50::app {

class CartridgeDesk {
 public:
  enum class Outcome { kInstalled, kRefused, kStopped };

  struct Prompt {
    int job_id = 0;
    std::string cartridge;  // "CMYK", "Gold", ...
    std::string text;       // the module's own text
  };

  // The job job_id needs cartridge. Returns kInstalled at once when it is
  // the installed one; otherwise posts the prompt, calls on_wait once, and
  // waits until it is answered (kInstalled, kRefused) or stop() returns true
  // (kStopped), checking stop() at least every poll_ms milliseconds. The
  // prompt is withdrawn on every way out.
  Outcome Await(int job_id, const std::string& cartridge, const std::string& text,
                const std::function<bool()>& stop, const std::function<void()>& on_wait,
                int poll_ms = 1000);

  // Answers the prompt of job_id (0: whichever job waits). Returns false
  // when no such prompt is waiting.
  bool Answer(int job_id, bool installed);

  std::optional<Prompt> Waiting() const;
  std::string Installed() const;  // "" until the first cartridge is confirmed
  void SetInstalled(const std::string& cartridge);
  // Wakes a waiting job so that it checks stop() now.
  void Wake();

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::string installed_;
  std::optional<Prompt> waiting_;
  enum class Reply { kNone, kInstalled, kRefused } reply_ = Reply::kNone;
};

}  // namespace pc50::app
