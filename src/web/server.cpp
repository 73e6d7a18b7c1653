#include "web/server.h"

#include <algorithm>
#include <atomic>
#include <boost/asio/bind_executor.hpp>
#include <boost/asio/dispatch.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>
#include <cmath>
#include <deque>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <thread>
#include <unordered_map>

#include "lib/str_enc.h"
#include "web/json_text.h"
#include "web/query.h"

namespace web {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;

namespace {

using Request = http::request<http::string_body>;
using Response = http::response<http::string_body>;

std::string json_error(std::string_view message) {
  return json_text({{"error", message}});
}

// Requests of one connection in the current second.
class RateWindow {
 public:
  bool allow(std::int64_t now_ms, int per_second) {
    if (now_ms - start_ms_ >= 1000 || now_ms < start_ms_) {
      start_ms_ = now_ms;
      count_ = 0;
    }
    return ++count_ <= per_second;
  }

 private:
  std::int64_t start_ms_ = -1000000;
  int count_ = 0;
};

}  // namespace

class WsSession;
class HttpSessionBase;

// What the server keeps of an HTTP connection, plain or TLS, to choose one to close.
class HttpSessionBase {
 public:
  virtual ~HttpSessionBase() = default;
  virtual bool idle() const = 0;
  virtual std::uint64_t idle_order() const = 0;
  virtual const std::string& address() const = 0;
  virtual const std::string& peer() const = 0;
  virtual void evict() = 0;
};

// The sessions point to it without owning it: it outlives them, since destroying its loop
// (first of all its members) destroys every session still waiting on it.
struct WebServer::Impl {
  Impl(ServerOptions o, lib::Clock& c)
      : options(std::move(o)), clock(c), history(options.history_ticks) {}
  ~Impl() {
    retry_accept.reset();
    tick_poll.reset();
    acceptor.reset();
    sockets.clear();
    writes.clear();  // their answers hold sessions
    ioc.reset();
  }

  ServerOptions options;
  lib::Clock& clock;
  std::optional<asio::io_context> ioc{std::in_place, 1};
  std::optional<tcp::acceptor> acceptor;
  std::optional<asio::steady_timer> retry_accept;
  std::optional<asio::ssl::context> tls;  // set: every connection is HTTPS
  std::thread thread;
  std::uint16_t bound_port = 0;
  // Read by publish, which the tick source calls on the loop's thread while stop() may clear it.
  std::atomic<bool> running{false};

  // The texts of a tick, each made once when first needed (on whichever thread needs it
  // first).
  class TickText {
   public:
    explicit TickText(TickTexts texts)
        : table_(texts.table),
          has_brief_(static_cast<bool>(texts.brief)),
          full_(std::move(texts.full)),
          brief_(std::move(texts.brief)) {}
    std::shared_ptr<const std::string> get() { return full_.get(); }
    // The full text when the tick has no brief one.
    std::shared_ptr<const std::string> brief() { return has_brief_ ? brief_.get() : get(); }
    bool has_brief() const { return has_brief_; }
    std::uint64_t table() const { return table_; }

   private:
    class Once {
     public:
      explicit Once(std::function<std::string()> make) : make_(std::move(make)) {}
      std::shared_ptr<const std::string> get() {
        std::call_once(once_, [this] {
          if (!made_) made_ = std::make_shared<const std::string>(make_());
          make_ = nullptr;
        });
        return made_;
      }

     private:
      std::once_flag once_;
      std::shared_ptr<const std::string> made_;
      std::function<std::string()> make_;
    };
    const std::uint64_t table_;
    const bool has_brief_;
    Once full_, brief_;
  };
  struct Unsampled {
    double t = 0;
    std::function<TickData::Samples()> make;
  };
  // The ticks not passed on to the clients yet, oldest first, and the ticks replaced since the
  // loop last looked, whose texts the loop frees (under `mutex`).
  std::deque<std::shared_ptr<TickText>> unsent;
  std::vector<std::shared_ptr<TickText>> spent;
  // The loop looks for a new tick every kTickPoll instead of being woken for each: waking
  // the loop's thread from the tick's cost the tick more than the rest of the web view.
  std::optional<asio::steady_timer> tick_poll;
  void poll_ticks() {
    // Without a WebSocket client the looks only take the ticks' samples and free their texts:
    // a slower pace keeps an idle station's loop from waking a hundred times a second.
    tick_poll->expires_after(websockets.load() == 0 ? kIdleTickPoll : kTickPoll);
    tick_poll->async_wait([this](const beast::error_code& ec) {
      if (ec) return;  // stopping
      look_for_ticks();
      poll_ticks();
    });
  }
  // The tick source publishes what it has, then the waiting ticks are passed on.
  std::shared_ptr<TickText> look_for_ticks() {
    take_from_source();
    return pass_on_tick();
  }
  // Whatever reads the ticks (the values, the history, the counts) asks the source first, so
  // it sees the tick that ended last.
  void take_from_source() {
    std::lock_guard lock(source_mutex);
    if (tick_source) tick_source();
  }
  // Not under `mutex`: the source publishes, which takes it.
  std::mutex source_mutex;
  std::function<void()> tick_source;
  // Returns the newest tick as it was when the waiting ones were taken: a later one waits
  // for the next look.
  std::shared_ptr<TickText> pass_on_tick() {
    std::deque<std::shared_ptr<TickText>> texts;
    std::vector<std::shared_ptr<TickText>> old;
    std::shared_ptr<TickText> newest;
    {
      std::lock_guard lock(mutex);
      take_samples();
      texts.swap(unsent);
      old.swap(spent);
      newest = latest;
      pending = 0;
    }
    for (const std::shared_ptr<TickText>& text : texts) {
      // A client that joined got the full text of this tick or of a later one; the others hold
      // the names of the table passed on last. A brief text goes out only for that table.
      const bool full = !text->has_brief() || sent_table != text->table();
      sent_table = text->table();
      // Nobody listening: the text is made when a request first asks for it.
      if (!sockets.empty()) broadcast(full ? text->get() : text->brief());
    }
    return newest;
  }

  // Shared with the station's thread.
  mutable std::mutex mutex;
  std::shared_ptr<TickText> latest;
  History history;
  // Ticks whose samples are not in the history yet, oldest first.
  std::deque<Unsampled> unsampled;
  // Takes every waiting tick's samples into the history, in their order; under `mutex`.
  void take_samples() {
    for (; !unsampled.empty(); unsampled.pop_front())
      history.add(unsampled.front().t, unsampled.front().make());
  }
  // The newest tick's text, made now if nobody needed it before; null before the first tick.
  std::shared_ptr<const std::string> latest_text() {
    std::shared_ptr<TickText> l;
    {
      std::lock_guard lock(mutex);
      l = latest;
    }
    return l ? l->get() : nullptr;
  }
  std::deque<WriteRequest> writes;

  // Open connections per client address. A session may end on the station's thread (its
  // write's answer held it last), hence the lock.
  std::mutex address_mutex;
  std::unordered_map<std::string, std::size_t> per_address;

  // The loop's thread only.
  std::vector<std::weak_ptr<WsSession>> sockets;
  // The table of the last tick passed on: a tick of another table goes out in full.
  std::optional<std::uint64_t> sent_table;
  std::vector<std::weak_ptr<HttpSessionBase>> http_sessions;
  std::uint64_t idle_order = 0;  // tells which idle connection waits longest
  std::int64_t log_window_ms = -1000000;
  int log_lines = 0;
  std::uint64_t log_suppressed = 0;

  std::atomic<std::size_t> connections{0};
  std::atomic<std::size_t> websockets{0};
  std::atomic<std::uint64_t> refused{0};
  std::atomic<std::uint64_t> evicted{0};
  std::atomic<std::uint64_t> dropped{0};
  std::atomic<std::uint64_t> bad{0};
  std::atomic<std::size_t> queued{0};
  std::atomic<std::uint64_t> sent{0};
  std::atomic<std::size_t> pending{0};
  std::atomic<std::uint64_t> skipped{0};

  std::int64_t now_ms() { return clock.steady_ms(); }

  // A line for the log, at most max_log_lines_per_second a second: a flood of bad requests
  // must not fill the disk; what was left out is counted in the next line.
  void log(const std::string& line) {
    if (!options.log) return;
    const std::int64_t now = now_ms();
    if (now - log_window_ms >= 1000 || now < log_window_ms) {
      log_window_ms = now;
      log_lines = 0;
      if (log_suppressed > 0) {
        options.log("web: " + std::to_string(log_suppressed) +
                    " more lines about bad requests were left out of the log");
        log_suppressed = 0;
      }
    }
    if (++log_lines > options.max_log_lines_per_second) {
      ++log_suppressed;
      return;
    }
    options.log("web: " + line);
  }

  std::size_t open_from(const std::string& address) {
    std::lock_guard lock(address_mutex);
    const auto it = per_address.find(address);
    return it == per_address.end() ? 0 : it->second;
  }

  void accept();
  void admit(tcp::socket socket);
  // Closes the connection idle longest (of `address`, when given) to make room; false when
  // none is idle.
  bool evict_idle(const std::string* address, const std::string& for_whom);
  void broadcast(const std::shared_ptr<const std::string>& message);
};

namespace {

std::string peer_of(const beast::tcp_stream& stream) {
  beast::error_code ec;
  const auto ep = stream.socket().remote_endpoint(ec);
  if (ec) return "?";
  return ep.address().to_string() + ":" + std::to_string(ep.port());
}

// One open connection counted against its client's address; it moves with the socket from
// the HTTP session to the WebSocket session.
class AddressSlot {
 public:
  AddressSlot(WebServer::Impl* server, std::string address)
      : server_(server), address_(std::move(address)) {
    std::lock_guard lock(server_->address_mutex);
    ++server_->per_address[address_];
  }
  AddressSlot(AddressSlot&& other) noexcept
      : server_(std::exchange(other.server_, nullptr)), address_(std::move(other.address_)) {}
  AddressSlot& operator=(AddressSlot&&) = delete;
  ~AddressSlot() {
    if (!server_) return;
    std::lock_guard lock(server_->address_mutex);
    const auto it = server_->per_address.find(address_);
    if (it != server_->per_address.end() && --it->second == 0) server_->per_address.erase(it);
  }
  const std::string& address() const { return address_; }

 private:
  WebServer::Impl* server_;
  std::string address_;
};

}  // namespace

// One WebSocket client: the tick messages in a bounded queue, written one at a time.
class WsSession : public std::enable_shared_from_this<WsSession> {
 public:
  WsSession(tcp::socket&& socket, WebServer::Impl* server, std::string peer, AddressSlot slot)
      : ws_(std::move(socket)), server_(server), peer_(std::move(peer)), slot_(std::move(slot)) {
    ++server_->websockets;
  }
  ~WsSession() {
    server_->queued -= queued_bytes_;
    --server_->websockets;
  }

  void start(Request request) {
    request_ = std::move(request);
    ws_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
    ws_.read_message_max(1024);
    ws_.async_accept(request_,
                     beast::bind_front_handler(&WsSession::on_accept, shared_from_this()));
  }

  void send(const std::shared_ptr<const std::string>& message) {
    if (closing_) return;
    if (queued_bytes_ + message->size() > server_->options.max_queued_bytes) {
      ++server_->dropped;
      server_->log("dropped the WebSocket client " + peer_ + ": " + std::to_string(queue_.size()) +
                   " tick messages (" + std::to_string(queued_bytes_) +
                   " bytes) waiting, it reads too slowly");
      close_now();
      return;
    }
    queue_.push_back(message);
    queued_bytes_ += message->size();
    server_->queued += message->size();
    if (accepted_ && !writing_) write_next();
  }

 private:
  void on_accept(beast::error_code ec) {
    if (ec) {
      ++server_->bad;
      server_->log("WebSocket handshake with " + peer_ + " failed: " + ec.message());
      return;
    }
    accepted_ = true;
    // The ticks waiting for the loop go to the clients there were before this one; this one
    // starts from the newest.
    const auto newest = server_->look_for_ticks();
    server_->sockets.push_back(weak_from_this());
    if (newest) send(newest->get());
    read_next();
  }

  // A client has nothing to say; reading notices its close, and too many messages close it.
  void read_next() {
    ws_.async_read(in_, beast::bind_front_handler(&WsSession::on_read, shared_from_this()));
  }
  void on_read(beast::error_code ec, std::size_t) {
    if (ec) {
      closing_ = true;
      return;
    }
    in_.consume(in_.size());
    if (!rate_.allow(server_->now_ms(), server_->options.max_requests_per_second)) {
      ++server_->bad;
      server_->log("closed the WebSocket client " + peer_ + ": more than " +
                   std::to_string(server_->options.max_requests_per_second) + " messages a second");
      closing_ = true;
      ws_.async_close(websocket::close_code::policy_error,
                      [self = shared_from_this()](beast::error_code) {});
      return;
    }
    read_next();
  }

  void write_next() {
    writing_ = true;
    ws_.text(true);
    ws_.async_write(asio::buffer(*queue_.front()),
                    beast::bind_front_handler(&WsSession::on_write, shared_from_this()));
  }
  void on_write(beast::error_code ec, std::size_t) {
    if (queue_.empty()) return;
    const std::size_t size = queue_.front()->size();
    queue_.pop_front();
    queued_bytes_ -= size;
    server_->queued -= size;
    if (ec) {
      closing_ = true;
      return;
    }
    ++server_->sent;
    writing_ = false;
    if (!queue_.empty() && !closing_) write_next();
  }

  void close_now() {
    closing_ = true;
    beast::error_code ignored;
    beast::get_lowest_layer(ws_).socket().shutdown(tcp::socket::shutdown_both, ignored);
    beast::get_lowest_layer(ws_).socket().close(ignored);
  }

  websocket::stream<beast::tcp_stream> ws_;
  WebServer::Impl* server_;
  Request request_;
  std::string peer_;
  AddressSlot slot_;
  std::deque<std::shared_ptr<const std::string>> queue_;
  std::size_t queued_bytes_ = 0;
  beast::flat_buffer in_;
  RateWindow rate_;
  bool accepted_ = false;
  bool writing_ = false;
  bool closing_ = false;
};

using TlsStream = beast::ssl_stream<beast::tcp_stream>;

// One HTTP connection, over `Stream` (plain TCP or TLS): requests read one at a time, each
// answered before the next is read.
template <class Stream>
class HttpSession : public HttpSessionBase,
                    public std::enable_shared_from_this<HttpSession<Stream>> {
  static constexpr bool kTls = std::is_same_v<Stream, TlsStream>;
  using std::enable_shared_from_this<HttpSession<Stream>>::shared_from_this;
  using std::enable_shared_from_this<HttpSession<Stream>>::weak_from_this;

 public:
  HttpSession(tcp::socket&& socket, WebServer::Impl* server, AddressSlot slot)
      : stream_(make_stream(std::move(socket), server)), server_(server), slot_(std::move(slot)) {
    peer_ = peer_of(lowest());
  }
  ~HttpSession() {
    if (counted_) --server_->connections;
  }

  void start() {
    ++server_->connections;
    counted_ = true;
    server_->http_sessions.push_back(weak_from_this());
    if constexpr (kTls) {
      // The handshake is held to the header's time: a client that opens and says nothing
      // costs no more than one that sends half a header.
      lowest().expires_after(server_->options.header_timeout);
      stream_.async_handshake(
          asio::ssl::stream_base::server,
          beast::bind_front_handler(&HttpSession::on_handshake, shared_from_this()));
    } else {
      asio::dispatch(stream_.get_executor(),
                     beast::bind_front_handler(&HttpSession::read_next, shared_from_this()));
    }
  }

  // Idle: waiting for the first byte of a request. Such a connection costs its client nothing
  // to hold, so it is the one closed when a new connection needs its place.
  bool idle() const override { return idle_; }
  std::uint64_t idle_order() const override { return idle_order_; }
  const std::string& address() const override { return slot_.address(); }
  const std::string& peer() const override { return peer_; }
  void evict() override {
    idle_ = false;
    lowest().close();  // the waiting read ends with operation_aborted, and the session with it
  }

 private:
  static Stream make_stream(tcp::socket&& socket, WebServer::Impl* server) {
    if constexpr (kTls) {
      return Stream(std::move(socket), *server->tls);
    } else {
      (void)server;
      return Stream(std::move(socket));
    }
  }
  beast::tcp_stream& lowest() { return beast::get_lowest_layer(stream_); }

  void on_handshake(beast::error_code ec) {
    if (ec) {
      ++server_->bad;
      server_->log("TLS handshake with " + peer_ + " failed: " + ec.message());
      return close();
    }
    read_next();
  }

  void read_next() {
    parser_.emplace();
    parser_->header_limit(static_cast<std::uint32_t>(format::kMaxHeaderBytes));
    parser_->body_limit(format::kMaxBodyBytes);
    if (buffer_.size() > 0) return read_header();  // the next request came with the last one
    idle_ = true;
    idle_order_ = ++server_->idle_order;
    lowest().expires_after(server_->options.idle_timeout);
    stream_.async_read_some(
        buffer_.prepare(1024),
        beast::bind_front_handler(&HttpSession::on_first_bytes, shared_from_this()));
  }

  void on_first_bytes(beast::error_code ec, std::size_t n) {
    idle_ = false;
    if (ec) return close();  // the client left, said nothing in time, or made room for another
    buffer_.commit(n);
    read_header();
  }

  void read_header() {
    lowest().expires_after(server_->options.header_timeout);
    http::async_read_header(stream_, buffer_, *parser_,
                            beast::bind_front_handler(&HttpSession::on_header, shared_from_this()));
  }

  void on_header(beast::error_code ec, std::size_t) {
    if (ec == beast::error::timeout) {
      ++server_->bad;
      server_->log("closed the connection from " + peer_ +
                   ": its request's header did not come within " +
                   std::to_string(server_->options.header_timeout.count()) + " ms");
      return close();
    }
    if (ec == http::error::end_of_stream || ec == asio::error::eof ||
        ec == asio::error::connection_reset || ec == asio::error::operation_aborted) {
      return close();
    }
    if (ec == http::error::body_limit) {
      return refuse(http::status::payload_too_large,
                    "a body longer than " + std::to_string(format::kMaxBodyBytes) + " bytes",
                    false);
    }
    if (ec == http::error::header_limit) {
      return refuse(http::status::request_header_fields_too_large,
                    "the request's header is longer than " +
                        std::to_string(format::kMaxHeaderBytes) + " bytes",
                    false);
    }
    if (ec) return refuse(http::status::bad_request, "unreadable request: " + ec.message(), false);
    const auto& header = parser_->get();
    const auto fields = static_cast<std::size_t>(std::distance(header.begin(), header.end()));
    if (fields > format::kMaxHeaderFields) {
      return refuse(http::status::request_header_fields_too_large,
                    "the request has " + std::to_string(fields) + " header fields, more than " +
                        std::to_string(format::kMaxHeaderFields),
                    false);
    }
    if (!rate_.allow(server_->now_ms(), server_->options.max_requests_per_second)) {
      return refuse(http::status::too_many_requests,
                    "more than " + std::to_string(server_->options.max_requests_per_second) +
                        " requests a second on one connection",
                    false);
    }
    if (parser_->content_length() && *parser_->content_length() > format::kMaxBodyBytes) {
      return refuse(http::status::payload_too_large,
                    "a body of " + std::to_string(*parser_->content_length()) +
                        " bytes, more than " + std::to_string(format::kMaxBodyBytes),
                    false);
    }
    lowest().expires_after(server_->options.body_timeout);
    http::async_read(stream_, buffer_, *parser_,
                     beast::bind_front_handler(&HttpSession::on_body, shared_from_this()));
  }

  void on_body(beast::error_code ec, std::size_t) {
    if (ec == http::error::body_limit) {
      return refuse(http::status::payload_too_large,
                    "a body longer than " + std::to_string(format::kMaxBodyBytes) + " bytes",
                    false);
    }
    if (ec == beast::error::timeout || ec == http::error::end_of_stream) return close();
    if (ec) return refuse(http::status::bad_request, "unreadable request: " + ec.message(), false);
    handle(parser_->release());
  }

  void handle(Request request) {
    request_method_ = std::string(request.method_string());
    const auto [raw_path, raw_query] = split_target(request.target());
    request_target_ = std::string(raw_path.substr(0, 200));
    keep_alive_ = request.keep_alive();
    version_ = request.version();
    head_ = request.method() == http::verb::head;

    if (server_->options.handler) return application(std::move(request));
    if (raw_path == "/ws") {
      if constexpr (kTls) {
        return refuse(http::status::not_found, "no live stream over HTTPS", true);
      } else {
        if (!websocket::is_upgrade(request)) {
          return refuse(http::status::upgrade_required, "/ws takes a WebSocket upgrade only", true);
        }
        if (const auto why = foreign_page(request))
          return refuse(http::status::forbidden, *why, true);
        if (server_->websockets.load() >= server_->options.max_connections) {
          return refuse(http::status::service_unavailable, "too many WebSocket clients", false);
        }
        // The socket moves to the WebSocket session; this connection's count goes with it.
        counted_ = false;
        --server_->connections;
        stream_.expires_never();
        std::make_shared<WsSession>(stream_.release_socket(), server_, peer_, std::move(slot_))
            ->start(std::move(request));
        return;
      }
    }
    const bool read = request.method() == http::verb::get || request.method() == http::verb::head;
    if (raw_path.starts_with("/api/")) {
      for (const Route& route : server_->options.routes) {
        if (raw_path != route.path) continue;
        if (!read) return refuse(http::status::method_not_allowed, "use GET", true);
        return routed(route, raw_query);
      }
      if (raw_path == "/api/values" || raw_path == "/api/history") {
        if (!read) return refuse(http::status::method_not_allowed, "use GET", true);
        return raw_path == "/api/values" ? values() : history(raw_query);
      }
      WriteRequest::Kind kind;
      if (raw_path == "/api/remark") {
        kind = WriteRequest::Kind::remark;
      } else if (raw_path == "/api/command") {
        kind = WriteRequest::Kind::command;
      } else if (raw_path == "/api/ack") {
        kind = WriteRequest::Kind::ack;
      } else {
        return refuse(http::status::not_found, "no such API", true);
      }
      if (request.method() != http::verb::post)
        return refuse(http::status::method_not_allowed, "use POST", true);
      return write(kind, request);
    }
    if (!read) return refuse(http::status::method_not_allowed, "use GET", true);
    const auto path = static_path(raw_path);
    if (!path) return refuse(http::status::bad_request, "refused file path", true);
    const std::string wanted = *path == "/" ? std::string("/index.html") : *path;
    for (const Asset& a : server_->options.assets) {
      if (a.path == wanted) {
        return answer(http::status::ok, std::string(a.bytes), std::string(a.content_type), false);
      }
    }
    return refuse(http::status::not_found, "no such file", true);
  }

  // Another application's server: its files, then its handler for everything else.
  void application(Request request) {
    const bool read = request.method() == http::verb::get || request.method() == http::verb::head;
    const auto [raw_path, raw_query] = split_target(request.target());
    if (read && !raw_path.starts_with("/api/")) {
      const auto path = static_path(raw_path);
      if (!path) return refuse(http::status::bad_request, "refused file path", true);
      const std::string wanted = *path == "/" ? std::string("/index.html") : *path;
      for (const Asset& a : server_->options.assets) {
        if (a.path == wanted) {
          return answer(http::status::ok, std::string(a.bytes), std::string(a.content_type), false);
        }
      }
    }
    HttpRequest r;
    r.method = std::string(request.method_string());
    r.path = std::string(raw_path);
    r.query = std::string(raw_query);
    r.body = std::move(request.body());
    r.cookie = std::string(request[http::field::cookie]);
    r.origin = std::string(request[http::field::origin]);
    r.host = std::string(request[http::field::host]);
    r.client = slot_.address();
    r.secure = kTls;
    auto self = shared_from_this();
    server_->options.handler(std::move(r), [self](HttpAnswer a) {
      asio::post(self->stream_.get_executor(), [self, a = std::move(a)]() mutable {
        if (a.status >= 400)
          return self->refuse(static_cast<http::status>(a.status), a.body, true, a.headers);
        Response r{static_cast<http::status>(a.status), self->version_};
        for (const auto& [name, value] : a.headers) r.set(name, value);
        self->request_method_.clear();
        self->request_target_.clear();
        const bool page = a.content_type.starts_with("text/html");
        self->respond(std::move(r), std::move(a.body), std::move(a.content_type), !page);
      });
    });
  }

  void routed(const Route& route, std::string_view raw_query) {
    RouteAnswer a;
    try {
      a = route.handler(raw_query);
    } catch (const std::exception& e) {
      a = {500, e.what()};
    }
    if (a.status >= 400) return refuse(static_cast<http::status>(a.status), a.body, true);
    answer(static_cast<http::status>(a.status), std::move(a.body), std::move(a.content_type), true);
  }

  void values() {
    server_->take_from_source();
    const std::shared_ptr<const std::string> latest = server_->latest_text();
    if (!latest) {
      return answer(http::status::service_unavailable, json_error("no tick yet"),
                    "application/json", true);
    }
    answer(http::status::ok, *latest, "application/json", true);
  }

  void history(std::string_view raw_query) {
    const Query q = parse_query(raw_query);
    if (!q.error.empty()) return refuse(http::status::bad_request, q.error, true);
    const auto params = q.get("params");
    if (!params) return refuse(http::status::bad_request, "'params' is missing", true);
    std::string error;
    const auto names = parse_param_list(*params, error);
    if (!names) return refuse(http::status::bad_request, error, true);
    double since = -INFINITY;
    if (const auto s = q.get("since"); s && !s->empty()) {
      const auto v = parse_seconds(*s);
      if (!v) return refuse(http::status::bad_request, "'since' is not a number of seconds", true);
      since = *v;
    }
    History::Slice slice;
    server_->take_from_source();
    {
      // Copies only; the JSON is made after the lock is let go, so the tick never waits on it.
      std::lock_guard lock(server_->mutex);
      server_->take_samples();
      slice = server_->history.since(*names, since);
    }
    nlohmann::json j;
    j["t"] = slice.t;
    j["values"] = nlohmann::json::object();
    for (const auto& [name, values] : slice.columns) {
      nlohmann::json list = nlohmann::json::array();
      for (const float v : values) {
        if (std::isfinite(v)) {
          list.push_back(v);
        } else {
          list.push_back(nullptr);
        }
      }
      j["values"][name] = std::move(list);
    }
    j["unknown"] = slice.unknown;
    answer(http::status::ok, json_text(j), "application/json", true);
  }

  // A browser names the page a request comes from. Only this server's own page may write or
  // open the live stream: another site open in the same browser may not. A client that names
  // no page (a program, curl) is no page of another site.
  std::optional<std::string> foreign_page(const Request& request) const {
    const auto origin = request.find(http::field::origin);
    if (origin == request.end() || origin_is_host(origin->value(), request[http::field::host]))
      return std::nullopt;
    return "the request comes from the page '" +
           lib::to_valid_utf8(origin->value().substr(0, 100)) +
           "', not from this station's own page";
  }

  void write(WriteRequest::Kind kind, const Request& request) {
    if (const auto why = foreign_page(request)) return refuse(http::status::forbidden, *why, true);
    const auto auth = request.find(http::field::authorization);
    if (auth == request.end()) {
      return refuse(http::status::unauthorized, "a write needs 'Authorization: Bearer <token>'",
                    true);
    }
    const auto token = bearer_token(auth->value());
    if (!token) {
      return refuse(http::status::unauthorized, "the Authorization header is not 'Bearer <token>'",
                    true);
    }
    if (server_->options.token.empty()) {
      return refuse(http::status::forbidden,
                    "writes are off: " + (server_->options.read_only_reason.empty()
                                              ? std::string("the station has no web token")
                                              : server_->options.read_only_reason),
                    true);
    }
    if (!tokens_equal(*token, server_->options.token))
      return refuse(http::status::forbidden, "wrong token", true);
    std::string error;
    auto text = write_text(request.body(), kind != WriteRequest::Kind::remark,
                           kind == WriteRequest::Kind::ack, error);
    if (!text) return refuse(http::status::bad_request, error, true);
    WriteRequest w;
    w.kind = kind;
    w.text = std::move(*text);
    auto self = shared_from_this();
    w.done = [self](int status, const std::string& answer_text) {
      asio::post(self->stream_.get_executor(), [self, status, answer_text] {
        self->answer(static_cast<http::status>(status),
                     json_text({{status < 300 ? "answer" : "error", answer_text}}),
                     "application/json", true);
      });
    };
    {
      std::lock_guard lock(server_->mutex);
      if (server_->writes.size() < server_->options.max_pending_writes) {
        server_->writes.push_back(std::move(w));
        return;  // answered once the station's thread has carried it out
      }
    }
    refuse(http::status::service_unavailable, "too many writes waiting for the station", true);
  }

  void refuse(http::status status, const std::string& why, bool keep_alive,
              const std::vector<std::pair<std::string, std::string>>& headers = {}) {
    ++server_->bad;
    server_->log(std::to_string(static_cast<int>(status)) + " " +
                 (request_method_.empty() ? std::string("?") : request_method_) + " " +
                 (request_target_.empty() ? std::string("?") : request_target_) + " from " + peer_ +
                 ": " + why);
    request_method_.clear();
    request_target_.clear();
    if (!keep_alive) keep_alive_ = false;
    Response r{status, version_};
    if (status == http::status::unauthorized && !server_->options.handler)
      r.set(http::field::www_authenticate, "Bearer");
    for (const auto& [name, value] : headers) r.set(name, value);
    respond(std::move(r), json_error(why), "application/json", true);
  }

  void answer(http::status status, std::string body, std::string type, bool api) {
    request_method_.clear();
    request_target_.clear();
    respond(Response{status, version_}, std::move(body), std::move(type), api);
  }

  void respond(Response r, std::string body, std::string type, bool api) {
    r.set(http::field::server, "rigstation");
    r.set(http::field::content_type, type);
    r.set("X-Content-Type-Options", "nosniff");
    r.set(http::field::cache_control, api ? "no-store" : "no-cache");
    if (!api) {
      r.set("Content-Security-Policy",
            "default-src 'self'; connect-src 'self'; img-src 'self' data:; frame-ancestors "
            "'none'");
    }
    r.keep_alive(keep_alive_);
    const std::size_t size = body.size();
    if (!head_) r.body() = std::move(body);
    r.content_length(size);
    auto shared = std::make_shared<Response>(std::move(r));
    http::async_write(stream_, *shared,
                      [self = shared_from_this(), shared](beast::error_code ec, std::size_t) {
                        if (ec || !shared->keep_alive()) return self->close();
                        self->read_next();
                      });
  }

  void close() {
    beast::error_code ignored;
    lowest().socket().shutdown(tcp::socket::shutdown_send, ignored);
    lowest().close();
  }

  Stream stream_;
  WebServer::Impl* server_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  AddressSlot slot_;
  std::string peer_;
  std::string request_method_;
  std::string request_target_;
  RateWindow rate_;
  unsigned version_ = 11;
  bool keep_alive_ = false;
  bool head_ = false;
  bool counted_ = false;
  bool idle_ = false;
  std::uint64_t idle_order_ = 0;
};

void WebServer::Impl::accept() {
  acceptor->async_accept(asio::make_strand(*ioc), [this](beast::error_code ec, tcp::socket s) {
    if (ec == asio::error::operation_aborted) return;
    if (ec) {
      // Out of file descriptors, most likely: an idle connection gives one back, and the loop
      // tries again shortly instead of spinning on the error.
      log("cannot take a new connection: " + ec.message());
      evict_idle(nullptr, "a new one");
      retry_accept.emplace(*ioc, std::chrono::milliseconds(50));
      retry_accept->async_wait([this](beast::error_code e) {
        if (!e && acceptor && acceptor->is_open()) accept();
      });
      return;
    }
    admit(std::move(s));
    if (acceptor && acceptor->is_open()) accept();
  });
}

void WebServer::Impl::admit(tcp::socket s) {
  beast::error_code ignored;
  const auto ep = s.remote_endpoint(ignored);
  const std::string address = ignored ? std::string("?") : ep.address().to_string();
  if (http_sessions.size() > 2 * options.max_connections)
    std::erase_if(http_sessions, [](const auto& w) { return w.expired(); });
  const bool full = connections.load() + websockets.load() >= options.max_connections;
  const bool address_full = open_from(address) >= options.max_connections_per_address;
  if ((full || address_full) && !evict_idle(address_full ? &address : nullptr, address)) {
    ++refused;
    log("refused a connection from " + address + ": " +
        (address_full ? std::to_string(options.max_connections_per_address) +
                            " of its connections are open, none idle"
                      : std::to_string(options.max_connections) + " are open, none idle"));
    s.close(ignored);
    return;
  }
  if (tls) {
    std::make_shared<HttpSession<TlsStream>>(std::move(s), this, AddressSlot(this, address))
        ->start();
  } else {
    std::make_shared<HttpSession<beast::tcp_stream>>(std::move(s), this, AddressSlot(this, address))
        ->start();
  }
}

bool WebServer::Impl::evict_idle(const std::string* address, const std::string& for_whom) {
  std::shared_ptr<HttpSessionBase> victim;
  std::erase_if(http_sessions, [&](const std::weak_ptr<HttpSessionBase>& w) {
    auto session = w.lock();
    if (!session) return true;
    if (session->idle() && (!address || session->address() == *address) &&
        (!victim || session->idle_order() < victim->idle_order()))
      victim = std::move(session);
    return false;
  });
  if (!victim) return false;
  ++evicted;
  log("closed the idle connection from " + victim->peer() + " to make room for one from " +
      for_whom);
  victim->evict();
  return true;
}

void WebServer::Impl::broadcast(const std::shared_ptr<const std::string>& message) {
  std::vector<std::shared_ptr<WsSession>> live;
  live.reserve(sockets.size());
  std::erase_if(sockets, [&](const std::weak_ptr<WsSession>& w) {
    auto s = w.lock();
    if (!s) return true;
    live.push_back(std::move(s));
    return false;
  });
  for (const auto& s : live) s->send(message);
}

WebServer::WebServer(ServerOptions options, lib::Clock& clock)
    : impl_(std::make_unique<Impl>(std::move(options), clock)) {}

WebServer::~WebServer() {
  stop();
}

void WebServer::start() {
  Impl& s = *impl_;
  beast::error_code ec;
  const auto address = asio::ip::make_address(s.options.address, ec);
  if (ec) {
    throw std::runtime_error("the web view's address '" + s.options.address +
                             "' is not an IP address: " + ec.message());
  }
  if (!s.options.tls_certificate.empty() || !s.options.tls_key.empty()) {
    s.tls.emplace(asio::ssl::context::tls_server);
    s.tls->set_options(asio::ssl::context::default_workarounds | asio::ssl::context::no_sslv2 |
                       asio::ssl::context::no_sslv3 | asio::ssl::context::no_tlsv1 |
                       asio::ssl::context::no_tlsv1_1 | asio::ssl::context::single_dh_use);
    const auto load = [&](const std::string& file, const char* what, auto&& use) {
      if (file.empty()) throw std::runtime_error(std::string("HTTPS needs ") + what + " too");
      use(file, ec);
      if (ec) {
        s.tls.reset();
        throw std::runtime_error("cannot use '" + file + "' as the " + what + ": " + ec.message());
      }
    };
    load(s.options.tls_certificate, "certificate",
         [&](const std::string& f, auto& e) { s.tls->use_certificate_chain_file(f, e); });
    load(s.options.tls_key, "private key", [&](const std::string& f, auto& e) {
      s.tls->use_private_key_file(f, asio::ssl::context::pem, e);
    });
  }
  const tcp::endpoint endpoint(address, s.options.port);
  s.acceptor.emplace(*s.ioc);
  auto fail = [&](const char* what) {
    s.acceptor.reset();
    throw std::runtime_error(std::string("the web view cannot ") + what + " " + s.options.address +
                             ":" + std::to_string(s.options.port) + ": " + ec.message());
  };
  if (s.acceptor->open(endpoint.protocol(), ec)) fail("open a socket for");
  if (s.acceptor->set_option(asio::socket_base::reuse_address(true), ec)) fail("set up");
  if (s.acceptor->bind(endpoint, ec)) fail("listen on");
  if (s.acceptor->listen(asio::socket_base::max_listen_connections, ec)) fail("listen on");
  s.bound_port = s.acceptor->local_endpoint().port();
  s.accept();
  s.tick_poll.emplace(*s.ioc);
  s.poll_ticks();
  s.running = true;
  s.thread = std::thread([impl = impl_.get()] { impl->ioc->run(); });
}

void WebServer::stop() {
  Impl& s = *impl_;
  if (!s.running) return;
  s.running = false;
  asio::post(*s.ioc, [impl = impl_.get()] {
    beast::error_code ignored;
    if (impl->acceptor) impl->acceptor->close(ignored);
    if (impl->tick_poll) impl->tick_poll->cancel();
    impl->ioc->stop();
  });
  s.thread.join();
  // What is still open (sessions, their pending writes) goes with the loop, in ~Impl.
}

std::uint16_t WebServer::port() const {
  return impl_->bound_port;
}

void WebServer::publish(TickData tick) {
  const double t = tick.t;
  publish(
      t, [json = std::move(tick.json)]() mutable { return std::move(json); },
      [samples = std::move(tick.samples)]() mutable { return std::move(samples); });
}

void WebServer::publish(double t, std::function<std::string()> make_json,
                        std::function<TickData::Samples()> make_samples) {
  publish(t, TickTexts{0, std::move(make_json), nullptr}, std::move(make_samples));
}

void WebServer::publish(double t, TickTexts texts,
                        std::function<TickData::Samples()> make_samples) {
  auto text = std::make_shared<Impl::TickText>(std::move(texts));
  // The tick before goes to the loop: freeing its picture and texts is the loop's work, not
  // the tick's. Freed here only when the loop is not running or is far behind.
  std::vector<std::shared_ptr<Impl::TickText>> spent;
  {
    std::lock_guard lock(impl_->mutex);
    if (impl_->latest) impl_->spent.push_back(std::move(impl_->latest));
    impl_->latest = text;
    impl_->unsampled.push_back({t, std::move(make_samples)});
    // A loop that is behind (or not running) does not hold more ticks' data than this.
    if (!impl_->running || impl_->unsampled.size() > kMaxPendingTicks) impl_->take_samples();
    if (!impl_->running || impl_->spent.size() > kMaxPendingTicks) spent.swap(impl_->spent);
    if (impl_->running) {
      // A loop that is far behind sends the newest ticks; the oldest go to nobody.
      if (impl_->unsent.size() >= kMaxPendingTicks) {
        impl_->unsent.pop_front();
        ++impl_->skipped;
      }
      impl_->unsent.push_back(text);
      impl_->pending = impl_->unsent.size();
    }
  }
}

std::vector<WriteRequest> WebServer::take_writes() {
  std::lock_guard lock(impl_->mutex);
  std::vector<WriteRequest> out(std::make_move_iterator(impl_->writes.begin()),
                                std::make_move_iterator(impl_->writes.end()));
  impl_->writes.clear();
  return out;
}

void WebServer::set_tick_source(std::function<void()> source) {
  std::lock_guard lock(impl_->source_mutex);
  impl_->tick_source = std::move(source);
}

WebServer::Stats WebServer::stats() const {
  Stats st;
  st.connections = impl_->connections.load() + impl_->websockets.load();
  st.websockets = impl_->websockets.load();
  st.refused_connections = impl_->refused.load();
  st.evicted_connections = impl_->evicted.load();
  st.dropped_clients = impl_->dropped.load();
  st.bad_requests = impl_->bad.load();
  st.queued_bytes = impl_->queued.load();
  st.messages_sent = impl_->sent.load();
  st.pending_ticks = impl_->pending.load();
  st.skipped_ticks = impl_->skipped.load();
  impl_->take_from_source();
  std::lock_guard lock(impl_->mutex);
  impl_->take_samples();
  st.history_ticks = impl_->history.size();
  st.history_bytes = impl_->history.memory_bytes();
  return st;
}

}  // namespace web
