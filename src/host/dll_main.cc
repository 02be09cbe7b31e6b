// The Windows entry point of the module: plays the part of the module
// object's start-up and shut-down.
#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "host/module_state.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      return pc50::AttachModule(instance) ? TRUE : FALSE;
    case DLL_PROCESS_DETACH:
      pc50::DetachModule();
      return TRUE;
    default:
      return TRUE;
  }
}

#endif  // _WIN32
