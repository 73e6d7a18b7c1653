// The live frame's bytes: what goes in comes out, field by field, and any frame that is not
// whole (cut, grown, a flipped bit, another layout) is refused with a reason
// rather than shown.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "lib/rewritten_file.h"
#include "storage/live_frame.h"
#include "support/fakes.h"

namespace {

live::LiveFrame sample() {
  live::LiveFrame f;
  f.sequence = 4000000001u;
  f.time = 1796601593;
  f.milliseconds = 999;
  f.race = 12;
  f.race_active = true;
  f.bottom = 2501.25f;
  f.bit = 2480.5f;
  f.lag = 2455.75f;
  f.block = 17.5f;
  f.operation = 4;
  f.operation_name = "Бурение";
  f.values = {{"вес_на_крюке", "Вес на крюке", "т", 82.5f, false, true, true},
              {"давление_на_входе", "Давление", "атм.", 0, true, false, true},
              {"газ", "Газ", "%", std::numeric_limits<float>::quiet_NaN(), false, false, false}};
  f.alarms = {"Параметр ''вес_на_крюке'' = 82.5 т !"};
  return f;
}

TEST(LiveFrame, AFrameThatIsNotWholeIsRefusedWithItsReason) {
  const std::string good = live::encode_live_frame(sample());
  struct Case {
    const char* name;
    std::function<std::string(std::string)> damage;
    const char* reason;
  };
  const Case cases[] = {
      {"cut short", [](std::string b) { return b.substr(0, b.size() - 1); }, "says"},
      {"too short for a header", [](std::string b) { return b.substr(0, 20); }, "too short"},
      {"grown", [](std::string b) { return b + "x"; }, "says"},
      {"a flipped bit",
       [](std::string b) {
         b.replace(60, 1, 1, static_cast<char>(b.at(60) ^ 0x10));
         return b;
       },
       "CRC"},
      {"wrong magic",
       [](std::string b) {
         b[0] = 'X';
         return b;
       },
       "magic"},
      {"another layout",
       [](std::string b) {
         b[4] = 9;
         return b;
       },
       "layout version 9"},
  };
  for (const Case& c : cases) {
    std::string why;
    EXPECT_FALSE(live::decode_live_frame(c.damage(good), why)) << c.name;
    EXPECT_NE(why.find(c.reason), std::string::npos) << c.name << ": " << why;
  }
}

// The station rewrites the file in place, so a read may catch two frames at once: the reader
// reads again; a file that stays damaged is refused with its reason, a missing one is no
// station yet.
TEST(LiveFrame, AReadThatCaughtAWriteIsMadeAgain) {
  // Damages the first `torn` reads the way a concurrent rewrite would: a number half new.
  struct TearingFileSystem : testing_support::FaultyFileSystem {
    int torn = 0;
    ssize_t read(int fd, void* buf, std::size_t n) override {
      const ssize_t got = FaultyFileSystem::read(fd, buf, n);
      if (got > 40 && torn > 0) {
        --torn;
        static_cast<char*>(buf)[30] ^= 0x01;
      }
      return got;
    }
  } fs;
  testing_support::TempDir dir;
  const std::string path = dir.file("live_frame.dat");
  std::string why;
  EXPECT_FALSE(live::read_live_frame(path, fs, why));
  EXPECT_EQ(why, "");
  live::LiveFrame written = sample();
  written.values.pop_back();  // NaN is not equal to itself
  lib::RewrittenFile file(path, fs);
  file.write(live::encode_live_frame(written));
  for (const int torn : {0, 1, live::kReadAttempts - 1}) {
    fs.torn = torn;
    const auto frame = live::read_live_frame(path, fs, why);
    EXPECT_EQ(frame, written) << torn << " torn reads: " << why;
  }
  fs.torn = live::kReadAttempts;
  EXPECT_FALSE(live::read_live_frame(path, fs, why));
  EXPECT_NE(why.find("CRC"), std::string::npos) << why;
}

}  // namespace
