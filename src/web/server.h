// The station's web view: one HTTP and WebSocket server on its own thread (docs/web-api.md).
//
// Threads: the server runs an event loop on a thread of its own. The station's thread hands
// it each tick with publish(), which only leaves the tick under a short lock where the loop
// looks for it every kTickPoll (waking the loop's thread would cost the tick more): a slow or
// stalled client never holds the tick. A tick source (set_tick_source) may instead publish
// from the loop's thread, when it looks. Writes a client asks for (a
// remark, a control command, an acknowledgement) wait in a bounded queue until the station's
// thread takes them with take_writes() and answers each through its `done`.
//
// Limits (web_format.h): header bytes and fields, body bytes, connections of all clients
// and of one address, time-outs for an idle connection, a header and a body, requests per
// second per connection, bytes queued per WebSocket client (a client further behind is
// dropped). Idle connections never shut new clients out: when the connections are at their
// limit, a new one takes the place of the one idle longest. A bad request is answered with a
// 4xx and a line in the log, never more.
//
// Texts from clients are checked where they come in: a write's body and a query's fields are
// UTF-8 or refused; writes and the WebSocket are refused to the pages of other sites (their
// "Origin" is not this server). Every JSON answer is written so that no byte can make it
// throw.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "lib/date_time.h"
#include "web/history.h"
#include "web/web_format.h"

namespace web {

// A file of the page, served as it is.
struct Asset {
  std::string_view path;  // "/index.html"
  std::string_view content_type;
  std::string_view bytes;
};

// A further read-only request the view answers (GET or HEAD), by its exact path: the handler
// gets the raw query and answers a status with a body; a status of 400 and above is sent as
// a refusal ({"error": body}) and logged like any other. Handlers run on the server's
// thread, so each must be quick and bounded in what it reads and answers.
struct RouteAnswer {
  int status = 200;
  std::string body;
  std::string content_type = "application/json";
};
struct Route {
  std::string path;  // "/api/depthlog"
  std::function<RouteAnswer(std::string_view query)> handler;
};

// A request as an application handler (ServerOptions::handler) sees it. Texts are as the
// client sent them: the handler checks what it uses.
struct HttpRequest {
  std::string method;   // "GET", "POST", ...
  std::string path;     // not decoded
  std::string query;    // after '?', not decoded
  std::string body;     // at most format::kMaxBodyBytes
  std::string cookie;   // the "Cookie" header
  std::string origin;   // the "Origin" header; empty when none
  std::string host;     // the "Host" header
  std::string client;   // the client's IP address
  bool secure = false;  // it came over TLS
};
// The handler's answer. A status of 400 and above is a refusal: `body` is its reason, sent
// as {"error": body} and logged as the server's own refusals are.
struct HttpAnswer {
  int status = 200;
  std::string body;
  std::string content_type = "application/json";
  std::vector<std::pair<std::string, std::string>> headers;  // "Set-Cookie", ...
};
// Called on the server's thread; it must answer through `done` exactly once, from any
// thread, and may do so later (the connection waits, reading nothing more meanwhile).
using HttpHandler = std::function<void(HttpRequest request, std::function<void(HttpAnswer)> done)>;

struct ServerOptions {
  std::string address = "127.0.0.1";
  std::uint16_t port = 8080;  // 0: a free port (see WebServer::port)
  // Empty: every write is refused with 403 and `read_only_reason`.
  std::string token;
  std::string read_only_reason;
  std::vector<Asset> assets;
  std::vector<Route> routes;
  // Set: the server is another application's (the office view): the assets are served as
  // they are, and every other request goes to the handler instead of the station's API
  // (values, history, writes, live stream).
  HttpHandler handler;
  // Both set: HTTPS only, with this certificate chain and private key (PEM files).
  std::string tls_certificate;
  std::string tls_key;
  // Where the server's lines go (bad requests, dropped clients); safe to call from its thread.
  std::function<void(const std::string&)> log;
  std::size_t max_connections = format::kMaxConnections;
  std::size_t max_connections_per_address = format::kMaxConnectionsPerAddress;
  std::chrono::milliseconds idle_timeout{format::kIdleTimeoutSeconds * 1000};
  std::chrono::milliseconds header_timeout{format::kHeaderTimeoutSeconds * 1000};
  std::chrono::milliseconds body_timeout{format::kBodyTimeoutSeconds * 1000};
  int max_requests_per_second = format::kMaxRequestsPerSecond;
  std::size_t max_queued_bytes = format::kMaxQueuedBytes;
  std::size_t history_ticks = format::kHistoryTicks;
  std::size_t max_pending_writes = 64;
  // Lines of the log per second before the rest are only counted.
  int max_log_lines_per_second = 20;
};

// One tick as the station hands it over.
struct TickData {
  using Samples = std::vector<std::pair<std::string, double>>;
  double t = 0;      // seconds, the station's local time
  std::string json;  // what /api/values answers and /ws sends
  Samples samples;   // for the history
};

// The texts of one tick made on the server's thread, each at most once and only when needed.
// `full` is what /api/values answers and what a WebSocket client gets first; `brief`, when
// set, is what the clients that already hold the rows' names get on the ticks after: the
// same tick without the names, which change only with the table. `table` tells the tables
// apart: a tick whose table differs from the one last sent goes out in full to everyone.
struct TickTexts {
  std::uint64_t table = 0;
  std::function<std::string()> full;
  std::function<std::string()> brief;
};

struct WriteRequest {
  enum class Kind { remark, command, ack };
  Kind kind = Kind::remark;
  std::string text;
  // Called once, from any thread, with the HTTP status and a one-line answer.
  std::function<void(int status, const std::string& answer)> done;
};

class WebServer {
 public:
  // `clock` paces the rate limits; it must outlive the server.
  WebServer(ServerOptions options, lib::Clock& clock);
  ~WebServer();  // stops the loop and closes every connection
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  // Binds and starts the loop's thread; throws std::runtime_error naming the address and the
  // reason when it cannot listen, or naming the file when the certificate or key is unusable.
  void start();
  void stop();
  std::uint16_t port() const;

  // Called by the station's thread once a tick.
  void publish(TickData tick);
  // The same, with the json and the samples made by `make_json` and `make_samples` on the
  // server's thread over data of their own: the samples once, in the order of the ticks; the
  // json at most once, and only when someone needs it (a WebSocket client is connected, a
  // request asks for /api/values). The station's thread then pays for neither.
  void publish(double t, std::function<std::string()> make_json,
               std::function<TickData::Samples()> make_samples);
  // The same with a brief text for the WebSocket clients (TickTexts).
  void publish(double t, TickTexts texts, std::function<TickData::Samples()> make_samples);
  // The writes asked for since the last call, oldest first.
  std::vector<WriteRequest> take_writes();
  // Called on the loop's thread each time it looks for ticks, before it passes them on: a
  // source that would rather have the tick taken between two ticks than on the station's
  // thread publishes from here. Empty: none. Returns once a call under way has ended.
  void set_tick_source(std::function<void()> source);

  struct Stats {
    std::size_t connections = 0;  // open now, of any kind
    std::size_t websockets = 0;   // WebSocket clients now
    std::uint64_t refused_connections = 0;
    std::uint64_t evicted_connections = 0;  // idle ones closed to make room for a new one
    std::uint64_t dropped_clients = 0;      // WebSocket clients dropped for falling behind
    std::uint64_t bad_requests = 0;         // answered with a 4xx
    std::size_t queued_bytes = 0;           // tick messages waiting for all WebSocket clients
    std::size_t history_ticks = 0;
    std::size_t history_bytes = 0;
    std::uint64_t messages_sent = 0;  // tick messages written to WebSocket clients
    std::size_t pending_ticks = 0;    // handed over, not yet passed on to the clients
    std::uint64_t skipped_ticks = 0;  // not passed on because the loop was behind
  };
  // Ticks handed over and not yet passed on to the clients; more are not sent to anyone
  // (they still go into the values and the history), so a stalled loop holds no more memory.
  static constexpr std::size_t kMaxPendingTicks = 4;
  // How often the loop looks for a tick to pass on: the station's thread never wakes it.
  static constexpr std::chrono::milliseconds kTickPoll{10};
  // The same while no WebSocket client listens (a client that joins gets the newest tick at
  // once).
  static constexpr std::chrono::milliseconds kIdleTickPoll{100};
  Stats stats() const;

  struct Impl;  // the server's own state, shared with its connections

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace web
