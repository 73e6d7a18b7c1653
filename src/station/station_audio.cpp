#include "station/station_audio.h"

#include <utility>

#include "lib/alsa_audio_output.h"

namespace station {

StationAudio::StationAudio(bool silent, const std::string& device, lib::FileSystem& fs) {
  if (!silent) {
    std::string why;
    output_ = lib::AlsaAudioOutput::open(
        device, fs, [this](const std::string& m) { report(m); }, &why);
    if (!output_) {
      note_ = "Sound : the sound device '" + device + "' cannot be opened (" + why +
              "); the station runs without sound, alarms are still shown on screen and "
              "switched to the relays";
    }
  }
  if (!output_) output_ = lib::make_silent_audio_output();
}

StationAudio::~StationAudio() {
  // The playing thread may report while it ends; nobody listens any more.
  detach();
  output_.reset();
}

void StationAudio::attach(Sink sink) {
  std::lock_guard guard(mutex_);
  sink_ = std::move(sink);
}

void StationAudio::detach() {
  std::lock_guard guard(mutex_);
  sink_ = nullptr;
}

void StationAudio::report(const std::string& message) {
  std::lock_guard guard(mutex_);
  if (sink_) sink_(message);
}

}  // namespace station
