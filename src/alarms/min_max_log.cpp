#include "alarms/min_max_log.h"

#include <charconv>
#include <cmath>
#include <utility>

#include "alarms/threshold_line_format.h"
#include "lib/binary_stream.h"
#include "lib/ident.h"
#include "lib/str_utils.h"
#include "registry/values.h"
#include "storage/data_storage.h"

namespace alarms {

// ---- MinMaxLogItem ---------------------------------------------------------------------------

MinMaxLogItem::MinMaxLogItem(const MinMaxValue& threshold, float value, lib::DateTime now,
                             std::string param_name, std::string param_unit)
    : threshold_(threshold.clone()),
      started_(now),
      last_seen_(now),
      extreme_(value),
      param_name_(std::move(param_name)),
      param_unit_(std::move(param_unit)),
      value_(value) {}

bool MinMaxLogItem::update_value(float value, lib::DateTime now) {
  last_seen_ = now;
  value_ = value;
  const MinMaxValue& t = *threshold_;
  if (t.has_max() && value > t.get_max()) {
    active_ = true;
    if (extreme_ > t.get_max() && value >= extreme_) extreme_ = value;
  } else if (t.has_min() && value < t.get_min()) {
    active_ = true;
    if (extreme_ < t.get_min() && value <= extreme_) extreme_ = value;
  }
  return active_;
}

void MinMaxLogItem::restore(lib::DateTime started, lib::DateTime last_seen, float extreme,
                            float value, bool active, std::int32_t countdown, bool voiced) {
  started_ = started;
  last_seen_ = last_seen;
  extreme_ = extreme;
  value_ = value;
  active_ = active;
  countdown_ = countdown;
  voiced_ = voiced;
}

void MinMaxLogItem::get_voice(std::vector<std::string>& words) {
  if (!active_ || voiced_) return;
  words.emplace_back(kVoiceAlarm);
  const MinMaxValue& t = *threshold_;
  if (!t.get_param().empty()) {
    words.emplace_back(kVoiceParam);
    words.push_back(t.get_param());
    if (value_ < t.get_min()) {
      words.emplace_back(kVoiceIsLower);
    } else if (value_ > t.get_max()) {
      words.emplace_back(kVoiceIsHigher);
    }
    words.emplace_back(kVoiceSilence);
  }
  voiced_ = true;
}

std::string MinMaxLogItem::get_text(const std::string& name, const std::string& unit) const {
  const MinMaxValue& t = *threshold_;
  const std::string base = "Параметр ''" + name + "'' = " + float32_to_str(value_) + " " + unit;
  std::string deviation;
  if (value_ < t.get_min()) {
    deviation = "падение на " + float32_to_str(t.get_min() - value_) + unit;
  } else if (value_ > t.get_max()) {
    deviation = "превышение на " + float32_to_str(value_ - t.get_max()) + unit;
  }
  switch (t.get_kind()) {
    case kKindRelay: {
      const auto* relay = dynamic_cast<const MinMaxRelayValue*>(&t);
      const int channel = relay ? relay->get_relay_channel() : kNoRelayChannel;
      return base + " (реле №" + std::to_string(channel) + ") !";
    }
    case kKindSms:
      return base + " (СМС) !";
    case kKindDepthInterval:
      return base + " (" + deviation + ")";
    default:
      return base + " !";
  }
}

// ---- MinMaxLogBase ---------------------------------------------------------------------------

int MinMaxLogBase::process_timeout() {
  std::lock_guard guard(mutex_);
  if (items_.empty()) return -1;
  int expired = 0;
  for (auto& item : items_) {
    const std::int32_t next = item->countdown() - 1;
    if (next < 0) {
      item->set_countdown(-1);
      ++expired;
    } else {
      item->set_countdown(next);
    }
  }
  return expired;
}

bool MinMaxLogBase::check_current() {
  std::lock_guard guard(mutex_);
  for (const auto& item : items_) {
    if (item->countdown() >= 0) return true;
  }
  return false;
}

void MinMaxLogBase::add_item_to_log(MinMaxLogItem& item) {
  item.row = -1;
  item.log_row = -1;
  on_alarm_logged(item);
}

void MinMaxLogBase::clear() {
  std::lock_guard guard(mutex_);
  items_.clear();
}

std::vector<std::string> MinMaxLogBase::current_texts() {
  std::lock_guard guard(mutex_);
  std::vector<std::string> texts;
  texts.reserve(items_.size());
  for (const auto& item : items_)
    texts.push_back(item->get_text(item->param_name(), item->param_unit()));
  return texts;
}

// ---- MinMaxLog -------------------------------------------------------------------------------

MinMaxLog::MinMaxLog(MinMaxLogServices services, lib::Clock& clock)
    : lib::SerialModuleBase("MinMaxLog", kStateVersion),
      services_(std::move(services)),
      clock_(clock) {}

void MinMaxLog::serial_fields(lib::serial_list& list, unsigned /*version*/) {
  std::lock_guard guard(mutex_);
  if (!list.reading()) {
    lib::io::OutputStream& out = *list.output();
    lib::io::write_binary(out, static_cast<std::uint32_t>(items_.size()));
    for (const auto& item : items_) {
      lib::io::write_binary(out, item->threshold().get_ini_line());
      lib::io::write_binary(out, item->param_name());
      lib::io::write_binary(out, item->param_unit());
      lib::io::write_binary(out, item->started());
      lib::io::write_binary(out, item->last_seen());
      lib::io::write_binary(out, item->extreme());
      lib::io::write_binary(out, item->value());
      lib::io::write_binary(out, item->active());
      lib::io::write_binary(out, item->countdown());
      lib::io::write_binary(out, item->voiced());
    }
    return;
  }
  // Read whole before anything is replaced: a block that fails midway leaves the current
  // items as they were.
  lib::io::InputStream& in = *list.input();
  std::uint32_t n = 0;
  lib::io::read_binary(in, n);
  if (n > in.remaining())
    throw lib::io::StreamError(std::to_string(n) + " alarm items do not fit the data left");
  Items read;
  for (std::uint32_t i = 0; i < n; ++i) {
    const std::string where = "alarm item " + std::to_string(i + 1) + ": ";
    std::string line, name, unit;
    lib::DateTime started{}, last_seen{};
    float extreme = 0, value = 0;
    bool active = false, voiced = false;
    std::int32_t countdown = 0;
    lib::io::read_binary(in, line);
    lib::io::read_binary(in, name);
    lib::io::read_binary(in, unit);
    lib::io::read_binary(in, started);
    lib::io::read_binary(in, last_seen);
    lib::io::read_binary(in, extreme);
    lib::io::read_binary(in, value);
    lib::io::read_binary(in, active);
    lib::io::read_binary(in, countdown);
    lib::io::read_binary(in, voiced);
    std::unique_ptr<MinMaxValue> threshold =
        MinMaxValues::from_current_line(kCurrentLineVersion, line, nullptr);
    if (!threshold)
      throw lib::io::StreamError(where + "its threshold '" + line + "' names no kind");
    if (name.empty()) throw lib::io::StreamError(where + "no parameter name");
    if (countdown < -1 || countdown > kAlarmCountdown) {
      throw lib::io::StreamError(where + "count-down " + std::to_string(countdown) +
                                 " outside -1.." + std::to_string(kAlarmCountdown));
    }
    if (!std::isfinite(started.days) || !std::isfinite(last_seen.days))
      throw lib::io::StreamError(where + "its times are not numbers");
    auto item = std::make_unique<MinMaxLogItem>(*threshold, value, started, std::move(name),
                                                std::move(unit));
    item->restore(started, last_seen, extreme, value, active, countdown, voiced);
    read.push_back(std::move(item));
  }
  items_ = std::move(read);
}

lib::DateTime MinMaxLog::now() const {
  if (pass_now_) return *pass_now_;
  return lib::now(clock_);
}

int MinMaxLog::row_of(const std::string& name) {
  // Every pass asks for the same names; searching the whole table for each, found or not,
  // was most of the pass. A found row is kept while it still carries the same identifier,
  // compared again only when the table's revision moved; every answer (a missing row too) is
  // dropped when the table's rows were replaced.
  const params::ParTabl& table = services_.storage->par_tabl();
  const auto& rows = table.rows();
  if (rows.data() != cached_rows_ || rows.size() != cached_size_) {
    row_cache_.clear();
    cached_rows_ = rows.data();
    cached_size_ = rows.size();
  }
  if (const auto it = row_cache_.find(name); it != row_cache_.end()) {
    FoundRow& found = it->second;
    if (found.row < 0) return -1;
    if (found.revision == table.revision()) return found.row;
    if (static_cast<std::size_t>(found.row) < rows.size() &&
        rows[static_cast<std::size_t>(found.row)].identifier == found.identifier) {
      found.revision = table.revision();
      return found.row;
    }
  }
  const int row = table.find_global(name);
  row_cache_[name] = {row, row < 0 ? std::string() : rows[static_cast<std::size_t>(row)].identifier,
                      table.revision()};
  return row;
}

bool MinMaxLog::process() {
  std::lock_guard guard(mutex_);
  ds_tmp::DataStorage& ds = *services_.storage;
  bool result = false;

  ds.crush_flags().clear();
  pass_now_.reset();
  const lib::DateTime t_now = now();
  pass_now_ = t_now;
  for (auto& item : items_) {
    item->set_active(false);
    item->set_last_seen(t_now);
  }

  const int op = ds.get_operation();
  const bool relays_on = services_.use_pult_relay && services_.use_pult_relay();
  const auto depth = static_cast<float>(ds.depth_z());
  if (services_.thresholds != nullptr) {
    for (const auto& threshold : services_.thresholds->items()) {
      const int t = row_of(threshold->get_param());
      if (t < 0) continue;
      const auto v = static_cast<float>(ds[t]);
      bool fired = threshold->check(v, depth, op);
      if (threshold->get_kind() == kKindRelay) fired = fired && relays_on;
      if (!fired) continue;
      result = true;
      add_or_update_curr_item(threshold->get_param(), *threshold, v);
      ds.crush_flags()[t] = 1;
    }
  }

  // An episode not refreshed by this pass survives only until its first count-down step.
  for (auto& item : items_) {
    if (!item->active()) {
      item->set_active(item->countdown() >= kAlarmCountdown);
      result = true;
    }
  }

  std::uint32_t mask = 0;
  for (auto it = items_.begin(); it != items_.end();) {
    MinMaxLogItem& item = **it;
    if (!item.active()) {
      add_item_to_log(item);
      it = items_.erase(it);
      continue;
    }
    if (item.threshold().get_kind() == kKindRelay) {
      const auto* relay = dynamic_cast<const MinMaxRelayValue*>(&item.threshold());
      const int channel = relay ? relay->get_relay_channel() : kNoRelayChannel;
      if (channel >= 1 && channel <= kMaxRelayChannel) {
        mask |= std::uint32_t{1} << (channel - 1);
      } else if (bad_channels_.insert(channel).second && services_.error_log) {
        // Once per relay number, not on every pass the alarm lasts.
        services_.error_log(
            "MinMaxLog::process : the relay threshold of '" + item.threshold().get_param() +
            "' names relay " + std::to_string(channel) + ", outside 1.." +
            std::to_string(kMaxRelayChannel) + "; the alarm is raised without switching a relay");
      }
    }
    ++it;
  }
  if (relays_on) update_relays(mask);
  pass_now_.reset();
  return result;
}

std::uint32_t MinMaxLog::read_relay_variable() {
  const std::string text = services_.values->get_variable(kRelayVariable);
  if (text.empty()) return 0;
  long long value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec == std::errc() && end == text.data() + text.size() && value >= 0 &&
      value <= static_cast<long long>(UINT32_MAX)) {
    last_relay_problem_.clear();
    return static_cast<std::uint32_t>(value);
  }
  // Reported once per distinct bad text, not on every pass.
  if (text != last_relay_problem_ && services_.error_log) {
    services_.error_log("MinMaxLog::process : the variable '" + std::string(kRelayVariable) +
                        "' holds '" + text +
                        "', not a relay mask; it is taken as 0 (every relay off) and "
                        "rewritten with the mask of this pass");
  }
  last_relay_problem_ = text;
  return 0;
}

void MinMaxLog::update_relays(std::uint32_t mask) {
  relay_mask_ = mask;
  if (services_.values == nullptr) return;
  const std::uint32_t before = read_relay_variable();
  for (int relay = 1; relay <= kLoggedRelays; ++relay) {
    const std::uint32_t bit = std::uint32_t{1} << (relay - 1);
    const bool now_on = (mask & bit) != 0;
    const bool was_on = (before & bit) != 0;
    if (now_on == was_on || !services_.event_log) continue;
    services_.event_log(" Реле №" + std::to_string(relay) +
                        (now_on ? " АКТИВИРОВАНО" : " ДЕАКТИВИРОВАНО"));
  }
  services_.values->set_variable(kRelayVariable, std::to_string(mask));
}

void MinMaxLog::add_or_update_curr_item(const std::string& name, const MinMaxValue& threshold,
                                        float value) {
  std::lock_guard guard(mutex_);
  const lib::DateTime t_now = now();
  bool updated = false;
  for (auto& item : items_) {
    const MinMaxValue& t = item->threshold();
    if (t.get_param() != name || t.get_kind() != threshold.get_kind() ||
        t.get_max() != threshold.get_max() || t.get_min() != threshold.get_min()) {
      continue;
    }
    updated = item->update_value(value, t_now);
  }
  if (updated) return;
  std::string param_name = name;
  std::string unit;
  if (services_.storage != nullptr) {
    const params::ParTabl& table = services_.storage->par_tabl();
    const int row = table.find_global(name);
    if (row >= 0) {
      const params::Param& p = table.rows()[static_cast<std::size_t>(row)];
      if (!p.full_name.empty()) param_name = p.full_name;
      unit = p.unit;
    }
  }
  items_.push_back(
      std::make_unique<MinMaxLogItem>(threshold, value, t_now, std::move(param_name), unit));
  on_alarm_started(*items_.back());
}

bool MinMaxLog::get_current_text(std::string& text) {
  std::lock_guard guard(mutex_);
  for (const auto& item : items_) {
    std::string name = item->param_name();
    std::string unit = item->param_unit();
    if (services_.storage != nullptr) {
      const params::ParTabl& table = services_.storage->par_tabl();
      const int row = table.find_global(item->threshold().get_param());
      if (row >= 0) {
        const params::Param& p = table.rows()[static_cast<std::size_t>(row)];
        if (!p.full_name.empty()) name = p.full_name;
        unit = p.unit;
      }
    }
    text += "\n   " + item->get_text(name, unit);
  }
  return !items_.empty();
}

void MinMaxLog::process_voice() {
  std::lock_guard guard(mutex_);
  std::vector<std::string> words;
  for (auto& item : items_) {
    words.clear();
    item->get_voice(words);
    if (!words.empty() && services_.voice_alarms) services_.voice_alarms(words);
  }
}

}  // namespace alarms
