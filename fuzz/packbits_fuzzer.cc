// PackBits on both sides of the stream.
//
// Input: two bytes of output capacity for the decoders, then a row.
//
// Checked: the module's encoder gives exactly the packets of a plain model of
// its packet rules, and its word-at-a-time path exactly the same bytes,
// within the worst-case size (each output buffer is exactly that size),
// never with a 0x80 count byte, and both the module's and the
// host kit's decoders give the row back; the host kit's encoder output
// unpacks to the row through the module's decoder; and on the row taken as
// packets, the two decoders agree on success and on the bytes, never
// writing past the capacity. The host kit packs by the module's rules, and
// the canonical check takes exactly the packets those rules make.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "device/packbits.h"
#include "fuzz_input.h"
#include "packbits_decoder.h"
#include "packbits_writer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using pc50::fuzz::Check;

void Literal(Bytes& out, const std::uint8_t* in, long count) {
  while (count > 0) {
    const long n = std::min(count, 128L);
    out.push_back(static_cast<std::uint8_t>(n - 1));
    out.insert(out.end(), in, in + n);
    in += n;
    count -= n;
  }
}

// The packet rules one byte at a time: two equal bytes start a run only
// with nothing pending, otherwise three; runs split at 128; a single
// leftover byte opens the next literal; the last two bytes never start a run.
Bytes ModelEncode(const std::uint8_t* in, long n) {
  Bytes out;
  long start = 0;
  long i = 0;
  while (i < n - 2) {
    const bool run = in[i] == in[i + 1] && (i == start || in[i + 2] == in[i]);
    if (!run) {
      ++i;
      continue;
    }
    Literal(out, in + start, i - start);
    long end = i + 1;
    while (end < n && in[end] == in[i]) ++end;
    long length = end - i;
    while (length > 128) {
      out.push_back(0x81);
      out.push_back(in[i]);
      length -= 128;
    }
    if (length >= 2) {
      out.push_back(static_cast<std::uint8_t>(1 - length));
      out.push_back(in[i]);
      length = 0;
    }
    start = end - length;
    i = end;
  }
  Literal(out, in + start, n - start);
  return out;
}

// Count bytes of a well-formed packet stream, none of them 0x80.
void CheckPackets(const Bytes& packed) {
  std::size_t i = 0;
  while (i < packed.size()) {
    const std::uint8_t control = packed[i];
    Check(control != 0x80, "encoder produced a 0x80 count byte", static_cast<long long>(i));
    i += control < 0x80 ? control + 2u : 2u;
  }
  Check(i == packed.size(), "encoder output ends inside a packet");
}

void CheckEncoder(const std::uint8_t* row, int n) {
  const int worst = pc50::PackBitsWorstCase(n);
  std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[worst > 0 ? worst : 1]);
  const int length = pc50::PackBitsEncode(out.get(), row, n);
  Check(length >= 0 && length <= worst, "packed length outside the worst case", length, worst);
  const Bytes packed(out.get(), out.get() + length);
  Check(packed == ModelEncode(row, n), "packets differ from the model", n, length);
  const int scalarLength = pc50::PackBitsEncodeScalar(out.get(), row, n);
  Check(scalarLength == length && std::equal(packed.begin(), packed.end(), out.get()),
        "vector and scalar encoders differ", scalarLength, length);
  CheckPackets(packed);
  Check(pc50::PackBitsIsCanonical(packed.data(), length, n), "the encoder's own packets are not taken as canonical",
        n, length);

  Bytes back(static_cast<std::size_t>(n) + 1);
  int unpacked = -1;
  Check(pc50::UnpackBits(packed.data(), length, back.data(), static_cast<int>(back.size()), &unpacked),
        "module decoder refused the encoder's output");
  Check(unpacked == n && std::memcmp(back.data(), row, static_cast<std::size_t>(n)) == 0,
        "module round trip", unpacked, n);
  const pc50::hostkit::PackBitsResult host =
      pc50::hostkit::DecodePackBits(packed.data(), packed.size(), back.data(), static_cast<std::size_t>(n));
  Check(host.status == pc50::hostkit::PackBitsStatus::kOk && host.written == static_cast<std::size_t>(n) &&
            std::memcmp(back.data(), row, static_cast<std::size_t>(n)) == 0,
        "host kit round trip", static_cast<long long>(host.written), n);
}

void CheckHostEncoder(const std::uint8_t* row, int n) {
  const Bytes packed = pc50::hostkit::PackBits(row, static_cast<std::size_t>(n));
  Check(packed == ModelEncode(row, n), "host kit packets differ from the module's packet rules", n,
        static_cast<long long>(packed.size()));
  Check(packed.size() <= static_cast<std::size_t>(pc50::PackBitsWorstCase(n)), "host kit packed beyond the worst case",
        static_cast<long long>(packed.size()), n);
  Bytes back(static_cast<std::size_t>(n) + 1);
  int unpacked = -1;
  Check(pc50::UnpackBits(packed.data(), static_cast<int>(packed.size()), back.data(), static_cast<int>(back.size()),
                         &unpacked) &&
            unpacked == n && std::memcmp(back.data(), row, static_cast<std::size_t>(n)) == 0,
        "host kit packets do not unpack to the row", unpacked, n);
}

// The row as packets, through both decoders into buffers of exactly the
// capacity.
void CheckDecoders(const std::uint8_t* packets, int n, int capacity) {
  std::unique_ptr<std::uint8_t[]> module(new std::uint8_t[capacity > 0 ? capacity : 1]);
  std::unique_ptr<std::uint8_t[]> host(new std::uint8_t[capacity > 0 ? capacity : 1]);
  int length = -1;
  const bool ok = pc50::UnpackBits(packets, n, module.get(), capacity, &length);
  const pc50::hostkit::PackBitsResult result =
      pc50::hostkit::DecodePackBits(packets, static_cast<std::size_t>(n), host.get(), static_cast<std::size_t>(capacity));
  Check(length >= 0 && length <= capacity, "module decoded length outside the capacity", length, capacity);
  Check(ok == (result.status == pc50::hostkit::PackBitsStatus::kOk), "decoders disagree on the packets", ok,
        static_cast<long long>(result.status));
  if (!ok) return;
  Check(static_cast<std::size_t>(length) == result.written, "decoders disagree on the length", length,
        static_cast<long long>(result.written));
  Check(std::memcmp(module.get(), host.get(), static_cast<std::size_t>(length)) == 0, "decoders disagree on the bytes");
  // Packets taken as canonical are exactly the encoder's for what they unpack to.
  const bool canonical = pc50::PackBitsIsCanonical(packets, n, length);
  const bool own = ModelEncode(module.get(), length) == Bytes(packets, packets + n);
  Check(canonical == own, "canonical check disagrees with the packet rules", canonical, own);
  if (canonical) Check(!pc50::PackBitsIsCanonical(packets, n, length + 1), "canonical at the wrong row length");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  pc50::fuzz::FuzzInput in(data, size);
  const int capacity = in.U16() % 8192;
  std::size_t n = 0;
  const std::uint8_t* row = in.Rest(&n);
  if (n > (1u << 20)) return 0;
  CheckEncoder(row, static_cast<int>(n));
  CheckHostEncoder(row, static_cast<int>(n));
  CheckDecoders(row, static_cast<int>(n), capacity);
  return 0;
}
