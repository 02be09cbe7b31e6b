#include "scratch_directory.h"

#include <random>
#include <string>
#include <system_error>

#include "error.h"

namespace pc50::raster {

ScratchDirectory::ScratchDirectory() {
  std::error_code error;
  const std::filesystem::path base = std::filesystem::temp_directory_path(error);
  if (error) throw Error("no temporary directory: " + error.message());
  std::mt19937 generator{std::random_device{}()};
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::filesystem::path candidate = base / ("pc50-" + std::to_string(generator()));
    if (std::filesystem::create_directory(candidate, error)) {
      path_ = std::move(candidate);
      return;
    }
    if (error) break;
  }
  throw Error("cannot create a directory in " + base.string() +
                (error ? ": " + error.message() : std::string()));
}

ScratchDirectory::~ScratchDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace pc50::raster
