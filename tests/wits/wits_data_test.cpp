#include "wits/wits_data.h"

#include <gtest/gtest.h>

#include <tuple>
#include <utility>

#include "wits/wits0_format.h"

using namespace wits;

namespace {

WITSCommIncomData two_servers() {
  WITSCommIncomData d;
  d.servers()["Б"][1].items = {{8, "20.5"}};
  d.servers()["А"][1].items = {{10, "3"}};
  d.servers()["В"][1].items = {{8, "99"}, {10, "7"}};
  d.servers()["В"][2].items = {{1, "abc"}};
  return d;
}

}  // namespace

TEST(WITSDataTest, WhatIsNotAvailableReadsAsTheMarker) {
  WITSCommIncomData d = two_servers();
  for (const char* code : {"01x8", "1", "", "x108", "-108", "0+08"})
    EXPECT_DOUBLE_EQ(d.get_value("Б", code), kNotAvailable) << code;
  EXPECT_DOUBLE_EQ(d.get_value("Г", "0108"), kNotAvailable);
  EXPECT_FALSE(d.servers().contains("Г"));
  // Empty name and nobody has the item, and no server has the empty name either.
  EXPECT_DOUBLE_EQ(d.get_value("", "0750"), kNotAvailable);
}

TEST(WITSDataTest, EmptyServerNameTakesTheFirstByNameThatHasTheItem) {
  WITSCommIncomData d = two_servers();
  // "А" sorts first but lacks 0108; "Б" sorts before "В", so its 0108 wins.
  EXPECT_DOUBLE_EQ(d.get_value("", "0108"), 20.5);
  // "А" is first by name and has 0110.
  EXPECT_DOUBLE_EQ(d.get_value("", "0110"), 3.0);
}
