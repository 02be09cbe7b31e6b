// POSIX modules have no resource section and no instance handle.
#ifndef _WIN32

#include "platform/module_resources.h"

namespace pc50::platform {

void* ModuleInstance() { return nullptr; }
void SetModuleInstance(void*) {}
int LoadStringA(unsigned, char*, int) { return 0; }

}  // namespace pc50::platform

#endif  // !_WIN32
