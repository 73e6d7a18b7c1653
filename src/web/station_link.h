// Joins the web view's server to a running station. On the station's thread, after each
// tick, it carries out the writes clients asked for and hands the server a picture of the
// tick (web/tick_json.h). The JSON (docs/web-api.md) and the history's samples are made
// from that picture on the server's thread, the JSON only when a client listens, so the web
// view costs the tick next to nothing whatever its clients do.
#pragma once

#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

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

  // Call after each station tick, on the station's thread.
  void after_tick();

  // The tick's picture as /api/values answers it (docs/web-api.md).
  nlohmann::json snapshot() const;

  // Carries out one write and answers it ({status, one line}); the station's thread only.
  std::pair<int, std::string> carry_out(const WriteRequest& w);

 private:
  std::shared_ptr<const TickPicture> picture() const;

  station::Station& station_;
  reg::System& hub_;
  WebServer& server_;
  // The texts of the current alarms someone acknowledged; an alarm that ends is forgotten.
  std::set<std::string> acknowledged_;
  // The rows' names as of the table the frame last saw, shared by the pictures.
  mutable std::shared_ptr<const TickLabels> labels_;
  // The rows of the pictures the server is done with, which the next ticks fill again: a
  // tick then writes into memory it had before rather than new memory. Shared with the
  // pictures, whose last reader (on the server's thread) puts their rows back and frees the
  // rest there.
  struct Shelf {
    std::mutex lock;
    std::vector<std::vector<TickPicture::Row>> rows;
  };
  std::shared_ptr<Shelf> shelf_ = std::make_shared<Shelf>();
};

}  // namespace web
