// The station's choice of sound output: the card (ALSA's null device here), silence on
// request, and silence with a note when the card cannot be opened.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "lib/file_system.h"
#include "station/station.h"
#include "station/station_audio.h"
#include "station/station_fixture.h"
#include "support/fakes.h"

using ::testing::HasSubstr;
using testing_support::TempDir;

namespace {

TEST(StationAudio, PlaysOnTheDeviceUnlessSilentOrUnavailable) {
  station::StationAudio card(false, "null", lib::posix_file_system());
  EXPECT_TRUE(card.playing_on_device());
  EXPECT_FALSE(card.output().silent());
  EXPECT_EQ(card.note(), "");

  station::StationAudio off(true, "null", lib::posix_file_system());
  EXPECT_FALSE(off.playing_on_device());
  EXPECT_TRUE(off.output().silent());
  EXPECT_EQ(off.note(), "") << "sound turned off is no fault to report";

  station::StationAudio absent(false, "rigcore_no_such_device", lib::posix_file_system());
  EXPECT_FALSE(absent.playing_on_device());
  EXPECT_TRUE(absent.output().silent());
  EXPECT_THAT(absent.note(), HasSubstr("'rigcore_no_such_device' cannot be opened"));
  EXPECT_THAT(absent.note(), HasSubstr("without sound"));
}

TEST(StationAudio, ReportsReachTheLogOnlyWhileAttached) {
  TempDir dir;
  station::StationAudio card(false, "null", lib::posix_file_system());
  std::vector<std::string> log;
  const std::string missing = dir.path() + "/alarm.wav";
  EXPECT_FALSE(card.output().play_async(missing, true));
  EXPECT_TRUE(log.empty());
  card.attach([&log](const std::string& m) { log.push_back(m); });
  // Reported once per file until it plays: a second file shows the sink is listening.
  const std::string other = dir.path() + "/message.wav";
  EXPECT_FALSE(card.output().play_file(other));
  ASSERT_EQ(log.size(), 1u);
  EXPECT_THAT(log[0], HasSubstr(other));
  card.detach();
  EXPECT_FALSE(card.output().play_file(dir.path() + "/third.wav"));
  EXPECT_EQ(log.size(), 1u);
}

}  // namespace

namespace {

TEST(StationAudio, AHomeWithoutWordFilesIsToldHowToMakeThem) {
  TempDir dir;
  auto voice_note = [](const station::Station& st) {
    for (const auto& n : st.start_notes())
      if (n.starts_with("voice:")) return n;
    return std::string();
  };
  {
    testing_support::Rig rig(dir.path());
    rig.st->open({"emulator", "", true, ""});
    EXPECT_THAT(voice_note(*rig.st), HasSubstr("5 word file(s) of the alarm phrase missing"));
    EXPECT_THAT(voice_note(*rig.st), HasSubstr("rigstation voice build"));
    rig.st->close();
  }
  const std::string folder = dir.path() + "/voice/ru/";
  ASSERT_TRUE(lib::make_dirs(lib::posix_file_system(), folder));
  for (const char* w : {"alarm", "param", "is_lower", "is_higher", "silence"})
    lib::write_file_atomically(folder + w + ".wav", "RIFF", lib::posix_file_system());
  testing_support::Rig rig(dir.path());
  rig.st->open({"emulator", "", true, ""});
  EXPECT_EQ(voice_note(*rig.st), "");
  rig.st->close();
}

}  // namespace
