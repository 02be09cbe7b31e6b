#include "device/output_device.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "device/ascii_text.h"
#include "device/driver_options.h"
#include "device/packbits.h"
#include "platform/diagnostics.h"
#include "resources/string_table.h"

namespace pc50 {
namespace {

constexpr int kProgressTextSize = 64;
constexpr int kColourNameSize = 64;     // display names and colour-model names
constexpr int kPlaneNameLength = 32;    // a plane's colour name, without its NUL

struct ScreenDefault {
  const char* colour;
  float angle;
};

constexpr ScreenDefault kScreenDefaults[] = {
    {"Cyan", 105.0f},  {"Magenta", 75.0f},   {"Yellow", 90.0f}, {"Black", 45.0f},
    {"LCyan", 75.0f},  {"LMagenta", 105.0f}, {"Orange", 105.0f}, {"Green", 75.0f},
};
constexpr const char* kScreenShape = "Diamond";
constexpr float kScreenFrequency = 55.0f;

// Pixel value i of a row packed most significant bits first.
unsigned PixelAt(const std::uint8_t* row, int bitsPerPixel, int index) {
  const long bit = static_cast<long>(index) * bitsPerPixel;
  const int shift = 8 - bitsPerPixel - static_cast<int>(bit & 7);
  return (row[bit >> 3] >> shift) & ((1u << bitsPerPixel) - 1);
}

// ORs the bitsPerPixel-wide value into dst at bit position, MSB first. A
// value that straddles a byte boundary is split over the two bytes; the
// second byte is touched only when bits of the value land in it.
void OrPixel(std::uint8_t* dst, long position, int bitsPerPixel, unsigned value) {
  const unsigned wide = value << (16 - bitsPerPixel - static_cast<int>(position & 7));
  std::uint8_t* at = dst + (position >> 3);
  at[0] |= static_cast<std::uint8_t>(wide >> 8);
  if ((wide & 0xFF) != 0) at[1] |= static_cast<std::uint8_t>(wide);
}

// The first bitCount bits of src ORed into dst from bit position on, MSB
// first: count pixels of 1, 2 or 4 bits, each once (zero bits leave the
// destination as it is). Only bytes that bits land in are touched.
void OrBits(const std::uint8_t* src, long bitCount, std::uint8_t* dst, long position) {
  if (bitCount <= 0) return;
  const int shift = static_cast<int>(position & 7);
  std::uint8_t* at = dst + (position >> 3);
  const long fullBytes = bitCount >> 3;
  const int restBits = static_cast<int>(bitCount & 7);
  const unsigned last = restBits != 0 ? src[fullBytes] & (0xFFu << (8 - restBits)) & 0xFFu : 0u;
  if (shift == 0) {
    for (long k = 0; k < fullBytes; ++k) at[k] |= src[k];
    if (restBits != 0) at[fullBytes] |= static_cast<std::uint8_t>(last);
    return;
  }
  // Destination byte k takes the low bits of source byte k - 1 and the high
  // bits of source byte k.
  const int back = 8 - shift;
  if (fullBytes > 0) {
    at[0] |= static_cast<std::uint8_t>(src[0] >> shift);
    for (long k = 1; k < fullBytes; ++k) {
      at[k] |= static_cast<std::uint8_t>((src[k - 1] << back) | (src[k] >> shift));
    }
    at[fullBytes] |= static_cast<std::uint8_t>((src[fullBytes - 1] << back) | (last >> shift));
  } else {
    at[0] |= static_cast<std::uint8_t>(last >> shift);
  }
  if (shift + restBits > 8) at[fullBytes + 1] |= static_cast<std::uint8_t>(last << back);
}

// One source byte of 1, 2 or 4 bit pixels with every pixel repeated twice
// or three times: 16 or 24 bits, first pixel in the top bits.
constexpr std::uint32_t ExpandByte(unsigned byte, int bitsPerPixel, int repeat) {
  std::uint32_t out = 0;
  const unsigned mask = (1u << bitsPerPixel) - 1;
  for (int p = 8 - bitsPerPixel; p >= 0; p -= bitsPerPixel) {
    for (int r = 0; r < repeat; ++r) out = (out << bitsPerPixel) | ((byte >> p) & mask);
  }
  return out;
}

struct ExpandTable {
  std::uint32_t bytes[256];
};

ExpandTable MakeExpandTable(int bitsPerPixel, int repeat) {
  ExpandTable table{};
  for (unsigned v = 0; v < 256; ++v) table.bytes[v] = ExpandByte(v, bitsPerPixel, repeat);
  return table;
}

// The expansion table of depth 1, 2 or 4 and repeat 2 or 3.
const ExpandTable& ExpandTableFor(int bitsPerPixel, int repeat) {
  static const ExpandTable kTables[3][2] = {
      {MakeExpandTable(1, 2), MakeExpandTable(1, 3)},
      {MakeExpandTable(2, 2), MakeExpandTable(2, 3)},
      {MakeExpandTable(4, 2), MakeExpandTable(4, 3)},
  };
  const int depth = bitsPerPixel == 1 ? 0 : bitsPerPixel == 2 ? 1 : 2;
  return kTables[depth][repeat - 2];
}

// count pixels of 1, 2 or 4 bits, each repeated twice or three times: the
// source is widened a block at a time through a table and ORed in.
void OrRepeatedBits(const std::uint8_t* src, long count, int bitsPerPixel, int repeat, std::uint8_t* dst,
                    long position) {
  constexpr long kBlockBytes = 64;
  const ExpandTable& table = ExpandTableFor(bitsPerPixel, repeat);
  std::uint8_t wide[kBlockBytes * 3];
  const long sourceBits = count * bitsPerPixel;
  for (long first = 0; first * 8 < sourceBits; first += kBlockBytes) {
    const long bits = std::min(kBlockBytes * 8, sourceBits - first * 8);
    const long bytes = (bits + 7) / 8;
    std::uint8_t* out = wide;
    if (repeat == 2) {
      for (long k = 0; k < bytes; ++k, out += 2) {
        const std::uint32_t w = table.bytes[src[first + k]];
        out[0] = static_cast<std::uint8_t>(w >> 8);
        out[1] = static_cast<std::uint8_t>(w);
      }
    } else {
      for (long k = 0; k < bytes; ++k, out += 3) {
        const std::uint32_t w = table.bytes[src[first + k]];
        out[0] = static_cast<std::uint8_t>(w >> 16);
        out[1] = static_cast<std::uint8_t>(w >> 8);
        out[2] = static_cast<std::uint8_t>(w);
      }
    }
    OrBits(wide, bits * repeat, dst, position);
    position += bits * repeat;
  }
}

// count whole-byte pixels, each repeated: non-zero pixels are stored, zero
// pixels leave the destination as it is.
void StoreBytePixels(const std::uint8_t* src, int count, int repeat, std::uint8_t* at) {
  switch (repeat) {
    case 1:
      for (int i = 0; i < count; ++i) at[i] = src[i] != 0 ? src[i] : at[i];
      break;
    case 2:
      for (int i = 0; i < count; ++i) {
        const std::uint8_t v = src[i];
        at[2 * i] = v != 0 ? v : at[2 * i];
        at[2 * i + 1] = v != 0 ? v : at[2 * i + 1];
      }
      break;
    case 3:
      for (int i = 0; i < count; ++i) {
        const std::uint8_t v = src[i];
        at[3 * i] = v != 0 ? v : at[3 * i];
        at[3 * i + 1] = v != 0 ? v : at[3 * i + 1];
        at[3 * i + 2] = v != 0 ? v : at[3 * i + 2];
      }
      break;
    default:
      for (int i = 0; i < count; ++i, at += repeat) {
        if (src[i] != 0) std::memset(at, src[i], static_cast<std::size_t>(repeat));
      }
  }
}

}  // namespace

ABaseOutputDevice::ABaseOutputDevice()
    : texts{},
      port(nullptr),
      aborting(0),
      stageFileOutput(0),
      markJob(0),
      outBufferUsed(0),
      job(nullptr),
      settings(nullptr),
      nativeXResolution(0.0f),
      nativeYResolution(0.0f),
      rowsPerPlane(0),
      rowCount(0),
      xResolution(0.0f),
      yResolution(0.0f),
      planeOrder{},
      pagePending(1) {
  for (int i = 0; i < kPlaneCount; ++i) planeOrder[i] = i;
}

ABaseOutputDevice::~ABaseOutputDevice() { outputFile.Close(); }

// ---- Row composition ---------------------------------------------------------

int ABaseOutputDevice::ReplicatePixels(int bitsPerPixel, int count, const std::uint8_t* src, int repeat,
                                       int* bitPos, std::uint8_t* dst) {
  if (count <= 0 || repeat <= 0) return 0;
  if (bitsPerPixel != 1 && bitsPerPixel != 2 && bitsPerPixel != 4 && bitsPerPixel != 8) return 0;
  if (src == nullptr || dst == nullptr || bitPos == nullptr || *bitPos < 0) {
    return Fail("pixel replication needs source, destination and a bit position");
  }
  const long long span = static_cast<long long>(count) * repeat * bitsPerPixel;
  if (span > INT_MAX - static_cast<long long>(*bitPos)) {
    return Fail("pixel replication of %d pixels x %d does not fit a row", count, repeat);
  }
  long position = *bitPos;
  if (bitsPerPixel == 8) {
    position &= ~7L;  // whole bytes: start at the beginning of the byte
    StoreBytePixels(src, count, repeat, dst + (position >> 3));
  } else if (repeat == 1) {
    OrBits(src, static_cast<long>(count) * bitsPerPixel, dst, position);
  } else if (repeat <= 3) {
    OrRepeatedBits(src, count, bitsPerPixel, repeat, dst, position);
  } else {
    long at = position;
    for (int i = 0; i < count; ++i) {
      const unsigned value = PixelAt(src, bitsPerPixel, i);
      if (value == 0) {
        at += static_cast<long>(repeat) * bitsPerPixel;
        continue;
      }
      for (int r = 0; r < repeat; ++r, at += bitsPerPixel) OrPixel(dst, at, bitsPerPixel, value);
    }
  }
  *bitPos = static_cast<int>(position + span);
  return 1;
}

int ABaseOutputDevice::ScaleRow(int bitsPerPixel, int repeat, int lead, int leftWidth, const std::uint8_t* left,
                                int midWidth, const std::uint8_t* mid, int midCopies, int gap, int rightWidth,
                                const std::uint8_t* right, std::uint8_t* dst) {
  if (bitsPerPixel <= 0 || repeat < 0 || lead < 0 || leftWidth < 0 || midWidth < 0 || gap < 0 ||
      rightWidth < 0) {
    return Fail("row composition with a negative size (bpp %d, repeat %d, lead %d, widths %d/%d/%d, gap %d)",
                bitsPerPixel, repeat, lead, leftWidth, midWidth, rightWidth, gap);
  }
  // No copies of the middle part means no middle part: it is neither drawn
  // nor counted, so the row never grows past its own width.
  const long long copies = midCopies > 0 ? midCopies : 0;
  // Sizes are checked in floating point first: the exact products of large
  // arguments could overflow even 64 bits.
  const double estimate =
      (lead + static_cast<double>(repeat) * (static_cast<double>(leftWidth) + rightWidth) +
       (copies > 0 ? static_cast<double>(repeat) * midWidth * copies + static_cast<double>(gap) * (copies - 1) : 0.0)) *
      bitsPerPixel;
  if (estimate > static_cast<double>(INT_MAX - 7)) {
    return Fail("composed row of %.0f bits is too wide", estimate);
  }
  const long long midSpan = static_cast<long long>(repeat) * midWidth;
  const long long total = lead + static_cast<long long>(repeat) * (leftWidth + static_cast<long long>(rightWidth)) +
                          (copies > 0 ? midSpan + (copies - 1) * (gap + midSpan) : 0);
  if (dst == nullptr) return static_cast<int>(total);

  std::memset(dst, 0, static_cast<std::size_t>((total * bitsPerPixel + 7) / 8));
  int position = bitsPerPixel * lead;
  if (left != nullptr) {
    ReplicatePixels(bitsPerPixel, leftWidth, left, repeat, &position, dst);
  } else {
    position += bitsPerPixel * repeat * leftWidth;
  }
  if (copies > 0) {
    if (mid != nullptr) {
      ReplicatePixels(bitsPerPixel, midWidth, mid, repeat, &position, dst);
      for (long long c = 1; c < copies; ++c) {
        position += bitsPerPixel * gap;
        ReplicatePixels(bitsPerPixel, midWidth, mid, repeat, &position, dst);
      }
    } else {
      position += static_cast<int>(bitsPerPixel * (midSpan + (copies - 1) * (gap + midSpan)));
    }
  }
  if (right != nullptr) ReplicatePixels(bitsPerPixel, rightWidth, right, repeat, &position, dst);
  return static_cast<int>(total);
}

int ABaseOutputDevice::TestBit(int bitIndex, const std::uint8_t* bits) {
  if (bits == nullptr || bitIndex < 0) return 0;
  return (bits[bitIndex >> 3] >> (bitIndex & 7)) & 1;
}

// ---- Pages, planes and rows ---------------------------------------------------

int ABaseOutputDevice::PreparePlane(int) { return 1; }

int ABaseOutputDevice::SelectPlane(int plane) {
  if (settings != nullptr && settings->separations != 0 && settings->separationsOnLastPosition != 0) {
    return PreparePlane(GetPlaneOrder(3));
  }
  return PreparePlane(plane);
}

int ABaseOutputDevice::PutRow(int* plane, int byteCount, const std::uint8_t* row) {
  return PutRowData(plane, RowData{byteCount, row, nullptr, 0});
}

int ABaseOutputDevice::PutPackedRow(int* plane, int byteCount, const std::uint8_t* packed, int packedLength) {
  if (packed == nullptr && packedLength != 0) return Fail("packed row without its packets");
  return PutRowData(plane, RowData{byteCount, nullptr, packed, packedLength});
}

bool ABaseOutputDevice::TakesPackedRow(int, int) { return false; }

int ABaseOutputDevice::SendPackedRow(int plane, int byteCount, const std::uint8_t* packed, int packedLength) {
  // One byte past the row for the decoder's closing zero.
  if (byteCount < 0 || byteCount == INT_MAX) return Fail("invalid row of %d bytes", byteCount);
  std::unique_ptr<std::uint8_t[]> row(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(byteCount) + 1]);
  if (!row) return Fail("no memory to unpack a row of %d bytes", byteCount);
  int unpacked = 0;
  if (!UnpackBits(packed, packedLength, row.get(), byteCount + 1, &unpacked)) return FailIfUnexplained("bad packed row");
  if (unpacked < byteCount) std::memset(row.get() + unpacked, 0, static_cast<std::size_t>(byteCount - unpacked));
  return SendRow(plane, byteCount, row.get());
}

int ABaseOutputDevice::Deliver(int plane, const RowData& data) {
  if (data.row == nullptr && data.packed != nullptr) {
    return SendPackedRow(plane, data.byteCount, data.packed, data.packedLength);
  }
  return SendRow(plane, data.byteCount, data.row);
}

int ABaseOutputDevice::PutRowData(int* plane, const RowData& data) {
  if (plane == nullptr) return Fail("row without a plane");
  if (settings == nullptr) return Fail("no settings block attached to the device");
  if (settings->separations != 0) return PutSeparationRow(*plane, data);

  int current = *plane;
  if (rowCount == 0) {
    if (pagePending != 0) {
      if (StartPage() == 0) return FailIfUnexplained("device refused to start a page");
      pagePending = 0;
    }
    if (StartPlane(current) == 0) return FailIfUnexplained("device refused to start plane %d", current);
  }
  const int sent = Deliver(current, data);
  if (sent == 0) return FailIfUnexplained("device refused a row of plane %d", current);
  ++rowCount;
  if (rowsPerPlane > 0 && static_cast<std::uint32_t>(rowCount) >= rowsPerPlane) {
    if (EndPlane(current) == 0) return FailIfUnexplained("device refused to end plane %d", current);
    if (AdvancePlane(plane) == 0) return 0;
    rowCount = 0;
  }
  return sent;
}

int ABaseOutputDevice::PutSeparationRow(int plane, const RowData& data) {
  const int used = settings->separationsOnLastPosition != 0 ? GetPlaneOrder(3) : plane;
  if (rowCount == 0) {
    if (StartPage() == 0) return FailIfUnexplained("device refused to start a page");
    if (StartPlane(used) == 0) return FailIfUnexplained("device refused to start plane %d", used);
  }
  const int sent = Deliver(used, data);
  if (sent == 0) return FailIfUnexplained("device refused a row of plane %d", used);
  ++rowCount;
  if (rowsPerPlane > 0 && static_cast<std::uint32_t>(rowCount) >= rowsPerPlane) {
    if (EndPlane(used) == 0) return FailIfUnexplained("device refused to end plane %d", used);
    return EndPage();
  }
  return sent;
}

int ABaseOutputDevice::AdvancePlane(int* plane) {
  // Planes 0..last take part; the walk wraps past the last one to plane 0.
  const int last = settings->lastPlane < 0 ? 0 : (settings->lastPlane >= kPlaneCount ? kPlaneCount - 1
                                                                                      : settings->lastPlane);
  bool anyEnabled = false;
  for (int p = 0; p <= last && !anyEnabled; ++p) anyEnabled = settings->planes[p].enabled != 0;
  if (!anyEnabled) return Fail("no enabled plane among planes 0 to %d to continue with", last);

  int current = *plane < 0 ? -1 : (*plane > last ? last : *plane);
  do {
    ++current;
    if (current > last) {
      if (EndPage() == 0) return FailIfUnexplained("device refused to end a page");
      current = 0;
      pagePending = 1;
    }
  } while (settings->planes[current].enabled == 0);
  *plane = current;
  return 1;
}

int ABaseOutputDevice::StartPage() { return 1; }

int ABaseOutputDevice::EndPage() {
  rowCount = 0;
  return 1;
}

int ABaseOutputDevice::StartPlane(int) { return 1; }

int ABaseOutputDevice::EndPlane(int) {
  rowCount = 0;
  return 1;
}

int ABaseOutputDevice::GetRowCount() { return rowCount; }

int ABaseOutputDevice::GetRowsPerPlane() { return static_cast<int>(rowsPerPlane); }

int ABaseOutputDevice::GetPlaneOrder(int position) {
  if (position < 0 || position >= kPlaneCount) {
    Fail("print position %d out of range", position);
    return -1;
  }
  return planeOrder[position];
}

void ABaseOutputDevice::SetPrintOrder() {}

// ---- Job --------------------------------------------------------------------

int ABaseOutputDevice::FinishOutput() { return 1; }
int ABaseOutputDevice::GetPassCount() { return 1; }
int ABaseOutputDevice::SupportsSection() { return 1; }
int ABaseOutputDevice::OpenDevice() { return 1; }
int ABaseOutputDevice::CompleteJob() { return 1; }
int ABaseOutputDevice::DoInitStatusCheck(int&, char*) { return 0; }
int ABaseOutputDevice::GetStatus(int&, char*) { return 0; }

int ABaseOutputDevice::CloseOutput() {
  if (aborting == 0 && FinishOutput() == 0) return FailIfUnexplained("device could not finish its output");
  if (job != nullptr) job->promptMode = -1;
  return 1;
}

int ABaseOutputDevice::Attach(JobContext* jobRecord, SettingsBlock* settingsBlock) {
  job = jobRecord;
  settings = settingsBlock;
  SetPrintOrder();
  return 1;
}

int ABaseOutputDevice::SetJobFileName(const char* name1, const char* name2) {
  if (name1 == nullptr || name2 == nullptr) return Fail("job file name missing");
  if (job == nullptr) return Fail("no job started: nowhere to keep the job file names");
  const std::size_t capacity = sizeof job->jobFileName1;
  if (std::strlen(name1) >= capacity || std::strlen(name2) >= capacity) {
    return Fail("job file name longer than %zu characters", capacity - 1);
  }
  CopyText(job->jobFileName1, capacity, name1);
  CopyText(job->jobFileName2, sizeof job->jobFileName2, name2);
  return 1;
}

// ---- Output -----------------------------------------------------------------

int ABaseOutputDevice::SendToPort(const std::uint8_t* data, int length) {
  const int flag = job != nullptr ? job->portFlag : 0;
  const int taken = port->SendData(data, length, flag);
  if (taken != length) return Fail("port took %d of %d bytes", taken, length);
  return 1;
}

int ABaseOutputDevice::FlushOutput() {
  if (outBufferUsed <= 0) return 1;
  if (port == nullptr) return WriteStagedToFile();
  const int held = outBufferUsed;
  outBufferUsed = 0;
  return SendToPort(outBuffer.get(), held);
}

int ABaseOutputDevice::WriteStagedToFile() {
  if (outBufferUsed <= 0) return 1;
  const int held = outBufferUsed;
  outBufferUsed = 0;
  // Counted when staged; WriteToFile counts what reaches the file.
  if (job != nullptr) job->bytesProduced -= held;
  return WriteToFile(outBuffer.get(), held) == held ? 1 : 0;
}

int ABaseOutputDevice::StageForFile(const std::uint8_t* data, int length, int flush) {
  if (job == nullptr) return Fail("no job record to count the output in");
  if (flush != 0 || length > kOutBufferThreshold) {
    if (WriteStagedToFile() == 0) return 0;
    return WriteToFile(data, length);
  }
  if (length == 0) return 0;
  if (job->bytesProduced > INT32_MAX - length) {
    return Fail("output file would pass 2,147,483,647 bytes (%d written, %d more)", job->bytesProduced, length);
  }
  if (!outBuffer) {
    outBuffer.reset(new (std::nothrow) std::uint8_t[kOutBufferSize]);
    outBufferUsed = 0;
    if (!outBuffer) return WriteToFile(data, length);
  }
  if (outBufferUsed + length > kOutBufferThreshold && WriteStagedToFile() == 0) return 0;
  std::memcpy(outBuffer.get() + outBufferUsed, data, static_cast<std::size_t>(length));
  outBufferUsed += length;
  job->bytesProduced += length;
  return length;
}

int ABaseOutputDevice::WriteOutput(const std::uint8_t* data, int length, int flush) {
  if (length < 0 || (length > 0 && data == nullptr)) return Fail("invalid output block of %d bytes", length);
  if (port == nullptr) return stageFileOutput != 0 ? StageForFile(data, length, flush) : WriteToFile(data, length);

  if (flush != 0) {
    if (FlushOutput() == 0) return 0;
    if (length > 0 && SendToPort(data, length) == 0) return 0;
    return length;
  }

  if (!outBuffer) {
    outBuffer.reset(new (std::nothrow) std::uint8_t[kOutBufferSize]);
    outBufferUsed = 0;
    if (!outBuffer) return Fail("no memory for the %d-byte output buffer", kOutBufferSize);
  }
  if (outBufferUsed + length > kOutBufferThreshold && outBufferUsed > 0) {
    const int held = outBufferUsed;
    outBufferUsed = 0;
    if (SendToPort(outBuffer.get(), held) == 0) return 0;
  }
  if (length > kOutBufferThreshold) return SendToPort(data, length) != 0 ? length : 0;
  if (length > 0) std::memcpy(outBuffer.get() + outBufferUsed, data, static_cast<std::size_t>(length));
  outBufferUsed += length;
  return length;
}

int ABaseOutputDevice::WriteToFile(const std::uint8_t* data, int length) {
  if (length <= 0) return 0;
  if (data == nullptr) return Fail("invalid output block of %d bytes", length);
  if (job == nullptr) return Fail("no job record to count the output in");
  if (job->bytesProduced > INT32_MAX - length) {
    return Fail("output file would pass 2,147,483,647 bytes (%d written, %d more)", job->bytesProduced, length);
  }
  const int written = outputFile.Write(data, static_cast<platform::DWORD>(length), 0, 0, 1);
  if (written < length) {
    // The bytes that did reach the disk are not counted: the next write
    // goes where the host's count says the stream ends.
    const platform::DWORD error = platform::GetLastError();
    char path[AWinFile::kPathSize];
    if (!outputFile.GetFilePath(path)) return Fail("output file is not open for %d bytes", length);
    return Fail("cannot write output file '%s': %s (%d of %d bytes written)", path, AWinFile::ErrorText(error),
                written < 0 ? 0 : written, length);
  }
  job->bytesProduced += length;
  return length;
}

int ABaseOutputDevice::WriteString(const char* text, int) {
  if (text == nullptr) return Fail("no text to write");
  const std::size_t length = std::strlen(text);
  if (length > static_cast<std::size_t>(INT_MAX)) return Fail("text too long to write");
  return WriteOutput(reinterpret_cast<const std::uint8_t*>(text), static_cast<int>(length), 0);
}

// ---- Status -----------------------------------------------------------------

int ABaseOutputDevice::ShowProgress(int percent) {
  if (percent > 100) percent = 100;
  char text[kProgressTextSize];
  if (rowsPerPlane != 0) {
    std::snprintf(text, sizeof text, "%3ld%%", static_cast<long>(percent));
    SetStatusText(3, text);
    return 1;
  }
  if (settings == nullptr) return Fail("no settings block: no plane to show progress for");
  const int plane = settings->currentPlane;
  if (plane < 0 || plane >= kPlaneCount) return Fail("current plane %d out of range", plane);

  char planeName[kPlaneNameLength + 1];
  const char* stored = settings->planes[plane].name;
  const void* end = std::memchr(stored, '\0', kPlaneNameLength);
  const std::size_t length =
      end ? static_cast<std::size_t>(static_cast<const char*>(end) - stored) : kPlaneNameLength;
  std::memcpy(planeName, stored, length);
  planeName[length] = '\0';

  char displayName[kColourNameSize] = "";
  const char* name = LookupColor(planeName, displayName) >= 0 ? displayName : planeName;
  // The text buffer is 64 bytes; a longer text is cut there.
  if (std::snprintf(text, sizeof text, "%s %3ld%%", name, static_cast<long>(percent)) < 0) text[0] = '\0';
  SetStatusText(1, text);
  return 1;
}

void ABaseOutputDevice::SetStatusText(int code, const char* text) {
  if (job == nullptr) return;
  CopyText(job->statusText, sizeof job->statusText, text);
  job->statusCode = static_cast<std::int16_t>(code);
}

// ---- Resolutions ------------------------------------------------------------

float ABaseOutputDevice::GetNativeXResolution() {
  if (nativeXResolution == 0.0f) SetDefaultResolution();
  return nativeXResolution;
}

float ABaseOutputDevice::GetNativeYResolution() {
  if (nativeYResolution == 0.0f) SetDefaultResolution();
  return nativeYResolution;
}

float ABaseOutputDevice::GetXResolution() { return xResolution; }
float ABaseOutputDevice::GetYResolution() { return yResolution; }

// ---- Colour models and screening ---------------------------------------------

int ABaseOutputDevice::EnumColorModel(int index, int* isDefault, char* name, const DrvInfo*) {
  char models[kResourceStringSize];
  if (LoadResourceString(kStringColourModels, models, sizeof models) == 0) return 0;
  if (isDefault != nullptr) *isDefault = 1;
  char item[kColourNameSize];
  const int result = GetListItem(index, models, item, sizeof item);
  if (name != nullptr) std::memcpy(name, item, std::strlen(item) + 1);
  return result;
}

int ABaseOutputDevice::GetDefaultColorIndex(char* name, const DrvInfo* info) {
  char item[kColourNameSize];
  for (int index = 0;; ++index) {
    int isDefault = 0;
    if (EnumColorModel(index, &isDefault, item, info) == 0) return -1;
    if (isDefault == 1) {
      if (name != nullptr) std::memcpy(name, item, std::strlen(item) + 1);
      return index;
    }
  }
}

int ABaseOutputDevice::FindColorModel(const char* name) {
  if (name == nullptr) return -1;
  char item[kColourNameSize];
  for (int index = 0;; ++index) {
    int isDefault = 0;
    if (EnumColorModel(index, &isDefault, item, nullptr) == 0) return -1;
    if (EqualsIgnoringCase(item, name)) return index;
  }
}

int ABaseOutputDevice::GetDefaultScreening(tagScreeningOption* screening, const DrvInfo*) {
  if (screening == nullptr) return Fail("no screening record to fill");
  screening->count = static_cast<std::int32_t>(sizeof kScreenDefaults / sizeof kScreenDefaults[0]);
  for (int i = 0; i < screening->count; ++i) {
    ScreeningEntry& entry = screening->entries[i];
    std::memset(&entry, 0, sizeof entry);
    CopyText(entry.screenName, sizeof entry.screenName, kScreenShape);
    entry.frequency = kScreenFrequency;
    entry.angle = kScreenDefaults[i].angle;
    CopyText(entry.colorName, sizeof entry.colorName, kScreenDefaults[i].colour);
  }
  return 1;
}

// ---- Option strings ---------------------------------------------------------

int ABaseOutputDevice::DecodePPDString(const char* text, std::uint8_t* block, DrvInfo* info) {
  if (text == nullptr || block == nullptr) return Fail("option string or option block missing");
  if (HasNibbleForm(text)) {
    DecodeNibbleOptions(text, block);
  } else {
    DecodeDriverOption(text, block, info);
  }
  return 1;
}

int ABaseOutputDevice::PutPPDDisplays(char*, char*) { return 0; }

}  // namespace pc50
