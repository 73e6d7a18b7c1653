#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "instr/instr_dicts_provider.h"
#include "instr/items.h"
#include "lib/dicts_provider.h"
#include "support/module_state.h"
#include "well_builders.h"

namespace {

using instr::CalcResult;
using instr::Elem;
using instr::ElemType;
using instr::Items;
using pore_tests::make_elem;
using testing_support::bytes_of;
using testing_support::forge_state;
using testing_support::load_state;
using testing_support::save_state;

// Bit, collar stands, drill-pipe stands: the usual order of a tally.
Items sample_tally() {
  Items items;
  items.set_elems({make_elem(ElemType::kBit, 1, {0.5f}, 215.9f, 50, 100),
                   make_elem(ElemType::kCollarSvecha, 4, {12.f, 12.f}, 178, 45, 156),
                   make_elem(ElemType::kSvecha, 10, {12.f, 12.f, 12.5f}, 127, 9, 29.1f)});
  return items;
}

// ---- one element ---------------------------------------------------------------------------

TEST(ElemTest, LengthsOfPiecesAndPipes) {
  Elem stands = make_elem(ElemType::kSvecha, 10, {12.f, 12.f, 12.5f}, 127, 9);
  EXPECT_DOUBLE_EQ(stands.get_len(10), 365.0);
  EXPECT_DOUBLE_EQ(stands.get_len(), 365.0);  // -1: the element's own count
  EXPECT_DOUBLE_EQ(stands.get_len(3), 109.5);
  EXPECT_DOUBLE_EQ(stands.get_len_pipes(2), 24.0);
  EXPECT_DOUBLE_EQ(stands.get_len_pipes(7), 36.5);  // only the listed pipes
  EXPECT_DOUBLE_EQ(stands.get_len_pipes(0), 0.0);
  EXPECT_DOUBLE_EQ(stands.get_len_pipes(-3), 0.0);
  EXPECT_DOUBLE_EQ(stands.get_len(-2), 0.0);  // only -1 means "all"
}

TEST(ElemTest, VolumesOf127By9mmPipe) {
  Elem pipe = make_elem(ElemType::kSvecha, 1, {100.f}, 127, 9, 29.1f);
  EXPECT_NEAR(pipe.get_metal_volume(100), 0.3336, 5e-5);
  EXPECT_NEAR(pipe.get_total_volume(100), 1.2668, 5e-5);
  EXPECT_NEAR(pipe.get_metal_weight(100), 2910, 1e-3);
  // The piece-count forms go through the piece length.
  EXPECT_DOUBLE_EQ(pipe.get_metal_volume_of(1), pipe.get_metal_volume(100));
  EXPECT_DOUBLE_EQ(pipe.get_total_volume_of(-1), pipe.get_total_volume(100));
  // Steel is the ring between the outer and the bore circle, computed from float areas.
  const float outer = static_cast<float>(std::numbers::pi / 4 * 0.127 * 0.127);
  const float bore = static_cast<float>(std::numbers::pi / 4 * 0.109 * 0.109);
  EXPECT_DOUBLE_EQ(pipe.get_metal_volume(1), static_cast<double>(outer) - bore);
}

TEST(ElemTest, CheckRefusesNonsense) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_FALSE(make_elem(ElemType::kSvecha, 0, {}, 0, 0).check());  // an empty element is fine
  EXPECT_TRUE(make_elem(ElemType::kSvecha, -1, {12.f}, 127, 9).check());
  EXPECT_TRUE(make_elem(ElemType::kSvecha, 1, {nan}, 127, 9).check());
  EXPECT_TRUE(make_elem(ElemType::kSvecha, 1, {-12.f}, 127, 9).check());
  EXPECT_TRUE(make_elem(ElemType::kSvecha, 1, {12.f}, nan, 9).check());
  EXPECT_TRUE(make_elem(ElemType::kSvecha, 1, {12.f}, 127, 64).check());  // wall > radius
  EXPECT_TRUE(make_elem(ElemType::kSvecha, 1, {12.f}, 127, 9, -1).check());
  EXPECT_TRUE(make_elem(ElemType::kSvecha, 1, {1000.f}, 127, 9).check());
  // A wall of exactly half the diameter is a solid bar: allowed, all steel, no negative bore.
  const Elem bar = make_elem(ElemType::kOther, 1, {1.f}, 100, 50);
  EXPECT_FALSE(bar.check());
  EXPECT_NEAR(bar.get_metal_volume(1), bar.get_total_volume(1), 1e-8);
}

TEST(ElemTest, OnlyStringPiecesAreCounted) {
  for (ElemType t : {ElemType::kSvecha, ElemType::kSingle, ElemType::kDouble, ElemType::kTriple,
                     ElemType::kCollarSvecha}) {
    EXPECT_TRUE(instr::have_to_be_counted(static_cast<std::int32_t>(t)));
  }
  for (int t : {0, 6, 7, 8, 9, 10, 11, -1, 99}) EXPECT_FALSE(instr::have_to_be_counted(t));
}

TEST(ElemTypeTest, NamesAndNumbersReadBack) {
  for (const auto& n : instr::elem_type_names()) {
    EXPECT_EQ(instr::parse_elem_type(n.name), static_cast<std::int32_t>(n.type)) << n.name;
  }
  EXPECT_EQ(instr::parse_elem_type("СВЕЧА"), 1);  // letter case does not matter
  EXPECT_EQ(instr::parse_elem_type(" 42 "), 42);  // a kind from a newer program is kept
  EXPECT_EQ(instr::elem_type_name(42), "42");
  EXPECT_FALSE(instr::parse_elem_type("труба?"));
  EXPECT_FALSE(instr::parse_elem_type(""));
}

// ---- the tally -----------------------------------------------------------------------------

TEST(ItemsTest, RefusedElementsLeaveTheTallyAsItWas) {
  Items items = sample_tally();
  auto before = items.elems();
  EXPECT_THROW(items.set_elems({make_elem(ElemType::kSvecha, -5, {12.f}, 127, 9)}),
               std::invalid_argument);
  EXPECT_THROW(items.add(make_elem(ElemType::kSvecha, 1, {12.f}, 127, 70)), std::invalid_argument);
  EXPECT_EQ(items.elems(), before);
  EXPECT_THROW(items.set_svecha_size(0), std::invalid_argument);
  EXPECT_THROW(items.set_svecha_size(11), std::invalid_argument);
  EXPECT_EQ(items.get_svecha_size(), Items::kDefaultSvechaSize);
}

// Over the sample tally: bit 0.5 m, 4 collar stands of 24 m, 10 drill-pipe stands of 36.5 m.
class CalcMiscTest : public testing::Test {
 protected:
  Items items = sample_tally();
  const std::vector<Elem>& e = items.elems();
  CalcResult r;
};

TEST_F(CalcMiscTest, EmptyTallyGivesZeros) {
  items.set_elems({});
  r.total_len = 99;  // stale content must be cleared
  items.calc_misc(5, 2, 1000, r);
  EXPECT_EQ((std::vector<float>{r.len_n, r.total_len, r.total_count, r.metal_volume,
                                r.metal_volume_depth, r.max_diameter}),
            std::vector<float>(6, 0.0f));
  EXPECT_EQ(r.elem_count, 0);
}

TEST_F(CalcMiscTest, FirstPiecesRunAcrossElements) {
  items.calc_misc(7, 0, 0, r);  // the bit, 4 collar stands, 2 drill-pipe stands
  EXPECT_NEAR(r.len_n, 0.5 + 96 + 73, 1e-4);
  EXPECT_NEAR(r.metal_volume_n,
              e[0].get_metal_volume(0.5) + e[1].get_metal_volume(96) + e[2].get_metal_volume(73),
              1e-6);
  EXPECT_NEAR(r.total_volume_n,
              e[0].get_total_volume(0.5) + e[1].get_total_volume(96) + e[2].get_total_volume(73),
              1e-6);
  EXPECT_NEAR(r.weight_n, 100 * 0.5 + 156 * 96 + 29.1 * 73, 1e-2);
  EXPECT_EQ(r.elem, e[2]);
  EXPECT_EQ(r.elem_count, 2);
}

TEST_F(CalcMiscTest, ExtraPipesComeFromTheElementThePiecesEndIn) {
  items.calc_misc(7, 2, 0, r);  // as above plus two 12 m pipes of the third stand
  EXPECT_NEAR(r.len_n, 0.5 + 96 + 73 + 24, 1e-4);
  EXPECT_EQ(r.elem_pipes, 2);

  // When the pieces fill an element exactly, the extra pipes belong to the next one.
  items.calc_misc(5, 1, 0, r);  // bit + 4 collar stands, then one drill pipe
  EXPECT_NEAR(r.len_n, 0.5 + 96 + 12, 1e-4);
  EXPECT_EQ(r.elem, e[2]);
  EXPECT_EQ(r.elem_count, 0);

  // No pieces at all: the pipes come from the first element.
  items.calc_misc(0, 1, 0, r);
  EXPECT_NEAR(r.len_n, 0.5, 1e-6);
}

TEST_F(CalcMiscTest, MorePiecesThanTheStringHasTakeTheWholeString) {
  items.calc_misc(1000, 3, 0, r);
  EXPECT_NEAR(r.len_n, items.get_total_len(), 1e-3);
  EXPECT_NEAR(r.metal_volume_n, r.metal_volume, 1e-6);
}

TEST_F(CalcMiscTest, NegativeCountsAndBadDepthsCountAsZero) {
  items.calc_misc(-1, -4, 0, r);  // -1 must not turn into "the whole element"
  EXPECT_EQ(r.len_n, 0);
  EXPECT_EQ(r.metal_volume_n, 0);
  for (double d : {-10.0, std::numeric_limits<double>::quiet_NaN()}) {
    items.calc_misc(0, 0, d, r);
    EXPECT_EQ(r.metal_volume_depth, 0) << d;
    EXPECT_EQ(r.metal_weight_depth, 0) << d;
  }
}

TEST_F(CalcMiscTest, ElementsWithoutPiecesAreSkipped) {
  items.set_elems({make_elem(ElemType::kBit, 1, {0.4f}, 215.9f, 50),
                   make_elem(ElemType::kSvecha, 0, {12.f, 12.f}, 89, 9),
                   make_elem(ElemType::kSvecha, 3, {12.f, 12.f, 12.f}, 127, 9)});
  items.calc_misc(2, 1, 0, r);
  EXPECT_NEAR(r.len_n, 0.4 + 36 + 12, 1e-4);
  EXPECT_EQ(r.elem, items.elems()[2]);
}

TEST_F(CalcMiscTest, SteelDownToADepth) {
  items.calc_misc(items.get_total_count(), 0, 50, r);  // bit and 49.5 m of collars
  EXPECT_NEAR(r.metal_volume_depth, e[0].get_metal_volume(0.5) + e[1].get_metal_volume(49.5), 1e-6);
  EXPECT_NEAR(r.metal_weight_depth, 100 * 0.5 + 156 * 49.5, 1e-2);
}

TEST_F(CalcMiscTest, DepthBeyondTheStringGoesToItsLastElement) {
  items.calc_misc(0, 0, 1000, r);  // string is 461.5 m; the rest counts as drill pipe
  const double expected =
      e[0].get_metal_volume(0.5) + e[1].get_metal_volume(96) + e[2].get_metal_volume(1000 - 96.5);
  EXPECT_NEAR(r.metal_volume_depth, expected, 1e-5);
  EXPECT_GT(r.metal_volume_depth, r.metal_volume);
}

TEST_F(CalcMiscTest, WholeStringTotals) {
  EXPECT_EQ(items.get_total_count(), 15);
  EXPECT_NEAR(items.get_total_len(), 0.5 + 96 + 365, 1e-9);
  items.calc_misc(0, 0, 0, r);
  EXPECT_EQ(r.total_count, 15);
  EXPECT_NEAR(r.total_len, 461.5, 1e-4);
  EXPECT_EQ(r.max_diameter, 215.9f);
  double metal = 0, outer = 0, weight = 0;
  for (const Elem& elem : e) {
    metal += elem.get_metal_volume_of(-1);
    outer += elem.get_total_volume_of(-1);
    weight += elem.get_metal_weight_of(-1);
  }
  EXPECT_NEAR(r.metal_volume, metal, 1e-6);
  EXPECT_NEAR(r.total_volume, outer, 1e-5);
  EXPECT_NEAR(r.total_weight, weight, 1e-1);
}

// ---- saved state ---------------------------------------------------------------------------

TEST(ItemsStateTest, RoundTripThroughTheStateFile) {
  Items items = sample_tally();
  items.set_svecha_size(2);
  Items restored;
  EXPECT_EQ(load_state(restored, save_state(items)).read, 1);
  EXPECT_EQ(restored.elems(), items.elems());
  EXPECT_EQ(restored.get_svecha_size(), 2);
}

TEST(ItemsStateTest, ABlockWithNonsenseKeepsTheStoredTally) {
  Items items = sample_tally();
  // A well-formed block: 3 pipes per stand, one element of count -7, type 1, 127 mm,
  // 29 kg/m, 9 mm wall, no pipes.
  const std::string payload = bytes_of(std::int32_t{3}, std::uint32_t{1}, std::int32_t{-7},
                                       std::int32_t{1}, 127.0f, 29.0f, 9.0f, std::uint32_t{0});
  std::vector<std::string> errors;
  EXPECT_EQ(load_state(items, forge_state(items, Items::kSerialVersion, payload), &errors).read, 0);
  EXPECT_THAT(errors, testing::Contains(testing::HasSubstr("count -7")));
  EXPECT_EQ(items.elems(), sample_tally().elems());
}

TEST(ItemsStateTest, AHugeElementCountIsRefusedWithoutAllocating) {
  Items items = sample_tally();
  std::vector<std::string> errors;
  load_state(items, forge_state(items, 1, bytes_of(std::int32_t{3}, std::uint32_t{0xFFFFFFF0})),
             &errors);
  EXPECT_EQ(errors.size(), 1u);
  EXPECT_EQ(items.size(), 3u);
}

// ---- dictionaries ----------------------------------------------------------------------------

struct FakeGeneralDicts : lib::DictsProvider {
  void get_dict_items(const std::string& name, lib::StringContainer& items) override {
    items.clear();
    if (name == "@bottom_hole_assembly_dict") items.add("УБТ", 2);
  }
  std::string get_item(const lib::StringContainer&, int) override { return {}; }
  int index_of(const lib::StringContainer&, const std::string&) override { return -1; }
  bool allow_manual_edit() override { return true; }
};

TEST(InstrDictsProviderTest, ServesElementKindsAndHandsOtherDictionariesOn) {
  instr::InstrDictsProvider provider(std::make_unique<FakeGeneralDicts>());
  lib::StringContainer items;
  provider.get_dict_items(instr::kElemTypesDict, items);
  ASSERT_EQ(items.size(), instr::elem_type_names().size());
  EXPECT_EQ(provider.get_item(items, 1), "Свеча");
  EXPECT_EQ(provider.index_of(items, "Долото"), 6);
  EXPECT_EQ(provider.index_of(items, "нет такого"), -1);
  EXPECT_EQ(provider.get_item(items, 555), "");

  provider.get_dict_items("@bottom_hole_assembly_dict", items);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0], "УБТ");

  instr::InstrDictsProvider alone;
  items.add("stale");
  alone.get_dict_items("@bottom_hole_assembly_dict", items);
  EXPECT_TRUE(items.empty());
}

}  // namespace
