// The sound card as an AudioOutput: WAV files (and tones) played through an ALSA PCM device.
//
// One playing thread owns the device. It plays at most two sounds, one at a time: the
// asynchronous one (play_async, possibly looping) and a synchronous one (play_file, beep)
// that the caller waits for. A synchronous sound interrupts the asynchronous one, which
// resumes where it was once the synchronous one has ended, so a spoken word does not end the
// alarm loop. The device is opened while something plays and closed when nothing does, so
// the station does not hold the sound card while it is quiet.
//
// Files are read through the FileSystem seam and decoded whole into memory before they
// play (word and alarm files are short), so a missing or broken file is known before
// anything is asked of the device. Failures are results, each also told once to the error
// sink (a file until it plays again, the device until it opens again): a broken file or a
// busy device never stops the caller and never ends the thread.
//
// Thread safety: every public function may be called from any thread. play_file and beep
// block their caller until the sound has played, was stopped, or failed; sounds are played
// in chunks of kAudioChunkMs, so stop() takes effect within about two chunks.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "lib/audio_output.h"
#include "lib/file_system.h"

namespace lib {

// Decoded sound: interleaved signed 16-bit samples.
struct PcmSound {
  int rate = 0;
  int channels = 0;
  std::vector<std::int16_t> samples;
  std::size_t frames() const {
    return channels > 0 ? samples.size() / static_cast<std::size_t>(channels) : 0;
  }
};

// Decodes the bytes of a sound file (WAV and the other formats libsndfile reads). Nullopt
// and `why` when they are not a sound file or hold no sample.
std::optional<PcmSound> decode_sound(const std::string& bytes, std::string* why);

// A sine tone at 44.1 kHz, mono.
PcmSound make_tone(int frequency_hz, int duration_ms);

// The device the station plays on unless told otherwise.
inline constexpr const char* kDefaultSoundDevice = "default";
// ALSA's device that accepts sound and plays it nowhere: CI and tests play on it.
inline constexpr const char* kNullSoundDevice = "null";
// The length of one write to the device; the granularity of stop and interruption.
inline constexpr int kAudioChunkMs = 20;
// Sound files larger than this are refused rather than decoded into memory.
inline constexpr std::size_t kMaxSoundFileBytes = std::size_t{32} << 20;

class AlsaAudioOutput : public AudioOutput {
 public:
  using ErrorSink = std::function<void(const std::string&)>;

  // Opens `device` once to see that it can play, then starts the playing thread. Null, with
  // the reason in `why`, when the device cannot be opened (no sound card, busy, unknown).
  static std::unique_ptr<AlsaAudioOutput> open(const std::string& device, FileSystem& fs,
                                               ErrorSink errors, std::string* why);
  // Stops whatever plays and waits for the thread.
  ~AlsaAudioOutput() override;
  AlsaAudioOutput(const AlsaAudioOutput&) = delete;
  AlsaAudioOutput& operator=(const AlsaAudioOutput&) = delete;

  void beep(int frequency_hz, int duration_ms) override;
  bool play_file(const std::string& path) override;
  bool play_async(const std::string& path, bool loop) override;
  void stop() override;
  bool async_playing() override;
  bool reports_failures() const override { return static_cast<bool>(errors_); }

  const std::string& device() const { return device_; }
  // Asynchronous sounds played through to their end since the start; a loop counts each
  // pass.
  std::uint64_t async_passes();
  // Waits until no asynchronous sound plays or `timeout_ms` has passed; true when none
  // plays. For callers that must not go on before a sound has ended.
  bool wait_async_done(int timeout_ms);
  // Called on the playing thread after each chunk written to the device, outside the lock,
  // so a test can act at a known point of a sound. Set it before playing anything.
  void set_chunk_hook(std::function<void()> hook) { chunk_hook_ = std::move(hook); }
  // Waits until async_passes() reaches `passes` or `timeout_ms` has passed; true when it did.
  bool wait_async_passes(std::uint64_t passes, int timeout_ms);

 private:
  struct Job {
    std::shared_ptr<const PcmSound> sound;
    bool loop = false;
    std::size_t frame = 0;  // the next frame to play
    std::uint64_t id = 0;
  };
  enum class Outcome { kPending, kPlayed, kFailed, kStopped };

  AlsaAudioOutput(std::string device, FileSystem& fs, ErrorSink errors);
  std::shared_ptr<const PcmSound> load(const std::string& path);
  bool play_sync(std::shared_ptr<const PcmSound> sound);
  void report(const std::string& key, const std::string& message);
  void forget(const std::string& key);
  void run(std::stop_token stop);

  std::string device_;
  FileSystem& fs_;
  ErrorSink errors_;

  std::mutex mutex_;
  std::condition_variable_any wake_;
  std::optional<Job> async_;
  std::optional<Job> sync_;
  Outcome sync_outcome_ = Outcome::kPending;
  std::uint64_t next_id_ = 1;
  std::uint64_t async_passes_ = 0;
  std::set<std::string> reported_;
  std::function<void()> chunk_hook_;
  // One synchronous sound at a time: a second caller waits for the first.
  std::mutex sync_mutex_;
  std::jthread thread_;
};

}  // namespace lib
