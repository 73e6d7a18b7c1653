// Joins the web server to a running station, on the station's own thread: after each tick it
// carries out the writes clients asked for and hands the server the tick's picture.
#pragma once

#include <set>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "web/server.h"

namespace reg {
class System;
}
namespace station {
class Station;
}

namespace web {

// Journal remarks shown with each tick, the newest last.
inline constexpr std::size_t kRemarksShown = 10;

class StationLink {
 public:
  StationLink(station::Station& station, reg::System& hub, WebServer& server);

  // Call after each station tick, on the station's thread.
  void after_tick();

  // The tick's picture as /api/values answers it (docs/web-api.md).
  nlohmann::json snapshot() const;

  // Carries out one write and answers it ({status, one line}); the station's thread only.
  std::pair<int, std::string> carry_out(const WriteRequest& w);

 private:
  station::Station& station_;
  reg::System& hub_;
  WebServer& server_;
  // The texts of the current alarms someone acknowledged; an alarm that ends is forgotten.
  std::set<std::string> acknowledged_;
};

}  // namespace web
