// The office's view of every rig (`rigstation office serve`, docs/office-web-api.md): the
// fleet page, a page per rig and the accounts, served over HTTP or HTTPS by the rig's own
// web server (web/server.h) from the office database.
//
// Threads: the web server's loop reads requests and never waits on the database; each
// request is handed to one of a few workers, each with a connection of its own, which
// answer it. A database that is gone makes each request answer 503 with the reason (and the
// log says so once); the next request connects again. Requests beyond
// web_format::kMaxQueuedRequests waiting for a worker are refused at once.
//
// Security: every request but the login needs a session cookie; writes (accounts, titles)
// need the write role, and every POST is refused when the browser says it comes from a page
// of another site. Plain HTTP is served on a loopback address only, unless allowed.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "lib/date_time.h"
#include "office/web/login_limiter.h"
#include "web/server.h"

namespace office::view {

struct OfficeServerOptions {
  std::string db;  // the office database's address (libpq)
  std::string address = "127.0.0.1";
  std::uint16_t port = 8090;             // 0: a free port
  std::string tls_certificate, tls_key;  // both set: HTTPS
  bool plain_http_anywhere = false;      // allow plain HTTP on a non-loopback address
  int workers = 2;
  int session_hours = 12;
  int db_timeout_ms = 15000;
  // Where the server's lines go; called from any of its threads.
  std::function<void(const std::string&)> log;
  lib::Clock* clock = nullptr;  // the login limiter's; the system clock when null
};

class OfficeServer {
 public:
  explicit OfficeServer(OfficeServerOptions options);
  ~OfficeServer();
  OfficeServer(const OfficeServer&) = delete;
  OfficeServer& operator=(const OfficeServer&) = delete;

  // Listens and starts the workers; throws std::runtime_error with the reason (an address
  // that is not one, plain HTTP refused, a certificate or key that cannot be used).
  void start();
  void stop();
  std::uint16_t port() const;
  bool secure() const { return !options_.tls_certificate.empty(); }

  struct Worker;  // a database connection and what goes with it

 private:
  struct Job {
    ::web::HttpRequest request;
    std::function<void(::web::HttpAnswer)> done;
  };
  void enqueue(::web::HttpRequest request, std::function<void(::web::HttpAnswer)> done);
  void work(Worker& worker);
  ::web::HttpAnswer answer(Worker& worker, const ::web::HttpRequest& request);
  ::web::HttpAnswer login(Worker& worker, const ::web::HttpRequest& request);
  std::string cookie(const std::string& token, int max_age) const;
  void log(const std::string& line) const;

  OfficeServerOptions options_;
  lib::Clock& clock_;  // the login limiter's and the web server's rate limits
  LoginLimiter limiter_;
  std::unique_ptr<::web::WebServer> web_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Job> jobs_;
  bool stopping_ = false;
  bool db_down_ = false;  // under mutex_: said once in the log, and again when it is back
  std::vector<std::unique_ptr<Worker>> workers_;
  std::vector<std::thread> threads_;
};

}  // namespace office::view
