// A small blocking HTTP and WebSocket client on loopback for the web view's tests.
#pragma once

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace web_test {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;

struct Reply {
  int status = 0;  // 0: no answer (the connection was closed)
  std::string body;
  http::response<http::string_body> message;
};

// Sends raw bytes on a new connection and reads one answer.
inline Reply exchange_raw(unsigned short port, const std::string& bytes, bool head = false) {
  asio::io_context ioc;
  beast::tcp_stream stream(ioc);
  stream.connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), port));
  stream.expires_after(std::chrono::seconds(10));
  beast::error_code ec;
  asio::write(stream, asio::buffer(bytes), ec);
  Reply r;
  beast::flat_buffer buffer;
  http::response_parser<http::string_body> parser;
  parser.body_limit(64 * 1024 * 1024);
  parser.skip(head);  // an answer to HEAD has no body
  http::read(stream, buffer, parser, ec);
  if (ec) return r;
  r.message = parser.release();
  r.status = r.message.result_int();
  r.body = r.message.body();
  return r;
}

inline Reply request(unsigned short port, http::verb verb, const std::string& target,
                     const std::string& body = {},
                     const std::vector<std::pair<std::string, std::string>>& fields = {}) {
  http::request<http::string_body> req{verb, target, 11};
  req.set(http::field::host, "127.0.0.1");
  for (const auto& [k, v] : fields) req.set(k, v);
  if (!body.empty() || verb == http::verb::post) {
    req.body() = body;
    req.prepare_payload();
  }
  std::ostringstream out;
  out << req;
  return exchange_raw(port, out.str(), verb == http::verb::head);
}

inline Reply get(unsigned short port, const std::string& target) {
  return request(port, http::verb::get, target);
}

// A WebSocket client of /ws.
class WsClient {
 public:
  explicit WsClient(unsigned short port) : ws_(ioc_) {
    beast::get_lowest_layer(ws_).connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), port));
    ws_.handshake("127.0.0.1", "/ws");
  }
  // The next message, or "" when none came within `seconds` or the server closed.
  std::string read(int seconds = 10) {
    beast::get_lowest_layer(ws_).expires_after(std::chrono::seconds(seconds));
    beast::flat_buffer buffer;
    beast::error_code ec;
    ws_.read(buffer, ec);
    if (ec) {
      error_ = ec;
      return {};
    }
    return beast::buffers_to_string(buffer.data());
  }
  void write(const std::string& text, beast::error_code& ec) { ws_.write(asio::buffer(text), ec); }
  beast::error_code error() const { return error_; }
  websocket::stream<beast::tcp_stream>& stream() { return ws_; }

 private:
  asio::io_context ioc_;
  websocket::stream<beast::tcp_stream> ws_;
  beast::error_code error_;
};

}  // namespace web_test
