#include "station/wits_intake.h"

#include <algorithm>

#include "lib/date_time.h"
#include "lib/str_utils.h"
#include "station/station.h"
#include "wits/wits0_format.h"

namespace station {

void WitsIntake::open(const std::string& home, lib::FileSystem& fs, const lib::LogLimits& limits,
                      const wits::WITSReceiverOptions& options) {
  receiver_ = std::make_unique<wits::WITSReceiver>(home, clock_, fs);
  receiver_->set_log_limits(limits);
  receiver_->set_options(options);
  next_watchdog_ms_ = clock_.steady_ms() + receiver_->wd_interval_ms();
}

void WitsIntake::tick() {
  if (!receiver_ || receiver_->threads().empty()) return;
  const std::int64_t now = clock_.steady_ms();
  wits::WITSCommIncomData fresh;
  if (receiver_->read_data(fresh)) {
    for (auto& [server, records] : fresh.servers()) {
      auto& mine = reading_.servers()[server];
      auto& taken = record_ms_[server];
      for (auto& [number, record] : records) {
        mine[number] = std::move(record);
        taken[number] = now;
      }
    }
  }
  for (const auto& thread : receiver_->threads()) {
    if (const auto arrived = thread->last_record_ms()) {
      std::int64_t& newest = last_record_ms_[thread->options().name];
      newest = std::max(newest, *arrived);
    }
  }
  // Servers that are no longer listened to drop out of the reading.
  const auto gone = [this](const auto& entry) {
    for (const auto& thread : receiver_->threads())
      if (thread->options().name == entry.first) return false;
    return true;
  };
  std::erase_if(reading_.servers(), gone);
  std::erase_if(record_ms_, gone);
  if (receiver_->wd_timer_active() && now >= next_watchdog_ms_) {
    receiver_->on_wd_timer();
    next_watchdog_ms_ = now + receiver_->wd_interval_ms();
  }
}

double WitsIntake::item(const std::string& server, const std::string& code,
                        std::int64_t fresh_ms) const {
  int record = 0;
  int item = 0;
  if (!receiver_ || !wits::WITSCommIncomData::parse_code(code, record, item))
    return wits::kNotAvailable;
  const std::int64_t now_ms = clock_.steady_ms();
  for (const auto& [name, records] : reading_.servers()) {
    if (!server.empty() && name != server) continue;
    const bool connected = std::any_of(
        receiver_->threads().begin(), receiver_->threads().end(),
        // A structured binding cannot be captured by clang 14: the name goes in as a pointer.
        [server_name = &name](const auto& thread) {
          return thread->options().name == *server_name && thread->running() &&
                 thread->is_working() != wits::ZTSThreadStatus::kNotConnected;
        });
    if (!connected) continue;
    const auto r = records.find(record);
    if (r == records.end()) continue;
    const auto i = r->second.items.find(item);
    const auto taken = record_ms_.find(name);
    if (i == r->second.items.end() || taken == record_ms_.end()) continue;
    const auto at = taken->second.find(record);
    if (at == taken->second.end() || now_ms - at->second > fresh_ms) continue;
    return lib::str_to_float(i->second);
  }
  return wits::kNotAvailable;
}

std::vector<WitsServerView> WitsIntake::servers() const {
  std::vector<WitsServerView> out;
  if (!receiver_) return out;
  const std::int64_t now = clock_.steady_ms();
  for (const auto& thread : receiver_->threads()) {
    WitsServerView v;
    v.name = thread->options().name;
    v.status = wits::status_name(thread->is_working());
    v.running = thread->running();
    if (const auto it = last_record_ms_.find(v.name); it != last_record_ms_.end())
      v.last_record_age_s = static_cast<double>(now - it->second) / 1000.0;
    out.push_back(std::move(v));
  }
  return out;
}

void WitsIntake::terminate() {
  if (receiver_) receiver_->terminate();
}

}  // namespace station
