// The sound card output played for real on ALSA's "null" device, which accepts sound
// without any sound card, so these run headless in CI. The WAV files are written here byte
// by byte, independently of the decoder under test.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <future>
#include <mutex>

#include "lib/alsa_audio_output.h"
#include "lib/file_system.h"
#include "support/fakes.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::SizeIs;
using testing_support::TempDir;

namespace {

// Generous bounds: a loaded CI machine under the sanitizers is slow, a correct player ends
// well within them.
constexpr int kWaitMs = 20000;

void put_u32(std::string& s, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}
void put_u16(std::string& s, std::uint16_t v) {
  s.push_back(static_cast<char>(v & 0xff));
  s.push_back(static_cast<char>(v >> 8));
}

// A canonical 16-bit PCM WAV file holding `samples` (interleaved).
std::string wav_bytes(int rate, int channels, const std::vector<std::int16_t>& samples) {
  std::string data;
  for (std::int16_t v : samples) put_u16(data, static_cast<std::uint16_t>(v));
  std::string s = "RIFF";
  put_u32(s, static_cast<std::uint32_t>(36 + data.size()));
  s += "WAVEfmt ";
  put_u32(s, 16);
  put_u16(s, 1);  // PCM
  put_u16(s, static_cast<std::uint16_t>(channels));
  put_u32(s, static_cast<std::uint32_t>(rate));
  put_u32(s, static_cast<std::uint32_t>(rate * channels * 2));
  put_u16(s, static_cast<std::uint16_t>(channels * 2));
  put_u16(s, 16);
  s += "data";
  put_u32(s, static_cast<std::uint32_t>(data.size()));
  return s + data;
}

// `ms` of a rising ramp, mono.
std::vector<std::int16_t> ramp(int rate, int ms) {
  std::vector<std::int16_t> v(static_cast<std::size_t>(rate * ms / 1000));
  for (std::size_t i = 0; i < v.size(); ++i) v[i] = static_cast<std::int16_t>((i * 37) % 20000);
  return v;
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

struct Errors {
  std::mutex mutex;
  std::vector<std::string> lines;
  lib::AlsaAudioOutput::ErrorSink sink() {
    return [this](const std::string& m) {
      std::lock_guard guard(mutex);
      lines.push_back(m);
    };
  }
  std::vector<std::string> take() {
    std::lock_guard guard(mutex);
    return std::exchange(lines, {});
  }
};

class AlsaNull : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    audio_ = lib::AlsaAudioOutput::open(lib::kNullSoundDevice, lib::posix_file_system(),
                                        errors_.sink(), &why);
    ASSERT_NE(audio_, nullptr) << "ALSA's null device cannot be opened: " << why;
    beep_ = dir_.path() + "/beep.wav";
    write_file(beep_, wav_bytes(8000, 1, ramp(8000, 200)));
  }
  TempDir dir_;
  Errors errors_;
  std::unique_ptr<lib::AlsaAudioOutput> audio_;
  std::string beep_;
};

TEST(DecodeSound, RefusesWhatIsNoSound) {
  std::string why;
  EXPECT_FALSE(lib::decode_sound("", &why).has_value());
  EXPECT_FALSE(why.empty());
  why.clear();
  EXPECT_FALSE(lib::decode_sound("RIFF\x10\0\0\0WAVEgarbage-garbage", &why).has_value());
  EXPECT_FALSE(why.empty());
  why.clear();
  EXPECT_FALSE(lib::decode_sound(wav_bytes(8000, 1, {}), &why).has_value())
      << "a file with no sample plays nothing";
  EXPECT_THAT(why, HasSubstr("no sound"));
  // A header cut off in the middle of the format chunk.
  EXPECT_FALSE(lib::decode_sound(wav_bytes(8000, 1, ramp(8000, 10)).substr(0, 30), &why));
}

TEST(AlsaAudioOutput, AnUnknownDeviceIsRefusedWithTheReason) {
  std::string why;
  auto audio =
      lib::AlsaAudioOutput::open("rigcore_no_such_device", lib::posix_file_system(), nullptr, &why);
  EXPECT_EQ(audio, nullptr);
  EXPECT_FALSE(why.empty());
}

TEST_F(AlsaNull, ALoopRepeatsUntilStopped) {
  ASSERT_TRUE(audio_->play_async(beep_, true));
  ASSERT_TRUE(audio_->wait_async_passes(3, kWaitMs)) << "the loop did not come round";
  EXPECT_TRUE(audio_->async_playing()) << "a loop does not end by itself";
  // A word spoken meanwhile interrupts the loop, which then goes on.
  EXPECT_TRUE(audio_->play_file(beep_));
  EXPECT_TRUE(audio_->async_playing());
  audio_->stop();
  EXPECT_FALSE(audio_->async_playing());
  EXPECT_TRUE(audio_->wait_async_done(0));
  // A new sound replaces a loop.
  ASSERT_TRUE(audio_->play_async(beep_, true));
  const std::uint64_t before = audio_->async_passes();
  ASSERT_TRUE(audio_->play_async(beep_, false));
  ASSERT_TRUE(audio_->wait_async_done(kWaitMs)) << "the sound that replaced the loop ended";
  EXPECT_GE(audio_->async_passes(), before + 1);
}

TEST_F(AlsaNull, StopCutsAWordShortAndItsCallerReturns) {
  const std::string long_word = dir_.path() + "/long.wav";
  write_file(long_word, wav_bytes(8000, 1, ramp(8000, 60000)));
  // The null device takes sound as fast as it is written: hold the player after its first
  // chunk so that the stop surely comes in the middle of the word.
  std::promise<void> under_way;
  std::promise<void> stopped;
  std::shared_future<void> stopped_future = stopped.get_future().share();
  std::atomic<int> chunks{0};
  audio_->set_chunk_hook([&] {
    if (++chunks == 1) {
      under_way.set_value();
      stopped_future.wait();
    }
  });
  auto spoken = std::async(std::launch::async, [&] { return audio_->play_file(long_word); });
  under_way.get_future().wait();
  audio_->stop();
  stopped.set_value();
  EXPECT_FALSE(spoken.get()) << "a word cut short was not played through";
  EXPECT_EQ(chunks, 1) << "nothing more of the word was written after the stop";
  EXPECT_TRUE(audio_->play_file(beep_)) << "the next word plays";
}

TEST_F(AlsaNull, AMissingOrBrokenFileIsReportedOnceAndPlaysNothing) {
  const std::string missing = dir_.path() + "/none.wav";
  const std::string broken = dir_.path() + "/broken.wav";
  write_file(broken, "RIFF-not-really-a-wave-file");
  EXPECT_FALSE(audio_->play_async(missing, true));
  EXPECT_FALSE(audio_->async_playing());
  EXPECT_FALSE(audio_->play_file(broken));
  EXPECT_FALSE(audio_->play_file(broken));
  const auto lines = errors_.take();
  EXPECT_TRUE(audio_->reports_failures()) << "its callers need not report them again";
  ASSERT_THAT(lines, SizeIs(2)) << "each bad file once";
  EXPECT_THAT(lines[0], HasSubstr("'" + missing + "' cannot be read"));
  EXPECT_THAT(lines[1], HasSubstr("'" + broken + "' is not a playable sound file"));
  // Repaired, it plays, and a later fault is told again.
  write_file(broken, wav_bytes(8000, 1, ramp(8000, 50)));
  EXPECT_TRUE(audio_->play_file(broken));
  write_file(broken, "garbage");
  EXPECT_FALSE(audio_->play_file(broken));
  EXPECT_THAT(errors_.take(), SizeIs(1));
  // The player is unharmed.
  ASSERT_TRUE(audio_->play_async(beep_, false));
  EXPECT_TRUE(audio_->wait_async_done(kWaitMs));
}

TEST_F(AlsaNull, SoundsOfDifferentFormatsFollowEachOther) {
  const std::string stereo = dir_.path() + "/stereo.wav";
  std::vector<std::int16_t> samples = ramp(44100, 100);
  samples.insert(samples.end(), samples.begin(), samples.end());  // 50 ms of stereo frames
  write_file(stereo, wav_bytes(44100, 2, samples));
  EXPECT_TRUE(audio_->play_file(stereo));
  EXPECT_TRUE(audio_->play_file(beep_));
  audio_->beep(880, 30);
  EXPECT_TRUE(audio_->play_file(stereo));
  EXPECT_THAT(errors_.take(), ::testing::IsEmpty());
}

}  // namespace
