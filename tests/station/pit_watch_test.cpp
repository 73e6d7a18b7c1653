#include "station/pit_watch.h"

#include <gtest/gtest.h>

#include <limits>

#include "station/scenario.h"

using station::PitWatch;

TEST(PitWatch, CountsFromTheStartOfTheLastConnectionOrTrip) {
  PitWatch pit;
  EXPECT_FALSE(pit.started());
  pit.update(2, 100.0);  // drilling from the start: the reference is the first tick
  pit.update(2, 101.5);
  EXPECT_DOUBLE_EQ(pit.gain(), 1.5);
  pit.update(PitWatch::kConnection, 102.0);  // a connection starts: counted from here
  EXPECT_DOUBLE_EQ(pit.gain(), 0.0);
  pit.update(PitWatch::kConnection, 101.0);
  EXPECT_DOUBLE_EQ(pit.gain(), -1.0) << "a loss has a sign";
  pit.update(2, 103.0);
  EXPECT_DOUBLE_EQ(pit.gain(), 1.0) << "back to drilling: still from the connection";
  pit.update(PitWatch::kTrippingOut, 90.0);
  pit.update(PitWatch::kTrippingOut, 92.0);
  EXPECT_DOUBLE_EQ(pit.gain(), 2.0);
  pit.update(PitWatch::kTrippingIn, 95.0);  // out, then in: a new trip
  EXPECT_DOUBLE_EQ(pit.gain(), 0.0);
  EXPECT_DOUBLE_EQ(pit.base(), 95.0);
  pit.update(PitWatch::kTrippingIn, std::numeric_limits<double>::quiet_NaN());
  EXPECT_DOUBLE_EQ(pit.gain(), 0.0) << "no number: the last gain stays";
  pit.update(PitWatch::kTrippingIn, 94.0);
  EXPECT_DOUBLE_EQ(pit.gain(), -1.0) << "a skipped tick does not restart the trip";
}

TEST(ScenarioLevels, TankLevelsArePlayedAndOnlyTanksOneToSixteenAreKeys) {
  const auto s = station::Scenario::parse("0 level1=1.5 level16=2\n10 level1=2.5\n", "t");
  const auto at5 = s.at(5);
  EXPECT_DOUBLE_EQ(at5.level.at(1), 2.0);
  EXPECT_DOUBLE_EQ(at5.level.at(16), 2.0);
  EXPECT_EQ(at5.level.count(2), 0u);
  for (const char* bad :
       {"0 level0=1\n", "0 level17=1\n", "0 level=1\n", "0 level01=1\n", "0 level1x=1\n"}) {
    EXPECT_THROW(station::Scenario::parse(bad, "t"), station::ScenarioError) << bad;
  }
}
