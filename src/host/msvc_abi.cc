// The driver class as Microsoft-compiled hosts expect it, for the GNU build
// of the Windows module: slot 0 of the virtual table, the constructors the
// host imports by their decorated names (they return the object), and the
// class's virtual table under its own name. The module-definition file that
// the build generates (cmake/MsvcExports.cmake) exports these and the other
// members under the decorated names.
#include "pc50/pc50.h"

#if PC50_MSVC_TABLE_BY_HAND

// Slot 0, the class's first virtual function that is neither pure nor
// inline: GCC emits the virtual table in this translation unit.
void* ABasePrinterDriver::ScalarDeletingDestructor(unsigned flags) {
  this->~ABasePrinterDriver();
  if (flags & 1) ::operator delete(this);
  return this;
}

// The table as the host sees it starts past GCC's two header words (offset
// to top, type information): the operations from slot 0 on. The symbol is
// for the export only; code reaches the table through the constructors.
asm(".globl _pc50_msvc_vftable\n\t"
    ".set _pc50_msvc_vftable, __ZTV18ABasePrinterDriver+8\n");

namespace pc50 {
// GCC's base-object constructors of the class: thiscall, no result.
__thiscall void GccDefaultConstructor(ABasePrinterDriver* self) asm("__ZN18ABasePrinterDriverC2Ev");
__thiscall void GccCopyConstructor(ABasePrinterDriver* self, const ABasePrinterDriver* other)
    asm("__ZN18ABasePrinterDriverC2ERKS_");
}  // namespace pc50

// The constructors a Microsoft-compiled host imports return the object.
extern "C" {

__thiscall ABasePrinterDriver* pc50_msvc_DefaultConstructor(ABasePrinterDriver* self) {
  pc50::GccDefaultConstructor(self);
  return self;
}

__thiscall ABasePrinterDriver* pc50_msvc_CopyConstructor(ABasePrinterDriver* self, const ABasePrinterDriver* other) {
  pc50::GccCopyConstructor(self, other);
  return self;
}

}  // extern "C"

#endif  // PC50_MSVC_TABLE_BY_HAND
