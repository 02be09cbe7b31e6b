#include "spool/sibling_path.h"

#include <cstring>

#include "platform/diagnostics.h"

namespace pc50 {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Length of the directory part of path, its last separator included.
std::size_t DirectoryLength(const char* path) {
  std::size_t length = 0;
  for (std::size_t k = 0; path[k] != '\0'; ++k) {
    if (IsSeparator(path[k])) length = k + 1;
  }
  return length;
}

}  // namespace

bool MakeSiblingPath(const char* basePath, const char* name, char* out, std::size_t outCapacity) {
  if (out != nullptr && outCapacity > 0) out[0] = '\0';
  if (basePath == nullptr || name == nullptr || out == nullptr) {
    Fail("sibling path: missing base path, name or output buffer");
    return false;
  }
  const std::size_t directory = DirectoryLength(basePath);
  const char* fileName = name + DirectoryLength(name);
  const std::size_t fileLength = std::strlen(fileName);
  if (fileLength == 0) {
    Fail("raster file entry \"%s\" names no file", name);
    return false;
  }
  if (directory + fileLength >= outCapacity) {
    Fail("path of raster file \"%s\" beside \"%s\" needs %zu bytes, room for %zu", fileName,
         basePath, directory + fileLength + 1, outCapacity);
    return false;
  }
  std::memcpy(out, basePath, directory);
  std::memcpy(out + directory, fileName, fileLength + 1);
  return true;
}

}  // namespace pc50
