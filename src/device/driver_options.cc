#include "device/driver_options.h"

#include <cstring>
#include <string>

#include "platform/diagnostics.h"

namespace pc50 {
namespace {

constexpr char kDecimalKey[] = "DriverOption";
constexpr char kNibbleKey[] = "DriverOptionBinary";
constexpr std::size_t kDecimalKeyLength = sizeof kDecimalKey - 1;
constexpr std::size_t kNibbleKeyLength = sizeof kNibbleKey - 1;

// A decimal number as "%d" reads it. Digits are not limited in number: the
// magnitude saturates instead of overflowing, and the value modulo 256 is
// kept exactly.
struct Number {
  bool found = false;
  bool exact = false;          // magnitude fits below kSaturation
  unsigned long magnitude = 0;
  bool negative = false;
  std::uint8_t low8 = 0;       // value modulo 256
  const char* end = nullptr;   // first character after the number
};

constexpr unsigned long kSaturation = 1000000000ul;

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

Number ReadNumber(const char* p) {
  Number n;
  while (IsBlank(*p)) ++p;
  if (*p == '+' || *p == '-') n.negative = (*p++ == '-');
  if (!IsDigit(*p)) return n;
  unsigned residue = 0;
  bool saturated = false;
  for (; IsDigit(*p); ++p) {
    const unsigned digit = static_cast<unsigned>(*p - '0');
    residue = (residue * 10 + digit) & 0xFFu;
    if (!saturated) {
      n.magnitude = n.magnitude * 10 + digit;
      saturated = n.magnitude >= kSaturation;
    }
  }
  n.found = true;
  n.exact = !saturated;
  n.low8 = static_cast<std::uint8_t>(n.negative ? (256u - residue) & 0xFFu : residue);
  n.end = p;
  return n;
}

std::size_t BoundedLength(const char* text, std::size_t capacity) {
  std::size_t length = 0;
  while (length < capacity && text[length] != '\0') ++length;
  return length;
}

// Copies text into out, cut to capacity - 1 characters (with a reason).
void CopyBounded(char* out, std::size_t capacity, const char* text, std::size_t length) {
  std::size_t kept = length;
  if (kept > capacity - 1) {
    Fail("option description of %zu characters cut to %zu", length, capacity - 1);
    kept = capacity - 1;
  }
  std::memmove(out, text, kept);
  out[kept] = '\0';
}

// The option number 0 or 1 that n names, or -1.
int OptionIndex(const Number& n) {
  if (!n.exact || n.magnitude > 1) return -1;
  if (n.negative && n.magnitude != 0) return -1;
  return static_cast<int>(n.magnitude);
}

}  // namespace

void ResetDriverOptions(std::uint8_t* block) {
  block[0] = kDriverOptionTag;
  block[1] = kSingleColorRibbons;
  block[2] = kPrintOrderYMCK;
}

bool HasNibbleForm(const char* text) {
  return text != nullptr && std::strstr(text, kNibbleKey) != nullptr;
}

void DecodeNibbleOptions(const char* text, std::uint8_t* block) {
  if (text == nullptr) return;
  const char* key = std::strstr(text, kNibbleKey);
  if (key == nullptr) return;
  const char* p = std::strchr(key + kNibbleKeyLength, '=');
  if (p == nullptr) return;
  ++p;
  for (int i = 0; i < kNibbleOptionBytes && p[0] != '\0' && p[1] != '\0'; ++i, p += 2) {
    // Characters outside '0'..'?' are taken as they come, modulo 256.
    const int high = static_cast<unsigned char>(p[0]) - '0';
    const int low = static_cast<unsigned char>(p[1]) - '0';
    block[i] = static_cast<std::uint8_t>(high * 16 + low);
  }
}

void DecodeDecimalOptions(const char* text, std::uint8_t* block) {
  if (text == nullptr) return;
  std::uint8_t staged[2] = {0xFF, 0xFF};
  const char* p = text;
  while ((p = std::strstr(p, kDecimalKey)) != nullptr) {
    const Number option = ReadNumber(p + kDecimalKeyLength);
    if (!option.found) break;
    const char* equals = std::strchr(option.end, '=');
    if (equals == nullptr) break;
    // An "=" that belongs to a later assignment does not complete this one.
    const char* nextKey = std::strstr(option.end, kDecimalKey);
    if (nextKey != nullptr && nextKey < equals) break;
    const Number value = ReadNumber(equals + 1);
    if (!value.found) break;
    const int index = OptionIndex(option);
    if (index < 0) break;
    staged[index] = value.low8;
    p = equals + 1;
  }
  if (staged[0] != 0xFF) block[1] = staged[0];
  if (staged[1] != 0xFF) block[2] = staged[1];
}

int InsertDefaultIndexes(char* text, std::size_t capacity, const std::uint8_t* indexes,
                         std::size_t indexCount) {
  if (text == nullptr || capacity == 0) return 1;
  const std::size_t length = BoundedLength(text, capacity);
  std::string result;
  result.reserve(length + 16);
  std::size_t colon = 0;
  for (std::size_t k = 0; k < length; ++k) {
    result.push_back(text[k]);
    if (text[k] != ':') continue;
    const std::uint8_t index = (indexes != nullptr && colon < indexCount) ? indexes[colon] : 0;
    result.push_back(static_cast<char>(static_cast<unsigned char>('0' + index)));
    result.push_back(',');
    ++colon;
  }
  CopyBounded(text, capacity, result.data(), result.size());
  return 1;
}

int DescribeDriverOptions(char* out, std::size_t capacity) {
  static constexpr char kDescription[] = "Print Order:YMCK,CMYK;";
  static constexpr std::uint8_t kDefaults[] = {0, 0};
  if (out == nullptr || capacity == 0) return 1;
  char work[sizeof kDescription + 2 * sizeof kDefaults];
  std::memcpy(work, kDescription, sizeof kDescription);
  InsertDefaultIndexes(work, sizeof work, kDefaults, sizeof kDefaults);
  CopyBounded(out, capacity, work, std::strlen(work));
  return 1;
}

}  // namespace pc50
