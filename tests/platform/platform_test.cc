#include "platform/platform.h"

#include "platform/memory_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace pc50::platform {
namespace {

std::string TempPath(const char* name) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir ? dir : "/tmp") + "/pc50_platform_" + name + std::to_string(::testing::UnitTest::GetInstance()->random_seed());
}

// The file calls, on the disk and on the in-memory files tests use instead.
class PlatformFiles : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { memory_files::Use(GetParam()); }
  void TearDown() override {
    memory_files::Use(false);
    memory_files::Clear();
  }
};

INSTANTIATE_TEST_SUITE_P(DiskAndMemory, PlatformFiles, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Memory" : "Disk"; });

TEST_P(PlatformFiles, CreateReadWriteSeekRoundTrip) {
  const std::string path = TempPath("rw");
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD n = 0;
  EXPECT_TRUE(WriteFile(h, "abcdef", 6, &n, nullptr));
  EXPECT_EQ(n, 6u);
  LONG high = 0;
  EXPECT_EQ(SetFilePointer(h, 2, &high, FILE_BEGIN), 2u);
  char buf[8] = {};
  EXPECT_TRUE(ReadFile(h, buf, 8, &n, nullptr));
  EXPECT_EQ(n, 4u);
  EXPECT_STREQ(buf, "cdef");
  high = 0;
  EXPECT_EQ(SetFilePointer(h, 3, &high, FILE_BEGIN), 3u);
  EXPECT_TRUE(SetEndOfFile(h));
  high = 0;
  EXPECT_EQ(SetFilePointer(h, 0, &high, FILE_END), 3u);
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ(_access(path.c_str(), 0), 0);
  EXPECT_TRUE(DeleteFileA(path.c_str()));
  EXPECT_EQ(_access(path.c_str(), 0), -1);
}

TEST_P(PlatformFiles, SeekBeforeStartFailsWithError) {
  const std::string path = TempPath("neg");
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  LONG high = -1;
  EXPECT_EQ(SetFilePointer(h, -5, &high, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_NE(GetLastError(), 0u);
  // A 64-bit position past 4 GiB comes back as high:low.
  high = 1;
  EXPECT_EQ(SetFilePointer(h, 7, &high, FILE_BEGIN), 7u);
  EXPECT_EQ(high, 1);
  CloseHandle(h);
  DeleteFileA(path.c_str());
}

TEST_P(PlatformFiles, OpenExistingDoesNotCreate) {
  const std::string path = TempPath("missing");
  EXPECT_EQ(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(_access(path.c_str(), 0), -1);
}

// What the tests that use memory files rely on beyond the calls above.
TEST_P(PlatformFiles, SparseEndsWriteLimitAndDeleteWhileOpen) {
  const std::string path = TempPath("sparse");
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  LONG high = 0;
  const DWORD far = 3u << 30;  // 3 GiB: costs nothing in a sparse file
  EXPECT_EQ(SetFilePointer(h, static_cast<LONG>(far), &high, FILE_BEGIN), far);
  EXPECT_TRUE(SetEndOfFile(h));
  DWORD n = 0;
  SetWriteLimitForTesting(2);
  EXPECT_FALSE(WriteFile(h, "xyz", 3, &n, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
  EXPECT_EQ(n, 2u);
  SetWriteLimitForTesting(-1);
  high = 0;
  EXPECT_EQ(SetFilePointer(h, static_cast<LONG>(far - 2), &high, FILE_BEGIN), far - 2);
  char buf[8] = {'-', '-', '-', '-', '-', '-', '-', '-'};
  EXPECT_TRUE(ReadFile(h, buf, 8, &n, nullptr));
  EXPECT_EQ(std::string(buf, n), std::string("\0\0xy", 4));
  EXPECT_TRUE(DeleteFileA(path.c_str()));
  EXPECT_EQ(_access(path.c_str(), 0), -1);
  high = 0;
  EXPECT_EQ(SetFilePointer(h, 0, &high, FILE_END), far + 2);  // still open: the bytes stay
  EXPECT_TRUE(CloseHandle(h));
}

TEST(Platform, InvalidHandlesAreRefused) {
  DWORD n = 5;
  EXPECT_FALSE(ReadFile(INVALID_HANDLE_VALUE, &n, 1, &n, nullptr));
  EXPECT_EQ(n, 0u);
  EXPECT_FALSE(WriteFile(nullptr, "x", 1, &n, nullptr));
  EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(Platform, ThreadLocalSlotsStartEmptyAndHoldValues) {
  DWORD index = TlsAlloc();
  ASSERT_NE(index, TLS_OUT_OF_INDEXES);
  EXPECT_EQ(TlsGetValue(index), nullptr);
  int value = 0;
  EXPECT_TRUE(TlsSetValue(index, &value));
  EXPECT_EQ(TlsGetValue(index), &value);
  EXPECT_TRUE(TlsFree(index));
}

DWORD FakeTicks() { return 0xFFFFFFF0u; }

TEST(Platform, TickSourceCanBeReplaced) {
  SetTickSourceForTesting(&FakeTicks);
  EXPECT_EQ(GetTickCount(), 0xFFFFFFF0u);
  SetTickSourceForTesting(nullptr);
  EXPECT_NE(GetTickCount(), 0xFFFFFFF0u);
}

}  // namespace
}  // namespace pc50::platform
