// Paths of files that lie beside another file (the raster files of a job lie
// in the directory of its spool file).
#pragma once

#include <cstddef>

namespace pc50 {

// Writes into out the directory part of basePath (up to and including its
// last '\\' or '/') followed by the file-name part of name (after its last
// '\\' or '/'). A base path without a separator gives just the file name.
// Returns false, with a reason and out emptied (when it has room for that),
// when an argument is missing, name has no file-name part, or the result and
// its terminating zero do not fit in outCapacity bytes.
bool MakeSiblingPath(const char* basePath, const char* name, char* out, std::size_t outCapacity);

}  // namespace pc50
