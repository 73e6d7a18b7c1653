#include "alarms/min_max_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "alarms/min_max_kinds.h"

using namespace alarms;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// ---- the check ------------------------------------------------------------------------

TEST(MinMaxCheck, ZeroOrNegativeLimitsAreNotInForce) {
  const MinMaxValue none("x", 0, 0);
  const MinMaxValue negative("x", -5, -1);
  EXPECT_FALSE(none.has_min() || none.has_max() || negative.has_min() || negative.has_max());
  EXPECT_FLOAT_EQ(negative.get_min(), 0);
  for (float v : {-1e30f, -6.0f, 0.0f, 1e30f}) {
    EXPECT_FALSE(none.check(v, 0, -1)) << v;
    EXPECT_FALSE(negative.check(v, 0, -1)) << v;
  }
}

TEST(MinMaxCheck, EqualityWithALimitOrNaNIsNoAlarm) {
  const MinMaxValue upper("нагрузка", -123, 30);
  EXPECT_FALSE(upper.check(30.0f, 0, -1));
  EXPECT_TRUE(upper.check(30.01f, 0, -1));
  EXPECT_FALSE(upper.check(-1000.0f, 0, -1));

  const MinMaxValue lower("нагрузка", 5, 0);
  EXPECT_FALSE(lower.check(5.0f, 0, -1));
  EXPECT_TRUE(lower.check(4.99f, 0, -1));
  EXPECT_FALSE(lower.check(1e9f, 0, -1));

  const MinMaxValue both("x", 5, 30);
  EXPECT_FALSE(both.check(kNaN, 0, -1));
  EXPECT_FALSE(both.check(kNaN, 0, 2));
}

TEST(MinMaxCheck, DepthIntervalAppliesOnlyInsideItAndWhileDrilling) {
  const MinMaxRTKValue t("x", -1, 10, 1000, 2000);
  EXPECT_EQ(t.operations(), OperationSet().set(kDrillingOperation));
  EXPECT_TRUE(t.check(12, 1500, 2));
  EXPECT_FALSE(t.check(12, 2500, 2));
  EXPECT_FALSE(t.check(12, 999.9f, 2));
  EXPECT_FALSE(t.check(12, 1500, 3));
  EXPECT_FALSE(t.check(12, 1500, 0)) << "operation 0 is an operation like any other";
  EXPECT_TRUE(t.check(12, 1000, 2)) << "both ends belong to the interval";
  EXPECT_TRUE(t.check(12, 2000, 2));
  EXPECT_FALSE(t.check(12, kNaN, 2));
  EXPECT_FALSE(t.check(9, 1500, 2));
  // The plain kinds do not look at the depth at all.
  EXPECT_TRUE(MinMaxRelayValue("x", -1, 10, 1).check(12, 1e9f, 2));
}

// ---- INI lines ------------------------------------------------------------------------

// What the earlier writer made of a line: its comma text with every quote doubled, then
// quoted. Kept here as the record of the form the reader must still accept.
std::string doubled_form(const lib::StringContainer& items) {
  std::string out = "\"";
  for (char c : items.comma_text()) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  return out + "\"";
}

TEST(MinMaxLine, LinesOfEarlierBuildsStillLoad) {
  // Literal lines as earlier builds saved them.
  MinMaxSMSValue sms;
  sms.read_from_ini_line(1, "\"3,a,0,0,1,5,\"\"+7900,+7901\"\"\"");
  EXPECT_EQ(sms.get_ini_line(), "\"3,a,0,0,1,5,\"+7900,+7901\"\"");
  MinMaxRTKValue depth;
  depth.read_from_ini_line(1, "\"4,\"\"a b\"\",0,0,1,5,10,20\"");
  EXPECT_EQ(depth.get_ini_line(), "\"4,\"a b\",0,0,1,5,10,20\"");

  const std::vector<std::pair<std::string, std::string>> cases = {
      {"сумм газ", "+7 900 111,+7 900 222"},
      {"имя, с \"кавычками\"", "\"a\",b c,,"},
      {"\"начало", "конец\""},
      {"", "a b"},
      {"a\"\"b", "x"},
      {"\"", "x y"},
  };
  for (const auto& [name, phones] : cases) {
    const lib::StringContainer items{"3", name, "1", "-1.5", "1", "30", phones};
    const std::string line = doubled_form(items);
    MinMaxSMSValue back;
    back.read_from_ini_line(1, line);
    EXPECT_EQ(back.get_param(), name) << line;
    EXPECT_EQ(back.get_phones(), phones) << line;
    EXPECT_FLOAT_EQ(back.get_min(), -1.5f) << line;
    EXPECT_FLOAT_EQ(back.get_max(), 30) << line;
    // Written again in the current form, it reads back the same.
    MinMaxSMSValue again;
    again.read_from_ini_line(1, back.get_ini_line());
    EXPECT_EQ(again.get_param(), name) << back.get_ini_line();
    EXPECT_EQ(again.get_phones(), phones) << back.get_ini_line();
  }
}

// A doubled line whose only quoted items were empty is also a well-formed current line; it is
// read as the current one, each """" as one quote (and the list's load reports it).
TEST(MinMaxLine, ADoubledLineWithOnlyEmptyQuotedItemsReadsInTheCurrentForm) {
  MinMaxSMSValue no_phones;
  no_phones.read_from_ini_line(1, "\"3,a,0,0,1,5,\"\"\"\"\"");
  EXPECT_EQ(no_phones.get_param(), "a");
  EXPECT_EQ(no_phones.get_phones(), "\"");
  EXPECT_FLOAT_EQ(no_phones.get_max(), 5);
}

TEST(MinMaxLine, NamesAndPhonesWithBlanksCommasAndQuotesRoundTrip) {
  const std::vector<std::string> texts = {
      "сумм газ", "a,b",   "\"",    "\"\"",   "a\"b",          "\"a\"", " lead",
      "trail ",   "\"\"x", "x\"\"", ",\",\"", "+7 900,+7 901", "",      "\"a\",b c,,"};
  for (const std::string& name : texts) {
    for (const std::string& phones : texts) {
      const MinMaxSMSValue original(name, 0, 7.25f, phones);
      MinMaxSMSValue copy;
      copy.read_from_ini_line(1, original.get_ini_line());
      EXPECT_EQ(copy.get_param(), name) << original.get_ini_line();
      EXPECT_EQ(copy.get_phones(), phones) << original.get_ini_line();
    }
    const MinMaxRelayValue relay(name, 0, 5, 3);
    MinMaxRelayValue relay_copy;
    relay_copy.read_from_ini_line(1, relay.get_ini_line());
    EXPECT_EQ(relay_copy.get_param(), name) << relay.get_ini_line();
    EXPECT_EQ(relay_copy.get_relay_channel(), 3) << relay.get_ini_line();
  }
}

TEST(MinMaxLine, FloatLimitsRoundTripExactlyAndReadingKeepsTheOperationSet) {
  for (float v : {1.9f, 1.99f, 0.1f, 1e-7f, 3.4e38f, -2.5e-3f, 123456.79f}) {
    MinMaxValue t;
    t.set_max(true, v);
    MinMaxValue back;
    back.set_operations(OperationSet(0b1010));
    back.read_from_ini_line(1, t.get_ini_line());
    EXPECT_EQ(back.get_max(), v) << t.get_ini_line();
    EXPECT_EQ(back.operations(), OperationSet(0b1010));
  }
}

// Lines are compared through get_ini_line, whose exact text is checked above: it shows every
// field a reading could have got wrong.
TEST(MinMaxLine, ShortOrGarbledLinesTakeDefaults) {
  MinMaxRelayValue r("old", 1, 2, 4);
  r.read_from_ini_line(1, "\"1,x\"");
  EXPECT_EQ(r.get_ini_line(), "\"1,x,0,0,0,0,-1\"");
  // An unreadable flag or float reads as 0; any non-zero flag is in force.
  MinMaxValue p;
  p.read_from_ini_line(1, "0,y,abc,zz,2,1,5e3");
  EXPECT_EQ(p.get_ini_line(), "\"0,y,0,0,1,1\"");
  MinMaxRTKValue d("old", 1, 2, 3, 4);
  d.read_from_ini_line(1, "");
  EXPECT_EQ(d.get_ini_line(), "\"4,\"\",0,0,0,0,0,0\"");  // an empty name is quoted

  MinMaxValue huge;
  huge.read_from_ini_line(1, "0,h,1,-1e300,1,1e300");
  EXPECT_TRUE(std::isinf(huge.get_min()) && huge.get_min() < 0);
  EXPECT_TRUE(std::isinf(huge.get_max()) && huge.get_max() > 0);
}

TEST(MinMaxLine, LegacyLayoutKeepsRelayLimitsApart) {
  const char* line = "\"нагрузка,1,5,1,30,3,0,0,1,40\"";
  MinMaxValue plain;
  plain.read_from_ini_line(0, line);
  EXPECT_EQ(plain.get_ini_line(), "\"0,нагрузка,1,5,1,30\"");
  MinMaxRelayValue relay;
  relay.read_from_ini_line(0, line);
  EXPECT_EQ(relay.get_ini_line(), "\"1,нагрузка,0,0,1,40,3\"");

  // The kinds the legacy layout did not have read nothing from it.
  MinMaxSMSValue sms("keep", 0, 9, "1");
  sms.read_from_ini_line(0, line);
  EXPECT_EQ(sms.get_ini_line(), MinMaxSMSValue("keep", 0, 9, "1").get_ini_line());
  MinMaxRTKValue rtk("keep", 0, 9, 1, 2);
  rtk.read_from_ini_line(0, line);
  EXPECT_EQ(rtk.get_ini_line(), MinMaxRTKValue("keep", 0, 9, 1, 2).get_ini_line());
}

// ---- editor data ----------------------------------------------------------------------

TEST(MinMaxGrid, RowsReadBackPerKind) {
  lib::TextGrid grid({"n", "min", "max", "kind", "data"});
  auto put = [&](std::size_t row, const char* name, const char* mn, const char* mx,
                 const char* data) {
    grid.set_cell(row, kGridColName, name);
    grid.set_cell(row, kGridColMin, mn);
    grid.set_cell(row, kGridColMax, mx);
    grid.set_cell(row, kGridColData, data);
  };
  put(1, " давление ", "", "250,5", "");
  put(2, "r", "-3", "abc", "2");
  put(3, "d", "1", "", "-5.00 - 10.50");
  put(4, "d", "", "", "no separator");

  MinMaxValue p;
  p.read_from_grid_line(grid, 1);
  EXPECT_EQ(p.get_ini_line(), "\"0,давление,0,0,1,250.5\"");
  // A negative limit typed in the grid stays in force.
  MinMaxRelayValue r;
  r.read_from_grid_line(grid, 2);
  EXPECT_EQ(r.get_ini_line(), "\"1,r,1,-3,0,0,2\"");
  MinMaxRTKValue d;
  d.read_from_grid_line(grid, 3);
  EXPECT_EQ(d.get_ini_line(), "\"4,d,1,1,0,0,-5,10.5\"");
  d.read_from_grid_line(grid, 4);
  EXPECT_EQ(d.get_ini_line(), "\"4,d,0,0,0,0,0,0\"");
  // A row beyond the grid reads as empty cells.
  MinMaxRelayValue far("x", 1, 2, 3);
  far.read_from_grid_line(grid, 99);
  EXPECT_EQ(far.get_ini_line(), "\"1,\"\",0,0,0,0,-1\"");
}

}  // namespace
