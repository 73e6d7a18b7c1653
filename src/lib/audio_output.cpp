#include "lib/audio_output.h"

namespace lib {

bool AudioOutput::play_async(const std::string& /*path*/, bool /*loop*/) {
  return false;
}

void AudioOutput::stop() {}

void SilentAudioOutput::beep(int /*frequency_hz*/, int /*duration_ms*/) {}

bool SilentAudioOutput::play_file(const std::string& /*path*/) {
  return false;
}

std::unique_ptr<AudioOutput> make_silent_audio_output() {
  return std::make_unique<SilentAudioOutput>();
}

}  // namespace lib
