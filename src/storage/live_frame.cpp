#include "storage/live_frame.h"

#include <bit>
#include <cerrno>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "lib/binary_stream.h"
#include "storage/live_frame_format.h"

namespace live {
namespace {

// CRC-32 (the reflected polynomial 0xEDB88320, as zlib and boost's crc_32_type compute it),
// eight bytes a step: the frame is tens of kilobytes and rewritten every few seconds.
struct CrcTables {
  std::uint32_t t[8][256];
  constexpr CrcTables() : t{} {
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[0][i] = c;
    }
    for (std::uint32_t i = 0; i < 256; ++i)
      for (int k = 1; k < 8; ++k) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xff];
  }
};
constexpr CrcTables kCrc;

// The running CRC (not inverted) over `n` bytes, eight a step.
std::uint32_t crc_by_tables(std::uint32_t c, const unsigned char* p, std::size_t n) {
  for (; n >= 8; n -= 8, p += 8) {
    const std::uint32_t lo = c ^ (std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 |
                                  std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24);
    c = kCrc.t[7][lo & 0xff] ^ kCrc.t[6][(lo >> 8) & 0xff] ^ kCrc.t[5][(lo >> 16) & 0xff] ^
        kCrc.t[4][lo >> 24] ^ kCrc.t[3][p[4]] ^ kCrc.t[2][p[5]] ^ kCrc.t[1][p[6]] ^ kCrc.t[0][p[7]];
  }
  for (; n > 0; --n, ++p) c = kCrc.t[0][(c ^ *p) & 0xff] ^ (c >> 8);
  return c;
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// The same by carry-less multiplication, folding 64 bytes a step (the processor's PCLMULQDQ):
// a frame of the full table takes the tick a few hundred nanoseconds instead of microseconds.
// `n` is at least 64 and a multiple of 16. The constants are powers of x modulo the
// polynomial, bit-reflected: x^(4*128+32), x^(4*128-32) for the 64-byte fold, x^(128+32),
// x^(128-32) for the 16-byte fold, x^64 for 128 to 64 bits, then the polynomial and its
// Barrett quotient x^64 / P.
// x's two halves multiplied by k's, added to `next`: 128 bits carried 4 or 1 blocks on.
__attribute__((target("pclmul,sse4.1"))) inline __m128i fold(__m128i x, __m128i k, __m128i next) {
  const __m128i lo = _mm_clmulepi64_si128(x, k, 0x00);
  const __m128i hi = _mm_clmulepi64_si128(x, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(hi, lo), next);
}

__attribute__((target("pclmul,sse4.1"))) std::uint32_t crc_by_folding(std::uint32_t crc,
                                                                      const unsigned char* p,
                                                                      std::size_t n) {
  alignas(16) static constexpr std::uint64_t k1k2[2] = {0x0154442bd4, 0x01c6e41596};
  alignas(16) static constexpr std::uint64_t k3k4[2] = {0x01751997d0, 0x00ccaa009e};
  alignas(16) static constexpr std::uint64_t k5k0[2] = {0x0163cd6124, 0};
  alignas(16) static constexpr std::uint64_t poly[2] = {0x01db710641, 0x01f7011641};
  const auto load = [](const unsigned char* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  };
  __m128i x1 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x2 = load(p + 16), x3 = load(p + 32), x4 = load(p + 48);
  p += 64;
  n -= 64;
  __m128i k = _mm_load_si128(reinterpret_cast<const __m128i*>(k1k2));
  for (; n >= 64; n -= 64, p += 64) {
    x1 = fold(x1, k, load(p));
    x2 = fold(x2, k, load(p + 16));
    x3 = fold(x3, k, load(p + 32));
    x4 = fold(x4, k, load(p + 48));
  }
  k = _mm_load_si128(reinterpret_cast<const __m128i*>(k3k4));
  x1 = fold(x1, k, x2);
  x1 = fold(x1, k, x3);
  x1 = fold(x1, k, x4);
  for (; n >= 16; n -= 16, p += 16) x1 = fold(x1, k, load(p));
  // 128 bits to 64.
  const __m128i mask32 = _mm_setr_epi32(~0, 0, ~0, 0);
  __m128i x = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k, 0x10));
  const __m128i k5 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(k5k0));
  x = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x, mask32), k5, 0x00), _mm_srli_si128(x, 4));
  // Barrett reduction to 32 bits.
  const __m128i pu = _mm_load_si128(reinterpret_cast<const __m128i*>(poly));
  __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x, mask32), pu, 0x10);
  t = _mm_clmulepi64_si128(_mm_and_si128(t, mask32), pu, 0x00);
  return static_cast<std::uint32_t>(_mm_extract_epi32(_mm_xor_si128(x, t), 1));
}

bool can_fold() {
  static const bool yes = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  return yes;
}
#endif

std::uint32_t crc_of(std::string_view bytes) {
  std::uint32_t c = 0xFFFFFFFFu;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t n = bytes.size();
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
  if (n >= 64 && can_fold()) {
    const std::size_t folded = n & ~std::size_t{15};
    c = crc_by_folding(c, p, folded);
    p += folded;
    n -= folded;
  }
#endif
  return crc_by_tables(c, p, n) ^ 0xFFFFFFFFu;
}

void put_u32_at(std::string& bytes, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i)
    bytes[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
}

}  // namespace

namespace {

// The frame's bytes, little-endian as lib::io::write_binary lays them out, appended to one
// string without a stream between: the frame holds a few thousand fields.
class FrameBytes {
 public:
  explicit FrameBytes(std::size_t reserve) { bytes_.reserve(reserve); }
  // Goes on after the bytes given.
  explicit FrameBytes(std::string&& bytes) : bytes_(std::move(bytes)) {}
  template <lib::io::BinaryScalar T>
  void put(T value) {
    typename lib::io::detail::UintOfSize<sizeof(T)>::type bits;
    std::memcpy(&bits, &value, sizeof(T));
    if constexpr (std::endian::native == std::endian::little) {
      // The bytes as they lie: one append instead of a push per byte.
      char raw[sizeof(T)];
      std::memcpy(raw, &bits, sizeof(T));
      bytes_.append(raw, sizeof(T));
    } else {
      for (std::size_t i = 0; i < sizeof(T); ++i)
        bytes_.push_back(static_cast<char>(bits >> (8 * i)));
    }
  }
  void put(std::string_view text) {
    if (text.size() > lib::io::kMaxStringBytes) {
      throw lib::io::StreamError("string of " + std::to_string(text.size()) +
                                 " bytes is too long to write");
    }
    put(static_cast<std::uint32_t>(text.size()));
    bytes_.append(text);
  }
  void put_raw(const char* data, std::size_t n) { bytes_.append(data, n); }
  std::size_t size() const { return bytes_.size(); }
  std::string release() { return std::move(bytes_); }

 private:
  std::string bytes_;
};

std::uint8_t marks_of(const FrameValue& v) {
  return (v.stale ? kMarkStale : 0) | (v.alarm ? kMarkAlarm : 0) | (v.valid ? 0 : kMarkNotValid);
}

template <lib::io::BinaryScalar T>
void put_at(std::string& bytes, std::size_t at, T value) {
  typename lib::io::detail::UintOfSize<sizeof(T)>::type bits;
  std::memcpy(&bits, &value, sizeof(T));
  for (std::size_t i = 0; i < sizeof(T); ++i) bytes[at + i] = static_cast<char>(bits >> (8 * i));
}

void put_alarms(FrameBytes& out, const std::vector<std::string>& alarms) {
  out.put(static_cast<std::uint32_t>(alarms.size()));
  for (const std::string& a : alarms) out.put(std::string_view(a));
}

void put_length_and_crc(std::string& bytes) {
  put_u32_at(bytes, kLengthAt, static_cast<std::uint32_t>(bytes.size() + kCrcBytes));
  const std::uint32_t crc = crc_of(bytes);
  bytes.resize(bytes.size() + kCrcBytes);
  put_u32_at(bytes, bytes.size() - kCrcBytes, crc);
}

}  // namespace

std::string encode_live_frame(const LiveFrame& f, LiveFrameLayout* layout) {
  std::size_t size = kOperationNameAt + f.operation_name.size() + 64;
  for (const FrameValue& v : f.values)
    size += 17 + v.identifier.size() + v.name.size() + v.unit.size();
  for (const std::string& a : f.alarms) size += 4 + a.size();
  FrameBytes out(size);
  out.put_raw(kMagic, sizeof kMagic);
  out.put(kLayoutVersion);
  out.put(std::uint16_t{0});
  out.put(std::uint32_t{0});  // the length, once known
  out.put(f.sequence);
  out.put(f.time);
  out.put(f.milliseconds);
  out.put(static_cast<std::uint16_t>(f.race_active ? kFlagRaceActive : 0));
  out.put(f.race);
  for (float d : {f.bottom, f.bit, f.lag, f.block}) out.put(d);
  out.put(f.operation);
  out.put(std::string_view(f.operation_name));
  out.put(static_cast<std::uint32_t>(f.values.size()));
  if (layout) layout->values.clear();
  for (const FrameValue& v : f.values) {
    out.put(std::string_view(v.identifier));
    out.put(std::string_view(v.name));
    out.put(std::string_view(v.unit));
    if (layout) layout->values.push_back(out.size());
    out.put(v.value);
    out.put(marks_of(v));
  }
  if (layout) layout->alarms_at = out.size();
  put_alarms(out, f.alarms);
  std::string bytes = out.release();
  put_length_and_crc(bytes);
  return bytes;
}

void update_live_frame(std::string& bytes, const LiveFrame& f, const LiveFrameLayout& layout) {
  put_at(bytes, kSequenceAt, f.sequence);
  put_at(bytes, kTimeAt, f.time);
  put_at(bytes, kMillisecondsAt, f.milliseconds);
  put_at(bytes, kFlagsAt, static_cast<std::uint16_t>(f.race_active ? kFlagRaceActive : 0));
  put_at(bytes, kRaceAt, f.race);
  std::size_t at = kDepthsAt;
  for (float d : {f.bottom, f.bit, f.lag, f.block}) {
    put_at(bytes, at, d);
    at += sizeof d;
  }
  put_at(bytes, kOperationAt, f.operation);
  for (std::size_t i = 0; i < f.values.size() && i < layout.values.size(); ++i) {
    put_at(bytes, layout.values[i], f.values[i].value);
    put_at(bytes, layout.values[i] + sizeof(float), marks_of(f.values[i]));
  }
  // The alarms' texts carry the values: laid out again each time, in the bytes' own buffer.
  bytes.resize(layout.alarms_at);
  FrameBytes tail(std::move(bytes));
  put_alarms(tail, f.alarms);
  bytes = tail.release();
  put_length_and_crc(bytes);
}

std::optional<LiveFrame> decode_live_frame(std::string_view bytes, std::string& why) {
  if (bytes.size() < kOperationNameAt + kCrcBytes) {
    why = "a frame of " + std::to_string(bytes.size()) + " bytes is too short";
    return std::nullopt;
  }
  if (bytes.size() > kMaxFrameBytes) {
    why = "a frame of " + std::to_string(bytes.size()) + " bytes is larger than any frame";
    return std::nullopt;
  }
  try {
    lib::io::BinaryMemoryInputStream in(bytes);
    char magic[4];
    in.read(magic, sizeof magic);
    if (std::string_view(magic, 4) != std::string_view(kMagic, 4)) {
      why = "not a live frame (wrong magic)";
      return std::nullopt;
    }
    const auto version = lib::io::read_binary<std::uint16_t>(in);
    if (version != kLayoutVersion) {
      why = "layout version " + std::to_string(version) + ", this program reads " +
            std::to_string(kLayoutVersion);
      return std::nullopt;
    }
    if (lib::io::read_binary<std::uint16_t>(in) != 0) {
      why = "the reserved bytes are not zero (a frame of a later layout?)";
      return std::nullopt;
    }
    const auto length = lib::io::read_binary<std::uint32_t>(in);
    if (length != bytes.size()) {
      why = "the frame says " + std::to_string(length) + " bytes, " + std::to_string(bytes.size()) +
            " are there";
      return std::nullopt;
    }
    const std::string_view body = bytes.substr(0, bytes.size() - kCrcBytes);
    lib::io::BinaryMemoryInputStream tail(bytes.substr(body.size()));
    if (lib::io::read_binary<std::uint32_t>(tail) != crc_of(body)) {
      why = "the frame's CRC does not match its bytes";
      return std::nullopt;
    }
    lib::io::BinaryMemoryInputStream b(body);
    b.seek(kSequenceAt);
    LiveFrame f;
    f.sequence = lib::io::read_binary<std::uint32_t>(b);
    f.time = lib::io::read_binary<std::uint32_t>(b);
    f.milliseconds = lib::io::read_binary<std::uint16_t>(b);
    const auto flags = lib::io::read_binary<std::uint16_t>(b);
    if ((flags & ~kFlagRaceActive) != 0) throw lib::io::StreamError("unknown flags");
    f.race_active = (flags & kFlagRaceActive) != 0;
    f.race = lib::io::read_binary<std::int32_t>(b);
    for (float* d : {&f.bottom, &f.bit, &f.lag, &f.block}) *d = lib::io::read_binary<float>(b);
    f.operation = lib::io::read_binary<std::int32_t>(b);
    lib::io::read_binary(b, f.operation_name);
    const auto n = lib::io::read_binary<std::uint32_t>(b);
    // Each value takes at least three string counts, the value and its marks.
    if (n > b.rest().size() / 17)
      throw lib::io::StreamError("a value count of " + std::to_string(n));
    f.values.resize(n);
    for (FrameValue& v : f.values) {
      lib::io::read_binary(b, v.identifier);
      lib::io::read_binary(b, v.name);
      lib::io::read_binary(b, v.unit);
      v.value = lib::io::read_binary<float>(b);
      const auto marks = lib::io::read_binary<std::uint8_t>(b);
      if ((marks & ~(kMarkStale | kMarkAlarm | kMarkNotValid)) != 0)
        throw lib::io::StreamError("unknown marks of a value");
      v.stale = (marks & kMarkStale) != 0;
      v.alarm = (marks & kMarkAlarm) != 0;
      v.valid = (marks & kMarkNotValid) == 0;
    }
    const auto m = lib::io::read_binary<std::uint32_t>(b);
    if (m > b.rest().size() / 4)
      throw lib::io::StreamError("an alarm count of " + std::to_string(m));
    f.alarms.resize(m);
    for (std::string& a : f.alarms) lib::io::read_binary(b, a);
    if (!b.rest().empty()) {
      why = std::to_string(b.rest().size()) + " bytes left after the last alarm";
      return std::nullopt;
    }
    return f;
  } catch (const lib::io::StreamError& e) {
    why = std::string("a damaged frame: ") + e.what();
    return std::nullopt;
  }
}

std::optional<LiveFrame> read_live_frame(const std::string& path, lib::FileSystem& fs,
                                         std::string& why) {
  for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
    why.clear();
    const std::optional<std::string> bytes = lib::read_whole_file(path, fs, kMaxFrameBytes);
    if (!bytes) {
      const int err = errno;
      if (err != ENOENT) why = lib::read_failure_text(err, kMaxFrameBytes);
      return std::nullopt;
    }
    if (auto frame = decode_live_frame(*bytes, why)) return frame;
  }
  return std::nullopt;
}

}  // namespace live
