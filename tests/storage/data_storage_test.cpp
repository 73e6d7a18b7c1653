#include "storage/data_storage.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

#include "lib/module_list.h"
#include "params/all_params.h"
#include "params/global_nums.h"
#include "storage/storage_values_backend.h"
#include "support/fakes.h"

using testing_support::TempDir;

namespace {

struct Fixture {
  TempDir home;
  params::AllParams catalogue{home.path(), lib::posix_file_system()};
  ds_tmp::DataStorage ds{catalogue};

  // Rows in this order: hook load, inlet pressure, block position.
  Fixture() {
    for (const char* id : {"вес_на_крюке", "давление_на_входе", "тальблок"}) ds.par_tabl().add(id);
  }
  params::Param& row(int i) { return ds.par_tabl()[i]; }
  void tick_value(int slot, double v) {
    ds.current_values()[slot] = v;
    ds.average_values().calculate_values(false);
  }
};

TEST(DataStorageAverages, CountsBelowOneReadTheRawValueAndAboveAThousandActAsAThousand) {
  Fixture f;
  f.row(0).averaging = 0;
  f.row(1).averaging = -7;
  f.row(2).averaging = 5000;
  for (int t = 1; t <= 1500; ++t) {
    f.ds.current_values()[0] = t;
    f.ds.current_values()[1] = -t;
    f.ds.current_values()[2] = t;
    f.ds.average_values().calculate_values(false);
  }
  EXPECT_EQ(f.ds[0], 1500.0);
  EXPECT_EQ(f.ds[1], -1500.0);
  EXPECT_EQ(f.ds.average_values().window_size(2), 1000u);
  EXPECT_DOUBLE_EQ(f.ds[2], (501.0 + 1500.0) / 2);  // the mean of 501..1500
}

TEST(DataStorageAverages, ReadingFollowsTheWindowAndLoweringTheCountTrims) {
  Fixture f;
  f.row(0).averaging = 4;
  f.tick_value(0, 10);
  EXPECT_EQ(f.ds[0], 10.0) << "one value in the window reads the current value";
  f.ds.current_values()[0] = 99;
  EXPECT_EQ(f.ds[0], 99.0);
  f.tick_value(0, 20);
  EXPECT_EQ(f.ds[0], 15.0);
  for (double v : {30.0, 40.0, 50.0}) f.tick_value(0, v);
  EXPECT_EQ(f.ds[0], 35.0);  // 20..50
  f.row(0).averaging = 2;
  f.tick_value(0, 60);
  EXPECT_EQ(f.ds.average_values().window_size(0), 2u);
  EXPECT_EQ(f.ds[0], 55.0);
  EXPECT_EQ(f.ds["ВЕС_НА_КРЮКЕ"], 55.0) << "names ignore case";
}

TEST(DataStorageAverages, TheTwoPassesTakeDisjointRows) {
  Fixture f;
  f.row(0).averaging = 3;
  f.row(1).averaging = 3;
  f.row(1).channel.channel = ds_tmp::kSeparatePassChannel;
  f.ds.current_values()[0] = 1;
  f.ds.current_values()[1] = 1;
  f.ds.average_values().calculate_values(false);
  EXPECT_EQ(f.ds.average_values().window_size(0), 1u);
  EXPECT_EQ(f.ds.average_values().window_size(1), 0u);
  f.ds.average_values().calculate_values(true);
  EXPECT_EQ(f.ds.average_values().window_size(0), 1u);
  EXPECT_EQ(f.ds.average_values().window_size(1), 1u);
}

TEST(DataStorageAverages, OutOfRangeSlotsAndUnknownNamesAreAZeroedSpare) {
  Fixture f;
  f.ds[600] = 5;
  EXPECT_EQ(f.ds[600], 0.0);
  f.ds[-1] = 5;
  EXPECT_EQ(f.ds["нет_такого"], 0.0);
  f.ds.current_values()[512] = 7;
  EXPECT_EQ(f.ds.current_values()[512], 0.0);
  f.ds.crush_flags()[999] = 1;
  EXPECT_EQ(f.ds.crush_flags()[999], 0);
  f.ds.crush_flags()["давление_на_входе"] = 1;
  EXPECT_EQ(f.ds.crush_flags()[1], 1);
}

TEST(DataStorageState, SavedAveragesAreReadBeforeTheFirstPass) {
  Fixture a;
  a.row(0).averaging = 5;
  for (double v : {10.0, 20.0, 30.0}) a.tick_value(0, v);
  a.ds.set_depth_z(2500);
  a.ds.set_depth_cur(2400.5);
  a.ds.set_circulation_on(false);
  a.ds.set_current_operation_item({4, 2, 3, 9});
  lib::ModuleList list;
  list.register_module(a.ds, "DataStorage");
  list.register_module(a.ds.average_values(), "AverageValues");
  lib::io::BinaryMemoryOutputStream out;
  list.serialize(out, nullptr, 1);

  Fixture b;
  b.row(0).averaging = 5;
  lib::ModuleList into;
  into.register_module(b.ds, "DataStorage");
  into.register_module(b.ds.average_values(), "AverageValues");
  lib::io::BinaryMemoryInputStream in(out.data());
  auto report = into.deserialize(in, 1, nullptr);
  EXPECT_EQ(report.read, 2);
  EXPECT_EQ(b.ds[0], 20.0) << "the saved average, before any averaging pass";
  EXPECT_EQ(b.ds.depth_z(), 2500.0);
  EXPECT_EQ(b.ds.depth_cur(), 2400.5);
  EXPECT_FALSE(b.ds.circulation_on());
  // Only the first three fields of the operation are kept.
  EXPECT_EQ(b.ds.current_operation_item(), (calc::CurrentOperationItem{4, 2, 3, 1}));
  // The state names the row of every slot, so a later table can be compared with it.
  ASSERT_NE(b.ds.saved_slot_identifiers(), nullptr);
  EXPECT_EQ(*b.ds.saved_slot_identifiers(),
            (std::vector<std::string>{"вес_на_крюке", "давление_на_входе", "тальблок"}));
}

TEST(DataStorageState, AnOlderBlockWithoutSlotNamesSaysItDoesNotKnowThem) {
  Fixture a;
  a.ds.set_depth_z(700);
  // The first layout: the fields up to the host values, nothing after them.
  lib::io::BinaryMemoryOutputStream out;
  lib::serial_list writer(out, 1);
  unsigned version = 0;
  a.ds.get_serial_list(writer, version);
  ASSERT_EQ(version, 3u);
  std::string block = out.release();
  // Drop the forced operation, sub-operation and work type, and before them the list of
  // names: its count, then each name as a length and its bytes.
  std::size_t names = 4 + 3 * 4;
  for (const char* id : {"вес_на_крюке", "давление_на_входе", "тальблок"})
    names += 4 + std::string(id).size();
  block.resize(block.size() - names);
  Fixture b;
  b.ds.set_forced_operation_item({7, 19, 7, 1});
  lib::io::BinaryMemoryInputStream in(block);
  lib::serial_list reader(in, 1);
  unsigned old = 1;
  b.ds.get_serial_list(reader, old);
  EXPECT_TRUE(in.at_end());
  EXPECT_EQ(b.ds.depth_z(), 700.0);
  EXPECT_EQ(b.ds.saved_slot_identifiers(), nullptr);
  EXPECT_EQ(b.ds.forced_operation_item(), calc::CurrentOperationItem{})
      << "an older layout kept no forced operation";
}

TEST(DataStorageDepths, TheBitFollowsTheBottomOnlyWhenOnBottom) {
  Fixture f;
  f.ds.set_depth_z(100);
  EXPECT_EQ(f.ds.depth_cur(), 100.0) << "a new well starts with the bit on bottom";
  f.ds.set_depth_z(110);
  EXPECT_EQ(f.ds.depth_cur(), 110.0);

  f.ds.set_depth_z(100);
  f.ds.set_depth_cur(90);
  f.ds.set_depth_z(95);
  EXPECT_EQ(f.ds.depth_cur(), 90.0);
  f.ds.set_depth_z(80);
  EXPECT_EQ(f.ds.depth_cur(), 80.0);

  f.ds.set_depth_z(100);
  f.ds.set_depth_cur(120);
  EXPECT_EQ(f.ds.depth_cur(), 100.0);
  EXPECT_EQ(f.ds.get_depth_uz(), 0.0);
  f.ds.set_depth_cur(40);
  EXPECT_EQ(f.ds.get_depth_uz(), 60.0);
}

TEST(DataStorageDepths, OutOfRangeDepthsThrowTheirMessagesAndChangeNothing) {
  Fixture f;
  f.ds.set_depth_z(15000);
  f.ds.set_depth_cur(14000);
  using testing::StrEq;
  using testing::ThrowsMessage;
  for (double bad : {15000.5, -0.1, std::nan("")}) {
    EXPECT_THAT([&] { f.ds.set_depth_z(bad); },
                ThrowsMessage<std::runtime_error>(StrEq(
                    "Некорректное значение глубины забоя!\nРазрешённые значения - от 0 до 15000 "
                    "метров.")))
        << bad;
    EXPECT_THAT([&] { f.ds.set_depth_cur(bad); },
                ThrowsMessage<std::runtime_error>(StrEq(
                    "Некорректное значение глубины инструмента!\nРазрешённые значения - от 0 до "
                    "15000 метров.")))
        << bad;
  }
  EXPECT_EQ(f.ds.depth_z(), 15000.0);
  EXPECT_EQ(f.ds.depth_cur(), 14000.0);
}

TEST(DataStorageDepths, TheChangedMarkerLastsThreeTicks) {
  Fixture f;
  EXPECT_FALSE(f.ds.is_depth_changed());
  f.ds.set_depth_z(10);
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(f.ds.is_depth_changed()) << i;
    f.ds.tick();
  }
  EXPECT_FALSE(f.ds.is_depth_changed());
  f.ds.tick();
  EXPECT_FALSE(f.ds.is_depth_changed());
}

TEST(DataStorageConf, DepthsGoToTheRunSectionWithoutChecks) {
  Fixture f;
  const std::string ini = f.home.file("reg.ini");
  lib::write_file_atomically(ini, "[связь]\nпорт=/dev/ttyUSB0\n[рейс]\nглубина_забоя=20000\n",
                             lib::posix_file_system());
  f.ds.set_depth_z(50);
  f.ds.load_conf(ini, lib::posix_file_system());
  EXPECT_EQ(f.ds.depth_z(), 20000.0) << "loading applies no range check";
  EXPECT_EQ(f.ds.depth_cur(), 50.0) << "a missing key keeps the present value";
  f.ds.set_depth_z(1234.25);
  f.ds.save_conf(ini, lib::posix_file_system());
  Fixture g;
  g.ds.load_conf(ini, lib::posix_file_system());
  EXPECT_EQ(g.ds.depth_z(), 1234.25);
  EXPECT_NE(testing_support::read_file(ini).find("порт=/dev/ttyUSB0"), std::string::npos);
}

TEST(GlobalNumsTest, SlotsFollowTheTableAndMissingRowsAreMinusOne) {
  TempDir home;
  params::AllParams catalogue(home.path(), lib::posix_file_system());
  ds_tmp::DataStorage ds(catalogue);
  for (const char* id :
       {"тальблок", "сумм_газ", "максимальный_газ", "вес_на_крюке", "скорость_механическая"}) {
    ds.par_tabl().add(id);
  }
  reg::GlobalNums nums;
  EXPECT_EQ(nums[reg::GlobalNums::kTalblok], -1) << "unset before the first calculate";
  nums.calculate(ds.par_tabl());
  using N = reg::GlobalNums;
  EXPECT_EQ((std::vector<int>{nums[N::kTalblok], nums[N::kSummGaz], nums[N::kMaksimalnyGaz],
                              nums[N::kVesNaKryuke], nums[N::kOborotyRotora], nums[40]}),
            (std::vector<int>{0, 1, 2, 3, -1, -1}));

  ds.correct_store_modes(nums);
  EXPECT_EQ(ds.par_tabl()[4].attribute, 1) << "rate of penetration records its last value";
  EXPECT_EQ(ds.par_tabl()[2].attribute, 2) << "maximum gas records its maximum";
}

TEST(StorageValuesBackendTest, RegistryReadsAveragesAndWritesCurrentValues) {
  Fixture f;
  f.row(0).averaging = 2;
  lib::lock_object lock;
  ds_tmp::StorageValuesBackend backend(f.ds);
  reg::Values values(lock, &backend);
  f.tick_value(0, 10);
  f.tick_value(0, 20);
  EXPECT_EQ(values.get("вес_на_крюке"), 15.0);
  values.set("давление_на_входе", 42);
  EXPECT_EQ(f.ds.current_values()[1], 42.0);
  reg::ValueParam p;
  ASSERT_TRUE(values.get_param("ТАЛЬБЛОК", p));
  EXPECT_EQ(p.name, "тальблок");
  EXPECT_EQ(p.full_name, f.row(2).full_name);
  std::vector<reg::ValueParam> all;
  values.enum_values(all, true);
  EXPECT_EQ(all.size(), 3u);
}

}  // namespace
