// Writes the seed corpora of the fuzz targets into <dir>/<target>/:
//
//   fuzz_corpus_generator fuzz/corpus
//
// Stream seeds are real PC-50 streams, produced by the device on small pages
// (single-colour passes, the four-colour pass, a spot colour, two pages),
// plus a few bare fragments. Option-string seeds cover both forms and the
// malformed decimal cases. Spool store seeds lay out the chunk chains worth
// exploring and drive each through a few operations. Row composition seeds
// cover every depth and repeat with runs longer than one block of source;
// PackBits seeds are the encoder's packet-choice cases and damaged packets.
// Whole-job seeds are small spool jobs from the host kit's writer: inline
// and in raster files, every cell kind, each output mode, separations.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "device/pc50_device.h"
#include "device/settings_block.h"
#include "pc50/pc50.h"
#include "platform/diagnostics.h"
#include "spool_store_input.h"
#include "spool_writer.h"
#include "stream_decoder.h"
#include "whole_job_input.h"

namespace {

std::string g_root;
int g_written = 0;

void MakeDirectory(const std::string& path) {
  if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
    std::fprintf(stderr, "cannot create %s\n", path.c_str());
    std::exit(1);
  }
}

void Put(const std::string& target, const std::string& name, const std::string& bytes) {
  MakeDirectory(g_root + "/" + target);
  const std::string path = g_root + "/" + target + "/" + name;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() || std::fclose(file) != 0) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
  ++g_written;
}

// ---- Option strings -------------------------------------------------------------

// Selector bit 0: nibble form ("DriverOptionBinary=" prefix), else decimal
// ("DriverOption" prefix). Other bits vary the fuzzer's buffers.
void OptionSeeds() {
  const auto decimal = [](const std::string& name, const std::string& rest, char selector = 0) {
    Put("option_strings_fuzzer", name, std::string(1, selector) + rest);
  };
  decimal("decimal_both", "0=0 DriverOption1=1");
  decimal("decimal_order_only", "1=1");
  decimal("decimal_unchanged_255", "0=255");
  decimal("decimal_stops_at_index_2", "2=5 DriverOption0=0");
  decimal("decimal_no_value", "0=");
  decimal("decimal_signs_and_blanks", " -1 =\t+7 DriverOption 0= -2");
  decimal("decimal_long_number", "0=123456789012345678901234567890 DriverOption1=-257");
  decimal("decimal_equals_of_next", "0 DriverOption1=3");
  decimal("decimal_becomes_nibble", "Binary=140100");

  std::string block = "140000";  // tag 20, ribbon 0, order 0
  for (int i = 3; i < 200; ++i) {
    block += static_cast<char>('0' + (i * 5 % 16));
    block += static_cast<char>('0' + (i % 16));
  }
  Put("option_strings_fuzzer", "nibble_full", std::string(1, '\x01') + block);
  Put("option_strings_fuzzer", "nibble_short", std::string(1, '\x01') + "14010");
  Put("option_strings_fuzzer", "nibble_outside_range", std::string(1, '\x03') + "zz\x7f\x80?" "0");
  Put("option_strings_fuzzer", "display_colons", std::string(1, '\x86') + "Print Order:YMCK,CMYK;Ribbon:A,B;");
}

// ---- Streams ----------------------------------------------------------------------

class CapturePort : public ABasePort {
 public:
  int SendData(const void* data, int length, int) override {
    bytes.append(static_cast<const char*>(data), static_cast<std::size_t>(length));
    return length;
  }
  std::string bytes;
};

using Rows = std::vector<std::string>;

struct PageSpec {
  std::uint8_t ribbon = 1;  // 1 single-colour ribbons, else the four-colour ribbon
  std::uint8_t order = 0;
  int topMargin = 1;
  int width = 32;
  std::map<int, std::pair<const char*, Rows>> planes;  // plane -> colour name, rows
};

// Sends the planes as the raster driver does: plane after plane when the
// device takes whole planes, otherwise plane by plane per row.
bool SendPlanes(pc50::APC50Device& device, const PageSpec& layout) {
  const auto data = [](const std::string& row) { return reinterpret_cast<const std::uint8_t*>(row.data()); };
  if (device.GetRowsPerPlane() == 0) {
    for (const auto& [first, plane] : layout.planes) {
      int index = first;
      for (const std::string& row : plane.second) {
        if (!device.PutRow(&index, static_cast<int>(row.size()), data(row))) return false;
      }
      if (!device.EndPlane(first)) return false;
    }
    return device.EndPage() != 0;
  }
  int index = layout.planes.begin()->first;
  for (std::size_t r = 0; r < layout.planes.begin()->second.second.size(); ++r) {
    for (std::size_t k = 0; k < layout.planes.size(); ++k) {
      const std::string& row = layout.planes.at(index).second[r];
      if (!device.PutRow(&index, static_cast<int>(row.size()), data(row))) return false;
    }
  }
  return true;
}

std::string RenderPages(const std::vector<PageSpec>& pages) {
  CapturePort port;
  JobContext job;
  InitJobContext(&job);
  job.promptMode = 0;
  for (const PageSpec& layout : pages) {
    auto settings = std::make_unique<pc50::SettingsBlock>();
    settings->driverOptions[0] = 20;
    settings->driverOptions[1] = layout.ribbon;
    settings->driverOptions[2] = layout.order;
    settings->topMargin = layout.topMargin;
    settings->firstPlane = 255;
    for (const auto& [index, plane] : layout.planes) {
      settings->planes[index].enabled = 1;
      std::strncpy(settings->planes[index].name, plane.first, 32);
      if (index < settings->firstPlane) settings->firstPlane = index;
      if (index > settings->lastPlane) settings->lastPlane = index;
    }
    pc50::APC50Device device;
    device.Attach(&job, settings.get());
    device.SetXResolution(180.0f);
    device.SetYResolution(180.0f);
    device.port = &port;
    const int rows = static_cast<int>(layout.planes.begin()->second.second.size());
    if (device.StartJob(layout.width, rows, 1) != 1 || !SendPlanes(device, layout) || !device.EndJob()) {
      std::fprintf(stderr, "the device refused a seed page: %s\n", pc50::LastFailure());
      std::exit(1);
    }
  }
  // A seed the decoder refuses would only exercise its first fault.
  const pc50::hostkit::DecodeResult decoded = pc50::hostkit::DecodeStream(port.bytes);
  if (!decoded.ok || decoded.pages.size() != pages.size()) {
    std::fprintf(stderr, "a device seed does not decode: %s\n", decoded.error.ToString().c_str());
    std::exit(1);
  }
  return port.bytes;
}

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int v : values) bytes += static_cast<char>(v);
  return bytes;
}

void StreamSeeds() {
  const std::string zeros(4, '\0'), ramp = Bytes({1, 2, 3, 4}), edge = Bytes({0xFF, 0xFF, 0, 0x0F});
  const std::string wide = std::string(20, '\x55') + std::string(12, '\0');

  PageSpec single;
  single.planes = {{0, {"Yellow", {ramp, zeros}}}, {2, {"Cyan", {edge, ramp}}}, {3, {"Black", {zeros, edge}}}};
  Put("stream_decoder_fuzzer", "device_single_colour_ymck", RenderPages({single}));

  PageSpec cmyk = single;
  cmyk.order = 1;
  cmyk.width = 256;
  cmyk.planes = {{0, {"Cyan", {wide, ramp, wide}}}, {4, {"Spot1", {edge, wide, zeros}}}};
  Put("stream_decoder_fuzzer", "device_single_colour_cmyk_spot", RenderPages({cmyk}));

  PageSpec four;
  four.ribbon = 0;
  four.topMargin = 2;
  four.planes = {{0, {"Black", {ramp, zeros}}}, {1, {"Cyan", {edge, ramp}}}};
  Put("stream_decoder_fuzzer", "device_four_colour", RenderPages({four}));

  PageSpec gold = four;
  gold.planes = {{0, {"Black", {ramp, zeros}}}, {1, {"Cyan", {edge, ramp}}}, {9, {"Gold", {edge, zeros}}}};
  Put("stream_decoder_fuzzer", "device_four_colour_and_gold", RenderPages({gold}));

  Put("stream_decoder_fuzzer", "device_two_pages", RenderPages({single, four}));

  // Bare fragments.
  Put("stream_decoder_fuzzer", "empty", "");
  Put("stream_decoder_fuzzer", "reset", "\x1b" "E");
  Put("stream_decoder_fuzzer", "blank_row_only", "\x1b*b0W");
  Put("stream_decoder_fuzzer", "page_advance_only", "\x1b%0BPU;PG;");
  Put("stream_decoder_fuzzer", "combined_palette",
      "\x1b%0BPU;PA0,0;!CL5;\x1b%1A\x1b*v6W" + Bytes({1, 0, 1, 1, 1, 1}) +
          "\x1b*v1a1b1c0I\x1b*b0M\x1b*b1V\x80\x1b*b1W\x01\x1b*rC");
  Put("stream_decoder_fuzzer", "packbits_runs",
      "\x1b*t360R\x1b%0BPU;PA0,0;!CL13;\x1b%1A\x1b*b2M\x1b*b4W\x81\xAA\xFE\x01\x1b*rC");
}

// ---- Spool store ---------------------------------------------------------------------

namespace si = pc50::fuzz::spool_input;

class StoreSeed {
 public:
  // chunk0: 0 absent, 1 tiny (size), 2 one chunk size. sizes: chunks 1..4,
  // -1 absent. far: index 5..255 or 0 for none.
  StoreSeed(int chunk0, int size0, std::initializer_list<int> sizes, int far = 0, int farSize = 0) {
    bytes_ += static_cast<char>(chunk0 == 1 ? 1 + 3 * size0 : chunk0);
    for (int size : sizes) bytes_ += static_cast<char>(size < 0 ? 0 : 1 + 4 * size);
    for (std::size_t k = sizes.size(); k < 4; ++k) bytes_ += '\0';
    bytes_ += static_cast<char>(far >= 5 ? far - 5 : 0);
    bytes_ += static_cast<char>(far >= 5 ? 1 + 2 * farSize : 0);
  }
  StoreSeed& Seek(int kind, int small, int origin, int chunk = 0) {
    return Op(si::kSeek).Distance(kind, small, chunk).Raw(origin);
  }
  StoreSeed& Read(int kind, int small, int origin, int count, int chunk = 0) {
    return Op(si::kRead).Distance(kind, small, chunk).Raw(origin).Count(count);
  }
  StoreSeed& ReadOn(int count) { return Op(si::kReadOn).Count(count); }
  StoreSeed& Write(int kind, int small, int origin, int countCode, int chunk = 0) {
    return Op(si::kWrite).Distance(kind, small, chunk).Raw(origin).Raw(countCode).Raw(0x5A);
  }
  StoreSeed& SetEnd() { return Op(si::kSetEnd); }
  StoreSeed& ChunkName(int k) {
    Op(si::kChunkName);
    return k + 8 > 255 ? Raw(k + 8 - 256).Raw(0xFF) : Raw(k + 8).Raw(0);
  }
  StoreSeed& Reopen() { return Op(si::kReopen); }
  StoreSeed& Delete() { return Op(si::kDelete); }
  // Ends a session; explicit Close or the destructor's.
  StoreSeed& End(bool close = true) { return Op(si::kEnd).Raw(close ? 1 : 0); }
  const std::string& bytes() const { return bytes_; }

 private:
  StoreSeed& Raw(int b) {
    bytes_ += static_cast<char>(b);
    return *this;
  }
  StoreSeed& Op(int op) { return Raw(op); }
  StoreSeed& Distance(int kind, int small, int chunk) { return Raw(kind | (chunk << 4)).Raw(small); }
  StoreSeed& Count(int count) {
    if (count < 128) return Raw(0).Raw(count);
    return Raw(0x80).Raw(count & 0xFF).Raw((count >> 8) & 0x1F);
  }
  std::string bytes_;
};

void StoreSeeds() {
  const auto put = [](const char* name, const StoreSeed& seed) { Put("spool_store_fuzzer", name, seed.bytes()); };
  // A full chunk 0 with a chain of short chunks and a stray after a gap.
  put("chain_read_across_boundaries",
      StoreSeed(2, 0, {10, 5, -1, 3})
          .Read(si::kBeforeEnd, 4, 0, 20).Seek(si::kSmall, 0, 2).ReadOn(8).End()
          .Write(si::kInChunk, 3, 0, 12, 2).SetEnd().Read(si::kInChunk, 0, 0, 40, 1).End()
          .Read(si::kBeforeEnd, 2, 0, 300).End());
  // A short chunk 0: every other chunk is a stray.
  put("short_chunk0_strays",
      StoreSeed(1, 10, {8, 8}).Read(si::kSmall, 0, 0, 50).End()
          .Seek(si::kInChunk, 5, 0, 1).Write(si::kSmall, 0, 1, 16).End()
          .Read(si::kBeforeEnd, 2, 0, 30).End());
  // No chunk 0: read-only open fails, read-write creates it.
  put("missing_chunk0",
      StoreSeed(0, 0, {4}).Read(si::kSmall, 0, 0, 4).End()
          .Write(si::kSmall, 7, 0, 0x85).Reopen().Read(si::kSmall, 0, 0, 200).Delete().Write(si::kSmall, 0, 0, 3).End()
          .End());
  // A gap after chunk 0 and a chunk at the far end of the names.
  put("gap_and_far_chunk",
      StoreSeed(2, 0, {-1, 6}, 255, 9).Seek(si::kSmall, 0, 2).ReadOn(5).End().Seek(si::kSmall, 0, 2).End().End());
  // An empty chunk 1 next to a full chunk 0, and chunk 5 continuing a chain.
  put("empty_chunk1", StoreSeed(2, 0, {0, 3}).Read(si::kInChunk, 0, 0, 9, 1).End().End().End());
  put("chain_of_five", StoreSeed(2, 0, {4, 4, 4, 4}, 5, 3).Seek(si::kSmall, 0, 2).Read(si::kBack, 12, 1, 20).End()
                           .SetEnd().End().End());
  // Far positions: just below and past the largest size, both extremes.
  put("far_positions",
      StoreSeed(2, 0, {2}).Seek(si::kNearLimit, 0, 0).ReadOn(4).Seek(si::kPastLimit, 0, 0)
          .Seek(si::kHugeUp, 0, 1).Seek(si::kHugeDown, 0, 1).Seek(si::kBackChunks, 9, 1, 3).End()
          .Seek(si::kPastLimit, 1, 0).Seek(si::kBack, 5, 0).Write(si::kSmall, 0, 3, 4).End().End());
  // Reading on from a full last chunk creates the next one; Close removes it.
  put("read_into_new_chunk",
      StoreSeed(2, 0, {}).End().Read(si::kBeforeEnd, 3, 0, 10).ReadOn(4).End().Read(si::kInChunk, 0, 0, 4, 1).End());
  // Writes crossing a chunk boundary, a refused huge write, a cut.
  put("write_across_boundary",
      StoreSeed(1, 30, {}).End()
          .Write(si::kBeforeEnd, 5, 0, 0x90).Write(si::kSmall, 0, 1, 0xFF).Seek(si::kBack, 100, 1).SetEnd()
          .Write(si::kShifted, 0, 2, 9).End()
          .Read(si::kBeforeEnd, 8, 0, 0x200).End());
  put("chunk_names", StoreSeed(2, 0, {1}).ChunkName(0).ChunkName(1).ChunkName(255).ChunkName(256).ChunkName(-3).End(false)
                         .ChunkName(10).Reopen().ChunkName(16).End(false).End());
}

// ---- PackBits -------------------------------------------------------------------------

// Two bytes of decoder capacity, then the row (also read as packets).
void PackBitsSeeds() {
  const auto put = [](const std::string& name, int capacity, const std::string& row) {
    Put("packbits_fuzzer", name, Bytes({capacity & 0xFF, capacity >> 8}) + row);
  };
  put("four_zeros", 16, std::string(4, '\0'));
  put("three_distinct", 3, Bytes({1, 2, 3}));
  put("pair_after_literal", 8, Bytes({1, 2, 2, 3}));
  put("pair_at_start", 8, Bytes({5, 5, 1, 2}));
  put("run_of_130", 300, std::string(130, '\xAA'));
  put("run_of_129_then_one", 300, std::string(129, '\xAA') + Bytes({1}));
  std::string distinct;
  for (int i = 0; i < 300; ++i) distinct += static_cast<char>(i % 2 == 0 ? i % 251 : 255 - i % 251);
  put("three_hundred_distinct", 400, distinct);
  put("packets_noop_and_truncated", 64, Bytes({0x80, 0x02, 'a', 'b', 'c', 0xFD, 'x', 0x05, 'y'}));
  put("packets_overflow", 4, Bytes({0x81, 0x11}));
}

// ---- Row composition ------------------------------------------------------------------

// shape (depth index | (repeat - 1) << 2), start bit, count (u16), seven
// ScaleRow argument bytes, then pixel bytes.
void ScaleRowSeeds() {
  const int depths[4] = {1, 2, 4, 8};
  for (int depth = 0; depth < 4; ++depth) {
    for (int repeat = 1; repeat <= 3; ++repeat) {
      const int count = depth == 3 ? 300 : 1100;  // past a 64-byte block of source
      std::string seed;
      seed += static_cast<char>(depth | (repeat - 1) << 2);
      seed += static_cast<char>(3 * repeat + depth);  // start bit
      seed += static_cast<char>(count & 0xFF);
      seed += static_cast<char>(count >> 8);
      seed += Bytes({5, 17, 90, 3, 13, 33, 7});  // lead, left, mid, copies, gap, right, parts
      for (int i = 0; i < 48; ++i) seed += static_cast<char>(i % 3 == 0 ? 0 : (i * 37 + depth) & 0xFF);
      Put("scale_row_fuzzer", "depth" + std::to_string(depths[depth]) + "_repeat" + std::to_string(repeat), seed);
    }
  }
}


// ---- Whole jobs -----------------------------------------------------------------------

namespace hk = pc50::hostkit;
namespace wj = pc50::fuzz::whole_job;

// Rows with runs and noise, so that packed rows vary.
hk::Cell SeedCell(std::uint32_t width, std::uint32_t height, const std::vector<int>& colours, unsigned seed,
                  int bitsPerPixel = 1) {
  hk::Cell cell;
  cell.width = width;
  cell.height = height;
  std::uint32_t state = seed * 2654435761u + 12345u;
  for (int colour : colours) {
    hk::CellPlane& plane = cell.colours[colour];
    plane.bitsPerPixel = bitsPerPixel;
    for (std::uint32_t r = 0; r < height; ++r) {
      hk::Row row(hk::RowBytes(width, bitsPerPixel));
      for (std::uint8_t& byte : row) {
        state = state * 1664525u + 1013904223u;
        const unsigned pick = (state >> 24) % 6;
        byte = pick < 2 ? 0x00 : pick < 4 ? 0xFF : static_cast<std::uint8_t>(state >> 8);
      }
      plane.rows.push_back(row);
    }
  }
  return cell;
}

hk::SpoolJob SeedJob(std::uint8_t ribbon, std::vector<std::string> colours) {
  hk::SpoolJob job;
  job.SetRibbonType(ribbon);
  job.colours = std::move(colours);
  job.mediaWidth = 1.0;
  job.mediaLength = 1.0;
  job.topMargin = 2.0 / 180.0;
  return job;
}

std::vector<int> Range(int n) {
  std::vector<int> all;
  for (int i = 0; i < n; ++i) all.push_back(i);
  return all;
}

hk::Image MainOnly(std::uint32_t width, std::uint32_t height, const std::vector<int>& colours, unsigned seed) {
  hk::Image image;
  image.cells[hk::kMain] = SeedCell(width, height, colours, seed);
  return image;
}

void PutJob(const std::string& name, const hk::SpoolJob& job, int copies, bool drain = true,
            bool singlePage = false) {
  hk::BuiltJob built;
  const std::string error = hk::BuildSpoolJob(job, &built);
  if (!error.empty()) {
    std::fprintf(stderr, "whole-job seed %s cannot be built: %s\n", name.c_str(), error.c_str());
    std::exit(1);
  }
  const auto text = [](const hk::Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); };
  std::vector<std::string> rasters;
  for (const hk::RasterFile& file : built.rasterFiles) rasters.push_back(text(file.bytes));
  const std::string input =
      wj::MakeInput(job.driverOptions[1], job.driverOptions[2], static_cast<std::int8_t>(job.colourModel),
                    wj::Flags(drain, copies, singlePage), text(built.spool), rasters);
  // The fuzzer must read back exactly these files, under these names.
  const wj::Job parsed =
      wj::ParseJob(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
  bool same = text(parsed.spool) == text(built.spool) && parsed.rasters.size() == built.rasterFiles.size();
  for (std::size_t k = 0; same && k < parsed.rasters.size(); ++k) {
    same = parsed.rasters[k].fileName == built.rasterFiles[k].fileName &&
           text(parsed.rasters[k].bytes) == text(built.rasterFiles[k].bytes);
  }
  if (!same) {
    std::fprintf(stderr, "whole-job seed %s does not read back as written\n", name.c_str());
    std::exit(1);
  }
  Put("whole_job_fuzzer", name, input);
}

void WholeJobSeeds() {
  const std::vector<std::string> cmyk = {"Cyan", "Magenta", "Yellow", "Black"};
  const std::vector<std::string> cmykGold = {"Cyan", "Magenta", "Yellow", "Black", "Gold"};

  // Output mode 1: one pass per plane; separator lines between page lengths.
  hk::SpoolJob single = SeedJob(hk::kSingleColourRibbons, cmyk);
  single.pageLength = 10.0f / 180.0f;
  single.images.push_back(MainOnly(24, 4, {0, 2, 3}, 1));
  PutJob("inline_single_colour", single, 2);

  // Output mode 2: the interleaved four-colour pass, repeat 2 down and
  // across (90 dpi requested), print order CMYK, host not draining.
  hk::SpoolJob four = SeedJob(hk::kFourColourRibbon, cmyk);
  four.SetPrintOrder(hk::kPrintOrderCMYK);
  four.xResolution = four.yResolution = 90.0f;
  four.copyGap = 4.0 / 180.0;
  four.images.push_back(MainOnly(16, 3, Range(4), 2));
  PutJob("inline_four_colour_repeat2", four, 3, false);

  // Output mode 3: the four-colour pass assembled ahead of a spot pass.
  hk::SpoolJob assembled = SeedJob(hk::kFourColourRibbon, cmykGold);
  assembled.images.push_back(MainOnly(20, 3, {0, 1, 3, 4}, 3));
  PutJob("inline_four_colour_gold", assembled, 2);

  // Separations: each plane a job of its own.
  hk::SpoolJob separated = SeedJob(hk::kFourColourRibbon, cmykGold);
  separated.SetSeparations(true);
  separated.images.push_back(MainOnly(16, 2, {0, 3, 4}, 4));
  PutJob("separations", separated, 1);

  // Two images in raster files of the writer's default names.
  hk::SpoolJob files = SeedJob(hk::kSingleColourRibbons, cmyk);
  files.placement = hk::ImagePlacement::kRasterFiles;
  files.images.push_back(MainOnly(16, 2, {0, 1}, 5));
  files.images.push_back(MainOnly(24, 3, {2, 3}, 6));
  PutJob("raster_files", files, 1);

  // Raster files named with a directory part, in the four-colour pass.
  hk::SpoolJob named = SeedJob(hk::kFourColourRibbon, cmyk);
  named.placement = hk::ImagePlacement::kRasterFiles;
  named.rasterFileNames = {"C:\\spool\\art1.ras", "art2.ras"};
  named.images.push_back(MainOnly(16, 2, Range(4), 7));
  named.images.push_back(MainOnly(8, 2, {1, 3}, 8));
  PutJob("raster_files_named_four_colour", named, 2);

  // Every cell kind of the frame around the main cell, margins and gaps,
  // in single-colour passes and in the assembled pass.
  for (int mode = 1; mode <= 3; mode += 2) {
    hk::SpoolJob framed = SeedJob(mode == 1 ? hk::kSingleColourRibbons : hk::kFourColourRibbon,
                                  mode == 1 ? cmyk : cmykGold);
    framed.leftMargin = 3.0 / 180.0;
    framed.copyGap = 2.0 / 180.0;
    framed.copyRowGap = 2.0f / 180.0f;
    framed.pageLength = 0.1f;
    const std::vector<int> colours = mode == 1 ? std::vector<int>{0, 3} : std::vector<int>{0, 3, 4};
    hk::Image image;
    for (int kind = 1; kind < hk::kCellKindCount; ++kind) {
      const bool centre = kind == hk::kFirstCentre || kind == hk::kLastCentre;
      const bool firstBand = kind == hk::kFirstCentre || kind == hk::kFirstLeft || kind == hk::kFirstRight;
      const bool lastBand = kind == hk::kLastCentre || kind == hk::kLastLeft || kind == hk::kLastRight;
      const std::uint32_t width = kind == hk::kMain || centre ? 16 : 5;
      const std::uint32_t height = firstBand ? 1 : lastBand ? 2 : 3;
      image.cells[kind] = SeedCell(width, height, colours, 10 + static_cast<unsigned>(kind));
    }
    framed.images.push_back(image);
    PutJob(mode == 1 ? "all_cell_kinds_single_colour" : "all_cell_kinds_assembled", framed, 3);
  }

  // An older header (16-bit resolutions, no mask), the skipped record 21,
  // the grayscale model, 2 bits per pixel, 360 dpi.
  hk::SpoolJob old = SeedJob(hk::kFourColourRibbon, {"Black"});
  old.version = 5;
  old.xResolution = old.yResolution = 360.0f;
  old.colourModel = 2;
  old.record21 = std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6};
  hk::Image deep;
  deep.cells[hk::kMain] = SeedCell(12, 3, {0}, 9, 2);
  old.images.push_back(deep);
  PutJob("version5_grayscale_2bpp_360dpi", old, 1);

  // More copies than fit the media: several copy rows and pages, or one
  // page when single-page layout is asked for.
  hk::SpoolJob many = SeedJob(hk::kSingleColourRibbons, {"Black", "Orange"});
  many.mediaWidth = 0.2;
  many.mediaLength = 0.1;
  many.images.push_back(MainOnly(20, 4, {0, 1}, 11));
  PutJob("copies_over_pages", many, 4);
  PutJob("copies_single_page", many, 4, true, true);

  // A page whose planes have nothing to print.
  hk::SpoolJob empty = SeedJob(hk::kFourColourRibbon, cmyk);
  hk::Image blank = MainOnly(8, 2, {0, 1}, 12);
  for (auto& entry : blank.Main().colours) entry.second.contentFlag = 0;
  empty.images.push_back(blank);
  PutJob("nothing_to_print", empty, 1);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus directory>\n", argv[0]);
    return 2;
  }
  MakeDirectory(argv[1]);
  char root[PATH_MAX];
  if (::realpath(argv[1], root) == nullptr) {
    std::fprintf(stderr, "cannot resolve %s\n", argv[1]);
    return 1;
  }
  g_root = root;
  // The device's four-colour pass goes through a temporary file.
  char scratch[] = "/tmp/pc50_corpus_XXXXXX";
  if (::mkdtemp(scratch) == nullptr || ::chdir(scratch) != 0) {
    std::fprintf(stderr, "cannot make a scratch directory\n");
    return 1;
  }
  ::setenv("TMPDIR", scratch, 1);
  OptionSeeds();
  StreamSeeds();
  StoreSeeds();
  ScaleRowSeeds();
  PackBitsSeeds();
  WholeJobSeeds();
  if (::chdir("/") != 0 || ::rmdir(scratch) != 0) std::fprintf(stderr, "scratch directory %s left behind\n", scratch);
  std::printf("%d seed files written under %s\n", g_written, g_root.c_str());
  return 0;
}
