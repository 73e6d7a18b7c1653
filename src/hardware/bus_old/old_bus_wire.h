// Wire form of the older field bus, shared by the station side (CommPort) and the device
// side (the bus simulator). Described for people in docs/old-bus-wire.md.
//
//   request  (station -> device):  5A c0 c1 x          x = 5A ^ c0 ^ c1
//   reply    (device  -> station): A5 c0 c1 n d[n] crc_lo crc_hi
//   output   (station -> device):  5B n_lo n_hi d[n] crc_lo crc_hi
//
// c0 c1 are the two command letters ("SP", "2P", "4P"); the reply echoes them. crc is
// CRC-16 (polynomial 0xA001 reflected, initial 0xFFFF) over every byte after the sync byte
// and before the crc itself.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lib::old_bus {

inline constexpr std::uint8_t kRequestSync = 0x5A;
inline constexpr std::uint8_t kReplySync = 0xA5;
inline constexpr std::uint8_t kOutputSync = 0x5B;

inline constexpr std::size_t kCommandLength = 2;
inline constexpr std::size_t kRequestSize = 4;  // sync, two letters, check byte

// Reply: sync, two letters, length byte, data, two crc bytes.
inline constexpr std::size_t kReplyHeaderSize = 4;
inline constexpr std::size_t kReplyTrailerSize = 2;
inline constexpr std::size_t kMaxReplyData = 255;  // the length is one byte
// The reply block every older module sends.
inline constexpr std::size_t kModuleBlockSize = 60;

// Output: sync, 16-bit length (little-endian), data, two crc bytes.
inline constexpr std::size_t kOutputHeaderSize = 3;
inline constexpr std::size_t kMaxOutputData = 1024;

// Bytes a station skips while hunting for a reply's sync byte before giving up: a line
// that keeps sending noise must not hold an exchange beyond its time-out.
inline constexpr std::size_t kMaxNoiseBeforeReply = 512;

inline constexpr std::uint16_t kCrcInit = 0xFFFF;
inline constexpr std::uint16_t kCrcPolynomial = 0xA001;

inline std::uint16_t crc16_update(std::uint16_t crc, const std::uint8_t* data, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ kCrcPolynomial : crc >> 1;
  }
  return crc;
}

inline std::uint16_t crc16(const std::uint8_t* data, std::size_t n) {
  return crc16_update(kCrcInit, data, n);
}

inline std::uint8_t request_check(std::uint8_t c0, std::uint8_t c1) {
  return static_cast<std::uint8_t>(kRequestSync ^ c0 ^ c1);
}

}  // namespace lib::old_bus
