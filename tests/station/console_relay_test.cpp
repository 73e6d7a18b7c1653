// The console relays on a real 2017 bus line: the station tells every console the relay
// mask of its alarm pass in the next output, with or without a console plug-in.
#include <gtest/gtest.h>

#include "alarms/min_max_kinds.h"
#include "core/config.h"
#include "core/system.h"
#include "hardware/sim/bus2017_sim.h"
#include "hardware/sim/bus_sim_server.h"
#include "lib/byte_port.h"
#include "lib/pseudo_terminal.h"
#include "station/station.h"
#include "support/fakes.h"

using testing_support::TempDir;

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(ConsoleRelays, TheAlarmPassOfATickReachesTheConsolesInItsOutput) {
  TempDir dir;
  lib::PseudoTerminal pty;
  ASSERT_TRUE(pty.create()) << pty.error();
  hardware::Bus2017Sim sim;
  sim.add_module(1);
  sim.add_console(65);
  sim.add_console(66);
  hardware::BusSimServer server(lib::make_serial_byte_port_from_fd(pty.release_master()), sim);
  server.start();

  reg::SystemOptions o;
  o.home_folder = dir.path();
  reg::System hub(o);
  station::Station st(hub);
  st.open({"console2017", pty.slave_path(), true, "1,65,66"});
  hub.config().min_max_values().clear();
  hub.config().link.use_pult_relay = false;
  st.tick();  // relays not in use: no console output at all

  hub.config().link.use_pult_relay = true;
  st.tick();  // in use, no alarm: the consoles hear all relays off

  // The simulator's hook load is above zero: this threshold fires at once, on relay 2.
  hub.config().min_max_values().add(
      std::make_unique<alarms::MinMaxRelayValue>("вес_на_крюке", -1, 0.001f, 2));
  st.tick();
  EXPECT_EQ(st.last_output().word, 2u);
  st.close();
  server.stop();

  for (int console : {65, 66}) {
    EXPECT_EQ(sim.console(console)->received_config, (std::vector<Bytes>{{0, 0}, {0x02, 0x00}}))
        << "console " << console;
    EXPECT_EQ(sim.console(console)->received_values, (std::vector<Bytes>{{}, {}}))
        << "console " << console;
  }
}

}  // namespace
