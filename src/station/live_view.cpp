#include "station/live_view.h"

#include <fmt/format.h>

#include <cstdio>

namespace station {
namespace {

std::string fmt_value(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f", v);
  return buf;
}

// Cuts a UTF-8 text to `width` characters, never inside a character.
std::string cut(const std::string& text, std::size_t width) {
  std::size_t chars = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if ((c & 0xC0) != 0x80) {
      if (chars == width) return text.substr(0, i);
      ++chars;
    }
  }
  return text;
}

std::string pad(const std::string& text, std::size_t width, bool right = false) {
  const std::string t = cut(text, width);
  const std::size_t chars = text_width(t);
  const std::string fill(width - chars, ' ');
  return right ? fill + t : t + fill;
}

std::string shown_name(const RowView& r) {
  return r.name.empty() ? r.identifier : r.name;
}

}  // namespace

std::size_t text_width(const std::string& text) {
  std::size_t chars = 0;
  for (unsigned char c : text) chars += (c & 0xC0) != 0x80;
  return chars;
}

std::string source_state_text(const SourceStatus& s, std::int64_t reopen_wait_ms) {
  std::string state;
  if (s.lost) {
    state = "LOST (" + s.lost_reason + "), retry in " +
            std::to_string((reopen_wait_ms + 999) / 1000) + " s";
  } else if (s.good_readings == 0) {
    state = "no reading yet";
  } else if (s.stale) {
    state = "NO DATA since tick " + std::to_string(s.last_good_tick);
  } else {
    state = "reading";
  }
  // The state first: a long device path must not push it off the screen.
  return "source " + state + "; good " + std::to_string(s.good_readings) + ", failed " +
         std::to_string(s.failures) + "; " + s.protocol_name + " at " + s.port;
}

std::vector<std::string> rig_state_lines(const Station::RigView& r) {
  std::vector<std::string> out;
  out.push_back(fmt::format("bottom {:.2f} m  bit {:.2f} m  lag {:.2f} m  block {:.2f} m  {}",
                            r.bottom, r.bit, r.lag, r.block, r.on_hook ? "on hook" : "in slips"));
  out.push_back(fmt::format("operation: {}{}  work: {}  time: {}", r.operation_name,
                            r.forced ? " (forced)" : "", r.work_type_name, r.prod_time_name));
  // The run and its recording on a line of their own: beside the operation's names they
  // ran off an 80-column screen.
  std::string run = r.race_active ? "run " + std::to_string(r.race) : std::string("no run");
  if (!r.recording_file.empty()) {
    const auto slash = r.recording_file.find_last_of('/');
    run += ", recording " + r.recording_file.substr(slash == std::string::npos ? 0 : slash + 1) +
           " (queue " + std::to_string(r.recording_queue) + ")";
  }
  out.push_back(run);
  out.push_back(
      fmt::format("in hole {} stands {} pipes  footage {:.2f} m  drilling {:.2f} h  "
                  "ROP {:.1f} m/h",
                  r.stands, r.pipes, r.footage, r.drill_hours, r.rop));
  return out;
}

std::vector<std::string> mud_lines(const Station::MudView& m) {
  std::vector<std::string> out;
  if (!m.pumps.empty()) {
    std::string line = "pumps:";
    for (const auto& p : m.pumps) {
      line += fmt::format(" {} {}", p.number, p.working ? "on" : "off");
      if (p.working) line += fmt::format(" {:.0f} spm", p.spm);
    }
    out.push_back(line + fmt::format("  flow in {:.0f} l/min", m.flow_lpm));
  }
  if (m.tanks.empty()) return out;
  out.push_back(
      fmt::format("tanks: active {:.2f} m³  total {:.2f} m³  pit {} {:+.2f} m³  trip {:.2f} m³",
                  m.active, m.whole, m.pit_gain < 0 ? "loss" : "gain", m.pit_gain, m.doliv));
  std::string line;
  for (std::size_t i = 0; i < m.tanks.size(); ++i) {
    const auto& t = m.tanks[i];
    std::string name = t.caption.empty() ? "tank " + std::to_string(t.number) : t.caption;
    std::string mark = t.doliv ? " trip" : (t.used ? "" : " off");
    std::string cell = pad(name, 12) + " " + pad(fmt::format("{:.2f} m", t.level), 8, true) + " " +
                       pad(fmt::format("{:.2f} m³", t.volume), 10, true) + mark;
    if (i % 2 == 0) {
      line = pad(cell, 38);
    } else {
      out.push_back(line + "  " + cell);
      line.clear();
    }
  }
  if (!line.empty()) {
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out.push_back(line);
  }
  return out;
}

std::string wits_state_text(const WitsServerView& s) {
  std::string text = "WITS " + s.name + ": " + s.status;
  if (!s.running) text += ", thread stopped (the watchdog restarts it)";
  text += s.last_record_age_s < 0 ? ", no record yet"
                                  : fmt::format(", last record {:.0f} s ago", s.last_record_age_s);
  return text;
}

LiveViewInput live_view_input(const Station& st, const std::vector<std::string>& created,
                              std::string time) {
  LiveViewInput in;
  in.time = std::move(time);
  in.source = st.source();
  in.rows = st.rows();
  in.registered = st.registered_values();
  for (const auto& line : created) in.notes.push_back("created " + line);
  for (const auto& note : st.settings_notes()) in.notes.push_back("settings: " + note);
  in.reopen_wait_ms = st.reopen_wait_ms();
  in.rig = st.rig();
  in.mud = st.mud();
  in.wits = st.wits_servers();
  return in;
}

std::vector<std::string> live_view_lines(const LiveViewInput& in, std::size_t columns,
                                         std::size_t lines) {
  std::vector<std::string> out;
  const auto add = [&](const std::string& line) { out.push_back(cut(line, columns)); };
  add("rigstation  " + in.time + "  tick " + std::to_string(in.source.ticks));
  // The alarms come first, and the rows in alarm lead the measurements: whatever the size of
  // the terminal, an alarm is on screen, on a row the height leaves out too.
  std::vector<const RowView*> rows;
  for (const RowView& r : in.rows)
    if (r.alarm) rows.push_back(&r);
  const std::size_t alarms = rows.size();
  for (const RowView& r : in.rows)
    if (!r.alarm) rows.push_back(&r);
  if (alarms > 0) {
    std::string line = "ALARM " + std::to_string(alarms) + ":";
    for (std::size_t i = 0; i < alarms; ++i) line += (i == 0 ? " " : ", ") + shown_name(*rows[i]);
    add(line);
    if (lines == 1) return {out.back()};
  }
  add(source_state_text(in.source, in.reopen_wait_ms));
  for (const WitsServerView& w : in.wits) add(wits_state_text(w));
  if (in.rig) {
    for (const std::string& line : rig_state_lines(*in.rig)) add(line);
  }
  for (const std::string& line : mud_lines(in.mud)) add(line);
  // Name 30, value 11, unit 9, raw 8, mark 6: 68 characters with the gaps.
  add(pad("parameter", 30) + " " + pad("value", 11, true) + " " + pad("unit", 9) + " " +
      pad("raw", 8, true) + " ");
  constexpr std::size_t kFooter = 1;
  const auto room = [&]() -> std::size_t {
    return out.size() + kFooter < lines ? lines - kFooter - out.size() : 0;
  };

  // The measurements come first; when even they do not fit, the last line says how many
  // were left out.
  const std::size_t row_room = room();
  const std::size_t shown_rows =
      rows.size() <= row_room ? rows.size() : (row_room > 0 ? row_room - 1 : 0);
  for (std::size_t i = 0; i < shown_rows; ++i) {
    const RowView& r = *rows[i];
    // A row whose conversion gives no number shows that, not its last sound value.
    const std::string value = r.valid ? fmt_value(r.value) : "not valid";
    // A row in alarm is marked at both ends, so it stands out however the screen is read.
    const std::string marks = std::string(r.alarm ? "ALARM" : "") +
                              (r.alarm && r.stale ? " " : "") + (r.stale ? "stale" : "");
    add((r.alarm ? "! " + pad(shown_name(r), 28) : pad(shown_name(r), 30)) + " " +
        pad(value, 11, true) + " " + pad(r.unit, 9) + " " +
        pad(r.has_raw ? fmt_value(r.raw) : "-", 8, true) + " " + marks);
  }
  if (shown_rows < rows.size())
    add("+" + std::to_string(rows.size() - shown_rows) + " more parameters");

  // Notes never take the line that counts the values left out.
  const std::size_t keep_for_count = in.registered.empty() ? 0 : 1;
  for (const auto& note : in.notes) {
    if (room() <= keep_for_count) break;
    add(note);
  }
  // Other values, as many as fit; a line is kept for the count of the rest.
  if (!in.registered.empty() && room() >= 2) {
    add("");
    const std::size_t left = room();
    const std::size_t shown =
        in.registered.size() <= left ? in.registered.size() : (left > 0 ? left - 1 : 0);
    for (std::size_t i = 0; i < shown; ++i) {
      const RowView& r = in.registered[i];
      add(pad(shown_name(r), 30) + " " + pad(fmt_value(r.value), 11, true) + " " + r.unit);
    }
    if (shown < in.registered.size())
      add("+" + std::to_string(in.registered.size() - shown) + " more values");
  } else if (!in.registered.empty() && room() == 1) {
    add("+" + std::to_string(in.registered.size()) + " more values");
  }
  if (out.size() < lines) add("Ctrl-C stops and saves the state.");
  if (out.size() > lines) out.resize(lines);
  return out;
}

}  // namespace station
