// Makes the module's own resource context current for the life of an
// exported call and restores the caller's on every way out. Only Windows has
// such a context (the module instance that owns the string table and the
// dialog); elsewhere the guard does nothing.
#pragma once

namespace pc50 {

class ModuleStateGuard {
 public:
  ModuleStateGuard();
  ~ModuleStateGuard();
  ModuleStateGuard(const ModuleStateGuard&) = delete;
  ModuleStateGuard& operator=(const ModuleStateGuard&) = delete;

 private:
  void* saved_;
};

}  // namespace pc50
