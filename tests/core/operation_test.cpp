// The operation under way as the station keeps it: set_operation with the rotary speed of
// the well-known rows and the bit run's purpose, operations forced from other threads and
// taking effect on the main thread, the effective operation the hub hands out, and the
// operation state in sys.bin (round trip, older layouts, damage).
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "calc/operations.h"
#include "core/config.h"
#include "core/system.h"
#include "params/all_params.h"
#include "params/global_nums.h"
#include "params/par_tabl.h"
#include "storage/data_storage.h"
#include "support/fakes.h"

using namespace reg;
using calc::CurrentOperationItem;
using testing_support::FakeClock;
using testing_support::TempDir;

namespace {

// A hub whose table has the rotary speed in its second row, so a reader that takes the
// wrong row sees the hook load instead.
struct Station {
  TempDir dir;
  FakeClock clock;
  std::unique_ptr<System> hub;
  std::vector<std::tuple<int, int, int>> announced;  // forced (operation, sub-op, work type)

  Station() {
    clock.set(2026, 12, 6, 8, 0, 0);
    hub = std::make_unique<System>(SystemOptions{dir.path(), &clock});
    hub->register_modules();
    for (const char* id : {"вес_на_крюке", "обороты_ротора"}) ds().par_tabl().add(id);
    hub->global_nums().calculate(ds().par_tabl());
    hub->connect_forced_operation([this](calc::OperType oper, int sub, calc::WorkType work) {
      announced.emplace_back(oper, sub, work);
    });
  }
  ds_tmp::DataStorage& ds() { return hub->data_storage(); }
  void set_rotation(double rpm) {
    ds().current_values()["вес_на_крюке"] = 120;  // never the rotary speed
    ds().current_values()["обороты_ротора"] = rpm;
  }
  void set_purpose(const std::string& text) { hub->config().race_info().settings.purpose = text; }
  std::size_t drain() { return hub->mess_caller().run_pending(); }
  std::string log() const { return testing_support::read_file(dir.file(kErrorLogFileName)); }
};

// ---- set_operation ------------------------------------------------------------------------------

TEST(StationOperation, DrillingIsRotaryOrTurbineByTheAveragedRotarySpeed) {
  Station s;
  s.set_purpose("Бурение эксплуатационной скважины (5)");
  s.set_rotation(15);
  EXPECT_EQ(s.ds().set_operation(2), 1);
  EXPECT_EQ(s.ds().get_operation_ex(), (CurrentOperationItem{2, 7, 1, 1}));
  s.set_rotation(0);
  s.ds().set_operation(2);
  EXPECT_EQ(s.ds().get_operation_ex().sub_operation, 8);

  // The rotary speed is read through the averages, as every module reads a value.
  s.ds().par_tabl()[1].averaging = 3;
  for (double rpm : {0.0, 0.0, 30.0}) {
    s.set_rotation(rpm);
    s.ds().average_values().calculate_values(false);
  }
  s.ds().current_values()["обороты_ротора"] = 0;  // the raw value alone would say turbine
  s.ds().set_operation(2);
  EXPECT_EQ(s.ds().get_operation_ex().sub_operation, 7);
}

TEST(StationOperation, WithoutARotarySpeedRowDrillingCountsAsTurbine) {
  Station s;
  s.ds().par_tabl().clear();
  s.ds().par_tabl().add("вес_на_крюке");
  s.hub->global_nums().calculate(s.ds().par_tabl());
  s.ds().current_values()[0] = 120;
  s.ds().set_operation(2);
  EXPECT_EQ(s.ds().get_operation_ex().sub_operation, 8);
}

TEST(StationOperation, SubOperationIsTakenOnlyWithAChangedOperationAndOnlyWhereItHasNone) {
  Station s;
  s.ds().set_operation({14, 3, 0, 1});
  EXPECT_EQ(s.ds().get_operation_ex().sub_operation, 1) << "tripping in starts as \"Спуск\"";
  // Operation 1 has no sub-operations: the one given with the change is kept...
  s.ds().set_operation({1, 5, 0, 1});
  EXPECT_EQ(s.ds().get_operation_ex().sub_operation, 5);
  // ...but not the one given while the operation stays the same.
  s.ds().set_operation({1, 6, 0, 1});
  EXPECT_EQ(s.ds().get_operation_ex().sub_operation, 5);
  // The item's work type and production time are derived, never taken.
  s.ds().set_operation({7, 0, 3, 1});
  EXPECT_EQ(s.ds().get_operation_ex(), (CurrentOperationItem{7, 19, 7, 0}));
}

TEST(StationOperation, UnknownIdsAreRefusedWithTheirValueAndChangeNothing) {
  Station s;
  s.ds().set_operation(14);
  const CurrentOperationItem before = s.ds().get_operation_ex();
  for (const CurrentOperationItem& bad :
       {CurrentOperationItem{23, 0, 0, 1}, {-1, 0, 0, 1}, {1, 36, 0, 1}, {1, -5, 0, 1}}) {
    SCOPED_TRACE(std::to_string(bad.operation) + "/" + std::to_string(bad.sub_operation));
    try {
      s.ds().set_operation(bad);
      ADD_FAILURE() << "accepted";
    } catch (const std::invalid_argument& e) {
      const std::string what = e.what();
      const std::string value = bad.operation == 1
                                    ? "sub-operation " + std::to_string(bad.sub_operation)
                                    : "operation " + std::to_string(bad.operation);
      EXPECT_NE(what.find("unknown " + value), std::string::npos) << what;
      EXPECT_NE(what.find("is kept"), std::string::npos) << what;
    }
    EXPECT_EQ(s.ds().get_operation_ex(), before);
  }
  for (const CurrentOperationItem& bad :
       {CurrentOperationItem{23, 0, 0, 1}, {4, 99, 0, 1}, {4, 13, 9, 1}, {4, 13, -1, 1}}) {
    EXPECT_THROW(s.ds().set_forced_operation(bad), std::invalid_argument);
  }
  EXPECT_EQ(s.hub->mess_caller().pending(), 0u) << "a refused change is not queued";
  EXPECT_EQ(s.ds().get_forced_operation_ex(), CurrentOperationItem{});
}

// ---- the forced operation
// -------------------------------------------------------------------------

// The forced values are stored by the call, on whatever thread: a reader between the call and
// the main thread's drain sees the forced operation. Only the announcement waits for the drain.
TEST(StationForcedOperation, SetFromAnotherThreadIsReadAtOnceAndAnnouncedWhenTheMainThreadDrains) {
  Station s;
  s.set_purpose("Бурение (5)");
  s.ds().set_operation(2);
  std::thread worker([&] {
    EXPECT_TRUE(s.ds().set_forced_operation({4, 13, 0, 1}));
    EXPECT_TRUE(s.ds().set_forced_operation({4, 13, 0, 1}));  // the same again
  });
  worker.join();
  EXPECT_EQ(s.ds().get_operation(), 4) << "stored by the call, before any drain";
  EXPECT_EQ(s.hub->effective_operation(), (CurrentOperationItem{4, 13, 1, 1}));
  EXPECT_TRUE(s.announced.empty()) << "announced only on the main thread";

  EXPECT_EQ(s.drain(), 1u) << "an unchanged repeat queues nothing";
  ASSERT_EQ(s.announced.size(), 1u);
  EXPECT_EQ(s.announced[0], std::make_tuple(4, 13, 0));

  // The next recognition derives its work type from the forced operation.
  s.ds().set_operation(2);
  EXPECT_EQ(s.hub->effective_operation(), (CurrentOperationItem{4, 13, 2, 1}));

  std::thread clearer([&] { EXPECT_TRUE(s.ds().set_forced_operation_none()); });
  clearer.join();
  EXPECT_EQ(s.ds().get_operation(), 2) << "a cleared forced operation falls back at once";
  EXPECT_EQ(s.announced.size(), 1u);
  s.drain();
  ASSERT_EQ(s.announced.size(), 2u);
  EXPECT_EQ(s.announced[1], std::make_tuple(0, 0, 0));
  s.ds().set_operation(2);
  EXPECT_EQ(s.hub->effective_operation(), (CurrentOperationItem{2, 8, 1, 1}));
}

TEST(StationForcedOperation, AForcedWorkTypeOutlivesClearingTheForcedOperation) {
  Station s;
  s.ds().set_operation(14);
  s.ds().set_forced_operation({7, 19, 5, 1});
  s.drain();
  // The production time stays the current one's until the next recognition.
  EXPECT_EQ(s.hub->effective_operation(), (CurrentOperationItem{7, 19, 5, 1}));
  s.ds().set_forced_operation_none();
  s.drain();
  EXPECT_EQ(s.hub->effective_operation().operation, 14);
  EXPECT_EQ(s.hub->effective_operation().work_type, 5);
  // Forcing zeros clears the work type too.
  s.ds().set_forced_operation({0, 0, 0, 1});
  s.drain();
  s.ds().set_operation(14);
  EXPECT_EQ(s.hub->effective_operation(), (CurrentOperationItem{14, 1, 0, 1}));
  EXPECT_EQ(s.announced.size(), 3u);
}

TEST(StationForcedOperation, AThrowingListenerIsLoggedAndTheOthersStillHear) {
  Station s;
  s.hub->connect_forced_operation(
      [](calc::OperType, int, calc::WorkType) { throw std::runtime_error("слушатель упал"); });
  int late = 0;
  s.hub->connect_forced_operation([&late](calc::OperType, int, calc::WorkType) { ++late; });
  s.ds().set_forced_operation({6, 16, 0, 1});
  s.drain();
  EXPECT_EQ(s.ds().get_forced_operation(), 6);
  EXPECT_EQ(late, 1);
  EXPECT_EQ(s.announced.size(), 1u);
  EXPECT_NE(s.log().find("System::forced_operation : слушатель упал"), std::string::npos)
      << s.log();
}

TEST(StationForcedOperation, AFullMainThreadQueueRefusesTheChangeAndSaysSo) {
  Station s;
  for (std::size_t i = 0; i < s.hub->mess_caller().max_pending(); ++i)
    ASSERT_TRUE(s.hub->mess_caller().call([] {}));
  EXPECT_FALSE(s.ds().set_forced_operation({4, 13, 0, 1}));
  EXPECT_NE(s.log().find("a change of the forced operation was dropped"), std::string::npos)
      << s.log();
  s.drain();
  EXPECT_EQ(s.ds().get_forced_operation(), 0);
  EXPECT_TRUE(s.announced.empty());
}

// ---- the state file ---------------------------------------------------------------------------

TEST(StationOperationState, CurrentAndForcedOperationSurviveARestart) {
  Station a;
  a.ds().set_operation({1, 3, 0, 1});
  a.ds().set_forced_operation({7, 19, 7, 1});
  a.drain();
  ASSERT_TRUE(a.hub->save_to_file(a.dir.path()));

  Station b;
  const StateLoadReport report = b.hub->load_from_file(a.dir.path());
  EXPECT_FALSE(report.damaged()) << b.log();
  EXPECT_EQ(b.log(), "");
  EXPECT_EQ(b.ds().current_operation_item(), (CurrentOperationItem{1, 3, 0, 1}));
  EXPECT_EQ(b.ds().get_forced_operation_ex(), (CurrentOperationItem{7, 19, 7, 1}));
  EXPECT_EQ(b.hub->effective_operation().operation, 7);
  EXPECT_TRUE(b.announced.empty()) << "restoring is no change of the operator's";
}

// The DataStorage block as the layouts before the forced operation wrote it: layout 2 with
// the slots' identifiers, layout 1 without. `oper` is written as the current operation.
struct OlderStorageBlock : lib::SerialModuleBase {
  OlderStorageBlock(unsigned layout, std::int32_t oper)
      : SerialModuleBase("DataStorage", layout), oper(oper) {}
  std::int32_t oper;

 protected:
  void serial_fields(lib::serial_list& l, unsigned version) override {
    bool circulation = false, depth_file = true;
    double depth_z = 1234.5, depth_cur = 1200;
    std::int32_t sub = 0, work = 0, host0 = 11, host1 = 12;
    std::vector<std::string> slots = {"вес_на_крюке", "обороты_ротора"};
    l.add(circulation).add(depth_file).add(depth_z).add(depth_cur);
    l.add(oper).add(sub).add(work).add(host0).add(host1);
    if (version >= 2) l.add(slots);
  }
};

// Saves a state file whose only block is `block`.
void save_block(const TempDir& dir, lib::ModuleBaseOld& block) {
  System writer(SystemOptions{dir.path()});
  writer.module_list().register_module(block, "DataStorage");
  ASSERT_TRUE(writer.save_to_file(dir.path()));
}

TEST(StationOperationState, StateFilesOfTheOlderLayoutsStillLoad) {
  for (unsigned layout : {1u, 2u}) {
    SCOPED_TRACE("layout " + std::to_string(layout));
    TempDir old_home;
    OlderStorageBlock block(layout, 15);
    save_block(old_home, block);

    Station s;
    const StateLoadReport report = s.hub->load_from_file(old_home.path());
    EXPECT_FALSE(report.damaged()) << s.log();
    EXPECT_EQ(report.blocks.read, 1);
    EXPECT_EQ(s.ds().depth_z(), 1234.5);
    EXPECT_EQ(s.ds().current_operation_item().operation, 15);
    EXPECT_EQ(s.ds().get_forced_operation_ex(), CurrentOperationItem{});
    EXPECT_EQ(s.ds().host_value(1), 12);
  }
}

TEST(StationOperationState, AnOperationTheDictionaryLacksIsReplacedReportedAndTheFileKept) {
  TempDir old_home;
  OlderStorageBlock block(2, 99);
  save_block(old_home, block);
  const std::string original = testing_support::read_file(old_home.file(kStateFileName));

  Station s;
  s.ds().set_operation(14);
  const StateLoadReport report = s.hub->load_from_file(old_home.path());
  // The rest of the block is good and is taken.
  EXPECT_EQ(s.ds().depth_z(), 1234.5);
  EXPECT_EQ(s.ds().current_operation_item(), CurrentOperationItem{});
  ASSERT_EQ(report.corrected.size(), 1u);
  EXPECT_NE(report.corrected[0].find("current operation (operation 99,"), std::string::npos)
      << report.corrected[0];
  EXPECT_NE(report.corrected[0].find("unknown operation 99 (known: 0..22)"), std::string::npos)
      << report.corrected[0];
  EXPECT_TRUE(report.damaged());
  // The operator hears of it, with the file, and the original is kept beside it.
  std::string notes;
  for (const auto& n : report.notes()) notes += n + "\n";
  EXPECT_NE(notes.find("state: DataStorage: the saved current operation"), std::string::npos)
      << notes;
  EXPECT_NE(s.log().find("'" + old_home.file(kStateFileName) + "': DataStorage: the saved"),
            std::string::npos)
      << s.log();
  ASSERT_FALSE(report.kept_copy.empty());
  EXPECT_EQ(testing_support::read_file(report.kept_copy), original);
}

TEST(StationOperationState, ADamagedBlockLeavesTheOperationAsItWas) {
  Station a;
  a.ds().set_operation(15);
  a.ds().set_forced_operation({6, 17, 0, 1});
  a.drain();
  ASSERT_TRUE(a.hub->save_to_file(a.dir.path()));
  std::string bytes = testing_support::read_file(a.dir.file(kStateFileName));
  // The forced operation sits in the last bytes before the DataStorage block's checksum.
  const std::size_t name_at = bytes.find("DataStorage");
  ASSERT_NE(name_at, std::string::npos);
  const std::size_t next_block = bytes.find("RBLK", name_at);
  ASSERT_NE(next_block, std::string::npos);
  bytes[next_block - 4 - 12] ^= 0x01;  // the forced operation, 6 → 7
  lib::write_file_atomically(a.dir.file(kStateFileName), bytes, lib::posix_file_system());

  Station b;
  b.ds().set_operation(14);
  const StateLoadReport report = b.hub->load_from_file(a.dir.path());
  EXPECT_TRUE(report.damaged());
  EXPECT_EQ(report.blocks.damaged, 1);
  EXPECT_NE(b.log().find("'DataStorage'"), std::string::npos) << b.log();
  EXPECT_EQ(b.ds().current_operation_item().operation, 14);
  EXPECT_EQ(b.ds().get_forced_operation_ex(), CurrentOperationItem{});
  EXPECT_FALSE(report.kept_copy.empty());
}

// ---- a storage outside a hub -------------------------------------------------------------------

TEST(StandaloneStorageOperation, ForcingAppliesAtOnceAndTheStandardDictionaryMaps) {
  TempDir home;
  params::AllParams catalogue(home.path(), lib::posix_file_system());
  ds_tmp::DataStorage ds(catalogue);
  EXPECT_EQ(&ds.operation_dictionary(), &calc::Operations::standard());
  ds.set_operation(15);
  EXPECT_EQ(ds.get_operation_ex(), (CurrentOperationItem{15, 4, 0, 1}));
  std::vector<int> told;
  ds_tmp::OperationServices services;
  services.forced_operation_changed = [&told](calc::OperType oper, int, calc::WorkType) {
    told.push_back(oper);
  };
  ds.set_operation_services(std::move(services));
  EXPECT_TRUE(ds.set_forced_operation({5, 15, 8, 1}));
  EXPECT_EQ(ds.get_operation(), 5) << "no main-thread queue: applied on the caller's thread";
  EXPECT_TRUE(ds.set_forced_operation_none());
  EXPECT_EQ(ds.get_operation(), 15);
  EXPECT_EQ(told, (std::vector<int>{5, 0}));
}

// ---- the dictionary of the hub ----------------------------------------------------------------

TEST(StationOperation, TheHubsDictionaryIsTheOneTheStorageMapsWith) {
  Station s;
  EXPECT_EQ(&s.ds().operation_dictionary(), &s.hub->operations());
  EXPECT_EQ(s.hub->operations().get_suboperation(s.ds().get_operation_ex().sub_operation),
            "Прочее");
}

}  // namespace
