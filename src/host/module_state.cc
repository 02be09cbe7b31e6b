#include "host/module_state.h"

#include "host/driver_app.h"
#include "platform/module_resources.h"

namespace pc50 {

// Nothing to switch: see the header.
ModuleStateGuard::ModuleStateGuard() {}
ModuleStateGuard::~ModuleStateGuard() {}

bool AttachModule(void* instance) noexcept {
  platform::SetModuleInstance(instance);
  // The module object may have allocated its slots while it was constructed;
  // InitInstance then only confirms them.
  return TheDriverApp().InitInstance();
}

void DetachModule() noexcept { TheDriverApp().ExitInstance(); }

}  // namespace pc50
