// ARasterDriver: the spool record stream. The colour list, the index of
// raster files, the end of the job, and fetching one packed cell row.
#include <cstring>

#include "device/packbits.h"
#include "engine/little_endian.h"
#include "engine/raster_driver.h"
#include "engine/record_codes.h"
#include "platform/diagnostics.h"
#include "spool/sibling_path.h"

namespace pc50 {
namespace {

constexpr int kColorEntrySize = 36;
constexpr int kColorNameOffset = 4;
constexpr int kColorNameLength = 32;
constexpr int kRasterDataStart = 16;

}  // namespace

int ARasterDriver::ReadColorNames() {
  if (!HasJob()) return Fail("no job");
  const int got = ReadRecord(readPos_);
  if (RecordCode() != record_code::kColorList) {
    return Fail("spool index: expected the colour list (record 30) at byte %lld",
                static_cast<long long>(readPos_));
  }
  if (got < 2) {
    return Fail("spool index: the colour list at byte %lld ends after its code, without its count",
                static_cast<long long>(readPos_));
  }
  const int count = static_cast<std::int8_t>(record_[1]);
  if (count < 0) return Fail("spool index: colour list with a negative count (%d)", count);
  settings_.colorCount = count;
  if (!spool_->SeekTo(readPos_ + 2)) return Fail("spool index: cannot read the colour list");
  for (int i = 0; i < count; ++i) {
    std::uint8_t entry[kColorEntrySize];
    if (spool_->Read(entry, kColorEntrySize, 0, 0, 1) < kColorEntrySize) {
      return Fail("spool index: colour list ends inside entry %d of %d", i + 1, count);
    }
    const int plane = device_->GetPlaneOrder(i);
    if (plane < 0 || plane >= kPlaneCount) return Fail("device gave plane %d for colour %d", plane, i);
    PlaneRecord& record = settings_.planes[plane];
    std::memset(&record, 0, sizeof record);
    record.order = i;
    std::memcpy(record.name, entry + kColorNameOffset, kColorNameLength);
  }
  return 1;
}

int ARasterDriver::OpenNextRasterFile() {
  if (!HasJob()) return Fail("no job");
  const int length = static_cast<std::int8_t>(record_[1]);
  if (length < 1 || length >= kNameBufferSize) {
    return Fail("spool index: raster-file name length %d at byte %lld is outside 1..127", length,
                static_cast<long long>(readPos_));
  }
  char name[kNameBufferSize] = {};
  if (spool_->ReadAt(name, static_cast<platform::DWORD>(length), readPos_ + 2) < length) {
    return Fail("spool index: raster-file name at byte %lld is cut short", static_cast<long long>(readPos_));
  }
  readPos_ += length + 2;
  spool_->Close();
  settings_.inRasterFile = 1;

  char path[AWinFile::kPathSize];
  if (!MakeSiblingPath(job_->spoolPath, name, path, sizeof path)) {
    return FailIfUnexplained("raster file '%s': path too long", name);
  }
  bool opened = false;
  try {
    opened = spool_->Open(path, 0) != 0;
  } catch (int) {
    opened = false;
  }
  if (!opened) return FailIfUnexplained("cannot open raster file '%s'", path);
  if (ReadRecord(0) < 1 || RecordCode() != record_code::kRasterPrologue) {
    return Fail("raster file '%s' does not begin with the raster prologue (24)", path);
  }
  if (!spool_->SeekTo(kRasterDataStart)) return Fail("raster file '%s' is too short", path);
  recordPos_ = spool_->GetPosition();
  return 1;
}

int ARasterDriver::ReturnToSpoolIndex() {
  if (!HasJob()) return Fail("no job");
  spool_->Close();
  settings_.inRasterFile = 0;
  bool opened = false;
  try {
    opened = spool_->Open(job_->spoolPath, 0) != 0;
  } catch (int) {
    opened = false;
  }
  if (!opened) return FailIfUnexplained("cannot reopen spool file '%s'", job_->spoolPath);
  ReadRecord(readPos_);
  spool_->SeekTo(readPos_);
  switch (RecordCode()) {
    case record_code::kEndOfJob: return FinishJob();
    case record_code::kRasterFile: return OpenNextRasterFile();
    default:
      return Fail("spool index: expected a raster file (125) or the end of the job (12) at byte %lld, found %d",
                  static_cast<long long>(readPos_), RecordCode());
  }
}

int ARasterDriver::FinishJob() {
  if (!HasJob()) return Fail("no job");
  job_->copies = copiesPerRow_;
  int result = device_->CompleteJob();
  if (result == 0) FailIfUnexplained("the device could not complete the job");
  // The stream is on disk before the job is declared over.
  if (device_->port == nullptr && device_->FlushOutput() == 0) {
    result = FailIfUnexplained("the end of the stream could not be written");
  }
  if (device_->CloseOutput() == 0) result = FailIfUnexplained("the device could not close its output");
  spool_->Close();
  ForgetCanonicalRows();
  if (device_->port == nullptr) CloseOutputFile();
  state_ = JobState::kEnded;
  return result;
}

int ARasterDriver::ReadCellRow(int kind, std::uint8_t* out) {
  if (kind < 0 || kind >= kCellKinds || out == nullptr) return Fail("cell kind %d has no row buffer", kind);
  int packedLength = 0;
  std::int64_t at = 0;
  if (ReadCellPackets(kind, &packedLength, &at) == 0) return 0;
  return UnpackCellRow(kind, packedLength, at, out);
}

int ARasterDriver::ReadCellPackets(int kind, int* packedLength, std::int64_t* at) {
  if (kind < 0 || kind >= kCellKinds) return Fail("cell kind %d has no row buffer", kind);
  const int plane = settings_.currentPlane;
  PlaneRecord& record = settings_.planes[plane];
  std::int64_t& position = record.cellPos[kind];
  try {
    const int got = ReadRecord(position);
    if (got == 0) {
      return Fail("'%s' ends at byte %lld where row %d of cell %d of plane %d must stand", InputPath().c_str(),
                  static_cast<long long>(position), cellRowsRead_[plane][kind] + 1, kind, plane);
    }
    if (RecordCode() != record_code::kRow) {
      return Fail("expected a row record (20) of cell %d at byte %lld, found %d", kind,
                  static_cast<long long>(position), RecordCode());
    }
    if (!RowHeadComplete(position, got)) {
      return Fail("'%s' ends inside the head of the row record at byte %lld (row %d of cell %d of plane %d)",
                  InputPath().c_str(), static_cast<long long>(position), cellRowsRead_[plane][kind] + 1, kind,
                  plane);
    }
    const int fields = static_cast<std::int8_t>(record_[1]);
    if (fields < 1) {
      return Fail("row record at byte %lld has %d length fields", static_cast<long long>(position), fields);
    }
    const int length = LoadU16(record_ + 2);
    const std::int64_t data = position + 2 + 2 * fields;
    if (length > scratchSizes_[3]) {
      return Fail("row record at byte %lld: %d packed bytes exceed the row buffer", static_cast<long long>(data),
                  length);
    }
    if (length > 0 && spool_->ReadAt(scratchBuffers_[3].get(), static_cast<platform::DWORD>(length), data) < length) {
      return Fail("'%s' ends inside the row record at byte %lld (row %d of cell %d of plane %d)",
                  InputPath().c_str(), static_cast<long long>(position), cellRowsRead_[plane][kind] + 1, kind,
                  plane);
    }
    position = data + length;
    ++cellRowsRead_[plane][kind];
    *packedLength = length;
    *at = data;
    return 1;
  } catch (...) {
    return FailIfUnexplained("cannot read a row of cell %d", kind);
  }
}

int ARasterDriver::UnpackCellRow(int kind, int packedLength, std::int64_t at, std::uint8_t* out) {
  const int plane = settings_.currentPlane;
  const int capacity = scratchSizes_[ScratchBufferFor(kind)];
  const int rowBytes = RowBytes(plane, cellWidths_[kind]);
  if (rowBytes > capacity) return Fail("cell %d rows of %d bytes do not fit their buffer", kind, rowBytes);
  int unpacked = 0;
  if (!UnpackBits(scratchBuffers_[3].get(), packedLength, out, capacity, &unpacked)) {
    return FailIfUnexplained("row record at byte %lld does not fit cell %d", static_cast<long long>(at), kind);
  }
  // A row that unpacks short is blank to the cell's width.
  if (unpacked < rowBytes) std::memset(out + unpacked, 0, static_cast<std::size_t>(rowBytes - unpacked));
  return 1;
}

bool ARasterDriver::RowHeadComplete(std::int64_t position, int got) {
  if (got < 2) return false;
  const int fields = static_cast<std::int8_t>(record_[1]);
  if (fields < 1) return true;  // not a head at all; the reader says so
  const int head = 2 + 2 * fields;
  if (got >= head) return true;
  // A window read short ends at the end of the file.
  if (got < kRecordSize) return false;
  std::uint8_t last = 0;
  return spool_->ReadAt(&last, 1, position + head - 1) == 1;
}

int ARasterDriver::ReadCellRecord(int plane, int slot, std::int64_t position) {
  const int got = ReadRecord(position);
  if (!ValidPlane(plane) || slot < 0 || slot >= kCellKinds) return RecordCode();
  const PlaneRecord& record = settings_.planes[plane];
  const int kind = record.cellStart[slot] != 0 ? slot : ReferenceKind(plane, slot);
  const int done = cellRowsRead_[plane][slot];
  if (got == 0) {
    const int height = kind >= 0 ? cellHeights_[kind] : 0;
    if (done >= height) return 0;
    Fail("'%s' ends at byte %lld inside cell %d of plane %d: rows %d to %d of %d are missing", InputPath().c_str(),
         static_cast<long long>(position), kind, plane, done + 1, height, height);
    return -1;
  }
  if (RecordCode() == record_code::kRow && !RowHeadComplete(position, got)) {
    Fail("'%s' ends inside the head of the row record at byte %lld (row %d of cell %d of plane %d)",
         InputPath().c_str(), static_cast<long long>(position), done + 1, kind, plane);
    return -1;
  }
  return RecordCode();
}

std::string ARasterDriver::InputPath() {
  char path[AWinFile::kPathSize] = {};
  if (!spool_ || !spool_->GetFilePath(path)) return "the input file";
  path[sizeof path - 1] = '\0';
  return path;
}

}  // namespace pc50
