// Where the station's sounds and words go: the sound card unless the operator turned sound
// off, and the silent output when the card cannot be opened (no sound card, busy, a device
// name that does not exist), with a note saying so. A station without sound still raises
// its alarms on screen and on the relays, so a missing card is reported, never fatal.
//
// The output is made before the hub (the hub plays on it) and its reports reach the hub's
// error log only between attach() and detach(): the output outlives the hub.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "lib/audio_output.h"
#include "lib/file_system.h"

namespace station {

class StationAudio {
 public:
  using Sink = std::function<void(const std::string&)>;

  // `silent`: sound turned off by the operator. `device`: an ALSA device name.
  StationAudio(bool silent, const std::string& device, lib::FileSystem& fs);
  ~StationAudio();
  StationAudio(const StationAudio&) = delete;
  StationAudio& operator=(const StationAudio&) = delete;

  lib::AudioOutput& output() { return *output_; }
  // True when sounds go to the sound card.
  bool playing_on_device() const { return !output_->silent(); }
  // Why the station is silent although sound was not turned off; empty otherwise.
  const std::string& note() const { return note_; }
  // Sends the output's later reports to `sink` (the error log) until detach().
  void attach(Sink sink);
  void detach();

 private:
  void report(const std::string& message);

  std::mutex mutex_;
  Sink sink_;
  std::string note_;
  std::unique_ptr<lib::AudioOutput> output_;
};

}  // namespace station
