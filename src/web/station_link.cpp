#include "web/station_link.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <vector>

#include "core/system.h"
#include "journals/text_record.h"
#include "journals/text_storage.h"
#include "lib/date_time.h"
#include "web/json_text.h"
#include "web/tick_json.h"

namespace web {
namespace {

std::string date_time_text(std::uint32_t seconds) {
  return lib::format_date_time(lib::to_date_time(lib::LocalTime{seconds, 0}));
}

double seconds_of(const lib::LocalTime& now) {
  return static_cast<double>(now.seconds) + now.milliseconds / 1000.0;
}

TickData::Samples samples_of(const TickPicture& p) {
  TickData::Samples samples;
  samples.reserve(p.rows.size() + 5);
  for (std::size_t i = 0; i < p.rows.size() && i < p.labels->rows.size(); ++i)
    if (std::isfinite(p.rows[i].value)) samples.emplace_back(p.labels->rows[i].id, p.rows[i].value);
  const std::pair<const char*, double> rig[] = {{"rig.bottom", p.rig.bottom},
                                                {"rig.bit", p.rig.bit},
                                                {"rig.lag", p.rig.lag},
                                                {"rig.block", p.rig.block},
                                                {"mud.pit_gain", p.mud.pit_gain}};
  for (const auto& [name, value] : rig)
    if (std::isfinite(value)) samples.emplace_back(name, value);
  return samples;
}

}  // namespace

StationLink::StationLink(station::Station& station, reg::System& hub, WebServer& server)
    : station_(station), hub_(hub), server_(server) {
  server_.set_tick_source([this] { take_waiting_tick(); });
}

StationLink::~StationLink() {
  // Returns once a look under way has ended: the server never calls a link that is gone.
  server_.set_tick_source(nullptr);
}

std::shared_ptr<const TickPicture> StationLink::picture() const {
  std::lock_guard guard(station_mutex_);
  PictureOptions options;
  options.acknowledged = &acknowledged_;
  return std::make_shared<const TickPicture>(take_picture(station_, hub_, labels_, options));
}

nlohmann::json StationLink::snapshot() const {
  return web_json(*picture());
}

std::pair<int, std::string> StationLink::carry_out(const WriteRequest& w) {
  std::lock_guard guard(station_mutex_);
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

void StationLink::before_tick() {
  if (!ticking_.owns_lock()) ticking_.lock();
  // The server did not look since the last tick: its picture is taken before this one starts.
  if (waiting_) publish_tick();
}

void StationLink::after_tick() {
  if (!ticking_.owns_lock()) before_tick();
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
  const auto& current = station_.frame().alarms;
  std::erase_if(acknowledged_, [&](const std::string& text) {
    return std::find(current.begin(), current.end(), text) == current.end();
  });
  tick_time_ = lib::get_local_time(hub_.clock());
  waiting_ = true;
  ticking_.unlock();
}

void StationLink::take_waiting_tick() {
  std::unique_lock guard(station_mutex_, std::try_to_lock);
  if (guard.owns_lock() && waiting_) publish_tick();
}

void StationLink::publish_tick() {
  waiting_ = false;
  PictureOptions options;
  options.acknowledged = &acknowledged_;
  options.now = &tick_time_;
  auto p = std::make_shared<const TickPicture>(take_picture(station_, hub_, labels_, options));
  server_.publish(seconds_of(p->now),
                  TickTexts{p->table, [p] { return json_text(web_json(*p)); },
                            [p] { return web_brief_text(*p); }},
                  [p] { return samples_of(*p); });
}

}  // namespace web
