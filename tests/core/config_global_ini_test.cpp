#include "core/config_global_ini.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/config_user_interface.h"

using namespace reg;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

TEST(GlobalIniTest, RoundTripWithoutTheRunTimeText) {
  GlobalIni g;
  EXPECT_FALSE(g.has_password());
  g.well = "1024";
  g.win_left = 10;
  g.password = "секрет";
  g.set_host_text("для диалога");
  lib::IniFile ini;
  g.save(ini);
  EXPECT_THAT(ini.to_text(), Not(HasSubstr("для диалога")));
  EXPECT_EQ(ini.get_string("текущие_настройки", "скважина"), "1024");

  GlobalIni back;
  back.load(ini);
  EXPECT_EQ(back.well, "1024");
  EXPECT_EQ(back.win_left, 10);
  EXPECT_TRUE(back.has_password());
  EXPECT_EQ(back.get_host_text(), "");
  EXPECT_EQ(g.get_host_text(), "для диалога");
}

TEST(UserInterfaceOptTest, ColoursRoundTripAndTheTwoResets) {
  UserInterfaceOpt ui;
  ui.frames_color = 0x102030;
  ui.indi_color = 0x00FF00;
  ui.panel_size = 50;
  lib::IniFile ini;
  ui.save(ini);
  UserInterfaceOpt back;
  back.load(ini);
  EXPECT_EQ(back.frames_color, lib::Colour(0x102030));
  EXPECT_EQ(back.indi_color, lib::Colour(0x00FF00));

  back.default_gr();
  EXPECT_EQ(back.frames_color, UserInterfaceOpt::kGrey);
  EXPECT_EQ(back.panel_size, 100);
  EXPECT_EQ(back.indi_color, lib::Colour(0x00FF00)) << "the top panel keeps its colour";
  back.default_toppan();
  EXPECT_EQ(back.indi_color, UserInterfaceOpt::kWhite);
}

}  // namespace
