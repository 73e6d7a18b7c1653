// The device level of the 2017 field bus, shared by the station side and the device
// simulator: the address plan, the command bytes, the module data reply in its two data
// versions, and the module configuration block. Multi-byte fields are little-endian.
// docs/bus-2017-devices.md describes the same layouts in prose.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace hardware::bus2017 {

// Address plan. Address 0 is never polled; every address outside the indicator and console
// ranges is an I/O module.
inline constexpr int kFirstIndicator = 33;
inline constexpr int kLastIndicator = 64;
inline constexpr int kFirstConsole = 65;
inline constexpr int kLastConsole = 96;
inline constexpr int kLastAddress = 255;
// A configuration read sent here is answered by whichever module is on the bus, with its
// own address; only meaningful with a single module connected.
inline constexpr std::uint8_t kAnyAddress = 0xFE;

inline constexpr bool is_indicator_address(int address) {
  return address >= kFirstIndicator && address <= kLastIndicator;
}
inline constexpr bool is_console_address(int address) {
  return address >= kFirstConsole && address <= kLastConsole;
}
inline constexpr bool is_module_address(int address) {
  return address > 0 && address <= kLastAddress && !is_indicator_address(address) &&
         !is_console_address(address);
}

// Command bytes. The same byte means different things to different device kinds.
inline constexpr std::uint8_t kCmdResult = 0x00;              // device: result of a write
inline constexpr std::uint8_t kCmdModuleData = 0x01;          // module: send your data
inline constexpr std::uint8_t kCmdIndicatorData = 0x01;       // indicator: show these data
inline constexpr std::uint8_t kCmdIndicatorType = 0x02;       // indicator: what type are you
inline constexpr std::uint8_t kCmdIndicatorTypeReply = 0x03;  // indicator: my type
inline constexpr std::uint8_t kCmdModuleConfigRead = 0x10;    // module: send your config
inline constexpr std::uint8_t kCmdModuleConfigWrite = 0x12;   // module: take this config
inline constexpr std::uint8_t kCmdConsoleData = 0x80;         // console: send the 60-byte block
inline constexpr std::uint8_t kCmdConsoleValues = 0x82;       // console: indicator values
inline constexpr std::uint8_t kCmdConsoleConfig = 0x83;       // console: indicator config

// Reply data sizes (the command byte not counted).
inline constexpr std::size_t kResultSize = 1;
inline constexpr std::size_t kIndicatorTypeSize = 1;
inline constexpr std::size_t kConsoleBlockSize = 60;  // the older bus's 60-byte block

// Module data reply. Exactly 138 bytes is data version 0; any other length starts with its
// data version word, and only version 101 (146 bytes) is understood.
inline constexpr std::size_t kModuleReplyRoom = 148;
inline constexpr std::size_t kModuleReplyV0Size = 138;
inline constexpr std::size_t kModuleReplyV101Size = 146;
inline constexpr std::uint16_t kDataVersion0 = 0;
inline constexpr std::uint16_t kDataVersion101 = 101;

inline constexpr int kAdcWords = 48;
inline constexpr int kDolChannels = 2;  // winch (drawworks) sensor values
inline constexpr int kRatePeriods = 16;

// Version 0: 16-bit packet number; the winch-sensor values are signed 16-bit increments.
inline constexpr std::size_t kV0PacketOffset = 0;
inline constexpr std::size_t kV0StatusAOffset = 2;
inline constexpr std::size_t kV0StatusBOffset = 3;
inline constexpr std::size_t kV0AdcOffset = 4;
inline constexpr std::size_t kV0DolOffset = 100;
inline constexpr std::size_t kV0DolSize = 2;
inline constexpr std::size_t kV0PeriodsOffset = 104;
inline constexpr std::size_t kV0FlagsOffset = 136;

// Version 101: version word first, 32-bit packet number; the winch-sensor values are
// signed 32-bit absolute values.
inline constexpr std::size_t kV101VersionOffset = 0;
inline constexpr std::size_t kV101StatusAOffset = 2;
inline constexpr std::size_t kV101StatusBOffset = 3;
inline constexpr std::size_t kV101PacketOffset = 4;
inline constexpr std::size_t kV101AdcOffset = 8;
inline constexpr std::size_t kV101DolOffset = 104;
inline constexpr std::size_t kV101DolSize = 4;
inline constexpr std::size_t kV101PeriodsOffset = 112;
inline constexpr std::size_t kV101FlagsOffset = 144;

// One data version's layout, so reader and writer can walk either with the same code.
struct ModuleReplyLayout {
  std::size_t size;
  std::size_t packet_offset;
  std::size_t packet_size;  // 2 or 4 bytes
  std::size_t status_a_offset;
  std::size_t status_b_offset;
  std::size_t adc_offset;
  std::size_t dol_offset;
  std::size_t dol_size;  // 2 (increment) or 4 (absolute value)
  std::size_t periods_offset;
  std::size_t flags_offset;
};

inline constexpr ModuleReplyLayout kV0Layout{.size = kModuleReplyV0Size,
                                             .packet_offset = kV0PacketOffset,
                                             .packet_size = 2,
                                             .status_a_offset = kV0StatusAOffset,
                                             .status_b_offset = kV0StatusBOffset,
                                             .adc_offset = kV0AdcOffset,
                                             .dol_offset = kV0DolOffset,
                                             .dol_size = kV0DolSize,
                                             .periods_offset = kV0PeriodsOffset,
                                             .flags_offset = kV0FlagsOffset};
inline constexpr ModuleReplyLayout kV101Layout{.size = kModuleReplyV101Size,
                                               .packet_offset = kV101PacketOffset,
                                               .packet_size = 4,
                                               .status_a_offset = kV101StatusAOffset,
                                               .status_b_offset = kV101StatusBOffset,
                                               .adc_offset = kV101AdcOffset,
                                               .dol_offset = kV101DolOffset,
                                               .dol_size = kV101DolSize,
                                               .periods_offset = kV101PeriodsOffset,
                                               .flags_offset = kV101FlagsOffset};

static_assert(kV0AdcOffset + 2 * kAdcWords == kV0DolOffset);
static_assert(kV0DolOffset + kDolChannels * kV0DolSize == kV0PeriodsOffset);
static_assert(kV0PeriodsOffset + 2 * kRatePeriods == kV0FlagsOffset);
static_assert(kV0FlagsOffset + 2 == kModuleReplyV0Size);
static_assert(kV101AdcOffset + 2 * kAdcWords == kV101DolOffset);
static_assert(kV101DolOffset + kDolChannels * kV101DolSize == kV101PeriodsOffset);
static_assert(kV101PeriodsOffset + 2 * kRatePeriods == kV101FlagsOffset);
static_assert(kV101FlagsOffset + 2 == kModuleReplyV101Size);
static_assert(kModuleReplyV101Size <= kModuleReplyRoom);

// A rate input's frequency is kPeriodDividend / period, 0 for a zero period.
inline constexpr double kPeriodDividend = 100.0;

// Module configuration: 14 bytes, passed through unchanged. Read (0x10) replies carry them
// followed by the packet layer's inner CRC-16 of the 14 bytes, little-endian; a write
// (0x12) sends the 14 bytes alone and is answered with a result.
inline constexpr std::size_t kModuleConfigSize = 14;
inline constexpr std::size_t kInnerCrcSize = 2;

// Little-endian field access over a reply buffer; the caller keeps offsets in range.
inline std::uint16_t get_u16(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}
inline std::uint32_t get_u32(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return static_cast<std::uint32_t>(get_u16(bytes, offset)) |
         (static_cast<std::uint32_t>(get_u16(bytes, offset + 2)) << 16);
}
inline void put_u16(std::span<std::uint8_t> bytes, std::size_t offset, std::uint16_t value) {
  bytes[offset] = static_cast<std::uint8_t>(value & 0xFF);
  bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}
inline void put_u32(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value) {
  put_u16(bytes, offset, static_cast<std::uint16_t>(value & 0xFFFF));
  put_u16(bytes, offset + 2, static_cast<std::uint16_t>(value >> 16));
}

}  // namespace hardware::bus2017
