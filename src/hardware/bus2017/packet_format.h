// The wire and plain-block layout of the 2017 field bus, shared by the sending and the
// receiving side of the packet layer. docs/bus-2017-packets.md describes the frame.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hardware::packet_format {

// Frame marks; only the bytes between the start and the end mark are stuffed.
inline constexpr std::uint8_t kPreamble = 0xFF;
inline constexpr std::uint8_t kFrameMark = 0xF0;  // start and end of a frame
inline constexpr std::uint8_t kEscape = 0x1B;
// The byte after kEscape: which marked byte it stands for.
inline constexpr std::uint8_t kEscapedFrameMark = 0x01;
inline constexpr std::uint8_t kEscapedEscape = 0x02;

// Plain block: magic (little-endian), text length L (little-endian), text, padding.
inline constexpr std::uint32_t kMagic = 0xDEADBEEF;
inline constexpr std::size_t kMagicOffset = 0;
inline constexpr std::size_t kLengthOffset = 4;
inline constexpr std::size_t kHeaderSize = 6;
inline constexpr std::size_t kCipherBlock = 16;

// Buffers of the channel: the plain text (command byte and data), the transmit buffer
// (address byte and enciphered payload) and the cipher's scratch block.
inline constexpr std::size_t kWorkBufferSize = 2048;
inline constexpr std::size_t kTransmitBufferSize = 2048;
inline constexpr std::size_t kCipherScratchSize = 2048;
// Room for the payload behind the address byte of the transmit buffer (one byte is kept
// spare, as the console firmware expects).
inline constexpr std::size_t kTransmitPayloadRoom = 2046;

// The receive assembler: at most this many unstuffed bytes (address, payload, 2 CRC bytes)
// and at least kMinFrameBytes for a frame to count.
inline constexpr std::size_t kMaxFrameBytes = 256;
inline constexpr std::size_t kMinFrameBytes = 10;
inline constexpr std::size_t kFrameCrcBytes = 2;

// Port read results below this are errors, not bytes.
inline constexpr int kReadTimeout = -512;
inline constexpr int kReadUnknownError = -1024;

// The largest plain text that still goes out: (L + 6) rounded up to 16 must fit the room.
inline constexpr std::size_t padded_block_size(std::size_t text_length) {
  return (text_length + kHeaderSize + kCipherBlock - 1) / kCipherBlock * kCipherBlock;
}

}  // namespace hardware::packet_format
