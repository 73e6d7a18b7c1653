#include "office/forward_status.h"

#include <nlohmann/json.hpp>

namespace office {

std::string forward_status_json(const ForwarderStatus& s, const StatusContext& c) {
  nlohmann::json j;
  j["rig"] = c.rig;
  j["office"] = c.office;
  j["state"] = c.stopped ? "stopped" : s.connected ? "connected" : "connecting";
  j["error"] = s.error;
  j["retry_in_s"] = s.connected || c.stopped
                        ? 0
                        : std::max<std::int64_t>(0, (s.retry_at_ms - c.steady_now_ms + 999) / 1000);
  j["backlog_lines"] = s.backlog_lines;
  j["backlog_seconds"] = s.backlog_seconds;
  j["last_commit"] =
      s.last_commit ? lib::format_date_time(lib::to_date_time(*s.last_commit)) : std::string();
  j["lines_shipped"] = s.lines_shipped;
  j["bytes_shipped"] = s.bytes_shipped;
  j["live_frames"] = s.live_frames;
  j["caught_up"] = s.caught_up;
  j["updated"] = c.now.seconds;
  j["pid"] = c.pid;
  // Texts from the link (libpq's messages) may hold bytes that are not UTF-8.
  return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace office
