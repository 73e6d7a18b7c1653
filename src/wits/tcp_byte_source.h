// A TCP client connection as the byte stream the record reader reads: what a receiving
// thread, the dump tool and the benchmark read records from. Every operation runs on the
// object's own io_context with a time-out, so no call blocks longer than its wait; interrupt()
// (from any other thread) cuts the wait in progress short.
//
// Not thread-safe apart from interrupt(): one reader at a time.
#pragma once

#include <array>
#include <atomic>
#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <chrono>
#include <optional>
#include <string>

#include "wits/wits0_reader.h"

namespace wits {

namespace asio = boost::asio;
using asio::ip::tcp;

// `stream_timeout` bounds a connect and the wait for any byte.
class TcpByteSource : public ByteSource {
 public:
  explicit TcpByteSource(std::chrono::milliseconds stream_timeout)
      : stream_timeout_(stream_timeout), socket_(io_) {}

  // Interrupts any wait in progress; safe from any thread.
  void interrupt() {
    interrupted_ = true;
    io_.stop();
  }

  // Resolves and connects; the error text when that failed.
  std::optional<std::string> connect(const std::string& host, int port) {
    close();
    boost::system::error_code ec;
    tcp::resolver resolver(io_);
    const auto endpoints = resolver.resolve(host, std::to_string(port), ec);
    if (ec) return ec.message();
    bool done = false;
    boost::system::error_code result;
    asio::async_connect(socket_, endpoints,
                        [&](const boost::system::error_code& e, const tcp::endpoint&) {
                          done = true;
                          result = e;
                        });
    if (!run(done, stream_timeout_)) return std::string("connection timed out");
    if (result) {
      close();
      return result.message();
    }
    return std::nullopt;
  }

  bool is_open() const { return socket_.is_open(); }

  // True when bytes are waiting (in our buffer or in the socket) within `timeout`.
  bool wait_for_data(std::chrono::milliseconds timeout) {
    if (pos_ < len_) return true;
    bool done = false;
    boost::system::error_code result;
    socket_.async_wait(tcp::socket::wait_read, [&](const boost::system::error_code& e) {
      done = true;
      result = e;
    });
    return run(done, timeout) && !result;
  }

  // True when bytes are here already (in our buffer or in the socket's), without waiting.
  bool has_data_now() {
    if (pos_ < len_) return true;
    boost::system::error_code ec;
    return socket_.is_open() && socket_.available(ec) > 0 && !ec;
  }

  std::optional<unsigned char> next_byte() override {
    if (pos_ < len_) return buffer_[pos_++];
    if (!socket_.is_open()) return std::nullopt;
    bool done = false;
    boost::system::error_code result;
    std::size_t got = 0;
    socket_.async_read_some(asio::buffer(buffer_),
                            [&](const boost::system::error_code& e, std::size_t n) {
                              done = true;
                              result = e;
                              got = n;
                            });
    if (!run(done, stream_timeout_) || result || got == 0) return std::nullopt;
    pos_ = 1;
    len_ = got;
    return buffer_[0];
  }

  void close() {
    boost::system::error_code ignored;
    if (socket_.is_open()) {
      socket_.shutdown(tcp::socket::shutdown_both, ignored);
      socket_.close(ignored);
    }
    pos_ = len_ = 0;
  }

 private:
  // Runs the context until `done` or the time-out; on a time-out or a stop the operation is
  // cancelled and its handler run, so nothing refers to the caller's locals afterwards.
  bool run(bool& done, std::chrono::milliseconds timeout) {
    io_.restart();
    if (!interrupted_) io_.run_for(timeout);
    if (done) return true;
    boost::system::error_code ignored;
    socket_.cancel(ignored);
    while (!done) {
      io_.restart();
      io_.run();
    }
    return false;
  }

  std::chrono::milliseconds stream_timeout_;
  std::atomic<bool> interrupted_{false};
  asio::io_context io_;
  tcp::socket socket_;
  std::array<unsigned char, 4096> buffer_{};
  std::size_t pos_ = 0;
  std::size_t len_ = 0;
};

}  // namespace wits
