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

TEST(WITSDataTest, ValueOfAServerAndCode) {
  WITSCommIncomData d = two_servers();
  EXPECT_DOUBLE_EQ(d.get_value("Б", "0108"), 20.5);
  EXPECT_DOUBLE_EQ(d.get_value("В", "0110"), 7.0);
  // Text that is not a number reads as 0 like any such text.
  EXPECT_DOUBLE_EQ(d.get_value("В", "0201"), 0.0);
}

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

TEST(WITSDataTest, AKnownServerWithoutTheItemGetsItAddedEmpty) {
  WITSCommIncomData d = two_servers();
  EXPECT_DOUBLE_EQ(d.get_value("Б", "0550"), 0.0);
  ASSERT_TRUE(d.servers().at("Б").contains(5));
  EXPECT_EQ(d.servers().at("Б").at(5).items.at(50), "");
  EXPECT_FALSE(d.servers().at("Б").at(5).ready);
}

// Three characters leave a one-digit item; characters after the fourth belong to the value.
TEST(WITSDataTest, CodesAreTwoDigitRecordAndItem) {
  const std::tuple<const char*, int, int> codes[] = {
      {"0108", 1, 8}, {"253", 25, 3}, {"9912xyz", 99, 12}};
  for (const auto& [code, record, item] : codes) {
    int r = -1, i = -1;
    EXPECT_TRUE(WITSCommIncomData::parse_code(code, r, i)) << code;
    EXPECT_EQ(std::make_pair(r, i), std::make_pair(record, item)) << code;
  }
  int r = -1, i = -1;
  EXPECT_FALSE(WITSCommIncomData::parse_code("01", r, i));
}
