#include "spool/win_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/diagnostics.h"
#include "temp_dir.h"

namespace pc50 {
namespace {

using platform::INVALID_HANDLE_VALUE;
using testing::Exists;
using testing::GetBytes;
using testing::PutBytes;
using testing::SizeOf;
using testing::ThrownInt;

class WinFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    ClearFailure();
  }
  testing::TempDir dir_;
};

// Counts the calls that AWinFile makes through its own virtual table.
class CountingFile : public AWinFile {
 public:
  platform::BOOL Seek(platform::LONG low, platform::LONG high, int origin) override {
    ++seeks;
    return AWinFile::Seek(low, high, origin);
  }
  void Close() override {
    ++closes;
    AWinFile::Close();
  }
  int seeks = 0;
  int closes = 0;
};

TEST_F(WinFileTest, ReadOnlyOpenOfMissingFileFailsWithoutCreatingIt) {
  const std::string path = dir_ / "missing.bin";
  AWinFile file;
  EXPECT_EQ(file.Open(path.c_str(), 0), 0);
  EXPECT_FALSE(file.IsOpen());
  EXPECT_FALSE(Exists(path));
  EXPECT_NE(std::string(LastFailure()).find(path), std::string::npos) << LastFailure();
  EXPECT_EQ(ThrownInt([&] { AWinFile opened(path.c_str(), 0); }), 0);
  EXPECT_FALSE(Exists(path));
}

// A pipe or a device would make a read wait for ever: refused at once,
// with a reason. Nor does a pipe without a reader hold up a write open.
TEST_F(WinFileTest, NonRegularFilesAreRefusedWithoutWaiting) {
  const std::string fifo = dir_ / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const auto& [path, mode] : {std::pair<std::string, int>{fifo, 0}, {fifo, 1}, {"/dev/null", 0}}) {
    {
      SCOPED_TRACE(path + " in mode " + std::to_string(mode));
      ClearFailure();
      AWinFile file;
      EXPECT_FALSE(file.Open(path.c_str(), mode));
      EXPECT_FALSE(file.IsOpen());
      EXPECT_NE(std::string(LastFailure()).find("not a regular file"), std::string::npos) << LastFailure();
    }
  }
}

TEST_F(WinFileTest, WritableOpenCreatesAndKeepsExistingContents) {
  const std::string created = dir_ / "created.bin";
  AWinFile file(created.c_str(), 2);
  EXPECT_TRUE(file.IsOpen());
  EXPECT_EQ(SizeOf(created), 0);

  const std::string existing = dir_ / "existing.bin";
  PutBytes(existing, 0, "hello world");
  EXPECT_TRUE(file.Open(existing.c_str(), 1));
  EXPECT_EQ(file.Write("HE", 2, 0, 0, 0), 2);
  file.Close();
  EXPECT_EQ(GetBytes(existing, 0, 64), "HEllo world");
}

TEST_F(WinFileTest, ReadSeeksUnlessContinuingAtTheCurrentPosition) {
  const std::string path = dir_ / "data.bin";
  PutBytes(path, 0, "0123456789");
  CountingFile file;
  ASSERT_TRUE(file.Open(path.c_str(), 2));
  char buffer[4] = {};
  EXPECT_EQ(file.Read(buffer, 2, 0, 0, 1), 2);
  EXPECT_EQ(file.seeks, 0);
  EXPECT_EQ(std::string(buffer, 2), "01");
  EXPECT_EQ(file.Read(buffer, 2, 0, 0, 0), 2);
  EXPECT_EQ(file.seeks, 1);
  EXPECT_EQ(file.Read(buffer, 2, 3, 0, 1), 2);  // skips 3 from position 2
  EXPECT_EQ(file.seeks, 2);
  EXPECT_EQ(std::string(buffer, 2), "56");
  EXPECT_EQ(file.Write("ab", 2, 0, 0, 1), 2);
  EXPECT_EQ(file.seeks, 2);
  EXPECT_EQ(file.Write("XY", 2, -2, -1, 2), 2);
  EXPECT_EQ(file.seeks, 3);
  file.Close();
  EXPECT_EQ(GetBytes(path, 0, 64), "0123456aXY");
}

TEST_F(WinFileTest, FailedSeekTransfersNothing) {
  const std::string path = dir_ / "data.bin";
  PutBytes(path, 0, "0123456789");
  AWinFile file(path.c_str(), 2);
  ASSERT_TRUE(file.Seek(4, 0, 0));
  char buffer[4] = {};
  EXPECT_EQ(file.Seek(-1, -1, 0), 0);
  EXPECT_EQ(file.Read(buffer, 4, -1, -1, 0), 0);
  EXPECT_EQ(file.Read(buffer, 4, 0, 0, 7), 0);
  EXPECT_EQ(file.Write("zz", 2, -20, -1, 1), 0);
  EXPECT_EQ(file.GetPosition(), 4);
  file.Close();
  EXPECT_EQ(GetBytes(path, 0, 64), "0123456789");
}

TEST_F(WinFileTest, PositionsAreSixtyFourBitAndSetEndMovesTheEnd) {
  const std::string path = dir_ / "data.bin";
  AWinFile file(path.c_str(), 2);
  ASSERT_TRUE(file.Seek(1, 1, 0));
  EXPECT_EQ(file.GetPosition(), 0x100000001LL);
  ASSERT_TRUE(file.SetEnd());  // sparse: costs no disk
  EXPECT_EQ(SizeOf(path), 0x100000001LL);
  ASSERT_TRUE(file.Seek(3, 0, 0));
  ASSERT_TRUE(file.SetEnd());
  EXPECT_EQ(SizeOf(path), 3);
}

TEST_F(WinFileTest, ClosedObjectRefusesEverything) {
  const std::string path = dir_ / "data.bin";
  PutBytes(path, 0, "abc");
  AWinFile file(path.c_str(), 2);
  file.Close();
  char buffer[512] = {};
  EXPECT_EQ(file.GetHandle(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(file.GetPosition(), -1);
  EXPECT_EQ(file.Delete(), 0);
  EXPECT_TRUE(Exists(path));
  EXPECT_EQ(file.Seek(0, 0, 0), 0);
  EXPECT_EQ(file.Read(buffer, 3, 0, 0, 0), 0);
  EXPECT_EQ(file.Write("x", 1, 0, 0, 0), 0);
  EXPECT_EQ(file.SetEnd(), 0);
  EXPECT_EQ(file.GetFilePath(buffer), 0);
  EXPECT_EQ(file.GetFileName(buffer), 0);
  EXPECT_EQ(file.GetFileDirectory(buffer), 0);
  file.Close();  // closing twice is harmless
  EXPECT_EQ(GetBytes(path, 0, 64), "abc");
}

TEST_F(WinFileTest, DeleteClosesAndRemoves) {
  const std::string path = dir_ / "data.bin";
  CountingFile file;
  ASSERT_TRUE(file.Open(path.c_str(), 2));
  EXPECT_EQ(file.Delete(), 1);
  EXPECT_EQ(file.closes, 1);
  EXPECT_FALSE(file.IsOpen());
  EXPECT_FALSE(Exists(path));
}

TEST_F(WinFileTest, OpenClosesThePreviousFileEvenWhenTheNewOpenFails) {
  const std::string first = dir_ / "first.bin";
  CountingFile file;
  ASSERT_TRUE(file.Open(first.c_str(), 2));
  EXPECT_EQ(file.Open((dir_ / "missing.bin").c_str(), 0), 0);
  EXPECT_EQ(file.closes, 1);
  EXPECT_EQ(file.GetHandle(), INVALID_HANDLE_VALUE);
  // The handle is really gone: the file can be removed and the object holds
  // nothing that a later Close would release twice.
  EXPECT_EQ(::unlink(first.c_str()), 0);
  file.Close();
}

TEST_F(WinFileTest, PathsThatDoNotFitThePathFieldAreRefused) {
  const std::string fits = dir_.PathOfLength(AWinFile::kPathSize - 1);
  AWinFile file;
  ASSERT_TRUE(file.Open(fits.c_str(), 2)) << LastFailure();
  char out[AWinFile::kPathSize];
  ASSERT_TRUE(file.GetFilePath(out));
  EXPECT_EQ(std::string(out), fits);

  const std::string tooLong = dir_.PathOfLength(AWinFile::kPathSize);
  EXPECT_EQ(file.Open(tooLong.c_str(), 2), 0);
  EXPECT_FALSE(Exists(tooLong));
  EXPECT_NE(std::string(LastFailure()).find("longer"), std::string::npos) << LastFailure();
  EXPECT_EQ(ThrownInt([&] { AWinFile opened(tooLong.c_str(), 2); }), 0);
  EXPECT_EQ(file.Open(nullptr, 2), 0);
}

TEST_F(WinFileTest, NameAndDirectorySplitAtEitherSeparator) {
  // On POSIX a backslash is an ordinary character, so this file lies in the
  // scratch directory but its path carries both kinds of separator.
  const std::string path = dir_ / "sub\\name.txt";
  AWinFile file(path.c_str(), 2);
  char out[AWinFile::kPathSize];
  ASSERT_TRUE(file.GetFileName(out));
  EXPECT_STREQ(out, "name.txt");
  ASSERT_TRUE(file.GetFileDirectory(out));
  EXPECT_EQ(std::string(out), dir_ / "sub");

  const std::string plain = dir_ / "plain.txt";
  ASSERT_TRUE(file.Open(plain.c_str(), 2));
  ASSERT_TRUE(file.GetFileDirectory(out));
  EXPECT_EQ(std::string(out), dir_.path());
  ASSERT_TRUE(file.GetFileName(out));
  EXPECT_STREQ(out, "plain.txt");
}

TEST_F(WinFileTest, PathWithoutSeparatorHasEmptyDirectory) {
  char cwd[4096];
  ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(::chdir(dir_.path().c_str()), 0);
  AWinFile file;
  const bool opened = file.Open("relative.txt", 2);
  char directory[AWinFile::kPathSize] = "unchanged";
  char name[256] = {};
  const int directoryResult = file.GetFileDirectory(directory);
  const int nameResult = file.GetFileName(name);
  file.Close();
  ASSERT_EQ(::chdir(cwd), 0);
  ASSERT_TRUE(opened);
  EXPECT_EQ(directoryResult, 1);
  EXPECT_STREQ(directory, "");
  EXPECT_EQ(nameResult, 1);
  EXPECT_STREQ(name, "relative.txt");
}

}  // namespace
}  // namespace pc50
