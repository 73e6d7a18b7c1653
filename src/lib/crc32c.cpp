#include "lib/crc32c.h"

#include <array>
#include <bit>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <nmmintrin.h>
#define RIGCORE_CRC32C_SSE42 1
#endif

namespace lib {
namespace {

constexpr std::uint32_t kPolynomial = 0x82F63B78;  // reflected

// Table k holds the register after byte b followed by k zero bytes: eight bytes are then
// taken with eight look-ups.
constexpr std::array<std::array<std::uint32_t, 256>, 8> make_tables() {
  std::array<std::array<std::uint32_t, 256>, 8> t{};
  for (std::uint32_t b = 0; b < 256; ++b) {
    std::uint32_t c = b;
    for (int i = 0; i < 8; ++i) c = (c >> 1) ^ ((c & 1) ? kPolynomial : 0);
    t[0][b] = c;
  }
  for (std::size_t k = 1; k < 8; ++k) {
    for (std::size_t b = 0; b < 256; ++b) t[k][b] = (t[k - 1][b] >> 8) ^ t[0][t[k - 1][b] & 0xFF];
  }
  return t;
}
constexpr auto kTables = make_tables();

std::uint64_t load64(const unsigned char* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  return v;  // the tables and the instruction both take the bytes in little-endian order
}

// The register (not inverted) through the bytes.
std::uint32_t update_portable(std::uint32_t c, const unsigned char* p, std::size_t n) {
  if constexpr (std::endian::native == std::endian::little) {
    for (; n >= 8; n -= 8, p += 8) {
      const std::uint64_t v = load64(p) ^ c;
      c = kTables[7][v & 0xFF] ^ kTables[6][(v >> 8) & 0xFF] ^ kTables[5][(v >> 16) & 0xFF] ^
          kTables[4][(v >> 24) & 0xFF] ^ kTables[3][(v >> 32) & 0xFF] ^
          kTables[2][(v >> 40) & 0xFF] ^ kTables[1][(v >> 48) & 0xFF] ^ kTables[0][v >> 56];
    }
  }
  for (; n > 0; --n, ++p) c = (c >> 8) ^ kTables[0][(c ^ *p) & 0xFF];
  return c;
}

#ifdef RIGCORE_CRC32C_SSE42
// Three streams of kStride bytes run side by side (the instruction takes three cycles, one
// may start every cycle), then join: the register of a stream that went first is carried
// over the kStride bytes of the next as if they were zeros, which is linear in the register
// and so four look-ups in tables made once.
constexpr std::size_t kStride = 128;

struct Shift {
  std::array<std::array<std::uint32_t, 256>, 4> t{};
  Shift() {
    const unsigned char zeros[kStride] = {};
    for (std::size_t k = 0; k < 4; ++k) {
      for (std::uint32_t b = 0; b < 256; ++b) {
        t[k][b] = update_portable(b << (8 * k), zeros, kStride);
      }
    }
  }
  std::uint32_t operator()(std::uint32_t c) const {
    return t[0][c & 0xFF] ^ t[1][(c >> 8) & 0xFF] ^ t[2][(c >> 16) & 0xFF] ^ t[3][c >> 24];
  }
};
__attribute__((target("sse4.2"))) std::uint32_t update_sse42(std::uint32_t c,
                                                             const unsigned char* p,
                                                             std::size_t n) {
  static const Shift shift;
  for (; n >= 3 * kStride; n -= 3 * kStride, p += 3 * kStride) {
    std::uint64_t a = c, b = 0, d = 0;
    for (std::size_t i = 0; i < kStride; i += 8) {
      a = _mm_crc32_u64(a, load64(p + i));
      b = _mm_crc32_u64(b, load64(p + kStride + i));
      d = _mm_crc32_u64(d, load64(p + 2 * kStride + i));
    }
    c = shift(shift(static_cast<std::uint32_t>(a)) ^ static_cast<std::uint32_t>(b)) ^
        static_cast<std::uint32_t>(d);
  }
  std::uint64_t w = c;
  for (; n >= 8; n -= 8, p += 8) w = _mm_crc32_u64(w, load64(p));
  c = static_cast<std::uint32_t>(w);
  for (; n > 0; --n, ++p) c = _mm_crc32_u8(c, *p);
  return c;
}

// Asked once, on first use: a static initialiser might run before the run-time library has
// looked at the processor.
bool have_sse42() {
  static const bool have = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("sse4.2") != 0;
  }();
  return have;
}
#endif

}  // namespace

std::uint32_t crc32c(const void* data, std::size_t n, std::uint32_t crc) {
  const auto* p = static_cast<const unsigned char*>(data);
#ifdef RIGCORE_CRC32C_SSE42
  if (have_sse42()) return ~update_sse42(~crc, p, n);
#endif
  return ~update_portable(~crc, p, n);
}

namespace detail {
std::uint32_t crc32c_portable(const void* data, std::size_t n, std::uint32_t crc) {
  return ~update_portable(~crc, static_cast<const unsigned char*>(data), n);
}
}  // namespace detail

}  // namespace lib
