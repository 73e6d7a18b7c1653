// The station's sound slots: the alarm, the notifications, the port-search tuning, the depth
// mark and the message, each a configurable sound file played on the audio output. Some
// slots loop until stopped; while the alarm loops no other slot replaces it, so the crew
// cannot miss it under a notification.
//
// Thread safety: play_sound, stop_sound, get_sound_file and set_sound_file hold the sound's
// lock; play_file does not (it touches no slot).
#pragma once

#include <array>
#include <functional>
#include <mutex>
#include <set>
#include <string>

#include "lib/audio_output.h"
#include "lib/options.h"

namespace alarms {

enum SoundType : int {
  kSoundStop = 0,         // stops any sound
  kSoundAlarm = 1,        // loops
  kSoundNotify = 2,       // loops
  kSoundShortNotify = 3,  // once
  kSoundTuning = 4,       // loops; no option
  kSoundDepthLabel = 5,   // once
  kSoundMessage = 6,      // once
};
inline constexpr int kSoundSlots = 6;
inline constexpr const char* kSoundSection = "Sound";

class Sound : public lib::ini_options {
 public:
  using ErrorSink = std::function<void(const std::string&)>;
  // `folder` (the station home, with a trailing '/') is put before the default file names.
  Sound(std::string folder, lib::AudioOutput& audio, ErrorSink errors = nullptr);

  // Plays slot `type` (kSoundStop stops). Nothing happens while the alarm loops, unless the
  // call stops it. A slot outside 0..6 is ignored.
  void play_sound(int type);
  void stop_sound();
  // Plays the file once, leaving the slots alone. False when it could not be started.
  bool play_file(const std::string& path);

  // Empty for kSoundStop and for values outside 1..6.
  std::string get_sound_file(int type);
  // Values outside 1..6 are ignored.
  void set_sound_file(int type, std::string path);
  // The slot looping now; 0 when none.
  int looping();

  // The five options of section "Sound" (slot 4 has none).
  void get_options(lib::options_list& list) override;

 private:
  // Starts the file; a file that cannot be played is reported once until it plays again.
  bool start(const std::string& path, bool loop);

  std::mutex mutex_;
  std::string folder_;
  lib::AudioOutput& audio_;
  ErrorSink errors_;
  std::array<std::string, kSoundSlots + 1> files_;
  int looping_ = 0;
  std::mutex reported_mutex_;
  std::set<std::string> reported_;
};

}  // namespace alarms
