// Input language of the whole-job fuzzer, shared with the corpus generator.
//
//   byte 0    ribbon type: byte 1 of the driver-option block (header 2553)
//   byte 1    print order: byte 2 of the driver-option block (header 2554)
//   byte 2    colour model, sign-extended (int16 at header 3834)
//   byte 3    bit 0: the host drains the output after every step
//             bits 1-2: copies - 1
//             bit 3: single page
//   rest      the spool file [kMarker raster file [kMarker raster file]]
//
// The patches go where the spool file reaches; a shorter file stays short.
// Raster file k is written under the base name of the k-th raster-file
// entry (record 125) of the spool index, read as the module reads it, or as
// page<k>.dat where the index names none or a name that cannot be a file
// beside the spool file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace pc50::fuzz::whole_job {

constexpr char kMarker[] = "\n--raster file--\n";
constexpr std::size_t kMarkerSize = sizeof kMarker - 1;
constexpr std::size_t kControlBytes = 4;
constexpr int kMaxRasterFiles = 2;

constexpr std::uint8_t kDrain = 0x01;
constexpr std::uint8_t kSinglePage = 0x08;
constexpr int kCopiesShift = 1;

constexpr std::size_t kOptionRibbon = 2553;
constexpr std::size_t kOptionOrder = 2554;
constexpr std::size_t kColourModel = 3834;
constexpr std::size_t kIndexPosition = 6;

struct RasterPart {
  std::string fileName;
  std::vector<std::uint8_t> bytes;
};

struct Job {
  std::uint8_t ribbon = 0;
  std::uint8_t order = 0;
  std::int16_t colourModel = 0;
  bool drain = false;
  int copies = 1;
  bool singlePage = false;
  std::vector<std::uint8_t> spool;
  std::vector<RasterPart> rasters;
};

inline std::uint8_t Flags(bool drain, int copies, bool singlePage) {
  return static_cast<std::uint8_t>((drain ? kDrain : 0) | (((copies - 1) & 3) << kCopiesShift) |
                                   (singlePage ? kSinglePage : 0));
}

// The names of the first kMaxRasterFiles raster-file entries of the index,
// as the module finds them: after the optional record 21 and the colour
// list, consecutive records 125 (name length, name up to its first NUL).
inline std::vector<std::string> IndexNames(const std::vector<std::uint8_t>& spool) {
  std::vector<std::string> names;
  const auto at = [&spool](std::int64_t position) -> int {
    return position >= 0 && position < static_cast<std::int64_t>(spool.size()) ? spool[position] : -1;
  };
  if (spool.size() < kIndexPosition + 2) return names;
  std::int64_t position = static_cast<std::int16_t>(spool[kIndexPosition] | spool[kIndexPosition + 1] << 8);
  if (at(position) == 21) {
    if (at(position + 3) < 0) return names;
    position += 4 + (at(position + 2) | at(position + 3) << 8);
  }
  if (at(position) != 30 || at(position + 1) < 0) return names;
  position += 2 + 36 * static_cast<std::int64_t>(static_cast<std::int8_t>(at(position + 1)));
  while (names.size() < kMaxRasterFiles && at(position) == 125 && at(position + 1) >= 0) {
    const int length = static_cast<std::int8_t>(at(position + 1));
    if (length < 1) break;
    std::string name;
    for (int k = 0; k < length && at(position + 2 + k) > 0; ++k) name += static_cast<char>(at(position + 2 + k));
    names.push_back(name);
    position += 2 + length;
  }
  return names;
}

// The file name beside the spool file that an index name stands for, or ""
// when it stands for none the fuzzer may write.
inline std::string BaseName(const std::string& name) {
  const std::size_t separator = name.find_last_of("/\\");
  const std::string base = separator == std::string::npos ? name : name.substr(separator + 1);
  if (base.empty() || base == "." || base == ".." || base.size() > 100) return "";
  return base;
}

inline Job ParseJob(const std::uint8_t* data, std::size_t size) {
  Job job;
  const auto control = [&](std::size_t i) -> std::uint8_t { return i < size ? data[i] : 0; };
  job.ribbon = control(0);
  job.order = control(1);
  job.colourModel = static_cast<std::int8_t>(control(2));
  const std::uint8_t flags = control(3);
  job.drain = (flags & kDrain) != 0;
  job.copies = ((flags >> kCopiesShift) & 3) + 1;
  job.singlePage = (flags & kSinglePage) != 0;

  std::vector<std::vector<std::uint8_t>> parts(1);
  std::size_t at = size < kControlBytes ? size : kControlBytes;
  while (at < size) {
    if (parts.size() <= kMaxRasterFiles && size - at >= kMarkerSize &&
        std::memcmp(data + at, kMarker, kMarkerSize) == 0) {
      parts.emplace_back();
      at += kMarkerSize;
      continue;
    }
    parts.back().push_back(data[at++]);
  }
  job.spool = std::move(parts[0]);
  if (job.spool.size() > kOptionOrder) {
    job.spool[kOptionRibbon] = job.ribbon;
    job.spool[kOptionOrder] = job.order;
  }
  if (job.spool.size() > kColourModel + 1) {
    job.spool[kColourModel] = static_cast<std::uint8_t>(job.colourModel);
    job.spool[kColourModel + 1] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(job.colourModel) >> 8);
  }
  const std::vector<std::string> names = IndexNames(job.spool);
  for (std::size_t k = 1; k < parts.size(); ++k) {
    std::string name = k - 1 < names.size() ? BaseName(names[k - 1]) : "";
    if (name.empty()) name = "page" + std::to_string(k) + ".dat";
    job.rasters.push_back({name, std::move(parts[k])});
  }
  return job;
}

// The input that ParseJob reads back as these files and settings.
inline std::string MakeInput(std::uint8_t ribbon, std::uint8_t order, std::int8_t colourModel, std::uint8_t flags,
                             const std::string& spool, const std::vector<std::string>& rasters) {
  std::string input;
  input += static_cast<char>(ribbon);
  input += static_cast<char>(order);
  input += static_cast<char>(colourModel);
  input += static_cast<char>(flags);
  input += spool;
  for (const std::string& raster : rasters) input += kMarker + raster;
  return input;
}

}  // namespace pc50::fuzz::whole_job
