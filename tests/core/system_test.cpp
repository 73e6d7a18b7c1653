#include "core/system.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "core/config.h"
#include "core/default_dicts_provider.h"
#include "core/init.h"
#include "core/locks.h"
#include "journals/text_storage.h"
#include "params/par_tabl.h"
#include "storage/data_storage.h"
#include "support/fakes.h"

using namespace reg;
using testing_support::FakeClock;
using testing_support::FaultyFileSystem;
using testing_support::TempDir;

namespace {

// A persistent module with a field of every kind.
struct Sample : lib::SerialModuleBase {
  explicit Sample(std::string name) : SerialModuleBase(std::move(name), 1) {}
  bool b = false;
  int i = 0;
  std::int64_t big = 0;
  float f = 0;
  double d = 0;
  std::string s;
  lib::DateTime t;
  std::vector<int> v;
  void fill(int seed) {
    b = seed & 1;
    i = seed;
    big = 1LL << (30 + seed % 20);
    f = static_cast<float>(seed) / 4;
    d = seed * 1.1;
    s = "значение " + std::to_string(seed);
    t = lib::DateTime{45000.0 + seed};
    v = {seed, -seed, seed * seed};
  }
  bool operator==(const Sample& o) const {
    return b == o.b && i == o.i && big == o.big && f == o.f && d == o.d && s == o.s && t == o.t &&
           v == o.v;
  }

 protected:
  void serial_fields(lib::serial_list& l, unsigned) override {
    l.add(b).add(i).add(big).add(f).add(d).add(s).add(t).add(v);
  }
};

Sample seeded(int seed) {
  Sample s("any");
  s.fill(seed);
  return s;
}

struct Station {
  TempDir dir;
  FakeClock clock;
  std::unique_ptr<System> hub;
  Sample first{"First"}, second{"Second"}, third{"Third"};
  explicit Station(lib::FileSystem* fs = nullptr) {
    clock.set(2026, 12, 5, 10, 0, 0);
    hub = std::make_unique<System>(SystemOptions{dir.path(), &clock, fs});
    hub->register_modules();
    hub->module_list().register_module(first);
    hub->module_list().register_module(second);
    hub->module_list().register_module(third);
  }
  std::string log() const { return testing_support::read_file(dir.file(kErrorLogFileName)); }
  void fill(int base) {
    first.fill(base);
    second.fill(base + 1);
    third.fill(base + 2);
  }
};

// Hub `a` saves seeds 1..3, `damage` changes the state file, and hub `b`, holding seeds
// 20..22, loads it.
struct SavedAndLoaded {
  Station a, b;
  explicit SavedAndLoaded(const std::function<void(std::string&)>& damage) {
    a.fill(1);
    a.hub->save_to_file(a.dir.path());
    std::string bytes = testing_support::read_file(a.dir.file(kStateFileName));
    damage(bytes);
    lib::write_file_atomically(a.dir.file(kStateFileName), bytes);
    b.fill(20);
    b.hub->load_from_file(a.dir.path());
  }
};

TEST(SystemState, SaveAndLoadRestoreEveryModule) {
  SavedAndLoaded r([](std::string&) {});
  EXPECT_EQ(r.a.log(), "");
  EXPECT_EQ(r.b.log(), "");
  EXPECT_EQ(r.b.first, r.a.first);
  EXPECT_EQ(r.b.second, r.a.second);
  EXPECT_EQ(r.b.third, r.a.third);
}

TEST(SystemState, AssignCopiesEveryModuleBetweenHubs) {
  Station a, b;
  a.fill(3);
  b.fill(30);
  b.hub->assign(*a.hub);
  EXPECT_EQ(b.first, a.first);
  EXPECT_EQ(b.third, a.third);
  a.first.fill(99);
  EXPECT_FALSE(b.first == a.first) << "assign copies, it does not share";
}

TEST(SystemState, VersionMismatchChangesNothingAndSaysSo) {
  SavedAndLoaded r([](std::string& bytes) { bytes[0] = static_cast<char>(bytes[0] ^ 1); });
  EXPECT_EQ(r.b.first, seeded(20));
  EXPECT_EQ(r.b.third, seeded(22));
  EXPECT_EQ(r.b.log(), "(05.12.2026 10:00:00) System::load_from_file : Ошибка чтения из файла '" +
                           r.a.dir.file("sys.bin") +
                           "': Не совпадает версия файла копии системы\n");
}

TEST(SystemState, TruncatedStateFileKeepsEarlierModules) {
  // Cut inside the last module's block.
  SavedAndLoaded r([](std::string& bytes) { bytes.resize(bytes.size() - 10); });
  EXPECT_EQ(r.b.first, r.a.first);
  EXPECT_EQ(r.b.second, r.a.second);
  EXPECT_EQ(r.b.third, seeded(22));
  EXPECT_NE(r.b.log().find("System::load_from_file : Ошибка чтения из файла '"), std::string::npos)
      << r.b.log();
}

TEST(SystemState, FlippedBitCostsOnlyTheModuleItHits) {
  SavedAndLoaded r([](std::string& bytes) {
    const std::size_t pos = bytes.find("значение 2");  // the second module's text
    ASSERT_NE(pos, std::string::npos);
    bytes[pos + 3] = static_cast<char>(bytes[pos + 3] ^ 0x10);
  });
  EXPECT_EQ(r.b.first, r.a.first);
  EXPECT_EQ(r.b.second, seeded(21));
  EXPECT_EQ(r.b.third, r.a.third);
  EXPECT_NE(r.b.log().find("'Second'"), std::string::npos) << r.b.log();
}

TEST(SystemState, MissingFolderAndMissingFileEachLogOneLine) {
  Station a;
  a.hub->save_to_file(a.dir.path() + "no/such/");
  std::string log = a.log();
  EXPECT_EQ(log.rfind("(05.12.2026 10:00:00) System::save_to_file : Ошибка записи в файл '" +
                          a.dir.path() + "no/such/sys.bin': ",
                      0),
            0u)
      << log;
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1);

  Station b;
  b.hub->load_from_file(b.dir.path());
  EXPECT_NE(
      b.log().find("System::load_from_file : Ошибка чтения из файла '" + b.dir.path() + "sys.bin'"),
      std::string::npos);
}

TEST(SystemState, FailedSaveLeavesThePreviousStateFile) {
  FaultyFileSystem fs;
  Station a(&fs);
  a.fill(1);
  a.hub->save_to_file(a.dir.path());
  const std::string good = testing_support::read_file(a.dir.file(kStateFileName));
  ASSERT_FALSE(good.empty());

  a.fill(7);
  fs.only_paths_with = "sys.bin";
  fs.written = 0;
  fs.fail_after_bytes = 30;  // the disk fills up halfway through
  a.hub->save_to_file(a.dir.path());
  EXPECT_EQ(testing_support::read_file(a.dir.file(kStateFileName)), good);
  EXPECT_NE(a.log().find("System::save_to_file"), std::string::npos);
}

TEST(SystemBracket, BeforeAndAfterWorkDriveFlagAndListenersInOrder) {
  Station s;
  std::vector<std::string> calls;
  s.hub->connect_before_work([&](int race, bool cont) {
    calls.push_back("run modules " + std::to_string(race) + (cont ? " continue" : " new"));
    EXPECT_EQ(s.hub->values().get_variable("race_num"), std::to_string(race))
        << "the run number is set before anyone is told";
    EXPECT_FALSE(s.hub->get_reg_active());
  });
  s.hub->connect_before_work([&](int, bool) { calls.push_back("plug-ins"); });
  s.hub->connect_after_work([&] { calls.push_back("stop"); });

  EXPECT_FALSE(s.hub->get_reg_active());
  s.hub->before_work(12, false, "");
  EXPECT_TRUE(s.hub->get_reg_active());
  s.hub->after_work("");
  EXPECT_FALSE(s.hub->get_reg_active());
  s.hub->before_work(12, true, "");
  EXPECT_EQ(calls, (std::vector<std::string>{"run modules 12 new", "plug-ins", "stop",
                                             "run modules 12 continue", "plug-ins"}));
  HostData data;
  s.hub->fill_host_data(data);
  EXPECT_TRUE(data.reg_active);
  EXPECT_EQ(s.log(), "");
}

TEST(SystemTick, OnDataRunsSubscribersInOrderEvenWhenOneThrows) {
  Station s;
  std::vector<int> order;
  s.hub->connect_data([&] { order.push_back(1); });
  s.hub->connect_data([&] { throw std::runtime_error("plug-in failed"); });
  s.hub->connect_data([&] {
    order.push_back(3);
    EXPECT_TRUE(sys_lock_obj().try_lock())
        << "re-entrant: the tick holds the system lock on this thread";
    sys_lock_obj().unlock();
  });
  s.hub->on_data();
  EXPECT_EQ(order, (std::vector<int>{1, 3}));
  EXPECT_NE(s.log().find("System::on_data : plug-in failed"), std::string::npos) << s.log();
}

TEST(SystemFiles, CurrentFilesAreLowerCased) {
  Station s;
  s.hub->set_cur_files_source([] {
    return std::vector<std::string>{"Рейс1.REALTIM", "рейс1.realdep", ""};
  });
  s.hub->fill_cur_files_list();
  EXPECT_EQ(s.hub->cur_files(), (std::set<std::string>{"рейс1.realtim", "рейс1.realdep"}));
  EXPECT_EQ(s.hub->get_exe_path(), s.dir.path());
}

TEST(SystemDicts, DefaultDictionariesAndProviderOwnership) {
  Station s;
  lib::StringContainer items;
  lib::DictsProvider* p = s.hub->get_dicts_provider();
  p->get_dict_items(kDrillTypesDict, items);
  ASSERT_EQ(items.size(), 6u);
  EXPECT_EQ(p->get_item(items, 3), "Электробурение");
  EXPECT_EQ(p->index_of(items, "Турбинное"), 1);
  EXPECT_EQ(p->get_item(items, 42), "");
  EXPECT_EQ(p->index_of(items, "Шнековое"), -1);

  p->get_dict_items(kBottomHoleAssemblyDict, items);
  ASSERT_EQ(items.size(), 13u);
  EXPECT_EQ(items[7], "Переводник");
  EXPECT_EQ(p->index_of(items, "Переводник"), 9);
  EXPECT_EQ(p->get_item(items, -1), "НЕТ");
  EXPECT_EQ(p->get_item(items, 8), "Трёхтрубка");
  p->get_dict_items("@unknown", items);
  EXPECT_TRUE(items.empty());
  EXPECT_TRUE(p->allow_manual_edit());

  struct Counting : DefaultDictsProvider {
    int* deaths;
    explicit Counting(int* d) : deaths(d) {}
    ~Counting() override { ++*deaths; }
  };
  int deaths = 0;
  auto* mine = new Counting(&deaths);
  s.hub->set_new_dicts_provider(mine);
  s.hub->set_new_dicts_provider(mine);  // the same object again is kept, not destroyed
  EXPECT_EQ(deaths, 0);
  EXPECT_EQ(s.hub->get_dicts_provider(), mine);
  s.hub->set_default_dicts_provider();
  EXPECT_EQ(deaths, 1);
  EXPECT_NE(s.hub->get_instr_dicts_provider(), nullptr);
}

TEST(SystemSingleton, SysReturnsOneHubAndInitBindsTheHostWindow) {
  int window = 0;
  init_core_lib(&window);
  EXPECT_EQ(core_lib_host_window(), &window);
  EXPECT_EQ(&sys(), &sys());
  init_core_lib(nullptr);
  EXPECT_EQ(core_lib_host_window(), nullptr);
}

TEST(SystemModules, PersistentModulesAreRegisteredInTheStateFileOrder) {
  TempDir dir;
  System hub(SystemOptions{dir.path()});
  hub.register_modules();
  const std::vector<std::string> expected = {
      "DataStorage",     "AverageValues", "PoreOpts",     "PoreConstr", "TextRemarks",
      "MinMaxValues",    "PromerInstr2",  "MudAdditives", "MudLog",     "TroublesLog",
      "ProjectWellbore", "Inclination",   "RaceInfoOld"};
  EXPECT_EQ(hub.module_list().names(), expected);
}

TEST(SystemModules, RealModulesSurviveSaveAndLoadBetweenHubs) {
  TempDir a_dir, b_dir;
  System a(SystemOptions{a_dir.path()});
  a.register_modules();
  a.data_storage().par_tabl().add("вес_на_крюке");
  a.data_storage().set_depth_z(1520.5);
  a.data_storage().set_depth_cur(1400);
  a.save_to_file(a_dir.path());

  System b(SystemOptions{b_dir.path()});
  b.register_modules();
  b.load_from_file(a_dir.path());
  EXPECT_EQ(testing_support::read_file(b_dir.file(kErrorLogFileName)), "");
  EXPECT_EQ(b.data_storage().depth_z(), 1520.5);
  EXPECT_EQ(b.data_storage().depth_cur(), 1400.0);
  // The parameter table has its own file and is not part of the state.
  EXPECT_EQ(b.data_storage().par_tabl().get_items_count(), 0);
  EXPECT_EQ(b.values().get("ds.depth_uz"), 120.5);
}

TEST(SystemModules, ATableBlockOfAnOlderStateFileIsPassedOverQuietly) {
  TempDir old_dir, dir;
  {
    // An older station kept the table's rows in the state file under this name.
    System old(SystemOptions{old_dir.path()});
    old.register_modules();
    Sample block("ParTable");
    block.fill(3);
    old.module_list().register_module(block, params::kRetiredParTablModuleName);
    old.data_storage().set_depth_z(900);
    old.save_to_file(old_dir.path());
  }
  System hub(SystemOptions{dir.path()});
  hub.register_modules();
  hub.data_storage().par_tabl().add("тальблок");
  hub.load_from_file(old_dir.path());
  EXPECT_EQ(testing_support::read_file(dir.file(kErrorLogFileName)), "")
      << "a retired block is neither damage nor a stranger";
  EXPECT_EQ(hub.data_storage().depth_z(), 900.0);
  ASSERT_EQ(hub.data_storage().par_tabl().get_items_count(), 1);
  EXPECT_EQ(hub.data_storage().par_tabl()[0].identifier, "тальблок");
}

TEST(SystemModules, KvbExportCarriesTheStorageValues) {
  TempDir dir;
  System hub(SystemOptions{dir.path()});
  for (const char* id : {"вес_на_крюке", "тальблок", "давление_на_входе"})
    hub.data_storage().par_tabl().add(id);
  hub.data_storage().set_depth_z(2000);
  hub.data_storage().set_depth_cur(1990);
  hub.data_storage().current_values()["вес_на_крюке"] = 85.5;
  hub.data_storage().current_values()["тальблок"] = 12.25;
  hub.data_storage().current_values()["давление_на_входе"] = 140;
  hub.on_data();
  auto v = read_shared_values(dir.file("data/kvb.dat"), hub.shared_file_lock());
  ASSERT_TRUE(v);
  EXPECT_EQ(*v, (SharedValues{2000, 1990, 85.5, 12.25, 140}));
  EXPECT_EQ(testing_support::read_file(dir.file("data/kvb.dat")).size(), 20u);
}

TEST(SystemValues, TheHubRegistersTheValuesOfItsModulesWithTheirNamesAndUnits) {
  TempDir dir;
  System hub(SystemOptions{dir.path()});
  std::vector<ValueParam> list;
  hub.values().enum_values(list, false);
  std::map<std::string, ValueParam> by_name;
  for (const auto& p : list) by_name[p.name] = p;
  for (const char* name :
       {"ds.depth_z", "ds.depth_cur", "ds.depth_uz", "config.w_kol", "config.w_kol_tur",
        "config.race_info.doloto_diametr", "config.race_info.kavern_koeff", "pore.instr.total_len",
        "pore.zatrub_volume"}) {
    EXPECT_TRUE(by_name.count(name)) << name;
  }
  EXPECT_EQ(by_name["config.w_kol_tur"].full_name, "Общий вес колонны без вращения");
  EXPECT_EQ(by_name["config.race_info.doloto_diametr"].unit, "мм");
  EXPECT_EQ(by_name["pore.zatrub_volume"].unit, "м3")
      << "written with a plain digit, unlike the other volumes";
  hub.config().recognition.column_weight = 87.5;
  EXPECT_EQ(hub.values().get("CONFIG.W_KOL"), 87.5);
}

}  // namespace
