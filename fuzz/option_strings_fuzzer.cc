// The host's option strings through the procedural entry points.
//
// Input: one selector byte, then the option text. Selector bit 0 picks the
// form: the text is prefixed with "DriverOptionBinary=" (nibble form) or
// "DriverOption" (decimal form). The other bits vary the buffers.
//
// Checked: DECODESTRING returns 1, leaves the text alone and changes only
// the bytes its form owns (the nibble form exactly as a plain model decodes
// it); PutPPDDisplays always gives the one description and leaves the
// option block alone; InsertDefaultIndexes matches a plain model, cut to
// its capacity, and never writes past it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "device/driver_options.h"
#include "fuzz_input.h"
#include "pc50/pc50.h"

namespace {

using pc50::fuzz::Check;

constexpr std::size_t kSetupSize = 256;
constexpr std::size_t kOwnedBytes = pc50::driver_setup_info::kText;  // the host's fields follow
constexpr int kNibbleBytes = 200;

// The nibble form decoded the plain way: after the first key and the first
// "=" behind it, pairs of characters until 200 bytes or the text's end.
void ModelNibble(const char* text, std::uint8_t* block) {
  const char* key = std::strstr(text, "DriverOptionBinary");
  if (key == nullptr) return;
  const char* p = std::strchr(key + std::strlen("DriverOptionBinary"), '=');
  if (p == nullptr) return;
  ++p;
  for (int i = 0; i < kNibbleBytes; ++i) {
    if (p[2 * i] == '\0' || p[2 * i + 1] == '\0') break;
    const int high = static_cast<unsigned char>(p[2 * i]) - '0';
    const int low = static_cast<unsigned char>(p[2 * i + 1]) - '0';
    block[i] = static_cast<std::uint8_t>((high * 16 + low) & 0xFF);
  }
}

void CheckDecodeString(const std::string& text, std::uint8_t selector) {
  std::vector<char> mutableText(text.begin(), text.end());
  mutableText.push_back('\0');
  std::uint8_t setup[kSetupSize];
  for (std::size_t i = 0; i < kSetupSize; ++i) setup[i] = static_cast<std::uint8_t>(i * 7 + selector);
  std::uint8_t expected[kSetupSize];
  std::memcpy(expected, setup, kSetupSize);

  const int result = DECODESTRING(mutableText.data(), reinterpret_cast<DriverSetupInfo*>(setup));
  Check(result == 1, "DECODESTRING result", result);
  Check(std::memcmp(mutableText.data(), text.c_str(), std::strlen(text.c_str()) + 1) == 0,
        "DECODESTRING changed the option text");

  const char* cText = text.c_str();
  if (std::strstr(cText, "DriverOptionBinary") != nullptr) {
    std::uint8_t decoded[kSetupSize];
    std::memcpy(decoded, expected, kSetupSize);
    ModelNibble(cText, decoded);
    std::memcpy(expected, decoded, kOwnedBytes);
    for (std::size_t i = 0; i < kSetupSize; ++i) {
      Check(setup[i] == expected[i], "nibble form: byte differs from the model", static_cast<long long>(i),
            setup[i]);
    }
  } else {
    Check(setup[0] == expected[0], "decimal form changed the tag byte", setup[0], expected[0]);
    for (std::size_t i = 3; i < kSetupSize; ++i) {
      Check(setup[i] == expected[i], "decimal form changed a byte it does not own", static_cast<long long>(i));
    }
  }
}

void CheckDisplays(std::uint8_t selector, const std::uint8_t* fill, std::size_t fillSize) {
  char display[256];
  char block[256];
  for (std::size_t i = 0; i < sizeof display; ++i) {
    display[i] = static_cast<char>(fillSize > 0 ? fill[i % fillSize] : selector);
    block[i] = static_cast<char>(i ^ selector);
  }
  char blockBefore[sizeof block];
  std::memcpy(blockBefore, block, sizeof block);
  const short result = PutPPDDisplays(display, block);
  Check(result == 1, "PutPPDDisplays result", result);
  Check(std::strcmp(display, "Print Order:0,YMCK,CMYK;") == 0, "PutPPDDisplays text");
  Check(std::memcmp(block, blockBefore, sizeof block) == 0, "PutPPDDisplays changed the option block");
  if (selector & 0x80) {
    Check(PutPPDDisplays(nullptr, block) == 0, "PutPPDDisplays without a text buffer");
  }
}

// Every ':' followed by '0' + its index (0 past the list) and ','.
std::string ExpandColons(const std::string& text, const std::uint8_t* indexes, std::size_t indexCount) {
  std::string out;
  std::size_t colon = 0;
  for (char c : text) {
    out.push_back(c);
    if (c != ':') continue;
    const std::uint8_t index = colon < indexCount ? indexes[colon] : 0;
    out.push_back(static_cast<char>(static_cast<unsigned char>('0' + index)));
    out.push_back(',');
    ++colon;
  }
  return out;
}

// InsertDefaultIndexes on the raw text, in a buffer of exactly its capacity.
void CheckInsertIndexes(const std::string& raw, std::uint8_t selector) {
  const std::string text(raw.c_str());
  std::uint8_t indexes[4];
  for (int k = 0; k < 4; ++k) indexes[k] = static_cast<std::uint8_t>(selector * (k + 3) + k);
  const std::size_t indexCount = (selector >> 1) & 3;

  // From ten characters short of the full result to five to spare.
  const long slack = static_cast<long>((selector >> 3) & 15) - 10;
  const long wanted = static_cast<long>(ExpandColons(text, indexes, indexCount).size()) + 1 + slack;
  const std::size_t capacity = wanted < 1 ? 1 : static_cast<std::size_t>(wanted);

  // A text that fills the buffer has no terminator: the routine reads only
  // what the capacity holds.
  std::unique_ptr<char[]> buffer(new char[capacity]);
  const std::size_t kept = text.size() < capacity ? text.size() : capacity;
  std::memcpy(buffer.get(), text.data(), kept);
  if (kept < capacity) buffer[kept] = '\0';
  std::string expected = ExpandColons(text.substr(0, kept), indexes, indexCount);
  if (expected.size() > capacity - 1) expected.resize(capacity - 1);

  const int result = pc50::InsertDefaultIndexes(buffer.get(), capacity, indexes, indexCount);
  Check(result == 1, "InsertDefaultIndexes result", result);
  // An index of 208 makes '0' + index a NUL inside the text, so compare bytes.
  Check(buffer[expected.size()] == '\0', "InsertDefaultIndexes: result not terminated where the model ends",
        static_cast<long long>(expected.size()));
  Check(std::memcmp(buffer.get(), expected.data(), expected.size()) == 0,
        "InsertDefaultIndexes differs from the model", static_cast<long long>(expected.size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  pc50::fuzz::FuzzInput input(data, size);
  const std::uint8_t selector = input.Byte();
  std::size_t restSize = 0;
  const std::uint8_t* rest = input.Rest(&restSize);
  const std::string body(reinterpret_cast<const char*>(rest), restSize);

  const std::string text = std::string((selector & 1) ? "DriverOptionBinary=" : "DriverOption") + body;
  CheckDecodeString(text, selector);
  CheckDisplays(selector, rest, restSize);
  CheckInsertIndexes(body, selector);
  return 0;
}
