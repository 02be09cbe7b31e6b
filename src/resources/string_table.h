// The module's string table (texts shown to the user) and the routine that
// picks one item out of a comma-terminated list such as entry 8002.
#pragma once

#include <cstddef>

namespace pc50 {

// Entry numbers of the string table.
constexpr int kStringColourModels = 8002;     // "CMYK,CMY,Grayscale,"
constexpr int kStringColourNames = 8003;      // display names by colour-table index
constexpr int kStringCartridgePrompt = 9001;  // "Please install %s cartridge to the printer"
constexpr int kStringCartridgeCaption = 9002; // "Change Cartridge"

// The size of the buffers the module loads entries into.
constexpr int kResourceStringSize = 256;

// Copies entry id into out, at most maxBytes bytes including the terminating
// NUL (a longer entry is cut short). Returns the number of characters copied,
// nonzero when the entry exists and maxBytes leaves room for text. A missing
// entry leaves out untouched and returns 0.
int LoadResourceString(int id, char* out, int maxBytes);

// list is a comma-terminated list ("a,b,c,"). Copies item index (0-based)
// into out, which holds capacity bytes, and returns its length plus 1.
// Returns 0 with out empty when the item does not exist, is empty, or does
// not fit in capacity (a reason is recorded for the last).
int GetListItem(int index, const char* list, char* out, std::size_t capacity);

}  // namespace pc50
