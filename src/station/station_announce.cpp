// The station's announcements besides the alarms (station/announcer.h), wired to the hub's
// sound slots, voice and settings.
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "alarms/sound.h"
#include "alarms/voice_thread.h"
#include "calc/operations.h"
#include "core/config.h"
#include "core/error_log.h"
#include "core/system.h"
#include "journals/text_storage.h"
#include "params/global_nums.h"
#include "station/station.h"
#include "storage/data_storage.h"

namespace station {

void Station::make_announcer() {
  Announcer::Hooks hooks;
  hooks.play = [this](int slot) { sound_.play_sound(slot); };
  hooks.stop_if_looping = [this](int slot) {
    if (sound_.looping() == slot) sound_.stop_sound();
  };
  // A phrase whose word file is missing is not spoken at all (`rigstation voice build`).
  hooks.speak_operation = [this](const std::string& word) {
    voice_.process_operations({word}, true);
  };
  hooks.speak_warning = [this](const std::string& word) {
    voice_.process_notification(word, true);
  };
  hooks.operation_word = [this](std::int32_t op) { return operations_.get_key(op); };
  announcer_ = std::make_unique<Announcer>(std::move(hooks));
  const reg::Config& c = config_;
  AnnouncerSettings s;
  s.voice_operations = c.sound.voice_operations;
  s.voice_warns = c.sound.voice_warns;
  // A warning setting outside its four choices gives no warning, and says so.
  const auto signal = [this](int value, const char* key) {
    if (value >= 0 && value <= static_cast<int>(WarnSignal::voice)) return value;
    const std::string note = std::string("sound: [звуковое_предупреждение] ") + key + " = " +
                             std::to_string(value) +
                             " is not 0 (none), 1 (short), 2 (long) or 3 (voice); that warning "
                             "is not given until the setting is corrected";
    log_.write(note);
    notes_.push_back(note);
    return static_cast<int>(WarnSignal::none);
  };
  s.pressure_on = signal(c.sound.pressure_on, "включение_давление");
  s.pressure_off = signal(c.sound.pressure_off, "отключение_давления");
  s.on_bottom = signal(c.sound.on_bottom, "постановка_на_забой");
  s.mark_interval = c.lag.mark_time_interval;
  announcer_->set_settings(s);
}

void Station::announce(const TickFrame& frame) {
  if (!announcer_ || !rig_) return;
  AnnouncerInputs in;
  in.operation = frame.operation;
  const int pressure_row = nums_[reg::GlobalNums::kDavlenieNaVhode];
  in.inlet_pressure = frame.current(pressure_row)
                          ? static_cast<double>(ds_.current_values()[pressure_row])
                          : std::numeric_limits<double>::quiet_NaN();
  in.zero_pressure = config_.recognition.zero_pressure;
  const Depths& d = rig_->depths();
  in.bit_on_bottom = d.bottom - d.bit <= rig_->settings().recognition.on_bottom;
  in.lag_depth = ds_.delayed_depth().get_value();
  // A remark written by another program is seen here too.
  remarks_.check_file_changes();
  in.remarks = remarks_.size();
  in.depths_jumped = std::exchange(depths_jumped_, false);
  announcer_->tick(in);
}

}  // namespace station
