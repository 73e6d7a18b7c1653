#include "calc/race_info_old.h"

#include <gtest/gtest.h>

#include "lib/binary_stream.h"
#include "lib/module_list.h"
#include "support/fakes.h"

using namespace calc;

namespace {

TEST(RaceInfoOldTest, DrillTypeOutsideTheListIsMarked) {
  EXPECT_EQ(get_drill_type_str(static_cast<DrillType>(9)), "::ОШИБКА::");
  EXPECT_EQ(get_drill_type_str(static_cast<DrillType>(-1)), "::ОШИБКА::");
}

TEST(RaceInfoOldTest, RaceFileBesideTheRecording) {
  EXPECT_EQ(RaceInfoOld::get_race_file("/data/well/a.b.dat"), "/data/well/a.rac");
  EXPECT_EQ(RaceInfoOld::get_race_file("a.b.dat"), "a.rac");
  EXPECT_EQ(RaceInfoOld::get_race_file("/data/well/noext"), "");
  EXPECT_EQ(RaceInfoOld::get_race_file("/data/x.y/noext"), "") << "a dot in a folder is no dot";
  EXPECT_EQ(RaceInfoOld::get_race_file(""), "");
}

}  // namespace
