#include "hardware/bus2017/packet_channel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "hardware/bus2017/packet_crc.h"
#include "packet_test_support.h"

namespace {

using packet_testing::Bytes;
using packet_testing::ChannelPair;
using packet_testing::unstuff_frame;
using testing::HasSubstr;
using testing::Not;

struct Reply {
  bool ok = false;
  std::uint8_t addr = 0, cmd = 0;
  std::uint16_t len = 0;
  Bytes data;
};

Reply receive(hardware::PacketChannel& channel, unsigned out_size = 2048,
              bool need_checksum = false) {
  Reply r;
  Bytes out(out_size + 1, 0xCC);  // one guard byte behind the room
  r.ok = channel.ReceivePacket(r.addr, r.cmd, r.len, out.data(), out_size, need_checksum);
  EXPECT_EQ(out[out_size], 0xCC) << "written past out_size";
  if (r.ok) r.data.assign(out.begin(), out.begin() + r.len);
  return r;
}

Bytes counting(std::size_t n) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 13 + 1);
  return b;
}

TEST(PacketChannel, ExampleFrameLayout) {
  ChannelPair pair;
  const std::uint8_t data = 0x00;
  ASSERT_TRUE(pair.station.SendPacket(0x05, 0x10, &data, 1));
  const Bytes& wire = pair.station_port.written;
  EXPECT_EQ(pair.station_port.flushes, 1);
  ASSERT_GE(wire.size(), 3u);
  EXPECT_EQ(Bytes(wire.begin(), wire.begin() + 3), (Bytes{0xFF, 0xF0, 0x05}));
  EXPECT_EQ(wire.back(), 0xF0);
  EXPECT_EQ(wire, pair.station.output_buffer());

  const Bytes frame = unstuff_frame(wire);
  ASSERT_EQ(frame.size(), 1u + 16u + 2u);  // address, one block, CRC
  const std::uint16_t crc = hardware::CrcEngine::compute(frame.data(), 17);
  EXPECT_EQ(frame[17], crc >> 8);
  EXPECT_EQ(frame[18], crc & 0xFF);

  hardware::PacketCipher cipher;  // the build's key, as the channel uses
  Bytes plain(16);
  ASSERT_TRUE(cipher.decrypt_blocks(std::span(frame).subspan(1, 16), plain));
  EXPECT_EQ(Bytes(plain.begin(), plain.begin() + 8),
            (Bytes{0xEF, 0xBE, 0xAD, 0xDE, 0x02, 0x00, 0x10, 0x00}));
}

TEST(PacketChannel, SendStuffsMarksEscapesAndCrc) {
  ChannelPair pair;
  // Many packets with random-looking contents: the framing always undoes to address,
  // whole blocks and a CRC that checks.
  for (std::uint8_t addr : {0x00, 0x1B, 0xF0, 0xFF}) {
    for (unsigned len : {0u, 9u, 10u, 100u, 233u}) {
      pair.station_port.written.clear();
      Bytes data = counting(len);
      ASSERT_TRUE(pair.station.SendPacket(addr, 0xF0, data.data(), len));
      Bytes frame = unstuff_frame(pair.station_port.written);
      ASSERT_FALSE(frame.empty());
      EXPECT_EQ(frame[0], addr);
      EXPECT_EQ((frame.size() - 3) % 16, 0u);
      hardware::CrcEngine crc;
      crc.update(frame.data(), frame.size());
      EXPECT_TRUE(crc.residue_ok());
    }
  }
  // The previous frame's bytes never leak into the next one.
  pair.station_port.written.clear();
  ASSERT_TRUE(pair.station.SendPacket(1, 2, nullptr, 0));
  EXPECT_EQ(unstuff_frame(pair.station.output_buffer()).size(), 19u);
}

TEST(PacketChannel, RoundTripsEveryReplySizeTheAssemblerTakes) {
  ChannelPair pair;
  // A reply's plain text can be at most 234 bytes (240 enciphered bytes in a 256-byte frame).
  for (unsigned len : {0u, 1u, 15u, 16u, 100u, 233u}) {
    Bytes data = counting(len);
    if (len > 0) data[0] = 0xF0;
    ASSERT_TRUE(pair.device.SendPacket(0x21, 0x1B, data.data(), len));
    pair.deliver();
    Reply r = receive(pair.station);
    ASSERT_TRUE(r.ok) << len;
    EXPECT_EQ(r.addr, 0x21);
    EXPECT_EQ(r.cmd, 0x1B);
    EXPECT_EQ(r.data, data);
  }
  // 235 bytes of text need 256 enciphered bytes: the frame is too long to assemble.
  Bytes data = counting(234);
  ASSERT_TRUE(pair.device.SendPacket(0x21, 0x01, data.data(), 234));
  pair.deliver();
  EXPECT_FALSE(receive(pair.station).ok);
}

TEST(PacketChannel, LargestTextGoesOutAndOneMoreIsNotSent) {
  ChannelPair pair(4);
  Bytes data = counting(2026);
  ASSERT_TRUE(pair.station.SendPacket(0x05, 0x12, data.data(), 2025));  // 2026 with cmd
  Bytes frame = unstuff_frame(pair.station_port.written);
  EXPECT_EQ(frame.size(), 1u + 2032u + 2u);

  pair.station_port.written.clear();
  EXPECT_FALSE(pair.station.SendPacket(0x05, 0x12, data.data(), 2026));
  EXPECT_TRUE(pair.station_port.written.empty());
  EXPECT_EQ(pair.station_port.flushes, 1);
  EXPECT_FALSE(pair.station.SendPacket(0x05, 0x12, data.data(), 5000));
  EXPECT_TRUE(pair.station_port.written.empty());
}

TEST(PacketChannel, ReceiveStopsAtTheFirstGoodFrameAndLeavesTheRest) {
  ChannelPair pair;
  pair.station_port.queue(Bytes{0x00, 0xF0, 0x1B, 0x07, 0x55});  // garbage first
  Bytes one{1}, two{2, 2};
  pair.device.SendPacket(0x03, 0x30, one.data(), 1);
  pair.device.SendPacket(0x04, 0x31, two.data(), 2);
  pair.deliver();
  Reply first = receive(pair.station);
  ASSERT_TRUE(first.ok);
  EXPECT_EQ(first.addr, 0x03);
  EXPECT_EQ(first.data, one);
  Reply second = receive(pair.station);
  ASSERT_TRUE(second.ok);
  EXPECT_EQ(second.addr, 0x04);
  EXPECT_EQ(second.data, two);
}

TEST(PacketChannel, PortErrorsEndTheReceiveWithTheirLogLines) {
  ChannelPair pair(2);
  EXPECT_FALSE(receive(pair.station).ok);
  pair.station_port.error_when_empty = -1024;
  EXPECT_FALSE(receive(pair.station).ok);
  pair.station_port.error_when_empty = -300;
  EXPECT_FALSE(receive(pair.station).ok);
  pair.station_port.error_when_empty = -5;  // not a byte either
  EXPECT_FALSE(receive(pair.station).ok);
  const std::string log = pair.log_text();
  EXPECT_THAT(log, HasSubstr(") <<<<<<<<<< RecvPacket <<<<<<<<<<<< \n"));
  EXPECT_THAT(log, HasSubstr(") ReceivePacket: ERROR!!! TIMEOUT!!!\n"));
  EXPECT_THAT(log, HasSubstr(") ReceivePacket: UNKNOWN ERROR!!!\n"));
  EXPECT_THAT(log, HasSubstr(") ReceivePacket: ERROR: -300\n"));
  EXPECT_THAT(log, HasSubstr(") ReceivePacket: ERROR: -5\n"));
}

TEST(PacketChannel, BabblingDeviceIsCutOffByTheBudget) {
  ChannelPair pair(2);
  pair.station_port.on_read = [&] {
    pair.clock.steady += 1;
    pair.station_port.incoming.push_back(0x55);  // never a frame
  };
  pair.station.set_receive_budget(pair.clock, 500);
  EXPECT_FALSE(receive(pair.station).ok);
  EXPECT_GE(pair.station_port.reads, 500);
  EXPECT_LE(pair.station_port.reads, 502);
  EXPECT_THAT(pair.log_text(), HasSubstr("ReceivePacket: ERROR!!! TIMEOUT!!!"));
}

TEST(PacketChannel, FramesOfAnotherKeyAreDecodeErrors) {
  ChannelPair pair(2);
  hardware::BusCipherKey other = hardware::configured_bus_cipher_key();
  other.iv[0] ^= 0x80;
  hardware::MemoryPacketPort foreign_port;
  hardware::PacketChannel foreign(foreign_port, pair.quiet, pair.quiet, other);
  Bytes data = counting(20);
  foreign.SendPacket(0x09, 0x10, data.data(), 20);
  pair.station_port.queue(foreign_port.written);
  EXPECT_FALSE(receive(pair.station).ok);
  EXPECT_THAT(pair.log_text(), HasSubstr(") ReceivePacket: decode error\n"));
}

TEST(PacketChannel, OutSizeLimitsTheData) {
  ChannelPair pair(2);
  Bytes data = counting(40);
  pair.device.SendPacket(0x09, 0x10, data.data(), 40);
  pair.deliver();
  EXPECT_FALSE(receive(pair.station, 39).ok);
  EXPECT_THAT(pair.log_text(), HasSubstr(") ReceivePacket: buffer size error\n"));
  pair.device.SendPacket(0x09, 0x10, data.data(), 40);
  pair.deliver();
  EXPECT_TRUE(receive(pair.station, 40).ok);
}

// Data followed by the inner CRC of the data alone, little-endian.
Bytes with_inner_crc(Bytes data) {
  std::uint16_t crc = hardware::CrcEngine::compute(data.data(), data.size());
  data.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  data.push_back(static_cast<std::uint8_t>(crc >> 8));
  return data;
}

TEST(PacketChannel, InnerChecksum) {
  ChannelPair pair(3);
  const Bytes data = counting(30);
  const Bytes sent = with_inner_crc(data);

  pair.device.SendPacket(0x02, 0x10, sent.data(), static_cast<unsigned>(sent.size()));
  pair.deliver();
  Reply checked = receive(pair.station, 30, true);
  ASSERT_TRUE(checked.ok);
  EXPECT_EQ(checked.cmd, 0x10);
  EXPECT_EQ(checked.data, data);
  EXPECT_THAT(pair.log_text(), HasSubstr(") ReceivePacket: checksum ok\n"));

  // Without the check the CRC bytes are data.
  pair.device.SendPacket(0x02, 0x10, sent.data(), static_cast<unsigned>(sent.size()));
  pair.deliver();
  EXPECT_EQ(receive(pair.station).data, sent);

  // The CRC is over the data only, in little-endian order: a CRC that also covers the
  // command byte, or is stored high byte first, fails silently.
  Bytes with_cmd{0x10};
  with_cmd.insert(with_cmd.end(), data.begin(), data.end());
  std::uint16_t over_cmd = hardware::CrcEngine::compute(with_cmd.data(), with_cmd.size());
  Bytes swapped = sent;
  std::swap(swapped[30], swapped[31]);
  Bytes wrong_cover = data;
  wrong_cover.push_back(static_cast<std::uint8_t>(over_cmd & 0xFF));
  wrong_cover.push_back(static_cast<std::uint8_t>(over_cmd >> 8));
  ChannelPair quiet_pair(3);
  for (const Bytes& bad : {swapped, wrong_cover}) {
    quiet_pair.device.SendPacket(0x02, 0x10, bad.data(), static_cast<unsigned>(bad.size()));
    quiet_pair.deliver();
    EXPECT_FALSE(receive(quiet_pair.station, 30, true).ok);
  }
  const std::string log = quiet_pair.log_text();
  EXPECT_THAT(log, HasSubstr("ReceivePacket: need checksum"));
  EXPECT_THAT(log, Not(HasSubstr("checksum ok")));
  EXPECT_THAT(log, Not(HasSubstr("error")));

  // Room: the data must fit out_size; one data byte is too short to hold a checksum.
  pair.device.SendPacket(0x02, 0x10, sent.data(), static_cast<unsigned>(sent.size()));
  pair.deliver();
  EXPECT_FALSE(receive(pair.station, 29, true).ok);
  const std::uint8_t lone = 0x42;
  pair.device.SendPacket(0x02, 0x10, &lone, 1);
  pair.deliver();
  EXPECT_FALSE(receive(pair.station, 30, true).ok);
  // An empty body with its CRC is a valid, empty reply.
  const Bytes empty = with_inner_crc({});
  pair.device.SendPacket(0x02, 0x10, empty.data(), 2);
  pair.deliver();
  Reply none = receive(pair.station, 0, true);
  EXPECT_TRUE(none.ok);
  EXPECT_EQ(none.len, 0);
}

// The hub's normal level -1 logs nothing, level 1 only the markers of each packet, and the
// packet level the bytes both ways.
TEST(PacketChannel, LogLevelsAndTexts) {
  const std::uint8_t b = 0xAB;
  ChannelPair silent;
  silent.station.SendPacket(1, 2, &b, 1);
  receive(silent.station);
  EXPECT_TRUE(silent.log_text().empty());
  ChannelPair markers(2);
  markers.station.SendPacket(0x05, 0x10, &b, 1);
  EXPECT_THAT(markers.log_text(), HasSubstr(") >>>>>>>>>> SendPacket DONE >>>>>>>>>>>> \n"));
  EXPECT_THAT(markers.log_text(), Not(HasSubstr("Outgoing packet")));
  ChannelPair all(4);
  all.station.SendPacket(0x05, 0x10, &b, 1);
  all.device.SendPacket(0x06, 0x11, &b, 1);
  all.deliver();
  ASSERT_TRUE(receive(all.station).ok);
  EXPECT_THAT(all.log_text(), HasSubstr(") Outgoing packet: addr=05, 10 AB\n"));
  EXPECT_THAT(all.log_text(), HasSubstr(") Decoded packet: addr=06, 11 AB\n"));
}

TEST(PacketChannel, RefusedWriteIsReported) {
  ChannelPair pair;
  pair.station_port.fail_writes = true;
  const std::uint8_t b = 1;
  EXPECT_FALSE(pair.station.SendPacket(1, 2, &b, 1));
}

}  // namespace
