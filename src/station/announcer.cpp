#include "station/announcer.h"

#include <cmath>
#include <limits>

#include "alarms/sound.h"
#include "alarms/voice_build.h"

namespace station {

void Announcer::arm_marks(double lag_depth) {
  const double step = settings_.mark_interval;
  if (!(step > 0) || !std::isfinite(step) || !std::isfinite(lag_depth)) {
    next_mark_ = std::numeric_limits<double>::infinity();
    return;
  }
  next_mark_ = (std::floor(lag_depth / step + 1e-9) + 1) * step;
}

void Announcer::warn(int signal, const char* word) {
  switch (static_cast<WarnSignal>(signal)) {
    case WarnSignal::voice:
      if (settings_.voice_warns) {
        hooks_.speak_warning(word);
        return;
      }
      hooks_.play(alarms::kSoundShortNotify);
      return;
    case WarnSignal::short_signal:
      hooks_.play(alarms::kSoundShortNotify);
      return;
    case WarnSignal::long_signal:
      hooks_.play(alarms::kSoundNotify);
      long_signal_left_ = kLongSignalTicks;
      return;
    case WarnSignal::none:
      return;
  }
}

void Announcer::tick(const AnnouncerInputs& in) {
  if (long_signal_left_ > 0 && --long_signal_left_ == 0)
    hooks_.stop_if_looping(alarms::kSoundNotify);

  const int pressure = std::isnan(in.inlet_pressure) ? -1 : (in.inlet_pressure > in.zero_pressure);
  if (!started_ || in.depths_jumped) {
    if (!started_) {
      operation_ = in.operation;
      pressure_ = pressure;
      remarks_ = in.remarks;
    }
    on_bottom_ = in.bit_on_bottom;
    arm_marks(in.lag_depth);
    started_ = true;
    return;
  }

  if (in.operation != operation_) {
    operation_ = in.operation;
    const std::string word = hooks_.operation_word(in.operation);
    if (settings_.voice_operations && !word.empty()) hooks_.speak_operation(word);
  }
  // A pressure that is unknown tells nothing: the last known state stands.
  if (pressure >= 0) {
    if (pressure_ == 0 && pressure == 1) warn(settings_.pressure_on, alarms::kVoicePressureOn);
    if (pressure_ == 1 && pressure == 0) warn(settings_.pressure_off, alarms::kVoicePressureOff);
    pressure_ = pressure;
  }
  if (in.bit_on_bottom && !on_bottom_) warn(settings_.on_bottom, alarms::kVoiceOnBottom);
  on_bottom_ = in.bit_on_bottom;

  if (std::isfinite(in.lag_depth)) {
    // The lag depth moved back, or on by more marks in one tick than mud ever brings up (a
    // depth set anew): the marks start over from where it is, silently.
    const double step = settings_.mark_interval;
    if (step > 0 && (in.lag_depth < next_mark_ - step - 1e-9 ||
                     in.lag_depth >= next_mark_ + kMarksPerTickAtMost * step)) {
      arm_marks(in.lag_depth);
    } else if (in.lag_depth >= next_mark_ - 1e-9) {
      hooks_.play(alarms::kSoundDepthLabel);
      arm_marks(in.lag_depth);
    }
  }

  if (in.remarks > remarks_) hooks_.play(alarms::kSoundMessage);
  remarks_ = in.remarks;
}

}  // namespace station
