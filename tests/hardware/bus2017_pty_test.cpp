// A whole 2017 bus behind a real pseudo-terminal: the station's polling and output passes
// and the module configuration exchange, with the kernel's tty layer and real time-outs.
#include <gtest/gtest.h>

#include <mutex>

#include "hardware/bus2017/bus2017_module_config.h"
#include "hardware/comm_protocols.h"
#include "hardware/sim/bus2017_sim.h"
#include "hardware/sim/bus_sim_server.h"
#include "lib/pseudo_terminal.h"

namespace {

using namespace hardware;

TEST(Bus2017Pty, PollSendAndConfigureAWholeBus) {
  lib::PseudoTerminal pty;
  ASSERT_TRUE(pty.create()) << pty.error();
  Bus2017Sim sim;
  sim.add_module(1).adc[0] = 100;
  sim.add_module(2, 101).adc[1] = 200;
  sim.add_indicator(33, 4);
  sim.add_console(65).counter = 9;
  sim.add_module(3);
  sim.faults(3).silent = true;
  BusSimServer server(lib::make_serial_byte_port_from_fd(pty.release_master()), sim);
  server.start();

  CommProtocols hub(CommProtocols::kStationMask, {});
  ASSERT_TRUE(hub.get_port().open(pty.slave_path()));
  hub.configure_port(kProtocol2017, 100);
  hub.clear();

  CommIncomData data;
  ASSERT_TRUE(hub.read_data(kProtocol2017, "1,2,3,33,65", data));
  EXPECT_EQ(data.modules.at(1).adc[0], 100);
  EXPECT_EQ(data.modules.at(2).adc[1], 200);
  EXPECT_EQ(data.modules.at(65).counters[0], 9);
  EXPECT_FALSE(data.modules.contains(3));
  EXPECT_EQ(hub.device_types(),
            (std::map<std::int32_t, std::int32_t>{{1, 99}, {2, 99}, {33, 4}, {65, 99}}));

  CommOutData out;
  out.pults[65].values = {0xF0, 0xF0, 0x1B};
  out.indicators[33].data = std::vector<std::uint8_t>(100, 0xF0);
  ASSERT_TRUE(hub.send_data(kProtocol2017, "33,65", out));
  {
    std::lock_guard guard(server.device_lock());
    ASSERT_EQ(sim.console(65)->received_values.size(), 1u);
    EXPECT_EQ(sim.console(65)->received_values[0], (std::vector<std::uint8_t>{0xF0, 0xF0, 0x1B}));
    ASSERT_EQ(sim.indicator(33)->received.size(), 1u);
    EXPECT_EQ(sim.indicator(33)->received[0].size(), 100u);
  }

  ModuleConfig2017 config{};
  config.fill(0x1B);
  ASSERT_TRUE(write_module_config_2017(hub, 2, config));
  ModuleConfig2017 back{};
  ASSERT_TRUE(read_module_config_2017(hub, 2, back));
  EXPECT_EQ(back, config);
  hub.get_port().close();
}

}  // namespace
