// The CRC-16 engine of the packet layer. Its parameters stay runtime values (the bus uses
// CRC-16/CCITT-FALSE: polynomial 0x1021, initial 0xFFFF, no final XOR, no reflection), so a
// device speaking a variant needs no new code. The arithmetic is Boost.CRC: the table-driven
// crc_optimal for the bus parameters, crc_basic for any others.
#pragma once

#include <boost/crc.hpp>
#include <cstddef>
#include <cstdint>

namespace hardware {

struct CrcParameters {
  std::uint16_t polynomial = 0x1021;
  std::uint16_t initial_value = 0xFFFF;
  std::uint16_t final_xor = 0x0000;
  bool reflect_input = false;
  bool reflect_output = false;
  bool operator==(const CrcParameters&) const = default;
};

// CRC-16/CCITT-FALSE (also catalogued as CRC-16/IBM-3740), the bus checksum.
inline constexpr CrcParameters kBusCrc{};

class CrcEngine {
 public:
  explicit CrcEngine(const CrcParameters& parameters = kBusCrc)
      : parameters_(parameters),
        fast_(parameters == kBusCrc),
        general_(parameters.polynomial, parameters.initial_value, parameters.final_xor,
                 parameters.reflect_input, parameters.reflect_output) {
    reset();
  }

  const CrcParameters& parameters() const { return parameters_; }

  // Register := initial value.
  void reset() {
    if (fast_) {
      fast_crc_.reset(parameters_.initial_value);
    } else {
      general_.reset(parameters_.initial_value);
    }
  }

  void update(std::uint8_t byte) {
    if (fast_) {
      fast_crc_.process_byte(byte);
    } else {
      general_.process_byte(byte);
    }
  }

  void update(const std::uint8_t* bytes, std::size_t count) {
    if (fast_) {
      fast_crc_.process_bytes(bytes, count);
    } else {
      general_.process_bytes(bytes, count);
    }
  }

  // The running register, before output reflection and final XOR.
  std::uint16_t register_value() const {
    return fast_ ? fast_crc_.get_interim_remainder() : general_.get_interim_remainder();
  }

  // Register (mirrored when reflect_output) XOR final value.
  std::uint16_t final_value() const { return fast_ ? fast_crc_.checksum() : general_.checksum(); }

  // A message followed by its own CRC, high byte first, leaves the final value equal to the
  // final XOR value: the receiver's acceptance test.
  bool residue_ok() const { return final_value() == parameters_.final_xor; }

  static std::uint16_t compute(const std::uint8_t* bytes, std::size_t count,
                               const CrcParameters& parameters = kBusCrc) {
    CrcEngine engine(parameters);
    engine.update(bytes, count);
    return engine.final_value();
  }

 private:
  using BusCrc = boost::crc_optimal<16, 0x1021, 0xFFFF, 0x0000, false, false>;

  CrcParameters parameters_;
  bool fast_;
  BusCrc fast_crc_;
  boost::crc_basic<16> general_;
};

}  // namespace hardware
