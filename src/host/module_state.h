// The module's load and unload, and the guard every exported function holds.
//
// The host's framework of old kept a per-module state (resource handle,
// current module) that each export had to switch to and back. This module
// has no such framework: its only module state is the instance handle that
// owns the string table and the dialog template, recorded once at load
// (AttachModule) and read directly by resource loading. So the guard has
// nothing to switch; it stays at every export to mark the boundary and to
// keep a place for state that must be current during a call.
#pragma once

namespace pc50 {

class ModuleStateGuard {
 public:
  ModuleStateGuard();
  ~ModuleStateGuard();
  ModuleStateGuard(const ModuleStateGuard&) = delete;
  ModuleStateGuard& operator=(const ModuleStateGuard&) = delete;
};

// The module is being loaded: records its instance handle (the Windows
// HINSTANCE) and allocates the module object's two thread-local slots.
// Returns false when the slots cannot be had; the module must then refuse to
// load. Called by the Windows entry point; elsewhere the module object's
// static construction does the allocation.
bool AttachModule(void* instance) noexcept;

// The module is being unloaded: frees the thread-local slots. Objects still
// held by threads' slots are not destroyed.
void DetachModule() noexcept;

}  // namespace pc50
