#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "pore/construction.h"
#include "support/module_state.h"
#include "well_builders.h"

namespace {

using testing_support::bytes_of;
using testing_support::forge_state;
using testing_support::load_state;
using testing_support::save_state;

using pore::ConstrElement;
using pore::Construction;
using pore::SimplePCE;
using pore_tests::cylinder;
using pore_tests::element;
using testing::ElementsAre;

// Casing 0-1500 m (220 mm bore) and open hole 1500-2000 m (215.9 mm bit).
Construction casing_and_open_hole() {
  Construction c;
  c.set_elements({element("Эксплуатационная колонна", 0, 1500, 220),
                  element("Открытый ствол", 1500, 2000, 215.9f)});
  return c;
}

TEST(ConstructionTest, CasingPlusOpenHoleVolume) {
  Construction c = casing_and_open_hole();
  // π × 0.11² × 1500 + π × 0.10795² × 500 ≈ 57.02 + 18.30
  EXPECT_NEAR(c.get_volume(1), 75.32, 0.005);
  EXPECT_NEAR(c.get_volume(1), cylinder(220, 1500) + cylinder(215.9, 500), 1e-4);
  EXPECT_NEAR(c.get_volume(1.2), 1.2 * c.get_volume(1), 1e-9);
}

TEST(ConstructionTest, ConductorCoveredByTheCasingAddsNothing) {
  Construction c;
  c.set_elements({element("Кондуктор", 0, 50, 320), element("Колонна", 0, 1500, 220),
                  element("Открытый ствол", 1500, 2000, 215.9f)});
  EXPECT_NEAR(c.get_volume(1), casing_and_open_hole().get_volume(1), 1e-9);
  std::vector<SimplePCE> sections;
  c.get_real_items(sections);
  EXPECT_THAT(sections,
              ElementsAre(SimplePCE{0, 0, 1500, 0, 220}, SimplePCE{0, 1500, 2000, 0, 215.9f}));
}

TEST(ConstructionTest, ShallowerElementsFillOnlyWhatLiesAbove) {
  // A 426 mm conductor to 30 m, then 324 mm casing from 30 m: both bound the hole.
  Construction c;
  c.set_elements({element("Направление", 0, 30, 426), element("Кондуктор", 30, 600, 324),
                  element("Открытый ствол", 600, 900, 295.3f)});
  std::vector<SimplePCE> sections;
  c.get_real_items(sections);
  EXPECT_THAT(sections, ElementsAre(SimplePCE{0, 0, 30, 0, 426}, SimplePCE{0, 30, 600, 0, 324},
                                    SimplePCE{0, 600, 900, 0, 295.3f}));
  EXPECT_NEAR(c.get_volume(1), cylinder(426, 30) + cylinder(324, 570) + cylinder(295.3, 300), 1e-4);
  // An element that starts less than a millimetre above the next one is rounding: left out.
  c.set_elements({element("A", 0, 100, 300), element("B", 0.0005f, 200, 200)});
  c.get_real_items(sections);
  EXPECT_EQ(sections.size(), 1u);
}

TEST(ConstructionTest, UnusedElementsEmptyConstructionAndBadCavernCoefficients) {
  Construction c = casing_and_open_hole();
  auto elements = c.elements();
  elements[0].used = false;  // only the open hole remains
  c.set_elements(elements);
  EXPECT_NEAR(c.get_volume(1), cylinder(215.9, 500), 1e-4);
  for (double bad :
       {-1.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
    EXPECT_EQ(c.get_volume(bad), 0) << bad;
  }

  Construction empty;
  EXPECT_EQ(empty.get_volume(1), 0);
  EXPECT_EQ(empty.get_total_len(), 0);
  EXPECT_EQ(empty.get_column_bottom(), 0);
  EXPECT_FALSE(empty.recalc_to_depth(100));
  std::vector<SimplePCE> sections{SimplePCE{}};
  empty.get_real_items(sections);
  EXPECT_TRUE(sections.empty());
}

TEST(ConstructionTest, OpenHoleFollowsTheBottomHoleDepth) {
  Construction c = casing_and_open_hole();
  auto elements = c.elements();
  elements[1].used = false;
  c.set_elements(elements);
  EXPECT_TRUE(c.recalc_to_depth(2100));
  EXPECT_EQ(c.get_total_len(), 2100);
  EXPECT_TRUE(c.elements().back().used);
  EXPECT_NEAR(c.get_volume(1), cylinder(220, 1500) + cylinder(215.9, 600), 1e-4);
  // A bit above the open hole's top leaves it empty, never negative.
  EXPECT_TRUE(c.recalc_to_depth(1400));
  EXPECT_NEAR(c.get_volume(1), cylinder(220, 1500), 1e-4);
  for (double bad : {-1.0, std::numeric_limits<double>::quiet_NaN(), 1e9}) {
    EXPECT_FALSE(c.recalc_to_depth(bad));
  }
  EXPECT_EQ(c.get_total_len(), 1400);
}

TEST(ConstructionTest, ColumnBottomIsTheInnermostCasingShoe) {
  Construction c;
  c.set_elements({element("Кондуктор", 0, 500, 320), element("Колонна", 0, 1500, 220),
                  element("Хвостовик", 1400, 1800, 150, false),
                  element("Открытый ствол", 1500, 2000, 215.9f)});
  EXPECT_EQ(c.get_column_bottom(), 1500);  // the unused liner does not count
  EXPECT_EQ(c.get_total_len(), 2000);
}

TEST(ConstructionTest, RefusedElementsChangeNothing) {
  Construction c = casing_and_open_hole();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_THROW(c.add(element("x", nan, 10, 100)), std::invalid_argument);
  EXPECT_THROW(c.add(element("x", -5, 10, 100)), std::invalid_argument);
  EXPECT_THROW(c.set_elements({element("x", 0, 10, -1)}), std::invalid_argument);
  EXPECT_EQ(c.elements(), casing_and_open_hole().elements());
}

TEST(ConstrElementTest, StoredLineRoundTripAndOrderByDiameter) {
  ConstrElement e = element("Колонна 245, \"ОТТМ\"", 0, 1500.5f, 220.5f, false);
  e.further = 7.25f;
  e.kind = 4;
  EXPECT_EQ(e.to_line(), "\"Колонна 245, \"\"ОТТМ\"\"\",0,1500.5,220.5,0,7.25");
  ConstrElement back;
  back.kind = 4;  // not part of the line
  std::string why;
  ASSERT_TRUE(back.from_line(e.to_line(), why)) << why;
  EXPECT_EQ(back, e);
  const auto narrow = element("a", 0, 1, 100), wide = element("b", 0, 1, 200);
  EXPECT_TRUE(narrow < wide);
  EXPECT_FALSE(wide < narrow);
}

TEST(ConstrElementTest, ShortAndBadLines) {
  ConstrElement e;
  std::string why;
  ASSERT_TRUE(e.from_line("Ствол,1500,2000,215.9", why));  // used and further default
  EXPECT_TRUE(e.used);
  EXPECT_EQ(e.further, 0);

  const ConstrElement before = e;
  for (const char* bad :
       {"", "Ствол", "Ствол,1500", "Ствол,abc,2000,215.9", "Ствол,1500,2000,215.9,да",
        "Ствол,1500,2000,-215.9", "Ствол,1500,2000,215.9,1,x", "Ствол,nan,2000,215.9"}) {
    why.clear();
    EXPECT_FALSE(e.from_line(bad, why)) << bad;
    EXPECT_FALSE(why.empty()) << bad;
    EXPECT_EQ(e, before) << bad;
  }
}

TEST(ConstructionStateTest, RoundTripKeepsKindAndEveryField) {
  Construction c = casing_and_open_hole();
  auto elements = c.elements();
  elements[0].kind = 2;
  elements[0].further = 1.5f;
  elements[1].used = false;
  c.set_elements(elements);
  Construction restored;
  EXPECT_EQ(load_state(restored, save_state(c)).read, 1);
  EXPECT_EQ(restored.elements(), c.elements());
}

TEST(ConstructionStateTest, AnUnreadableLineKeepsTheStoredConstruction) {
  Construction c = casing_and_open_hole();
  const std::string payload = bytes_of(std::uint32_t{2}, std::int32_t{0}, "Колонна,0,1000,220,1,0",
                                       std::int32_t{0}, "Ствол,1000,oops,215.9,1,0");
  std::vector<std::string> errors;
  auto report = load_state(c, forge_state(c, 1, payload), &errors);
  EXPECT_EQ(report.read, 0);
  EXPECT_THAT(errors, ElementsAre(testing::HasSubstr("element 2")));
  EXPECT_EQ(c.elements(), casing_and_open_hole().elements());
}

}  // namespace
