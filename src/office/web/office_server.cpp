#include "office/web/office_server.h"

#include <boost/asio/ip/address.hpp>
#include <nlohmann/json.hpp>

#include "lib/str_enc.h"
#include "office/office_format.h"
#include "office/pg/pg_office_db.h"
#include "office/web/accounts.h"
#include "office/web/office_page_files.h"
#include "office/web/office_views.h"
#include "office/web/office_web_format.h"
#include "web/json_text.h"
#include "web/query.h"

namespace office::view {

using ::web::HttpAnswer;
using ::web::HttpRequest;

struct OfficeServer::Worker {
  explicit Worker(const OfficeServerOptions& o)
      : db(o.db, o.db_timeout_ms), accounts(db.connection()) {}
  pg::PgOfficeDb db;
  Accounts accounts;
};

namespace {

HttpAnswer refused(int status, std::string why) {
  return {status, std::move(why), "application/json", {}};
}

HttpAnswer json_answer(const nlohmann::json& j) {
  return {200, ::web::json_text(j), "application/json", {}};
}

bool reads(const HttpRequest& r) {
  return r.method == "GET" || r.method == "HEAD";
}

// A POST's body as JSON: UTF-8 and an object, or the reason it is not.
std::optional<nlohmann::json> body_object(const HttpRequest& r, std::string& why) {
  if (!lib::is_valid_utf8(r.body)) {
    why = "the body is not UTF-8";
    return std::nullopt;
  }
  nlohmann::json j = nlohmann::json::parse(r.body, nullptr, false);
  if (!j.is_object()) {
    why = "the body is not a JSON object";
    return std::nullopt;
  }
  return j;
}

std::string field(const nlohmann::json& j, const char* name) {
  const auto it = j.find(name);
  return it != j.end() && it->is_string() ? it->get<std::string>() : std::string();
}

bool is_loopback(const std::string& host) {
  boost::system::error_code ec;
  const auto a = boost::asio::ip::make_address(host, ec);
  return !ec && a.is_loopback();
}

}  // namespace

OfficeServer::OfficeServer(OfficeServerOptions options)
    : options_(std::move(options)),
      clock_(options_.clock ? *options_.clock : lib::system_clock()),
      limiter_(clock_, web_format::kMaxFailedLogins, web_format::kLoginWindowSeconds) {}

OfficeServer::~OfficeServer() {
  stop();
}

void OfficeServer::log(const std::string& line) const {
  if (options_.log) options_.log("office view: " + line);
}

void OfficeServer::start() {
  if (options_.tls_certificate.empty() != options_.tls_key.empty())
    throw std::runtime_error("HTTPS needs both a certificate (--cert) and a key (--key)");
  if (!secure() && !options_.plain_http_anywhere && !is_loopback(options_.address)) {
    throw std::runtime_error("plain HTTP is served on a loopback address only, not on " +
                             options_.address +
                             ": give --cert and --key for HTTPS, or --insecure-http to serve "
                             "plain HTTP there anyway");
  }
  ::web::ServerOptions o;
  o.address = options_.address;
  o.port = options_.port;
  o.tls_certificate = options_.tls_certificate;
  o.tls_key = options_.tls_key;
  o.assets = office_page_files();
  o.log = [this](const std::string& line) {
    if (options_.log) options_.log(line);
  };
  o.handler = [this](HttpRequest r, std::function<void(HttpAnswer)> done) {
    enqueue(std::move(r), std::move(done));
  };
  web_ = std::make_unique<::web::WebServer>(std::move(o), clock_);
  web_->start();
  stopping_ = false;
  for (int i = 0; i < std::max(1, options_.workers); ++i) {
    workers_.push_back(std::make_unique<Worker>(options_));
    threads_.emplace_back([this, w = workers_.back().get()] { work(*w); });
  }
}

void OfficeServer::stop() {
  if (!web_) return;
  web_->stop();  // no new request; the loop's state stays until web_ goes
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& t : threads_) t.join();
  threads_.clear();
  workers_.clear();
  jobs_.clear();  // their answers hold connections of the server: they go before it
  web_.reset();
}

std::uint16_t OfficeServer::port() const {
  return web_ ? web_->port() : 0;
}

void OfficeServer::enqueue(HttpRequest request, std::function<void(HttpAnswer)> done) {
  {
    std::lock_guard lock(mutex_);
    if (jobs_.size() < web_format::kMaxQueuedRequests) {
      jobs_.push_back({std::move(request), std::move(done)});
      wake_.notify_one();
      return;
    }
  }
  done(refused(503, "the office view is busy; try again shortly"));
}

void OfficeServer::work(Worker& worker) {
  for (;;) {
    Job job;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [&] { return stopping_ || !jobs_.empty(); });
      if (stopping_) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    HttpAnswer a;
    bool failed = false;
    std::string why;
    try {
      a = answer(worker, job.request);
    } catch (const OfficeError& e) {
      failed = true;
      why = e.what();
    } catch (const LinkError& e) {
      failed = true;
      why = e.what();
    }
    if (failed) {
      worker.db.close();
      a = refused(503, "the office database cannot be used: " + why +
                           "; the office view tries again with the next request");
    }
    {
      std::lock_guard lock(mutex_);
      if (failed && !db_down_) {
        log("the office database (" + worker.db.shown() + ") cannot be used: " + why +
            "; each request tries it again");
      } else if (!failed && db_down_) {
        log("the office database (" + worker.db.shown() + ") answers again");
      }
      db_down_ = failed;
    }
    job.done(std::move(a));
  }
}

std::string OfficeServer::cookie(const std::string& token, int max_age) const {
  return std::string(web_format::kSessionCookie) + "=" + token +
         "; Path=/; Max-Age=" + std::to_string(max_age) + "; HttpOnly; SameSite=Strict" +
         (secure() ? "; Secure" : "");
}

HttpAnswer OfficeServer::answer(Worker& worker, const HttpRequest& r) {
  pg::Connection& conn = worker.db.connection();
  if (!conn.connected()) {
    conn.connect();
    const pg::Result v = conn.exec(
        "SELECT coalesce((SELECT max(version) FROM office_schema), 0) FROM "
        "(SELECT to_regclass('office_schema') AS t) s WHERE s.t IS NOT NULL");
    const std::int64_t version = v.rows() == 0 ? 0 : v.int8(0, 0);
    if (version < kSchemaVersion) {
      throw OfficeError("its schema is " + std::to_string(version) + ", this program needs " +
                        std::to_string(kSchemaVersion) +
                        "; bring it up with 'rigstation office migrate'");
    }
  }
  const bool post = r.method == "POST";
  if (!post && !reads(r)) return refused(405, "use GET or POST");
  // A page of another site open in the same browser may not act for the user.
  if (post && !r.origin.empty() && !::web::origin_is_host(r.origin, r.host, secure())) {
    return refused(403, "the request comes from the page '" +
                            lib::to_valid_utf8(r.origin.substr(0, 100)) +
                            "', not from this office view");
  }
  if (r.path == "/api/login") return post ? login(worker, r) : refused(405, "use POST");

  const std::string token = ::web::cookie_value(r.cookie, web_format::kSessionCookie).value_or("");
  const std::optional<User> user =
      token.empty() ? std::nullopt : worker.accounts.session_user(token);
  if (!user) {
    HttpAnswer a = refused(401, "log in first (no session, or it has ended)");
    if (!token.empty()) a.headers.emplace_back("Set-Cookie", cookie("", 0));
    return a;
  }
  if (r.path == "/api/logout") {
    if (!post) return refused(405, "use POST");
    worker.accounts.close_session(token);
    HttpAnswer a = json_answer({{"user", nullptr}});
    a.headers.emplace_back("Set-Cookie", cookie("", 0));
    return a;
  }
  if (reads(r)) {
    if (r.path == "/api/me")
      return json_answer({{"user", user->name}, {"role", role_name(user->role)}});
    if (r.path == "/api/fleet") return fleet_view(conn);
    if (r.path == "/api/rig") return rig_view(conn, r.query);
    if (r.path == "/api/history") return history_view(conn, r.query);
    if (r.path == "/api/export") return export_view(worker.db, r.query);
  }
  const bool user_paths =
      r.path == "/api/users" || r.path.starts_with("/api/users/") || r.path == "/api/rig/title";
  if (!user_paths) return refused(404, "no such API");
  if (user->role != Role::write) return refused(403, "this needs an account with the write role");
  if (r.path == "/api/users") {
    if (!reads(r)) return refused(405, "use GET");
    nlohmann::json list = nlohmann::json::array();
    for (const User& u : worker.accounts.list())
      list.push_back({{"user", u.name}, {"role", role_name(u.role)}});
    return json_answer(list);
  }
  if (!post) return refused(405, "use POST");
  std::string why;
  const auto body = body_object(r, why);
  if (!body) return refused(400, why);
  if (r.path == "/api/rig/title")
    return set_title(conn, field(*body, "rig"), field(*body, "title"));
  const std::string name = field(*body, "user");
  try {
    if (r.path == "/api/users/add") {
      const auto role = role_of_name(field(*body, "role"));
      if (!role) return refused(400, "'role' is read or write");
      worker.accounts.add(name, field(*body, "password"), *role);
    } else if (r.path == "/api/users/passwd") {
      worker.accounts.set_password(name, field(*body, "password"));
    } else if (r.path == "/api/users/del") {
      if (name == user->name) return refused(400, "an account cannot remove itself");
      worker.accounts.remove(name);
    } else {
      return refused(404, "no such API");
    }
  } catch (const AccountError& e) {
    return refused(400, e.what());
  }
  log(r.path.substr(std::string_view("/api/users/").size()) + " of the account '" + name +
      "' by '" + user->name + "' from " + r.client);
  return json_answer({{"user", name}});
}

HttpAnswer OfficeServer::login(Worker& worker, const HttpRequest& r) {
  std::string why;
  const auto body = body_object(r, why);
  if (!body) return refused(400, why);
  const std::string name = field(*body, "user");
  const std::string password = field(*body, "password");
  const std::string by_address = "address " + r.client;
  const std::string by_name = "account " + name;
  const int wait = std::max(limiter_.wait_seconds(by_address), limiter_.wait_seconds(by_name));
  if (wait > 0) {
    HttpAnswer a =
        refused(429, "too many failed logins; try again in " + std::to_string(wait) + " s");
    a.headers.emplace_back("Retry-After", std::to_string(wait));
    return a;
  }
  const std::optional<User> user =
      check_user_name(name) || password.size() > web_format::kMaxPassword
          ? std::nullopt
          : worker.accounts.check_login(name, password);
  if (!user) {
    limiter_.failed(by_address);
    limiter_.failed(by_name);
    log("refused a login as '" + lib::to_valid_utf8(name.substr(0, 64)) + "' from " + r.client +
        ": wrong name or password");
    return refused(401, "wrong name or password");
  }
  limiter_.succeeded(by_address);
  limiter_.succeeded(by_name);
  const std::string token = worker.accounts.open_session(*user, options_.session_hours);
  HttpAnswer a = json_answer({{"user", user->name}, {"role", role_name(user->role)}});
  a.headers.emplace_back("Set-Cookie", cookie(token, options_.session_hours * 3600));
  return a;
}

}  // namespace office::view
