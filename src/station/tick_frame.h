// One data tick as the stages hand it on: when it happened, what the data source gave, each
// row's marks (raw input, validity, refreshed or stale, alarm), the rig's depths, operation
// and run. The stages fill it in their order (station/stages.h); everything that publishes
// the tick (the shared-values file, the live frame, the screen, the web view, WITS out)
// reads it instead of asking the parts again.
//
// The station owns one frame for its whole life: a row's validity and its last raw input
// carry over from tick to tick, the rest is set again by each tick. Not thread-safe: the
// station's tick thread writes it; readers on other threads get copies.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "hardware/comm_incom_data.h"
#include "lib/date_time.h"
#include "rig/depth_tracker.h"
#include "station/scenario.h"

namespace station {

using rig::Depths;

struct FrameRow {
  double raw = 0;  // the raw input of the last reading that had one
  bool has_raw = false;
  // False while the row's conversion gives no number: its value is the last sound one.
  bool valid = true;
  // This tick gave the row a value (its source answered, or the rig or a scenario set it).
  bool fresh = false;
  // Fed by a data source (the bus or WITS); a fed row that was not refreshed is stale.
  bool fed = false;
  // Outside one of its alarm thresholds as of this tick's alarm pass.
  bool alarm = false;

  bool stale() const { return fed && !fresh; }
  bool current() const { return fresh && valid; }
};

struct TickFrame {
  std::uint64_t tick = 0;      // from 1
  std::int64_t steady_ms = 0;  // the clock's steady time at the start of the tick
  lib::DateTime time{};        // the moment every row of this tick converts at
  bool reading_ok = false;     // the data source gave a good reading
  hardware::CommIncomData reading;
  // What a scenario plays at this moment; none without a scenario.
  std::optional<ScenarioSample> scene;
  // One per table row the data storage keeps (at most ds_tmp::kSlots).
  std::vector<FrameRow> rows;
  // Counts the changes of the table's rows (a reload, a new row count, any call that could
  // edit a row: params::ParTabl::revision): what was made from the rows (a view's labels, the
  // recording's parameter list, the conversions) is made again when it differs.
  std::uint64_t table_version = 0;
  // The mud flow in, worked out from the pumps' strokes, l/min.
  double flow_lpm = 0;
  double active_volume = 0;  // of the active tanks, m³
  double pit_gain = 0;       // m³ since the start of the last connection or trip
  Depths depths;
  double lag = 0;              // the lag depth, m
  std::int32_t operation = 0;  // the effective operation (forced when forced)
  int race = 0;                // the registration run; 0: none started
  bool race_active = false;
  // The alarm pass's current alarms, each as its text, and the console relays they switch
  // (bit k: relay k + 1): formatted once a tick for every reader of the tick.
  std::vector<std::string> alarms;
  std::uint32_t relay_mask = 0;

  // A row out of range is neither stale nor current.
  bool stale(int row) const { return in_range(row) && rows[static_cast<std::size_t>(row)].stale(); }
  bool current(int row) const {
    return in_range(row) && rows[static_cast<std::size_t>(row)].current();
  }
  bool in_range(int row) const { return row >= 0 && static_cast<std::size_t>(row) < rows.size(); }
  // Marks a row set this tick by the station itself (the rig, a scenario, a run total).
  void set_fresh(int row) {
    if (!in_range(row)) return;
    rows[static_cast<std::size_t>(row)].fresh = true;
    rows[static_cast<std::size_t>(row)].valid = true;
  }
};

}  // namespace station
