// An output file that appears under its final name only when it is complete:
// it is written under a temporary name in the same directory and renamed on
// Commit. Until then nothing under the final name looks finished; a file
// that is never committed is removed.
#pragma once

#include <filesystem>

namespace pc50::raster {

class AtomicFile {
 public:
  // Creates an empty temporary file beside final_path. Throws Error when
  // it cannot be created (naming final_path and the system's reason).
  explicit AtomicFile(std::filesystem::path final_path);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  const std::filesystem::path& temp_path() const { return temp_path_; }
  const std::filesystem::path& final_path() const { return final_path_; }

  // Renames the temporary file to the final name, replacing what was there.
  // Throws Error when the rename fails (the temporary file is then removed).
  void Commit();

  // Removes the temporary file now; the final name is left alone.
  void Discard();

 private:
  std::filesystem::path final_path_;
  std::filesystem::path temp_path_;
  bool open_ = false;
};

}  // namespace pc50::raster
