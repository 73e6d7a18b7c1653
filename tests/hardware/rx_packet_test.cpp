#include "hardware/bus2017/rx_packet.h"

#include <gtest/gtest.h>

#include "packet_test_support.h"

namespace {

using packet_testing::Bytes;
using packet_testing::stuffed_frame;
using packet_testing::with_crc;

struct Feed {
  hardware::BusRxPacket rx;
  // Feeds the bytes; returns how many packets completed on the way (clearing each).
  int accept(const Bytes& bytes) {
    int completed = 0;
    for (auto b : bytes) {
      rx.acceptChar(b);
      if (rx.getPacketSize() != 0) {
        ++completed;
        last_address = rx.getAddress();
        last_payload.assign(rx.getPacket(), rx.getPacket() + rx.getPacketSize());
        rx.clearPacket();
      }
    }
    return completed;
  }
  std::uint8_t last_address = 0;
  Bytes last_payload;
};

Bytes payload_of(std::size_t n, std::uint8_t first = 0x20) {
  Bytes p(n);
  for (std::size_t i = 0; i < n; ++i) p[i] = static_cast<std::uint8_t>(first + i);
  return p;
}

Bytes body(std::uint8_t address, const Bytes& payload) {
  Bytes b{address};
  b.insert(b.end(), payload.begin(), payload.end());
  return with_crc(b);
}

Bytes concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(RxPacket, ShortestFrameCompletesAndShorterNeverDoes) {
  // 10 collected bytes: address, 7 payload bytes, 2 CRC bytes.
  Feed ok;
  EXPECT_EQ(ok.accept(concat({0xFF}, stuffed_frame(body(0x07, payload_of(7))))), 1);
  EXPECT_EQ(ok.last_address, 0x07);
  EXPECT_EQ(ok.last_payload, payload_of(7));

  // 9 collected bytes with a correct CRC: discarded.
  Feed short_frame;
  EXPECT_EQ(short_frame.accept(stuffed_frame(body(0x07, payload_of(6)))), 0);
  EXPECT_EQ(short_frame.rx.getPacketSize(), 0u);
}

TEST(RxPacket, StuffedPayloadAndCrcBytesAreRestored) {
  Feed f;
  Bytes payload{0xF0, 0x1B, 0x1B, 0xF0, 0x01, 0x02, 0xFF, 0x00};
  EXPECT_EQ(f.accept(stuffed_frame(body(0xF0, payload))), 1);
  EXPECT_EQ(f.last_address, 0xF0);
  EXPECT_EQ(f.last_payload, payload);

  // Frames whose CRC bytes themselves need stuffing: search payloads until each case shows.
  bool high_marked = false, low_escaped = false;
  for (unsigned seed = 0; seed < 200000 && !(high_marked && low_escaped); ++seed) {
    Bytes p = payload_of(8, static_cast<std::uint8_t>(seed));
    p[7] = static_cast<std::uint8_t>(seed >> 8);
    p[6] = static_cast<std::uint8_t>(seed >> 16);
    Bytes b = body(0x05, p);
    std::uint8_t hi = b[b.size() - 2], lo = b.back();
    bool wanted = (!high_marked && (hi == 0xF0 || hi == 0x1B)) ||
                  (!low_escaped && (lo == 0xF0 || lo == 0x1B));
    if (!wanted) continue;
    Feed g;
    ASSERT_EQ(g.accept(stuffed_frame(b)), 1) << "seed " << seed;
    ASSERT_EQ(g.last_payload, p);
    if (hi == 0xF0 || hi == 0x1B) high_marked = true;
    if (lo == 0xF0 || lo == 0x1B) low_escaped = true;
  }
  EXPECT_TRUE(high_marked && low_escaped);
}

TEST(RxPacket, LongestFrameCompletesAndOneByteMoreIsDropped) {
  Feed f;
  // 256 collected bytes: 1 + 253 + 2.
  EXPECT_EQ(f.accept(stuffed_frame(body(0x21, payload_of(253)))), 1);
  EXPECT_EQ(f.last_payload.size(), 253u);

  // 257 collected bytes: dropped, and the closing mark starts a new frame that completes.
  Feed g;
  Bytes too_long = stuffed_frame(body(0x21, payload_of(254)));
  too_long.pop_back();  // the next frame's start mark closes it
  EXPECT_EQ(g.accept(concat(too_long, stuffed_frame(body(0x22, payload_of(12))))), 1);
  EXPECT_EQ(g.last_address, 0x22);
  EXPECT_EQ(g.last_payload, payload_of(12));
}

TEST(RxPacket, BrokenFramesAreDroppedAndTheNextOneIsTaken) {
  const Bytes good = stuffed_frame(body(0x33, payload_of(16)));
  // An escape followed by anything but 01 / 02.
  Bytes bad_escape = stuffed_frame(body(0x33, payload_of(16)));
  bad_escape.insert(bad_escape.begin() + 5, {0x1B, 0x03});
  // One payload bit flipped.
  Bytes bad_crc = body(0x33, payload_of(16));
  bad_crc[4] ^= 0x10;
  // Garbage and a preamble ahead of the frame.
  Bytes garbage{0x00, 0x1B, 0x55, 0xFF, 0xFF, 0x12};

  for (const Bytes& broken : {bad_escape, stuffed_frame(bad_crc)}) {
    Feed f;
    EXPECT_EQ(f.accept(broken), 0);
    EXPECT_EQ(f.accept(concat(garbage, concat({0xFF}, good))), 1);
    EXPECT_EQ(f.last_payload, payload_of(16));
  }
}

}  // namespace
