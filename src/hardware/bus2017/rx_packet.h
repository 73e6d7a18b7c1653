// The receive-side frame assembler of the 2017 field bus: fed one port byte at a time, it
// undoes the byte stuffing, runs the frame CRC and reports a completed packet when a closing
// frame mark ends a long enough frame whose CRC checks. Anything else (short frames, bad CRC,
// broken escape pairs, overlong frames) is dropped without a trace and assembly starts over,
// so a receiver just keeps feeding bytes until a good frame or a port error.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "hardware/bus2017/packet_crc.h"
#include "hardware/bus2017/packet_format.h"

namespace hardware {

// CheckWord: type of the CRC values handed out; MaxBytes: most unstuffed bytes a frame may
// collect (address, payload and the two CRC bytes); SizeType: type of counts; MinBytes: fewest
// collected bytes for a frame to count.
template <typename CheckWord, std::size_t MaxBytes, typename SizeType, std::size_t MinBytes>
class RxPacket {
  static_assert(MinBytes > packet_format::kFrameCrcBytes + 1, "a frame needs an address and CRC");
  static_assert(MaxBytes >= MinBytes);

 public:
  RxPacket() : crc_(kBusCrc) { reset(); }

  // Forgets the completed packet (the collected bytes stay until new ones arrive).
  void clearPacket() { size_ = 0; }
  // Payload bytes of the last completed packet; 0 while none is ready.
  SizeType getPacketSize() const { return size_; }
  std::uint8_t getAddress() const { return data_[0]; }
  // The payload of the completed packet: getPacketSize() bytes.
  const std::uint8_t* getPacket() const { return data_.data() + 1; }
  // The CRC engine's final value over the bytes collected so far.
  CheckWord getChecksum() const { return static_cast<CheckWord>(crc_.final_value()); }

  void acceptChar(std::uint8_t c) {
    using namespace packet_format;
    if (c == kFrameMark) {
      if (count_ >= MinBytes && crc_.residue_ok()) {
        size_ = static_cast<SizeType>(count_ - 1 - kFrameCrcBytes);
      }
      reset();
      return;
    }
    if (!escape_ && c == kEscape) {
      escape_ = true;
      return;
    }
    if (escape_) {
      escape_ = false;
      if (c == kEscapedFrameMark) {
        c = kFrameMark;
      } else if (c == kEscapedEscape) {
        c = kEscape;
      } else {
        reset();  // a broken escape pair spoils the frame
        return;
      }
    }
    if (count_ < MaxBytes) {
      crc_.update(c);
      data_[count_++] = c;
    } else {
      reset();  // longer than any frame the bus carries
    }
  }

  // Starts a new frame: nothing collected, no pending escape, CRC register at its initial
  // value. A completed packet's size is kept.
  void reset() {
    count_ = 0;
    escape_ = false;
    crc_.reset();
  }

 private:
  std::array<std::uint8_t, MaxBytes> data_{};
  CrcEngine crc_;
  bool escape_ = false;
  SizeType count_ = 0;
  SizeType size_ = 0;
};

// The assembler as the bus uses it.
using BusRxPacket = RxPacket<unsigned int, packet_format::kMaxFrameBytes, unsigned int,
                             packet_format::kMinFrameBytes>;

}  // namespace hardware
