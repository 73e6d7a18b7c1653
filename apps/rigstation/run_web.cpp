#include "run_web.h"

#include <cstdio>
#include <stdexcept>

#include "core/system.h"
#include "station/station.h"
#include "web/depth_log_api.h"
#include "web/page_files.h"
#include "web/query.h"
#include "web/server.h"
#include "web/station_link.h"
#include "web/token.h"

namespace rigstation {

namespace {

class RunningWeb : public RunWeb {
 public:
  RunningWeb(web::ServerOptions options, station::Station& st, reg::System& hub)
      : server_(std::move(options), hub.clock()), link_(st, hub, server_) {}
  void start() { server_.start(); }
  std::uint16_t port() const { return server_.port(); }
  void before_tick() override { link_.before_tick(); }
  void after_tick() override { link_.after_tick(); }

 private:
  web::WebServer server_;
  web::StationLink link_;
};

}  // namespace

std::unique_ptr<RunWeb> start_web(const std::string& address, station::Station& st,
                                  reg::System& hub) {
  std::string error;
  const auto listen = web::parse_listen_address(address, error);
  if (!listen) throw std::runtime_error("--http " + error);
  auto tell = [&hub](const std::string& line) {
    std::fprintf(stderr, "rigstation: %s\n", line.c_str());
    hub.error_log().write(line);
  };
  const web::TokenState token = web::load_or_create_token(hub.get_exe_path(), hub.file_system());
  if (!token.message.empty()) tell("web: " + token.message);
  web::ServerOptions options;
  options.address = listen->host;
  options.port = static_cast<std::uint16_t>(listen->port);
  options.token = token.token;
  options.read_only_reason = token.message;
  options.assets = web::page_files();
  options.routes = web::depth_log_routes({hub.get_exe_path(), &hub.file_system()});
  reg::System* log_hub = &hub;
  options.log = [log_hub](const std::string& line) { log_hub->error_log().write(line); };
  auto web = std::make_unique<RunningWeb>(std::move(options), st, hub);
  web->start();
  const bool loopback = listen->host.starts_with("127.") || listen->host == "::1";
  const std::string host =
      listen->host.find(':') != std::string::npos ? "[" + listen->host + "]" : listen->host;
  tell("web: serving http://" + host + ":" + std::to_string(web->port()) + "/" +
       (loopback ? "" : " (reachable from the network: writes need the token)"));
  return web;
}

}  // namespace rigstation
