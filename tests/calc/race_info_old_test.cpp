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

TEST(RaceInfoOldTest, FileRoundTripAndTolerantReading) {
  testing_support::TempDir dir;
  const std::string path = RaceInfoOld::get_race_file(dir.file("run7.realtim"));
  RaceInfoOld r;
  r.archive.deposit = "Самотлорское";
  r.settings.bit_diameter = 215.9;
  r.settings.cavern_coeff = 1.25;
  r.settings.purpose = "Бурение (1)";
  r.settings.drill_method = static_cast<int>(DrillType::kScrewMotor);
  r.end.iadc_reason = "TD";
  r.save_to_file(path, lib::posix_file_system());

  RaceInfoOld back;
  EXPECT_TRUE(back.load_from_file(path, lib::posix_file_system()).empty());
  EXPECT_EQ(back.archive.deposit, "Самотлорское");
  EXPECT_DOUBLE_EQ(back.get_doloto_diametr(), 215.9);
  EXPECT_DOUBLE_EQ(back.get_kavern_koeff(), 1.25);
  EXPECT_EQ(back.get_purpose(), "Бурение (1)");
  EXPECT_EQ(back.get_drill_type(), DrillType::kScrewMotor);
  EXPECT_EQ(back.end.iadc_reason, "TD");

  lib::IniFile bad;
  bad.load_text("[настройки_рейса]\nдиаметр_долота=двести\nкоэффициент_кавернозности=1,3\n");
  const auto issues = back.load(bad);
  EXPECT_DOUBLE_EQ(back.get_doloto_diametr(), 0) << "unreadable: the default";
  EXPECT_DOUBLE_EQ(back.get_kavern_koeff(), 1.3);
  EXPECT_EQ(issues.size(), 1u);
}

TEST(RaceInfoOldTest, StateRoundTripUnderItsModuleName) {
  RaceInfoOld r;
  r.settings.race_number = 12;
  r.start.depth = 1234.5;
  r.mud.mud_type = "полимерный";
  lib::ModuleList list;
  list.register_module(r, RaceInfoOld::kModuleName);
  std::string name;
  r.get_serial_name(name);
  EXPECT_EQ(name, "RaceInfoNew");
  lib::io::BinaryMemoryOutputStream out;
  list.serialize(out, nullptr, 1);

  RaceInfoOld back;
  back.mud.mud_type = "old";
  lib::ModuleList other;
  other.register_module(back, RaceInfoOld::kModuleName);
  lib::io::BinaryMemoryInputStream in(out.data());
  EXPECT_EQ(other.deserialize(in, 1, {}).read, 1);
  EXPECT_EQ(back.settings.race_number, 12);
  EXPECT_DOUBLE_EQ(back.start.depth, 1234.5);
  EXPECT_EQ(back.mud.mud_type, "полимерный");
}

}  // namespace
