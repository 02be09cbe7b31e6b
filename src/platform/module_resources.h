// The module's own resources: the instance handle of the module that holds
// the string table and the dialog template, and string loading from it.
// Only Windows modules carry resources; elsewhere the string table keeps its
// own copy (resources/string_table.cc) and there is no dialog template.
#pragma once

namespace pc50::platform {

// The module's instance handle (an HINSTANCE on Windows). The module's entry
// point records it at load; until then the module that contains this code is
// looked up. Null on POSIX.
void* ModuleInstance();
void SetModuleInstance(void* instance);

// LoadStringA on the module's own instance: copies string-table entry id
// into buffer, at most bufferMax bytes including the terminating NUL (a
// longer entry is cut short). Returns the number of characters copied; 0
// when the entry does not exist or there is no room. Always 0 on POSIX.
int LoadStringA(unsigned id, char* buffer, int bufferMax);

}  // namespace pc50::platform
