// Unpacking of the older modules' block, the packet-number continuity check and the
// selection of one raw value from a reading.
#include <gtest/gtest.h>

#include "hardware/bus_old/old_block.h"
#include "hub_fixture.h"

namespace {

using bus_testing::HubFixture;
using hardware::CommIncomData;
using params::USOChannel;

struct Sequence {
  std::vector<std::uint32_t> numbers;
  std::vector<bool> accepted;
  std::int32_t final_state;
  int discontinuity_lines;
  int duplicate_lines;
  bool backwards;
};

class ContinuityTest : public ::testing::TestWithParam<Sequence> {};

TEST_P(ContinuityTest, AcceptsLogsAndMarksTheState) {
  const Sequence& s = GetParam();
  HubFixture f;
  CommIncomData data;
  bool backwards = false;
  for (std::size_t i = 0; i < s.numbers.size(); ++i) {
    EXPECT_EQ(f.hub->check_packet_number(data, 2, s.numbers[i], 255, &backwards), s.accepted[i])
        << "packet " << i;
    EXPECT_EQ(data.modules.at(2).packet_number, s.numbers[i]);
  }
  EXPECT_EQ(data.modules.at(2).state, s.final_state);
  EXPECT_EQ(f.lines_containing("USO 2 Uncontinuous packet"), s.discontinuity_lines);
  EXPECT_EQ(f.lines_containing("USO 2 Duplicate packet"), s.duplicate_lines);
  EXPECT_EQ(backwards, s.backwards);
}

INSTANTIATE_TEST_SUITE_P(Sequences, ContinuityTest,
                         ::testing::Values(Sequence{{7, 8, 9}, {true, true, true}, 1, 0, 0, false},
                                           Sequence{{7, 7}, {true, false}, 1, 0, 1, false},
                                           Sequence{{7, 9}, {true, true}, 1, 1, 0, false},
                                           Sequence{{7, 10}, {true, true}, 0, 1, 0, false},
                                           Sequence{{255, 0}, {true, true}, 1, 0, 0, false},
                                           Sequence{{100, 0}, {true, true}, 0, 0, 0, true},
                                           Sequence{{5, 3}, {true, true}, 1, 1, 0, true}));

TEST(OldBlock, RateWords) {
  using hardware::old_block::rate_of_word;
  EXPECT_FLOAT_EQ(rate_of_word(0x0005), 5.0f);
  EXPECT_FLOAT_EQ(rate_of_word(0x8004), 25.0f);
  EXPECT_FLOAT_EQ(rate_of_word(0x8000), 0.0f);
  EXPECT_FLOAT_EQ(rate_of_word(0x7FFF), 32767.0f);
  EXPECT_FLOAT_EQ(rate_of_word(0xFFFF), 100.0f / 32767.0f);
}

TEST(OldBlock, UnpackingPutsEveryWordInItsPlace) {
  HubFixture f;
  hardware::OldBusDevice& d = f.device;
  for (int i = 0; i < 24; ++i)
    d.adc[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(100 + i);
  d.adc[23] = 4095;  // supply
  d.adc[22] = 0;     // no temperature sensor
  d.adc[20] = 2000;
  d.counter = 0xBEEF;
  d.rate_words = {0x0005, 0x8004, 0x8000, 0x0007};
  d.status = 0xFF;
  CommIncomData data;
  ASSERT_TRUE(f.hub->read_data_new_process_data(data, d.make_block(17), 0));
  const auto& r = data.modules.at(0);
  ASSERT_EQ(r.adc.size(), 24u);
  EXPECT_EQ(r.adc[0], 100);
  EXPECT_EQ(r.adc[19], 119);
  EXPECT_EQ(r.adc[23], 4095);
  EXPECT_EQ(r.counters, (std::vector<std::int32_t>{0xBEEF}));
  EXPECT_EQ(r.freq, (std::vector<float>{5.0f, 25.0f, 0.0f, 7.0f}));
  EXPECT_EQ(r.status, 0x7F);
  EXPECT_EQ(r.packet_number, 17u);
  EXPECT_FLOAT_EQ(r.extra[hardware::kExtraSupply], 5.0f);
  EXPECT_FLOAT_EQ(r.extra[hardware::kExtraTemperature], 0.0f);
  EXPECT_NEAR(r.extra[hardware::kExtraPlus5V], 4.012 * 2.5 * 2000 / 4095, 1e-5);
  EXPECT_NEAR(r.extra[hardware::kExtraPlus12V], 7.024 * 2.5 * 121 / 4095, 1e-5);

  // The same packet again is refused and leaves zeros, not the previous values.
  EXPECT_FALSE(f.hub->read_data_new_process_data(data, d.make_block(17), 0));
  EXPECT_EQ(data.modules.at(0).adc[0], 0);
  EXPECT_EQ(data.modules.at(0).counters[0], 0);
}

TEST(OldBlock, TemperatureFollowsTheSensorLine) {
  // 1.5 V on the sensor input.
  const auto word = static_cast<std::uint16_t>(1.5 / 2.5 * 4095);
  EXPECT_NEAR(hardware::old_block::temperature_celsius(word, 4095), (1.5 - 1.009621489) * 271.0,
              0.2);
  EXPECT_FLOAT_EQ(hardware::old_block::supply_volts(4095, 0), 0.0f);  // no scale, no division
}

TEST(Selectors, ValuesPickByKindAndRange) {
  HubFixture f(hardware::CommProtocols::kAllProtocols);
  f.open_and_configure(11);
  f.device.adc[3] = 3333;
  f.device.counter = 42;
  f.device.rate_words[2] = 9;
  CommIncomData data;
  ASSERT_TRUE(f.hub->read_data(11, "", data));
  EXPECT_EQ(f.device.last_command(), "2P");
  EXPECT_TRUE(data.got_value(USOChannel(0, 3, 0)));
  EXPECT_DOUBLE_EQ(data.values(USOChannel(0, 3, 0)), 3333.0);
  EXPECT_FALSE(data.got_value(USOChannel(0, 24, 0)));
  EXPECT_DOUBLE_EQ(data.values(USOChannel(0, 24, 0)), 0.0);
  EXPECT_DOUBLE_EQ(data.values(USOChannel(0, 0, 2)), 42.0);
  EXPECT_FALSE(data.got_value(USOChannel(0, 1, 2)));
  EXPECT_DOUBLE_EQ(data.values(USOChannel(0, 2, 1)), 9.0);
  EXPECT_FALSE(data.got_value(USOChannel(0, 0, 3)));
  EXPECT_FALSE(data.got_value(USOChannel(0, -1, 0)));
  EXPECT_FALSE(data.got_value(USOChannel(5, 0, 0)));
}

TEST(Selectors, AddressList) {
  CommIncomData data;
  EXPECT_EQ(data.enum_uso_addrs(), "");
  data.module(12);
  data.module(1);
  data.module(3);
  EXPECT_EQ(data.enum_uso_addrs(), "1,3,12");
}

}  // namespace
