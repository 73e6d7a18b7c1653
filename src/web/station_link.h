// Joins the web view's server to a running station. On the station's thread, after each
// tick, it carries out the writes clients asked for; a picture of the tick (web/tick_json.h)
// is then taken on the server's thread, when its loop next looks for ticks, while the station
// waits for its next tick: the host brackets each tick with before_tick() and after_tick(),
// and the station is the server's to read only between them. A tick the server did not take
// in time is taken on the station's thread as the next tick begins, so every tick reaches
// the history. The JSON (docs/web-api.md) and the history's samples are made from the
// picture on the server's thread, the JSON only when a client listens, so the web view costs
// the tick next to nothing whatever its clients do.
#pragma once

#include <memory>
#include <mutex>
#include <set>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "web/server.h"
#include "web/tick_json.h"

namespace reg {
class System;
}
namespace station {
class Station;
}

namespace web {

class StationLink {
 public:
  StationLink(station::Station& station, reg::System& hub, WebServer& server);
  ~StationLink();

  // Call before each station tick, on the station's thread: from here to after_tick the
  // station is its thread's alone (this waits while the server takes a picture).
  void before_tick();
  // Call after each station tick, on the station's thread.
  void after_tick();

  // The tick's picture as /api/values answers it (docs/web-api.md); another thread waits
  // for a tick under way to end.
  nlohmann::json snapshot() const;

  // Carries out one write and answers it ({status, one line}); the station's thread only.
  std::pair<int, std::string> carry_out(const WriteRequest& w);

 private:
  std::shared_ptr<const TickPicture> picture() const;
  // The server's look: the waiting tick's picture taken and published, unless a tick is
  // under way (it is then taken as the next tick begins).
  void take_waiting_tick();
  // Takes the picture of the tick that ended and publishes it; under station_mutex_.
  void publish_tick();

  station::Station& station_;
  reg::System& hub_;
  WebServer& server_;
  // Held by the station's thread over each tick, by the server's while it takes a picture.
  // Recursive: the station's thread may answer writes and snapshots while it holds it.
  mutable std::recursive_mutex station_mutex_;
  std::unique_lock<std::recursive_mutex> ticking_{station_mutex_, std::defer_lock};
  // A tick ended and its picture is not taken yet; the time it ended.
  bool waiting_ = false;
  lib::LocalTime tick_time_{};
  // The texts of the current alarms someone acknowledged; an alarm that ends is forgotten.
  std::set<std::string> acknowledged_;
  // The rows' names as of the table the frame last saw, shared by the pictures.
  mutable std::shared_ptr<const TickLabels> labels_;
};

}  // namespace web
