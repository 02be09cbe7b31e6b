#include "spool/spool_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include <unistd.h>

#include "platform/diagnostics.h"
#include "temp_dir.h"

namespace pc50 {
namespace {

using testing::Exists;
using testing::GetBytes;
using testing::MakeSparse;
using testing::PutBytes;
using testing::SizeOf;
using testing::ThrownInt;

constexpr std::int64_t S = ASpoolFile::kChunkSize;

class SpoolFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.ok());
    ClearFailure();
  }
  std::string Chunk(int k) const {
    if (k == 0) return base_;
    char suffix[8];
    std::snprintf(suffix, sizeof suffix, "_%02x", k);
    return base_ + suffix;
  }
  void Clear() {
    std::filesystem::remove_all(dir_.path());
    std::filesystem::create_directory(dir_.path());
  }
  // The logical end as the store sees it.
  static std::int64_t End(ASpoolFile& store) {
    EXPECT_TRUE(store.Seek(0, 0, 2));
    return store.GetPosition();
  }
  static std::string ReadAt(ASpoolFile& store, std::int64_t position, std::size_t count) {
    std::string bytes(count, '\0');
    const int n = store.ReadAt(bytes.data(), static_cast<platform::DWORD>(count), position);
    bytes.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
    return bytes;
  }

  testing::TempDir dir_;
  std::string base_ = dir_ / "job.spl";
};

TEST_F(SpoolFileTest, AdoptsTheChainAndReadsAcrossChunkBoundaries) {
  MakeSparse(Chunk(0), S);
  PutBytes(Chunk(0), S - 3, "abc");
  MakeSparse(Chunk(1), S);
  PutBytes(Chunk(1), 0, "def");
  PutBytes(Chunk(1), S - 1, "g");
  PutBytes(Chunk(2), 0, "0123456789");
  const auto before = dir_.Listing();
  for (int mode : {0, 2}) {
    SCOPED_TRACE(mode);
    ASpoolFile store(base_.c_str(), mode);
    EXPECT_EQ(End(store), 2 * S + 10);
    EXPECT_EQ(ReadAt(store, S - 3, 6), "abcdef");
    EXPECT_EQ(ReadAt(store, 2 * S - 1, 4), "g012");
    EXPECT_EQ(store.GetPosition(), 2 * S + 3);
    char rest[16];
    EXPECT_EQ(store.Read(rest, sizeof rest, 0, 0, 1), 7);
    store.Close();
    EXPECT_EQ(dir_.Listing(), before);
  }
}

TEST_F(SpoolFileTest, BoundaryPositionsMapToTheRightChunkOffsets) {
  MakeSparse(Chunk(0), S);
  PutBytes(Chunk(0), S - 1, "x");
  MakeSparse(Chunk(1), S);
  PutBytes(Chunk(1), 0, "a");
  PutBytes(Chunk(1), S - 1, "b");
  PutBytes(Chunk(2), 0, "c");
  ASpoolFile store(base_.c_str(), 0);
  EXPECT_EQ(ReadAt(store, 2097152000LL, 1), "a");
  EXPECT_EQ(ReadAt(store, 4194303999LL, 1), "b");
  EXPECT_EQ(store.GetPosition(), 4194304000LL);
  EXPECT_EQ(ReadAt(store, 4194304000LL, 1), "c");
  EXPECT_EQ(ReadAt(store, S - 1, 2), "xa");
}

TEST_F(SpoolFileTest, StrayChunksAreRemovedOnlyByWritableOpens) {
  struct Case {
    const char* what;
    std::int64_t chunk0;
    std::int64_t sizes[4];  // chunks 1..3 and 255, -1 for missing
    std::int64_t end;
    int firstStray;
  };
  const Case cases[] = {
      {"gap before _03", S, {5, -1, 5, -1}, S + 5, 3},
      {"short chunk 0", 100, {5, -1, -1, 5}, 100, 1},
      {"empty _01", S, {0, 5, -1, -1}, S, 1},
      {"oversize _01", S, {S + 1, 5, -1, -1}, S, 1},
  };
  const int indexes[] = {1, 2, 3, 255};
  for (const Case& c : cases) {
    for (int mode : {0, 2}) {
      SCOPED_TRACE(std::string(c.what) + " in mode " + std::to_string(mode));
      Clear();
      MakeSparse(Chunk(0), c.chunk0);
      for (int i = 0; i < 4; ++i) {
        if (c.sizes[i] >= 0) MakeSparse(Chunk(indexes[i]), c.sizes[i]);
      }
      const auto before = dir_.Listing();
      ASpoolFile store(base_.c_str(), mode);
      EXPECT_EQ(End(store), c.end);
      store.Close();
      if (mode == 0) {
        EXPECT_EQ(dir_.Listing(), before);
        continue;
      }
      for (int i = 0; i < 4; ++i) {
        const bool kept = c.sizes[i] >= 0 && indexes[i] < c.firstStray;
        EXPECT_EQ(Exists(Chunk(indexes[i])), kept) << indexes[i];
      }
    }
  }
}

TEST_F(SpoolFileTest, ReadOnlyStoreNeverChangesTheDisk) {
  EXPECT_EQ(ThrownInt([&] { ASpoolFile store(base_.c_str(), 0); }), 0);
  EXPECT_FALSE(Exists(base_));
  EXPECT_NE(std::string(LastFailure()).find("cannot open spool file '" + base_), std::string::npos)
      << LastFailure();

  MakeSparse(Chunk(0), S);
  PutBytes(Chunk(0), S - 2, "xy");
  PutBytes(Chunk(1), 0, "z");
  MakeSparse(Chunk(3), 5);  // a stray after the gap at _02
  const auto before = dir_.Listing();
  ASpoolFile store(base_.c_str(), 0);
  EXPECT_TRUE(store.SeekTo(3 * S));
  EXPECT_EQ(store.GetPosition(), 3 * S);
  EXPECT_EQ(ReadAt(store, S - 2, 10), "xyz");
  EXPECT_EQ(ReadAt(store, 2 * S, 10), "");
  EXPECT_EQ(store.Write("w", 1, 0, 0, 0), 0);
  EXPECT_EQ(store.GetPosition(), 2 * S);
  ASSERT_TRUE(store.SeekTo(1));
  EXPECT_EQ(store.SetEnd(), 0);
  // Even a chunk that another writer emptied meanwhile stays.
  ASSERT_EQ(::truncate(Chunk(1).c_str(), 0), 0);
  store.Close();
  auto after = dir_.Listing();
  after["job.spl_01"] = 1;
  EXPECT_EQ(after, before);
}

TEST_F(SpoolFileTest, SeekPastTheEndGrowsTheChainAndCloseDropsTheEmptyChunk) {
  ASpoolFile store(base_.c_str(), 2);
  ASSERT_TRUE(Exists(base_));
  EXPECT_TRUE(store.SeekTo(2 * S + 5));
  EXPECT_EQ(SizeOf(Chunk(0)), S);
  EXPECT_EQ(SizeOf(Chunk(1)), S);
  EXPECT_EQ(SizeOf(Chunk(2)), 0);
  EXPECT_EQ(End(store), 2 * S);
  store.Close();
  EXPECT_FALSE(Exists(Chunk(2)));
  EXPECT_EQ(SizeOf(Chunk(1)), S);

  // A read past the end of a full last chunk opens the next chunk, finds
  // nothing there, and leaves no file behind.
  ASSERT_TRUE(store.Open(base_.c_str(), 2));
  PutBytes(Chunk(1), S - 2, "pq");
  EXPECT_EQ(ReadAt(store, 2 * S - 2, 10), "pq");
  EXPECT_TRUE(Exists(Chunk(2)));
  store.Close();
  EXPECT_FALSE(Exists(Chunk(2)));
}

TEST_F(SpoolFileTest, CloseKeepsAnEmptyChunkZero) {
  ASpoolFile store(base_.c_str(), 2);
  store.Close();
  EXPECT_EQ(SizeOf(base_), 0);
  EXPECT_EQ(store.GetPosition(), 0);
}

TEST_F(SpoolFileTest, WriteAcrossABoundaryFillsTheChunkAndContinuesInTheNext) {
  ASpoolFile store(base_.c_str(), 1);
  EXPECT_EQ(store.Write("WXYZ", 4, static_cast<platform::LONG>(S - 2), 0, 0), 4);
  EXPECT_EQ(store.GetPosition(), S + 2);
  EXPECT_EQ(store.Write("!", 1, 0, 0, 1), 1);
  store.Close();
  EXPECT_EQ(SizeOf(Chunk(0)), S);
  EXPECT_EQ(GetBytes(Chunk(1), 0, 16), "YZ!");

  ASSERT_TRUE(store.Open(base_.c_str(), 0));
  EXPECT_EQ(End(store), S + 3);
  EXPECT_EQ(ReadAt(store, S - 2, 16), "WXYZ!");
}

TEST_F(SpoolFileTest, SetEndInsideChunkTwoCutsItAndRemovesTheRest) {
  for (int k = 0; k < 3; ++k) MakeSparse(Chunk(k), S);
  MakeSparse(Chunk(3), 10);
  MakeSparse(Chunk(4), 10);
  ASpoolFile store(base_.c_str(), 2);
  ASSERT_TRUE(store.SeekTo(2 * S + 100));
  EXPECT_TRUE(store.SetEnd());
  EXPECT_FALSE(Exists(Chunk(3)));
  EXPECT_FALSE(Exists(Chunk(4)));
  EXPECT_EQ(SizeOf(Chunk(2)), 100);
  EXPECT_EQ(SizeOf(Chunk(1)), S);
  EXPECT_EQ(End(store), 2 * S + 100);
}

TEST_F(SpoolFileTest, SeekOriginsAndClamping) {
  MakeSparse(Chunk(0), S);
  MakeSparse(Chunk(1), 10);
  ASpoolFile store(base_.c_str(), 0);
  EXPECT_EQ(End(store), S + 10);
  EXPECT_TRUE(store.Seek(-4, -1, 2));
  EXPECT_EQ(store.GetPosition(), S + 6);
  EXPECT_TRUE(store.Seek(3, 0, 1));
  EXPECT_EQ(store.GetPosition(), S + 9);
  EXPECT_EQ(store.Seek(0, 0, 3), 0);
  char buffer[4];
  EXPECT_EQ(store.Read(buffer, 1, 0, 0, 3), 0);
  EXPECT_EQ(store.GetPosition(), S + 9);
  EXPECT_TRUE(store.Seek(0, -2, 1));  // -2^33 from here: clamped
  EXPECT_EQ(store.GetPosition(), 0);
  EXPECT_TRUE(store.SeekTo(7));
  EXPECT_TRUE(store.SeekTo(-5));
  EXPECT_EQ(store.GetPosition(), 0);
}

TEST_F(SpoolFileTest, PositionsBeyondTheLargestFileAreRefused) {
  ASpoolFile store(base_.c_str(), 2);
  EXPECT_EQ(store.SeekTo(ASpoolFile::kMaxSize), 0);
  EXPECT_EQ(store.SeekTo(ASpoolFile::kMaxSize + 1), 0);
  EXPECT_EQ(store.Seek(-1, 0x7FFFFFFF, 0), 0);
  ASSERT_TRUE(store.SeekTo(5));
  EXPECT_EQ(store.Seek(-1, 0x7FFFFFFF, 1), 0);
  EXPECT_EQ(store.GetPosition(), 5);
  char buffer[4];
  EXPECT_EQ(store.ReadAt(buffer, 1, ASpoolFile::kMaxSize), 0);
  EXPECT_EQ(dir_.Listing().size(), 1u);

  // The deepest chain: a write that runs into the limit stops there.
  EXPECT_EQ(store.Write("abcd", 4, static_cast<platform::LONG>(ASpoolFile::kMaxSize - 2),
                        static_cast<platform::LONG>((ASpoolFile::kMaxSize - 2) >> 32), 0),
            2);
  EXPECT_EQ(store.GetPosition(), ASpoolFile::kMaxSize);
  EXPECT_EQ(store.Write("e", 1, 0, 0, 1), 0);
  EXPECT_EQ(store.Seek(0, 0, 2), 0);
  EXPECT_EQ(dir_.Listing().size(), 256u);
  EXPECT_EQ(SizeOf(Chunk(255)), S);
  EXPECT_TRUE(store.SetEnd());
  EXPECT_EQ(SizeOf(Chunk(255)), S);
  EXPECT_EQ(ReadAt(store, ASpoolFile::kMaxSize - 2, 10), "ab");
  EXPECT_TRUE(store.Delete());
  EXPECT_TRUE(dir_.Listing().empty());
}

TEST_F(SpoolFileTest, WritesOfTwoGigabytesOrMoreMoveNothing) {
  ASpoolFile store(base_.c_str(), 2);
  ASSERT_TRUE(store.SeekTo(5));
  char byte = 'x';
  EXPECT_EQ(store.Write(&byte, 0x80000000u, 0, 0, 0), 0);
  EXPECT_EQ(store.GetPosition(), 5);
  EXPECT_EQ(SizeOf(base_), 0);
}

TEST_F(SpoolFileTest, OversizedChunkZeroIsNeverShortened) {
  MakeSparse(Chunk(0), S + 10);
  ASpoolFile store(base_.c_str(), 2);
  EXPECT_EQ(End(store), S + 10);
  EXPECT_TRUE(store.SeekTo(S + 20));
  EXPECT_EQ(SizeOf(Chunk(0)), S + 10);
  EXPECT_TRUE(Exists(Chunk(1)));
}

TEST_F(SpoolFileTest, DeleteRemovesTheWholeChain) {
  MakeSparse(Chunk(0), S);
  MakeSparse(Chunk(1), S);
  MakeSparse(Chunk(2), 5);
  ASpoolFile store(base_.c_str(), 2);
  EXPECT_EQ(store.Delete(), 1);
  EXPECT_FALSE(store.IsOpen());
  EXPECT_TRUE(dir_.Listing().empty());
  EXPECT_EQ(store.Delete(), 0);
}

TEST_F(SpoolFileTest, ChunkNamesUseTwoLowercaseHexDigits) {
  ASpoolFile store;
  char out[AWinFile::kPathSize];
  EXPECT_EQ(store.GetChunkName(1, out), 0);
  ASSERT_TRUE(store.Open(base_.c_str(), 2));
  ASSERT_TRUE(store.GetChunkName(1, out));
  EXPECT_EQ(std::string(out), base_ + "_01");
  ASSERT_TRUE(store.GetChunkName(10, out));
  EXPECT_EQ(std::string(out), base_ + "_0a");
  ASSERT_TRUE(store.GetChunkName(255, out));
  EXPECT_EQ(std::string(out), base_ + "_ff");
  ASSERT_TRUE(store.GetChunkName(0, out));
  EXPECT_EQ(std::string(out), base_);
  ASSERT_TRUE(store.GetChunkName(-3, out));
  EXPECT_EQ(std::string(out), base_);
  EXPECT_EQ(store.GetChunkName(256, out), 0);
}

TEST_F(SpoolFileTest, StorePathsLeaveRoomForTheChunkSuffix) {
  const std::string fits = dir_.PathOfLength(508);
  ASpoolFile store;
  ASSERT_TRUE(store.Open(fits.c_str(), 2)) << LastFailure();
  char out[AWinFile::kPathSize];
  ASSERT_TRUE(store.GetChunkName(255, out));
  EXPECT_EQ(std::string(out), fits + "_ff");

  const std::string tooLong = dir_.PathOfLength(509);
  EXPECT_EQ(ThrownInt([&] { store.Open(tooLong.c_str(), 2); }), 0);
  EXPECT_FALSE(store.IsOpen());
  EXPECT_FALSE(Exists(tooLong));
  EXPECT_EQ(ThrownInt([&] { ASpoolFile opened(tooLong.c_str(), 2); }), 0);
}

TEST_F(SpoolFileTest, ChainChunkThatCannotBeOpenedFailsTheOpen) {
  MakeSparse(Chunk(0), S);
  std::filesystem::create_directory(Chunk(1));
  for (int mode : {0, 2}) {
    SCOPED_TRACE(mode);
    ASpoolFile store;
    EXPECT_EQ(store.Open(base_.c_str(), mode), 0);
    EXPECT_FALSE(store.IsOpen());
    EXPECT_NE(std::string(LastFailure()).find(Chunk(1)), std::string::npos) << LastFailure();
    EXPECT_EQ(ThrownInt([&] { ASpoolFile opened(base_.c_str(), mode); }), 0);
  }

  // A stray that cannot be removed fails a writable open, which would
  // otherwise grow into it later; a read-only open does not care.
  Clear();
  MakeSparse(Chunk(0), 100);
  std::filesystem::create_directory(Chunk(2));
  ASpoolFile store;
  EXPECT_EQ(store.Open(base_.c_str(), 2), 0);
  EXPECT_TRUE(store.Open(base_.c_str(), 0));
}

TEST_F(SpoolFileTest, OpenClosesThePreviousStore) {
  ASpoolFile store(base_.c_str(), 2);
  ASSERT_TRUE(store.SeekTo(S + 1));
  ASSERT_TRUE(Exists(Chunk(1)));
  const std::string other = dir_ / "other.spl";
  ASSERT_TRUE(store.Open(other.c_str(), 2));
  EXPECT_FALSE(Exists(Chunk(1)));
  EXPECT_EQ(store.GetPosition(), 0);
  char out[AWinFile::kPathSize];
  ASSERT_TRUE(store.GetFilePath(out));
  EXPECT_EQ(std::string(out), other);
}

// A read-only store reads short requests through a cache of a few blocks:
// whatever the order and length of the reads (many places at once, more
// than the cache holds, across block boundaries, past the end), each returns
// the file's bytes and leaves the position right after them.
TEST_F(SpoolFileTest, ReadOnlyReadsInAnyOrderReturnTheFilesBytes) {
  std::string content(300001, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
  PutBytes(Chunk(0), 0, content);
  const std::int64_t size = static_cast<std::int64_t>(content.size());
  ASpoolFile store(base_.c_str(), 0);
  std::mt19937 rng(7);
  std::uniform_int_distribution<std::int64_t> anywhere(0, size + 100);
  std::uniform_int_distribution<int> place(0, 39);
  std::uniform_int_distribution<int> shortCount(1, 600), anyCount(1, 40000);
  for (int k = 0; k < 3000; ++k) {
    // Mostly short reads near forty places (like the rows of many cells),
    // sometimes long ones or anywhere.
    const std::int64_t position = k % 5 == 0 ? anywhere(rng) : place(rng) * 7499 + k % 97;
    const std::size_t count = static_cast<std::size_t>(k % 7 == 0 ? anyCount(rng) : shortCount(rng));
    const std::string expected = position < size ? content.substr(static_cast<std::size_t>(position), count) : "";
    ASSERT_EQ(ReadAt(store, position, count), expected) << "read " << k << " at " << position;
    ASSERT_EQ(store.GetPosition(), position + static_cast<std::int64_t>(expected.size()));
  }
  // Sequential reads from the current position put the file together again.
  ASSERT_TRUE(store.SeekTo(0));
  std::string whole;
  char piece[1000];
  for (int got; (got = store.Read(piece, sizeof piece, 0, 0, 1)) > 0;) {
    whole.append(piece, static_cast<std::size_t>(got));
  }
  EXPECT_EQ(whole, content);
}

TEST_F(SpoolFileTest, ReopenedReadOnlyStoreReadsTheFileAsItIsNow) {
  PutBytes(Chunk(0), 0, "old bytes");
  ASpoolFile store(base_.c_str(), 0);
  EXPECT_EQ(ReadAt(store, 0, 9), "old bytes");
  store.Close();
  PutBytes(Chunk(0), 0, "new bytes and more");
  ASSERT_TRUE(store.Open(base_.c_str(), 0));
  EXPECT_EQ(ReadAt(store, 0, 64), "new bytes and more");
}

}  // namespace
}  // namespace pc50
