#include "hardware/sim/old_bus_device.h"

#include "hardware/bus_old/old_bus_frame.h"
#include "hardware/bus_old/old_bus_wire.h"

namespace hardware {

namespace {
// Enough for one output block plus a request; more pending bytes than this are noise.
constexpr std::size_t kMaxPending =
    lib::old_bus::kOutputHeaderSize + lib::old_bus::kMaxOutputData + 2 + lib::old_bus::kRequestSize;
constexpr std::uint8_t kStrayBytes[] = {0x00, 0x11, 0x22};
}  // namespace

std::array<std::uint8_t, old_block::kSize> OldBusDevice::make_block(
    std::uint8_t packet_number) const {
  using namespace old_block;
  std::array<std::uint8_t, kSize> block{};
  std::span<std::uint8_t, kSize> view(block);
  for (int i = 0; i < kAdcChannels; ++i)
    put_word(view, kAdcOffset + 2 * static_cast<std::size_t>(i), adc[static_cast<std::size_t>(i)]);
  block[kStatusOffset] = status;
  block[kPacketOffset] = packet_number;
  put_word(view, kCounterOffset, counter);
  put_word(view, kRate0Offset, rate_words[0]);
  put_word(view, kRate1Offset, rate_words[1]);
  put_word(view, kRate2Offset, rate_words[2]);
  put_word(view, kRate3Offset, rate_words[3]);
  return block;
}

std::uint8_t OldBusDevice::take_packet_number() {
  const std::uint64_t n = replies_ + 1;  // this reply's ordinal
  if (restart_every > 0 && n % static_cast<std::uint64_t>(restart_every) == 0) restart_next_ = true;
  if (repeat_every > 0 && n % static_cast<std::uint64_t>(repeat_every) == 0) repeat_next_ = true;
  if (skip_every > 0 && n % static_cast<std::uint64_t>(skip_every) == 0) skip_ = 2;

  if (restart_next_) {
    restart_next_ = false;
    next_packet_ = 0;
  } else if (skip_ > 0) {
    next_packet_ = static_cast<std::uint8_t>(next_packet_ + skip_);
    skip_ = 0;
  }
  const std::uint8_t number = next_packet_;
  if (repeat_next_)
    repeat_next_ = false;  // the same number goes out once more
  else
    next_packet_ = static_cast<std::uint8_t>(next_packet_ + 1);
  return number;
}

std::vector<std::uint8_t> OldBusDevice::answer(const std::string& command) {
  ++requests_;
  last_command_ = command;
  if (command != "SP" && command != "2P" && command != "4P") return {};
  if (silent_replies > 0) {
    --silent_replies;
    return {};
  }
  const auto block = make_block(take_packet_number());
  ++replies_;
  std::vector<std::uint8_t> frame = lib::old_bus::encode_reply(command, block);
  if (garbled_replies > 0) {
    --garbled_replies;
    frame[lib::old_bus::kReplyHeaderSize + 5] ^= 0x40;
  } else if (short_replies > 0) {
    --short_replies;
    frame.resize(frame.size() - 7);
  } else if (long_replies > 0) {
    --long_replies;
    frame.insert(frame.end(), std::begin(kStrayBytes), std::end(kStrayBytes));
  }
  return frame;
}

std::vector<std::uint8_t> OldBusDevice::feed(std::span<const std::uint8_t> bytes) {
  using namespace lib::old_bus;
  pending_.insert(pending_.end(), bytes.begin(), bytes.end());
  std::vector<std::uint8_t> out;
  std::size_t pos = 0;
  while (pos < pending_.size()) {
    const std::uint8_t sync = pending_[pos];
    const std::size_t left = pending_.size() - pos;
    if (sync == kRequestSync) {
      if (left < kRequestSize) break;
      const auto command =
          decode_request(std::span<const std::uint8_t>(pending_.data() + pos, kRequestSize));
      if (!command) {
        ++pos;  // not a request after all: resynchronise on the next byte
        continue;
      }
      const auto reply = answer(*command);
      out.insert(out.end(), reply.begin(), reply.end());
      pos += kRequestSize;
    } else if (sync == kOutputSync) {
      if (left < kOutputHeaderSize) break;
      const std::size_t n = pending_[pos + 1] | (static_cast<std::size_t>(pending_[pos + 2]) << 8);
      if (n > kMaxOutputData) {
        ++pos;
        continue;
      }
      const std::size_t total = kOutputHeaderSize + n + kReplyTrailerSize;
      if (left < total) break;
      auto data = decode_output(std::span<const std::uint8_t>(pending_.data() + pos, total));
      if (!data) {
        ++pos;
        continue;
      }
      outputs_.push_back(std::move(*data));
      pos += total;
    } else {
      ++pos;  // line noise
    }
  }
  pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(pos));
  if (pending_.size() > kMaxPending) pending_.clear();
  return out;
}

}  // namespace hardware
