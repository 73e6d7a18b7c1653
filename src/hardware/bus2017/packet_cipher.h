// The enciphered payload of a bus packet. The plain block is the magic 0xDEADBEEF and the
// text length L (both little-endian), the L bytes of text (command byte, then data), and
// zero padding up to a whole number of 16-byte blocks; it is enciphered with AES-256-CBC,
// no padding scheme, the vector restarted for every packet so packets stand alone.
//
// The key is fixed for the program's life, so its expanded schedule is set up once per key
// and thread and kept: each packet restarts only the vector. The keyed states are the
// calling thread's own, so two channels on two threads do not meet; one cipher is not for
// concurrent use.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "hardware/bus2017/bus_cipher_key.h"
#include "hardware/bus2017/packet_format.h"

namespace hardware {

class PacketCipher {
 public:
  explicit PacketCipher(const BusCipherKey& key = configured_bus_cipher_key());
  ~PacketCipher();
  PacketCipher(const PacketCipher&) = delete;
  PacketCipher& operator=(const PacketCipher&) = delete;

  // Builds and enciphers the plain block of `text` into `out`. Returns the enciphered size
  // N (a multiple of 16), or 0 when the padded block is larger than the scratch block
  // (2048) or than `out`; nothing is written to `out` then.
  std::size_t encode(std::span<const std::uint8_t> text, std::span<std::uint8_t> out);

  // Deciphers a received payload and copies its text to `out`. Returns L, or 0 when the
  // payload is longer than 2048 bytes, is not whole 16-byte blocks, lacks the magic, or
  // claims a length that is 0, larger than the block holds or larger than `out`.
  std::size_t decode(std::span<const std::uint8_t> payload, std::span<std::uint8_t> out);

  // Plain AES-256-CBC over whole blocks (in and out the same size, a multiple of 16) with
  // the vector restarted; false on a size that is not whole blocks or a cipher failure.
  bool encrypt_blocks(std::span<const std::uint8_t> in, std::span<std::uint8_t> out);
  bool decrypt_blocks(std::span<const std::uint8_t> in, std::span<std::uint8_t> out);

 private:
  bool run(bool encrypt, std::span<const std::uint8_t> in, std::span<std::uint8_t> out);

  BusCipherKey key_;
  std::array<std::uint8_t, packet_format::kCipherScratchSize> scratch_{};
};

}  // namespace hardware
