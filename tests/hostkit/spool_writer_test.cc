#include "spool_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

namespace pc50::hostkit {
namespace {

namespace fs = std::filesystem;

// ---- A small reader of its own, so the writer is checked against the format
// and not against itself ----

std::uint64_t Unsigned(const Bytes& b, std::size_t at, int size) {
  std::uint64_t v = 0;
  for (int i = size - 1; i >= 0; --i) v = (v << 8) | b.at(at + static_cast<std::size_t>(i));
  return v;
}
std::int16_t I16(const Bytes& b, std::size_t at) {
  return static_cast<std::int16_t>(Unsigned(b, at, 2));
}
std::uint16_t U16(const Bytes& b, std::size_t at) {
  return static_cast<std::uint16_t>(Unsigned(b, at, 2));
}
std::uint32_t U32(const Bytes& b, std::size_t at) {
  return static_cast<std::uint32_t>(Unsigned(b, at, 4));
}
std::int64_t I64(const Bytes& b, std::size_t at) {
  return static_cast<std::int64_t>(Unsigned(b, at, 8));
}
template <typename T>
T Real(const Bytes& b, std::size_t at) {
  using U = std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>;
  const U bits = static_cast<U>(Unsigned(b, at, sizeof(T)));
  T value;
  std::memcpy(&value, &bits, sizeof(T));
  return value;
}
std::string Text(const Bytes& b, std::size_t at) {
  std::string s;
  while (b.at(at) != 0) s.push_back(static_cast<char>(b.at(at++)));
  return s;
}
bool AllZero(const Bytes& b, std::size_t at, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    if (b.at(at + i) != 0) return false;
  }
  return true;
}

Row Unpack(const Bytes& b, std::size_t at, std::size_t length) {
  Row out;
  std::size_t i = at;
  while (i < at + length) {
    const int c = static_cast<std::int8_t>(b.at(i));
    if (c == -128) {
      i += 1;
    } else if (c < 0) {
      out.insert(out.end(), static_cast<std::size_t>(1 - c), b.at(i + 1));
      i += 2;
    } else {
      for (int k = 0; k <= c; ++k) out.push_back(b.at(i + 1 + static_cast<std::size_t>(k)));
      i += static_cast<std::size_t>(c) + 2;
    }
  }
  return out;
}

struct ReadPlane {
  std::int64_t header = 0;
  int bpp = 0;
  int colour = 0;
  int flag = 0;
  std::vector<Row> rows;
  std::vector<std::int64_t> rowPositions;
  std::int64_t end = 0;  // first record after the rows
  int endCode = 0;
};

struct ReadSection {
  std::int64_t position = 0;
  int kind = 0;
  std::uint32_t width = 0, height = 0;
  std::vector<std::int64_t> list;
  std::map<int, ReadPlane> planes;  // by colour number
};

// Follows a page directory the way the job reader does: directory, sections,
// plane headers, then row records from header + 6 up to the first non-row.
std::vector<ReadSection> ReadPage(const Bytes& f, std::size_t base) {
  EXPECT_EQ(f.at(base), 38);
  EXPECT_EQ(f.at(base + 2), 40);
  std::vector<ReadSection> sections;
  const int n = static_cast<std::int8_t>(f.at(base + 3));
  for (int i = 0; i < n; ++i) {
    ReadSection s;
    s.position = I64(f, base + 4 + 8 * static_cast<std::size_t>(i));
    const std::size_t p = static_cast<std::size_t>(s.position);
    EXPECT_EQ(f.at(p), 22);
    s.kind = static_cast<std::int8_t>(f.at(p + 1));
    s.width = U32(f, p + 2);
    s.height = U32(f, p + 6);
    EXPECT_EQ(f.at(p + 10), 40);
    const int m = static_cast<std::int8_t>(f.at(p + 11));
    for (int k = 0; k < m; ++k) s.list.push_back(I64(f, p + 12 + 8 * static_cast<std::size_t>(k)));
    for (std::int64_t o : s.list) {
      if (o <= 0) continue;
      const std::size_t h = static_cast<std::size_t>(o);
      EXPECT_EQ(f.at(h), 41);
      ReadPlane plane;
      plane.header = o;
      plane.bpp = static_cast<std::int8_t>(f.at(h + 1));
      plane.colour = U16(f, h + 2);
      plane.flag = U16(f, h + 4);
      std::size_t r = h + 6;
      while (f.at(r) == 20) {
        const std::size_t fields = f.at(r + 1);
        const std::size_t packed = U16(f, r + 2);
        plane.rows.push_back(Unpack(f, r + 2 + 2 * fields, packed));
        plane.rowPositions.push_back(static_cast<std::int64_t>(r));
        r += 2 + 2 * fields + packed;
      }
      plane.end = static_cast<std::int64_t>(r);
      plane.endCode = f.at(r);
      s.planes[plane.colour] = plane;
    }
    sections.push_back(s);
  }
  return sections;
}

// Rows mixing runs and noise, so that both packet kinds occur.
Cell RandomCell(std::mt19937& rng, std::uint32_t width, std::uint32_t height,
                const std::vector<int>& colours, int bpp) {
  Cell cell = FilledCell(width, height, colours, bpp);
  for (auto& [colour, plane] : cell.colours) {
    plane.contentFlag = static_cast<std::uint16_t>(colour + 1);
    for (Row& row : plane.rows) {
      for (std::size_t i = 0; i < row.size(); ++i) {
        row[i] = (rng() % 3 == 0) ? static_cast<std::uint8_t>(rng()) : (i ? row[i - 1] : 0x5A);
      }
    }
  }
  return cell;
}

SpoolJob FourColourJob() {
  SpoolJob job;
  job.colours = {"Cyan", "Magenta", "Yellow", "Black"};
  job.images.emplace_back();
  job.images[0].cells[kMain] = FilledCell(16, 3, {0, 1, 2, 3});
  return job;
}

// A framed image: every band present, colour 3 missing from the middle-right
// cell, 2 bits per pixel, colour 2 without content in the main cell.
Image FramedImage(std::mt19937& rng) {
  Image image;
  const std::vector<int> all = {0, 1, 2, 3};
  image.cells[kMain] = RandomCell(rng, 40, 5, all, 2);
  image.cells[kMiddleLeft] = RandomCell(rng, 6, 5, all, 2);
  image.cells[kMiddleRight] = RandomCell(rng, 7, 5, {0, 1, 2}, 2);
  image.cells[kFirstLeft] = RandomCell(rng, 6, 2, all, 2);
  image.cells[kFirstCentre] = RandomCell(rng, 40, 2, all, 2);
  image.cells[kFirstRight] = RandomCell(rng, 7, 2, all, 2);
  image.cells[kLastLeft] = RandomCell(rng, 6, 3, all, 2);
  image.cells[kLastCentre] = RandomCell(rng, 40, 3, all, 2);
  image.cells[kLastRight] = RandomCell(rng, 5, 3, all, 2);
  image.Main().colours[2].contentFlag = 0;
  return image;
}

// Every section, plane header and row of image reads back from f as given,
// at the positions the layout reports.
void ExpectPageReadsBack(const Bytes& f, const Image& image, const ImageLayout& layout,
                         std::size_t colourCount, std::int64_t absent = 0) {
  const std::vector<ReadSection> sections = ReadPage(f, static_cast<std::size_t>(layout.directory));
  ASSERT_EQ(sections.size(), layout.sections.size());
  for (std::size_t i = 0; i < sections.size(); ++i) {
    const ReadSection& s = sections[i];
    SCOPED_TRACE("cell kind " + std::to_string(s.kind));
    ASSERT_TRUE(image.cells.at(static_cast<std::size_t>(s.kind)).has_value());
    const Cell& cell = *image.cells[static_cast<std::size_t>(s.kind)];
    const SectionLayout& where = layout.sections[i];
    EXPECT_EQ(s.position, where.position);
    EXPECT_EQ(s.kind, where.kind);
    EXPECT_EQ(s.width, cell.width);
    EXPECT_EQ(s.height, cell.height);
    ASSERT_EQ(s.list.size(), colourCount);
    for (std::size_t c = 0; c < colourCount; ++c) {
      if (!cell.colours.count(static_cast<int>(c))) {
        EXPECT_EQ(s.list[c], absent) << "colour " << c;
      }
    }
    ASSERT_EQ(s.planes.size(), cell.colours.size());
    for (const auto& [colour, given] : cell.colours) {
      SCOPED_TRACE("colour " + std::to_string(colour));
      const ReadPlane& plane = s.planes.at(colour);
      const PlaneLayout& pw = where.colours.at(colour);
      EXPECT_EQ(plane.header, pw.header);
      EXPECT_EQ(plane.bpp, given.bitsPerPixel);
      EXPECT_EQ(plane.flag, given.contentFlag);
      EXPECT_EQ(plane.rows, given.rows);
      EXPECT_EQ(plane.endCode, 42);
      EXPECT_EQ(plane.rowPositions, pw.rows);
      EXPECT_EQ(plane.end, pw.bandEnd);
    }
  }
}

class SpoolWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp ? tmp : "/tmp") + "/pc50_writer_XXXXXX";
    ASSERT_NE(::mkdtemp(templ.data()), nullptr);
    dir_ = templ;
    spoolPath_ = dir_ + "/job.spl";
  }
  void TearDown() override { fs::remove_all(dir_); }

  static Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << path;
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  Bytes WriteAndRead(const SpoolJob& job, BuiltJob* built = nullptr) {
    const std::string error = WriteSpoolJob(job, spoolPath_, built);
    EXPECT_EQ(error, "");
    return ReadFile(spoolPath_);
  }

  std::string dir_;
  std::string spoolPath_;
};

TEST_F(SpoolWriterTest, Version6HeaderFieldsLieAtTheirOffsets) {
  SpoolJob job = FourColourJob();
  job.xResolution = 360.0f;
  job.yResolution = 90.0f;
  job.copyRowGap = 0.25f;
  job.pageLength = 5.5f;
  job.topMargin = 0.125;
  job.leftMargin = 0.375;
  job.mediaWidth = 4.25;
  job.mediaLength = 11.0;
  job.copyGap = 0.0625;
  job.colourModel = 3;
  job.SetColourPrintable(2, false);
  job.SetColourPrintable(9, false);
  job.deviceTexts = {"first", "second", "third", "fourth", std::string(127, 'v')};
  job.SetRibbonType(kFourColourRibbon);
  job.SetPrintOrder(kPrintOrderCMYK);
  job.driverOptions[255] = 0x77;
  job.SetSeparations(true);

  const Bytes f = WriteAndRead(job);
  EXPECT_EQ(I16(f, 4), 6);
  EXPECT_EQ(I16(f, 6), 3940);
  EXPECT_EQ(Real<float>(f, 712), 360.0f);
  EXPECT_EQ(Real<float>(f, 716), 90.0f);
  EXPECT_EQ(Real<float>(f, 720), 0.25f);
  EXPECT_EQ(Real<float>(f, 724), 5.5f);
  EXPECT_EQ(Real<double>(f, 776), 0.125);
  EXPECT_EQ(Real<double>(f, 784), 0.375);
  EXPECT_EQ(Real<double>(f, 808), 4.25);
  EXPECT_EQ(Real<double>(f, 816), 11.0);
  EXPECT_EQ(Real<double>(f, 824), 0.0625);
  EXPECT_EQ(I16(f, 3834), 3);
  EXPECT_TRUE(AllZero(f, 856, 4));  // the version-5 resolution fields stay empty
  // Colour bits count from the least significant bit of the first byte.
  EXPECT_EQ(Bytes(f.begin() + 3838, f.begin() + 3841), (Bytes{0xFB, 0xFD, 0xFF}));
  EXPECT_EQ(f.at(3838 + 30), 0xFF);
  EXPECT_EQ(Text(f, 584), "first");
  EXPECT_EQ(Text(f, 3704), "second");
  EXPECT_EQ(Text(f, 3768), "third");
  EXPECT_EQ(Text(f, 648), "fourth");
  EXPECT_EQ(Text(f, 264), std::string(127, 'v'));
  EXPECT_EQ(Bytes(f.begin() + 2552, f.begin() + 2555), (Bytes{20, 0, 1}));
  EXPECT_EQ(f.at(2552 + 255), 0x77);
  EXPECT_EQ(U16(f, 3932), 1);
}

TEST_F(SpoolWriterTest, Version5HeaderCarriesIntegerResolutionsAndNoMask) {
  SpoolJob job = FourColourJob();
  job.version = 5;
  job.xResolution = 90.0f;
  job.yResolution = 180.0f;
  job.copyRowGap = 0.5f;  // not part of a version-5 header
  job.copyGap = 0.25;
  job.SetColourPrintable(0, false);

  const Bytes f = WriteAndRead(job);
  EXPECT_EQ(I16(f, 4), 5);
  EXPECT_EQ(I16(f, 856), 90);
  EXPECT_EQ(I16(f, 858), 180);
  EXPECT_EQ(Real<double>(f, 824), 0.25);
  EXPECT_TRUE(AllZero(f, 712, 12));
  EXPECT_TRUE(AllZero(f, 3838, 31));
  // Default driver options: initialised, single-colour ribbons, YMCK.
  EXPECT_EQ(Bytes(f.begin() + 2552, f.begin() + 2555), (Bytes{20, 1, 0}));
  EXPECT_EQ(U16(f, 3932), 0);
}

TEST_F(SpoolWriterTest, InlineIndexIsRecord21ThenColourListThenPageData) {
  SpoolJob job = FourColourJob();
  job.indexPosition = 4000;
  job.record21 = std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  job.colours[3] = std::string(32, 'K');  // a full-width name has no terminator

  BuiltJob built;
  const Bytes f = WriteAndRead(job, &built);
  EXPECT_EQ(f, built.spool);
  EXPECT_TRUE(AllZero(f, 3940, 60));
  ASSERT_EQ(I16(f, 6), 4000);
  EXPECT_EQ(f.at(4000), 21);
  EXPECT_EQ(U16(f, 4002), 10);
  EXPECT_EQ(f.at(4004), 1);
  EXPECT_EQ(f.at(4013), 10);
  EXPECT_EQ(built.layout.record21, 4000);

  const std::size_t list = 4000 + 4 + 10;
  EXPECT_EQ(built.layout.colourList, static_cast<std::int64_t>(list));
  ASSERT_EQ(f.at(list), 30);
  ASSERT_EQ(f.at(list + 1), 4);
  EXPECT_EQ(Text(f, list + 2 + 4), "Cyan");
  EXPECT_EQ(Text(f, list + 2 + 36 + 4), "Magenta");
  EXPECT_EQ(Text(f, list + 2 + 72 + 4), "Yellow");
  EXPECT_EQ(std::string(f.begin() + list + 2 + 108 + 4, f.begin() + list + 2 + 144),
            std::string(32, 'K'));

  const std::size_t page = list + 2 + 36 * 4;
  EXPECT_EQ(f.at(page), 38);
  EXPECT_EQ(built.layout.images.at(0).directory, static_cast<std::int64_t>(page));
  EXPECT_EQ(built.layout.images[0].rasterFile, -1);
  // One plane section, closed by record 23 as the last byte; no index end.
  ASSERT_EQ(built.layout.images[0].sectionEnds.size(), 1u);
  EXPECT_EQ(built.layout.images[0].sectionEnds[0], static_cast<std::int64_t>(f.size() - 1));
  EXPECT_EQ(f.back(), 23);
  EXPECT_EQ(built.layout.indexEnd, -1);
  ExpectPageReadsBack(f, job.images[0], built.layout.images[0], 4);
}

TEST_F(SpoolWriterTest, RasterFilesAreNamedInTheIndexAndLieBesideTheSpoolFile) {
  std::mt19937 rng(7);
  SpoolJob job = FourColourJob();
  job.placement = ImagePlacement::kRasterFiles;
  job.images.push_back(FramedImage(rng));
  job.rasterFileNames = {"sub\\page1.dat", "p2.dat"};

  BuiltJob built;
  const Bytes f = WriteAndRead(job, &built);
  const std::size_t entry = 3940 + 2 + 36 * 4;
  ASSERT_EQ(f.at(entry), 125);
  ASSERT_EQ(f.at(entry + 1), 13);
  EXPECT_EQ(std::string(f.begin() + entry + 2, f.begin() + entry + 15), "sub\\page1.dat");
  const std::size_t entry2 = entry + 15;
  ASSERT_EQ(f.at(entry2), 125);
  ASSERT_EQ(f.at(entry2 + 1), 6);
  EXPECT_EQ(std::string(f.begin() + entry2 + 2, f.begin() + entry2 + 8), "p2.dat");
  EXPECT_EQ(f.at(entry2 + 8), 12);
  EXPECT_EQ(f.size(), entry2 + 9);
  EXPECT_EQ(built.layout.rasterEntries,
            (std::vector<std::int64_t>{static_cast<std::int64_t>(entry),
                                       static_cast<std::int64_t>(entry2)}));
  EXPECT_EQ(built.layout.indexEnd, static_cast<std::int64_t>(entry2 + 8));

  EXPECT_EQ(RasterFilePath(spoolPath_, "sub\\page1.dat"), dir_ + "/page1.dat");
  const Bytes r1 = ReadFile(dir_ + "/page1.dat");
  const Bytes r2 = ReadFile(dir_ + "/p2.dat");
  for (const Bytes* r : {&r1, &r2}) {
    EXPECT_EQ(r->at(0), 24);
    EXPECT_TRUE(AllZero(*r, 1, 15));
    EXPECT_EQ(r->at(16), 38);
  }
  ASSERT_EQ(built.layout.images.size(), 2u);
  EXPECT_EQ(built.layout.images[1].rasterFile, 1);
  EXPECT_EQ(built.layout.images[1].directory, 16);
  ExpectPageReadsBack(r1, job.images[0], built.layout.images[0], 4);
  ExpectPageReadsBack(r2, job.images[1], built.layout.images[1], 4);
  std::vector<int> kinds;  // sections in ascending kind order
  for (const SectionLayout& s : built.layout.images[1].sections) kinds.push_back(s.kind);
  EXPECT_EQ(kinds, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));

  // Written a page at a time, the job has the same bytes.
  Bytes index;
  ASSERT_EQ(BuildRasterIndex(job, job.rasterFileNames, &index), "");
  EXPECT_EQ(index, f);
  for (std::size_t i = 0; i < job.images.size(); ++i) {
    RasterFile file;
    ASSERT_EQ(BuildRasterFile(job, job.images[i], i, job.rasterFileNames[i], &file), "");
    EXPECT_EQ(file.bytes, i == 0 ? r1 : r2) << i;
    EXPECT_EQ(file.fileName, i == 0 ? "page1.dat" : "p2.dat");
  }
  RasterFile unnamed;
  EXPECT_NE(BuildRasterFile(job, job.images[0], 0, "sub\\", &unnamed), "");
}

TEST_F(SpoolWriterTest, DirectoryOrderAbsentPositionAndRowFieldsFollowTheJob) {
  std::mt19937 rng(3);
  SpoolJob job = FourColourJob();
  job.images[0].cells[kMain] = RandomCell(rng, 300, 4, {0, 3}, 8);
  job.images[0].cells[kFirstLeft] = RandomCell(rng, 9, 2, {3}, 8);
  job.images[0].directoryOrder = {kMain, kFirstLeft};
  job.absentPlanePosition = -1;
  job.rowFieldCount = 3;

  BuiltJob built;
  const Bytes f = WriteAndRead(job, &built);
  const ImageLayout& layout = built.layout.images[0];
  ASSERT_EQ(layout.sections.size(), 2u);
  EXPECT_EQ(layout.sections[0].kind, kMain);
  EXPECT_EQ(layout.sections[1].kind, kFirstLeft);
  ExpectPageReadsBack(f, job.images[0], layout, 4, -1);
  // Row record: code, n, L, n - 1 further fields, then L bytes of data.
  const std::size_t row = static_cast<std::size_t>(layout.sections[0].colours.at(0).rows[0]);
  const std::size_t next = static_cast<std::size_t>(layout.sections[0].colours.at(0).rows[1]);
  EXPECT_EQ(f.at(row + 1), 3);
  EXPECT_EQ(next - row, 2u + 2 * 3 + U16(f, row + 2));
  EXPECT_TRUE(AllZero(f, row + 4, 4));
}

TEST_F(SpoolWriterTest, SeparationsGiveEachColourItsOwnPlaneSection) {
  std::mt19937 rng(5);
  SpoolJob job = FourColourJob();
  job.colours.resize(2);
  job.SetSeparations(true);
  job.images[0].cells[kMain] = RandomCell(rng, 24, 3, {0, 1}, 1);
  job.images[0].cells[kMiddleLeft] = RandomCell(rng, 8, 3, {0, 1}, 1);

  BuiltJob built;
  const Bytes f = WriteAndRead(job, &built);
  const ImageLayout& layout = built.layout.images[0];
  ExpectPageReadsBack(f, job.images[0], layout, 2);
  ASSERT_EQ(layout.sectionEnds.size(), 2u);
  // Both section records precede every plane header; each colour's data in
  // every cell lies before its record 23, the next colour's after it.
  const auto& left = layout.Section(kMiddleLeft)->colours;
  const auto& main = layout.Section(kMain)->colours;
  EXPECT_LT(layout.sections.back().position, left.at(0).header);
  for (int c = 0; c < 2; ++c) {
    const std::int64_t end = layout.sectionEnds[static_cast<std::size_t>(c)];
    EXPECT_EQ(f.at(static_cast<std::size_t>(end)), 23);
    EXPECT_LT(left.at(c).bandEnd, end);
    EXPECT_LT(main.at(c).bandEnd, end);
    if (c > 0) {
      EXPECT_GT(left.at(c).header, layout.sectionEnds[0]);
      EXPECT_GT(main.at(c).header, layout.sectionEnds[0]);
    }
  }
  EXPECT_EQ(layout.sectionEnds.back(), static_cast<std::int64_t>(f.size() - 1));
}

TEST_F(SpoolWriterTest, RejectsDescriptionsItCannotWrite) {
  struct Case {
    const char* reason;
    std::function<void(SpoolJob&)> damage;
  };
  const std::vector<Case> cases = {
      {"exactly one image", [](SpoolJob& j) { j.images.push_back(j.images[0]); }},
      {"device text 4", [](SpoolJob& j) { j.deviceTexts[3] = std::string(64, 'x'); }},
      {"longer than 32", [](SpoolJob& j) { j.colours[0] = std::string(33, 'c'); }},
      {"16-bit field",
       [](SpoolJob& j) {
         j.version = 5;
         j.yResolution = 40000.0f;
       }},
      {"3 bits per pixel", [](SpoolJob& j) { j.images[0].Main().colours[0].bitsPerPixel = 3; }},
      {"2 rows for height 3", [](SpoolJob& j) { j.images[0].Main().colours[1].rows.pop_back(); }},
      {"row 1: 3 bytes", [](SpoolJob& j) { j.images[0].Main().colours[2].rows[1].push_back(0); }},
      {"colour list has 4", [](SpoolJob& j) { j.images[0].Main().colours[4] = CellPlane(); }},
      {"differs from its band's",
       [](SpoolJob& j) { j.images[0].cells[kMiddleRight] = FilledCell(8, 2, {0}); }},
      {"as wide as the main cell",
       [](SpoolJob& j) { j.images[0].cells[kLastCentre] = FilledCell(15, 1, {0}); }},
      {"at most 9",
       [](SpoolJob& j) {
         for (int k = 0; k < kCellKindCount; ++k) j.images[0].cells[k] = FilledCell(16, 3, {0});
       }},
      {"which has no cell",
       [](SpoolJob& j) {
         j.images[0].directoryOrder = {5, 9};
       }},
      {"1..127 characters",
       [](SpoolJob& j) {
         j.placement = ImagePlacement::kRasterFiles;
         j.rasterFileNames = {std::string(128, 'n')};
       }},
      {"share the name",
       [](SpoolJob& j) {
         j.placement = ImagePlacement::kRasterFiles;
         j.images.push_back(j.images[0]);
         j.rasterFileNames = {"a\\x.dat", "b\\x.dat"};
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    SpoolJob job = FourColourJob();
    c.damage(job);
    BuiltJob built;
    const std::string error = BuildSpoolJob(job, &built);
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    EXPECT_NE(WriteSpoolJob(job, spoolPath_), "");
  }
  EXPECT_FALSE(fs::exists(spoolPath_));
}

TEST_F(SpoolWriterTest, LenientJobsAreWrittenAsGiven) {
  SpoolJob job = FourColourJob();
  job.strict = false;
  job.images[0].Main().colours[0].bitsPerPixel = 3;
  job.images[0].Main().colours[0].rows = {Row(40, 0xAB)};  // one long row for height 3
  job.images[0].Main().colours[9] = CellPlane();           // beyond the colour list

  BuiltJob built;
  const Bytes f = WriteAndRead(job, &built);
  const SectionLayout& main = built.layout.images[0].sections.at(0);
  const std::size_t header = static_cast<std::size_t>(main.colours.at(0).header);
  EXPECT_EQ(f.at(header + 1), 3);
  EXPECT_EQ(f.at(static_cast<std::size_t>(main.position) + 11), 10);  // list covers colour 9
  const std::vector<ReadSection> page =
      ReadPage(f, static_cast<std::size_t>(built.layout.images[0].directory));
  ASSERT_EQ(page.size(), 1u);
  EXPECT_EQ(page[0].planes.at(0).rows, (std::vector<Row>{Row(40, 0xAB)}));
  EXPECT_TRUE(page[0].planes.at(9).rows.empty());
}

TEST_F(SpoolWriterTest, BuiltBytesCanBeDamagedBeforeWriting) {
  SpoolJob job = FourColourJob();
  job.placement = ImagePlacement::kRasterFiles;
  BuiltJob built;
  ASSERT_EQ(BuildSpoolJob(job, &built), "");
  built.spool[static_cast<std::size_t>(built.layout.colourList)] = 31;
  PutLE<std::uint32_t>(built.ImageFile(0),
                       static_cast<std::size_t>(built.layout.images[0].sections[0].position) + 2,
                       999);
  ASSERT_EQ(WriteBuiltJob(built, spoolPath_), "");
  EXPECT_EQ(ReadFile(spoolPath_).at(static_cast<std::size_t>(built.layout.colourList)), 31);
  const Bytes raster = ReadFile(dir_ + "/page1.dat");
  EXPECT_EQ(U32(raster, static_cast<std::size_t>(built.layout.images[0].sections[0].position) + 2),
            999u);
}

TEST_F(SpoolWriterTest, WriteFailuresNameTheFile) {
  const SpoolJob job = FourColourJob();
  const std::string missing = dir_ + "/no/such/dir/job.spl";
  const std::string error = WriteSpoolJob(job, missing);
  EXPECT_NE(error.find("cannot create " + missing), std::string::npos) << error;

  if (fs::exists("/dev/full")) {
    const std::string full = WriteSpoolJob(job, "/dev/full");
    EXPECT_NE(full.find("cannot write /dev/full"), std::string::npos) << full;
  }
}

}  // namespace
}  // namespace pc50::hostkit
