// BytePort over Boost.Asio's serial_port. Reads with a time-out run one asynchronous read on
// a private io_context for at most the time-out and cancel it when it did not complete.
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/serial_port.hpp>
#include <boost/asio/write.hpp>
#include <chrono>

#include "lib/byte_port.h"

namespace lib {
namespace {

namespace asio = boost::asio;

class SerialBytePort : public BytePort {
 public:
  SerialBytePort() = default;
  explicit SerialBytePort(int fd) {
    boost::system::error_code ec;
    port_.assign(fd, ec);
    if (ec) {
      error_ = ec.message();
      ::close(fd);
    }
  }
  ~SerialBytePort() override { close(); }

  bool open(const std::string& path) override {
    close();
    boost::system::error_code ec;
    port_.open(path, ec);
    if (ec) {
      error_ = path + ": " + ec.message();
      return false;
    }
    return set_baud_rate(9600);
  }

  void close() override {
    boost::system::error_code ec;
    if (port_.is_open()) port_.close(ec);
  }

  bool is_open() const override { return port_.is_open(); }

  bool set_baud_rate(int baud) override {
    if (!port_.is_open()) return fail("port is not open");
    if (baud <= 0) return fail("baud rate must be positive");
    boost::system::error_code ec;
    using sp = asio::serial_port_base;
    port_.set_option(sp::baud_rate(static_cast<unsigned>(baud)), ec);
    if (!ec) port_.set_option(sp::character_size(8), ec);
    if (!ec) port_.set_option(sp::parity(sp::parity::none), ec);
    if (!ec) port_.set_option(sp::stop_bits(sp::stop_bits::one), ec);
    if (!ec) port_.set_option(sp::flow_control(sp::flow_control::none), ec);
    if (ec) return fail("line settings: " + ec.message());
    return true;
  }

  int read_some(std::uint8_t* buf, std::size_t room, int timeout_ms) override {
    if (!port_.is_open()) return kFailed;
    if (room == 0) return 0;
    bool done = false;
    std::size_t got = 0;
    boost::system::error_code result;
    port_.async_read_some(asio::buffer(buf, room),
                          [&](const boost::system::error_code& ec, std::size_t n) {
                            done = true;
                            result = ec;
                            got = n;
                          });
    io_.restart();
    io_.run_for(std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms));
    if (!done) {
      boost::system::error_code ignored;
      port_.cancel(ignored);
      io_.restart();
      io_.run();  // lets the cancelled read finish before buf goes out of scope
    }
    if (got > 0) return static_cast<int>(got);
    if (result == asio::error::operation_aborted || !done) return kTimedOut;
    if (result) {
      error_ = result.message();
      return kFailed;
    }
    return kTimedOut;
  }

  bool write_all(const std::uint8_t* data, std::size_t size) override {
    if (!port_.is_open()) return fail("port is not open");
    boost::system::error_code ec;
    asio::write(port_, asio::buffer(data, size), ec);
    if (ec) return fail("write: " + ec.message());
    return true;
  }

  bool drain() override {
    if (!port_.is_open()) return fail("port is not open");
    if (::tcdrain(native_handle()) != 0) return fail("drain failed");
    return true;
  }

  bool discard_input() override {
    if (!port_.is_open()) return fail("port is not open");
    if (::tcflush(native_handle(), TCIFLUSH) != 0) return fail("discard failed");
    return true;
  }

  bool set_rts(bool raised) override {
    if (!port_.is_open()) return fail("port is not open");
    int bits = TIOCM_RTS;
    if (::ioctl(native_handle(), raised ? TIOCMBIS : TIOCMBIC, &bits) != 0)
      return fail("the device has no RTS line");
    return true;
  }

  int native_handle() const override {
    return port_.is_open() ? const_cast<asio::serial_port&>(port_).native_handle() : -1;
  }

  std::string last_error() const override { return error_; }

 private:
  bool fail(std::string why) {
    error_ = std::move(why);
    return false;
  }

  asio::io_context io_;
  asio::serial_port port_{io_};
  std::string error_;
};

}  // namespace

std::unique_ptr<BytePort> make_serial_byte_port() {
  return std::make_unique<SerialBytePort>();
}

std::unique_ptr<BytePort> make_serial_byte_port_from_fd(int fd) {
  return std::make_unique<SerialBytePort>(fd);
}

}  // namespace lib
