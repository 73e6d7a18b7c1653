// The calculated values as the hub owns them: one instance holding the tanks, the pumps, the
// turbine and the one depth calculator; its tick over the data storage's current values; the
// "tanks.*" named values; the tank settings in the configuration's file; and their state in
// sys.bin, a damaged block costing only its own module.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "calc/calc_values.h"
#include "calc/candle_counter.h"
#include "core/config.h"
#include "core/error_log.h"
#include "core/system.h"
#include "lib/file_system.h"
#include "params/global_nums.h"
#include "params/par_tabl.h"
#include "pore/pore_opt.h"
#include "pore/well_builders.h"
#include "storage/data_storage.h"
#include "support/fakes.h"

using namespace reg;
using testing_support::TempDir;

namespace {

void add_rows(System& hub) {
  params::ParTabl& t = hub.data_storage().par_tabl();
  for (const char* id :
       {"уровень_в_емкости", "уровень_в_емкости2", "объем_в_емкости1", "объем_в_емкости2",
        "объем_емкости", "объем_актив_емкости", "расход_на_входе", "обороты_турбины"}) {
    t.add(id);
  }
  hub.global_nums().calculate(t);
}

double current(System& hub, const char* id) {
  return hub.data_storage().current_values()[id];
}

}  // namespace

TEST(CalcValuesHub, TheTickWritesTankVolumesIntoTheCurrentValuesAndTheRegistry) {
  TempDir dir;
  System hub(SystemOptions{dir.path()});
  add_rows(hub);
  EXPECT_EQ(&hub.depth_calc(), &hub.calc_values().depth_calc()) << "one depth calculator";
  hub.calc_values().tanks()[1].set_area(20);
  hub.calc_values().tanks()[1].set_used(false);
  hub.data_storage().current_values()["уровень_в_емкости"] = 1.2;
  hub.data_storage().current_values()["уровень_в_емкости2"] = 0.5;
  hub.data_storage().current_values()["расход_на_входе"] = 12;
  hub.calc_values().turbine().set_coeff(2.5);
  hub.calc_and_store(100);
  EXPECT_NEAR(current(hub, "обороты_турбины"), 30.0, 1e-9) << "the inlet flow × koef1";
  EXPECT_NEAR(current(hub, "объем_в_емкости1"), 36.0, 1e-4);
  EXPECT_NEAR(current(hub, "объем_в_емкости2"), 10.0, 1e-4);
  EXPECT_NEAR(current(hub, "объем_емкости"), 46.0, 1e-4) << "slot 9: every tank";
  EXPECT_NEAR(current(hub, "объем_актив_емкости"), 36.0, 1e-4);
  EXPECT_NEAR(hub.values().get("tanks.active_volume"), 36.0, 1e-4);
  EXPECT_NEAR(hub.values().get("tanks.whole_volume"), 46.0, 1e-4);
  EXPECT_NEAR(hub.values().get("tanks.doliv_volume"), 0.0, 1e-9);

  // Rows added while running are found on the next tick, though the tick before found none.
  params::ParTabl& t = hub.data_storage().par_tabl();
  t.add("уровень_в_емкости3");
  t.add("объем_в_емкости3");
  hub.global_nums().calculate(t);
  hub.data_storage().current_values()["уровень_в_емкости3"] = 0.1;
  hub.calc_and_store(101);
  EXPECT_NEAR(current(hub, "объем_в_емкости3"), 3.0, 1e-4);
  EXPECT_NEAR(current(hub, "объем_в_емкости1"), 36.0, 1e-4) << "the rows found before";
}

TEST(CalcValuesHub, TankSettingsLoadAndSaveWithTheConfigurationFile) {
  TempDir dir;
  const std::string path = dir.file("global.ini");
  {
    System hub(SystemOptions{dir.path()});
    hub.calc_values().tanks()[2].set_area(12.5f);
    hub.calc_values().tanks()[2].set_caption("Приёмная");
    hub.calc_values().tanks()[2].set_table({{0, 0}, {1, 10}, {2, 30}});
    hub.calc_values().turbine().set_coeff(4);
    hub.config().save_to_file(path, hub.file_system());
  }
  System hub(SystemOptions{dir.path()});
  const auto notes = hub.config().load_for_start(path, hub.file_system());
  EXPECT_TRUE(notes.empty()) << notes.front();
  EXPECT_FLOAT_EQ(hub.calc_values().tanks()[2].get_s(), 12.5f);
  EXPECT_EQ(hub.calc_values().tanks()[2].get_caption(), "Приёмная");
  EXPECT_EQ(hub.calc_values().tanks()[2].table().size(), 3u);
  EXPECT_DOUBLE_EQ(hub.calc_values().turbine().coeff(), 4.0);
}

TEST(CalcValuesHub, ADamagedTankBlockInSysBinCostsOnlyItself) {
  TempDir a_dir, c_dir;
  System a(SystemOptions{a_dir.path()});
  a.register_modules();
  a.calc_values().tanks()[0].calc_volume(1.5f);  // 45 m³
  a.calc_values().pumps().work(std::array<float, 6>{0, 55, 0, 0, 0, 0});
  a.data_storage().set_depth_z(1520.5);
  ASSERT_TRUE(a.save_to_file(a_dir.path()));

  // One byte of the tanks' block changed: that block is refused, the others are read.
  std::string bytes = testing_support::read_file(a_dir.file("sys.bin"));
  const auto at = bytes.find("VEmkOpt");
  ASSERT_NE(at, std::string::npos);
  bytes[at + 7 + 12 + 2] ^= 0x40;  // inside the fields, after the version and the length
  {
    std::ofstream out(c_dir.file("sys.bin"), std::ios::binary);
    out << bytes;
  }
  System c(SystemOptions{c_dir.path()});
  c.register_modules();
  const StateLoadReport damaged = c.load_from_file(c_dir.path());
  EXPECT_TRUE(damaged.damaged());
  EXPECT_EQ(c.calc_values().tanks()[0].get_volume(), 0.0f) << "the tanks keep their defaults";
  EXPECT_TRUE(c.calc_values().pumps().is_working(1)) << "the pumps' block is read";
  EXPECT_DOUBLE_EQ(c.data_storage().depth_z(), 1520.5);
  EXPECT_FALSE(damaged.kept_copy.empty()) << "the original is kept aside";
}

// The stands through the hub's tick: the counter takes its limit from the drill string and
// each tick's hook load and block position from their rows; a sample whose hook load is not
// this tick's reading is skipped, once told.
TEST(CalcValuesHub, StandsAreCountedFromTheRowsAndASampleNotCurrentIsSkipped) {
  TempDir dir;
  System hub(SystemOptions{dir.path()});
  params::ParTabl& t = hub.data_storage().par_tabl();
  for (const char* id : {"вес_на_крюке", "тальблок", "число_свечей", "число_трубок"}) t.add(id);
  hub.global_nums().calculate(t);
  hub.pore_opt().instr().set_elems(
      {pore_tests::make_elem(instr::ElemType::kSvecha, 40, {10, 10, 10}, 127, 9)});
  hub.config().dol.block_travel = 30;  // a stand of three 10 m pipes
  std::uint32_t now = 0;
  const int hook_row = hub.global_nums()[GlobalNums::kVesNaKryuke];
  auto tick = [&](double hook, double block, bool hook_current = true) {
    hub.data_storage().current_values()["вес_на_крюке"] = hook;
    hub.data_storage().current_values()["тальблок"] = block;
    hub.calc_and_store(++now, [&](int row) { return hook_current || row != hook_row; });
  };
  // The empty block raised 2 -> 30 m, the stand run in loaded 30 -> 2 m, the block raised.
  for (int m = 2; m <= 30; ++m) tick(5, m);
  for (int m = 29; m >= 2; --m) tick(80, m);
  for (int m = 3; m <= 6; ++m) tick(5, m);
  EXPECT_EQ(hub.candle_counter().get_max_count(), 40) << "the string's stands";
  EXPECT_EQ(current(hub, "число_свечей"), 1);
  EXPECT_EQ(current(hub, "число_трубок"), 0);

  const std::size_t samples = hub.candle_counter().items().size();
  tick(5, 7, false);
  tick(5, 8, false);
  EXPECT_EQ(hub.candle_counter().items().size(), samples);
  const std::string log = testing_support::read_file(hub.error_log().file());
  EXPECT_EQ(log.find("CalcValues::calc_pipes : the hook load"),
            log.rfind("CalcValues::calc_pipes : the hook load"))
      << "told once: " << log;
  EXPECT_NE(log.find("(1 stands, 0 pipes)"), std::string::npos) << log;
}
