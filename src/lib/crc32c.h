// CRC-32C (the Castagnoli polynomial, reflected 0x82F63B78, initial value and result
// inverted): the check of a block of bytes that must tell any damage of one to three bits, and
// any burst of up to 32, from sound data. Where the processor has the instruction for it
// (x86-64 with SSE 4.2) the work goes through it, three streams at a time, at several bytes a
// cycle; elsewhere through tables, eight bytes at a time. Both give the same value.
//
// Pure functions of their arguments, safe from any thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lib {

// The CRC-32C of `n` bytes, continuing `crc` (the value of the bytes before them; 0 for none):
// crc32c(ab) == crc32c(b, crc32c(a)).
std::uint32_t crc32c(const void* data, std::size_t n, std::uint32_t crc = 0);

namespace detail {
// The same through the tables only, whatever the processor: the reference the fast path is
// held to.
std::uint32_t crc32c_portable(const void* data, std::size_t n, std::uint32_t crc = 0);
}  // namespace detail

}  // namespace lib
