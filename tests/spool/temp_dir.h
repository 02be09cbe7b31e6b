// A scratch directory for file tests, removed with everything in it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pc50::testing {

class TempDir {
 public:
  TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/pc50_spool_XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  bool ok() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  // Every file in the directory tree (relative name -> size).
  std::map<std::string, std::uintmax_t> Listing() const {
    std::map<std::string, std::uintmax_t> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path_)) {
      const std::string name = entry.path().string().substr(path_.size() + 1);
      files[name] = entry.is_regular_file() ? entry.file_size() : UINTMAX_MAX;
    }
    return files;
  }

  // A path of exactly length characters inside the directory, its parent
  // directories created (no component is longer than the system allows).
  std::string PathOfLength(std::size_t length) const {
    std::string dir = path_;
    while (length - dir.size() > 201) {
      dir += "/" + std::string(199, 'd');
      std::filesystem::create_directory(dir);
    }
    return dir + "/" + std::string(length - dir.size() - 1, 'f');
  }

 private:
  std::string path_;
};

// File helpers working on the disk directly, bypassing the code under test.
inline bool Exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

inline std::int64_t SizeOf(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? static_cast<std::int64_t>(st.st_size) : -1;
}

// Creates (or resizes) path as a sparse file of size bytes.
inline void MakeSparse(const std::string& path, std::int64_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(fd, 0) << path;
  ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0) << path;
  ::close(fd);
}

inline void PutBytes(const std::string& path, std::int64_t offset, const std::string& bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(fd, 0) << path;
  ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)),
            static_cast<ssize_t>(bytes.size()));
  ::close(fd);
}

inline std::string GetBytes(const std::string& path, std::int64_t offset, std::size_t count) {
  std::string bytes(count, '\0');
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return "<missing>";
  const ssize_t n = ::pread(fd, bytes.data(), count, static_cast<off_t>(offset));
  ::close(fd);
  bytes.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
  return bytes;
}

// The value thrown by call, or -1 when it throws nothing (another type
// escapes and fails the test).
template <typename Call>
int ThrownInt(Call call) {
  try {
    call();
  } catch (int value) {
    return value;
  }
  return -1;
}

}  // namespace pc50::testing
