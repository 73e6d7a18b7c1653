// The protocol hub: its registry under masks, port configuration, the exchange rules around
// the port state, the last reading and the published variables.
#include "hardware/comm_protocols.h"

#include <gtest/gtest.h>

#include "hardware/bus2017/packet_log.h"
#include "hub_fixture.h"
#include "support/fakes.h"

namespace {

using bus_testing::HubFixture;
using hardware::CommIncomData;
using hardware::CommOutData;
using hardware::CommProtocols;

std::vector<std::int32_t> ids_of(const CommProtocols& hub) {
  std::vector<std::int32_t> ids;
  hub.enum_protocols_ids(ids);
  return ids;
}

TEST(ProtocolRegistry, StationMaskHidesTheJunctionBox) {
  HubFixture f;
  EXPECT_EQ(f.hub->get_protocol_number(11), -1);
  std::vector<std::string> names = {"stale"};
  f.hub->enum_protocols(names);
  EXPECT_EQ(names.size(), 3u);
  EXPECT_EQ(f.hub->get_last_protocol(), 2);
  EXPECT_EQ(f.hub->get_pult_type(), -1);

  HubFixture all(CommProtocols::kAllProtocols);
  EXPECT_EQ(ids_of(*all.hub), (std::vector<std::int32_t>{5, 10, 28, 11}));
  std::int32_t raw[4] = {};
  all.hub->enum_protocols_ids(raw);
  EXPECT_EQ(raw[3], 11);
  EXPECT_EQ(all.hub->get_protocol_id(3), 11);
  EXPECT_EQ(all.hub->get_protocol_id(4), -1);
  EXPECT_EQ(all.hub->get_protocol_id(-1), -1);
}

TEST(ProtocolRegistry, MaskBitIsIdModulo32AndLastIndexFollowsEveryCall) {
  HubFixture f;
  f.hub->unregister_protocols();
  EXPECT_EQ(f.hub->get_last_protocol(), 0);
  f.hub->register_protocol(40, "forty", nullptr, nullptr, 0, 1023, 9600, 100, 1u << 8);
  EXPECT_TRUE(f.hub->pult_exists(40));
  f.hub->register_protocol(41, "hidden", nullptr, nullptr, 0, 1023, 9600, 100, 1u << 8);
  EXPECT_FALSE(f.hub->pult_exists(41));
  EXPECT_EQ(f.hub->get_last_protocol(), 0);
}

TEST(ProtocolRegistry, OnlyHorizAndOnlyEmu) {
  HubFixture f;
  f.hub->register_only_horiz();
  EXPECT_EQ(ids_of(*f.hub), (std::vector<std::int32_t>{5, 8, 28}));
  EXPECT_FALSE(f.hub->protocol_at(0)->send);
  EXPECT_EQ(f.hub->get_last_protocol(), 2);

  f.hub->register_only_emu(false);
  EXPECT_EQ(ids_of(*f.hub), (std::vector<std::int32_t>{28}));
  EXPECT_TRUE(f.configured.empty());
  f.hub->register_only_emu(true);
  EXPECT_EQ(f.configured, (std::vector<std::int32_t>{28}));
}

TEST(ProtocolRegistry, ConfigurePortTimeOutsAndPacketLogging) {
  HubFixture f;
  f.hub->get_port().open("/dev/fake");
  f.hub->set_packet_log_level(5);
  f.hub->configure_port(10, 0);
  EXPECT_EQ(f.hub->get_port().time_out(), 250);
  EXPECT_EQ(f.line->baud, 115200);
  EXPECT_EQ(f.hub->packet_log_level(), -1);
  f.hub->configure_port(5, 0);
  EXPECT_EQ(f.hub->get_port().time_out(), 500);
  f.hub->configure_port(28, 40);
  EXPECT_EQ(f.hub->get_port().time_out(), 40);
  EXPECT_EQ(f.line->baud, 9600);
  // An unknown id leaves the port alone but still silences the packet log.
  f.hub->set_packet_log_level(5);
  f.hub->configure_port(11, 0);
  EXPECT_EQ(f.hub->get_port().time_out(), 40);
  EXPECT_EQ(f.line->baud, 9600);
  EXPECT_EQ(f.hub->packet_log_level(), -1);
  EXPECT_EQ(f.hub->get_max_adc_value(), 4095);
}

TEST(Exchanges, ClosedPortServesOnlyTheEmulator) {
  HubFixture f;
  CommIncomData data;
  EXPECT_TRUE(f.hub->read_data(28, "COM1", data));
  EXPECT_EQ(f.hub->port_text(), "COM1");
  EXPECT_EQ(f.hub->get_pult_type(), 2);
  EXPECT_EQ(f.hub->get_last_data(), data);
  f.slept_ms = 0;
  EXPECT_FALSE(f.hub->read_data(5, "", data));
  EXPECT_EQ(f.slept_ms, 0);  // refused before any exchange
  EXPECT_FALSE(f.hub->read_data(99, "", data));

  f.hub->register_only_horiz();
  EXPECT_FALSE(f.hub->read_data(8, "", data));
  EXPECT_TRUE(f.hub->read_data(28, "", data));
}

TEST(Exchanges, FailedReadKeepsTheLastReadingAndPauses) {
  HubFixture f;
  f.open_and_configure(5);
  f.device.adc[3] = 1234;
  CommIncomData data;
  ASSERT_TRUE(f.hub->read_data(5, "", data));
  EXPECT_EQ(f.hub->get_last_adc_value(0, 3), 1234);
  EXPECT_EQ(f.hub->device_types(), (std::map<std::int32_t, std::int32_t>{{0, 99}}));

  f.device.adc[3] = 999;
  f.device.garbled_replies = 1;
  f.slept_ms = 0;
  EXPECT_FALSE(f.hub->read_data(5, "", data));
  EXPECT_EQ(f.slept_ms, CommProtocols::kFailedReadPauseMs);
  EXPECT_EQ(f.hub->get_last_adc_value(0, 3), 1234);
  EXPECT_EQ(f.hub->get_last_adc_value(7, 3), 0);  // never answered
  EXPECT_EQ(f.hub->get_last_adc_value(0, 99), 0);
}

TEST(Exchanges, NoProtocolFunctionMeansFailureNotACrash) {
  HubFixture f;
  f.open_and_configure(10);
  CommIncomData data;
  EXPECT_FALSE(f.hub->read_data(10, "1,2", data));
  EXPECT_EQ(f.hub->port_text(), "1,2");
  // Once plugged in, the hub runs it.
  int calls = 0;
  EXPECT_TRUE(f.hub->set_protocol_functions(
      10, [&](CommProtocols&, CommIncomData&) { return ++calls > 0; }, nullptr));
  EXPECT_TRUE(f.hub->read_data(10, "1,2", data));
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(f.hub->set_protocol_functions(77, nullptr, nullptr));
}

TEST(Exchanges, SendGoesOutOnceAndOnlyWhereThereIsASendFunction) {
  HubFixture f(CommProtocols::kAllProtocols);
  CommOutData out;
  out.pults[0].values = {0x10, 0x20};
  EXPECT_FALSE(f.hub->send_data(5, "", out));  // port closed
  f.open_and_configure(5);
  ASSERT_TRUE(f.hub->send_data(5, "", out));
  ASSERT_EQ(f.device.outputs().size(), 1u);
  EXPECT_EQ(f.device.outputs()[0], (std::vector<std::uint8_t>{0x10, 0x20}));
  EXPECT_TRUE(out.pults.empty());
  EXPECT_TRUE(f.hub->send_data(5, "", out));  // nothing left to send
  EXPECT_EQ(f.device.outputs().size(), 1u);

  out.pults[0].values = {1};
  EXPECT_FALSE(f.hub->send_data(28, "", out));
  EXPECT_FALSE(f.hub->send_data(11, "", out));
  EXPECT_EQ(out.pults.size(), 1u);

  // A raw block is written as it is, without the output frame.
  out.pults[0] = {{'O', 'K'}, {}, true};
  f.line->written.clear();
  ASSERT_TRUE(f.hub->send_data(5, "", out));
  EXPECT_EQ(f.line->written, (std::vector<std::uint8_t>{'O', 'K'}));
}

TEST(Exchanges, LastDataCopiesAreDeep) {
  HubFixture f;
  CommIncomData data;
  data.module(4).adc = {1, 2, 3};
  data.address_sets[1].insert(65);
  data.address_blocks[65] = {7};
  f.hub->update_last_data(data);
  data.module(4).adc[0] = 100;
  data.address_sets[1].clear();
  const CommIncomData last = f.hub->get_last_data();
  EXPECT_EQ(last.modules.at(4).adc[0], 1);
  EXPECT_EQ(last.address_sets[1].count(65), 1u);
  EXPECT_EQ(last.address_blocks.at(65), (std::vector<std::uint8_t>{7}));
}

TEST(Exchanges, UpdateVariablesPublishesEveryModule) {
  HubFixture f;
  CommIncomData data;
  data.module(3).extra[hardware::kExtraSupply] = 24.5f;
  data.module(3).extra[hardware::kExtraTemperature] = -3.25f;
  data.module(3).extra[hardware::kExtraPlus5V] = 5.0f;
  data.module(3).extra[hardware::kExtraPlus12V] = 12.0f;
  data.module(12);
  f.hub->update_variables(data);
  EXPECT_EQ(f.variables.size(), 8u);
  EXPECT_EQ(f.variables["pult3.voltage"], "24.500");
  EXPECT_EQ(f.variables["pult3.tempr"], "-3.250");
  EXPECT_EQ(f.variables["pult3.+5v"], "5.000");
  EXPECT_EQ(f.variables["pult3.+12v"], "12.000");
  EXPECT_EQ(f.variables["pult12.voltage"], "0.000");
}

TEST(Emulator, OneReadingASecondWithinItsRanges) {
  HubFixture f;
  CommIncomData data;
  ASSERT_TRUE(f.hub->read_data(28, "", data));
  const std::int64_t first = f.clock.steady;
  f.clock.steady += 200;
  ASSERT_TRUE(f.hub->read_data(28, "", data));
  EXPECT_GE(f.clock.steady - first, 1000);
  EXPECT_LT(f.clock.steady - first, 1000 + 10 + 1);
  for (int i = 0; i < 300; ++i) {
    ASSERT_TRUE(f.hub->read_data(28, "", data));
    const auto& rec = data.modules.at(0);
    ASSERT_EQ(rec.adc.size(), 32u);
    for (auto v : rec.adc) {
      ASSERT_GE(v, 1024);
      ASSERT_LE(v, 4095);
    }
    ASSERT_EQ(rec.freq.size(), 8u);
    for (float r : rec.freq) ASSERT_TRUE(r == 0.0f || r == 1.0f);
    ASSERT_GE(rec.counters[0], 0);
    ASSERT_LT(rec.counters[0], 10);
    ASSERT_EQ(rec.state, 1);
  }
}

// The packet log writes through the file system the owner hands in, not the real disk.
TEST(CommProtocolsPacketLog, WritesThroughTheOwnersFileSystem) {
  testing_support::TempDir dir;
  testing_support::FaultyFileSystem fs;
  fs.fail_open_with = hardware::kPacketLogFileName;
  testing_support::FakeClock clock;
  hardware::CommProtocolsEnv env;
  env.clock = &clock;
  env.file_system = &fs;
  env.home_folder = dir.path();
  env.line =
      std::make_unique<bus_testing::ScriptedLine>(std::make_shared<bus_testing::LineState>());
  CommProtocols hub(CommProtocols::kStationMask, std::move(env));
  hub.set_packet_log_level(5);
  EXPECT_FALSE(hub.packet_log().write("frame", 1));
  EXPECT_GE(fs.opens, 1);
  EXPECT_FALSE(std::filesystem::exists(dir.file(hardware::kPacketLogFileName)));
}

}  // namespace
