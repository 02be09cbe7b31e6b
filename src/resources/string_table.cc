#include "resources/string_table.h"

#include <cstring>
#include <vector>

#include "platform/diagnostics.h"
#include "platform/module_resources.h"

namespace pc50 {
namespace {

struct StringEntry {
  int id;
  const char* text;
};

constexpr StringEntry kStrings[] = {
#define PC50_STRING(id, text) {id, text},
#include "resources/strings.def"
#undef PC50_STRING
};

const char* FindString(int id) {
  for (const StringEntry& entry : kStrings) {
    if (entry.id == id) return entry.text;
  }
  return nullptr;
}

}  // namespace

#if defined(_WIN32)

// Windows modules carry the table as resources (generated from the same
// strings.def), loaded from the module's own instance.
int LoadResourceString(int id, char* out, int maxBytes) {
  if (FindString(id) == nullptr) return Fail("string table has no entry %d", id);
  if (out == nullptr || maxBytes <= 0) return Fail("no room to load string %d", id);
  if (maxBytes == 1) {
    out[0] = '\0';
    return Fail("no room to load string %d", id);
  }
  std::vector<char> loaded(static_cast<std::size_t>(maxBytes), '\0');
  const int length = platform::LoadStringA(static_cast<unsigned>(id), loaded.data(), maxBytes);
  if (length <= 0) return Fail("string %d could not be loaded from the module's resources", id);
  std::memcpy(out, loaded.data(), static_cast<std::size_t>(length) + 1);
  return length;
}

#else

int LoadResourceString(int id, char* out, int maxBytes) {
  const char* text = FindString(id);
  if (text == nullptr) return Fail("string table has no entry %d", id);
  if (out == nullptr || maxBytes <= 0) return Fail("no room to load string %d", id);
  std::size_t length = std::strlen(text);
  const std::size_t room = static_cast<std::size_t>(maxBytes) - 1;
  if (length > room) length = room;
  std::memcpy(out, text, length);
  out[length] = '\0';
  if (length == 0) return Fail("no room to load string %d", id);
  return static_cast<int>(length);
}

#endif  // _WIN32

int GetListItem(int index, const char* list, char* out, std::size_t capacity) {
  if (out == nullptr || capacity == 0) return Fail("no room for list item %d", index);
  out[0] = '\0';
  if (list == nullptr || index < 0) return 0;
  const char* item = list;
  for (int i = 0; i < index; ++i) {
    const char* comma = std::strchr(item, ',');
    if (comma == nullptr) return 0;
    item = comma + 1;
  }
  const char* end = std::strchr(item, ',');
  const std::size_t length = end ? static_cast<std::size_t>(end - item) : std::strlen(item);
  if (length == 0) return 0;
  if (length >= capacity) {
    return Fail("list item %d is %zu characters, more than the %zu-byte buffer holds", index, length,
                capacity);
  }
  std::memcpy(out, item, length);
  out[length] = '\0';
  return static_cast<int>(length) + 1;
}

}  // namespace pc50
