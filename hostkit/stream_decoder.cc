#include "stream_decoder.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <new>
#include <utility>

#include "packbits_decoder.h"

namespace pc50::hostkit {

std::string StreamError::ToString() const {
  return "offset " + std::to_string(offset) + ": " + message;
}

bool Bitmap::Get(int x, int y) const {
  if (x < 0 || y < 0 || x >= width || y >= height) return false;
  return (Row(y)[x / 8] >> (7 - x % 8)) & 1;
}

unsigned Pass::IndexAt(int x, int y) const {
  unsigned index = 0;
  for (std::size_t k = 0; k < planes.size(); ++k) {
    if (planes[k].Get(x, y)) index |= 1u << k;
  }
  return index;
}

namespace {

constexpr std::uint8_t kEsc = 0x1B;
constexpr long kMaxNumber = 0x7FFFFFFF;
constexpr int kMaxPlanesFourColour = 4;
constexpr int kMaxHpglParameters = 16;

// Thrown inside the decoder only; DecodeStream turns it into a StreamError.
struct Fault {
  std::size_t offset;
  std::string message;
};

[[noreturn]] void Throw(std::size_t offset, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

void Throw(std::size_t offset, const char* format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  throw Fault{offset, text};
}

// The value field of one PCL parameter.
struct Value {
  std::size_t offset = 0;
  bool negative = false;
  bool fraction = false;
  bool overflow = false;
  long magnitude = 0;

  long Signed() const { return negative ? -magnitude : magnitude; }
};

// One parameter of a (possibly combined) PCL escape sequence.
struct Command {
  std::size_t escOffset;
  char parameterised;  // '*', '&', '%', ...
  char group;          // 0 for '%'
  char letter;         // parameter character, upper case
  bool lowerCase;      // combined with a following parameter
  Value value;

  std::string Name() const {
    std::string name = "ESC";
    name += parameterised;
    if (group) name += group;
    name += '#';
    name += letter;
    return name;
  }
};

bool IsSpace(std::uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }
bool IsLetter(std::uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
char Upper(std::uint8_t c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : static_cast<char>(c); }

// Raster rows of one pass as they arrive: only the non-zero prefix of each
// transfer is kept, so long runs of blank rows cost nothing until the page
// is laid out.
struct StoredTransfer {
  int row;
  int plane;
  std::size_t dataOffset;
  std::size_t length;
};

struct PassBuilder {
  Pass pass;
  bool snapshotTaken = false;
  int pendingTransfers = 0;  // 'V' transfers of the unfinished row
  int planes = 0;
  std::vector<std::uint8_t> data;
  std::vector<StoredTransfer> transfers;

  bool RasterStarted() const { return pass.rows > 0 || pendingTransfers > 0; }
};

class Decoder {
 public:
  Decoder(const std::uint8_t* data, std::size_t size, const DecodeLimits& limits)
      : data_(data), size_(size), limits_(limits) {
    ResetPclState();
  }

  std::vector<Page> Run() {
    while (pos_ < size_) {
      if (inHpgl_) {
        HpglStep();
      } else {
        PclStep();
      }
    }
    if (open_ && !passes_.empty()) {
      const PassBuilder& pass = passes_.back();
      if (pass.pendingTransfers > 0) {
        Throw(size_, "stream ends inside a raster row: expected a W transfer");
      }
      Throw(pass.pass.offset,
            "stream ends inside the raster pass started here: expected ESC*rC");
    }
    EndPage(PageEnd::kEndOfStream, size_);
    return std::move(pages_);
  }

 private:
  // ---- PCL ---------------------------------------------------------------

  void PclStep() {
    if (data_[pos_] != kEsc) Throw(pos_, "expected ESC, found byte 0x%02X", data_[pos_]);
    ParseEscape(/*inHpgl=*/false);
  }

  // Parses one escape sequence at pos_ and carries out its commands.
  void ParseEscape(bool inHpgl) {
    const std::size_t esc = pos_++;
    NotePageStart(esc);
    if (pos_ >= size_) Throw(esc, "truncated escape sequence: expected a character after ESC");
    const std::uint8_t c = data_[pos_++];
    if (c == 'E') {
      Reset(esc);
      return;
    }
    if (c >= 0x30 && c <= 0x7E) Throw(esc, "unsupported escape sequence ESC%c", c);
    if (c < 0x21 || c > 0x2F) {
      Throw(pos_ - 1, "expected a command character after ESC, found byte 0x%02X", c);
    }
    if (inHpgl && c != '%') {
      Throw(esc, "expected ESC%%1A to leave the HP-GL/2 section before PCL commands");
    }
    char group = 0;
    if (c != '%') {
      if (pos_ >= size_) Throw(esc, "truncated escape sequence: expected a group character");
      const std::uint8_t g = data_[pos_];
      if (g < 0x60 || g > 0x7E) {
        Throw(pos_, "expected a group character after ESC%c, found byte 0x%02X", c, g);
      }
      group = static_cast<char>(g);
      ++pos_;
    }
    for (;;) {
      Command command{esc, static_cast<char>(c), group, 0, false, ParseValue()};
      if (pos_ >= size_) Throw(esc, "truncated escape sequence: expected a parameter character");
      const std::uint8_t p = data_[pos_];
      if (p < 0x40 || p > 0x7E) {
        Throw(pos_, "expected a parameter character, found byte 0x%02X", p);
      }
      ++pos_;
      command.lowerCase = p >= 0x60;
      command.letter = Upper(p);
      if (command.value.overflow) Throw(command.value.offset, "value out of range");
      if (inHpgl) {
        HpglEscape(command);
        return;
      }
      Dispatch(command);
      // A reset or a switch to HP-GL/2 ends the sequence.
      if (!command.lowerCase || inHpgl_) return;
    }
  }

  Value ParseValue() {
    Value value;
    value.offset = pos_;
    if (pos_ < size_ && (data_[pos_] == '+' || data_[pos_] == '-')) {
      value.negative = data_[pos_] == '-';
      ++pos_;
    }
    while (pos_ < size_ && IsDigit(data_[pos_])) {
      value.magnitude = value.magnitude * 10 + (data_[pos_] - '0');
      if (value.magnitude > kMaxNumber) {
        value.overflow = true;
        value.magnitude = kMaxNumber;
      }
      ++pos_;
    }
    if (pos_ < size_ && data_[pos_] == '.') {
      ++pos_;
      while (pos_ < size_ && IsDigit(data_[pos_])) {
        if (data_[pos_] != '0') value.fraction = true;
        ++pos_;
      }
    }
    return value;
  }

  long IntegerOf(const Command& command) {
    if (command.value.fraction) {
      Throw(command.value.offset, "expected an integer value in %s", command.Name().c_str());
    }
    return command.value.Signed();
  }

  void Dispatch(const Command& command) {
    const char p = command.parameterised;
    const char g = command.group;
    const char l = command.letter;
    if (p == '%' && !command.lowerCase && l == 'B') return EnterHpgl(command);
    if (p == '%' && !command.lowerCase && l == 'A') return;  // already in PCL
    if (p == '*' && g == 't' && l == 'R') return SetResolution(command);
    if (p == '*' && g == 'r' && l == 'C') return EndRaster(command);
    if (p == '*' && g == 'b' && l == 'M') return SetCompression(command);
    if (p == '*' && g == 'b' && (l == 'W' || l == 'V')) return Transfer(command);
    if (p == '*' && g == 'v' && l == 'W') return ConfigureImageData(command);
    if (p == '*' && g == 'v' && l >= 'A' && l <= 'C') return SetComponent(command);
    if (p == '*' && g == 'v' && l == 'I') return AssignPalette(command);
    if (p == '&' && g == 'a' && l == 'N') return;  // negative motion: nothing to draw
    Throw(command.escOffset, "unsupported PCL command %s", command.Name().c_str());
  }

  void EnterHpgl(const Command& command) {
    if (open_ && Current().RasterStarted()) {
      Throw(command.escOffset, "expected ESC*rC to end the raster pass before HP-GL/2");
    }
    inHpgl_ = true;
  }

  void SetResolution(const Command& command) {
    const long dpi = IntegerOf(command);
    if (dpi < 1 || dpi > 9600) {
      Throw(command.value.offset, "raster resolution %ld outside 1..9600", dpi);
    }
    if (open_ && Current().RasterStarted()) {
      Throw(command.escOffset, "raster resolution set inside raster graphics");
    }
    if (widthFixed_ && dpi != pageResolution_) {
      Throw(command.escOffset, "raster resolution changed from %d to %ld within a page",
            pageResolution_, dpi);
    }
    resolution_ = static_cast<int>(dpi);
  }

  void SetCompression(const Command& command) {
    const long method = IntegerOf(command);
    if (method != 0 && method != 2) {
      Throw(command.value.offset, "unsupported compression method %ld (expected 0 or 2)", method);
    }
    compression_ = static_cast<int>(method);
  }

  void ConfigureImageData(const Command& command) {
    const long count = IntegerOf(command);
    if (count != 6) {
      Throw(command.value.offset, "expected a 6-byte configure-image-data block, found %ld bytes",
            count);
    }
    if (size_ - pos_ < 6) {
      Throw(command.escOffset, "configure-image-data block of 6 bytes runs past the end of the "
            "stream (%zu left)", size_ - pos_);
    }
    if (open_ && Current().RasterStarted()) {
      Throw(command.escOffset, "configure-image-data inside raster graphics");
    }
    const std::uint8_t* block = data_ + pos_;
    if (block[0] > 1) Throw(pos_, "unsupported colour space %d (expected 0 RGB or 1 CMY)", block[0]);
    if (block[1] != 0) {
      Throw(pos_ + 1, "unsupported encoding mode %d (expected 0, indexed by plane)", block[1]);
    }
    for (int i = 2; i < 6; ++i) {
      if (block[i] < 1 || block[i] > 8) {
        Throw(pos_ + i, "%s of %d outside 1..8", i == 2 ? "bits per index" : "bits per primary",
              block[i]);
      }
    }
    config_.colourSpace = block[0];
    config_.encodingMode = block[1];
    config_.bitsPerIndex = block[2];
    config_.bitsPerPrimary = {block[3], block[4], block[5]};
    pos_ += 6;
    ResetPalette();
  }

  void SetComponent(const Command& command) {
    const int which = command.letter - 'A';
    const long value = IntegerOf(command);
    const long max = (1L << config_.bitsPerPrimary[which]) - 1;
    if (value < 0 || value > max) {
      Throw(command.value.offset, "palette component %ld outside 0..%ld", value, max);
    }
    components_[which] = static_cast<int>(value);
  }

  void AssignPalette(const Command& command) {
    const long index = IntegerOf(command);
    if (index < 0 || index > 255) Throw(command.value.offset, "palette index %ld outside 0..255", index);
    if (open_ && Current().RasterStarted()) {
      Throw(command.escOffset, "palette entry set inside raster graphics");
    }
    std::uint8_t rgb[3];
    for (int i = 0; i < 3; ++i) {
      const int max = (1 << config_.bitsPerPrimary[i]) - 1;
      int level = components_[i] * 255 / max;
      if (config_.colourSpace == 1) level = 255 - level;
      rgb[i] = static_cast<std::uint8_t>(level);
    }
    palette_[index] = Rgb{rgb[0], rgb[1], rgb[2]};
    paletteDefined_.set(index);
    components_ = {0, 0, 0};
  }

  void EndRaster(const Command& command) {
    if (!open_) return;  // outside raster graphics the command does nothing
    PassBuilder& pass = Current();
    if (pass.pendingTransfers > 0) {
      Throw(command.escOffset, "expected a W transfer to finish the raster row before ESC*rC");
    }
    pass.pass.endedByEndRaster = true;
    ClosePass();
  }

  // ---- raster rows ---------------------------------------------------------

  void Transfer(const Command& command) {
    const long count = IntegerOf(command);
    if (count < 0) Throw(command.value.offset, "negative transfer length %ld", count);
    const std::size_t length = static_cast<std::size_t>(count);
    if (length > size_ - pos_) {
      Throw(command.escOffset, "transfer of %zu bytes runs past the end of the stream (%zu left)",
            length, size_ - pos_);
    }
    if (!open_) {
      Throw(command.escOffset, "raster transfer outside a colour pass: expected !CL first");
    }
    PassBuilder& pass = Current();
    const int plane = pass.pendingTransfers;
    const bool last = command.letter == 'W';
    if (!pass.pass.IsFourColour() && !last) {
      Throw(command.escOffset, "expected a W transfer: a single-colour pass takes one transfer "
            "per row");
    }
    if (pass.pass.IsFourColour() && plane >= kMaxPlanesFourColour) {
      Throw(command.escOffset, "a four-colour pass takes at most four transfers per row");
    }
    if (!pass.snapshotTaken) Snapshot(pass);
    FixPageWidth(command.escOffset);

    const std::size_t dataStart = pos_;
    pos_ += length;
    const std::size_t rowBytes = Unpack(data_ + dataStart, length, dataStart);
    maxRowBytes_ = std::max(maxRowBytes_, rowBytes);
    std::size_t kept = rowBytes;
    while (kept > 0 && scratch_[kept - 1] == 0) --kept;
    if (kept > 0) {
      storedBytes_ += kept;
      if (storedBytes_ > limits_.maxPageBytes) {
        Throw(command.escOffset, "page raster exceeds the limit of %zu bytes", limits_.maxPageBytes);
      }
      pass.transfers.push_back({pass.pass.rows, plane, pass.data.size(), kept});
      pass.data.insert(pass.data.end(), scratch_.begin(), scratch_.begin() + kept);
    }
    if (!last) {
      ++pass.pendingTransfers;
      return;
    }
    FinishRow(pass, command.escOffset);
  }

  // Decodes one transfer into scratch_ and returns its length in bytes.
  std::size_t Unpack(const std::uint8_t* in, std::size_t length, std::size_t dataStart) {
    const std::size_t capacity = declaredWidth_ ? Stride(pageWidth_) : limits_.maxRowBytes;
    if (scratch_.size() < capacity) scratch_.resize(capacity);
    if (compression_ == 0) {
      if (length > capacity) ThrowTooWide(dataStart, length);
      std::copy(in, in + length, scratch_.begin());
      return length;
    }
    const PackBitsResult result = DecodePackBits(in, length, scratch_.data(), capacity);
    if (result.status == PackBitsStatus::kTruncated) {
      Throw(dataStart + result.packetOffset,
            "PackBits packet runs past the end of the transfer");
    }
    if (result.status == PackBitsStatus::kOverflow) {
      Throw(dataStart + result.packetOffset, "PackBits row expands past %s of %zu bytes",
            declaredWidth_ ? "the page width" : "the row limit", capacity);
    }
    return result.written;
  }

  [[noreturn]] void ThrowTooWide(std::size_t offset, std::size_t length) {
    if (declaredWidth_) {
      Throw(offset, "row of %zu bytes is wider than the page (%zu bytes)", length,
            Stride(pageWidth_));
    }
    Throw(offset, "row of %zu bytes exceeds the row limit of %zu bytes", length,
          limits_.maxRowBytes);
  }

  void FinishRow(PassBuilder& pass, std::size_t offset) {
    const int transfers = pass.pendingTransfers + 1;
    pass.pendingTransfers = 0;
    pass.planes = std::max(pass.planes, transfers);
    pass.pass.transfersPerRow.push_back(static_cast<std::uint8_t>(transfers));
    ++pass.pass.rows;
    if (static_cast<std::size_t>(pass.pass.rows) > limits_.maxRowsPerPass) {
      Throw(offset, "pass has more than %zu rows", limits_.maxRowsPerPass);
    }
    const std::size_t stride = declaredWidth_ ? Stride(pageWidth_) : maxRowBytes_;
    const std::size_t planeRows =
        closedPlaneRows_ + static_cast<std::size_t>(pass.pass.rows) * pass.planes;
    if (stride > 0 && planeRows > limits_.maxPageBytes / stride) {
      Throw(offset, "page raster exceeds the limit of %zu bytes", limits_.maxPageBytes);
    }
  }

  static std::size_t Stride(int width) { return (static_cast<std::size_t>(width) + 7) / 8; }

  // The page width in pixels comes from the plot size and the resolution in
  // effect when the page's first row arrives.
  void FixPageWidth(std::size_t offset) {
    if (widthFixed_) return;
    widthFixed_ = true;
    pageResolution_ = resolution_;
    declaredWidth_ = hasPlotSize_ && plotWidth_ > 0 && resolution_ > 0;
    if (!declaredWidth_) return;
    // Whole pixels only: a plot narrower than the raster clips its last column.
    const long long pixels = static_cast<long long>(plotWidth_) * resolution_ / 1016;
    if (pixels > static_cast<long long>(limits_.maxRowBytes) * 8) {
      Throw(offset, "page width of %lld pixels exceeds the row limit of %zu bytes", pixels,
            limits_.maxRowBytes);
    }
    pageWidth_ = static_cast<int>(pixels);
  }

  // ---- passes and pages ----------------------------------------------------

  PassBuilder& Current() { return passes_.back(); }

  void Snapshot(PassBuilder& builder) {
    Pass& pass = builder.pass;
    pass.compressionMethod = compression_;
    pass.resolution = resolution_;
    pass.config = config_;
    pass.palette = palette_;
    pass.paletteDefined = paletteDefined_;
    builder.snapshotTaken = true;
  }

  void StartPass(std::size_t offset, long code) {
    if (open_) ClosePass();
    PassBuilder builder;
    builder.pass.offset = offset;
    builder.pass.colourCode = static_cast<int>(code);
    passes_.push_back(std::move(builder));
    open_ = true;
  }

  void ClosePass() {
    PassBuilder& pass = Current();
    if (!pass.snapshotTaken) Snapshot(pass);
    // A row still waiting for its W transfer (cut off by a reset) is dropped.
    while (!pass.transfers.empty() && pass.transfers.back().row == pass.pass.rows) {
      pass.transfers.pop_back();
    }
    pass.pendingTransfers = 0;
    closedPlaneRows_ += static_cast<std::size_t>(pass.pass.rows) * pass.planes;
    open_ = false;
  }

  void NotePageStart(std::size_t offset) {
    if (pageStarted_) return;
    pageStarted_ = true;
    pageOffset_ = offset;
  }

  void Reset(std::size_t offset) {
    if (open_) ClosePass();  // an unfinished row is dropped with the rest
    if (!passes_.empty()) {
      EndPage(PageEnd::kReset, offset);
      NotePageStart(offset);
    } else {
      pageOffset_ = offset;
    }
    ResetPclState();
  }

  void ResetPclState() {
    inHpgl_ = false;
    resolution_ = 0;
    compression_ = 0;
    config_ = ImageConfig();
    ResetPalette();
    hasPlotSize_ = false;
    plotLength_ = plotWidth_ = 0;
  }

  void ResetPalette() {
    palette_.fill(Rgb{0, 0, 0});
    palette_[0] = kPaperWhite;
    paletteDefined_.reset();
    components_ = {0, 0, 0};
  }

  void EndPage(PageEnd end, std::size_t offset) {
    if (open_) ClosePass();
    if (!passes_.empty() || end == PageEnd::kAdvance) {
      if (pages_.size() >= limits_.maxPages) Throw(offset, "more than %zu pages", limits_.maxPages);
      FixPageWidth(offset);
      pages_.push_back(LayOutPage(end, offset));
    }
    passes_.clear();
    pageStarted_ = false;
    widthFixed_ = declaredWidth_ = false;
    pageWidth_ = pageResolution_ = 0;
    maxRowBytes_ = storedBytes_ = closedPlaneRows_ = 0;
  }

  Page LayOutPage(PageEnd end, std::size_t offset) {
    Page page;
    page.offset = pageOffset_;
    page.end = end;
    page.hasPlotSize = hasPlotSize_;
    page.plotLength = plotLength_;
    page.plotWidth = plotWidth_;
    page.width = declaredWidth_ ? pageWidth_ : static_cast<int>(maxRowBytes_ * 8);
    const std::size_t stride = Stride(page.width);
    std::size_t total = 0;
    for (const PassBuilder& builder : passes_) {
      page.height = std::max(page.height, builder.pass.rows);
      total += static_cast<std::size_t>(builder.pass.rows) * builder.planes;
    }
    if (stride > 0 && total > limits_.maxPageBytes / stride) {
      Throw(offset, "page raster exceeds the limit of %zu bytes", limits_.maxPageBytes);
    }
    for (PassBuilder& builder : passes_) {
      Pass pass = std::move(builder.pass);
      pass.planes.resize(static_cast<std::size_t>(builder.planes));
      for (Bitmap& plane : pass.planes) {
        plane.width = page.width;
        plane.height = pass.rows;
        plane.stride = stride;
        plane.bits.assign(stride * static_cast<std::size_t>(pass.rows), 0);
      }
      for (const StoredTransfer& t : builder.transfers) {
        Bitmap& plane = pass.planes[static_cast<std::size_t>(t.plane)];
        std::copy_n(builder.data.begin() + static_cast<std::ptrdiff_t>(t.dataOffset), t.length,
                    plane.bits.begin() + static_cast<std::ptrdiff_t>(t.row * stride));
      }
      builder.data.clear();
      builder.data.shrink_to_fit();
      page.passes.push_back(std::move(pass));
    }
    return page;
  }

  // ---- HP-GL/2 -------------------------------------------------------------

  void HpglStep() {
    const std::uint8_t c = data_[pos_];
    if (IsSpace(c) || c == ';') {
      ++pos_;
      return;
    }
    if (c == kEsc) return ParseEscape(/*inHpgl=*/true);
    if (c == '!' || IsLetter(c)) return Instruction();
    Throw(pos_, "expected an HP-GL/2 instruction, found byte 0x%02X", c);
  }

  void HpglEscape(const Command& command) {
    if (command.parameterised == '%' && !command.lowerCase && command.letter == 'A') {
      inHpgl_ = false;
      return;
    }
    Throw(command.escOffset, "expected ESC%%1A to end the HP-GL/2 section, found %s",
          command.Name().c_str());
  }

  void Instruction() {
    const std::size_t start = pos_;
    NotePageStart(start);
    std::string mnemonic;
    if (data_[pos_] == '!') {
      mnemonic += '!';
      ++pos_;
    }
    for (int i = 0; i < 2; ++i) {
      if (pos_ >= size_) Throw(start, "unterminated HP-GL/2 instruction: expected a mnemonic");
      if (!IsLetter(data_[pos_])) {
        Throw(pos_, "expected a letter of an HP-GL/2 mnemonic, found byte 0x%02X", data_[pos_]);
      }
      mnemonic += Upper(data_[pos_++]);
    }
    const std::vector<long> params = HpglParameters(start, mnemonic);
    const std::size_t n = params.size();
    if (mnemonic == "BP") return;
    if (mnemonic == "PU" || mnemonic == "PA") {
      if (n % 2 != 0) Throw(start, "%s takes coordinate pairs, found %zu numbers", mnemonic.c_str(), n);
      return;
    }
    if (mnemonic == "PS") return PlotSize(start, params);
    if (mnemonic == "PG") {
      if (n > 1) Throw(start, "PG takes at most one number, found %zu", n);
      return EndPage(PageEnd::kAdvance, start);
    }
    if (mnemonic == "!CL") {
      if (n != 1) Throw(start, "!CL takes one colour code, found %zu numbers", n);
      return StartPass(start, params[0]);
    }
    Throw(start, "unsupported HP-GL/2 instruction %s", mnemonic.c_str());
  }

  // Reads the numbers of an instruction up to and including its ';'.
  std::vector<long> HpglParameters(std::size_t start, const std::string& mnemonic) {
    std::vector<long> params;
    bool expectNumber = false;
    for (;;) {
      while (pos_ < size_ && IsSpace(data_[pos_])) ++pos_;
      if (pos_ >= size_) {
        Throw(start, "unterminated HP-GL/2 instruction %s: expected ';' before the end of the "
              "stream", mnemonic.c_str());
      }
      const std::uint8_t c = data_[pos_];
      if (c == ';' && !expectNumber) {
        ++pos_;
        return params;
      }
      if (!params.empty() && !expectNumber) {
        if (c != ',') Throw(pos_, "expected ',' or ';' in HP-GL/2 instruction %s", mnemonic.c_str());
        ++pos_;
        expectNumber = true;
        continue;
      }
      params.push_back(HpglNumber(mnemonic));
      if (params.size() > kMaxHpglParameters) Throw(start, "too many numbers in %s", mnemonic.c_str());
      expectNumber = false;
    }
  }

  long HpglNumber(const std::string& mnemonic) {
    const std::size_t start = pos_;
    bool negative = false;
    if (data_[pos_] == '+' || data_[pos_] == '-') {
      negative = data_[pos_] == '-';
      ++pos_;
    }
    if (pos_ >= size_ || !IsDigit(data_[pos_])) {
      Throw(pos_ < size_ ? pos_ : start, "expected a number in HP-GL/2 instruction %s",
            mnemonic.c_str());
    }
    long value = 0;
    while (pos_ < size_ && IsDigit(data_[pos_])) {
      value = value * 10 + (data_[pos_++] - '0');
      if (value > kMaxNumber) Throw(start, "number out of range in %s", mnemonic.c_str());
    }
    if (pos_ < size_ && data_[pos_] == '.') {
      Throw(pos_, "expected an integer in HP-GL/2 instruction %s", mnemonic.c_str());
    }
    return negative ? -value : value;
  }

  void PlotSize(std::size_t start, const std::vector<long>& params) {
    if (params.size() > 2) Throw(start, "PS takes at most two numbers, found %zu", params.size());
    if (widthFixed_) Throw(start, "plot size changed within a page");
    for (long value : params) {
      if (value <= 0) Throw(start, "plot size %ld is not positive", value);
    }
    hasPlotSize_ = !params.empty();
    plotLength_ = params.empty() ? 0 : params[0];
    plotWidth_ = params.size() < 2 ? 0 : params[1];
  }

  const std::uint8_t* data_;
  std::size_t size_;
  const DecodeLimits& limits_;
  std::size_t pos_ = 0;
  bool inHpgl_ = false;

  // Printer state, forgotten at ESC E.
  int resolution_ = 0;
  int compression_ = 0;
  ImageConfig config_;
  std::array<Rgb, 256> palette_{};
  std::bitset<256> paletteDefined_;
  std::array<int, 3> components_{{0, 0, 0}};
  bool hasPlotSize_ = false;
  long plotLength_ = 0;
  long plotWidth_ = 0;

  // The page being read.
  bool pageStarted_ = false;
  std::size_t pageOffset_ = 0;
  std::vector<PassBuilder> passes_;
  bool open_ = false;            // the last pass is still taking rows
  bool widthFixed_ = false;
  bool declaredWidth_ = false;
  int pageWidth_ = 0;
  int pageResolution_ = 0;
  std::size_t maxRowBytes_ = 0;
  std::size_t storedBytes_ = 0;
  std::size_t closedPlaneRows_ = 0;

  std::vector<std::uint8_t> scratch_;
  std::vector<Page> pages_;
};

}  // namespace

DecodeResult DecodeStream(const std::uint8_t* data, std::size_t size, const DecodeLimits& limits) {
  DecodeResult result;
  if (data == nullptr && size > 0) {
    result.error = {0, "no stream data"};
    return result;
  }
  try {
    result.pages = Decoder(data, size, limits).Run();
    result.ok = true;
  } catch (const Fault& fault) {
    result.error = {fault.offset, fault.message};
  } catch (const std::bad_alloc&) {
    result.error = {0, "out of memory while decoding the stream"};
  }
  return result;
}

DecodeResult DecodeStream(const std::string& bytes, const DecodeLimits& limits) {
  return DecodeStream(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), limits);
}

}  // namespace pc50::hostkit
