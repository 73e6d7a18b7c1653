// The OS side of a serial line, reduced to what the serial port needs: open a device, set
// its speed, move bytes with a time-out, drop what is waiting, and drive RTS. CommPort
// talks to the line only through this interface, so protocol tests can hand it a scripted
// line (garbage, silence, a device that vanishes) without a device file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace lib {

class BytePort {
 public:
  // Results of read_some besides a byte count.
  static constexpr int kTimedOut = -1;
  static constexpr int kFailed = -2;

  virtual ~BytePort() = default;

  // Opens a device by path (closing any open one first); false with a reason in last_error.
  virtual bool open(const std::string& path) = 0;
  virtual void close() = 0;
  virtual bool is_open() const = 0;
  // 8 data bits, no parity, one stop bit, no flow control, at the given speed.
  virtual bool set_baud_rate(int baud) = 0;
  // Reads what is available, up to `room` bytes, waiting at most timeout_ms for the first
  // byte. Returns the count (>0), kTimedOut, or kFailed (device gone, port closed).
  virtual int read_some(std::uint8_t* buf, std::size_t room, int timeout_ms) = 0;
  // Writes every byte; false when the line refused them.
  virtual bool write_all(const std::uint8_t* data, std::size_t size) = 0;
  // Waits until the written bytes have left the device.
  virtual bool drain() = 0;
  // Drops bytes received and not yet read.
  virtual bool discard_input() = 0;
  // Raises (true) or drops (false) RTS; false when the device has no such line.
  virtual bool set_rts(bool raised) = 0;
  // The OS descriptor, -1 when closed.
  virtual int native_handle() const = 0;
  virtual std::string last_error() const = 0;
};

// The real line: Boost.Asio's serial port over a tty or pseudo-terminal device.
std::unique_ptr<BytePort> make_serial_byte_port();
// The same over an already open descriptor (the master side of a pseudo-terminal); the port
// takes ownership of `fd` and leaves its line settings alone.
std::unique_ptr<BytePort> make_serial_byte_port_from_fd(int fd);

}  // namespace lib
