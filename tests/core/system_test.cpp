#include "core/system.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "core/config.h"
#include "core/default_dicts_provider.h"
#include "core/init.h"
#include "core/locks.h"
#include "journals/text_storage.h"
#include "journals/troubles_log.h"
#include "lib/home_folder.h"
#include "params/par_tabl.h"
#include "storage/data_storage.h"
#include "support/fakes.h"
#include "support/fault_sweep.h"

using namespace reg;
using ::testing::AllOf;
using ::testing::AnyOf;
using ::testing::HasSubstr;
using testing_support::disarm;
using testing_support::FakeClock;
using testing_support::FaultyFileSystem;
using testing_support::FileFault;
using testing_support::read_file;
using testing_support::sweep_file_faults;
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
  std::string bytes;  // the state file as `b` found it
  StateLoadReport report;
  explicit SavedAndLoaded(const std::function<void(std::string&)>& damage) {
    a.fill(1);
    EXPECT_TRUE(a.hub->save_to_file(a.dir.path()));
    bytes = testing_support::read_file(a.dir.file(kStateFileName));
    damage(bytes);
    lib::write_file_atomically(a.dir.file(kStateFileName), bytes, lib::posix_file_system());
    b.fill(20);
    report = b.hub->load_from_file(a.dir.path());
  }
  // The copy the load must have kept, named after the fake clock's second.
  std::string copy() const { return a.dir.file("sys.bin.damaged-20261205-100000"); }
  std::string notes() const {
    std::string out;
    for (const auto& n : report.notes()) out += n + "\n";
    return out;
  }
};

// A damaged or refused file is copied aside before anything can overwrite it, and the copy
// outlives the next save.
void expect_original_kept(const SavedAndLoaded& r) {
  EXPECT_TRUE(r.report.damaged());
  EXPECT_EQ(r.report.kept_copy, r.copy());
  EXPECT_EQ(testing_support::read_file(r.copy()), r.bytes);
  EXPECT_NE(r.notes().find("kept as '" + r.copy() + "'"), std::string::npos) << r.notes();
  EXPECT_TRUE(r.b.hub->save_to_file(r.a.dir.path()));
  EXPECT_NE(testing_support::read_file(r.a.dir.file(kStateFileName)), r.bytes);
  EXPECT_EQ(testing_support::read_file(r.copy()), r.bytes);
}

TEST(SystemState, SaveAndLoadRestoreEveryModule) {
  SavedAndLoaded r([](std::string&) {});
  EXPECT_FALSE(r.report.damaged());
  EXPECT_EQ(r.report.blocks.read, static_cast<int>(r.b.hub->module_list().size()));
  EXPECT_TRUE(r.report.kept_copy.empty());
  EXPECT_FALSE(std::filesystem::exists(r.copy()));
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
                           "': Не совпадает версия файла копии системы\n" +
                           "(05.12.2026 10:00:00) System::load_from_file : the original '" +
                           r.a.dir.file("sys.bin") + "' is kept as '" + r.copy() +
                           "' before the next save replaces it\n");
  EXPECT_TRUE(r.report.refused);
  expect_original_kept(r);
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
  EXPECT_EQ(r.report.blocks.read, static_cast<int>(r.b.hub->module_list().size()) - 1);
  EXPECT_EQ(r.report.blocks.damaged, 1);
  expect_original_kept(r);
}

TEST(SystemState, BlockOfANewerLayoutIsRefusedKeptAndNamed) {
  TempDir dir;
  FakeClock clock;
  clock.set(2026, 12, 5, 10, 0, 0);
  struct Versioned : lib::SerialModuleBase {
    Versioned(unsigned version, int value) : SerialModuleBase("Versioned", version), value(value) {}
    int value;
    void serial_fields(lib::serial_list& l, unsigned) override { l.add(value); }
  };
  std::string bytes;
  {
    System newer(SystemOptions{dir.path(), &clock});
    Versioned v(2, 7);
    newer.module_list().register_module(v);
    ASSERT_TRUE(newer.save_to_file(dir.path()));
    bytes = testing_support::read_file(dir.file(kStateFileName));
  }
  System older(SystemOptions{dir.path(), &clock});
  Versioned v(1, 3);
  older.module_list().register_module(v);
  const StateLoadReport report = older.load_from_file(dir.path());
  EXPECT_EQ(v.value, 3) << "never read as if it were the older layout";
  EXPECT_EQ(report.blocks.newer, std::vector<std::string>{"Versioned"});
  EXPECT_EQ(report.blocks.damaged, 0);
  EXPECT_EQ(report.kept_copy, dir.file("sys.bin.damaged-20261205-100000"));
  EXPECT_EQ(testing_support::read_file(report.kept_copy), bytes);
  std::string notes;
  for (const auto& n : report.notes()) notes += n + "\n";
  EXPECT_NE(notes.find("Versioned was written by a newer program"), std::string::npos) << notes;
}

TEST(SystemState, BlockOfAModuleNotLoadedNowIsSavedAgainUnchanged) {
  // A plug-in's module saved by one start, absent from the next, back in the third.
  Station with_plugin;
  Sample plugin("PlugIn");
  with_plugin.hub->module_list().register_module(plugin);
  plugin.fill(5);
  with_plugin.fill(1);
  ASSERT_TRUE(with_plugin.hub->save_to_file(with_plugin.dir.path()));

  Station without;
  auto report = without.hub->load_from_file(with_plugin.dir.path());
  EXPECT_FALSE(report.damaged()) << "a module not loaded now is no damage";
  EXPECT_TRUE(report.kept_copy.empty());
  EXPECT_EQ(report.blocks.unknown, std::vector<std::string>{"PlugIn"});
  without.fill(2);
  ASSERT_TRUE(without.hub->save_to_file(without.dir.path()));

  Station again;
  Sample back("PlugIn");
  again.hub->module_list().register_module(back);
  report = again.hub->load_from_file(without.dir.path());
  EXPECT_FALSE(report.damaged());
  EXPECT_EQ(back, plugin);
  EXPECT_EQ(again.first, seeded(2)) << "the modules of the start in between are read too";
  EXPECT_EQ(again.log(), "");
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

// Whichever call of a save fails, the state file is the last good save or the new one,
// never a mix, and the failure is reported with its reason; a save that says it succeeded
// wrote the whole new state, and the save after the fault does.
TEST(SystemState, EveryFailingCallOfASaveKeepsTheLastGoodState) {
  sweep_file_faults([](const FileFault& fault) {
    FaultyFileSystem fs;
    Station a(&fs);
    const std::string path = a.dir.file(kStateFileName);
    a.fill(1);
    EXPECT_TRUE(a.hub->save_to_file(a.dir.path()));
    const std::string old_state = read_file(path);
    a.fill(7);
    TempDir elsewhere;
    EXPECT_TRUE(a.hub->save_to_file(elsewhere.path()));
    const std::string new_state = read_file(elsewhere.file(kStateFileName));

    fault.arm(fs);
    const bool saved = a.hub->save_to_file(a.dir.path());
    const long long calls = disarm(fs);
    EXPECT_EQ(saved, fault.fail_call < 0) << "failed " << fs.failed_call;
    const std::string now = read_file(path);
    if (saved) {
      EXPECT_EQ(now, new_state);
    } else {
      EXPECT_TRUE(now == old_state || now == new_state) << "failed " << fs.failed_call;
      EXPECT_THAT(a.hub->last_save_error(),
                  AllOf(HasSubstr(path), AnyOf(HasSubstr(lib::errno_text(EIO)),
                                               HasSubstr(lib::errno_text(ENOSPC)))));
    }
    a.hub->remove_save_leftovers();
    EXPECT_TRUE(a.hub->save_to_file(a.dir.path()));
    Station reader;
    reader.hub->load_from_file(a.dir.path());
    EXPECT_EQ(reader.first, seeded(7));
    return calls;
  });
}

// A damaged state file is copied aside before a save may replace it. Whichever call of the
// load and the save fails, its bytes survive in place or as a whole copy, and the copy an
// earlier damage left under the same name is never written over.
TEST(SystemState, EveryFailingCallWhileKeepingADamagedFileKeepsItsBytes) {
  sweep_file_faults([](const FileFault& fault) {
    FaultyFileSystem fs;
    Station a(&fs);
    const std::string path = a.dir.file(kStateFileName);
    const std::string earlier_copy = path + ".damaged-20261205-100000";
    lib::write_file_atomically(earlier_copy, "an earlier damaged file", lib::posix_file_system());
    a.fill(1);
    EXPECT_TRUE(a.hub->save_to_file(a.dir.path()));
    std::string damaged = read_file(path);
    damaged[damaged.size() - 2] ^= 0x40;  // the last block's checksum
    lib::write_file_atomically(path, damaged, lib::posix_file_system());

    fault.arm(fs);
    const StateLoadReport report = a.hub->load_from_file(a.dir.path());
    const bool saved = a.hub->save_to_file(a.dir.path());
    const long long calls = disarm(fs);
    EXPECT_EQ(read_file(earlier_copy), "an earlier damaged file") << "failed " << fs.failed_call;
    EXPECT_TRUE(saved || fault.fail_call >= 0);
    if (saved) {
      EXPECT_EQ(read_file(report.kept_copy), damaged) << "failed " << fs.failed_call;
    } else {
      EXPECT_NE(a.hub->last_save_error(), "");
      const bool in_place = read_file(path) == damaged;
      EXPECT_TRUE(in_place || read_file(report.kept_copy) == damaged)
          << "failed " << fs.failed_call;
    }
    return calls;
  });
}

TEST(SystemState, SavesComeWithThePeriodOrAtOnceWhenAsked) {
  Station s;
  const std::string file = s.dir.file(kStateFileName);
  s.hub->set_save_period_seconds(60);
  s.fill(1);
  EXPECT_EQ(s.hub->save_when_due(), std::nullopt) << "the period counts from the first tick";
  s.clock.steady += 59'999;
  EXPECT_EQ(s.hub->save_when_due(), std::nullopt);
  EXPECT_FALSE(std::filesystem::exists(file));
  s.clock.steady += 1;
  EXPECT_EQ(s.hub->save_when_due(), true);
  EXPECT_TRUE(std::filesystem::exists(file));

  s.fill(2);
  s.clock.steady += 1'000;
  EXPECT_EQ(s.hub->save_when_due(), std::nullopt);
  s.hub->request_save();  // an operator's edit
  EXPECT_EQ(s.hub->save_when_due(), true);
  Station reader;
  reader.hub->load_from_file(s.dir.path());
  EXPECT_EQ(reader.first, seeded(2));
  EXPECT_EQ(s.hub->save_when_due(), std::nullopt) << "a request is honoured once";
  s.clock.steady += 59'999;
  EXPECT_EQ(s.hub->save_when_due(), std::nullopt) << "the period restarts at every save";
  // The period over with nothing changed: the disk is spared, and the save counts as done.
  const auto saved = lib::posix_file_system().stat(file);
  s.clock.steady += 1;
  EXPECT_EQ(s.hub->save_when_due(), true);
  EXPECT_EQ(lib::posix_file_system().stat(file)->inode, saved->inode) << "written again";

  s.hub->set_save_period_seconds(0);
  s.clock.steady += 3'600'000;
  EXPECT_EQ(s.hub->save_when_due(), std::nullopt) << "0 turns periodic saves off";

  // An operator's entry in the troubles log asks for a save by itself.
  journals::TroublesLogRecord trouble;
  trouble.text = "прихват";
  s.hub->troubles_log().add_record(trouble);
  EXPECT_EQ(s.hub->save_when_due(), true);
  // The record itself lives in the journal's file, which the next hub on that home reads.
  System next(SystemOptions{s.dir.path(), &s.clock});
  ASSERT_EQ(next.troubles_log().get_size(), 1);
  EXPECT_EQ(next.troubles_log().get_record(0).text, "прихват");
}

TEST(SystemState, LeftoversOfAKilledSaveAreRemovedAndNothingElse) {
  Station s;
  for (const char* name : {"sys.bin.tmp4242", "sys.bin.tmp17", "sys.bin.tmpnotes", "sys.bin.old",
                           "global.ini.tmp99"}) {
    lib::write_file_atomically(s.dir.file(name), "x", lib::posix_file_system());
  }
  auto removed = s.hub->remove_save_leftovers();
  std::sort(removed.begin(), removed.end());
  EXPECT_EQ(removed, (std::vector<std::string>{"sys.bin.tmp17", "sys.bin.tmp4242"}));
  EXPECT_FALSE(std::filesystem::exists(s.dir.file("sys.bin.tmp4242")));
  EXPECT_TRUE(std::filesystem::exists(s.dir.file("sys.bin.tmpnotes")));
  EXPECT_TRUE(std::filesystem::exists(s.dir.file("sys.bin.old")));
  EXPECT_TRUE(std::filesystem::exists(s.dir.file("global.ini.tmp99")));
}

TEST(SystemErrorLog, AnUnwritableLogSaysSoOnceAndHandsOverItsLines) {
  TempDir dir;
  FakeClock clock;
  clock.set(2026, 12, 5, 10, 0, 0);
  FaultyFileSystem fs;
  ErrorLog log(clock, fs);
  log.set_file(dir.file(kErrorLogFileName));
  std::vector<std::string> handed;
  log.set_fallback([&](const std::string& text) { handed.push_back(text); });

  fs.read_only = true;
  log.write("первая");
  log.write("вторая");
  ASSERT_EQ(handed.size(), 3u);
  EXPECT_EQ(handed[0], "cannot write the log '" + dir.file(kErrorLogFileName) +
                           "' (Read-only file system); its lines follow here until it can be "
                           "written again\n");
  EXPECT_EQ(handed[1], "(05.12.2026 10:00:00) первая\n");
  EXPECT_EQ(handed[2], "(05.12.2026 10:00:00) вторая\n");

  fs.read_only = false;
  log.write("третья");
  EXPECT_EQ(handed.size(), 3u) << "a writable log keeps its lines";
  EXPECT_EQ(testing_support::read_file(dir.file(kErrorLogFileName)),
            "(05.12.2026 10:00:00) третья\n");
  fs.read_only = true;
  log.write("четвёртая");
  EXPECT_EQ(handed.size(), 5u) << "a new failure is announced again";
}

TEST(SystemLocks, AnUnopenableSharedValuesLockIsReportedWithPathAndReason) {
  TempDir dir;
  FaultyFileSystem fs;
  fs.fail_open_with = "kvb.dat.lock";
  System hub(SystemOptions{dir.path(), nullptr, &fs});
  EXPECT_FALSE(hub.shared_file_lock().has_file());
  ASSERT_EQ(hub.start_problems().size(), 1u);
  const std::string& problem = hub.start_problems()[0];
  EXPECT_NE(
      problem.find("'" + dir.path() + "data/kvb.dat.lock' cannot be opened (Permission denied)"),
      std::string::npos)
      << problem;
  EXPECT_NE(testing_support::read_file(dir.file(kErrorLogFileName)).find(problem),
            std::string::npos);

  System fine(SystemOptions{dir.path()});
  EXPECT_TRUE(fine.start_problems().empty());
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
  p->get_dict_items(kBottomHoleAssemblyDict, items);
  EXPECT_EQ(p->index_of(items, "Переводник"), 9);
  EXPECT_EQ(p->get_item(items, -1), "НЕТ");
  EXPECT_EQ(p->get_item(items, 42), "");
  p->get_dict_items("@unknown", items);
  EXPECT_TRUE(items.empty());

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
}

TEST(SystemSingleton, SysReturnsOneHubAndInitBindsTheHostWindow) {
  // The process-wide hub lives until the program ends, and so must its home: a static made
  // before the hub is destroyed after it.
  static TempDir home;
  ::setenv("RIGCORE_HOME", home.path().c_str(), 1);
  int window = 0;
  init_core_lib(&window);
  EXPECT_EQ(core_lib_host_window(), &window);
  EXPECT_EQ(&sys(), &sys());
  EXPECT_EQ(sys().get_exe_path(), lib::with_trailing_slash(home.path()));
  EXPECT_EQ(&params::get_all_params(), &sys().catalogue()) << "one catalogue, the hub's";
  ::unsetenv("RIGCORE_HOME");
  init_core_lib(nullptr);
  EXPECT_EQ(core_lib_host_window(), nullptr);
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

// On a memory file system when the host names one, the home's path a link to it; a file an
// older station left at that path gives way to the link.
TEST(SystemModules, KvbLivesInTheRuntimeFolderAndTheHomesPathLinksToIt) {
  TempDir dir;
  std::filesystem::create_directories(dir.file("data"));
  std::ofstream(dir.file("data/kvb.dat")) << std::string(20, 'x');
  SystemOptions options{dir.path()};
  options.runtime_folder = dir.file("run");
  System hub(options);
  hub.data_storage().set_depth_z(2000);
  hub.on_data();
  EXPECT_EQ(std::filesystem::read_symlink(dir.file("data/kvb.dat")), dir.file("run/kvb.dat"));
  const auto v = read_shared_values(dir.file("data/kvb.dat"), hub.shared_file_lock(),
                                    lib::posix_file_system());
  ASSERT_TRUE(v);
  EXPECT_EQ(v->bottom_hole_depth, 2000);
}

}  // namespace
