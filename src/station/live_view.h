// The station's live screen as a list of text lines that fit a terminal: the measurements
// of the parameter table first (name, value, unit, raw input, stale mark) with the state of
// the data source above them, then what room is left for the registry's other values. What
// does not fit is dropped and counted ("+N more"), so the measurements never scroll away.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "station/station.h"

namespace station {

struct LiveViewInput {
  std::string time;  // shown in the title line
  SourceStatus source;
  std::vector<RowView> rows;
  std::vector<RowView> registered;
  // Notes worth keeping on screen while room allows (see live_view_input).
  std::vector<std::string> notes;
  std::int64_t reopen_wait_ms = 0;
  // The rig's depths and operation, two lines under the source when given.
  std::optional<Station::RigView> rig;
  Station::MudView mud;
  // The WITS servers listened to, one line each under the source; none when none is enabled.
  std::vector<WitsServerView> wits;
};

// Lines about the mud system, none when the table has no pump nor tank rows: the pumps with
// their strokes and the flow, the totals with the pit gain and the trip tanks, then the
// tanks, two to a line.
std::vector<std::string> mud_lines(const Station::MudView& mud);

// One line about a WITS server: its name, state and the age of its last record.
std::string wits_state_text(const WitsServerView& s);

// Four lines about the rig: the depths, the operation, the run with its recording, then the
// stands in the hole and the run's footage, drilling time and average rate of penetration.
std::vector<std::string> rig_state_lines(const Station::RigView& rig);

// What the live view shows of a running station at `time`. Its notes are those the operator
// must act on: what this start `created` and what loading the settings corrected. The start
// notes (what was restored, where the error log is) are told before the view opens and are
// in the error log; printed into the view they would sit among the values for good.
LiveViewInput live_view_input(const Station& st, const std::vector<std::string>& created,
                              std::string time);

// At most `lines` lines of at most `columns` characters (UTF-8 characters, not bytes).
std::vector<std::string> live_view_lines(const LiveViewInput& in, std::size_t columns = 80,
                                         std::size_t lines = 24);

// One line about the data source: its name, port and state (reading, no data, lost).
std::string source_state_text(const SourceStatus& s, std::int64_t reopen_wait_ms);

// Characters of a UTF-8 text.
std::size_t text_width(const std::string& text);

}  // namespace station
