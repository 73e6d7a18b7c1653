// The packet layer over the station's serial port, with the line in memory.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "hardware/bus2017/comm_port_packet_port.h"
#include "packet_test_support.h"
#include "scripted_line.h"

namespace {

using packet_testing::Bytes;
using testing::HasSubstr;

struct SerialFixture {
  SerialFixture() {
    line->clock = &clock;
    port.open("/dev/scripted");
    log.set_file(dir.file("packets.log"));
    log.set_threshold(2);
  }
  testing_support::TempDir dir;
  testing_support::FakeClock clock;
  std::shared_ptr<bus_testing::LineState> line = std::make_shared<bus_testing::LineState>();
  lib::CommPort port{std::make_unique<bus_testing::ScriptedLine>(line), {}, clock};
  hardware::CommPortPacketPort packet_port{port};
  lib::LineLogger log{-1, clock, lib::posix_file_system()};
  hardware::PacketChannel channel{packet_port, log, log};
};

TEST(PacketOverCommPort, SilenceAndAVanishedDeviceEndTheRead) {
  SerialFixture f;
  std::uint8_t addr = 0, cmd = 0;
  std::uint16_t len = 0;
  Bytes out(16);
  EXPECT_FALSE(f.channel.ReceivePacket(addr, cmd, len, out.data(), 16, false));
  f.line->vanished = true;
  EXPECT_FALSE(f.channel.ReceivePacket(addr, cmd, len, out.data(), 16, false));
  const std::string log = testing_support::read_file(f.dir.file("packets.log"));
  EXPECT_THAT(log, HasSubstr("ReceivePacket: ERROR!!! TIMEOUT!!!"));
  EXPECT_THAT(log, HasSubstr("ReceivePacket: UNKNOWN ERROR!!!"));
}

}  // namespace
