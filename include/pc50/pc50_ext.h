// Extensions of this module beyond the host contract: the reason of the last
// failure and the cartridge-prompt hook. Our own tools use them; a host that
// knows only pc50.h never needs them.
#pragma once

#include "pc50/pc50.h"

extern "C" {

// The human-readable reason of the last failed operation on the calling
// thread ("" when the last operation succeeded or gave no reason).
PC50_API const char* pc50_LastFailure(void);

// Answers a message box: returns IDOK (1) or IDCANCEL (2). buttons is the
// Win32 button code (1 = OK and Cancel).
typedef int (*pc50_PromptHandler)(void* context, const char* text, const char* caption,
                                  unsigned buttons, HWND owner);

// Installs the process-wide handler for message boxes on platforms without a
// window system; null removes it. Without a handler every prompt answers OK,
// so a library caller never blocks.
PC50_API void pc50_SetPromptHandler(pc50_PromptHandler handler, void* context);
}
