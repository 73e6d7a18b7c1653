// Whole polling and output passes of the 2017 bus against the bus simulator on an in-memory
// line: silence costs fake time (the port's whole time-out), so the pass budget can be
// reached without waiting.
#include <gtest/gtest.h>

#include <tuple>

#include "hardware/bus2017/bus2017_module_config.h"
#include "hardware/bus2017/bus2017_protocol.h"
#include "hardware/sim/bus2017_sim.h"
#include "hub_fixture.h"

namespace {

using namespace hardware;
using bus_testing::HubFixture;

struct Bus2017Fixture : HubFixture {
  Bus2017Sim sim;
  Bus2017Fixture() {
    line->device = &sim;
    open_and_configure(kProtocol2017);
  }
  bool poll(const std::string& addresses, CommIncomData& data) {
    return hub->read_data(kProtocol2017, addresses, data);
  }
  std::vector<std::pair<int, int>> requests() const {
    std::vector<std::pair<int, int>> r;
    for (const auto& q : sim.requests()) r.emplace_back(q.address, q.command);
    return r;
  }
  int requests_to(int address) const {
    int n = 0;
    for (const auto& q : sim.requests()) n += q.address == address;
    return n;
  }
};

TEST(Bus2017Poll, OnePassAsksEachKindWithItsCommandInListOrder) {
  Bus2017Fixture f;
  f.sim.add_module(1).adc[4] = 1234;
  f.sim.add_indicator(33, 5);
  f.sim.add_console(65).adc[2] = 777;
  f.sim.add_module(97);  // beyond the consoles: a module again
  CommIncomData data;
  ASSERT_TRUE(f.poll("0,1,33,65,97", data));
  EXPECT_EQ(f.requests(),
            (std::vector<std::pair<int, int>>{{1, 0x01}, {33, 0x02}, {65, 0x80}, {97, 0x01}}));
  EXPECT_EQ(f.hub->device_types(),
            (std::map<std::int32_t, std::int32_t>{{1, 99}, {33, 5}, {65, 99}, {97, 99}}));
  EXPECT_EQ(std::make_tuple(data.modules.at(1).adc.size(), data.modules.at(1).adc[4],
                            data.modules.at(65).adc[2], data.modules.at(65).state),
            std::make_tuple(48u, 1234, 777, kUsoStateConsole));
  EXPECT_FALSE(data.modules.contains(33));
  EXPECT_EQ(data.address_sets[bus2017::kSetModules], (std::set<std::int32_t>{1, 97}));
  EXPECT_EQ(data.address_sets[bus2017::kSetConsoles], (std::set<std::int32_t>{65}));
  EXPECT_EQ(data.address_sets[bus2017::kSetIndicators], (std::set<std::int32_t>{33}));
  EXPECT_EQ(f.lines_containing("Finished USO "), 3);
  EXPECT_EQ(f.lines_containing("INDI 33 type 5"), 1);
  EXPECT_EQ(f.lines_containing("All USO DONE! Time="), 1);
  EXPECT_EQ(f.lines_containing("USO 1 data_version 0"), 1);
  // The hub keeps the reading as its last one.
  EXPECT_EQ(f.hub->get_last_adc_value(1, 4), 1234);
}

TEST(Bus2017Poll, SilentDevicesAreRetriedThenDroppedAndLeaveNoType) {
  Bus2017Fixture f;
  f.sim.add_module(1);
  f.sim.add_indicator(33, 5);
  f.sim.faults(33).silent = true;
  f.sim.add_module(2);
  f.sim.faults(2).silent = true;
  CommIncomData data;
  ASSERT_TRUE(f.poll("33,2,1", data));
  EXPECT_EQ(f.requests_to(33), 3);
  EXPECT_EQ(f.requests_to(2), 3);
  EXPECT_EQ(f.lines_containing("Error reading indy 33 type. retry..."), 3);
  EXPECT_EQ(f.lines_containing("Error reading USO 2 command 1 retry 3..."), 1);
  EXPECT_EQ(f.lines_containing("INDI 33 type FAILED!"), 1);
  EXPECT_EQ(f.lines_containing("USO 2 not connected"), 1);
  EXPECT_EQ(f.hub->device_types(), (std::map<std::int32_t, std::int32_t>{{1, 99}}));

  // Nothing that delivers data: the pass reports false even with an indicator answering.
  f.sim.faults(33).silent = false;
  CommIncomData only_indicator;
  EXPECT_FALSE(f.poll("33,2", only_indicator));
  EXPECT_EQ(f.hub->device_types(), (std::map<std::int32_t, std::int32_t>{{33, 5}}));
}

TEST(Bus2017Poll, LostRequestsAndBrokenRepliesAreRecoveredByRetries) {
  Bus2017Fixture f;
  f.sim.add_module(1).adc[0] = 42;
  f.sim.faults(1).drop_next = 1;
  f.sim.faults(1).garble_next = 1;
  f.line->noise_before_reply = {0x00, 0xF0, 0x1B, 0x07, 0xF0, 0xFF};
  CommIncomData data;
  ASSERT_TRUE(f.poll("1", data));
  EXPECT_EQ(f.requests_to(1), 3);
  EXPECT_EQ(data.modules.at(1).adc[0], 42);
}

TEST(Bus2017Poll, PassStopsBeforeTheNextAddressOnceTwoSecondsHavePassed) {
  Bus2017Fixture f;
  for (std::uint8_t a : {1, 2, 3}) {
    f.sim.add_module(a);
    f.sim.faults(a).silent = true;  // 3 attempts of 250 ms each
  }
  f.sim.add_module(9);
  CommIncomData data;
  EXPECT_FALSE(f.poll("1,2,3,9", data));
  EXPECT_EQ(f.requests_to(9), 0);
  EXPECT_EQ(f.lines_containing("TIMEOUT!"), 1);
  EXPECT_EQ(f.lines_containing("All USO DONE!"), 0);

  // Two silent modules cost 1500 ms: the third address is still served.
  f.sim.clear_requests();
  EXPECT_TRUE(f.poll("1,2,9", data));
  EXPECT_EQ(f.requests_to(9), 1);
}

TEST(Bus2017Poll, RepeatingConsoleIsAskedAgainUpToThirtyTimes) {
  Bus2017Fixture f;
  f.sim.add_console(65);
  CommIncomData data;
  ASSERT_TRUE(f.poll("65", data));  // the first block after clear is taken as it is

  f.sim.clear_requests();
  f.sim.faults(65).duplicates = 30;
  ASSERT_TRUE(f.poll("65", data));
  EXPECT_EQ(f.requests_to(65), 31);

  f.sim.clear_requests();
  f.sim.faults(65).duplicates = 31;
  EXPECT_FALSE(f.poll("65", data));
  EXPECT_EQ(f.requests_to(65), 31);
  EXPECT_EQ(f.lines_containing("USO 65 not connected, more than 30 duplicate packets received"), 1);
  EXPECT_FALSE(f.hub->device_types().contains(65));
}

TEST(Bus2017Poll, AcceptedConsoleBlockResetsTheSharedDuplicateCount) {
  Bus2017Fixture f;
  f.sim.add_console(65);
  f.sim.add_console(66);
  CommIncomData data;
  ASSERT_TRUE(f.poll("65,66", data));
  // Taken in turn, 66 recovers after 30 duplicates in all and clears the count, so 65's
  // five more do not reach the limit. In the other order the 31st duplicate is 65's.
  f.sim.faults(65).duplicates = 20;
  f.sim.faults(66).duplicates = 15;
  CommIncomData again;
  ASSERT_TRUE(f.poll("66,65", again));
  EXPECT_EQ(f.lines_containing("duplicate packets received"), 0);
  EXPECT_EQ(again.address_sets[bus2017::kSetConsoles], (std::set<std::int32_t>{65, 66}));

  f.sim.faults(65).duplicates = 20;
  f.sim.faults(66).duplicates = 15;
  CommIncomData other_order;
  ASSERT_TRUE(f.poll("65,66", other_order));
  EXPECT_EQ(f.lines_containing("USO 65 not connected, more than 30 duplicate packets"), 1);
  EXPECT_EQ(other_order.address_sets[bus2017::kSetConsoles], (std::set<std::int32_t>{66}));
}

TEST(Bus2017Poll, ModuleRepliesOfBothVersionsUnpackByTheirLayouts) {
  Bus2017Fixture f;
  Bus2017SimModule& v0 = f.sim.add_module(1, 0);
  v0.adc[47] = 4095;
  v0.periods[0] = 4;  // 25 Hz
  v0.periods[15] = 0;
  v0.status_a = 0x12;
  v0.status_b = 0x34;
  v0.flags = 0x0101;
  v0.dol = {10, -4};
  Bus2017SimModule& v101 = f.sim.add_module(2, 101);
  v101.adc[0] = 1;
  v101.periods[3] = 200;
  v101.dol = {5000, -7000};
  v101.next_packet = 0x12345678;
  f.sim.add_module(3, 7);  // a version nobody understands
  CommIncomData data;
  ASSERT_TRUE(f.poll("1,2,3", data));
  const USOData& a = data.modules.at(1);
  ASSERT_EQ(a.freq.size(), 16u);
  EXPECT_EQ(std::make_tuple(a.adc[47], a.freq[0], a.freq[15], a.status, a.flags),
            std::make_tuple(4095, 25.0f, 0.0f, 0x3412, 0x0101));
  EXPECT_EQ(a.counters, (decltype(a.counters){10, -4}));
  const USOData& b = data.modules.at(2);
  EXPECT_EQ(b.packet_number, 0x12345678u);
  EXPECT_EQ(b.adc[0], 1);
  EXPECT_FLOAT_EQ(b.freq[3], 0.5f);
  EXPECT_EQ(b.counters[0], 0);  // the first absolute count only initialises
  EXPECT_TRUE(b.dol[0].initialised);
  EXPECT_FALSE(data.modules.contains(3));
  EXPECT_EQ(f.lines_containing("USO 3 data_version 7 is not understood"), 1);
  EXPECT_EQ(f.hub->device_types().count(3), 0u);

  // Next pass: version 0 increments add, version 101 steps inside the window add.
  f.sim.module(1)->dol = {3, 0};
  f.sim.module(2)->dol = {5120, -7000};
  f.sim.module(1)->flags = 0x0002;
  CommIncomData next;
  next.module(1).flags = 0x8000;  // a reused reading keeps collecting flags
  ASSERT_TRUE(f.poll("1,2", next));
  EXPECT_EQ(next.modules.at(1).counters[0], 13);
  EXPECT_EQ(next.modules.at(1).flags, 0x8002);
  EXPECT_EQ(next.modules.at(2).counters[0], 120);
}

TEST(Bus2017Poll, RepeatedModulePacketKeepsTheLastValuesNotZeros) {
  Bus2017Fixture f;
  f.sim.add_module(1).adc[5] = 900;
  f.sim.add_module(2);
  CommIncomData first;
  ASSERT_TRUE(f.poll("1,2", first));
  f.sim.faults(1).duplicates = 1;
  f.sim.module(1)->adc[5] = 1;
  CommIncomData second;
  ASSERT_TRUE(f.poll("1,2", second));  // module 2 delivered
  EXPECT_EQ(f.requests_to(1), 2);      // a module is not asked again within the pass
  EXPECT_EQ(second.modules.at(1).adc[5], 900);
  EXPECT_EQ(f.hub->device_types().count(1), 0u);
  EXPECT_EQ(f.lines_containing("USO 1 Duplicate packet"), 1);
}

TEST(Bus2017Send, TheRelayWordLeadsTheConfigurationOfTheConsolesThatAskForIt) {
  Bus2017Fixture f;
  f.sim.add_console(65);
  f.sim.add_console(66);
  f.sim.add_console(67);
  using Bytes = std::vector<std::uint8_t>;
  CommOutData out;
  out.word = 0x0205;            // relays 1, 3 and 10
  out.pults[65].relays = true;  // nothing prepared: the word alone
  out.pults[66].relays = true;  // a prepared configuration keeps all but its first word
  out.pults[66].config = {0xAA, 0xBB, 0x11, 0x22, 0x33};
  out.pults[66].values = {7};
  out.pults[67].config = {0xAA, 0xBB};  // not asked: passed through
  ASSERT_TRUE(f.hub->send_data(kProtocol2017, "65,66,67", out));
  EXPECT_EQ(f.sim.console(65)->received_config, (std::vector<Bytes>{{0x05, 0x02}}));
  EXPECT_EQ(f.sim.console(65)->received_values, (std::vector<Bytes>{{}}));
  EXPECT_EQ(f.sim.console(66)->received_config,
            (std::vector<Bytes>{{0x05, 0x02, 0x11, 0x22, 0x33}}));
  EXPECT_EQ(f.sim.console(66)->received_values, (std::vector<Bytes>{{7}}));
  EXPECT_EQ(f.sim.console(67)->received_config, (std::vector<Bytes>{{0xAA, 0xBB}}));
  // Relays going off are sent too: the word 0 clears them.
  out.word = 0;
  out.pults[65].relays = true;
  ASSERT_TRUE(f.hub->send_data(kProtocol2017, "65", out));
  EXPECT_EQ(f.sim.console(65)->received_config, (std::vector<Bytes>{{0x05, 0x02}, {0, 0}}));
}

TEST(Bus2017Send, OutputPassDeliversEachEntryAndLogsFailures) {
  Bus2017Fixture f;
  f.sim.add_console(65);
  f.sim.add_indicator(33, 2);
  f.sim.add_indicator(34, 2);
  f.sim.add_indicator(35, 2);
  f.sim.faults(35).silent = true;
  CommOutData out;
  out.pults[65].values = {1, 2, 3};
  out.pults[65].config = {9};
  out.indicators[33].data = {0xF0, 0x1B};
  out.indicators[34].data = {};
  out.indicators[35].data = {5};
  out.indicators[40].data = {6};  // not in the port text
  ASSERT_TRUE(f.hub->send_data(kProtocol2017, "65,33,34,35", out));
  EXPECT_EQ(f.sim.console(65)->received_values,
            (std::vector<std::vector<std::uint8_t>>{{1, 2, 3}}));
  EXPECT_EQ(f.sim.console(65)->received_config, (std::vector<std::vector<std::uint8_t>>{{9}}));
  EXPECT_EQ(f.sim.indicator(33)->received, (std::vector<std::vector<std::uint8_t>>{{0xF0, 0x1B}}));
  EXPECT_TRUE(f.sim.indicator(34)->received.empty());
  EXPECT_EQ(f.lines_containing("INDI 34buffer 0"), 1);
  EXPECT_EQ(f.lines_containing("INDI 35result ERROR"), 1);
  EXPECT_EQ(f.requests_to(35), 1);  // writes are not retried
  EXPECT_EQ(f.requests_to(40), 0);
  EXPECT_EQ(f.lines_containing("Try to sent to INDI 33"), 1);
  EXPECT_TRUE(out.pults.empty());  // console output goes out once
  EXPECT_EQ(out.indicators.size(), 4u);

  // A console that does not confirm is logged for both blocks.
  f.sim.faults(65).silent = true;
  out.pults[65].values = {1};
  out.pults[65].config = {2};
  ASSERT_TRUE(f.hub->send_data(kProtocol2017, "65", out));
  EXPECT_EQ(f.lines_containing("PULT INDI 65result ERROR"), 1);
  EXPECT_EQ(f.lines_containing("PULT INDI CONFIG 65 result ERROR"), 1);
}

// Every request frame the bus saw, deciphered: address, command byte, data bytes.
using Frame = std::tuple<int, int, std::vector<std::uint8_t>>;
std::vector<Frame> sent(const Bus2017Sim& sim) {
  std::vector<Frame> frames;
  for (const auto& q : sim.requests()) frames.emplace_back(q.address, q.command, q.data);
  return frames;
}

TEST(Bus2017Send, ConsoleEntryAlwaysSendsValuesThenConfigurationEvenWhenOneIsEmpty) {
  using Bytes = std::vector<std::uint8_t>;
  struct Case {
    const char* name;
    Bytes values, config;
  };
  const Case cases[] = {
      {"both blocks", {1, 2, 3}, {9}},
      {"no values", {}, {7, 7}},
      {"no configuration", {0xF0, 0x1B}, {}},
      {"both empty", {}, {}},
  };
  for (const Case& c : cases) {
    Bus2017Fixture f;
    f.sim.add_console(65);
    CommOutData out;
    out.pults[65].values = c.values;
    out.pults[65].config = c.config;
    ASSERT_TRUE(f.hub->send_data(kProtocol2017, "65", out)) << c.name;
    // Exactly these two frames reach the console, values first, each with its bytes as
    // prepared; the console confirmed both, so nothing is logged as an error.
    EXPECT_EQ(sent(f.sim), (std::vector<Frame>{{65, 0x82, c.values}, {65, 0x83, c.config}}))
        << c.name;
    EXPECT_EQ(f.sim.console(65)->received_values, (std::vector<Bytes>{c.values})) << c.name;
    EXPECT_EQ(f.sim.console(65)->received_config, (std::vector<Bytes>{c.config})) << c.name;
    EXPECT_EQ(f.lines_containing("result ERROR"), 0) << c.name;
    EXPECT_TRUE(out.pults.empty()) << c.name;
  }
}

TEST(Bus2017Send, UnconfirmedValuesStillSendTheConfigurationAndNothingIsRetried) {
  Bus2017Fixture f;
  f.sim.add_console(65);
  f.sim.faults(65).drop_next = 1;  // the values frame is lost on the line
  CommOutData out;
  out.pults[65].values = {4, 5};
  out.pults[65].config = {6};
  ASSERT_TRUE(f.hub->send_data(kProtocol2017, "65", out));
  EXPECT_EQ(sent(f.sim), (std::vector<Frame>{{65, 0x82, {4, 5}}, {65, 0x83, {6}}}));
  EXPECT_TRUE(f.sim.console(65)->received_values.empty());
  EXPECT_EQ(f.sim.console(65)->received_config, (std::vector<std::vector<std::uint8_t>>{{6}}));
  EXPECT_EQ(f.lines_containing("PULT INDI 65result ERROR"), 1);
  EXPECT_EQ(f.lines_containing("PULT INDI CONFIG 65 result ERROR"), 0);

  // A result byte other than 0 is still the console's answer, not a failure.
  f.sim.clear_requests();
  f.sim.faults(65).result = 7;
  out.pults[65].values = {1};
  ASSERT_TRUE(f.hub->send_data(kProtocol2017, "65", out));
  EXPECT_EQ(sent(f.sim), (std::vector<Frame>{{65, 0x82, {1}}, {65, 0x83, {}}}));
  EXPECT_EQ(f.lines_containing("result ERROR"), 1);  // only the lost frame above
}

TEST(Bus2017Send, OnlyConsoleAndIndicatorAddressesOfThePortTextGetTheirEntries) {
  Bus2017Fixture f;
  f.sim.add_console(66);
  f.sim.add_console(65);
  f.sim.add_indicator(33, 2);
  f.sim.add_module(1);
  CommOutData out;
  out.pults[65].values = {0x65};
  out.pults[66].config = {0x66};
  out.pults[67].values = {0x67};  // a console, but not in the port text
  out.pults[1].values = {0x01};   // a module address: consoles only take 65..96
  out.pults[33].values = {0x33};  // an indicator address: its console entry is not its output
  out.indicators[33].data = {0xAA};
  out.indicators[65].data = {0xBB};  // a console address: indicator output is not for it
  ASSERT_TRUE(f.hub->send_data(kProtocol2017, "66,1,0,33,65", out));
  // In port-text order; the module gets nothing, address 0 is skipped.
  EXPECT_EQ(sent(f.sim), (std::vector<Frame>{{66, 0x82, {}},
                                             {66, 0x83, {0x66}},
                                             {33, 0x01, {0xAA}},
                                             {65, 0x82, {0x65}},
                                             {65, 0x83, {}}}));
}

TEST(Bus2017Poll, WinchSensorCountsAreTheModulesCountersForTheParameterTable) {
  Bus2017Fixture f;
  f.sim.add_module(1, 0).dol = {25, -3};
  f.sim.add_console(65).counter = 444;
  CommIncomData data;
  ASSERT_TRUE(f.poll("1,65", data));
  // A table row reads a winch sensor as counter channel 0 or 1 of its module.
  EXPECT_EQ(data.values(params::USOChannel(1, 0, params::kChannelCounter)), 25.0);
  EXPECT_EQ(data.values(params::USOChannel(1, 1, params::kChannelCounter)), -3.0);
  EXPECT_FALSE(data.got_value(params::USOChannel(1, 2, params::kChannelCounter)));
  // A console keeps its one counter word.
  EXPECT_EQ(data.values(params::USOChannel(65, 0, params::kChannelCounter)), 444.0);
  EXPECT_FALSE(data.got_value(params::USOChannel(65, 1, params::kChannelCounter)));

  // A reset zeroes the counts at the module's next reply, and the counters with them.
  f.hub->dol_accumulators().request_reset(1);
  f.sim.module(1)->dol = {5, 0};
  CommIncomData after_reset;
  ASSERT_TRUE(f.poll("1", after_reset));
  EXPECT_EQ(after_reset.modules.at(1).counters, (std::vector<std::int32_t>{5, 0}));
  EXPECT_EQ(after_reset.modules.at(1).dol[0].value, 5);

  // A repeated packet adds nothing: the counters stay those of the last accepted reply.
  f.sim.faults(1).duplicates = 1;
  f.sim.module(1)->dol = {100, 100};
  CommIncomData repeated;
  EXPECT_FALSE(f.poll("1", repeated));
  EXPECT_EQ(repeated.modules.at(1).counters, (std::vector<std::int32_t>{5, 0}));
  CommIncomData next;
  ASSERT_TRUE(f.poll("1", next));
  EXPECT_EQ(next.modules.at(1).counters, (std::vector<std::int32_t>{105, 100}));
}

TEST(Bus2017ModuleConfig, WriteThenReadBackAndTheAnyAddressRule) {
  Bus2017Fixture f;
  f.sim.add_module(7);
  f.sim.faults(7).result = 0;
  ModuleConfig2017 config{};
  for (std::size_t i = 0; i < config.size(); ++i) config[i] = static_cast<std::uint8_t>(0xF0 + i);
  f.slept_ms = 0;
  ASSERT_TRUE(write_module_config_2017(*f.hub, 7, config));
  EXPECT_EQ(f.slept_ms, bus2017::kConfigWritePauseMs);
  EXPECT_EQ(f.sim.module(7)->config, config);

  ModuleConfig2017 back{};
  int from = 0;
  ASSERT_TRUE(read_module_config_2017(*f.hub, 7, back, &from));
  EXPECT_EQ(back, config);
  EXPECT_EQ(from, 7);
  ASSERT_TRUE(read_module_config_2017(*f.hub, bus2017::kAnyAddress, back, &from));
  EXPECT_EQ(from, 7);

  EXPECT_FALSE(read_module_config_2017(*f.hub, 8, back));
  EXPECT_EQ(module_config_read_error(8), "Ошибка чтения конфигурации УСО с адресом 8");
  f.sim.add_module(9);
  EXPECT_FALSE(read_module_config_2017(*f.hub, bus2017::kAnyAddress, back));
  EXPECT_EQ(module_config_read_error(bus2017::kAnyAddress),
            "!Ошибка чтения конфигурации УСО!\nУбедитесь, что толко одно УСО подключено к шине "
            "данных!");
  f.sim.faults(7).silent = true;
  EXPECT_FALSE(write_module_config_2017(*f.hub, 7, config));
  f.hub->get_port().close();
  EXPECT_FALSE(read_module_config_2017(*f.hub, 9, back));
}

}  // namespace
