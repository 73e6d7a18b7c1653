// The run totals and the stand counter as the hub owns them: the run bracket, sys.bin, a
// damaged block of either, and their named values.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "calc/candle_counter.h"
#include "calc/race_total.h"
#include "core/system.h"
#include "lib/module_list.h"
#include "storage/data_storage.h"
#include "support/fakes.h"

using namespace reg;
using testing_support::FakeClock;
using testing_support::TempDir;

namespace {

TEST(RaceHub, ANewRunClearsAndStartsTheTotalsAContinuedOneKeepsThemAndTheEndStopsThem) {
  TempDir dir;
  FakeClock clock;
  clock.set(2026, 12, 5, 8, 0, 0);
  SystemOptions o{dir.path()};
  o.clock = &clock;
  System hub(o);
  calc::RaceTotal& race = hub.race_total();
  hub.data_storage().set_depth_z(2100);
  hub.before_work(1, false, "");
  EXPECT_EQ(race.get_race_start(), 2100);
  EXPECT_EQ(race.start_time(), clock.now.seconds);
  for (int i = 0; i < 30; ++i) race.calculate();
  hub.data_storage().set_depth_z(2112);
  race.calculate();
  EXPECT_EQ(hub.values().get("race.prohodka"), 12);
  EXPECT_NEAR(hub.values().get("race.registr_time"), 31 / 3600.0, 1e-12);

  clock.now.seconds += 3600;
  hub.after_work("");
  EXPECT_EQ(race.end_depth(), 2112);
  EXPECT_NEAR(race.get_race_rate(), 12, 1e-9);

  hub.before_work(1, true, "");
  EXPECT_EQ(race.total_ticks(), 31) << "a continued run keeps its totals";
  EXPECT_EQ(race.get_race_start(), 2100);
  hub.after_work("");
  hub.before_work(2, false, "");
  EXPECT_EQ(race.total_ticks(), 0) << "a new run starts from nothing";
  EXPECT_EQ(race.get_race_start(), 2112);
  EXPECT_EQ(hub.values().get("race.prohodka"), 0);
}

TEST(RaceHub, TotalsAndCountsSurviveSysBin) {
  TempDir a_dir, b_dir;
  System a(SystemOptions{a_dir.path()});
  a.register_modules();
  a.data_storage().set_depth_z(1500);
  a.before_work(3, false, "");
  a.data_storage().set_depth_z(1520.5);
  for (int i = 0; i < 12; ++i) a.race_total().calculate();
  a.candle_counter().set(88);
  a.candle_counter().set_pipe(2);
  ASSERT_TRUE(a.save_to_file(a_dir.path()));

  System b(SystemOptions{b_dir.path()});
  b.register_modules();
  const StateLoadReport report = b.load_from_file(a_dir.path());
  EXPECT_FALSE(report.damaged());
  EXPECT_EQ(b.race_total().total_ticks(), 12);
  EXPECT_DOUBLE_EQ(b.race_total().get_prohodka(), 20.5);
  EXPECT_EQ(b.values().get("candles.value"), 88);
  EXPECT_EQ(b.values().get("candles.pipe"), 2);
}

// Writes what a damaged (but whole) block would hold, under the module's name.
class Forged : public lib::SerialModuleBase {
 public:
  Forged(const char* name, std::vector<std::int32_t> words)
      : SerialModuleBase(name, 1), words_(std::move(words)) {}

 protected:
  void serial_fields(lib::serial_list& list, unsigned) override {
    for (auto& w : words_) list.add(w);
  }

 private:
  std::vector<std::int32_t> words_;
};

TEST(RaceHub, ADamagedBlockOfEitherIsLoggedAndTheRestOfTheStateIsRead) {
  TempDir dir;
  // A stand count below zero and run totals cut short, in a file that is otherwise sound.
  {
    Forged race("RaceTotal", {0, 0, 0, 0, 0});
    Forged candles("CandleCounter", {-4, 1});
    System writer(SystemOptions{dir.path()});
    writer.register_modules();
    writer.data_storage().set_depth_z(3333);
    lib::ModuleList& real = writer.module_list();
    real.unregister_module("RaceTotal");
    real.unregister_module("CandleCounter");
    real.register_module(race);
    real.register_module(candles);
    ASSERT_TRUE(writer.save_to_file(dir.path()));
  }
  System hub(SystemOptions{dir.path()});
  hub.register_modules();
  hub.candle_counter().set(17);
  hub.race_total().calculate();
  const StateLoadReport report = hub.load_from_file(dir.path());
  EXPECT_TRUE(report.damaged());
  EXPECT_EQ(hub.candle_counter().get(), 17) << "the count held is kept";
  EXPECT_EQ(hub.race_total().total_ticks(), 1) << "the totals held are kept";
  EXPECT_EQ(hub.data_storage().depth_z(), 3333) << "the other modules are read";
  const std::string log = testing_support::read_file(dir.file(kErrorLogFileName));
  EXPECT_NE(log.find("CandleCounter: the stand count -4 is outside"), std::string::npos) << log;
  EXPECT_NE(log.find("RaceTotal"), std::string::npos) << log;
  EXPECT_FALSE(report.kept_copy.empty()) << "the damaged file is kept aside";
}

}  // namespace
