#include "lib/alsa_audio_output.h"

#include <alsa/asoundlib.h>
#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <numbers>
#include <utility>

namespace lib {
namespace {

// What the device may hold ahead of the speaker: short, so a stop is heard at once.
constexpr unsigned kLatencyUs = 100000;
constexpr int kToneRate = 44100;
// More samples than any alarm or word file holds (about 6 minutes of stereo at 44.1 kHz);
// a damaged header announcing more is not believed.
constexpr std::size_t kMaxSamples = std::size_t{32} << 20;

struct MemoryFile {
  const std::string* bytes;
  sf_count_t pos = 0;
};

sf_count_t mem_length(void* user) {
  return static_cast<sf_count_t>(static_cast<MemoryFile*>(user)->bytes->size());
}

sf_count_t mem_seek(sf_count_t offset, int whence, void* user) {
  auto* f = static_cast<MemoryFile*>(user);
  const auto size = static_cast<sf_count_t>(f->bytes->size());
  sf_count_t to = offset;
  if (whence == SEEK_CUR) to = f->pos + offset;
  if (whence == SEEK_END) to = size + offset;
  f->pos = std::clamp<sf_count_t>(to, 0, size);
  return f->pos;
}

sf_count_t mem_read(void* ptr, sf_count_t count, void* user) {
  auto* f = static_cast<MemoryFile*>(user);
  const auto size = static_cast<sf_count_t>(f->bytes->size());
  const sf_count_t n = std::clamp<sf_count_t>(size - f->pos, 0, std::max<sf_count_t>(count, 0));
  std::memcpy(ptr, f->bytes->data() + f->pos, static_cast<std::size_t>(n));
  f->pos += n;
  return n;
}

sf_count_t mem_write(const void*, sf_count_t, void*) {
  return 0;
}

sf_count_t mem_tell(void* user) {
  return static_cast<MemoryFile*>(user)->pos;
}

// ALSA's own diagnostics go to stderr, over the station's screen; its failures reach the
// operator through our reports instead.
void quiet_alsa_errors(const char*, int, const char*, int, const char*, ...) {}

std::string alsa_text(int err) {
  return snd_strerror(err);
}

// Opens the device for playback without waiting for it to become free (a busy device is an
// error, not a stall), then makes writes blocking so they pace the playing thread.
int open_pcm(const std::string& device, snd_pcm_t** pcm) {
  int err = snd_pcm_open(pcm, device.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
  if (err < 0) return err;
  err = snd_pcm_nonblock(*pcm, 0);
  if (err < 0) {
    snd_pcm_close(*pcm);
    *pcm = nullptr;
  }
  return err;
}

}  // namespace

std::optional<PcmSound> decode_sound(const std::string& bytes, std::string* why) {
  SF_VIRTUAL_IO io{mem_length, mem_seek, mem_read, mem_write, mem_tell};
  MemoryFile file{&bytes};
  SF_INFO info{};
  SNDFILE* sf = sf_open_virtual(&io, SFM_READ, &info, &file);
  if (sf == nullptr) {
    if (why) *why = sf_strerror(nullptr);
    return std::nullopt;
  }
  PcmSound sound;
  sound.rate = info.samplerate;
  sound.channels = info.channels;
  if (sound.rate <= 0 || sound.channels <= 0 || sound.channels > 8) {
    sf_close(sf);
    if (why) {
      *why = "unusable format (" + std::to_string(info.channels) + " channels at " +
             std::to_string(info.samplerate) + " Hz)";
    }
    return std::nullopt;
  }
  // Read until the data ends rather than trust the frame count of the header.
  const auto channels = static_cast<std::size_t>(sound.channels);
  std::vector<std::int16_t> block(4096 * channels);
  while (sound.samples.size() <= kMaxSamples) {
    const sf_count_t got =
        sf_readf_short(sf, block.data(), static_cast<sf_count_t>(block.size() / channels));
    if (got <= 0) break;
    sound.samples.insert(
        sound.samples.end(), block.begin(),
        block.begin() + static_cast<std::ptrdiff_t>(got) * static_cast<std::ptrdiff_t>(channels));
  }
  sf_close(sf);
  if (sound.samples.size() > kMaxSamples) {
    if (why) *why = "longer than the " + std::to_string(kMaxSamples) + " samples a sound may hold";
    return std::nullopt;
  }
  if (sound.frames() == 0) {
    if (why) *why = "it holds no sound";
    return std::nullopt;
  }
  return sound;
}

PcmSound make_tone(int frequency_hz, int duration_ms) {
  PcmSound tone;
  tone.rate = kToneRate;
  tone.channels = 1;
  const auto frames = static_cast<std::size_t>(std::max(0, duration_ms)) *
                      static_cast<std::size_t>(kToneRate) / 1000;
  tone.samples.resize(frames);
  for (std::size_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / kToneRate;
    tone.samples[i] =
        static_cast<std::int16_t>(12000.0 * std::sin(2.0 * std::numbers::pi * frequency_hz * t));
  }
  return tone;
}

std::unique_ptr<AlsaAudioOutput> AlsaAudioOutput::open(const std::string& device, FileSystem& fs,
                                                       ErrorSink errors, std::string* why) {
  static std::once_flag quiet;
  std::call_once(quiet, [] { snd_lib_error_set_handler(quiet_alsa_errors); });
  snd_pcm_t* pcm = nullptr;
  const int err = open_pcm(device, &pcm);
  if (err < 0) {
    if (why) *why = alsa_text(err);
    return nullptr;
  }
  snd_pcm_close(pcm);
  return std::unique_ptr<AlsaAudioOutput>(new AlsaAudioOutput(device, fs, std::move(errors)));
}

AlsaAudioOutput::AlsaAudioOutput(std::string device, FileSystem& fs, ErrorSink errors)
    : device_(std::move(device)), fs_(fs), errors_(std::move(errors)) {
  thread_ = std::jthread([this](std::stop_token stop) { run(stop); });
}

AlsaAudioOutput::~AlsaAudioOutput() {
  // Refuse new words first, then release a caller already waiting for one.
  {
    std::lock_guard guard(mutex_);
    thread_.request_stop();
  }
  stop();
  if (thread_.joinable()) thread_.join();
}

void AlsaAudioOutput::report(const std::string& key, const std::string& message) {
  {
    std::lock_guard guard(mutex_);
    if (!reported_.insert(key).second) return;
  }
  if (errors_) errors_(message);
}

void AlsaAudioOutput::forget(const std::string& key) {
  std::lock_guard guard(mutex_);
  reported_.erase(key);
}

std::shared_ptr<const PcmSound> AlsaAudioOutput::load(const std::string& path) {
  const std::optional<std::string> bytes = read_whole_file(path, fs_, kMaxSoundFileBytes);
  if (!bytes) {
    const int err = errno;
    report(path, "Sound : the sound file '" + path + "' cannot be read (" +
                     read_failure_text(err, kMaxSoundFileBytes) + "); it is not played");
    return nullptr;
  }
  std::string why;
  std::optional<PcmSound> sound = decode_sound(*bytes, &why);
  if (!sound) {
    report(path, "Sound : the file '" + path + "' is not a playable sound file (" + why +
                     "); it is not played");
    return nullptr;
  }
  forget(path);
  return std::make_shared<const PcmSound>(std::move(*sound));
}

void AlsaAudioOutput::beep(int frequency_hz, int duration_ms) {
  if (duration_ms <= 0 || frequency_hz <= 0) return;
  play_sync(std::make_shared<const PcmSound>(make_tone(frequency_hz, duration_ms)));
}

bool AlsaAudioOutput::play_file(const std::string& path) {
  auto sound = load(path);
  return sound && play_sync(std::move(sound));
}

bool AlsaAudioOutput::play_sync(std::shared_ptr<const PcmSound> sound) {
  std::lock_guard one(sync_mutex_);
  std::unique_lock lock(mutex_);
  if (thread_.get_stop_token().stop_requested()) return false;
  sync_ = Job{std::move(sound), false, 0, next_id_++};
  sync_outcome_ = Outcome::kPending;
  wake_.notify_all();
  wake_.wait(lock, [this] { return sync_outcome_ != Outcome::kPending; });
  return sync_outcome_ == Outcome::kPlayed;
}

bool AlsaAudioOutput::play_async(const std::string& path, bool loop) {
  auto sound = load(path);
  if (!sound) return false;
  {
    std::lock_guard guard(mutex_);
    async_ = Job{std::move(sound), loop, 0, next_id_++};
  }
  wake_.notify_all();
  return true;
}

void AlsaAudioOutput::stop() {
  {
    std::lock_guard guard(mutex_);
    async_.reset();
    if (sync_) {
      sync_.reset();
      sync_outcome_ = Outcome::kStopped;
    }
  }
  wake_.notify_all();
}

bool AlsaAudioOutput::async_playing() {
  std::lock_guard guard(mutex_);
  return async_.has_value();
}

std::uint64_t AlsaAudioOutput::async_passes() {
  std::lock_guard guard(mutex_);
  return async_passes_;
}

bool AlsaAudioOutput::wait_async_done(int timeout_ms) {
  std::unique_lock lock(mutex_);
  return wake_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                        [this] { return !async_.has_value(); });
}

bool AlsaAudioOutput::wait_async_passes(std::uint64_t passes, int timeout_ms) {
  std::unique_lock lock(mutex_);
  return wake_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                        [this, passes] { return async_passes_ >= passes; });
}

void AlsaAudioOutput::run(std::stop_token stop) {
  snd_pcm_t* pcm = nullptr;
  int rate = 0;
  int channels = 0;
  auto close_pcm = [&](bool drain) {
    if (pcm == nullptr) return;
    if (drain) {
      snd_pcm_drain(pcm);
    } else {
      snd_pcm_drop(pcm);
    }
    snd_pcm_close(pcm);
    pcm = nullptr;
  };

  while (!stop.stop_requested()) {
    std::shared_ptr<const PcmSound> sound;
    std::size_t frame = 0;
    std::uint64_t id = 0;
    bool is_sync = false;
    {
      std::unique_lock lock(mutex_);
      if (!sync_ && !async_ && pcm != nullptr) {
        // Quiet now: let the sound card go until the next sound.
        lock.unlock();
        close_pcm(true);
        continue;
      }
      wake_.wait(lock, stop, [this] { return sync_.has_value() || async_.has_value(); });
      if (stop.stop_requested()) break;
      is_sync = sync_.has_value();
      const Job& job = is_sync ? *sync_ : *async_;
      sound = job.sound;
      frame = job.frame;
      id = job.id;
    }

    // Ends the job `id` unless it was stopped or replaced meanwhile.
    auto finish = [&](Outcome outcome) {
      {
        std::lock_guard guard(mutex_);
        if (is_sync && sync_ && sync_->id == id) {
          sync_.reset();
          sync_outcome_ = outcome;
        } else if (!is_sync && async_ && async_->id == id) {
          async_.reset();
          if (outcome == Outcome::kPlayed) ++async_passes_;
        }
      }
      wake_.notify_all();
    };

    if (pcm != nullptr && (rate != sound->rate || channels != sound->channels)) close_pcm(true);
    if (pcm == nullptr) {
      int err = open_pcm(device_, &pcm);
      if (err >= 0) {
        err = snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED,
                                 static_cast<unsigned>(sound->channels),
                                 static_cast<unsigned>(sound->rate), 1, kLatencyUs);
        if (err < 0) close_pcm(false);
      }
      if (err < 0) {
        report("device:" + device_,
               "Sound : the sound device '" + device_ + "' cannot play (" + alsa_text(err) +
                   "); the sound is dropped, alarms are still shown on screen and switched to "
                   "the relays");
        finish(Outcome::kFailed);
        continue;
      }
      forget("device:" + device_);
      rate = sound->rate;
      channels = sound->channels;
    }

    const std::size_t frames = sound->frames();
    const std::size_t chunk =
        std::max<std::size_t>(1, static_cast<std::size_t>(rate) * kAudioChunkMs / 1000);
    const std::size_t n = std::min(chunk, frames - frame);
    snd_pcm_sframes_t written =
        snd_pcm_writei(pcm, sound->samples.data() + frame * static_cast<std::size_t>(channels),
                       static_cast<snd_pcm_uframes_t>(n));
    if (written < 0) written = snd_pcm_recover(pcm, static_cast<int>(written), 1);
    if (written < 0) {
      report("device:" + device_, "Sound : writing to the sound device '" + device_ + "' failed (" +
                                      alsa_text(static_cast<int>(written)) +
                                      "); the sound is dropped");
      close_pcm(false);
      finish(Outcome::kFailed);
      continue;
    }

    if (chunk_hook_) chunk_hook_();
    bool stopped = false;
    bool ended = false;
    bool looped = false;
    {
      std::lock_guard guard(mutex_);
      Job* job = nullptr;
      if (is_sync && sync_ && sync_->id == id) job = &*sync_;
      if (!is_sync && async_ && async_->id == id) job = &*async_;
      if (job == nullptr) {
        stopped = !sync_.has_value() && !async_.has_value();
      } else {
        job->frame += static_cast<std::size_t>(written);
        if (job->frame >= frames) {
          if (job->loop) {
            job->frame = 0;
            ++async_passes_;
            looped = true;
          } else {
            ended = true;
          }
        }
      }
    }
    if (looped) wake_.notify_all();
    if (stopped) {
      // Stopped: cut what the device still holds instead of letting it play out.
      close_pcm(false);
    } else if (ended) {
      // Reported finished only once it has been heard.
      snd_pcm_drain(pcm);
      snd_pcm_prepare(pcm);
      finish(Outcome::kPlayed);
    }
  }
  close_pcm(false);
}

}  // namespace lib
