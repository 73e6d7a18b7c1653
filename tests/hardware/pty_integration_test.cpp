// The hub against the bus simulator over a real pseudo-terminal: what the kernel's tty layer
// does to the bytes, real time-outs and RTS on a device that has none.
#include <gtest/gtest.h>

#include <chrono>

#include "hardware/comm_protocols.h"
#include "hardware/sim/bus_sim_server.h"
#include "hardware/sim/old_bus_device.h"
#include "lib/pseudo_terminal.h"

namespace {

using hardware::CommIncomData;
using hardware::CommProtocols;
using Ms = std::chrono::milliseconds;

constexpr int kTimeOutMs = 200;

class PtyBusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty_.create()) << pty_.error();
    server_ = std::make_unique<hardware::BusSimServer>(
        lib::make_serial_byte_port_from_fd(pty_.release_master()), device_);
    server_->start();
    hardware::CommProtocolsEnv env;
    env.log = [this](std::string_view m, int level) {
      std::lock_guard g(log_lock_);
      lines_.emplace_back(std::string(m) + " @" + std::to_string(level));
    };
    hub_ = std::make_unique<CommProtocols>(CommProtocols::kStationMask, std::move(env));
    ASSERT_TRUE(hub_->get_port().open(pty_.slave_path()));
    hub_->configure_port(hardware::kProtocolNewPult, kTimeOutMs);
    hub_->clear();
  }
  void TearDown() override {
    if (hub_) hub_->get_port().close();
    server_.reset();
  }
  template <typename F>
  void with_device(F f) {
    std::lock_guard g(server_->device_lock());
    f(device_);
  }
  int lines_containing(const std::string& text) {
    std::lock_guard g(log_lock_);
    int n = 0;
    for (const auto& l : lines_) n += l.find(text) != std::string::npos;
    return n;
  }
  bool read(CommIncomData& data) { return hub_->read_data(hardware::kProtocolNewPult, "", data); }

  lib::PseudoTerminal pty_;
  hardware::OldBusDevice device_;
  std::unique_ptr<hardware::BusSimServer> server_;
  std::unique_ptr<CommProtocols> hub_;
  std::mutex log_lock_;
  std::vector<std::string> lines_;
};

TEST_F(PtyBusTest, ReadingsArriveWithEveryByteValue) {
  with_device([](hardware::OldBusDevice& d) {
    d.adc[0] = 0x0A0D;  // CR and LF must not be translated by the tty layer
    d.adc[1] = 0xFF11;  // neither may XON and 0xFF
    d.adc[2] = 0x1300;
    d.counter = 5;
  });
  CommIncomData data;
  ASSERT_TRUE(read(data));
  EXPECT_EQ(data.modules.at(0).adc[0], 0x0A0D);
  EXPECT_EQ(data.modules.at(0).adc[1], 0xFF11);
  EXPECT_EQ(data.modules.at(0).adc[2], 0x1300);
  EXPECT_EQ(data.modules.at(0).counters[0], 5);
  with_device([](hardware::OldBusDevice& d) { d.counter = 6; });
  ASSERT_TRUE(read(data));
  EXPECT_EQ(hub_->get_last_data().modules.at(0).counters[0], 6);
  EXPECT_EQ(hub_->get_last_adc_value(0, 1), 0xFF11);
  // The pseudo-terminal has no RTS: said once, and the console output still goes out.
  hardware::CommOutData out;
  out.pults[0].values = {0x0D, 0x0A, 0x11};
  EXPECT_TRUE(hub_->send_data(hardware::kProtocolNewPult, "", out));
  EXPECT_TRUE(hub_->send_data(hardware::kProtocolNewPult, "", out));
  EXPECT_LE(lines_containing("RTS"), 1);
  for (int i = 0; i < 50; ++i) {
    bool got = false;
    with_device([&](hardware::OldBusDevice& d) { got = !d.outputs().empty(); });
    if (got) break;
    std::this_thread::sleep_for(Ms(10));
  }
  with_device([](hardware::OldBusDevice& d) {
    ASSERT_EQ(d.outputs().size(), 1u);
    EXPECT_EQ(d.outputs()[0], (std::vector<std::uint8_t>{0x0D, 0x0A, 0x11}));
  });
}

TEST_F(PtyBusTest, SilenceCostsTheTimeOutAndKeepsTheLastReading) {
  with_device([](hardware::OldBusDevice& d) { d.adc[5] = 555; });
  CommIncomData data;
  ASSERT_TRUE(read(data));
  with_device([](hardware::OldBusDevice& d) {
    d.adc[5] = 1;
    d.silent_replies = 1;
  });
  // How long the silence may last is the port's rule, tested on a fake clock
  // (comm_port_test); over a real line the silence must end as a time-out, not a hang or
  // a refused reply.
  EXPECT_FALSE(read(data));
  EXPECT_EQ(hub_->get_port().error_counters().timeouts, 1u);
  EXPECT_EQ(hub_->get_port().error_counters().refused_replies, 0u);
  EXPECT_EQ(hub_->get_last_adc_value(0, 5), 555);
  ASSERT_TRUE(read(data));  // the module is back
  EXPECT_EQ(hub_->get_last_adc_value(0, 5), 1);
}

TEST_F(PtyBusTest, GarbledShortAndLongRepliesAreRefused) {
  CommIncomData data;
  ASSERT_TRUE(read(data));
  with_device([](hardware::OldBusDevice& d) { d.garbled_replies = 1; });
  EXPECT_FALSE(read(data));
  with_device([](hardware::OldBusDevice& d) { d.short_replies = 1; });
  EXPECT_FALSE(read(data));
  with_device([](hardware::OldBusDevice& d) { d.long_replies = 1; });
  EXPECT_FALSE(read(data));
  EXPECT_EQ(hub_->get_port().error_counters().refused_replies, 2u);
  EXPECT_EQ(hub_->get_port().error_counters().timeouts, 1u);
  EXPECT_TRUE(read(data));
}

TEST_F(PtyBusTest, DuplicateRejectedRestartAndGapMarkTheModule) {
  CommIncomData data;
  ASSERT_TRUE(read(data));
  ASSERT_TRUE(read(data));
  with_device([](hardware::OldBusDevice& d) { d.repeat_next(); });
  ASSERT_TRUE(read(data));
  EXPECT_FALSE(read(data));  // the same packet number again
  EXPECT_EQ(lines_containing("USO 0 Duplicate packet 2"), 1);
  ASSERT_TRUE(read(data));
  EXPECT_EQ(data.modules.at(0).state, 1);
  with_device([](hardware::OldBusDevice& d) { d.restart_next(); });
  ASSERT_TRUE(read(data));
  EXPECT_EQ(data.modules.at(0).packet_number, 0u);
  EXPECT_EQ(data.modules.at(0).state, 0);
  data.modules.at(0).state = 1;
  with_device([](hardware::OldBusDevice& d) { d.skip_next(3); });
  ASSERT_TRUE(read(data));
  EXPECT_EQ(data.modules.at(0).state, 0);
  EXPECT_EQ(lines_containing("Uncontinuous packet 0 >> 4"), 1);
}

TEST_F(PtyBusTest, DeviceThatDisappearsGivesFalseNotAHang) {
  CommIncomData data;
  ASSERT_TRUE(read(data));
  server_.reset();  // closes the master side: the slave reads fail from now on
  // Each read ends (a hang would stop the test binary at its time limit) and fails.
  EXPECT_FALSE(read(data));
  EXPECT_FALSE(read(data));
  EXPECT_EQ(hub_->get_last_data().modules.count(0), 1u);
}

}  // namespace
