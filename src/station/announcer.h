// What the station says and sounds besides the alarms, each tick:
//   - the name of the operation when it changes (recognised or forced), spoken while
//     "voice_operations" is on;
//   - the warnings of section "звуковое_предупреждение": the inlet pressure switched on
//     ("включение_давление") or off ("отключение_давления") and the bit set on the bottom
//     ("постановка_на_забой"), each as its setting says: 0 nothing, 1 a short signal, 2 a
//     long one, 3 spoken (while "voice_warns" is on; a short signal otherwise);
//   - the depth-mark sound each time the lag depth reaches the next multiple of
//     "пром_расч_врем_вых_метки" metres: the mud of that depth is at the surface, time for
//     its sample;
//   - the message sound when a new remark comes in.
// The first tick after a start, and a tick whose depths jumped (a new run, an operator's
// correction, a lag depth that moved more marks at once than mud brings up), only take note
// of the state: nothing that was already so is announced.
//
// Sounds and words go out through hooks, so the rules build and test without a hub. Not
// thread-safe: the station's tick owns it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace station {

// How a warning is given (the settings' values).
enum class WarnSignal : int { none = 0, short_signal = 1, long_signal = 2, voice = 3 };

struct AnnouncerSettings {
  bool voice_operations = true;
  bool voice_warns = true;
  int pressure_on = 0;       // WarnSignal
  int pressure_off = 0;      // WarnSignal
  int on_bottom = 0;         // WarnSignal
  double mark_interval = 1;  // m between depth marks; 0 or below: no depth-mark sound
};

// One tick's picture; NaN where a value is unknown.
struct AnnouncerInputs {
  std::int32_t operation = 0;  // the effective one
  double inlet_pressure = 0;   // atm
  double zero_pressure = 30;   // atm: above it the pressure is on
  bool bit_on_bottom = false;
  double lag_depth = 0;  // m
  int remarks = 0;       // how many the remarks journal holds
  // The depths jumped since the last tick (not the rig's own motion).
  bool depths_jumped = false;
};

class Announcer {
 public:
  // A long signal loops this many ticks, then stops.
  static constexpr int kLongSignalTicks = 5;
  // The lag depth passing more marks than this in one tick was set, not brought up by mud.
  static constexpr int kMarksPerTickAtMost = 10;

  struct Hooks {
    std::function<void(int slot)> play;  // a sound slot of alarms::SoundType
    // Stops the sound slot `slot` if it still loops.
    std::function<void(int slot)> stop_if_looping;
    std::function<void(const std::string& word)> speak_operation;
    std::function<void(const std::string& word)> speak_warning;
    // The word of an operation (its dictionary key); empty: not spoken.
    std::function<std::string(std::int32_t operation)> operation_word;
  };

  explicit Announcer(Hooks hooks) : hooks_(std::move(hooks)) {}
  void set_settings(const AnnouncerSettings& s) { settings_ = s; }
  const AnnouncerSettings& settings() const { return settings_; }

  void tick(const AnnouncerInputs& in);

 private:
  void warn(int signal, const char* word);
  void arm_marks(double lag_depth);

  Hooks hooks_;
  AnnouncerSettings settings_;
  bool started_ = false;
  std::int32_t operation_ = 0;
  int pressure_ = -1;  // -1 unknown, 0 off, 1 on
  bool on_bottom_ = false;
  double next_mark_ = 0;
  int remarks_ = 0;
  int long_signal_left_ = 0;
};

}  // namespace station
