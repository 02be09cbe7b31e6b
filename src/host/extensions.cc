// Exports beyond the host contract, for our own tools.
#include "pc50/pc50_ext.h"
#include "platform/diagnostics.h"
#include "platform/platform.h"

namespace {

struct Installed {
  pc50_PromptHandler handler;
  void* context;
};
Installed installed{nullptr, nullptr};

int Forward(void* context, const char* text, const char* caption, unsigned type, void* owner) {
  auto* target = static_cast<Installed*>(context);
  return target->handler(target->context, text, caption, type, static_cast<HWND>(owner));
}

}  // namespace

extern "C" {

PC50_API const char* pc50_LastFailure(void) { return pc50::LastFailure(); }

PC50_API void pc50_SetPromptHandler(pc50_PromptHandler handler, void* context) {
  if (handler == nullptr) {
    pc50::platform::SetPromptHandler(nullptr, nullptr);
    installed = Installed{nullptr, nullptr};
    return;
  }
  installed = Installed{handler, context};
  pc50::platform::SetPromptHandler(&Forward, &installed);
}
}
