// One logical file of up to 256 chunks of 2,097,152,000 bytes each, stored as
// chunk files named path, path_01 ... path_ff, with the interface of AWinFile
// and 64-bit logical positions.
//
// Opening in mode 0 never changes the disk: chunk files outside the valid
// chain are left alone and reads past the end create nothing. Modes 1 and 2
// remove chunk files that do not belong to the chain, and grow the chain as
// positions beyond its end are reached.
#pragma once

#include <cstdint>
#include <memory>

#include "spool/win_file.h"

namespace pc50 {

class ASpoolFile : public AWinFile {
 public:
  static constexpr std::int64_t kChunkSize = 2097152000LL;
  static constexpr int kMaxChunks = 256;
  // Positions at or beyond this are refused.
  static constexpr std::int64_t kMaxSize = kChunkSize * kMaxChunks;

  ASpoolFile();
  // Opens the chain at path; throws int 0 when chunk 0 cannot be opened or a
  // chunk of the chain cannot be opened during the scan.
  ASpoolFile(const char* path, int mode);
  ~ASpoolFile() override;

  // Throws int 0 when chunk 0 cannot be opened; 0 when the chain scan fails.
  platform::BOOL Open(const char* path, int mode) override;
  platform::BOOL Seek(platform::LONG distanceLow, platform::LONG distanceHigh, int origin) override;
  std::int64_t GetPosition() override;
  int Read(void* buffer, platform::DWORD count, platform::LONG distanceLow, platform::LONG distanceHigh,
           int origin) override;
  int Write(const void* buffer, platform::DWORD count, platform::LONG distanceLow,
            platform::LONG distanceHigh, int origin) override;
  void Close() override;
  platform::BOOL Delete() override;
  platform::BOOL SetEnd() override;
  // Writes the name of chunk k (path plus "_kk") to out. 0 when not open.
  virtual platform::BOOL GetChunkName(int k, char* out);

  // Convenience for 64-bit positions: Read/Seek with distance split in two.
  int ReadAt(void* buffer, platform::DWORD count, std::int64_t position);
  platform::BOOL SeekTo(std::int64_t position);

 private:
  // The file of chunk k: the store's own file for 0, the owned object above.
  AWinFile* ChunkAt(int k);
  // Builds the name of chunk k into out (kPathSize bytes).
  void ChunkName(int k, char* out) const;
  // Adopts the chunks that continue chunk 0 (see spool_file.cc).
  platform::BOOL ScanChain();
  // Makes chunks up to target exist, each below it exactly one chunk long.
  platform::BOOL ExtendTo(int target);
  // Closes and removes chunk k (k > 0) and forgets it.
  void DropChunk(int k, bool remove);

  // Reads count bytes at position_ from the chunk files, advancing it.
  int ReadChunks(char* out, std::int64_t count);
  // Read-only stores read short requests through a cache of a few aligned
  // blocks: a job reads many short records at a handful of places in its
  // files (the rows of each plane and cell), and each would otherwise cost
  // the system a seek and a read. Nothing changes a read-only store's files
  // through it, so the cache needs forgetting only when the store closes.
  int ReadCached(char* out, std::int64_t count);
  // The cached block that starts at start, read in when missing; null when
  // there is no memory for the cache.
  struct CacheBlock {
    std::int64_t start = -1;  // -1: empty
    std::int64_t length = 0;  // bytes read; short at the end of the file
    std::uint64_t lastUse = 0;
  };
  const CacheBlock* CachedBlock(std::int64_t start, const std::uint8_t** data);
  void ForgetCache();

  static constexpr int kCacheBlocks = 16;
  static constexpr std::int64_t kCacheBlockSize = 16384;

  // Entry 0 stays empty: chunk 0 is the store's own file.
  std::unique_ptr<AWinFile> chunks_[kMaxChunks];
  std::int64_t position_;
  int lastChunk_;
  int mode_;
  std::int64_t chunkSize_;
  std::unique_ptr<std::uint8_t[]> cacheData_;  // kCacheBlocks blocks, made at the first cached read
  CacheBlock cache_[kCacheBlocks];
  std::uint64_t cacheClock_ = 0;
  int lastSlot_ = 0;  // the block of the last cached read
};

}  // namespace pc50
