#include "host/module_state.h"

namespace pc50 {

ModuleStateGuard::ModuleStateGuard() : saved_(nullptr) {}
ModuleStateGuard::~ModuleStateGuard() = default;

}  // namespace pc50
