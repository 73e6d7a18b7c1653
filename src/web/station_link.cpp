#include "web/station_link.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>

#include "core/system.h"
#include "journals/text_record.h"
#include "journals/text_storage.h"
#include "lib/date_time.h"
#include "lib/file_system.h"
#include "office/forward_status_format.h"
#include "station/live_view.h"
#include "station/station.h"
#include "web/json_text.h"

namespace web {

namespace {

// A number as JSON; null when it is none (a NaN would make the text unreadable).
nlohmann::json number(double v) {
  return std::isfinite(v) ? nlohmann::json(v) : nlohmann::json(nullptr);
}

std::string date_time_text(std::uint32_t seconds) {
  return lib::format_date_time(lib::to_date_time(lib::LocalTime{seconds, 0}));
}

// The office link as the forwarder last wrote it (office/forward_status_format.h); null when
// no forwarder ever ran on this home. A file the forwarder stopped rewriting long ago says
// it is not running.
nlohmann::json office_link(const std::string& home, lib::Clock& clock) {
  namespace fs = office::forward_status;
  const auto text = lib::read_whole_file(home + fs::kFileName, lib::posix_file_system(), 1 << 16);
  if (!text) return nullptr;
  const nlohmann::json s = nlohmann::json::parse(*text, nullptr, false);
  if (!s.is_object()) return {{"state", "unknown"}, {"error", "the status file does not read"}};
  const std::int64_t updated = s.value("updated", std::int64_t{0});
  const std::int64_t age = lib::get_local_time(clock).seconds - updated;
  nlohmann::json j = {{"state", s.value("state", "unknown")},
                      {"error", s.value("error", "")},
                      {"backlog_lines", s.value("backlog_lines", 0)},
                      {"backlog_seconds", s.value("backlog_seconds", 0.0)},
                      {"last_commit", s.value("last_commit", "")},
                      {"age_s", age}};
  if (j["state"] != "stopped" && age > fs::kStaleSeconds) j["state"] = "not running";
  return j;
}

}  // namespace

StationLink::StationLink(station::Station& station, reg::System& hub, WebServer& server)
    : station_(station), hub_(hub), server_(server) {}

nlohmann::json StationLink::snapshot() const {
  const lib::LocalTime now = lib::get_local_time(hub_.clock());
  const auto& s = station_.source();
  nlohmann::json j;
  j["t"] = static_cast<double>(now.seconds) + now.milliseconds / 1000.0;
  j["time"] = lib::format_date_time(lib::to_date_time(now));
  j["tick"] = s.ticks;
  j["source"] = {{"name", s.protocol_name},
                 {"port", s.port},
                 {"text", station::source_state_text(s, station_.reopen_wait_ms())},
                 {"good", s.good_readings},
                 {"failures", s.failures},
                 {"stale", s.stale},
                 {"lost", s.lost}};
  nlohmann::json rows = nlohmann::json::array();
  for (const auto& r : station_.rows()) {
    rows.push_back({{"id", r.identifier},
                    {"name", r.name},
                    {"unit", r.unit},
                    {"value", number(r.value)},
                    {"valid", r.valid},
                    {"stale", r.stale},
                    {"alarm", r.alarm}});
  }
  j["rows"] = std::move(rows);
  const auto rig = station_.rig();
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
  const auto mud = station_.mud();
  j["mud"] = {{"pit_gain", number(mud.pit_gain)},
              {"active_volume", number(mud.active)},
              {"flow_in_lpm", number(mud.flow_lpm)}};
  const auto rec = station_.recording();
  j["recording"] = {{"active", rec.active},
                    {"queue", rec.queue},
                    {"refused", rec.refused},
                    {"files", nlohmann::json::array()}};
  for (const auto* f : {&rec.time_file, &rec.depth_file, &rec.lag_file, &rec.fast_file})
    if (!f->empty()) j["recording"]["files"].push_back(*f);
  nlohmann::json wits = nlohmann::json::array();
  for (const auto& w : station_.wits_servers())
    wits.push_back({{"name", w.name}, {"text", station::wits_state_text(w)}});
  j["wits"] = std::move(wits);
  nlohmann::json alarms = nlohmann::json::array();
  for (const auto& text : station_.alarms().current)
    alarms.push_back({{"text", text}, {"acknowledged", acknowledged_.count(text) > 0}});
  j["alarms"] = std::move(alarms);
  auto records = hub_.text_remarks().records();
  std::sort(records.begin(), records.end(),
            [](const text::Record& a, const text::Record& b) { return a.time < b.time; });
  nlohmann::json remarks = nlohmann::json::array();
  const std::size_t first = records.size() > kRemarksShown ? records.size() - kRemarksShown : 0;
  for (std::size_t i = first; i < records.size(); ++i)
    remarks.push_back({{"time", date_time_text(records[i].time)}, {"text", records[i].text}});
  j["remarks"] = std::move(remarks);
  j["office"] = office_link(hub_.get_exe_path(), hub_.clock());
  return j;
}

std::pair<int, std::string> StationLink::carry_out(const WriteRequest& w) {
  switch (w.kind) {
    case WriteRequest::Kind::command: {
      const std::string answer = station_.command(w.text);
      return {answer.starts_with("ok") ? 200 : 422, answer};
    }
    case WriteRequest::Kind::remark: {
      text::Record record;
      record.time = static_cast<std::uint32_t>(lib::get_local_time(hub_.clock()).seconds);
      record.text = w.text;
      // Remarks are identified by their second; a second remark within it goes to the next.
      const auto records = hub_.text_remarks().records();
      for (const auto& r : records)
        if (r.time >= record.time) record.time = r.time + 1;
      const int before = hub_.text_remarks().size();
      hub_.text_remarks().add_record(record);
      if (hub_.text_remarks().size() <= before) {
        return {500, "the remark could not be stored: see the error log"};
      }
      hub_.error_log().write("web: remark added: " + w.text);
      return {200, "remark added at " + date_time_text(record.time)};
    }
    case WriteRequest::Kind::ack: {
      const auto current = station_.alarms().current;
      std::vector<std::string> acked;
      for (const auto& text : current) {
        if ((w.text.empty() || w.text == text) && !acknowledged_.count(text)) {
          acknowledged_.insert(text);
          acked.push_back(text);
        }
      }
      if (acked.empty()) {
        const bool known =
            w.text.empty() || std::find(current.begin(), current.end(), w.text) != current.end();
        return known ? std::pair<int, std::string>{200, "already acknowledged"}
                     : std::pair<int, std::string>{404, "no such alarm is on now"};
      }
      for (const auto& text : acked) hub_.error_log().write("web: alarm acknowledged: " + text);
      return {200, std::to_string(acked.size()) + " alarm(s) acknowledged"};
    }
  }
  return {400, "unknown write"};
}

void StationLink::after_tick() {
  for (auto& w : server_.take_writes()) {
    std::pair<int, std::string> answer;
    try {
      answer = carry_out(w);
    } catch (const std::exception& e) {
      answer = {500, e.what()};
    }
    if (w.done) w.done(answer.first, answer.second);
  }
  // An alarm that ended is no longer acknowledged: the next one must be seen again.
  const auto current = station_.alarms().current;
  std::erase_if(acknowledged_, [&](const std::string& text) {
    return std::find(current.begin(), current.end(), text) == current.end();
  });
  TickData tick;
  const nlohmann::json j = snapshot();
  tick.t = j["t"].get<double>();
  for (const auto& r : j["rows"])
    if (r["value"].is_number())
      tick.samples.emplace_back(r["id"].get<std::string>(), r["value"].get<double>());
  for (const char* key : {"bottom", "bit", "lag", "block"})
    if (j["rig"][key].is_number())
      tick.samples.emplace_back(std::string("rig.") + key, j["rig"][key].get<double>());
  if (j["mud"]["pit_gain"].is_number())
    tick.samples.emplace_back("mud.pit_gain", j["mud"]["pit_gain"].get<double>());
  tick.json = json_text(j);
  server_.publish(std::move(tick));
}

}  // namespace web
