#include "station/scenario.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "support/error_of.h"
#include "support/fakes.h"

using station::Scenario;
using station::ScenarioError;
using testing_support::error_of;

namespace {

TEST(Scenario, ValuesMoveLinearlyAndMissingKeysCarryOver) {
  const Scenario s = Scenario::parse(
      "# a stand\n"
      "pulses_per_metre 20\n"
      "0   hook=60 block=30 spm1=0\n"
      "100 block=10 spm1=60   # lowering\n"
      "200 hook=5 pressure=80\n",
      "stand");
  EXPECT_EQ(s.frames(), 3u);
  EXPECT_DOUBLE_EQ(s.duration(), 200);
  EXPECT_EQ(s.pulses_per_metre(), 20.0);
  auto a = s.at(50);
  EXPECT_DOUBLE_EQ(*a.block, 20);
  EXPECT_DOUBLE_EQ(*a.hook, 60);
  EXPECT_DOUBLE_EQ(a.spm.at(1), 30);
  // pressure first appears at 200 s and holds its value from the start
  EXPECT_DOUBLE_EQ(*a.pressure, 80);
  auto b = s.at(150);
  EXPECT_DOUBLE_EQ(*b.block, 10);
  EXPECT_DOUBLE_EQ(*b.hook, 32.5);
  EXPECT_FALSE(b.rpm.has_value());
  auto end = s.at(1e6);
  EXPECT_DOUBLE_EQ(*end.hook, 5);
}

TEST(Scenario, DamagedFilesAreRefusedWithTheLine) {
  const std::pair<const char*, const char*> bad[] = {
      {"0 hook=1\n0 hook=2\n", "line 2"},
      {"0 hook=1\n5 hook=x\n", "not a number"},
      {"0 depth=1\n", "unknown key 'depth'"},
      {"0 spm7=1\n", "unknown key 'spm7'"},
      {"0 hook\n", "not key=value"},
      {"-1 hook=1\n", "time in seconds"},
      {"nan hook=1\n", "time in seconds"},
      {"0 hook=inf\n", "not a number"},
      {"pulses_per_metre 0\n0 hook=1\n", "positive"},
      {"# nothing\n\n", "no frames"},
  };
  for (const auto& [text, says] : bad) {
    EXPECT_THAT(error_of<ScenarioError>([&] { Scenario::parse(text, "bad.txt"); }),
                testing::AllOf(testing::HasSubstr(says), testing::HasSubstr("bad.txt")))
        << text;
  }
}

TEST(Scenario, LoadNamesAMissingFile) {
  testing_support::TempDir dir;
  EXPECT_THROW(Scenario::load(dir.file("none.txt"), lib::posix_file_system()), ScenarioError);
}

}  // namespace
