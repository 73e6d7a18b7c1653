#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <numbers>

#include "lib/ini_file.h"
#include "pore/pore_opt.h"
#include "pore/well_values.h"
#include "support/module_state.h"
#include "well_builders.h"

namespace {

using testing_support::bytes_of;
using testing_support::forge_state;
using testing_support::load_state;
using testing_support::save_state;

using pore_tests::cylinder;
using pore_tests::element;
using testing::ElementsAre;

// Stands of drill pipe.
instr::Elem pipe(int count, std::vector<float> lengths, float od, float wall) {
  return pore_tests::make_elem(instr::ElemType::kSvecha, count, std::move(lengths), od, wall);
}

// 2000 m of hole, 1500 m cased; 50 stands of 127 × 9 mm drill pipe, 36 m each.
void fill_well(pore::PoreOpt& pore) {
  pore.construction().set_elements(
      {element("Колонна", 0, 1500, 220), element("Открытый ствол", 1500, 2000, 215.9f)});
  pore.instr().set_elems({pipe(50, {12, 12, 12}, 127, 9)});
}

// ---- volumes -------------------------------------------------------------------------------

// The mud is the hole less the steel run in; the annulus the hole less the whole string's
// outer volume.
TEST(PoreOptTest, MudAndAnnulusVolumes) {
  pore::PoreOpt pore;
  fill_well(pore);
  const auto& stands = pore.instr().elems()[0];
  EXPECT_NEAR(pore.get_volume(0, 0, 1.1), pore.construction().get_volume(1.1), 1e-9);
  EXPECT_NEAR(pore.get_volume(10, 2, 1.1),
              pore.construction().get_volume(1.1) - stands.get_metal_volume(360 + 24), 1e-5);
  const double hole = pore.construction().get_volume(1);
  double steel_to_depth = 0;
  const double annulus = pore.get_zatrub_volume(900, 1, &steel_to_depth);
  EXPECT_NEAR(annulus, hole - stands.get_total_volume(1800), 1e-4);
  EXPECT_NEAR(steel_to_depth, hole - stands.get_metal_volume(900), 1e-5);
}

TEST(PoreOptTest, StringLargerThanTheHoleOrAnEmptyWellGivesZeroNotNegative) {
  pore::PoreOpt pore;
  pore.construction().set_elements({element("Ствол", 0, 10, 100)});  // 0.0785 m³ of hole
  pore.instr().set_elems({pipe(100, {12, 12, 12}, 127, 9)});
  EXPECT_EQ(pore.get_volume(100, 0, 1), 0);
  double unclamped = 0;
  EXPECT_EQ(pore.get_zatrub_volume(3600, 1, &unclamped), 0);
  EXPECT_LT(unclamped, 0);  // the out value is the plain difference
  EXPECT_NEAR(unclamped, cylinder(100, 10) - pore.instr().elems()[0].get_metal_volume(3600), 1e-4);

  pore::PoreOpt empty;
  double out = 7;
  EXPECT_EQ(empty.get_volume(5, 1, 1), 0);
  EXPECT_EQ(empty.get_zatrub_volume(1000, 1, &out), 0);
  EXPECT_EQ(out, 0);
}

// ---- values offered to the registry -------------------------------------------------------

// Stands in for the station's registry: keeps what is registered, in order.
struct FakeRegistry {
  std::vector<pore::WellValue> values;
  double get(const std::string& name) const {
    for (const auto& v : values)
      if (v.name == name) return v.getter();
    ADD_FAILURE() << name << " not registered";
    return -1;
  }
  std::vector<std::string> names() const {
    std::vector<std::string> n;
    for (const auto& v : values) n.push_back(v.name);
    return n;
  }
};

TEST(WellValuesTest, AllValuesWithTheirSources) {
  pore::PoreOpt pore;
  fill_well(pore);
  double cavern = 1.2, bit = 600;
  int stands = 10, pipes = 1;
  pore::WellValueSources sources{[&] { return cavern; }, [&] { return bit; },
                                 [&] { return stands; }, [&] { return pipes; }};
  FakeRegistry reg{pore::well_values(pore, sources)};
  EXPECT_EQ(reg.get("pore.instr.total_count"), 50);
  EXPECT_NEAR(reg.get("pore.instr.total_len"), 1800, 1e-9);
  EXPECT_EQ(reg.get("pore.constr.total_len"), 2000);
  EXPECT_EQ(reg.get("pore.constr.column_bottom"), 1500);
  EXPECT_NEAR(reg.get("pore.constr.total_volume"), pore.construction().get_volume(1.2), 1e-12);
  EXPECT_NEAR(reg.get("pore.rastvor_volume"), pore.get_volume(10, 1, 1.2), 1e-12);
  EXPECT_NEAR(reg.get("pore.zatrub_volume"), pore.get_zatrub_volume(600, 1.2), 1e-12);

  // Getters read the model and the sources when called, not when registered.
  cavern = 1.0;
  pore.construction().recalc_to_depth(2500);
  EXPECT_EQ(reg.get("pore.constr.total_len"), 2500);
  EXPECT_NEAR(reg.get("pore.constr.total_volume"), pore.construction().get_volume(1.0), 1e-12);
}

TEST(WellValuesTest, ValuesWithoutTheirSourcesAreNotOffered) {
  pore::PoreOpt pore;
  FakeRegistry reg{pore::well_values(pore, {})};
  EXPECT_THAT(reg.names(), ElementsAre("pore.instr.total_count", "pore.instr.total_len",
                                       "pore.constr.total_len", "pore.constr.column_bottom"));
  pore::WellValueSources only_cavern;
  only_cavern.cavern_coeff = [] { return 1.0; };
  FakeRegistry reg2{pore::well_values(pore, only_cavern)};
  EXPECT_EQ(reg2.names().size(), 5u);
  EXPECT_EQ(reg2.get("pore.constr.total_volume"), 0);  // empty construction
}

// ---- well options and variables -------------------------------------------------------------

TEST(WellOptionsTest, RestoredStatePublishesTheVariables) {
  pore::WellOptions o;
  o.deposit = "Приобское";
  o.customer = "ООО \"Заказчик\", филиал";
  o.hole_diameter = 215.9;
  o.bashmak_konduktora = 750;
  pore::WellOptions restored;
  std::map<std::string, std::string> vars;
  restored.set_variable_sink([&](const std::string& n, const std::string& v) { vars[n] = v; });
  EXPECT_EQ(load_state(restored, save_state(o)).read, 1);
  EXPECT_EQ(restored.customer, o.customer);
  EXPECT_EQ(restored.hole_diameter, 215.9);
  EXPECT_EQ(vars["pore.deposit"], "Приобское");
  EXPECT_EQ(vars["pore.bashmak_konduktora"], "750");
}

TEST(WellOptionsTest, StateBlockToleratesUnknownMissingAndBadOptions) {
  pore::WellOptions o;
  o.deposit = "before";
  o.rated_depth = 1000;
  lib::io::BinaryMemoryOutputStream payload;
  lib::io::write_binary(payload, std::uint32_t{3});
  for (const char* s : {"скважина", "месторождение", "Ванкорское",         // known
                        "скважина", "из_будущего", "x",                    // unknown key
                        "проектные_данные", "проектная_глубина", "-5"}) {  // out of range
    lib::io::write_binary(payload, std::string(s));
  }
  EXPECT_EQ(load_state(o, forge_state(o, 1, payload.data())).read, 1);
  EXPECT_EQ(o.deposit, "Ванкорское");
  EXPECT_EQ(o.rated_depth, 0);  // clamped into 0..20000
  EXPECT_EQ(o.area, "");        // not in the block: default

  // A block claiming more options than it can hold changes nothing.
  std::vector<std::string> errors;
  load_state(o, forge_state(o, 1, bytes_of(std::uint32_t{1000000})), &errors);
  EXPECT_EQ(errors.size(), 1u);
  EXPECT_EQ(o.deposit, "Ванкорское");
}

// ---- the planned wellbore -----------------------------------------------------------------

TEST(ProjectedWellboreTest, OptionsLiveInTheirSection) {
  lib::IniFile ini;
  ini.load_text(
      "[проект_скважины]\nmethod=1\ndepth=2500\nradius=50\nazimut=120\nsmeshenie=800\n"
      "depth2=2700\nradius2=30\naltitude=85.5\n");
  pore::ProjectedWellbore p;
  EXPECT_TRUE(p.load(ini).empty());
  EXPECT_EQ(p.method(), pore::WbCalcMethod::kTangentialCurvature);
  EXPECT_EQ(p.targets().circles[0], (pore::TargetCircle{2500, 50, 800, 120}));
  EXPECT_EQ(p.targets().circles[1].depth, 2700);
  EXPECT_EQ(p.targets().circles[1].radius, 30);
  EXPECT_EQ(p.targets().altitude, 85.5);

  ini.load_text("[проект_скважины]\nmethod=7\n");  // no such method: the default, reported
  EXPECT_FALSE(p.load(ini).empty());
  EXPECT_EQ(p.method(), pore::WbCalcMethod::kMinimumCurvature);
}

TEST(ProjectedWellboreTest, StateRoundTrip) {
  pore::ProjectedWellbore p;
  p.set_method(pore::WbCalcMethod::kTangentialCurvature);
  p.targets().circles[0] = {2500, 50, 800, 120};
  p.targets().altitude = -12.25;
  pore::ProjectedWellbore restored;
  EXPECT_EQ(load_state(restored, save_state(p)).read, 1);
  EXPECT_EQ(restored.method(), p.method());
  EXPECT_EQ(restored.targets(), p.targets());
}

}  // namespace
