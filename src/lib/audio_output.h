// The station's sound output as the rest of the code sees it: a tone of a given pitch and
// length, or a sound file played through. Callers that confirm something audibly (the port
// search beeps on each answer) take an AudioOutput& so tests can record what was asked for.
//
// Two outputs exist: the silent one below and the sound card (lib/alsa_audio_output.h).
// Implementations are called from the tick thread (asynchronous sounds) and the voice thread
// (synchronous words) at once: they serialise their own device access.
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
  // Starts a sound file and returns at once; with `loop` it repeats until stop(). It
  // replaces any asynchronous sound still playing. False when it could not be started; an
  // output without asynchronous sound (the base) starts none.
  virtual bool play_async(const std::string& path, bool loop);
  // Stops whatever plays: the asynchronous sound and a play_file in progress, which then
  // returns early.
  virtual void stop();
  // True while an asynchronous sound is still playing (a loop until stop()); false once it
  // has finished, was stopped, or never started.
  virtual bool async_playing() { return false; }
  // True for an output that plays nothing by design: its refusals are no fault to report.
  virtual bool silent() const { return false; }
  // True for an output that reports its own failures (naming the file or the device and
  // the cause), so its callers need not report them again.
  virtual bool reports_failures() const { return false; }
};

// Does nothing: tones are dropped and no file can be played.
class SilentAudioOutput : public AudioOutput {
 public:
  void beep(int frequency_hz, int duration_ms) override;
  bool play_file(const std::string& path) override;
  bool silent() const override { return true; }
};

std::unique_ptr<AudioOutput> make_silent_audio_output();

}  // namespace lib
