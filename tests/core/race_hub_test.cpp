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
