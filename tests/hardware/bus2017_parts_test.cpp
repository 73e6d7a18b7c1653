// The parts of the 2017 console protocols that stand without a bus: the address list, the
// winch-sensor accumulation rules, indicator scaling, the console configuration block and
// the older console's configuration upload.
#include <gtest/gtest.h>

#include <string>

#include "hardware/bus2017/bus2017_protocol.h"
#include "hardware/bus2017/pult_conf_data.h"
#include "hardware/bus2017/pult_config_upload.h"
#include "hardware/bus2017/pult_indicator.h"
#include "hardware/dol_accumulators.h"
#include "hub_fixture.h"

namespace {

using hardware::DolAccumulators;

TEST(BusAddresses, PortTextKeepsOrderAndDropsWhatIsNotAnAddress) {
  EXPECT_EQ(hardware::parse_bus_addresses("1,33,65"), (std::vector<int>{1, 33, 65}));
  EXPECT_EQ(hardware::parse_bus_addresses(" 65 , 0,2,2,97,255,256,-3,x,7x,,"),
            (std::vector<int>{65, 2, 97, 255}));
  EXPECT_TRUE(hardware::parse_bus_addresses("").empty());
  EXPECT_TRUE(hardware::parse_bus_addresses("/dev/ttyUSB0").empty());
}

struct DolLog {
  std::vector<std::string> lines;
  DolAccumulators acc{[this](std::string_view m, int) { lines.emplace_back(m); }};
  int count(const std::string& text) const {
    int n = 0;
    for (const auto& l : lines) n += l.find(text) != std::string::npos;
    return n;
  }
};

TEST(DolAccumulators, Version0IncrementsAddUpAndWrapInsteadOfOverflowing) {
  DolLog d;
  std::array<std::int16_t, 2> inc{5, -3};
  d.acc.add_increments(1, inc);
  inc = {7, 0};
  auto c = d.acc.add_increments(1, inc);
  EXPECT_EQ(c[0].value, 12);
  EXPECT_EQ(c[1].value, -3);
  EXPECT_TRUE(c[0].initialised);
  EXPECT_EQ(d.count("ACC DOL[0] = 12"), 1);
  EXPECT_EQ(d.acc.counts(2)[0].value, 0);  // other modules untouched

  DolAccumulators w;
  inc = {32767, 0};
  for (int i = 0; i < 65540; ++i) w.add_increments(1, inc);  // past INT32_MAX
  EXPECT_LT(w.counts(1)[0].value, 0);
}

TEST(DolAccumulators, Version101CountsInitialiseThenAddStepsInsideTheWindow) {
  DolLog d;
  std::array<std::int32_t, 2> v{100000, -20};
  auto c = d.acc.take_counts(1, v, false);
  EXPECT_EQ(c[0].value, 0);  // the first count only sets the baseline
  EXPECT_TRUE(c[0].initialised);
  v = {100499, -519};  // steps 499 and -499: both inside
  c = d.acc.take_counts(1, v, false);
  EXPECT_EQ(c[0].value, 499);
  EXPECT_EQ(c[1].value, -499);
  v = {100999, -1019};  // steps of exactly 500 are outside
  c = d.acc.take_counts(1, v, false);
  EXPECT_EQ(c[0].value, 499);
  EXPECT_EQ(c[1].value, -499);
  EXPECT_EQ(d.count("step 500 ignored"), 1);
  v = {101009, -1019};  // the baseline moved on with the refused step
  EXPECT_EQ(d.acc.take_counts(1, v, false)[0].value, 509);
  // A wrap of the module's 32-bit count is a huge step, not travel.
  DolLog w;
  v = {2147483600, 0};
  w.acc.take_counts(1, v, false);
  v = {-2147483600, 0};
  EXPECT_EQ(w.acc.take_counts(1, v, false)[0].value, 0);
}

TEST(DolAccumulators, PowerOffAndClearReinitialiseResetZeroes) {
  DolLog d;
  std::array<std::int32_t, 2> v{1000, 0};
  d.acc.take_counts(4, v, false);
  v = {1010, 0};
  d.acc.take_counts(4, v, false);
  // The module came back with its counter at 3: no step is taken, the count is kept.
  v = {3, 0};
  auto c = d.acc.take_counts(4, v, true);
  EXPECT_EQ(c[0].value, 10);
  EXPECT_EQ(d.count("DOL INIT AFTER POWER OFF"), 1);
  v = {8, 0};
  EXPECT_EQ(d.acc.take_counts(4, v, false)[0].value, 15);

  d.acc.forget_baselines();
  v = {400, 0};
  EXPECT_EQ(d.acc.take_counts(4, v, false)[0].value, 15);

  d.acc.request_reset(-1);
  v = {401, 0};
  c = d.acc.take_counts(4, v, false);
  EXPECT_EQ(c[0].value, 1);  // zeroed, then this reply's step
  EXPECT_EQ(d.count("USO 4 DOL RESET"), 1);
  v = {402, 0};
  EXPECT_EQ(d.acc.take_counts(4, v, false)[0].value, 2);  // a reset happens once
}

TEST(PultIndicator, DacValueScalesClampsAndHonoursFixedValues) {
  hardware::PultIndicator ind;
  EXPECT_EQ(ind.get_dac_value(0, 50.0, 100.0), 128);  // 127.5 rounds up
  EXPECT_EQ(ind.get_dac_value(7, 100.0, 100.0), 255);
  EXPECT_EQ(ind.get_dac_value(1, 101.0, 100.0), 255);
  EXPECT_EQ(ind.get_dac_value(1, -5.0, 100.0), 0);
  EXPECT_EQ(ind.get_dac_value(1, 0.2, 100.0), 1);
  EXPECT_EQ(ind.get_dac_value(8, 50.0, 100.0), 0);
  EXPECT_EQ(ind.get_dac_value(-1, 50.0, 100.0), 0);
  EXPECT_EQ(ind.get_dac_value(2, 50.0, 0.0), 0);  // no full scale: nothing to show
  EXPECT_EQ(ind.get_dac_value(2, std::nan(""), 100.0), 0);
  ind.fixed_values[3] = 17;
  EXPECT_EQ(ind.get_dac_value(3, 99.0, 100.0), 17);
  EXPECT_EQ(ind.get_dac_value(3, -1e9, 0.0), 17);
}

TEST(PultConfData, IsThirtyTwoPackedBytesZeroWhenMade) {
  hardware::PultConfData conf;
  EXPECT_EQ(conf.to_bytes(), (std::array<std::uint8_t, 32>{}));
  conf.word = 0x0201;
  conf.values[0] = 1.0f;  // 00 00 80 3F
  conf.bytes[1] = 0xAB;
  const auto bytes = conf.to_bytes();
  EXPECT_EQ(bytes[0], 0x01);
  EXPECT_EQ(bytes[1], 0x02);
  EXPECT_EQ(bytes[5], 0x3F);
  EXPECT_EQ(bytes[31], 0xAB);
  EXPECT_EQ(hardware::PultConfData::from_bytes(bytes), conf);
}

TEST(ConfigurePult1, WritesHeaderBlockAndXorChecksum) {
  bus_testing::HubFixture f(hardware::CommProtocols::kAllProtocols);
  const std::uint8_t block[] = {0x01, 0x02, 0x03};
  EXPECT_FALSE(hardware::configure_pult1(*f.hub, hardware::get_options_pilot(), block, 3, false));
  f.line->device = nullptr;
  f.open_and_configure(hardware::kProtocolNewPult);
  ASSERT_TRUE(hardware::configure_pult1(*f.hub, hardware::get_options_pilot(), block, 3, false));
  const std::vector<std::uint8_t> expected = {'O', 'P', 'T', 'I', 'O', 'N', 'S', 1, 2, 3, 0};
  EXPECT_EQ(f.line->written, expected);

  f.line->written.clear();
  const std::uint8_t other[] = {0x0F, 0xF0, 0x01};
  ASSERT_TRUE(hardware::configure_pult1(*f.hub, hardware::get_control_pilot(), other, 3, false));
  EXPECT_EQ(f.line->written.back(), 0xFE);
  EXPECT_EQ(std::string(f.line->written.begin(), f.line->written.begin() + 5), "1CTRL");
}

TEST(ConfigurePult1, WaitNeedsTwoAnswersWithinTenTries) {
  const std::uint8_t block[] = {0x05};
  {
    bus_testing::HubFixture f(hardware::CommProtocols::kAllProtocols);
    f.open_and_configure(hardware::kProtocolNewPult);
    ASSERT_TRUE(hardware::configure_pult1(*f.hub, hardware::get_options_pilot(), block, 1, true));
    EXPECT_EQ(f.device.requests(), 2u);
    EXPECT_EQ(f.slept_ms, 0);
    const std::vector<std::uint8_t> tail(f.line->written.end() - 9, f.line->written.end());
    EXPECT_EQ(tail, (std::vector<std::uint8_t>{'O', 'P', 'T', 'I', 'O', 'N', 'S', 5, 5}));
  }
  for (const int silent : {8, 9}) {
    // Answers come only at the 9th and 10th tries, or only at the 10th.
    bus_testing::HubFixture f(hardware::CommProtocols::kAllProtocols);
    f.open_and_configure(hardware::kProtocolNewPult);
    f.device.silent_replies = silent;
    EXPECT_EQ(hardware::configure_pult1(*f.hub, hardware::get_options_pilot(), block, 1, true),
              silent == 8);
    EXPECT_EQ(f.device.requests(), 10u);
    EXPECT_EQ(f.slept_ms, silent * hardware::kPultWaitPauseMs);
  }
  {
    bus_testing::HubFixture f(hardware::CommProtocols::kAllProtocols);
    f.open_and_configure(hardware::kProtocolNewPult);
    f.device.silent_replies = 1000;
    f.line->written.clear();
    EXPECT_FALSE(hardware::configure_pult1(*f.hub, hardware::get_options_pilot(), block, 1, true));
    EXPECT_EQ(f.device.requests(), 10u);
    EXPECT_EQ(f.slept_ms, 10 * hardware::kPultWaitPauseMs);
    EXPECT_EQ(std::string(f.line->written.end() - 7, f.line->written.end()).find("OPTIONS"),
              std::string::npos);
  }
}

}  // namespace
