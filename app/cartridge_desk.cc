#include "cartridge_desk.h"

#include <chrono>

namespace pc50::app {

CartridgeDesk::Outcome CartridgeDesk::Await(int job_id, const std::string& cartridge,
                                            const std::string& text,
                                            const std::function<bool()>& stop,
                                            const std::function<void()>& on_wait, int poll_ms) {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    if (!installed_.empty() && installed_ == cartridge) return Outcome::kInstalled;
    waiting_ = Prompt{job_id, cartridge, text};
    reply_ = Reply::kNone;
  }
  if (on_wait) on_wait();
  std::unique_lock<std::mutex> hold(mutex_);
  for (;;) {
    if (reply_ != Reply::kNone) {
      const bool installed = reply_ == Reply::kInstalled;
      if (installed) installed_ = cartridge;
      waiting_.reset();
      reply_ = Reply::kNone;
      return installed ? Outcome::kInstalled : Outcome::kRefused;
    }
    hold.unlock();
    const bool stopping = stop();
    hold.lock();
    if (stopping && reply_ == Reply::kNone) {
      waiting_.reset();
      return Outcome::kStopped;
    }
    if (reply_ == Reply::kNone) changed_.wait_for(hold, std::chrono::milliseconds(poll_ms));
  }
}

bool CartridgeDesk::Answer(int job_id, bool installed) {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    if (!waiting_ || (job_id != 0 && waiting_->job_id != job_id) || reply_ != Reply::kNone) return false;
    reply_ = installed ? Reply::kInstalled : Reply::kRefused;
  }
  changed_.notify_all();
  return true;
}

std::optional<CartridgeDesk::Prompt> CartridgeDesk::Waiting() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return waiting_;
}

std::string CartridgeDesk::Installed() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return installed_;
}

void CartridgeDesk::SetInstalled(const std::string& cartridge) {
  std::lock_guard<std::mutex> hold(mutex_);
  installed_ = cartridge;
}

void CartridgeDesk::Wake() { changed_.notify_all(); }

}  // namespace pc50::app
