// alarm: the plug-ins' completed calculations, then the alarm pass of the tick (the
// count-down steps due on the clock, the pass, the voice), the alarm loop stopped once no
// alarm is current, the ended alarms written to the alarm log, and each row's alarm mark.
#include <mutex>

#include "alarms/alarm_log_file.h"
#include "alarms/min_max_log.h"
#include "alarms/sound.h"
#include "core/locks.h"
#include "lib/date_time.h"
#include "station/stages.h"
#include "storage/data_storage.h"

namespace station {

AlarmStage::AlarmStage(alarms::MinMaxLog& log, alarms::Sound& sound, lib::Clock& clock,
                       ds_tmp::DataStorage& ds, alarms::AlarmLogWriter* alarm_log,
                       std::function<void()> data_calc_completed)
    : log_(log),
      sound_(sound),
      clock_(clock),
      ds_(ds),
      alarm_log_(alarm_log),
      data_calc_completed_(std::move(data_calc_completed)) {}

void AlarmStage::run(TickFrame& frame) {
  data_calc_completed_();
  {
    std::lock_guard guard(sys_lock_obj());
    // One count-down step per second of the clock, whatever the tick rate; after a long
    // stall no more steps than would expire every item.
    const std::int64_t now_ms = clock_.steady_ms();
    if (last_timeout_ms_ < 0) last_timeout_ms_ = now_ms;
    for (int steps = 0; now_ms - last_timeout_ms_ >= 1000; ++steps) {
      if (steps > alarms::kAlarmCountdown) {
        last_timeout_ms_ = now_ms;
        break;
      }
      log_.process_timeout();
      last_timeout_ms_ += 1000;
    }
    log_.process();
    log_.process_voice();
    {
      std::lock_guard items_guard(log_.lock());
      frame.relay_mask = log_.relay_mask();
      frame.alarms = log_.current_texts();
    }
    if (frame.alarms.empty() && sound_.looping() == alarms::kSoundAlarm) sound_.stop_sound();
    if (alarm_log_) alarm_log_->flush();
  }
  ds_tmp::CrushFlags& flags = ds_.crush_flags();
  const int rows = static_cast<int>(frame.rows.size());
  FrameRow* row = frame.rows.data();
  for (int i = 0; i < rows; ++i) row[i].alarm = flags[i] != 0;
}

}  // namespace station
