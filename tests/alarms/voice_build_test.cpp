// Making the word files: the synthesiser faked through the process seam (what it is asked,
// how it fails), and once for real when espeak-ng is installed.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>

#include "alarms/min_max_log.h"
#include "alarms/voice_build.h"
#include "alarms/voice_thread.h"
#include "lib/alsa_audio_output.h"
#include "lib/file_system.h"
#include "support/fakes.h"
#include "support/module_state.h"

using namespace alarms;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::SizeIs;
using testing_support::FakeClock;
using testing_support::TempDir;

namespace {

// A valid 10 ms mono WAV of 8 kHz, 16 bits, built by hand.
std::string tiny_wav() {
  using testing_support::bytes_of;
  using U16 = std::uint16_t;
  constexpr std::uint32_t kSamples = 80;
  std::string s = "RIFF" + bytes_of(36 + kSamples * 2) + "WAVEfmt " +
                  bytes_of(16u, U16{1}, U16{1}, 8000u, 16000u, U16{2}, U16{16}) + "data" +
                  bytes_of(kSamples * 2);
  for (std::uint32_t i = 0; i < kSamples; ++i) s += bytes_of(static_cast<U16>(i * 100));
  return s;
}

std::string read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Does what `behave` says with each call; by default writes a good WAV to the -w path.
struct FakeSynth : lib::ProcessRunner {
  std::vector<std::vector<std::string>> calls;
  std::function<lib::ProcessResult(const std::string& wav)> behave = [](const std::string& wav) {
    std::ofstream(wav, std::ios::binary) << tiny_wav();
    lib::ProcessResult r;
    r.started = true;
    r.exit_code = 0;
    return r;
  };
  lib::ProcessResult run(const std::vector<std::string>& argv) override {
    calls.push_back(argv);
    std::string wav;
    for (std::size_t i = 0; i + 1 < argv.size(); ++i)
      if (argv[i] == "-w") wav = argv[i + 1];
    return behave(wav);
  }
};

TEST(VoiceBuild, WritesTextsAndMakesEveryMissingWordFile) {
  TempDir dir;
  const std::string folder = dir.path() + "/voice/ru/";
  FakeSynth synth;
  std::vector<VoiceWord> words = alarm_phrase_words();
  words.push_back({"вес_на_крюке", "Вес на крюке"});
  words.push_back({"alarm", "a second text of a word already listed"});
  const auto report =
      build_voice_files(words, folder, lib::posix_file_system(), synth, /*force=*/false);
  EXPECT_THAT(report.failures, IsEmpty());
  EXPECT_EQ(report.texts, 6);
  EXPECT_EQ(report.made, 6);
  ASSERT_THAT(synth.calls, SizeIs(6));
  EXPECT_THAT(synth.calls[0], ElementsAre("espeak-ng", "-v", "ru", "-f", folder + "alarm.txt", "-w",
                                          ::testing::StartsWith(folder)));
  EXPECT_THAT(synth.calls[4], ::testing::Contains("-m")) << "the pause is SSML";
  EXPECT_THAT(synth.calls[5], ::testing::Not(::testing::Contains("-m")));
  EXPECT_EQ(read(folder + "вес_на_крюке.txt"), "Вес на крюке\n");
  EXPECT_EQ(read(folder + "alarm.txt"), "Внимание! Тревога.\n");
  // Every word the alarm phrase of that parameter needs is there now.
  FakeClock clock;
  lib::SilentAudioOutput silent;
  VoiceThread voice(silent, clock, lib::posix_file_system());
  voice.set_path(folder);
  EXPECT_THAT(voice.missing_files({kVoiceAlarm, kVoiceParam, "вес_на_крюке", kVoiceIsHigher,
                                   kVoiceIsLower, kVoiceSilence}),
              IsEmpty());
  // No temporary file is left beside them.
  EXPECT_THAT(lib::posix_file_system().list_folder(folder), SizeIs(12));

  // A second build keeps what is there; with force it makes everything again.
  synth.calls.clear();
  auto again = build_voice_files(words, folder, lib::posix_file_system(), synth, false);
  EXPECT_EQ(again.kept, 6);
  EXPECT_EQ(again.made, 0);
  EXPECT_THAT(synth.calls, IsEmpty());
  again = build_voice_files(words, folder, lib::posix_file_system(), synth, true);
  EXPECT_EQ(again.made, 6);
}

TEST(VoiceBuild, AFailedSynthesisLeavesNoWordFileAndSaysWhy) {
  TempDir dir;
  const std::string folder = dir.path() + "/v/";
  FakeSynth synth;
  int n = 0;
  synth.behave = [&n](const std::string& wav) {
    lib::ProcessResult r;
    r.started = true;
    r.exit_code = 0;
    switch (n++) {
      case 0:  // fails with a message
        std::ofstream(wav, std::ios::binary) << "RIFF";
        r.exit_code = 1;
        r.output = "some warning\nvoice 'ru' not found\n";
        break;
      case 1:  // claims success, writes noise
        std::ofstream(wav, std::ios::binary) << "not a sound";
        break;
      case 2:  // claims success, writes nothing
        break;
      default:
        std::ofstream(wav, std::ios::binary) << tiny_wav();
    }
    return r;
  };
  const auto report = build_voice_files({{"a", "один"}, {"b", "два"}, {"c", "три"}, {"d", "four"}},
                                        folder, lib::posix_file_system(), synth, false);
  ASSERT_THAT(report.failures, SizeIs(3));
  EXPECT_THAT(report.failures[0], HasSubstr("exit code 1: voice 'ru' not found"));
  EXPECT_THAT(report.failures[0], HasSubstr("'" + folder + "a.wav'"));
  EXPECT_THAT(report.failures[1], HasSubstr("is no sound"));
  EXPECT_THAT(report.failures[2], HasSubstr("wrote no file"));
  EXPECT_EQ(report.made, 1);
  for (const char* key : {"a", "b", "c"})
    EXPECT_FALSE(lib::exists(lib::posix_file_system(), folder + key + ".wav")) << key;
  EXPECT_TRUE(lib::exists(lib::posix_file_system(), folder + "d.wav"));
  EXPECT_THAT(lib::posix_file_system().list_folder(folder), SizeIs(5)) << "no temporary left";
}

TEST(VoiceBuild, AMissingSynthesizerIsToldOnceAndNothingIsTriedAgain) {
  TempDir dir;
  FakeSynth synth;
  synth.behave = [](const std::string&) {
    lib::ProcessResult r;
    r.error = "cannot start 'espeak-ng': No such file or directory";
    return r;
  };
  const auto report =
      build_voice_files(alarm_phrase_words(), dir.path(), lib::posix_file_system(), synth, false);
  EXPECT_TRUE(report.synthesizer_missing);
  EXPECT_THAT(synth.calls, SizeIs(1));
  ASSERT_THAT(report.failures, SizeIs(5));
  EXPECT_THAT(report.failures[0], HasSubstr("No such file or directory"));
  EXPECT_THAT(report.failures[0], HasSubstr("espeak-ng"));
  EXPECT_EQ(report.texts, 5) << "the texts are written all the same";
}

TEST(VoiceBuild, AKeyThatCannotNameAFileIsLeftOut) {
  TempDir dir;
  FakeSynth synth;
  const auto report = build_voice_files({{"a/b", "x"}, {"..", "y"}, {"ok", "z"}}, dir.path(),
                                        lib::posix_file_system(), synth, false);
  EXPECT_THAT(report.failures, SizeIs(2));
  EXPECT_EQ(report.made, 1);
}

TEST(VoiceBuild, TheRealSynthesizerMakesAPlayableRussianWord) {
  TempDir dir;
  // The synthesizer's sound library opens a PulseAudio folder even to write a file, in the
  // temporary folder unless told where: here, inside this test's own folder.
  const std::string pulse = dir.path() + "/pulse";
  ASSERT_EQ(::setenv("PULSE_RUNTIME_PATH", pulse.c_str(), 1), 0);
  struct Unset {
    ~Unset() { ::unsetenv("PULSE_RUNTIME_PATH"); }
  } unset;
  lib::ProcessResult probe = lib::system_process_runner().run({kSynthesizer, "--version"});
  if (!probe.ok()) GTEST_SKIP() << "espeak-ng is not installed: " << probe.error;
  const auto report =
      build_voice_files({{"param", "Параметр"}, {kVoiceSilence, alarm_phrase_words()[4].text}},
                        dir.path(), lib::posix_file_system(), lib::system_process_runner(), false);
  ASSERT_THAT(report.failures, IsEmpty());
  EXPECT_EQ(report.made, 2);
  const auto word = lib::decode_sound(read(dir.path() + "/param.wav"), nullptr);
  ASSERT_TRUE(word.has_value());
  // A spoken word lasts a good fraction of a second and is not silent.
  EXPECT_GT(word->frames(), static_cast<std::size_t>(word->rate / 5));
  int loudest = 0;
  for (std::int16_t s : word->samples) loudest = std::max(loudest, std::abs(int{s}));
  EXPECT_GT(loudest, 1000);
  const auto pause = lib::decode_sound(read(dir.path() + "/silence.wav"), nullptr);
  ASSERT_TRUE(pause.has_value());
}

}  // namespace
