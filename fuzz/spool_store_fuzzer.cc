// The chunked spool store on a directory of chunk files that the input lays
// out, driven through three sessions: read-only, read-write, read-only again.
//
// Input (spool_store_input.h): the layout of chunk 0 (absent, tiny or
// exactly one chunk size, sparse), chunks 1..4 (absent or 0..31 bytes) and
// one more chunk at an index from 5 to 255; then per session up to 12
// operations: seek, read, sequential read, write, cut (SetEnd), chunk name,
// close and reopen, delete, end.
//
// The store is checked against a plain model of the chunked format: which
// chunks the open adopts (and, read-write, which stray chunk files it
// removes), the logical position after every call, the bytes every read
// returns, each call's result, and afterwards every file in the directory,
// byte for byte where it matters. A read-only session must leave the
// directory exactly as it was.
//
// Positions stay within the first few chunks when writing (each further
// chunk is another sparse file of 2 GB); read-only sessions also probe the
// far end of the logical range.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "platform/diagnostics.h"
#include "platform/memory_files.h"
#include "platform/platform.h"
#include "spool/spool_file.h"
#include "spool_store_input.h"

namespace {

using pc50::ASpoolFile;
using pc50::fuzz::Check;
using pc50::fuzz::FuzzInput;
using pc50::fuzz::Violation;

constexpr std::int64_t S = ASpoolFile::kChunkSize;
constexpr std::int64_t kMax = ASpoolFile::kMaxSize;
constexpr int kChunks = ASpoolFile::kMaxChunks;
using namespace pc50::fuzz::spool_input;
constexpr int kWritableChunks = 8;       // highest chunk a read-write session may reach
constexpr std::int64_t kPatternSpan = 64;  // bytes of pattern at each end of a file
constexpr std::int64_t kWholeFileLimit = 1 << 20;
constexpr std::int64_t kBlock = 4096;

// ---- The model --------------------------------------------------------------

struct FileModel {
  std::int64_t size = 0;
  std::map<std::int64_t, std::uint8_t> bytes;  // everything else is zero

  std::uint8_t At(std::int64_t offset) const {
    const auto it = bytes.find(offset);
    return it == bytes.end() ? 0 : it->second;
  }
  void Resize(std::int64_t newSize) {
    if (newSize < size) bytes.erase(bytes.lower_bound(newSize), bytes.end());
    size = newSize;
  }
};

using Directory = std::map<int, FileModel>;  // chunk index -> file

struct StoreModel {
  bool open = false;
  int mode = 0;
  int last = 0;
  std::int64_t position = 0;
};

// ---- The disk ----------------------------------------------------------------
// In memory (platform/memory_files.h): the store reaches its files through
// the platform seam, and the files need no disk, so a chunk of exactly the
// chunk size costs no more than a short one.

namespace platform = pc50::platform;
namespace memory_files = pc50::platform::memory_files;

const std::string g_dir = "spool";

std::string ChunkPath(int k) {
  std::string path = g_dir + "/job.spl";
  if (k > 0) {
    char suffix[8];
    std::snprintf(suffix, sizeof suffix, "_%02x", k);
    path += suffix;
  }
  return path;
}

void ClearDirectory() { memory_files::Clear(); }

std::uint8_t Pattern(int k, std::int64_t offset) {
  return static_cast<std::uint8_t>(k * 53 + offset * 7 + 1);
}

// Moves a seam handle to offset.
bool SeekTo(platform::HANDLE handle, std::int64_t offset) {
  platform::LONG high = static_cast<platform::LONG>(offset >> 32);
  const platform::DWORD low = platform::SetFilePointer(handle, static_cast<platform::LONG>(offset & 0xFFFFFFFF), &high,
                                                       platform::FILE_BEGIN);
  return !(low == platform::INVALID_SET_FILE_POINTER && platform::GetLastError() != platform::ERROR_SUCCESS);
}

// Creates chunk k as a sparse file of size bytes with pattern bytes at both
// ends, and records it in the model.
void MakeChunk(Directory* files, int k, std::int64_t size) {
  FileModel file;
  file.size = size;
  for (std::int64_t o = 0; o < std::min(size, kPatternSpan); ++o) file.bytes[o] = Pattern(k, o);
  for (std::int64_t o = std::max(size - kPatternSpan, std::int64_t{0}); o < size; ++o) file.bytes[o] = Pattern(k, o);
  platform::HANDLE handle = platform::CreateFileA(ChunkPath(k).c_str(), platform::GENERIC_WRITE, 0, nullptr,
                                                  platform::CREATE_ALWAYS, 0, nullptr);
  if (handle == platform::INVALID_HANDLE_VALUE || !SeekTo(handle, size) || !platform::SetEndOfFile(handle)) {
    Violation("cannot lay out a chunk file", k);
  }
  for (const auto& [offset, byte] : file.bytes) {
    platform::DWORD written = 0;
    if (!SeekTo(handle, offset) || !platform::WriteFile(handle, &byte, 1, &written, nullptr) || written != 1) {
      Violation("cannot write a chunk file", k);
    }
  }
  platform::CloseHandle(handle);
  (*files)[k] = std::move(file);
}

void CheckFileBytes(int k, const FileModel& file) {
  platform::HANDLE handle = platform::CreateFileA(ChunkPath(k).c_str(), platform::GENERIC_READ, 0, nullptr,
                                                  platform::OPEN_EXISTING, 0, nullptr);
  if (handle == platform::INVALID_HANDLE_VALUE) Violation("chunk file vanished", k);
  // Small files whole; large (sparse) ones in blocks around the known bytes
  // and at both ends.
  std::set<std::int64_t> blocks;
  if (file.size <= kWholeFileLimit) {
    for (std::int64_t b = 0; b * kBlock < file.size; ++b) blocks.insert(b);
  } else {
    blocks.insert(0);
    blocks.insert((file.size - 1) / kBlock);
    for (const auto& entry : file.bytes) blocks.insert(entry.first / kBlock);
  }
  std::vector<std::uint8_t> buffer(kBlock);
  for (std::int64_t b : blocks) {
    const std::int64_t start = b * kBlock;
    const std::int64_t length = std::min(kBlock, file.size - start);
    platform::DWORD got = 0;
    if (!SeekTo(handle, start) ||
        !platform::ReadFile(handle, buffer.data(), static_cast<platform::DWORD>(length), &got, nullptr) ||
        got != length) {
      Violation("short read of a chunk file", k, start);
    }
    // The model's block: zeros and the known bytes within it.
    std::vector<std::uint8_t> expected(static_cast<std::size_t>(length), 0);
    for (auto it = file.bytes.lower_bound(start); it != file.bytes.end() && it->first < start + length; ++it) {
      expected[static_cast<std::size_t>(it->first - start)] = it->second;
    }
    if (std::memcmp(buffer.data(), expected.data(), expected.size()) != 0) {
      const auto differs = std::mismatch(expected.begin(), expected.end(), buffer.begin());
      Violation("chunk file byte differs from the model", k, start + (differs.first - expected.begin()));
    }
  }
  platform::CloseHandle(handle);
}

// Every file in the directory is a chunk of the model, of the model's size
// and bytes, and every chunk of the model is there; no handle stays open.
void CheckDisk(const Directory& files) {
  const std::vector<std::string> names = memory_files::Names();
  const std::set<std::string> seen(names.begin(), names.end());
  std::set<std::string> expected;
  for (const auto& entry : files) expected.insert(ChunkPath(entry.first));
  if (seen != expected) {
    for (const std::string& name : seen) {
      if (!expected.count(name)) std::fprintf(stderr, "unexpected file %s\n", name.c_str());
    }
    for (const std::string& name : expected) {
      if (!seen.count(name)) std::fprintf(stderr, "missing file %s\n", name.c_str());
    }
    Violation("directory differs from the model");
  }
  Check(memory_files::OpenHandles() == 0, "a chunk file is still open", memory_files::OpenHandles());
  for (const auto& [k, file] : files) {
    const std::int64_t size = memory_files::Size(ChunkPath(k));
    Check(size == file.size, "chunk file size differs from the model", k, static_cast<long long>(size));
    CheckFileBytes(k, file);
  }
}

// ---- Store and model side by side ------------------------------------------------

class Session {
 public:
  Session(Directory* files, int mode) : files_(files) { model_.mode = mode; }

  void Run(FuzzInput& in) {
    Open();
    for (int op = 0; op < kMaxOps && !in.Empty(); ++op) {
      const std::uint8_t code = in.Byte();
      switch (code % 10) {
        case kSeek: DoSeek(in); break;
        case kRead:
        case kReadOn: DoRead(in, code % 10 == kReadOn); break;
        case kWrite:
        case kWrite + 1: DoWrite(in); break;
        case kSetEnd: DoSetEnd(); break;
        case kChunkName: DoChunkName(in); break;
        case kReopen: Close(); Open(); break;
        case kDelete:
          if (model_.mode != 0) DoDelete();
          break;
        default: op = kMaxOps; break;
      }
      Check(store_.GetPosition() == model_.position, "position differs from the model",
            static_cast<long long>(store_.GetPosition()), static_cast<long long>(model_.position));
    }
    // Either way out closes the store: an explicit Close or the destructor.
    if (in.Byte() & 1) Close();
  }

  void Finish() { ModelClose(); }

  ASpoolFile& store() { return store_; }

 private:
  // -- Opening and closing --

  void Open() {
    if (model_.mode == 0 && !files_->count(0)) {
      int thrown = -1;
      try {
        store_.Open(ChunkPath(0).c_str(), 0);
      } catch (int value) {
        thrown = value;
      }
      Check(thrown == 0, "read-only open of a missing file does not throw 0", thrown);
      Check(*pc50::LastFailure() != '\0', "failed open without a reason");
      model_.open = false;
      return;
    }
    const int result = store_.Open(ChunkPath(0).c_str(), model_.mode);
    Check(result == 1, "open failed", result);
    ModelOpen();
  }

  void ModelOpen() {
    if (!files_->count(0)) (*files_)[0] = FileModel();
    model_.open = true;
    model_.last = 0;
    model_.position = 0;
    bool broken = files_->at(0).size < S;
    for (int k = 1; k < kChunks; ++k) {
      const auto it = files_->find(k);
      if (it == files_->end()) {
        broken = true;
        continue;
      }
      if (!broken && it->second.size > 0 && it->second.size <= S) {
        model_.last = k;
        continue;
      }
      broken = true;
      // Strays go only when the store may write.
      if (model_.mode != 0) files_->erase(it);
    }
  }

  void Close() {
    store_.Close();
    ModelClose();
  }

  void ModelClose() {
    if (!model_.open) return;
    if (model_.mode != 0) {
      for (int k = 1; k <= model_.last; ++k) {
        if (files_->at(k).size == 0) files_->erase(k);
      }
    }
    model_ = StoreModel{false, model_.mode, 0, 0};
  }

  // -- Positions --

  static std::int64_t PickDistance(FuzzInput& in) {
    const std::uint8_t kind = in.Byte();
    const std::int64_t c = (kind >> 4) & 3;
    const std::int64_t small = in.Byte();
    switch (kind & 15) {
      case kInChunk: case kInChunk + 1: return c * S + small;
      case kBeforeEnd: case kBeforeEnd + 1: return (c + 1) * S - 1 - small;
      case kBack: return -small;
      case kBackChunks: return -(c * S + small);
      case kShifted: return static_cast<std::int64_t>(in.U16()) << (kind >> 4);
      case kNearLimit: return kMax - 1 - small;
      case kPastLimit: return kMax + small;
      case kHugeUp: return INT64_MAX - small;
      case kHugeDown: return INT64_MIN + small;
      case 14: case 15: return small * 257;
      default: return small;  // kSmall and the two after it
    }
  }

  // The position a seek would reach; false when it is refused.
  bool Predict(std::int64_t distance, int origin, std::int64_t* position) const {
    if (!model_.open) return false;
    std::int64_t base;
    switch (origin) {
      case 0: base = 0; break;
      case 1: base = model_.position; break;
      case 2: base = S * model_.last + files_->at(model_.last).size; break;
      default: return false;
    }
    const __int128 target = static_cast<__int128>(base) + distance;
    if (target >= kMax) return false;
    *position = target < 0 ? 0 : static_cast<std::int64_t>(target);
    return true;
  }

  // Read-write sessions stay within the first kWritableChunks chunks.
  bool Allowed(std::int64_t distance, int origin) const {
    std::int64_t position = 0;
    if (model_.mode == 0 || !Predict(distance, origin, &position)) return true;
    return position / S <= kWritableChunks;
  }

  bool ModelSeek(std::int64_t distance, int origin) {
    std::int64_t position = 0;
    if (!Predict(distance, origin, &position)) return false;
    model_.position = position;
    if (model_.mode != 0) ModelExtend(static_cast<int>(position / S));
    return true;
  }

  void ModelExtend(int target) {
    while (model_.last < target) {
      FileModel& last = files_->at(model_.last);
      if (last.size < S) last.Resize(S);
      ++model_.last;
      if (!files_->count(model_.last)) (*files_)[model_.last] = FileModel();
    }
  }

  static void Split(std::int64_t distance, pc50::platform::LONG* low, pc50::platform::LONG* high) {
    const std::uint64_t bits = static_cast<std::uint64_t>(distance);
    *low = static_cast<pc50::platform::LONG>(static_cast<std::uint32_t>(bits));
    *high = static_cast<pc50::platform::LONG>(static_cast<std::uint32_t>(bits >> 32));
  }

  // -- Operations --

  void DoSeek(FuzzInput& in) {
    const std::int64_t distance = PickDistance(in);
    const int origin = in.Byte() % 4;
    if (!Allowed(distance, origin)) return;
    pc50::platform::LONG low, high;
    Split(distance, &low, &high);
    const int result = store_.Seek(low, high, origin);
    const bool expected = ModelSeek(distance, origin);
    Check(result == (expected ? 1 : 0), "seek result differs from the model", result, origin);
  }

  void DoRead(FuzzInput& in, bool sequential) {
    const std::int64_t distance = sequential ? 0 : PickDistance(in);
    const int origin = sequential ? 1 : in.Byte() % 4;
    const std::uint32_t count = in.Byte() & 0x80 ? in.U16() & 0x1FFF : in.Byte();
    if (!Allowed(distance, origin)) return;
    std::vector<std::uint8_t> buffer(count + 1, 0xEE);
    pc50::platform::LONG low, high;
    Split(distance, &low, &high);
    const int got = store_.Read(buffer.data(), count, low, high, origin);

    std::vector<std::uint8_t> expected;
    if (ModelSeek(distance, origin)) {
      std::int64_t remaining = count;
      while (remaining > 0 && model_.position < kMax) {
        const int k = static_cast<int>(model_.position / S);
        const std::int64_t offset = model_.position % S;
        const std::int64_t n = std::min(S - offset, remaining);
        if (k > model_.last) {
          if (model_.mode == 0) break;
          ModelExtend(k);
        }
        const FileModel& file = files_->at(k);
        const std::int64_t available = std::max<std::int64_t>(file.size - offset, 0);
        const std::int64_t taken = std::min(n, available);
        for (std::int64_t i = 0; i < taken; ++i) expected.push_back(file.At(offset + i));
        model_.position += taken;
        remaining -= taken;
        if (taken < n) break;
      }
    }
    Check(got == static_cast<int>(expected.size()), "read count differs from the model", got,
          static_cast<long long>(expected.size()));
    Check(std::equal(expected.begin(), expected.end(), buffer.begin()), "read bytes differ from the model");
    Check(buffer[expected.size()] == 0xEE || expected.size() == count, "read wrote past the bytes it returned");
  }

  void DoWrite(FuzzInput& in) {
    const std::int64_t distance = PickDistance(in);
    const int origin = in.Byte() % 4;
    const std::uint8_t countCode = in.Byte();
    const std::uint8_t seed = in.Byte();
    // A count of 2^31 or more is refused before anything moves.
    const std::uint32_t count = countCode == 0xFF ? 0x80000000u : (countCode & 0x80 ? (countCode & 0x7F) * 8u : countCode);
    if (!Allowed(distance, origin)) return;
    std::vector<std::uint8_t> data(std::min<std::uint32_t>(count, 1024));
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(seed + i * 13);
    pc50::platform::LONG low, high;
    Split(distance, &low, &high);
    const int put = store_.Write(data.data(), count > 1024 ? count : static_cast<std::uint32_t>(data.size()), low,
                                 high, origin);

    std::int64_t expected = 0;
    if (model_.mode != 0 && count <= 1024 && ModelSeek(distance, origin)) {
      std::int64_t remaining = count;
      while (remaining > 0 && model_.position < kMax) {
        const int k = static_cast<int>(model_.position / S);
        const std::int64_t offset = model_.position % S;
        const std::int64_t n = std::min(S - offset, remaining);
        if (k > model_.last) ModelExtend(k);
        FileModel& file = files_->at(k);
        for (std::int64_t i = 0; i < n; ++i) file.bytes[offset + i] = data[static_cast<std::size_t>(expected + i)];
        file.size = std::max(file.size, offset + n);
        model_.position += n;
        expected += n;
        remaining -= n;
      }
    }
    Check(put == expected, "write count differs from the model", put, static_cast<long long>(expected));
  }

  void DoSetEnd() {
    const int result = store_.SetEnd();
    if (!model_.open || model_.mode == 0) {
      Check(result == 0, "SetEnd on a read-only or closed store", result);
      return;
    }
    const int k = static_cast<int>(model_.position / S);
    ModelExtend(k);
    for (int j = k + 1; j <= model_.last; ++j) files_->erase(j);
    model_.last = k;
    files_->at(k).Resize(model_.position % S);
    Check(result == 1, "SetEnd failed", result);
  }

  void DoChunkName(FuzzInput& in) {
    const int low = in.Byte();
    const int k = low - 8 + (in.Byte() == 0xFF ? 256 : 0);
    char name[pc50::AWinFile::kPathSize];
    std::memset(name, 0, sizeof name);
    const int result = store_.GetChunkName(k, name);
    if (!model_.open || k >= kChunks) {
      Check(result == 0, "chunk name of a closed store or past the last chunk", result, k);
      return;
    }
    Check(result == 1, "chunk name failed", result, k);
    Check(ChunkPath(k < 0 ? 0 : k) == name, "chunk name differs", k);
  }

  void DoDelete() {
    const int result = store_.Delete();
    if (!model_.open) {
      Check(result == 0, "Delete on a closed store", result);
      return;
    }
    Check(result == 1, "Delete failed", result);
    for (int k = 0; k <= model_.last; ++k) files_->erase(k);
    model_ = StoreModel{false, model_.mode, 0, 0};
  }

  Directory* files_;
  StoreModel model_;
  ASpoolFile store_;
};

Directory LayOut(FuzzInput& in) {
  ClearDirectory();
  Directory files;
  const std::uint8_t first = in.Byte();
  switch (first % 3) {
    case 0: break;
    case 1: MakeChunk(&files, 0, first / 3 % 40); break;
    default: MakeChunk(&files, 0, S); break;
  }
  for (int k = 1; k <= 4; ++k) {
    const std::uint8_t b = in.Byte();
    if (b % 4 != 0) MakeChunk(&files, k, b / 4 % 32);
  }
  const std::uint8_t far = in.Byte();
  const std::uint8_t farSize = in.Byte();
  if (farSize % 2 != 0) MakeChunk(&files, 5 + far % 251, farSize / 2 % 16);
  return files;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  memory_files::Use(true);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  Directory files = LayOut(in);
  for (int mode : {0, 2, 0}) {
    {
      Session session(&files, mode);
      session.Run(in);
      session.Finish();
    }
    CheckDisk(files);
  }
  return 0;
}
