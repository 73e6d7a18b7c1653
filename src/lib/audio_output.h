// The station's sound output as the rest of the code sees it: a tone of a given pitch and
// length, or a sound file played through. Callers that confirm something audibly (the port
// search beeps on each answer) take an AudioOutput& so tests can record what was asked for.
//
// Only the silent output exists so far; a real backend (tones and wave files on the sound
// card) arrives with the alarm sound work and plugs in behind this same interface.
#pragma once

#include <memory>
#include <string>

namespace lib {

class AudioOutput {
 public:
  virtual ~AudioOutput() = default;
  // Sounds a tone; returns once it has been played (or at once when there is no sound).
  virtual void beep(int frequency_hz, int duration_ms) = 0;
  // Plays a sound file to its end; false when it could not be played.
  virtual bool play_file(const std::string& path) = 0;
};

// Does nothing: tones are dropped and no file can be played.
class SilentAudioOutput : public AudioOutput {
 public:
  void beep(int frequency_hz, int duration_ms) override;
  bool play_file(const std::string& path) override;
};

std::unique_ptr<AudioOutput> make_silent_audio_output();

}  // namespace lib
