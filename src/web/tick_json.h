// The JSON of one tick: one writer for the two documents that show a tick, the web view's
// /api/values (docs/web-api.md) and the program's `run --json` line, both made from one
// picture of the tick.
//
// The picture is taken on the station's thread right after the tick: plain copies of the
// frame's numbers and of the few texts that change, the rows' names shared from tick to tick
// (TickLabels) so that a picture costs the tick little. The documents and the history's
// samples are made from a picture on any thread; only the remarks are read then, through the
// journal, which any thread may read.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "lib/date_time.h"
#include "station/live_view.h"
#include "station/run_recording.h"
#include "station/station.h"

namespace reg {
class System;
}
namespace text {
class Storage;
}

namespace web {

// Journal remarks shown with each tick, the newest last.
inline constexpr std::size_t kRemarksShown = 10;

// The rows' names as of one table: made again when the frame says the table changed.
struct TickLabels {
  std::uint64_t table_version = 0;
  // Counts the names made since the link started: a new number whenever they are made again.
  std::uint64_t generation = 0;
  struct Row {
    std::string id, name, unit;
  };
  std::vector<Row> rows;
};

struct TickPicture {
  lib::LocalTime now;
  std::uint64_t tick = 0;
  station::SourceStatus source;
  std::int64_t reopen_wait_ms = 0;
  std::shared_ptr<const TickLabels> labels;
  std::uint64_t table = 0;  // the labels' generation: the names the rows go with
  struct Row {
    double value = 0;
    double raw = 0;
    bool has_raw = false, valid = true, stale = false, alarm = false;
  };
  std::vector<Row> rows;
  station::Station::RigView rig;
  // The pumps and the tanks are in the program's line only (`detail`); the three numbers are
  // the frame's.
  station::Station::MudView mud;
  station::RecordingView recording;
  std::vector<station::WitsServerView> wits;
  std::uint32_t relay_mask = 0;
  std::vector<std::pair<std::string, bool>> alarms;        // text, acknowledged
  std::vector<std::pair<std::string, double>> registered;  // `detail` only
  struct WitsOut {
    int port = 0;
    std::size_t clients = 0;
    std::uint64_t dropped = 0;
  };
  std::optional<WitsOut> wits_out;
  std::string home;
  const text::Storage* remarks = nullptr;
};

struct PictureOptions {
  // The pumps, the tanks and the registry's values, which the web view does not show.
  bool detail = false;
  // The alarms someone acknowledged (the web view's); may be null.
  const std::set<std::string>* acknowledged = nullptr;
  // When the tick ended, for a picture taken after it; null: the clock's time now.
  const lib::LocalTime* now = nullptr;
};

// Takes the picture of the tick the station just ran; `labels` is the cache of the rows'
// names, kept by the caller from tick to tick. On the station's thread, or on another while
// the station is between two ticks.
TickPicture take_picture(const station::Station& station, reg::System& hub,
                         std::shared_ptr<const TickLabels>& labels, const PictureOptions& options);

// /api/values, and the WebSocket's first message and the one after the names changed.
nlohmann::json web_json(const TickPicture& p);
// The WebSocket's message on the other ticks, as text: the same without the rows, whose
// values (single precision) and flags (one digit a row) follow in the rows' order
// (docs/web-api.md).
std::string web_brief_text(const TickPicture& p);
// The program's `run --json` line.
nlohmann::json program_json(const TickPicture& p);

}  // namespace web
