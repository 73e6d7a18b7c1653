// The simulated 2017 bus seen from the station's side of the line: real request frames go
// in through a PacketChannel, and the replies must decode with the station's own receive
// code. Offsets are written out as numbers so a wrong layout constant cannot hide.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <tuple>

#include "hardware/sim/bus2017_sim.h"
#include "hardware/sim/bus2017_sim_motion.h"
#include "hardware/sim/bus2017_sim_setup.h"
#include "hardware/sim/bus_sim_server.h"
#include "lib/pseudo_terminal.h"
#include "packet_test_support.h"

namespace {

using namespace hardware;
using Bytes = std::vector<std::uint8_t>;

struct Answer {
  bool ok = false;
  std::uint8_t address = 0;
  std::uint8_t command = 0;
  Bytes data;
};

std::uint16_t u16(const Bytes& b, std::size_t at) {
  return static_cast<std::uint16_t>(b.at(at) | (b.at(at + 1) << 8));
}
std::uint32_t u32(const Bytes& b, std::size_t at) {
  return u16(b, at) | (static_cast<std::uint32_t>(u16(b, at + 2)) << 16);
}
// The 16-bit words at `offsets`, so a reply's layout is compared in one line.
std::vector<std::uint32_t> words(const Bytes& b, std::initializer_list<std::size_t> offsets) {
  std::vector<std::uint32_t> out;
  for (std::size_t at : offsets) out.push_back(u16(b, at));
  return out;
}
using Words = std::vector<std::uint32_t>;

// The station end: requests through a channel whose port delivers them to the bus at once.
struct Station {
  Bus2017Sim bus;
  lib::LineLogger log{-1, lib::system_clock(), lib::posix_file_system()};
  MemoryPacketPort port;
  PacketChannel channel{port, log, log};
  Bytes last_reply_bytes;

  Station() {
    port.on_write = [this](std::span<const std::uint8_t> bytes) {
      last_reply_bytes = bus.feed(bytes);
      port.queue(last_reply_bytes);
    };
  }
  Bytes request_frame(std::uint8_t address, std::uint8_t command, const Bytes& data = {}) {
    MemoryPacketPort sink;
    PacketChannel c{sink, log, log};
    c.SendPacket(address, command, data.data(), static_cast<unsigned>(data.size()));
    return sink.written;
  }
  Answer ask(std::uint8_t address, std::uint8_t command, const Bytes& data = {},
             bool need_checksum = false) {
    port.incoming.clear();
    channel.SendPacket(address, command, data.data(), static_cast<unsigned>(data.size()));
    return receive(need_checksum);
  }
  Answer receive(bool need_checksum = false) {
    Answer a;
    std::uint8_t buf[256];
    std::uint16_t len = 0;
    a.ok = channel.ReceivePacket(a.address, a.command, len, buf, sizeof buf, need_checksum);
    if (a.ok) a.data.assign(buf, buf + len);
    return a;
  }
};

TEST(Bus2017Sim, ModuleVersion0ReplyLayoutPacketWrapAndIncrements) {
  Station s;
  auto& m = s.bus.add_module(7);
  m.adc[0] = 0x1234;
  m.adc[47] = 0xBEEF;
  m.dol = {-5, 40000};  // the second does not fit one int16 increment
  m.periods[0] = 0x0102;
  m.periods[15] = 0xF00D;
  m.status_a = 0xA5;
  m.status_b = 0x5A;
  m.flags = 0x8001;
  m.next_packet = 0xFFFF;
  Answer a = s.ask(7, 0x01);
  ASSERT_TRUE(a.ok);
  EXPECT_EQ(a.address, 7);
  EXPECT_EQ(a.command, 0x01);
  ASSERT_EQ(a.data.size(), 138u);
  // Status bytes A then B; increments -5 and 40000 clipped to 32767.
  EXPECT_EQ(words(a.data, {0, 2, 4, 98, 100, 102, 104, 134, 136}),
            (Words{0xFFFF, 0x5AA5, 0x1234, 0xBEEF, 0xFFFB, 32767, 0x0102, 0xF00D, 0x8001}));
  // Increments are what moved since the last reply: sent ones are gone, the rest follows.
  EXPECT_EQ(m.dol[0], 0);
  a = s.ask(7, 0x01);
  ASSERT_TRUE(a.ok);
  EXPECT_EQ(words(a.data, {0, 100, 102}), (Words{0x0000, 0, 40000 - 32767}));  // 16-bit wrap
  EXPECT_EQ(m.next_packet, 1u);
}

TEST(Bus2017Sim, IndicatorAndConsoleAnswersAndRecordedWrites) {
  Station s;
  s.bus.add_indicator(33, 5);
  auto& c = s.bus.add_console(65);
  c.adc[0] = 0x0102;
  c.adc[23] = 0x0304;
  c.status = 0x11;
  c.counter = 0xABCD;
  c.rate_words = {0x8001, 2, 3, 4};
  c.next_packet = 255;

  Answer a = s.ask(33, 0x02);
  EXPECT_TRUE(a.ok && a.command == 0x03 && a.data == Bytes{5});
  s.bus.faults(33).result = 0x42;
  a = s.ask(33, 0x01, {1, 2, 3});
  EXPECT_TRUE(a.ok && a.command == 0x00 && a.data == Bytes{0x42});
  a = s.ask(33, 0x01);  // an empty block is still a write
  EXPECT_TRUE(a.ok && a.data == Bytes{0x42});
  EXPECT_EQ(s.bus.indicator(33)->received, (std::vector<Bytes>{{1, 2, 3}, {}}));

  for (std::uint8_t packet : {255, 0}) {
    a = s.ask(65, 0x80);
    ASSERT_TRUE(a.ok);
    EXPECT_EQ(a.command, 0x80);
    ASSERT_EQ(a.data.size(), 60u);
    // Status then packet number at 48; rate input 0 sits last.
    EXPECT_EQ(words(a.data, {0, 46, 48, 50, 52, 58}),
              (Words{0x0102, 0x0304, 0x11u | packet << 8, 0xABCD, 2, 0x8001}));
  }
  a = s.ask(65, 0x82, {9, 8});
  EXPECT_TRUE(a.ok && a.command == 0x00 && a.data == Bytes{0});
  a = s.ask(65, 0x83, {7});
  EXPECT_TRUE(a.ok && a.command == 0x00);
  EXPECT_EQ(c.received_values, (std::vector<Bytes>{{9, 8}}));
  EXPECT_EQ(c.received_config, (std::vector<Bytes>{{7}}));

  // Commands of another device kind get nothing.
  EXPECT_FALSE(s.ask(33, 0x80).ok);
  EXPECT_FALSE(s.ask(65, 0x01).ok);
  EXPECT_FALSE(s.ask(65, 0x02).ok);
}

TEST(Bus2017Sim, ModuleConfigurationReadWriteAndAnyAddress) {
  Station s;
  auto& m = s.bus.add_module(5);
  for (std::size_t i = 0; i < m.config.size(); ++i) m.config[i] = static_cast<std::uint8_t>(i * 17);
  const Bytes config(m.config.begin(), m.config.end());
  Answer a = s.ask(5, 0x10, {0x00}, true);  // the inner CRC is checked by the station's code
  ASSERT_TRUE(a.ok);
  EXPECT_EQ(a.command, 0x10);
  EXPECT_EQ(a.data, config);
  a = s.ask(5, 0x10);
  ASSERT_EQ(a.data.size(), 16u);
  const std::uint16_t crc = CrcEngine::compute(config.data(), config.size());
  EXPECT_EQ(u16(a.data, 14), crc);  // little-endian, unlike the frame CRC

  // 0xFE reaches the only module, which answers with its own address.
  a = s.ask(0xFE, 0x10, {}, true);
  EXPECT_TRUE(a.ok && a.address == 5 && a.data == config);
  EXPECT_FALSE(s.ask(0xFE, 0x01).ok);  // only the configuration read is for any module

  const Bytes fresh{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
  s.bus.faults(5).result = 0x12;
  a = s.ask(5, 0x12, fresh);
  EXPECT_TRUE(a.ok && a.command == 0x00 && a.data == Bytes{0x12});
  EXPECT_EQ(Bytes(m.config.begin(), m.config.end()), fresh);
  EXPECT_FALSE(s.ask(5, 0x12, Bytes(13, 0xEE)).ok);  // a short block is not a configuration
  EXPECT_EQ(Bytes(m.config.begin(), m.config.end()), fresh);

  s.bus.add_module(6);  // two modules would answer at once: nothing readable
  EXPECT_FALSE(s.ask(0xFE, 0x10, {}, true).ok);
  s.bus.remove(5);
  s.bus.remove(6);
  s.bus.add_indicator(40, 1);
  EXPECT_FALSE(s.ask(0xFE, 0x10, {}, true).ok);
}

TEST(Bus2017Sim, BytesInAnyChunksAndGarbageBetweenFrames) {
  Station s;
  s.bus.add_module(3).adc[1] = 0xF01B;  // reply bytes that need stuffing
  const Bytes request = s.request_frame(3, 0x01);
  Bytes reply;
  for (std::size_t i = 0; i < request.size(); ++i) {
    const Bytes out = s.bus.feed(std::span(&request[i], 1));
    if (i + 1 < request.size()) {
      EXPECT_TRUE(out.empty()) << "answered before byte " << i;
    }
    reply.insert(reply.end(), out.begin(), out.end());
  }
  s.port.queue(reply);
  Answer a = s.receive();
  ASSERT_TRUE(a.ok);
  EXPECT_EQ(u16(a.data, 6), 0xF01B);

  // Noise with frame marks and escapes, a frame with a broken CRC, one enciphered with
  // another key: none of it is a request, and the frames around it are answered.
  Bytes broken = s.request_frame(3, 0x01);
  broken[broken.size() - 2] ^= 0x01;
  BusCipherKey other = configured_bus_cipher_key();
  other.key[0] ^= 0xFF;
  MemoryPacketPort sink;
  PacketChannel foreign{sink, s.log, s.log, other};
  foreign.SendPacket(3, 0x01, nullptr, 0);
  Bytes line = {0x00, 0xF0, 0x1B, 0x7F, 0xFF, 0xF0, 0xF0, 0x1B};
  line.insert(line.end(), request.begin(), request.end());
  line.insert(line.end(), {0x1B, 0x1B, 0xF0, 0x42});
  line.insert(line.end(), broken.begin(), broken.end());
  line.insert(line.end(), sink.written.begin(), sink.written.end());
  line.insert(line.end(), request.begin(), request.end());
  s.bus.clear_requests();
  s.port.incoming.clear();
  s.port.queue(s.bus.feed(line));
  EXPECT_EQ(s.bus.requests().size(), 2u);
  const Answer first = s.receive();
  const Answer second = s.receive();
  ASSERT_TRUE(first.ok && second.ok);
  EXPECT_EQ(u16(second.data, 0), u16(first.data, 0) + 1);
  EXPECT_FALSE(s.receive().ok);
}

TEST(Bus2017Sim, SilenceDropsAndAnswerLimits) {
  Station s;
  s.bus.faults(33).silent = true;  // faults made before the device stay with the address
  s.bus.add_indicator(33, 2);
  EXPECT_FALSE(s.ask(33, 0x02).ok);
  EXPECT_FALSE(s.ask(33, 0x01, {1}).ok);
  EXPECT_TRUE(s.bus.indicator(33)->received.empty());  // a silent device heard nothing

  auto& m = s.bus.add_module(1);
  s.bus.faults(1).drop_next = 2;
  EXPECT_FALSE(s.ask(1, 0x01).ok);
  EXPECT_FALSE(s.ask(1, 0x01).ok);
  Answer a = s.ask(1, 0x01);
  ASSERT_TRUE(a.ok);
  EXPECT_EQ(u16(a.data, 0), 1);  // dropped requests did not use up packet numbers
  EXPECT_FALSE(s.ask(1, 0x77).ok);
  EXPECT_EQ(s.bus.faults(1).drop_next, 0);

  s.bus.faults(1).answers_left = 1;
  EXPECT_FALSE(s.ask(1, 0x99).ok);  // not understood: does not use up the answer
  EXPECT_TRUE(s.ask(1, 0x10).ok);
  EXPECT_FALSE(s.ask(1, 0x01).ok);
  EXPECT_FALSE(s.ask(1, 0x12, Bytes(14, 1)).ok);
  EXPECT_EQ(m.config[0], 0);

  s.bus.remove(33);
  s.bus.add_indicator(33, 2);  // removal took the faults with it
  EXPECT_TRUE(s.ask(33, 0x02).ok);
}

TEST(Bus2017Sim, DuplicatesRepeatThePreviousDataReply) {
  Station s;
  auto& m = s.bus.add_module(2);
  s.bus.faults(2).duplicates = 2;
  const Answer first = s.ask(2, 0x01);  // nothing to repeat yet: a fresh reply
  m.adc[0] = 500;
  m.dol[0] = 8;
  const Answer dup1 = s.ask(2, 0x01);
  const Answer dup2 = s.ask(2, 0x01);
  ASSERT_TRUE(first.ok && dup1.ok && dup2.ok);
  EXPECT_EQ(dup1.data, first.data);
  EXPECT_EQ(dup2.data, first.data);
  EXPECT_EQ(m.dol[0], 8);          // increments wait for a real reply
  EXPECT_TRUE(s.ask(2, 0x10).ok);  // not a data reply: no duplicate used up
  const Answer next = s.ask(2, 0x01);
  EXPECT_EQ(words(next.data, {0, 4, 100}), (Words{2, 500, 8}));

  s.bus.add_console(70);
  const Answer c1 = s.ask(70, 0x80);
  s.bus.faults(70).duplicates = 1;
  EXPECT_EQ(s.ask(70, 0x80).data, c1.data);
  EXPECT_EQ(s.ask(70, 0x80).data.at(49), c1.data.at(49) + 1);
}

TEST(Bus2017Sim, ReplyDelayAndAddressChecks) {
  Station s;
  std::vector<int> delays;
  s.bus.delay = [&](int ms) { delays.push_back(ms); };
  s.bus.add_module(1);
  s.bus.faults(1).reply_delay_ms = 150;
  EXPECT_TRUE(s.ask(1, 0x01).ok);
  EXPECT_FALSE(s.ask(2, 0x01).ok);
  EXPECT_EQ(delays, std::vector<int>{150});

  EXPECT_THROW(s.bus.add_module(0), std::invalid_argument);
  EXPECT_THROW(s.bus.add_module(33), std::invalid_argument);
  EXPECT_THROW(s.bus.add_indicator(65, 1), std::invalid_argument);
  EXPECT_THROW(s.bus.add_console(97), std::invalid_argument);
  s.bus.module(1)->adc[0] = 5;
  // A new device replaces the old one, with the starting words of a new module.
  EXPECT_EQ(s.bus.add_module(1, 101).adc[0], hardware::kSimStartAdcWord);
  EXPECT_EQ(s.bus.console(1), nullptr);
  EXPECT_EQ(s.bus.addresses(), Bytes{1});
}

TEST(Bus2017SimSetup, BuildsTheDescribedBus) {
  Bus2017Sim bus;
  Bus2017SimSetup setup;
  setup.modules = {"1", "0x61:101"};
  setup.indicators = {"33:7", "34"};
  setup.consoles = {"65"};
  setup.adc = {"1:47=65535", "65:23=0x10"};
  setup.silent = {"34"};
  setup.answer_once = {"33"};
  setup.duplicates = {"65:3"};
  setup.drop = {"1:2"};
  setup.garble = {"97:1"};
  setup.result = {"33:0xFF"};
  setup.delay = {"1:40"};
  ASSERT_EQ(apply_bus2017_sim_setup(setup, bus), "");
  EXPECT_EQ(bus.addresses(), (Bytes{1, 33, 34, 65, 97}));
  EXPECT_EQ(
      std::make_tuple(bus.module(97)->data_version, bus.indicator(33)->type,
                      bus.indicator(34)->type, bus.module(1)->adc[47], bus.console(65)->adc[23]),
      std::make_tuple(101, 7, 1, 65535, 16));
  EXPECT_EQ(
      std::make_tuple(bus.faults(34).silent, bus.faults(33).answers_left, bus.faults(65).duplicates,
                      bus.faults(1).drop_next, bus.faults(97).garble_next, bus.faults(33).result,
                      bus.faults(1).reply_delay_ms),
      std::make_tuple(true, 1, 3, 2, 1, 0xFF, 40));
}

TEST(Bus2017SimSetup, BadValuesAreNamed) {
  struct Case {
    std::vector<std::string> Bus2017SimSetup::*option;
    std::vector<std::string> values;
    std::string message;
  };
  const Case cases[] = {
      {&Bus2017SimSetup::modules, {"40"}, "--module 40: address must be 1..32 or 97..255"},
      {&Bus2017SimSetup::modules, {"0"}, "--module 0: address"},
      {&Bus2017SimSetup::modules, {"1x"}, "--module 1x: address"},
      {&Bus2017SimSetup::modules, {"1:70000"}, "--module 1:70000: data version"},
      {&Bus2017SimSetup::modules, {"2", "2:101"}, "--module 2:101: address already has a device"},
      {&Bus2017SimSetup::indicators, {"70"}, "--indicator 70: address must be 33..64"},
      {&Bus2017SimSetup::indicators, {"33:-1"}, "--indicator 33:-1: type"},
      {&Bus2017SimSetup::consoles, {"64"}, "--console 64: address must be 65..96"},
      {&Bus2017SimSetup::adc, {"1:48=1"}, "--adc 1:48=1: a module's channel must be 0..47"},
      {&Bus2017SimSetup::adc, {"1:0=65536"}, "--adc 1:0=65536: value"},
      {&Bus2017SimSetup::adc, {"1"}, "--adc 1: expected ADDR:CHANNEL=VALUE"},
      {&Bus2017SimSetup::adc, {"33:0=1"}, "--adc 33:0=1: an indicator has no ADC"},
      {&Bus2017SimSetup::adc, {"5:0=1"}, "--adc 5:0=1: no device at this address"},
      {&Bus2017SimSetup::silent, {"300"}, "--silent 300: address must be 1..255"},
      {&Bus2017SimSetup::duplicates, {"1"}, "--duplicates 1: expected ADDR:N"},
      {&Bus2017SimSetup::drop, {"1:-2"}, "--drop 1:-2: expected ADDR:N"},
      {&Bus2017SimSetup::result, {"1:256"}, "--result 1:256: expected ADDR:BYTE"},
      {&Bus2017SimSetup::delay, {"1:20000"}, "--delay 1:20000: expected ADDR:N with N 0..10000"},
  };
  for (const auto& c : cases) {
    Bus2017Sim bus;
    Bus2017SimSetup setup;
    setup.modules = {"1"};
    setup.indicators = {"33"};
    (setup.*c.option).insert((setup.*c.option).end(), c.values.begin(), c.values.end());
    const std::string error = apply_bus2017_sim_setup(setup, bus);
    EXPECT_EQ(error.rfind(c.message, 0), 0u) << "got: " << error;
  }
}

TEST(Bus2017SimMotion, ValuesStayNearTheirStartAndTheWinchCountsAddUp) {
  Station s;
  auto& v0 = s.bus.add_module(1);
  v0.adc[3] = 1000;
  v0.adc[4] = 5;  // near the bottom: never below 0
  auto& v101 = s.bus.add_module(2, 101);
  v101.dol[0] = 50000;
  auto& c = s.bus.add_console(65);
  c.counter = 10;
  Bus2017SimMotion motion(s.bus);
  std::int32_t summed = 0;
  bool adc_moved = false;
  for (std::int64_t t = 0; t <= Bus2017SimMotion::kBlockPeriodMs / 2; t += 1500) {
    motion.advance_to(t);
    const Answer a = s.ask(1, 0x01);
    ASSERT_TRUE(a.ok);
    summed += static_cast<std::int16_t>(u16(a.data, 100));
    EXPECT_NEAR(v0.adc[3], 1000, Bus2017SimMotion::kAdcSwing);
    EXPECT_LE(v0.adc[4], 5 + Bus2017SimMotion::kAdcSwing);
    adc_moved |= v0.adc[3] != 1000;
    EXPECT_EQ(summed, Bus2017SimMotion::block_position(t));
    EXPECT_EQ(v101.dol[0], 50000 + Bus2017SimMotion::block_position(t));
    EXPECT_EQ(c.counter, static_cast<std::uint16_t>(10 + Bus2017SimMotion::block_position(t)));
  }
  EXPECT_TRUE(adc_moved);
  EXPECT_EQ(Bus2017SimMotion::block_position(Bus2017SimMotion::kBlockPeriodMs / 4),
            Bus2017SimMotion::kBlockTravel);
  s.bus.remove(2);
  motion.advance_to(1000);  // a device taken off the bus is left alone
}

// The packet layer over a real line end: bytes read one at a time with the line's time-out.
class LinePacketPort : public PacketPort {
 public:
  explicit LinePacketPort(lib::BytePort& line) : line_(line) {}
  bool write(std::span<const std::uint8_t> bytes) override {
    return line_.write_all(bytes.data(), bytes.size());
  }
  void flush() override { line_.drain(); }
  int read_byte() override {
    std::uint8_t b = 0;
    const int got = line_.read_some(&b, 1, 500);
    return got == 1 ? b : packet_format::kReadTimeout;
  }

 private:
  lib::BytePort& line_;
};

TEST(Bus2017SimPty, FramesSurviveAPseudoTerminal) {
  lib::PseudoTerminal pty;
  ASSERT_TRUE(pty.create()) << pty.error();
  Bus2017Sim bus;
  auto& m = bus.add_module(1, 101);
  m.adc[0] = 0x0A0D;  // CR LF, XON, frame mark and escape must all pass the tty untouched
  m.adc[1] = 0x1311;
  m.adc[2] = 0x1BF0;
  bus.add_indicator(33, 4);
  BusSimServer server(lib::make_serial_byte_port_from_fd(pty.release_master()), bus);
  server.start();
  auto line = lib::make_serial_byte_port();
  ASSERT_TRUE(line->open(pty.slave_path())) << line->last_error();
  ASSERT_TRUE(line->set_baud_rate(115200));
  LinePacketPort port(*line);
  lib::LineLogger log{-1, lib::system_clock(), lib::posix_file_system()};
  PacketChannel channel(port, log, log);
  std::uint8_t buf[256];
  std::uint8_t addr = 0, cmd = 0;
  std::uint16_t len = 0;
  for (std::uint32_t packet = 1; packet <= 3; ++packet) {
    ASSERT_TRUE(channel.SendPacket(1, 0x01, nullptr, 0));
    ASSERT_TRUE(channel.ReceivePacket(addr, cmd, len, buf, sizeof buf, false));
    const Bytes data(buf, buf + len);
    ASSERT_EQ(data.size(), 146u);
    EXPECT_EQ(u32(data, 4), packet);
    EXPECT_EQ(words(data, {8, 10, 12}), (Words{0x0A0D, 0x1311, 0x1BF0}));
  }
  ASSERT_TRUE(channel.SendPacket(33, 0x02, nullptr, 0));
  ASSERT_TRUE(channel.ReceivePacket(addr, cmd, len, buf, sizeof buf, false));
  EXPECT_EQ(cmd, 0x03);
  EXPECT_EQ(buf[0], 4);
  {
    std::lock_guard guard(server.device_lock());
    bus.faults(33).silent = true;
  }
  ASSERT_TRUE(channel.SendPacket(33, 0x02, nullptr, 0));
  EXPECT_FALSE(channel.ReceivePacket(addr, cmd, len, buf, sizeof buf, false));
  server.stop();
  line->close();
}

}  // namespace
