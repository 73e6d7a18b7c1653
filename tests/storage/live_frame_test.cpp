// The live frame's bytes: what goes in comes out, field by field, and any frame that is not
// whole (cut, grown, a flipped bit, another layout) is refused with a reason
// rather than shown.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "storage/live_frame.h"

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

}  // namespace
