#include "device/message_box.h"

#include <cstdint>

#include "platform/platform.h"

namespace pc50 {

int ShowMessage(const char* text, unsigned buttons, std::int32_t ownerWindow, const char* caption) {
  // The job record keeps the window as a 32-bit value; widen it the way
  // Windows widens a 32-bit handle (with sign extension).
  void* owner = reinterpret_cast<void*>(static_cast<std::intptr_t>(ownerWindow));
  return platform::MessageBoxA(owner, text, caption, buttons | platform::MB_SETFOREGROUND);
}

}  // namespace pc50
