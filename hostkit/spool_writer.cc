#include "spool_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>

#include "packbits_writer.h"

namespace pc50::hostkit {
namespace {

constexpr int kMaxListCount = 127;       // list counts are signed bytes
constexpr std::size_t kMaxSections = 9;  // a directory lists at most nine sections
constexpr std::size_t kMaxRasterName = 127;
constexpr std::size_t kMaxPackedRow = 0xFFFF;

struct TextField {
  std::size_t offset;
  std::size_t room;  // characters that fit before the next header field
};

// First to fifth device text.
constexpr TextField kTextFields[5] = {
    {header::kFirstText, 63},  {header::kSecondText, 63}, {header::kThirdText, 63},
    {header::kFourthText, 63}, {header::kFifthText, 127},
};

template <typename T>
std::string Str(T n) {
  return std::to_string(n);
}

std::string BaseName(const std::string& indexName) {
  const std::size_t slash = indexName.rfind('\\');
  return slash == std::string::npos ? indexName : indexName.substr(slash + 1);
}

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string RasterName(const SpoolJob& job, std::size_t i) {
  if (!job.rasterFileNames.empty()) return job.rasterFileNames[i];
  return "page" + Str(i + 1) + ".dat";
}

// ---- Checks of the description ----

std::string CheckHeader(const SpoolJob& job) {
  if (job.indexPosition < static_cast<std::int16_t>(header::kSize)) {
    return "index position " + Str(job.indexPosition) + " lies inside the " + Str(header::kSize) +
           "-byte header";
  }
  for (std::size_t i = 0; i < job.deviceTexts.size(); ++i) {
    if (job.deviceTexts[i].size() > kTextFields[i].room) {
      return "device text " + Str(i + 1) + " has " + Str(job.deviceTexts[i].size()) +
             " characters; its header field holds " + Str(kTextFields[i].room);
    }
  }
  const bool v5 = job.version < 6;
  for (float dpi : {job.xResolution, job.yResolution}) {
    if (v5 && !(dpi >= -32768.0f && dpi < 32768.0f)) {
      return "resolution " + Str(dpi) + " does not fit the 16-bit field of a version-5 header";
    }
  }
  if (job.record21 && job.record21->size() > 0xFFFF) {
    return "record 21 payload of " + Str(job.record21->size()) + " bytes exceeds 65535";
  }
  if (job.colours.size() > static_cast<std::size_t>(kMaxListCount)) {
    return "colour list of " + Str(job.colours.size()) + " colours exceeds " + Str(kMaxListCount);
  }
  for (const std::string& name : job.colours) {
    if (name.size() > kColourNameSize) {
      return "colour name \"" + name + "\" is longer than " + Str(kColourNameSize) + " characters";
    }
  }
  if (job.rowFieldCount < 0 || job.rowFieldCount > kMaxListCount) {
    return "row field count " + Str(job.rowFieldCount) + " is outside 0..127";
  }
  return "";
}

// Names written in the index: 1..127 characters with a file part, no two
// files alike.
std::string CheckRasterNames(const std::vector<std::string>& names) {
  std::set<std::string> seen;
  for (const std::string& name : names) {
    if (name.empty() || name.size() > kMaxRasterName) {
      return "raster file name \"" + name + "\" must have 1.." + Str(kMaxRasterName) +
             " characters";
    }
    if (BaseName(name).empty()) return "raster file name \"" + name + "\" has no file part";
    if (!seen.insert(BaseName(name)).second) {
      return "two raster files share the name \"" + BaseName(name) + "\"";
    }
  }
  return "";
}

std::vector<std::string> RasterNames(const SpoolJob& job) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < job.images.size(); ++i) names.push_back(RasterName(job, i));
  return names;
}

std::string CheckPlacement(const SpoolJob& job) {
  if (job.placement == ImagePlacement::kInline) {
    if (job.images.size() != 1) {
      return "inline page data holds exactly one image, not " + Str(job.images.size());
    }
    return "";
  }
  if (!job.rasterFileNames.empty() && job.rasterFileNames.size() != job.images.size()) {
    return Str(job.rasterFileNames.size()) + " raster file names for " + Str(job.images.size()) +
           " images";
  }
  return CheckRasterNames(RasterNames(job));
}

bool ValidBitsPerPixel(int bpp) { return bpp == 1 || bpp == 2 || bpp == 4 || bpp == 8; }

std::string Where(std::size_t image, int kind) {
  return "image " + Str(image) + " cell " + Str(kind);
}

std::string CheckCellStrict(const SpoolJob& job, const Image& image, std::size_t index, int kind) {
  const Cell& cell = *image.cells[kind];
  const Cell* main = image.cells[kMain] ? &*image.cells[kMain] : nullptr;
  for (const auto& [colour, plane] : cell.colours) {
    const std::string where = Where(index, kind) + " colour " + Str(colour);
    if (colour >= static_cast<int>(job.colours.size())) {
      return where + ": the colour list has " + Str(job.colours.size()) + " colours";
    }
    if (!ValidBitsPerPixel(plane.bitsPerPixel)) {
      return where + ": " + Str(plane.bitsPerPixel) + " bits per pixel (1, 2, 4 or 8)";
    }
    if (main && kind != kMain && main->colours.count(colour) &&
        main->colours.at(colour).bitsPerPixel != plane.bitsPerPixel) {
      return where + ": rows are read at the main cell's bits per pixel";
    }
    if (plane.rows.size() != cell.height) {
      return where + ": " + Str(plane.rows.size()) + " rows for height " + Str(cell.height);
    }
    const std::size_t bytes = RowBytes(cell.width, plane.bitsPerPixel);
    for (std::size_t r = 0; r < plane.rows.size(); ++r) {
      if (plane.rows[r].size() != bytes) {
        return where + " row " + Str(r) + ": " + Str(plane.rows[r].size()) +
               " bytes for a width of " + Str(cell.width) + " pixels (" + Str(bytes) + " bytes)";
      }
    }
  }
  if (main && (kind == kFirstCentre || kind == kLastCentre) && cell.width != main->width) {
    return Where(index, kind) + ": a centre cell is as wide as the main cell (" + Str(main->width) +
           ")";
  }
  return "";
}

// Every present cell of a band gives the band the same number of rows.
std::string CheckBands(const Image& image, std::size_t index) {
  static constexpr int kBands[3][3] = {{kFirstLeft, kFirstCentre, kFirstRight},
                                       {kMiddleLeft, kMain, kMiddleRight},
                                       {kLastLeft, kLastCentre, kLastRight}};
  for (const auto& band : kBands) {
    const Cell* reference = nullptr;
    for (int kind : band) {
      if (!image.cells[kind]) continue;
      if (reference && image.cells[kind]->height != reference->height) {
        return Where(index, kind) + ": height " + Str(image.cells[kind]->height) +
               " differs from its band's " + Str(reference->height);
      }
      reference = &*image.cells[kind];
    }
  }
  return "";
}

std::string DirectoryOrder(const Image& image, std::size_t index, std::vector<int>* order) {
  order->clear();
  if (image.directoryOrder.empty()) {
    for (int kind = 0; kind < kCellKindCount; ++kind) {
      if (image.cells[kind]) order->push_back(kind);
    }
  } else {
    std::set<int> listed;
    for (int kind : image.directoryOrder) {
      if (kind < 0 || kind >= kCellKindCount || !image.cells[kind]) {
        return "image " + Str(index) + ": directory lists kind " + Str(kind) +
               ", which has no cell";
      }
      if (!listed.insert(kind).second) {
        return "image " + Str(index) + ": directory lists kind " + Str(kind) + " twice";
      }
      order->push_back(kind);
    }
  }
  if (order->size() > kMaxSections) {
    return "image " + Str(index) + ": " + Str(order->size()) +
           " sections; a directory holds at most 9";
  }
  return "";
}

// Length of the plane-header lists: one entry per colour number.
std::string PlaneListLength(const SpoolJob& job, const Image& image, std::size_t index,
                            int* length) {
  int m = static_cast<int>(job.colours.size());
  for (int kind = 0; kind < kCellKindCount; ++kind) {
    if (!image.cells[kind]) continue;
    for (const auto& entry : image.cells[kind]->colours) {
      if (entry.first < 0 || entry.first >= kMaxListCount) {
        return Where(index, kind) + ": colour number " + Str(entry.first) + " is outside 0..126";
      }
      m = std::max(m, entry.first + 1);
    }
  }
  *length = m;
  return "";
}

std::string CheckImage(const SpoolJob& job, const Image& image, std::size_t index,
                       std::vector<int>* order, int* listLength) {
  std::string error = DirectoryOrder(image, index, order);
  if (error.empty()) error = PlaneListLength(job, image, index, listLength);
  if (!error.empty() || !job.strict) return error;
  for (int kind : *order) {
    error = CheckCellStrict(job, image, index, kind);
    if (!error.empty()) return error;
  }
  return CheckBands(image, index);
}

// ---- Writers ----

void PutText(Bytes& out, std::size_t offset, const std::string& text) {
  std::memcpy(out.data() + offset, text.data(), text.size());
}

void WriteHeader(const SpoolJob& job, Bytes& out) {
  out.assign(header::kSize, 0);
  PutLE<std::int16_t>(out, header::kVersion, job.version);
  PutLE<std::int16_t>(out, header::kIndexPosition, job.indexPosition);
  for (std::size_t i = 0; i < job.deviceTexts.size(); ++i) {
    PutText(out, kTextFields[i].offset, job.deviceTexts[i]);
  }
  const bool v6 = job.version >= 6;
  if (v6) {
    PutLE<float>(out, header::kXResolution, job.xResolution);
    PutLE<float>(out, header::kYResolution, job.yResolution);
    PutLE<float>(out, header::kCopyRowGap, job.copyRowGap);
    std::memcpy(out.data() + header::kColourMask, job.colourMask.data(), job.colourMask.size());
  } else {
    PutLE<std::int16_t>(out, header::kXResolutionV5, static_cast<std::int16_t>(job.xResolution));
    PutLE<std::int16_t>(out, header::kYResolutionV5, static_cast<std::int16_t>(job.yResolution));
  }
  PutLE<float>(out, header::kPageLength, job.pageLength);
  PutLE<double>(out, header::kTopMargin, job.topMargin);
  PutLE<double>(out, header::kLeftMargin, job.leftMargin);
  PutLE<double>(out, header::kMediaWidth, job.mediaWidth);
  PutLE<double>(out, header::kMediaLength, job.mediaLength);
  PutLE<double>(out, header::kCopyGap, job.copyGap);
  std::memcpy(out.data() + header::kDriverOptions, job.driverOptions.data(),
              job.driverOptions.size());
  PutLE<std::int16_t>(out, header::kColourModel, job.colourModel);
  PutLE<std::uint16_t>(out, header::kSpoolOptions, job.spoolOptions);
}

void WriteRecord21(const std::vector<std::uint8_t>& payload, Bytes& out) {
  out.push_back(code::kLeading);
  out.push_back(0);
  AppendLE<std::uint16_t>(out, static_cast<std::uint16_t>(payload.size()));
  out.insert(out.end(), payload.begin(), payload.end());
}

void WriteColourList(const std::vector<std::string>& colours, Bytes& out) {
  out.push_back(code::kColourList);
  out.push_back(static_cast<std::uint8_t>(colours.size()));
  for (const std::string& name : colours) {
    const std::size_t entry = out.size();
    out.resize(entry + kColourEntrySize, 0);
    std::memcpy(out.data() + entry + 4, name.data(), name.size());
  }
}

// Writes the page data of one image at the end of a file's bytes.
class PageWriter {
 public:
  PageWriter(const SpoolJob& job, std::size_t image, Bytes& out, ImageLayout& layout)
      : job_(job), image_(image), out_(out), layout_(layout) {}

  std::string Write(const Image& image, const std::vector<int>& order, int listLength) {
    WriteDirectory(order.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
      const int kind = order[i];
      WriteSectionHead(kind, *image.cells[kind], listLength, DirectorySlot(i));
      if (job_.HasSeparations()) continue;
      for (const auto& [colour, plane] : image.cells[kind]->colours) {
        std::string error = WritePlane(i, colour, plane);
        if (!error.empty()) return error;
      }
    }
    if (!job_.HasSeparations()) {
      EndPlaneSection();
      return "";
    }
    for (int colour : ColoursOf(image, order)) {
      for (std::size_t i = 0; i < order.size(); ++i) {
        const Cell& cell = *image.cells[order[i]];
        auto it = cell.colours.find(colour);
        if (it == cell.colours.end()) continue;
        std::string error = WritePlane(i, colour, it->second);
        if (!error.empty()) return error;
      }
      EndPlaneSection();
    }
    return "";
  }

 private:
  static std::set<int> ColoursOf(const Image& image, const std::vector<int>& order) {
    std::set<int> colours;
    for (int kind : order) {
      for (const auto& entry : image.cells[kind]->colours) colours.insert(entry.first);
    }
    return colours;
  }

  std::int64_t Here() const { return static_cast<std::int64_t>(out_.size()); }
  std::size_t DirectorySlot(std::size_t i) const {
    return static_cast<std::size_t>(layout_.directory) + 4 + 8 * i;
  }

  void WriteDirectory(std::size_t sections) {
    layout_.directory = Here();
    out_.push_back(code::kDirectory);
    out_.push_back(0);
    out_.push_back(code::kList);
    out_.push_back(static_cast<std::uint8_t>(sections));
    out_.resize(out_.size() + 8 * sections, 0);
  }

  void WriteSectionHead(int kind, const Cell& cell, int listLength, std::size_t slot) {
    SectionLayout section;
    section.kind = kind;
    section.position = Here();
    PutLE<std::int64_t>(out_, slot, section.position);
    out_.push_back(code::kSection);
    out_.push_back(static_cast<std::uint8_t>(kind));
    AppendLE<std::uint32_t>(out_, cell.width);
    AppendLE<std::uint32_t>(out_, cell.height);
    out_.push_back(code::kList);
    out_.push_back(static_cast<std::uint8_t>(listLength));
    for (int i = 0; i < listLength; ++i) AppendLE<std::int64_t>(out_, job_.absentPlanePosition);
    layout_.sections.push_back(section);
  }

  // Plane header, rows and band end of one colour of section i.
  std::string WritePlane(std::size_t i, int colour, const CellPlane& plane) {
    SectionLayout& section = layout_.sections[i];
    PlaneLayout& where = section.colours[colour];
    where.header = Here();
    PutLE<std::int64_t>(out_, static_cast<std::size_t>(section.position) + 12 + 8 * colour,
                        where.header);
    out_.push_back(code::kPlaneHeader);
    out_.push_back(static_cast<std::uint8_t>(plane.bitsPerPixel));
    AppendLE<std::uint16_t>(out_, static_cast<std::uint16_t>(colour));
    AppendLE<std::uint16_t>(out_, plane.contentFlag);
    for (std::size_t r = 0; r < plane.rows.size(); ++r) {
      const Bytes packed = job_.literalRows ? PackLiterals(plane.rows[r]) : PackBits(plane.rows[r]);
      if (packed.size() > kMaxPackedRow) {
        return Where(image_, section.kind) + " colour " + Str(colour) + " row " + Str(r) +
               " packs to " + Str(packed.size()) + " bytes; a row record holds 65535";
      }
      where.rows.push_back(Here());
      WriteRow(packed);
    }
    where.bandEnd = Here();
    out_.push_back(code::kBandEnd);
    return "";
  }

  void WriteRow(const Bytes& packed) {
    out_.push_back(code::kRow);
    out_.push_back(static_cast<std::uint8_t>(job_.rowFieldCount));
    AppendLE<std::uint16_t>(out_, static_cast<std::uint16_t>(packed.size()));
    for (int f = 1; f < job_.rowFieldCount; ++f) AppendLE<std::uint16_t>(out_, 0);
    out_.insert(out_.end(), packed.begin(), packed.end());
  }

  void EndPlaneSection() {
    layout_.sectionEnds.push_back(Here());
    out_.push_back(code::kPlaneSectionEnd);
  }

  const SpoolJob& job_;
  const std::size_t image_;
  Bytes& out_;
  ImageLayout& layout_;
};

std::string WriteImage(const SpoolJob& job, const Image& image, std::size_t index, Bytes& out,
                       ImageLayout& layout) {
  std::vector<int> order;
  int listLength = 0;
  std::string error = CheckImage(job, image, index, &order, &listLength);
  if (!error.empty()) return error;
  return PageWriter(job, index, out, layout).Write(image, order, listLength);
}

// Header, leading record and colour list of the spool file.
void WriteSpoolHead(const SpoolJob& job, BuiltJob& built) {
  Bytes& spool = built.spool;
  WriteHeader(job, spool);
  spool.resize(static_cast<std::size_t>(job.indexPosition), 0);
  if (job.record21) {
    built.layout.record21 = static_cast<std::int64_t>(spool.size());
    WriteRecord21(*job.record21, spool);
  }
  built.layout.colourList = static_cast<std::int64_t>(spool.size());
  WriteColourList(job.colours, spool);
}

// The raster-file entries of the index and its end.
void WriteRasterIndex(const std::vector<std::string>& names, BuiltJob& built) {
  for (const std::string& name : names) {
    built.layout.rasterEntries.push_back(static_cast<std::int64_t>(built.spool.size()));
    built.spool.push_back(code::kRasterEntry);
    built.spool.push_back(static_cast<std::uint8_t>(name.size()));
    built.spool.insert(built.spool.end(), name.begin(), name.end());
  }
  built.layout.indexEnd = static_cast<std::int64_t>(built.spool.size());
  built.spool.push_back(code::kIndexEnd);
}

std::string BuildRasterFileAt(const SpoolJob& job, const Image& image, std::size_t index,
                              const std::string& name, RasterFile* file, ImageLayout* layout) {
  file->indexName = name;
  file->fileName = BaseName(name);
  file->bytes.assign(kRasterPrologueSize, 0);
  file->bytes[0] = code::kRasterFile;
  layout->rasterFile = static_cast<int>(index);
  return WriteImage(job, image, index, file->bytes, *layout);
}

std::string WriteRasterFiles(const SpoolJob& job, BuiltJob& built) {
  const std::vector<std::string> names = RasterNames(job);
  for (std::size_t i = 0; i < job.images.size(); ++i) {
    RasterFile file;
    ImageLayout layout;
    std::string error = BuildRasterFileAt(job, job.images[i], i, names[i], &file, &layout);
    if (!error.empty()) return error;
    built.rasterFiles.push_back(std::move(file));
    built.layout.images.push_back(std::move(layout));
  }
  WriteRasterIndex(names, built);
  return "";
}

std::string WriteFile(const std::string& path, const Bytes& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return "cannot create " + path + ": " + std::strerror(errno);
  const std::size_t written = bytes.empty() ? 0 : std::fwrite(bytes.data(), 1, bytes.size(), file);
  int failure = written == bytes.size() ? 0 : errno;
  if (std::fflush(file) != 0 && failure == 0) failure = errno;
  if (std::fclose(file) != 0 && failure == 0) failure = errno;
  if (failure == 0) return "";
  return "cannot write " + path + ": " + std::strerror(failure) + " (" + Str(written) + " of " +
         Str(bytes.size()) + " bytes handed over)";
}

}  // namespace

const SectionLayout* ImageLayout::Section(int kind) const {
  for (const SectionLayout& section : sections) {
    if (section.kind == kind) return &section;
  }
  return nullptr;
}

Bytes& BuiltJob::ImageFile(std::size_t i) {
  const int file = layout.images.at(i).rasterFile;
  return file < 0 ? spool : rasterFiles.at(static_cast<std::size_t>(file)).bytes;
}

std::string BuildSpoolJob(const SpoolJob& job, BuiltJob* out) {
  *out = BuiltJob();
  std::string error = CheckHeader(job);
  if (error.empty()) error = CheckPlacement(job);
  if (!error.empty()) return error;

  WriteSpoolHead(job, *out);
  if (job.placement == ImagePlacement::kRasterFiles) return WriteRasterFiles(job, *out);
  ImageLayout layout;
  error = WriteImage(job, job.images[0], 0, out->spool, layout);
  out->layout.images.push_back(std::move(layout));
  return error;
}

std::string BuildRasterFile(const SpoolJob& job, const Image& image, std::size_t index,
                            const std::string& indexName, RasterFile* out) {
  *out = RasterFile();
  std::string error = CheckRasterNames({indexName});
  if (!error.empty()) return error;
  ImageLayout layout;
  return BuildRasterFileAt(job, image, index, indexName, out, &layout);
}

std::string BuildRasterIndex(const SpoolJob& job, const std::vector<std::string>& rasterNames,
                             Bytes* out) {
  out->clear();
  std::string error = CheckHeader(job);
  if (error.empty()) error = CheckRasterNames(rasterNames);
  if (!error.empty()) return error;
  BuiltJob built;
  WriteSpoolHead(job, built);
  WriteRasterIndex(rasterNames, built);
  *out = std::move(built.spool);
  return "";
}

std::string WriteBuiltJob(const BuiltJob& built, const std::string& spoolPath) {
  std::string error = WriteFile(spoolPath, built.spool);
  for (std::size_t i = 0; error.empty() && i < built.rasterFiles.size(); ++i) {
    error = WriteFile(DirectoryOf(spoolPath) + built.rasterFiles[i].fileName,
                      built.rasterFiles[i].bytes);
  }
  return error;
}

std::string WriteSpoolJob(const SpoolJob& job, const std::string& spoolPath, BuiltJob* built) {
  BuiltJob local;
  BuiltJob& target = built ? *built : local;
  std::string error = BuildSpoolJob(job, &target);
  return error.empty() ? WriteBuiltJob(target, spoolPath) : error;
}

std::string RasterFilePath(const std::string& spoolPath, const std::string& indexName) {
  return DirectoryOf(spoolPath) + BaseName(indexName);
}

}  // namespace pc50::hostkit
