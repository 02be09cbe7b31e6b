// Exports beyond the host contract, for our own tools.
#include <mutex>

#include "pc50/pc50_ext.h"
#include "platform/diagnostics.h"
#include "platform/platform.h"

namespace {

struct Installed {
  pc50_PromptHandler handler;
  void* context;
};
// Prompts may come from any thread while a tool installs or removes the
// handler: both fields are read and written as one, under the lock.
std::mutex installedLock;
Installed installed{nullptr, nullptr};

int Forward(void*, const char* text, const char* caption, unsigned type, void* owner) {
  Installed current;
  {
    std::lock_guard<std::mutex> hold(installedLock);
    current = installed;
  }
  // Removed after this prompt began: answer as without a handler.
  if (current.handler == nullptr) return pc50::platform::IDOK;
  return current.handler(current.context, text, caption, type, static_cast<HWND>(owner));
}

}  // namespace

extern "C" {

PC50_API const char* pc50_LastFailure(void) { return pc50::LastFailure(); }

PC50_API void pc50_SetPromptHandler(pc50_PromptHandler handler, void* context) {
  // Registered under the lock too, so that the last caller's handler is the
  // one both layers hold.
  std::lock_guard<std::mutex> hold(installedLock);
  installed = Installed{handler, context};
  pc50::platform::SetPromptHandler(handler != nullptr ? &Forward : nullptr, nullptr);
}
}
