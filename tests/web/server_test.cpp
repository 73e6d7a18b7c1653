// The web server on loopback, through a real client: what it answers, what it refuses, and
// that a refused request costs nothing but its answer and a log line.
#include <poll.h>

#include <future>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/fakes.h"
#include "web/server.h"
#include "web_client.h"

namespace {

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using web_test::http::verb;

const std::string kToken(64, 'b');

struct Served {
  explicit Served(web::ServerOptions o = {}) {
    o.port = 0;
    if (o.token.empty() && o.read_only_reason.empty()) o.token = kToken;
    o.log = [this](const std::string& line) {
      std::lock_guard lock(mutex);
      lines.push_back(line);
    };
    o.assets = {{"/index.html", "text/html; charset=utf-8", "<p>page</p>"},
                {"/app.js", "text/javascript; charset=utf-8", "let a = 1;"}};
    server = std::make_unique<web::WebServer>(std::move(o), clock);
    server->start();
    port = server->port();
  }
  std::vector<std::string> log() {
    std::lock_guard lock(mutex);
    return lines;
  }
  void tick(double t, double hook) {
    web::TickData d;
    d.t = t;
    d.json = nlohmann::json{{"t", t}, {"hook", hook}}.dump();
    d.samples = {{"hook", hook}, {"rig.bit", t * 2}};
    server->publish(std::move(d));
  }
  // Waits (bounded) until the server's loop has seen what the test did on its own thread.
  template <class F>
  bool eventually(F condition) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < until) {
      if (condition()) return true;
      std::this_thread::yield();
    }
    return condition();
  }
  testing_support::FakeClock clock;
  std::mutex mutex;
  std::vector<std::string> lines;
  std::unique_ptr<web::WebServer> server;
  unsigned short port = 0;
};

nlohmann::json json_of(const web_test::Reply& r) {
  return nlohmann::json::parse(r.body, nullptr, false);
}

TEST(WebServer, ServesTheCurrentTickAndThePage) {
  Served s;
  auto r = web_test::get(s.port, "/api/values");
  EXPECT_EQ(r.status, 503);  // nothing to show before the first tick
  s.tick(100, 80.5);
  s.tick(101, 81.5);
  r = web_test::get(s.port, "/api/values");
  ASSERT_EQ(r.status, 200);
  EXPECT_EQ(json_of(r)["hook"], 81.5);
  EXPECT_EQ(r.message[web_test::http::field::content_type], "application/json");
  EXPECT_EQ(r.message[web_test::http::field::cache_control], "no-store");

  r = web_test::get(s.port, "/");
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, "<p>page</p>");
  EXPECT_THAT(std::string(r.message["Content-Security-Policy"]), HasSubstr("default-src 'self'"));
  r = web_test::get(s.port, "/app.js");
  EXPECT_EQ(r.body, "let a = 1;");
  EXPECT_EQ(r.message[web_test::http::field::content_type], "text/javascript; charset=utf-8");
  r = web_test::request(s.port, verb::head, "/app.js");
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.message[web_test::http::field::content_length], "10");
  EXPECT_EQ(web_test::get(s.port, "/missing.js").status, 404);
  EXPECT_EQ(web_test::get(s.port, "/api/nothing").status, 404);
  EXPECT_EQ(web_test::request(s.port, verb::post, "/app.js", "x").status, 405);
  EXPECT_EQ(web_test::request(s.port, verb::delete_, "/api/values").status, 405);
}

TEST(WebServer, AnswersHistoryFromTheTicksPublished) {
  Served s;
  for (int i = 0; i < 5; ++i) s.tick(1000 + i, 80 + i);
  auto r = web_test::get(s.port, "/api/history?params=hook,rig.bit,nope&since=1001.5");
  ASSERT_EQ(r.status, 200) << r.body;
  const auto j = json_of(r);
  EXPECT_EQ(j["t"], nlohmann::json({1002, 1003, 1004}));
  EXPECT_EQ(j["values"]["hook"], nlohmann::json({82, 83, 84}));
  EXPECT_EQ(j["values"]["rig.bit"], nlohmann::json({2004, 2006, 2008}));
  EXPECT_EQ(j["unknown"], nlohmann::json({"nope"}));
  // Without `since`: everything kept.
  r = web_test::get(s.port, "/api/history?params=hook");
  EXPECT_EQ(json_of(r)["t"].size(), 5u);
  // Names are percent-decoded.
  s.server->publish({2000, "{}", {{"вес на крюке", 1.0}}});
  r = web_test::get(
      s.port,
      "/api/"
      "history?params=%D0%B2%D0%B5%D1%81+%D0%BD%D0%B0%20%D0%BA%D1%80%D1%8E%D0%BA%D0%B5&since=1999");
  EXPECT_EQ(json_of(r)["values"]["вес на крюке"], nlohmann::json({1.0}));

  // A name that is not UTF-8 would be answered back under "unknown"; a bad field is quoted in
  // the refusal, raw bytes and all.
  for (const char* bad : {"/api/history", "/api/history?since=1", "/api/history?params=a&since=x",
                          "/api/history?params=a&since=1e400", "/api/history?params=%zz",
                          "/api/history?params=%D0%B2%D0", "/api/history?params=%zz\xd0"}) {
    r = web_test::get(s.port, bad);
    EXPECT_EQ(r.status, 400) << bad;
    EXPECT_TRUE(json_of(r).contains("error")) << bad;
  }
  EXPECT_THAT(s.log(), Contains(HasSubstr("400 GET /api/history from 127.0.0.1:")));
}

TEST(WebServer, StreamsTheLatestTickAtConnectThenEachTick) {
  Served s;
  s.tick(1, 10);
  web_test::WsClient ws(s.port);
  EXPECT_EQ(nlohmann::json::parse(ws.read())["hook"], 10);
  ASSERT_TRUE(s.eventually([&] { return s.server->stats().websockets == 1; }));
  s.tick(2, 20);
  s.tick(3, 30);
  EXPECT_EQ(nlohmann::json::parse(ws.read())["hook"], 20);
  EXPECT_EQ(nlohmann::json::parse(ws.read())["hook"], 30);
  // A second client gets the same stream; the first keeps its own.
  web_test::WsClient other(s.port);
  EXPECT_EQ(nlohmann::json::parse(other.read())["hook"], 30);
  ASSERT_TRUE(s.eventually([&] { return s.server->stats().websockets == 2; }));
  s.tick(4, 40);
  EXPECT_EQ(nlohmann::json::parse(ws.read())["hook"], 40);
  EXPECT_EQ(nlohmann::json::parse(other.read())["hook"], 40);
  // /ws without an upgrade is refused.
  EXPECT_EQ(web_test::get(s.port, "/ws").status, 426);
}

// The names of the rows go only to clients that lack them: at connect, and when the table
// changes; every other tick goes out brief. /api/values always answers in full.
TEST(WebServer, SendsBriefTicksToClientsThatHoldTheNames) {
  Served s;
  auto tick = [&](double t, std::uint64_t table) {
    const std::string n = std::to_string(static_cast<int>(t));
    s.server->publish(t,
                      web::TickTexts{table, [n] { return "{\"full\":" + n + "}"; },
                                     [n] { return "{\"brief\":" + n + "}"; }},
                      [] { return web::TickData::Samples{}; });
  };
  tick(1, 7);
  web_test::WsClient ws(s.port);
  EXPECT_EQ(ws.read(), R"({"full":1})");
  ASSERT_TRUE(s.eventually([&] { return s.server->stats().websockets == 1; }));
  for (const auto& [t, table, expected] :
       {std::tuple{2, 7, R"({"brief":2})"}, {3, 8, R"({"full":3})"}, {4, 8, R"({"brief":4})"}}) {
    tick(t, table);
    EXPECT_EQ(ws.read(), expected) << "tick " << t;
  }
  web_test::WsClient late(s.port);
  EXPECT_EQ(late.read(), R"({"full":4})");
  EXPECT_EQ(web_test::get(s.port, "/api/values").body, R"({"full":4})");
}

TEST(WebServer, WritesNeedTheTokenAndReachTheStationsThread) {
  Served s;
  auto r = web_test::request(s.port, verb::post, "/api/remark", "pump 2 repaired");
  EXPECT_EQ(r.status, 401);
  EXPECT_EQ(r.message[web_test::http::field::www_authenticate], "Bearer");
  r = web_test::request(s.port, verb::post, "/api/remark", "x", {{"Authorization", "Basic Zm9v"}});
  EXPECT_EQ(r.status, 401);
  r = web_test::request(s.port, verb::post, "/api/remark", "x",
                        {{"Authorization", "Bearer " + std::string(64, 'c')}});
  EXPECT_EQ(r.status, 403);
  EXPECT_THAT(s.log(), Contains(AllOf(HasSubstr("403 POST /api/remark from 127.0.0.1:"),
                                      HasSubstr(": wrong token"))));
  EXPECT_TRUE(s.server->take_writes().empty());  // nothing refused went through

  // A command is one line; an empty body is no write.
  const std::pair<std::string, std::string> auth{"Authorization", "Bearer " + kToken};
  EXPECT_EQ(web_test::request(s.port, verb::post, "/api/command", "bit 1\nbottom 2", {auth}).status,
            400);
  EXPECT_EQ(web_test::request(s.port, verb::post, "/api/remark", "", {auth}).status, 400);
  EXPECT_EQ(web_test::get(s.port, "/api/remark").status, 405);
  // A remark cut inside a character is refused whole, never stored altered.
  r = web_test::request(s.port, verb::post, "/api/remark", "ok text \xc3", {auth});
  EXPECT_EQ(r.status, 400);
  EXPECT_THAT(json_of(r)["error"].get<std::string>(), HasSubstr("not UTF-8"));
  EXPECT_THAT(s.log(), Contains(AllOf(HasSubstr("400 POST /api/remark from 127.0.0.1:"),
                                      HasSubstr("ill-formed byte at offset 8"))));
  EXPECT_TRUE(s.server->take_writes().empty());
}

TEST(WebServer, WritesAndTheStreamAreRefusedToThePagesOfOtherSites) {
  Served s;
  s.tick(1, 1);
  const std::string host = "127.0.0.1:" + std::to_string(s.port);
  const std::vector<std::pair<std::string, std::string>> upgrade = {
      {"Connection", "Upgrade"},
      {"Upgrade", "websocket"},
      {"Sec-WebSocket-Version", "13"},
      {"Sec-WebSocket-Key", "dGhlIHNhbXBsZSBub25jZQ=="}};
  struct Case {
    verb method;
    const char* target;
    std::string origin;  // empty: none sent
    int status;
  };
  const Case cases[] = {
      {verb::get, "/ws", "http://evil.example", 403},
      {verb::get, "/ws", "null", 403},
      {verb::get, "/ws", "http://" + host, 101},
      {verb::get, "/ws", "", 101},
      {verb::post, "/api/ack", "http://evil.example", 403},
      {verb::post, "/api/ack", "http://127.0.0.1:1", 403},
      {verb::get, "/api/values", "http://evil.example", 200},  // a read it cannot see
  };
  for (const auto& c : cases) {
    auto fields = std::string(c.target) == "/ws" ? upgrade : decltype(upgrade){};
    fields.emplace_back("Authorization", "Bearer " + kToken);
    fields.emplace_back("Host", host);
    if (!c.origin.empty()) fields.emplace_back("Origin", c.origin);
    const auto r = web_test::request(s.port, c.method, c.target, {}, fields);
    EXPECT_EQ(r.status, c.status) << c.target << " from " << c.origin;
  }
  EXPECT_THAT(s.log(), Contains(AllOf(HasSubstr("403 POST /api/ack from 127.0.0.1:"),
                                      HasSubstr("page 'http://evil.example', not from this"))));
  EXPECT_TRUE(s.server->take_writes().empty());
}

TEST(WebServer, AStationWithoutATokenRefusesEveryWriteSayingWhy) {
  web::ServerOptions o;
  o.read_only_reason = "the web token '/home/web.token' may be read by others";
  Served s(o);
  auto r = web_test::request(s.port, verb::post, "/api/ack", "",
                             {{"Authorization", "Bearer " + kToken}});
  EXPECT_EQ(r.status, 403);
  EXPECT_THAT(json_of(r)["error"].get<std::string>(), HasSubstr("may be read by others"));
  EXPECT_TRUE(s.server->take_writes().empty());
}

TEST(WebServer, RefusesTraversalOversizeAndTooManyHeaders) {
  Served s;
  for (const char* target : {"/../etc/passwd", "/%2e%2e/%2e%2e/etc/passwd", "/..%2fweb.token",
                             "/.hidden", "/a%5c..%5cb", "/%00"}) {
    auto r = web_test::get(s.port, target);
    EXPECT_EQ(r.status, 400) << target;
  }
  EXPECT_THAT(s.log(), Contains(AllOf(HasSubstr("400 GET /../etc/passwd from 127.0.0.1:"),
                                      HasSubstr(": refused file path"))));

  const std::pair<std::string, std::string> auth{"Authorization", "Bearer " + kToken};
  auto r = web_test::request(s.port, verb::post, "/api/remark",
                             std::string(web::format::kMaxBodyBytes + 1, 'x'), {auth});
  EXPECT_EQ(r.status, 413);
  // A body sent in chunks, without a length, is held to the same limit.
  std::string chunked = "POST /api/remark HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer " + kToken +
                        "\r\nTransfer-Encoding: chunked\r\n\r\n";
  for (int i = 0; i < 10; ++i) chunked += "400\r\n" + std::string(0x400, 'y') + "\r\n";
  chunked += "0\r\n\r\n";
  EXPECT_EQ(web_test::exchange_raw(s.port, chunked).status, 413);
  EXPECT_TRUE(s.server->take_writes().empty());

  std::vector<std::pair<std::string, std::string>> many;
  for (std::size_t i = 0; i < web::format::kMaxHeaderFields + 1; ++i)
    many.emplace_back("X-Field-" + std::to_string(i), "1");
  EXPECT_EQ(web_test::request(s.port, verb::get, "/api/values", {}, many).status, 431);
  EXPECT_EQ(web_test::request(s.port, verb::get, "/api/values", {},
                              {{"X-Long", std::string(web::format::kMaxHeaderBytes, 'z')}})
                .status,
            431);
  EXPECT_EQ(web_test::exchange_raw(s.port, "GARBAGE\r\n\r\n").status, 400);
  EXPECT_EQ(
      web_test::exchange_raw(s.port, std::string("GET / HTTP/1.1\r\nHost\0: x\r\n\r\n", 28)).status,
      400);
  // After all that the server still serves.
  s.tick(5, 50);
  EXPECT_EQ(web_test::get(s.port, "/api/values").status, 200);
  EXPECT_GE(s.server->stats().bad_requests, 12u);
}

TEST(WebServer, LimitsRequestsPerConnectionAndSecond) {
  web::ServerOptions o;
  o.max_requests_per_second = 3;
  Served s(o);
  s.tick(1, 1);
  // Several requests on one kept-alive connection.
  std::string pipelined;
  for (int i = 0; i < 5; ++i) pipelined += "GET /api/values HTTP/1.1\r\nHost: x\r\n\r\n";
  web_test::asio::io_context ioc;
  web_test::beast::tcp_stream stream(ioc);
  stream.connect(web_test::tcp::endpoint(web_test::asio::ip::make_address("127.0.0.1"), s.port));
  web_test::asio::write(stream, web_test::asio::buffer(pipelined));
  web_test::beast::flat_buffer buffer;
  std::vector<int> statuses;
  for (int i = 0; i < 4; ++i) {
    web_test::http::response<web_test::http::string_body> res;
    web_test::beast::error_code ec;
    web_test::http::read(stream, buffer, res, ec);
    if (ec) break;
    statuses.push_back(res.result_int());
  }
  // The fourth is refused, and the connection with it.
  EXPECT_THAT(statuses, ElementsAre(200, 200, 200, 429));
  // A new second on the clock, a new allowance.
  s.clock.steady += 1000;
  EXPECT_EQ(web_test::get(s.port, "/api/values").status, 200);
}

TEST(WebServer, LimitsConnections) {
  web::ServerOptions o;
  o.max_connections = 2;
  Served s(o);
  s.tick(1, 1);
  web_test::WsClient a(s.port);
  web_test::WsClient b(s.port);
  ASSERT_FALSE(a.read().empty());
  ASSERT_FALSE(b.read().empty());
  EXPECT_EQ(web_test::get(s.port, "/api/values").status, 0);  // closed without an answer
  EXPECT_TRUE(s.eventually([&] { return s.server->stats().refused_connections == 1; }));
  EXPECT_THAT(s.log(), Contains(HasSubstr("2 are open")));
}

// Raw connections that send what a test says, or nothing.
struct RawClients {
  explicit RawClients(unsigned short p) : port(p) {}
  web_test::tcp::socket& open(const std::string& first_bytes = {}) {
    auto& c = sockets.emplace_back(std::make_unique<web_test::tcp::socket>(ioc));
    c->connect(web_test::tcp::endpoint(web_test::asio::ip::make_address("127.0.0.1"), port));
    if (!first_bytes.empty()) web_test::asio::write(*c, web_test::asio::buffer(first_bytes));
    return *c;
  }
  // True when the server closes `c` within ten seconds (what it still sends is read past).
  static bool closed(web_test::tcp::socket& c) {
    for (pollfd p{c.native_handle(), POLLIN, 0}; ::poll(&p, 1, 10000) == 1;) {
      char bytes[512];
      web_test::beast::error_code ec;
      c.read_some(web_test::asio::buffer(bytes), ec);
      if (ec)
        return ec == web_test::asio::error::eof || ec == web_test::asio::error::connection_reset;
    }
    return false;
  }
  unsigned short port;
  web_test::asio::io_context ioc;
  std::vector<std::unique_ptr<web_test::tcp::socket>> sockets;
};

TEST(WebServer, IdleConnectionsMakeRoomForNewOnesAndConnectionsInARequestDoNot) {
  web::ServerOptions o;
  o.max_connections_per_address = 3;
  Served s(o);
  s.tick(1, 1);
  RawClients idle(s.port);
  for (int i = 0; i < 3; ++i) idle.open();
  ASSERT_TRUE(s.eventually([&] { return s.server->stats().connections == 3; }));
  EXPECT_EQ(web_test::get(s.port, "/api/values").status, 200);
  EXPECT_EQ(s.server->stats().evicted_connections, 1u);
  EXPECT_TRUE(RawClients::closed(*idle.sockets[0]));  // the one idle longest
  EXPECT_THAT(s.log(), Contains(HasSubstr("to make room for one from 127.0.0.1")));
  idle.sockets.clear();
  ASSERT_TRUE(s.eventually([&] { return s.server->stats().connections == 0; }));

  RawClients busy(s.port);
  for (int i = 0; i < 3; ++i) busy.open("GET / HTTP/1.1\r\n");
  ASSERT_TRUE(s.eventually([&] { return s.server->stats().connections == 3; }));
  EXPECT_EQ(web_test::get(s.port, "/api/values").status, 0);
  EXPECT_THAT(s.log(), Contains(HasSubstr("3 of its connections are open, none idle")));
  EXPECT_EQ(s.server->stats().evicted_connections, 1u);
}

TEST(WebServer, AClientSilentOrSlowPastItsTimeOutIsClosed) {
  web::ServerOptions o;
  o.idle_timeout = std::chrono::milliseconds(200);
  o.header_timeout = std::chrono::milliseconds(300);
  Served s(o);
  RawClients c(s.port);
  EXPECT_TRUE(RawClients::closed(c.open()));
  EXPECT_TRUE(RawClients::closed(c.open("GET / HTTP/1.1\r\nHost: x\r\n")));
  EXPECT_TRUE(s.eventually([&] {
    for (const auto& line : s.log())
      if (line.find("header did not come within 300 ms") != std::string::npos) return true;
    return false;
  }));
  // Kept alive after an answer, then silent: closed as well.
  EXPECT_TRUE(RawClients::closed(c.open("GET /app.js HTTP/1.1\r\nHost: x\r\n\r\n")));
}

TEST(WebServer, DropsAWebSocketClientThatDoesNotRead) {
  web::ServerOptions o;
  o.max_queued_bytes = 256 * 1024;
  Served s(o);
  web_test::WsClient sleeper(s.port);
  ASSERT_TRUE(s.eventually([&] { return s.server->stats().websockets == 1; }));
  // Large ticks until the sleeper's socket buffers and then its queue are full.
  const std::string big(64 * 1024, 'x');
  int published = 0;
  const bool dropped = s.eventually([&] {
    web::TickData d;
    d.t = ++published;
    d.json = "\"" + big + "\"";
    s.server->publish(std::move(d));
    return s.server->stats().dropped_clients == 1;
  });
  const auto st = s.server->stats();
  ASSERT_TRUE(dropped) << published << " ticks published, " << st.messages_sent << " sent, "
                       << st.queued_bytes << " bytes queued";
  EXPECT_TRUE(s.eventually([&] {
    return !s.log().empty() && s.log().back().find("it reads too slowly") != std::string::npos;
  }));
  // What waited for it is let go, and a new client is served.
  EXPECT_TRUE(s.eventually([&] {
    const auto now = s.server->stats();
    return now.websockets == 0 && now.queued_bytes == 0;
  }));
  web_test::WsClient fresh(s.port);
  ASSERT_FALSE(fresh.read().empty());  // the latest tick at connect
  ASSERT_TRUE(s.eventually([&] { return s.server->stats().websockets == 1; }));
  s.tick(1e6, 7);
  std::string last;
  for (int i = 0; i < 10 && last.find("1000000") == std::string::npos; ++i) last = fresh.read();
  EXPECT_EQ(nlohmann::json::parse(last)["hook"], 7);
}

TEST(WebServer, TicksAreSkippedNotHeapedWhenTheLoopFallsBehind) {
  Served s;
  // Far more ticks than the loop can pass on at once: what waits for it stays bounded.
  for (int i = 0; i < 2000; ++i) s.tick(i, i);
  const auto st = s.server->stats();
  EXPECT_LE(st.pending_ticks, web::WebServer::kMaxPendingTicks);
  EXPECT_TRUE(s.eventually([&] { return s.server->stats().pending_ticks == 0; }));
  // The newest tick is the one served, whatever was skipped on the way.
  EXPECT_EQ(json_of(web_test::get(s.port, "/api/values"))["hook"], 1999);
}

TEST(WebServer, ABadAddressOrABusyPortIsAClearError) {
  web::ServerOptions o;
  o.address = "rig-7";
  web::WebServer bad(o, lib::system_clock());
  EXPECT_THAT([&] { bad.start(); },
              ::testing::ThrowsMessage<std::runtime_error>(HasSubstr("'rig-7' is not an IP")));
  Served s;
  web::ServerOptions same;
  same.port = s.port;
  web::WebServer second(same, lib::system_clock());
  EXPECT_THAT([&] { second.start(); },
              ::testing::ThrowsMessage<std::runtime_error>(HasSubstr("cannot listen on")));
}

}  // namespace
