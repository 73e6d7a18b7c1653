#include "web/station_link.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <vector>

#include "core/system.h"
#include "journals/text_record.h"
#include "journals/text_storage.h"
#include "lib/date_time.h"
#include "lib/file_system.h"
#include "office/forward_status_format.h"
#include "params/par_tabl.h"
#include "station/live_view.h"
#include "station/station.h"
#include "storage/data_storage.h"
#include "web/json_text.h"

namespace web {

struct StationLink::Labels {
  std::uint64_t table_version = 0;
  struct Row {
    std::string id, name, unit;
  };
  std::vector<Row> rows;
};

// What the JSON and the history's samples are made of: copies taken on the station's thread,
// read on the server's.
struct StationLink::Picture {
  lib::LocalTime now;
  std::uint64_t tick = 0;
  station::SourceStatus source;
  std::int64_t reopen_wait_ms = 0;
  std::shared_ptr<const Labels> labels;
  struct Row {
    double value = 0;
    bool valid = true, stale = false, alarm = false;
  };
  std::vector<Row> rows;
  station::Station::RigView rig;
  double pit_gain = 0, active_volume = 0, flow_lpm = 0;
  station::RecordingView recording;
  std::vector<station::WitsServerView> wits;
  std::vector<std::pair<std::string, bool>> alarms;  // text, acknowledged
  std::string home;
  reg::System* hub = nullptr;  // for the remarks, whose journal any thread may read
};

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

double seconds_of(const lib::LocalTime& now) {
  return static_cast<double>(now.seconds) + now.milliseconds / 1000.0;
}

nlohmann::json json_of(const StationLink::Picture& p) {
  const auto& s = p.source;
  nlohmann::json j;
  j["t"] = seconds_of(p.now);
  j["time"] = lib::format_date_time(lib::to_date_time(p.now));
  j["tick"] = p.tick;
  j["source"] = {{"name", s.protocol_name},
                 {"port", s.port},
                 {"text", station::source_state_text(s, p.reopen_wait_ms)},
                 {"good", s.good_readings},
                 {"failures", s.failures},
                 {"stale", s.stale},
                 {"lost", s.lost}};
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
  j["mud"] = {{"pit_gain", number(p.pit_gain)},
              {"active_volume", number(p.active_volume)},
              {"flow_in_lpm", number(p.flow_lpm)}};
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
  auto records = p.hub->text_remarks().records();
  std::sort(records.begin(), records.end(),
            [](const text::Record& a, const text::Record& b) { return a.time < b.time; });
  nlohmann::json remarks = nlohmann::json::array();
  const std::size_t first = records.size() > kRemarksShown ? records.size() - kRemarksShown : 0;
  for (std::size_t i = first; i < records.size(); ++i)
    remarks.push_back({{"time", date_time_text(records[i].time)}, {"text", records[i].text}});
  j["remarks"] = std::move(remarks);
  j["office"] = office_link(p.home, p.now.seconds);
  return j;
}

TickData::Samples samples_of(const StationLink::Picture& p) {
  TickData::Samples samples;
  samples.reserve(p.rows.size() + 5);
  for (std::size_t i = 0; i < p.rows.size() && i < p.labels->rows.size(); ++i)
    if (std::isfinite(p.rows[i].value)) samples.emplace_back(p.labels->rows[i].id, p.rows[i].value);
  const std::pair<const char*, double> rig[] = {{"rig.bottom", p.rig.bottom},
                                                {"rig.bit", p.rig.bit},
                                                {"rig.lag", p.rig.lag},
                                                {"rig.block", p.rig.block},
                                                {"mud.pit_gain", p.pit_gain}};
  for (const auto& [name, value] : rig)
    if (std::isfinite(value)) samples.emplace_back(name, value);
  return samples;
}

}  // namespace

StationLink::StationLink(station::Station& station, reg::System& hub, WebServer& server)
    : station_(station), hub_(hub), server_(server) {}

StationLink::~StationLink() = default;

std::shared_ptr<const StationLink::Picture> StationLink::picture() const {
  auto p = std::make_shared<Picture>();
  p->now = lib::get_local_time(hub_.clock());
  p->source = station_.source();
  p->tick = p->source.ticks;
  p->reopen_wait_ms = station_.reopen_wait_ms();
  const station::TickFrame& frame = station_.frame();
  ds_tmp::DataStorage& ds = hub_.data_storage();
  const auto& table = ds.par_tabl().rows();
  const std::size_t count = std::min(table.size(), static_cast<std::size_t>(ds_tmp::kSlots));
  // The names change only with the table: made again when the frame saw it change.
  if (!labels_ || labels_->table_version != frame.table_version || labels_->rows.size() != count) {
    auto labels = std::make_shared<Labels>();
    labels->table_version = frame.table_version;
    for (const station::RowView& r : station_.rows())
      labels->rows.push_back({r.identifier, r.name, r.unit});
    labels_ = std::move(labels);
  }
  p->labels = labels_;
  p->rows.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    Picture::Row& r = p->rows[i];
    r.value = ds[static_cast<int>(i)];
    if (i < frame.rows.size()) {
      r.valid = frame.rows[i].valid;
      r.stale = frame.rows[i].stale();
      r.alarm = frame.rows[i].alarm;
    } else {
      r.stale = table[i].channel.has_channel();
    }
  }
  p->rig = station_.rig();
  p->pit_gain = frame.pit_gain;
  p->active_volume = frame.active_volume;
  p->flow_lpm = frame.flow_lpm;
  p->recording = station_.recording();
  p->wits = station_.wits_servers();
  for (auto& text : station_.alarms().current) {
    const bool acked = acknowledged_.count(text) > 0;
    p->alarms.emplace_back(std::move(text), acked);
  }
  p->home = hub_.get_exe_path();
  p->hub = &hub_;
  return p;
}

nlohmann::json StationLink::snapshot() const {
  return json_of(*picture());
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
  std::shared_ptr<const Picture> p = picture();
  server_.publish(
      seconds_of(p->now), [p] { return json_text(json_of(*p)); }, [p] { return samples_of(*p); });
}

}  // namespace web
