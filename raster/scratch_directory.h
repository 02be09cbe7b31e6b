// A private directory under the system's temporary directory, removed with
// everything in it when the object goes.
#pragma once

#include <filesystem>

namespace pc50::raster {

class ScratchDirectory {
 public:
  // Throws Error when no directory can be made.
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace pc50::raster
