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
