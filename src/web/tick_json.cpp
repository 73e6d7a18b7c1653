#include "web/tick_json.h"

#include <fmt/format.h>
#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <nlohmann/json.hpp>

#include "core/system.h"
#include "journals/text_record.h"
#include "journals/text_storage.h"
#include "lib/file_system.h"
#include "office/forward_status_format.h"
#include "params/par_tabl.h"
#include "storage/data_storage.h"
#include "web/json_text.h"
#include "web/web_format.h"
#include "wits/wits0_server.h"

namespace web {
namespace {

// A number as JSON; null when it is none (a NaN would make the text unreadable).
nlohmann::json number(double v) {
  return std::isfinite(v) ? nlohmann::json(v) : nlohmann::json(nullptr);
}

std::string date_time_text(std::uint32_t seconds) {
  return lib::format_date_time(lib::to_date_time(lib::LocalTime{seconds, 0}));
}

double seconds_of(const lib::LocalTime& now) {
  return static_cast<double>(now.seconds) + now.milliseconds / 1000.0;
}

// The office link as the forwarder last wrote it (office/forward_status_format.h); null when
// no forwarder ever ran on this home. A file the forwarder stopped rewriting long ago says
// it is not running.
nlohmann::json office_link(const std::string& home, std::int64_t now_seconds) {
  namespace fs = office::forward_status;
  const auto text = lib::read_whole_file(home + fs::kFileName, lib::posix_file_system(), 1 << 16);
  if (!text) return nullptr;
  const nlohmann::json s = nlohmann::json::parse(*text, nullptr, false);
  if (!s.is_object()) return {{"state", "unknown"}, {"error", "the status file does not read"}};
  const std::int64_t updated = s.value("updated", std::int64_t{0});
  const std::int64_t age = now_seconds - updated;
  nlohmann::json j = {{"state", s.value("state", "unknown")},
                      {"error", s.value("error", "")},
                      {"backlog_lines", s.value("backlog_lines", 0)},
                      {"backlog_seconds", s.value("backlog_seconds", 0.0)},
                      {"last_commit", s.value("last_commit", "")},
                      {"age_s", age}};
  if (j["state"] != "stopped" && age > fs::kStaleSeconds) j["state"] = "not running";
  return j;
}

nlohmann::json remarks_json(const text::Storage& storage) {
  auto records = storage.records();
  std::sort(records.begin(), records.end(),
            [](const text::Record& a, const text::Record& b) { return a.time < b.time; });
  nlohmann::json remarks = nlohmann::json::array();
  const std::size_t first = records.size() > kRemarksShown ? records.size() - kRemarksShown : 0;
  for (std::size_t i = first; i < records.size(); ++i)
    remarks.push_back({{"time", date_time_text(records[i].time)}, {"text", records[i].text}});
  return remarks;
}

}  // namespace

TickPicture take_picture(const station::Station& station, reg::System& hub,
                         std::shared_ptr<const TickLabels>& labels, const PictureOptions& options) {
  TickPicture p;
  p.now = options.now ? *options.now : lib::get_local_time(hub.clock());
  p.source = station.source();
  p.tick = p.source.ticks;
  p.reopen_wait_ms = station.reopen_wait_ms();
  const station::TickFrame& frame = station.frame();
  ds_tmp::DataStorage& ds = hub.data_storage();
  const auto& table = ds.par_tabl().rows();
  const std::size_t count = std::min(table.size(), static_cast<std::size_t>(ds_tmp::kSlots));
  // The names change only with the table: made again when the frame saw it change.
  if (!labels || labels->table_version != frame.table_version || labels->rows.size() != count) {
    auto fresh = std::make_shared<TickLabels>();
    fresh->table_version = frame.table_version;
    fresh->generation = labels ? labels->generation + 1 : 1;
    for (const station::RowView& r : station.rows())
      fresh->rows.push_back({r.identifier, r.name, r.unit});
    labels = std::move(fresh);
  }
  p.labels = labels;
  p.table = labels->generation;
  p.rows.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    TickPicture::Row& r = p.rows[i];
    r.value = ds[static_cast<int>(i)];
    if (i < frame.rows.size()) {
      const station::FrameRow& f = frame.rows[i];
      r.raw = f.raw;
      r.has_raw = f.has_raw;
      r.valid = f.valid;
      r.stale = f.stale();
      r.alarm = f.alarm;
    } else {
      // A row the last tick did not see yet (a table reloaded since) has no reading either.
      r.stale = table[i].channel.has_channel();
      r.alarm = ds.crush_flags()[static_cast<int>(i)] != 0;
    }
  }
  p.rig = station.rig();
  if (options.detail) {
    p.mud = station.mud();
    for (const station::RowView& r : station.registered_values())
      p.registered.emplace_back(r.identifier, r.value);
  }
  p.mud.pit_gain = frame.pit_gain;
  p.mud.active = frame.active_volume;
  p.mud.flow_lpm = frame.flow_lpm;
  p.recording = station.recording();
  p.wits = station.wits_servers();
  // The alarms as this tick's alarm pass left them, like every other number of the picture.
  p.relay_mask = frame.relay_mask;
  p.alarms.reserve(frame.alarms.size());
  for (const auto& text : frame.alarms) {
    const bool acked = options.acknowledged && options.acknowledged->count(text) > 0;
    p.alarms.emplace_back(text, acked);
  }
  if (const wits::Wits0Server* sender = station.wits_sender())
    p.wits_out =
        TickPicture::WitsOut{sender->port(), sender->client_count(), sender->dropped_count()};
  p.home = hub.get_exe_path();
  p.remarks = &hub.text_remarks();
  return p;
}

namespace {

// What the full and the brief documents share: all but the rows.
nlohmann::json tick_json(const TickPicture& p) {
  const auto& s = p.source;
  nlohmann::json j;
  j["t"] = seconds_of(p.now);
  j["time"] = lib::format_date_time(lib::to_date_time(p.now));
  j["tick"] = p.tick;
  j["table"] = p.table;
  j["source"] = {{"name", s.protocol_name},
                 {"port", s.port},
                 {"text", station::source_state_text(s, p.reopen_wait_ms)},
                 {"good", s.good_readings},
                 {"failures", s.failures},
                 {"stale", s.stale},
                 {"lost", s.lost}};
  const auto& rig = p.rig;
  j["rig"] = {{"bottom", number(rig.bottom)},
              {"bit", number(rig.bit)},
              {"lag", number(rig.lag)},
              {"block", number(rig.block)},
              {"operation",
               {{"code", rig.operation},
                {"name", rig.operation_name},
                {"colour", rig.operation_colour},
                {"forced", rig.forced}}},
              {"work_type", rig.work_type_name},
              {"stands", rig.stands},
              {"pipes", rig.pipes},
              {"race", rig.race},
              {"race_active", rig.race_active}};
  j["mud"] = {{"pit_gain", number(p.mud.pit_gain)},
              {"active_volume", number(p.mud.active)},
              {"flow_in_lpm", number(p.mud.flow_lpm)}};
  const auto& rec = p.recording;
  j["recording"] = {{"active", rec.active},
                    {"queue", rec.queue},
                    {"refused", rec.refused},
                    {"files", nlohmann::json::array()}};
  for (const auto* f : {&rec.time_file, &rec.depth_file, &rec.lag_file, &rec.fast_file})
    if (!f->empty()) j["recording"]["files"].push_back(*f);
  nlohmann::json wits = nlohmann::json::array();
  for (const auto& w : p.wits)
    wits.push_back({{"name", w.name}, {"text", station::wits_state_text(w)}});
  j["wits"] = std::move(wits);
  nlohmann::json alarms = nlohmann::json::array();
  for (const auto& [text, acked] : p.alarms)
    alarms.push_back({{"text", text}, {"acknowledged", acked}});
  j["alarms"] = std::move(alarms);
  j["remarks"] = p.remarks ? remarks_json(*p.remarks) : nlohmann::json::array();
  j["office"] = office_link(p.home, p.now.seconds);
  return j;
}

}  // namespace

nlohmann::json web_json(const TickPicture& p) {
  nlohmann::json j = tick_json(p);
  nlohmann::json rows = nlohmann::json::array();
  for (std::size_t i = 0; i < p.rows.size() && i < p.labels->rows.size(); ++i) {
    const auto& r = p.rows[i];
    const auto& l = p.labels->rows[i];
    rows.push_back({{"id", l.id},
                    {"name", l.name},
                    {"unit", l.unit},
                    {"value", number(r.value)},
                    {"valid", r.valid},
                    {"stale", r.stale},
                    {"alarm", r.alarm}});
  }
  j["rows"] = std::move(rows);
  return j;
}

std::string web_brief_text(const TickPicture& p) {
  std::string out = json_text(tick_json(p));
  out.pop_back();  // the closing brace: the rows' values and flags follow
  out.reserve(out.size() + p.rows.size() * 12 + 32);
  auto to = std::back_inserter(out);
  out += R"(,"values":[)";
  for (std::size_t i = 0; i < p.rows.size(); ++i) {
    if (i > 0) out += ',';
    const double v = p.rows[i].value;
    if (!std::isfinite(v)) {
      out += "null";
    } else if (std::fabs(v) <= std::numeric_limits<float>::max()) {
      // Single precision keeps what a screen shows and halves the message.
      fmt::format_to(to, "{}", static_cast<float>(v));
    } else {
      fmt::format_to(to, "{}", v);
    }
  }
  out += R"(],"flags":")";
  for (const auto& r : p.rows) {
    out += static_cast<char>('0' + ((r.valid ? format::kBriefValid : 0) |
                                    (r.stale ? format::kBriefStale : 0) |
                                    (r.alarm ? format::kBriefAlarm : 0)));
  }
  out += "\"}";
  return out;
}

nlohmann::json program_json(const TickPicture& p) {
  const auto& s = p.source;
  nlohmann::json j;
  j["time"] = lib::format_date_time(lib::to_date_time(p.now));
  j["tick"] = s.ticks;
  j["source"] = {
      {"protocol", s.protocol_id}, {"name", s.protocol_name}, {"port", s.port},
      {"good", s.good_readings},   {"failures", s.failures},  {"last_good_tick", s.last_good_tick},
      {"stale", s.stale},          {"lost", s.lost}};
  const auto& rig = p.rig;
  j["rig"] = {{"bottom", rig.bottom},
              {"bit", rig.bit},
              {"lag", rig.lag},
              {"block", rig.block},
              {"on_hook", rig.on_hook},
              {"operation",
               {{"code", rig.operation},
                {"name", rig.operation_name},
                {"class", rig.operation_class},
                {"colour", rig.operation_colour},
                {"forced", rig.forced}}},
              {"work_type", {{"code", rig.work_type}, {"name", rig.work_type_name}}},
              {"production_time", {{"code", rig.prod_time}, {"name", rig.prod_time_name}}},
              {"race",
               {{"number", rig.race},
                {"active", rig.race_active},
                {"footage", rig.footage},
                {"drill_hours", rig.drill_hours},
                {"rop", rig.rop}}},
              {"in_hole", {{"stands", rig.stands}, {"pipes", rig.pipes}}}};
  const auto& mud = p.mud;
  nlohmann::json pumps = nlohmann::json::array();
  for (const auto& pump : mud.pumps)
    pumps.push_back({{"number", pump.number}, {"on", pump.working}, {"spm", pump.spm}});
  nlohmann::json tanks = nlohmann::json::array();
  for (const auto& t : mud.tanks)
    tanks.push_back({{"number", t.number},
                     {"caption", t.caption},
                     {"level", t.level},
                     {"volume", t.volume},
                     {"active", t.used},
                     {"trip_tank", t.doliv}});
  j["mud"] = {{"pumps", pumps},
              {"flow_in_lpm", mud.flow_lpm},
              {"tanks", tanks},
              {"active_volume", mud.active},
              {"total_volume", mud.whole},
              {"trip_tank_volume", mud.doliv},
              {"pit_gain", mud.pit_gain}};
  for (std::size_t i = 0; i < p.rows.size() && i < p.labels->rows.size(); ++i) {
    const auto& r = p.rows[i];
    const auto& l = p.labels->rows[i];
    nlohmann::json row = {{"value", r.value}, {"unit", l.unit}, {"stale", r.stale}};
    if (r.has_raw) row["raw"] = r.raw;
    if (!r.valid) row["valid"] = false;
    row["alarm"] = r.alarm;
    j["values"][l.id] = row;
  }
  nlohmann::json current = nlohmann::json::array();
  for (const auto& alarm : p.alarms) current.push_back(alarm.first);
  j["alarms"] = {{"relay", p.relay_mask}, {"current", current}};
  for (const auto& [name, value] : p.registered) j["registered"][name] = value;
  // Only a station with WITS servers enabled has the key.
  for (const auto& w : p.wits) {
    nlohmann::json server = {{"name", w.name}, {"status", w.status}, {"running", w.running}};
    if (w.last_record_age_s >= 0) server["last_record_age_s"] = w.last_record_age_s;
    j["wits"].push_back(server);
  }
  // Only a station that publishes WITS has the key.
  if (p.wits_out)
    j["wits_out"] = {{"port", p.wits_out->port},
                     {"clients", p.wits_out->clients},
                     {"dropped", p.wits_out->dropped}};
  return j;
}

}  // namespace web
