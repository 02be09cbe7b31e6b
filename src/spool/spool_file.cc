#include "spool/spool_file.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "platform/diagnostics.h"

namespace pc50 {

using platform::BOOL;
using platform::DWORD;
using platform::LONG;

namespace {

// Chunk names append "_kk" to the store path inside a path field.
constexpr std::size_t kMaxStorePath = AWinFile::kPathSize - 4;

std::int64_t Join(LONG low, LONG high) {
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(static_cast<std::uint32_t>(high)) << 32) |
                                   static_cast<std::uint32_t>(low));
}

LONG LowPart(std::int64_t value) { return static_cast<LONG>(static_cast<std::uint32_t>(value)); }
LONG HighPart(std::int64_t value) {
  return static_cast<LONG>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(value) >> 32));
}

// The size of a chunk file, -1 when it cannot be measured. Chunk operations
// always name AWinFile explicitly: chunk 0 is the store itself, whose own
// overrides work on logical positions.
std::int64_t ChunkSize(AWinFile* chunk) {
  if (!chunk->AWinFile::Seek(0, 0, 2)) return -1;
  return chunk->AWinFile::GetPosition();
}

// Chunk offsets are below the chunk size and so fit the low part alone.
BOOL SeekChunk(AWinFile* chunk, std::int64_t offset) { return chunk->AWinFile::Seek(LowPart(offset), 0, 0); }

std::unique_ptr<AWinFile> NewChunk() { return std::unique_ptr<AWinFile>(new (std::nothrow) AWinFile()); }

}  // namespace

ASpoolFile::ASpoolFile() : position_(0), lastChunk_(0), mode_(0), chunkSize_(kChunkSize) {}

ASpoolFile::ASpoolFile(const char* path, int mode) : ASpoolFile() {
  if (!ASpoolFile::Open(path, mode)) throw 0;
}

ASpoolFile::~ASpoolFile() {
  if (IsOpen()) ASpoolFile::Close();
}

BOOL ASpoolFile::Open(const char* path, int mode) {
  if (IsOpen()) Close();
  ForgetCache();
  chunkSize_ = kChunkSize;
  position_ = 0;
  lastChunk_ = 0;
  mode_ = mode;
  if (path == nullptr || std::strlen(path) > kMaxStorePath) {
    std::memset(path_, 0, sizeof path_);
    if (path == nullptr) Fail("cannot open spool file: no path given");
    else Fail("cannot open spool file '%.64s...': path longer than %zu characters", path, kMaxStorePath);
    throw 0;
  }
  if (!AWinFile::Open(path, mode)) {
    Fail("cannot open spool file '%s': %s", path, ErrorText(platform::GetLastError()));
    throw 0;
  }
  if (!ScanChain()) {
    Close();
    return 0;
  }
  return 1;
}

// A chain runs from a chunk 0 of at least one chunk size through consecutive
// existing chunks of 1 to chunkSize_ bytes. Chunk files past a gap, a short
// chunk 0, an empty or an oversize chunk are strays: modes 1 and 2 remove
// them so that growing the chain later never picks up stale bytes; a
// read-only open leaves them alone.
BOOL ASpoolFile::ScanChain() {
  const std::int64_t size0 = ChunkSize(this);
  if (size0 < 0 || !SeekChunk(this, 0)) {
    return Fail("cannot open spool file '%s': %s", path_, ErrorText(platform::GetLastError()));
  }
  bool broken = size0 < chunkSize_;
  char name[kPathSize];
  for (int k = 1; k < kMaxChunks; ++k) {
    if (broken && mode_ == 0) break;
    ChunkName(k, name);
    if (platform::_access(name, 0) != 0) {
      broken = true;
      continue;
    }
    if (broken) {
      if (!platform::DeleteFileA(name)) {
        return Fail("cannot remove stray spool chunk '%s': %s", name, ErrorText(platform::GetLastError()));
      }
      continue;
    }
    std::unique_ptr<AWinFile> chunk = NewChunk();
    if (!chunk) return Fail("cannot open spool file '%s': out of memory", name);
    if (!chunk->Open(name, mode_)) {
      return Fail("cannot open spool file '%s': %s", name, ErrorText(platform::GetLastError()));
    }
    const std::int64_t size = ChunkSize(chunk.get());
    if (size < 0) return Fail("cannot open spool file '%s': %s", name, ErrorText(platform::GetLastError()));
    if (size > 0 && size <= chunkSize_ && SeekChunk(chunk.get(), 0)) {
      chunks_[k] = std::move(chunk);
      lastChunk_ = k;
      continue;
    }
    broken = true;
    if (mode_ == 0) {
      chunk->AWinFile::Close();
    } else if (!chunk->AWinFile::Delete()) {
      return Fail("cannot remove stray spool chunk '%s': %s", name, ErrorText(platform::GetLastError()));
    }
  }
  return 1;
}

AWinFile* ASpoolFile::ChunkAt(int k) {
  if (k == 0) return IsOpen() ? this : nullptr;
  return chunks_[k].get();
}

void ASpoolFile::ChunkName(int k, char* out) const {
  // Store paths are at most kMaxStorePath long and k at most 255, so the name
  // always fits.
  if (k <= 0) std::snprintf(out, kPathSize, "%.508s", path_);
  else std::snprintf(out, kPathSize, "%.508s_%02x", path_, static_cast<unsigned>(k) & 0xFFu);
}

BOOL ASpoolFile::ExtendTo(int target) {
  while (lastChunk_ < target) {
    AWinFile* last = ChunkAt(lastChunk_);
    const std::int64_t size = ChunkSize(last);
    // Never shorten: only a chunk below the chunk size is filled up to it.
    if (size < 0 || (size < chunkSize_ && !(SeekChunk(last, chunkSize_) && last->AWinFile::SetEnd()))) {
      return Fail("cannot lengthen chunk %d of spool file '%s': %s", lastChunk_, path_,
                  ErrorText(platform::GetLastError()));
    }
    char name[kPathSize];
    ChunkName(lastChunk_ + 1, name);
    std::unique_ptr<AWinFile> next = NewChunk();
    if (!next) return Fail("cannot open spool file '%s': out of memory", name);
    if (!next->Open(name, mode_)) {
      return Fail("cannot open spool file '%s': %s", name, ErrorText(platform::GetLastError()));
    }
    chunks_[++lastChunk_] = std::move(next);
  }
  return 1;
}

void ASpoolFile::DropChunk(int k, bool remove) {
  if (remove) chunks_[k]->AWinFile::Delete();
  else chunks_[k]->AWinFile::Close();
  chunks_[k].reset();
}

BOOL ASpoolFile::Seek(LONG distanceLow, LONG distanceHigh, int origin) {
  if (!IsOpen()) return 0;
  std::int64_t base;
  switch (origin) {
    case 0: base = 0; break;
    case 1: base = position_; break;
    case 2: {
      const std::int64_t size = ChunkSize(ChunkAt(lastChunk_));
      if (size < 0) return 0;
      base = chunkSize_ * lastChunk_ + size;
      break;
    }
    default: return 0;
  }
  const std::int64_t distance = Join(distanceLow, distanceHigh);
  if (distance > 0 && distance >= kMaxSize - base) return 0;
  const std::int64_t position = std::max<std::int64_t>(base + distance, 0);
  if (position >= kMaxSize) return 0;
  position_ = position;
  if (mode_ == 0) return 1;
  return ExtendTo(static_cast<int>(position_ / chunkSize_));
}

std::int64_t ASpoolFile::GetPosition() { return position_; }

int ASpoolFile::Read(void* buffer, DWORD count, LONG distanceLow, LONG distanceHigh, int origin) {
  if (!Seek(distanceLow, distanceHigh, origin)) return 0;
  char* out = static_cast<char*>(buffer);
  const std::int64_t wanted = std::min<std::int64_t>(count, INT_MAX);
  if (mode_ == 0 && wanted <= kCacheBlockSize) return ReadCached(out, wanted);
  return ReadChunks(out, wanted);
}

int ASpoolFile::ReadChunks(char* out, std::int64_t count) {
  std::int64_t remaining = count;
  std::int64_t done = 0;
  while (remaining > 0 && position_ < kMaxSize) {
    const int k = static_cast<int>(position_ / chunkSize_);
    const std::int64_t offset = position_ % chunkSize_;
    const std::int64_t n = std::min(chunkSize_ - offset, remaining);
    if (k > lastChunk_ && (mode_ == 0 || !ExtendTo(k))) break;
    AWinFile* chunk = ChunkAt(k);
    if (!SeekChunk(chunk, offset)) break;
    const int got = std::max(chunk->AWinFile::Read(out + done, static_cast<DWORD>(n), 0, 0, 1), 0);
    position_ += got;
    done += got;
    remaining -= got;
    if (got < n) break;
  }
  return static_cast<int>(done);
}

int ASpoolFile::ReadCached(char* out, std::int64_t count) {
  std::int64_t done = 0;
  while (done < count && position_ < kMaxSize) {
    const std::int64_t start = position_ - position_ % kCacheBlockSize;
    const std::uint8_t* data = nullptr;
    const CacheBlock* block = CachedBlock(start, &data);
    if (block == nullptr) return static_cast<int>(done + ReadChunks(out + done, count - done));
    const std::int64_t offset = position_ - start;
    if (offset >= block->length) break;  // the end of the file
    const std::int64_t n = std::min(count - done, block->length - offset);
    std::memcpy(out + done, data + offset, static_cast<std::size_t>(n));
    position_ += n;
    done += n;
  }
  return static_cast<int>(done);
}

const ASpoolFile::CacheBlock* ASpoolFile::CachedBlock(std::int64_t start, const std::uint8_t** data) {
  if (!cacheData_) {
    cacheData_.reset(new (std::nothrow) std::uint8_t[kCacheBlocks * kCacheBlockSize]);
    if (!cacheData_) return nullptr;
    ForgetCache();
  }
  // Most reads continue in the block the last one used.
  int slot = lastSlot_;
  if (cache_[slot].start != start) {
    slot = 0;
    for (int i = 0; i < kCacheBlocks; ++i) {
      if (cache_[i].start == start) {
        slot = i;
        break;
      }
      if (cache_[i].lastUse < cache_[slot].lastUse) slot = i;
    }
  }
  lastSlot_ = slot;
  CacheBlock& block = cache_[slot];
  std::uint8_t* bytes = cacheData_.get() + slot * kCacheBlockSize;
  if (block.start != start) {
    const std::int64_t position = position_;
    position_ = start;
    block.length = ReadChunks(reinterpret_cast<char*>(bytes), kCacheBlockSize);
    block.start = start;
    position_ = position;
  }
  block.lastUse = ++cacheClock_;
  *data = bytes;
  return &block;
}

void ASpoolFile::ForgetCache() {
  for (CacheBlock& block : cache_) block = CacheBlock();
  cacheClock_ = 0;
  lastSlot_ = 0;
}

int ASpoolFile::Write(const void* buffer, DWORD count, LONG distanceLow, LONG distanceHigh, int origin) {
  if (mode_ == 0 || count > static_cast<DWORD>(INT_MAX)) return 0;
  if (!Seek(distanceLow, distanceHigh, origin)) return 0;
  const char* in = static_cast<const char*>(buffer);
  std::int64_t remaining = count;
  std::int64_t done = 0;
  while (remaining > 0 && position_ < kMaxSize) {
    const int k = static_cast<int>(position_ / chunkSize_);
    const std::int64_t offset = position_ % chunkSize_;
    const std::int64_t n = std::min(chunkSize_ - offset, remaining);
    if (k > lastChunk_ && !ExtendTo(k)) break;
    AWinFile* chunk = ChunkAt(k);
    if (!SeekChunk(chunk, offset)) break;
    const int put = std::max(chunk->AWinFile::Write(in + done, static_cast<DWORD>(n), 0, 0, 1), 0);
    position_ += put;
    done += put;
    remaining -= put;
    if (put < n) break;
  }
  return static_cast<int>(done);
}

void ASpoolFile::Close() {
  for (int k = 1; k < kMaxChunks; ++k) {
    if (!chunks_[k]) continue;
    // Chunks that a seek created but nothing filled go away; a read-only
    // store never removes anything.
    DropChunk(k, mode_ != 0 && ChunkSize(chunks_[k].get()) == 0);
  }
  AWinFile::Close();
  position_ = 0;
  lastChunk_ = 0;
  ForgetCache();
}

BOOL ASpoolFile::Delete() {
  if (!IsOpen()) return 0;
  for (int k = 1; k < kMaxChunks; ++k) {
    if (chunks_[k]) DropChunk(k, true);
  }
  lastChunk_ = 0;
  Close();
  return platform::DeleteFileA(path_);
}

BOOL ASpoolFile::SetEnd() {
  if (!IsOpen()) return 0;
  if (mode_ == 0) return Fail("cannot cut spool file '%s': opened read-only", path_);
  // A write that ran up to the largest size leaves the position just past
  // the last chunk.
  const bool atLimit = position_ >= kMaxSize;
  const int k = atLimit ? kMaxChunks - 1 : static_cast<int>(position_ / chunkSize_);
  const std::int64_t offset = atLimit ? chunkSize_ : position_ % chunkSize_;
  if (!ExtendTo(k)) return 0;
  for (int j = k + 1; j < kMaxChunks; ++j) {
    if (chunks_[j]) DropChunk(j, true);
  }
  lastChunk_ = k;
  AWinFile* chunk = ChunkAt(k);
  if (!SeekChunk(chunk, offset)) return 0;
  return chunk->AWinFile::SetEnd();
}

BOOL ASpoolFile::GetChunkName(int k, char* out) {
  if (!IsOpen() || k >= kMaxChunks) return 0;
  ChunkName(k, out);
  return 1;
}

int ASpoolFile::ReadAt(void* buffer, DWORD count, std::int64_t position) {
  return Read(buffer, count, LowPart(position), HighPart(position), 0);
}

BOOL ASpoolFile::SeekTo(std::int64_t position) { return Seek(LowPart(position), HighPart(position), 0); }

}  // namespace pc50
