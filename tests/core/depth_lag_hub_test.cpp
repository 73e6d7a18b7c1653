// The depth calculator and the lag-depth tracker as the hub wires them: state file, the run
// bracket, the settings file and the named values.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "calc/delayed_depth.h"
#include "calc/depth_calc.h"
#include "core/config.h"
#include "core/system.h"
#include "formula/calculator.h"
#include "formula/resolver.h"
#include "lib/file_system.h"
#include "storage/data_storage.h"
#include "support/fakes.h"

using namespace reg;
using testing_support::TempDir;

namespace {

std::string log_of(const TempDir& dir) {
  return testing_support::read_file(dir.file(kErrorLogFileName));
}

// Stands in for the lag tracker of a faulty writer: a whole block whose mark count is wrong.
struct LyingLagBlock : lib::SerialModuleBase {
  LyingLagBlock() : SerialModuleBase("DelayedDepth", 1) {}

 protected:
  void serial_fields(lib::serial_list& list, unsigned) override {
    double value = 1777.5;
    std::int32_t time = 12;
    std::uint32_t count = 500;
    float depth = 1778, volume = 40;
    list.add(value).add(time).add(count).add(depth).add(volume);
  }
};

TEST(DepthLagHub, ALagQueueClaimingMoreMarksThanItHoldsLoadsWhatIsThereAndIsLogged) {
  TempDir a_dir, b_dir;
  System a(SystemOptions{a_dir.path()});
  a.register_modules();
  LyingLagBlock lying;
  a.module_list().register_module(lying, "DelayedDepth");
  a.data_storage().set_depth_z(1800);
  ASSERT_TRUE(a.save_to_file(a_dir.path()));

  System b(SystemOptions{b_dir.path()});
  b.register_modules();
  b.load_from_file(a_dir.path());
  const calc::DelayedDepth& lag = b.data_storage().delayed_depth();
  EXPECT_EQ(lag.get_value(), 1777.5);
  ASSERT_EQ(lag.records().size(), 1u);
  EXPECT_EQ(lag.records()[0], (calc::DelayedDepthTime{1778, 40}));
  EXPECT_EQ(b.data_storage().depth_z(), 1800.0) << "the other modules are read as usual";
  const std::string log = log_of(b_dir);
  EXPECT_NE(log.find("announces 500 mark(s) but holds data for 1"), std::string::npos) << log;
}

TEST(DepthLagHub, TheCalibrationLoadsAndSavesWithTheSettingsFile) {
  TempDir dir;
  const std::string path = dir.file(kConfigFileName);
  std::ofstream(path) << "[DepthCalcOpts]\nmode=1\nsmooth_mode=1\ncorr_coeff=9\n"
                         "[DepthCalc]\ncount=2\n1=30,15,21\n2=15,0,broken\n";
  System hub(SystemOptions{dir.path()});
  const std::vector<std::string> notes = hub.config().load_for_start(path, hub.file_system());
  std::string all;
  for (const auto& n : notes) all += n + "\n";
  calc::DepthCalc& dc = hub.depth_calc();
  EXPECT_EQ(dc.get_mode(), 1);
  EXPECT_EQ(dc.get_smooth_mode(), 1);
  EXPECT_EQ(dc.get_corr_coeff(), 2.0);
  ASSERT_EQ(dc.size(), 1u);
  EXPECT_EQ(dc.get_elem(0), calc::DolCalibrItem(30, 15, 21));
  EXPECT_NE(all.find(path + ": [DepthCalcOpts] corr_coeff = \"9\""), std::string::npos) << all;
  EXPECT_NE(all.find(path + ": [DepthCalc] line 2 skipped"), std::string::npos) << all;

  dc.get_elem(0).count = 23.5f;
  dc.get_elements_list().push_back(calc::DolCalibrItem(15, 0, 25));
  hub.config().save_to_file(path, hub.file_system());
  const std::string saved = testing_support::read_file(path);
  EXPECT_NE(saved.find("1=30.000,15.000,23.500"), std::string::npos) << saved;
  EXPECT_NE(saved.find("2=15.000,0.000,25.000"), std::string::npos) << saved;
  EXPECT_NE(saved.find("corr_coeff=2.000"), std::string::npos) << saved;

  System again(SystemOptions{dir.path()});
  EXPECT_TRUE(again.config().load_for_start(path, again.file_system()).empty());
  EXPECT_EQ(again.depth_calc().get_elements_list(), dc.get_elements_list());
}

}  // namespace
