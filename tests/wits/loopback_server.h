// A WITS peer for the receiver's tests: a TCP server on the loopback address that accepts one
// client at a time and sends what the test tells it. Every wait has a time-out, so a test
// whose receiver never connects fails instead of hanging.
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace wits_testing {

namespace asio = boost::asio;
using asio::ip::tcp;

class LoopbackServer {
 public:
  // Listens on `port` (0: any free port).
  explicit LoopbackServer(int port = 0) : acceptor_(io_) { listen(port); }

  int port() const { return port_; }

  void listen(int port) {
    const tcp::endpoint at(asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(port));
    acceptor_.open(at.protocol());
    acceptor_.set_option(tcp::acceptor::reuse_address(true));
    acceptor_.bind(at);
    acceptor_.listen();
    port_ = acceptor_.local_endpoint().port();
  }

  // Closes the client and stops listening, as a server that goes down.
  void shut_down() {
    close_client();
    boost::system::error_code ignored;
    acceptor_.close(ignored);
  }

  // Waits for a client; false when none came within `timeout`.
  bool accept(std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) {
    close_client();
    bool done = false;
    boost::system::error_code result;
    client_.emplace(io_);
    acceptor_.async_accept(*client_, [&](const boost::system::error_code& e) {
      done = true;
      result = e;
    });
    io_.restart();
    io_.run_for(timeout);
    if (!done) {
      acceptor_.cancel();
      while (!done) {
        io_.restart();
        io_.run();
      }
    }
    if (result) client_.reset();
    return done && !result;
  }

  // Sends every byte (blocking); false when the client has gone.
  bool send(std::string_view bytes) {
    if (!client_) return false;
    boost::system::error_code ec;
    asio::write(*client_, asio::buffer(bytes.data(), bytes.size()), ec);
    return !ec;
  }

  void close_client() {
    if (!client_) return;
    boost::system::error_code ignored;
    client_->shutdown(tcp::socket::shutdown_both, ignored);
    client_->close(ignored);
    client_.reset();
  }

 private:
  asio::io_context io_;
  tcp::acceptor acceptor_;
  std::optional<tcp::socket> client_;
  int port_ = 0;
};

// Polls `condition` until it holds or `timeout` passed: the receiver's threads run on their
// own, so a test can only watch for what they do.
inline bool eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) {
  const auto until = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < until) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return condition();
}

}  // namespace wits_testing
