// Writes a host spool job: the spool file (header and record index) and the
// raster files it names.
//
// Building and writing are separate steps so that a test can damage the bytes
// in between:
//
//   BuiltJob built;
//   ASSERT_EQ(BuildSpoolJob(job, &built), "");
//   built.spool[built.layout.colourList] = 31;   // wrong record code
//   ASSERT_EQ(WriteBuiltJob(built, path), "");
//
// Page data of one image, at its base position (after the colour list, or at
// byte 16 of its raster file):
//   "&" 38 0 | "(" 40 n, n section positions (int64)
//   per section: 22 kind width height | "(" 40 m, m plane header positions
//   per colour in a cell: ")" 41 bpp colour flag | rows: 20 n L [n-1 u16] data | "*" 42
//   23 after each plane section
// Without separations the page is one plane section and each cell's colours
// follow its section record. With separations the section records come
// first, then one plane section per colour (its data in every cell, then 23).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "byte_order.h"
#include "spool_job.h"

namespace pc50::hostkit {

// Where one colour of one cell was written.
struct PlaneLayout {
  std::int64_t header = 0;         // ")" record; the first row follows at header + 6
  std::vector<std::int64_t> rows;  // row records (code 20)
  std::int64_t bandEnd = 0;        // "*" record after the last row
};

struct SectionLayout {
  int kind = 0;
  std::int64_t position = 0;  // record 22; its plane list at position + 10
  std::map<int, PlaneLayout> colours;
};

// Positions are in the file that holds the image: the spool file, or raster
// file number rasterFile.
struct ImageLayout {
  int rasterFile = -1;                    // -1: inline in the spool file
  std::int64_t directory = 0;             // "&" record; the section list at directory + 2
  std::vector<SectionLayout> sections;    // in directory order
  std::vector<std::int64_t> sectionEnds;  // records 23

  // The section of kind, or nullptr.
  const SectionLayout* Section(int kind) const;
};

// Positions in the spool file; -1 where a record is not written.
struct JobLayout {
  std::int64_t record21 = -1;
  std::int64_t colourList = 0;
  std::vector<std::int64_t> rasterEntries;  // code 125
  std::int64_t indexEnd = -1;               // code 12
  std::vector<ImageLayout> images;
};

struct RasterFile {
  std::string indexName;  // as written in the spool index
  std::string fileName;   // written beside the spool file
  Bytes bytes;
};

struct BuiltJob {
  Bytes spool;
  std::vector<RasterFile> rasterFiles;
  JobLayout layout;

  // The bytes of the file that holds image i.
  Bytes& ImageFile(std::size_t i);
};

// Offsets of the spool header fields.
namespace header {
constexpr std::size_t kSize = 3940;
constexpr std::size_t kVersion = 4;        // int16
constexpr std::size_t kIndexPosition = 6;  // int16
constexpr std::size_t kFifthText = 264;
constexpr std::size_t kFirstText = 584;
constexpr std::size_t kFourthText = 648;
constexpr std::size_t kXResolution = 712;     // float, version 6
constexpr std::size_t kYResolution = 716;     // float, version 6
constexpr std::size_t kCopyRowGap = 720;      // float, version 6
constexpr std::size_t kPageLength = 724;      // float
constexpr std::size_t kTopMargin = 776;       // double
constexpr std::size_t kLeftMargin = 784;      // double
constexpr std::size_t kMediaWidth = 808;      // double
constexpr std::size_t kMediaLength = 816;     // double
constexpr std::size_t kCopyGap = 824;         // double
constexpr std::size_t kXResolutionV5 = 856;   // int16
constexpr std::size_t kYResolutionV5 = 858;   // int16
constexpr std::size_t kDriverOptions = 2552;  // 256 bytes
constexpr std::size_t kSecondText = 3704;
constexpr std::size_t kThirdText = 3768;
constexpr std::size_t kColourModel = 3834;   // int16
constexpr std::size_t kColourMask = 3838;    // 31 bytes, version 6
constexpr std::size_t kSpoolOptions = 3932;  // uint16
}  // namespace header

// Record codes.
namespace code {
constexpr std::uint8_t kIndexEnd = 12;
constexpr std::uint8_t kRow = 20;
constexpr std::uint8_t kLeading = 21;
constexpr std::uint8_t kSection = 22;
constexpr std::uint8_t kPlaneSectionEnd = 23;
constexpr std::uint8_t kRasterFile = 24;
constexpr std::uint8_t kColourList = 30;
constexpr std::uint8_t kDirectory = 38;
constexpr std::uint8_t kList = 40;
constexpr std::uint8_t kPlaneHeader = 41;
constexpr std::uint8_t kBandEnd = 42;
constexpr std::uint8_t kRasterEntry = 125;
}  // namespace code

constexpr std::size_t kRasterPrologueSize = 16;
constexpr std::size_t kColourEntrySize = 36;
constexpr std::size_t kColourNameSize = 32;

// Builds the files of job in memory. Returns "" on success, else why the
// description cannot be written (out is then unspecified).
std::string BuildSpoolJob(const SpoolJob& job, BuiltJob* out);

// Writes built.spool to spoolPath and each raster file beside it (in the
// directory of spoolPath). Returns "" on success, else the reason, naming
// the file.
std::string WriteBuiltJob(const BuiltJob& built, const std::string& spoolPath);

// BuildSpoolJob and WriteBuiltJob in one; the built job goes to *built when
// it is not null.
std::string WriteSpoolJob(const SpoolJob& job, const std::string& spoolPath,
                          BuiltJob* built = nullptr);

// A job written a page at a time: each image's raster file is built (and
// can be written) as soon as the image is done, the spool file last.
//
// The raster file of image number index. job gives the header settings and
// the colour list so far (every colour of image must be in it); its images
// are not read. Returns "" on success, else the reason.
std::string BuildRasterFile(const SpoolJob& job, const Image& image, std::size_t index,
                            const std::string& indexName, RasterFile* out);

// The spool file of a job whose images are all in raster files, named in
// page order by rasterNames; job.images and job.placement are not read.
// Returns "" on success, else the reason.
std::string BuildRasterIndex(const SpoolJob& job, const std::vector<std::string>& rasterNames,
                             Bytes* out);

// Path of a raster file named indexName in the index of the spool file at
// spoolPath: its base name (after the last backslash) in the spool file's
// directory.
std::string RasterFilePath(const std::string& spoolPath, const std::string& indexName);

}  // namespace pc50::hostkit
