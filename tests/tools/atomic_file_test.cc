#include "atomic_file.h"

#include <gtest/gtest.h>

#include <fstream>

#include "cli_test_support.h"
#include "errors.h"

namespace pc50::cli {
namespace {

using testing::Exists;
using testing::TempDir;

TEST(AtomicFile, FinalNameAppearsOnlyOnCommit) {
  TempDir dir;
  {
    AtomicFile file(dir / "out.prn");
    EXPECT_EQ(file.temp_path().parent_path().string(), dir.path());
    std::ofstream(file.temp_path()) << "stream";
    EXPECT_FALSE(Exists(dir / "out.prn"));
    file.Commit();
  }
  EXPECT_EQ(testing::ReadFile(dir / "out.prn"), "stream");
  EXPECT_EQ(dir.Listing().size(), 1u);
}

TEST(AtomicFile, UncommittedFileIsRemovedAndTheOldOneKept) {
  TempDir dir;
  pc50::testing::PutBytes(dir / "out.prn", 0, "old");
  {
    AtomicFile file(dir / "out.prn");
    std::ofstream(file.temp_path()) << "half";
  }
  EXPECT_EQ(testing::ReadFile(dir / "out.prn"), "old");
  EXPECT_EQ(dir.Listing().size(), 1u);
}

TEST(AtomicFile, MissingDirectoryFailsNamingTheFile) {
  TempDir dir;
  try {
    AtomicFile file(dir / "no/such/out.prn");
    FAIL() << "created";
  } catch (const Failure& failure) {
    EXPECT_NE(std::string(failure.what()).find("cannot create " + (dir / "no/such/out.prn")),
              std::string::npos);
  }
}

}  // namespace
}  // namespace pc50::cli
