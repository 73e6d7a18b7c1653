// The serial port's older-bus exchange against a module in memory: what reaches the
// caller, and every way a reply can be wrong.
#include <gtest/gtest.h>

#include <array>

#include "hardware/bus_old/old_bus_frame.h"
#include "hardware/bus_old/old_bus_wire.h"
#include "hardware/comm_port.h"
#include "hardware/sim/old_bus_device.h"
#include "scripted_line.h"

namespace {

using bus_testing::LineState;
using bus_testing::ScriptedLine;

class CommPortTest : public ::testing::Test {
 protected:
  CommPortTest() : port_(std::make_unique<ScriptedLine>(state_), log_sink(), clock_) {
    state_->device = &device_;
    state_->clock = &clock_;
    clock_.steady = 1000;
    EXPECT_TRUE(port_.open("/dev/fake"));
    EXPECT_TRUE(port_.configure(57600, 0, 500, 2048, false));
  }
  lib::CommPort::Log log_sink() {
    return [this](std::string_view m, int) { lines_.emplace_back(m); };
  }
  bool exchange(std::string_view command = "SP") {
    return port_.read_data2(block_.data(), block_.size(), false, command);
  }

  std::shared_ptr<LineState> state_ = std::make_shared<LineState>();
  testing_support::FakeClock clock_;
  hardware::OldBusDevice device_;
  std::vector<std::string> lines_;
  lib::CommPort port_;
  std::array<std::uint8_t, 60> block_{};
};

TEST_F(CommPortTest, GoodReplyDeliversTheModulesBlock) {
  device_.adc[0] = 0x1234;
  device_.counter = 777;
  ASSERT_TRUE(exchange("2P"));
  EXPECT_EQ(device_.last_command(), "2P");
  EXPECT_EQ(block_, device_.make_block(0));
  EXPECT_EQ(state_->baud, 57600);
  // The request on the line is the documented four bytes.
  EXPECT_EQ(state_->written, lib::old_bus::encode_request("2P"));
}

TEST_F(CommPortTest, DamagedRepliesAreRefusedAndCounted) {
  device_.garbled_replies = 1;
  EXPECT_FALSE(exchange());
  device_.long_replies = 1;
  EXPECT_FALSE(exchange());
  EXPECT_EQ(port_.error_counters().refused_replies, 2u);
  device_.short_replies = 1;
  const std::int64_t before = clock_.steady;
  EXPECT_FALSE(exchange());
  EXPECT_EQ(port_.error_counters().timeouts, 1u);
  // A short reply costs the time-out, not more.
  EXPECT_LE(clock_.steady - before, 500 + lib::CommPort::kTrailingGapMs);
  // The next good reply still gets through: nothing of the bad ones is left over.
  ASSERT_TRUE(exchange());
  EXPECT_EQ(block_[49], device_.next_packet_number() - 1);
  EXPECT_GE(lines_.size(), 3u);
}

TEST_F(CommPortTest, ReplyToAnotherCommandOrOfAnotherSizeIsRefused) {
  std::array<std::uint8_t, 59> small{};
  EXPECT_FALSE(port_.read_data2(small.data(), small.size(), false, "SP"));
  EXPECT_EQ(port_.error_counters().refused_replies, 1u);
  EXPECT_FALSE(exchange("XX"));  // the device does not answer unknown commands
  EXPECT_FALSE(exchange("SPX"));
  EXPECT_FALSE(port_.read_data2(nullptr, 60, false, "SP"));
}

TEST_F(CommPortTest, NoiseBeforeTheReplyIsSkippedUpToALimit) {
  state_->noise_before_reply = {0x00, 0xFF, 0x5A, 0x13};
  EXPECT_TRUE(exchange());
  state_->noise_before_reply.assign(lib::old_bus::kMaxNoiseBeforeReply + 1, 0x33);
  EXPECT_FALSE(exchange());
}

TEST_F(CommPortTest, SilenceAndAVanishedDeviceFailWithinTheTimeOut) {
  device_.silent_replies = 1;
  const std::int64_t before = clock_.steady;
  EXPECT_FALSE(exchange());
  EXPECT_EQ(clock_.steady - before, 500);
  state_->vanished = true;
  EXPECT_FALSE(exchange());
  EXPECT_EQ(port_.read_byte(), lib::CommPort::kReadFailed);
  state_->vanished = false;
  EXPECT_EQ(port_.read_byte(), lib::CommPort::kReadTimedOut);
  port_.reset_error_counters();
  EXPECT_EQ(port_.error_counters().timeouts, 0u);
}

TEST_F(CommPortTest, AVanishedLineIsReportedLostAndReopensAtTheSamePathWhenBack) {
  device_.silent_replies = 1;
  EXPECT_FALSE(exchange());
  EXPECT_FALSE(port_.line_lost()) << "a quiet device is not a lost line";
  state_->vanished = true;
  EXPECT_FALSE(exchange());
  EXPECT_TRUE(port_.line_lost());
  EXPECT_EQ(port_.lost_reason(), "scripted failure");
  port_.close();
  const std::size_t logged = lines_.size();
  EXPECT_FALSE(port_.reopen());
  EXPECT_EQ(lines_.size(), logged) << "a retry is the caller's to report";
  state_->vanished = false;
  state_->baud = 0;
  ASSERT_TRUE(port_.reopen());
  EXPECT_EQ(port_.device(), "/dev/fake");
  EXPECT_FALSE(port_.line_lost());
  EXPECT_EQ(state_->baud, 57600) << "the speed survives the reopening";
  EXPECT_EQ(port_.time_out(), 500);
  EXPECT_TRUE(exchange());
}

TEST_F(CommPortTest, RtsThatCannotBeDrivenIsLoggedOnce) {
  state_->rts_supported = false;
  port_.set_rts();
  port_.clear_rts();
  EXPECT_TRUE(port_.read_data2(block_.data(), block_.size(), true, "SP"));
  EXPECT_EQ(state_->rts_changes, 4);
  EXPECT_EQ(std::count_if(lines_.begin(), lines_.end(),
                          [](const std::string& l) { return l.find("RTS") != std::string::npos; }),
            1);
}

TEST_F(CommPortTest, OutputBlockReachesTheDeviceIntact) {
  const std::vector<std::uint8_t> data = {1, 2, 3, 0x5A, 0xA5, 0x5B};
  ASSERT_TRUE(port_.send_data2(data.data(), data.size()));
  ASSERT_EQ(device_.outputs().size(), 1u);
  EXPECT_EQ(device_.outputs()[0], data);
  std::vector<std::uint8_t> huge(lib::old_bus::kMaxOutputData + 1);
  EXPECT_FALSE(port_.send_data2(huge.data(), huge.size()));
}

TEST_F(CommPortTest, ClosedPortRefusesEverything) {
  port_.close();
  EXPECT_FALSE(port_.is_opened());
  EXPECT_FALSE(exchange());
  EXPECT_FALSE(port_.write("x", 1));
  EXPECT_EQ(port_.read_byte(), lib::CommPort::kReadFailed);
  EXPECT_FALSE(port_.configure(9600, 0, 100, 0, false));
  state_->fail_open = true;
  EXPECT_FALSE(port_.open("/dev/none"));
}

TEST(OldBusFrame, OutputFrameDecodesOnlyWhenIntact) {
  const std::vector<std::uint8_t> data = {9, 8, 7};
  auto frame = lib::old_bus::encode_output(data);
  EXPECT_EQ(lib::old_bus::decode_output(frame), data);
  frame[4] ^= 1;
  EXPECT_FALSE(lib::old_bus::decode_output(frame).has_value());
  frame.pop_back();
  EXPECT_FALSE(lib::old_bus::decode_output(frame).has_value());
}

}  // namespace
