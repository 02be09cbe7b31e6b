#include "atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <system_error>

#include "error.h"

namespace pc50::raster {
namespace {

std::string RandomSuffix() {
  static std::mt19937 generator{std::random_device{}()};
  static const char kDigits[] = "0123456789abcdef";
  std::string suffix;
  for (int i = 0; i < 8; ++i) suffix += kDigits[generator() % 16];
  return suffix;
}

}  // namespace

AtomicFile::AtomicFile(std::filesystem::path final_path) : final_path_(std::move(final_path)) {
  if (final_path_.filename().empty()) {
    throw Error(final_path_.string() + ": names a directory, not a file");
  }
  const std::filesystem::path dir = final_path_.parent_path();
  int last_error = 0;
  // A few tries in case another writer picked the same random name.
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::filesystem::path candidate =
        dir / ("." + final_path_.filename().string() + "." + RandomSuffix() + ".part");
    std::FILE* file = std::fopen(candidate.string().c_str(), "wbx");
    if (file != nullptr) {
      std::fclose(file);
      temp_path_ = std::move(candidate);
      open_ = true;
      return;
    }
    last_error = errno;
    if (last_error != EEXIST) break;
  }
  throw Error("cannot create " + final_path_.string() + ": " + std::strerror(last_error));
}

AtomicFile::~AtomicFile() { Discard(); }

void AtomicFile::Commit() {
  if (!open_) throw Error(final_path_.string() + ": output was already discarded");
  std::error_code error;
  std::filesystem::rename(temp_path_, final_path_, error);
  if (error) {
    Discard();
    throw Error("cannot rename the finished output to " + final_path_.string() + ": " +
                  error.message());
  }
  open_ = false;
}

void AtomicFile::Discard() {
  if (!open_) return;
  std::error_code ignored;
  std::filesystem::remove(temp_path_, ignored);
  open_ = false;
}

}  // namespace pc50::raster
