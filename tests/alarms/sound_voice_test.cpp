// The sound slots and the voice queues on a recording audio output and a fake clock.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <future>

#include "alarms/sound.h"
#include "alarms/voice_thread.h"
#include "lib/file_system.h"
#include "support/fakes.h"

using namespace alarms;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using testing_support::FakeClock;
using testing_support::TempDir;

namespace {

// Records every call; files whose name holds "broken" cannot be played.
struct RecordingAudio : lib::AudioOutput {
  std::vector<std::string> calls;
  void beep(int, int) override { calls.push_back("beep"); }
  bool play_file(const std::string& path) override {
    calls.push_back("file " + path);
    return path.find("broken") == std::string::npos;
  }
  bool play_async(const std::string& path, bool loop) override {
    calls.push_back(std::string(loop ? "loop " : "once ") + path);
    return path.find("broken") == std::string::npos;
  }
  void stop() override { calls.push_back("stop"); }
};

TEST(Sound, TheAlarmLoopIsNotReplacedUntilStopped) {
  RecordingAudio audio;
  Sound sound("/home/st/", audio);
  sound.play_sound(kSoundAlarm);
  EXPECT_EQ(sound.looping(), kSoundAlarm);
  sound.play_sound(kSoundNotify);
  sound.play_sound(kSoundMessage);
  EXPECT_THAT(audio.calls, ElementsAre("loop /home/st/sounds/alarm.wav"));
  sound.stop_sound();
  EXPECT_EQ(sound.looping(), 0);
  sound.play_sound(kSoundNotify);
  EXPECT_EQ(sound.looping(), kSoundNotify);
  sound.play_sound(kSoundShortNotify);
  EXPECT_EQ(sound.looping(), 0) << "a sound played once leaves no looping slot";
  sound.play_sound(kSoundTuning);
  sound.play_sound(kSoundDepthLabel);
  sound.play_sound(kSoundStop);
  sound.play_sound(7);
  EXPECT_THAT(audio.calls,
              ElementsAre("loop /home/st/sounds/alarm.wav", "stop",
                          "loop /home/st/sounds/Свисток.wav", "once /home/st/sounds/Свисток.wav",
                          "loop /home/st/sounds/настройка приёмника.wav",
                          "once /home/st/sounds/BoingBoing.wav", "stop"));
}

TEST(Sound, SlotsAndOptionsAndABrokenFileIsReportedOnce) {
  RecordingAudio audio;
  std::vector<std::string> errors;
  Sound sound("/h/", audio, [&](const std::string& m) { errors.push_back(m); });
  EXPECT_EQ(sound.get_sound_file(0), "");
  EXPECT_EQ(sound.get_sound_file(7), "");
  EXPECT_EQ(sound.get_sound_file(kSoundMessage), "/h/sounds/message.wav");
  sound.set_sound_file(kSoundMessage, "/x/broken.wav");
  sound.set_sound_file(9, "/x/ignored.wav");
  sound.play_sound(kSoundMessage);
  sound.play_sound(kSoundMessage);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_THAT(errors[0], HasSubstr("'/x/broken.wav'"));
  EXPECT_FALSE(sound.play_file("/x/broken.wav"));
  EXPECT_EQ(errors.size(), 1u);

  lib::options_list list = sound.options();
  std::vector<std::string> keys;
  for (const auto& o : list) keys.push_back(o.key());
  EXPECT_THAT(keys, ElementsAre("alarm_sound", "notify_sound", "short_notify_sound", "depth_label",
                                "message"));
  ASSERT_EQ(list.sectors().size(), 1u);
  EXPECT_EQ(list.sectors()[0].section, "Sound");
  lib::IniFile ini;
  ini.load_text("[Sound]\nalarm_sound=/y/siren.wav\n");
  sound.load(ini);
  EXPECT_EQ(sound.get_sound_file(kSoundAlarm), "/y/siren.wav");
  EXPECT_EQ(sound.get_sound_file(kSoundMessage), "/h/sounds/message.wav") << "default again";
}

TEST(Sound, AnOutputThatReportsItsOwnFailuresIsNotEchoed) {
  struct SelfReporting : RecordingAudio {
    bool reports_failures() const override { return true; }
  } audio;
  std::vector<std::string> errors;
  Sound sound("/h/", audio, [&](const std::string& m) { errors.push_back(m); });
  sound.set_sound_file(kSoundMessage, "/x/broken.wav");
  sound.play_sound(kSoundMessage);
  EXPECT_FALSE(sound.play_file("/x/broken2.wav"));
  EXPECT_THAT(audio.calls, ElementsAre("once /x/broken.wav", "once /x/broken2.wav"));
  EXPECT_THAT(errors, IsEmpty());
}

TEST(Sound, TheSilentOutputRefusesWithoutAReport) {
  lib::SilentAudioOutput silent;
  std::vector<std::string> errors;
  Sound sound("/h/", silent, [&](const std::string& m) { errors.push_back(m); });
  sound.play_sound(kSoundAlarm);
  EXPECT_EQ(sound.looping(), kSoundAlarm);
  EXPECT_FALSE(sound.play_file("/h/x.wav"));
  EXPECT_THAT(errors, IsEmpty());
}

struct Voice {
  TempDir dir;
  RecordingAudio audio;
  FakeClock clock;
  VoiceThread voice{audio, clock, lib::posix_file_system()};
  Voice() {
    voice.set_path(dir.path());
    for (const char* w : {"alarm", "param", "is_higher", "silence", "one", "two", "drill"})
      std::ofstream(dir.path() + w + ".wav") << "RIFF";
  }
  std::string f(const std::string& w) const { return "file " + dir.path() + w + ".wav"; }
  void speak_all() {
    while (voice.run_once()) {
    }
  }
};

TEST(VoiceThread, AlarmsComeFirstThenNotificationsThenOperations) {
  Voice v;
  EXPECT_TRUE(v.voice.process_operations({"drill"}, true));
  EXPECT_TRUE(v.voice.process_notification("one,two", true));
  EXPECT_TRUE(v.voice.process_alarms({"alarm", "param"}, true));
  v.speak_all();
  EXPECT_THAT(v.audio.calls,
              ElementsAre(v.f("alarm"), v.f("param"), v.f("one"), v.f("two"), v.f("drill")));
  EXPECT_FALSE(v.voice.playing());
}

TEST(VoiceThread, NotificationsAndOperationsReplaceAlarmsAccumulate) {
  Voice v;
  v.voice.process_notification("one", false);
  v.voice.process_notification("two", false);
  v.voice.process_operations({"one"}, false);
  v.voice.process_operations({"drill"}, false);
  v.voice.process_alarms({"alarm"}, false);
  v.voice.process_alarms({"silence"}, false);
  EXPECT_EQ(v.voice.queued(VoiceThread::Queue::kAlarms), 2u);
  EXPECT_EQ(v.voice.queued(VoiceThread::Queue::kNotifications), 1u);
  v.speak_all();
  EXPECT_THAT(v.audio.calls, ElementsAre(v.f("alarm"), v.f("silence"), v.f("two"), v.f("drill")));
}

TEST(VoiceThread, APhraseOlderThanTenSecondsIsDroppedAcrossTheTickWrap) {
  Voice v;
  v.clock.steady = 0xFFFFF000;  // the 32-bit tick count wraps 4096 ms later
  v.voice.process_alarms({"one"}, true);
  v.clock.steady += 9999;
  v.voice.process_alarms({"two"}, true);
  v.clock.steady += 1;  // "one" is now exactly 10 s old: dropped; "two" is 1 ms old
  v.speak_all();
  EXPECT_THAT(v.audio.calls, ElementsAre(v.f("two")));
  v.voice.process_alarms({"one"}, true);
  v.clock.steady += 11000;
  EXPECT_FALSE(v.voice.run_once());
  EXPECT_EQ(v.voice.queued(VoiceThread::Queue::kAlarms), 0u);
}

TEST(VoiceThread, AMissingWordFileQueuesNothingWhenChecked) {
  Voice v;
  EXPECT_FALSE(v.voice.process_alarms({"alarm", "вес_на_крюке", "silence"}, true));
  EXPECT_FALSE(v.voice.process_notification("one,nope", true));
  EXPECT_EQ(v.voice.queued(VoiceThread::Queue::kAlarms), 0u);
  EXPECT_THAT(v.voice.missing_files({"alarm", "вес_на_крюке", "nope"}),
              ElementsAre(v.dir.path() + "вес_на_крюке.wav", v.dir.path() + "nope.wav"));
  EXPECT_TRUE(v.voice.process_alarms({"nope"}, false)) << "unchecked phrases are queued";
}

// Tells the test when the thread has spoken the last word of a phrase.
struct SignallingAudio : RecordingAudio {
  std::promise<void> spoken;
  std::string last;
  bool play_file(const std::string& path) override {
    RecordingAudio::play_file(path);
    if (path == last) spoken.set_value();
    return true;
  }
};

TEST(VoiceThread, TheThreadSpeaksWhatIsQueuedAndStopsOnRequest) {
  TempDir dir;
  SignallingAudio audio;
  FakeClock clock;
  VoiceThread voice(audio, clock, lib::posix_file_system());
  voice.set_path(dir.path());
  audio.last = dir.path() + "param.wav";
  auto spoken = audio.spoken.get_future();
  voice.start();
  voice.process_alarms({"alarm", "param"}, false);
  ASSERT_EQ(spoken.wait_for(std::chrono::seconds(30)), std::future_status::ready);
  voice.terminate();  // joins: the calls are the test's alone from here
  EXPECT_THAT(audio.calls,
              ElementsAre("file " + dir.path() + "alarm.wav", "file " + audio.last, "stop"));
  voice.stop_all();
  EXPECT_EQ(audio.calls.back(), "stop");
  EXPECT_EQ(audio.calls.size(), 4u);
}

}  // namespace
