#include "hardware/comm_port.h"

#include <algorithm>
#include <cstring>

#include "hardware/bus_old/old_bus_frame.h"
#include "hardware/bus_old/old_bus_wire.h"

namespace lib {

namespace {
constexpr std::size_t kReadChunk = 256;
}

CommPort::CommPort(std::unique_ptr<BytePort> line, Log log, Clock& clock)
    : line_(std::move(line)), log_(std::move(log)), clock_(clock) {}

CommPort::~CommPort() {
  close();
}

void CommPort::note(std::string_view message, int level) {
  if (log_) log_(message, level);
}

bool CommPort::open(const std::string& device) {
  close();
  if (!line_->open(device)) {
    note("Serial port " + device + " not opened: " + line_->last_error(), 1);
    return false;
  }
  device_ = device;
  rts_unsupported_logged_ = false;
  line_lost_ = false;
  lost_reason_.clear();
  return true;
}

bool CommPort::reopen() {
  close();
  if (device_.empty() || !line_->open(device_)) return false;
  rts_unsupported_logged_ = false;
  line_lost_ = false;
  lost_reason_.clear();
  if (baud_ > 0 && !line_->set_baud_rate(baud_)) {
    line_->close();
    return false;
  }
  return true;
}

void CommPort::mark_lost() {
  if (line_lost_) return;
  line_lost_ = true;
  lost_reason_ = line_->last_error();
}

void CommPort::close() {
  if (line_) line_->close();
  rx_.clear();
  rx_pos_ = 0;
}

bool CommPort::is_opened() const {
  return line_->is_open();
}

int CommPort::get_handle() const {
  return line_->native_handle();
}

bool CommPort::configure(int baud, int parity, int time_out_ms, int buffer_size,
                         bool hardware_flow) {
  if (!is_opened()) return false;
  if (parity != 0 || hardware_flow || buffer_size < 0) {
    note("Serial port " + device_ + ": unsupported line settings", 1);
    return false;
  }
  if (!line_->set_baud_rate(baud)) {
    note("Serial port " + device_ + ": " + line_->last_error(), 1);
    return false;
  }
  baud_ = baud;
  set_time_out(time_out_ms);
  rx_.reserve(static_cast<std::size_t>(std::max(buffer_size, static_cast<int>(kReadChunk))));
  return true;
}

void CommPort::set_time_out(int time_out_ms) {
  time_out_ms_ = std::max(time_out_ms, 0);
}

int CommPort::read_byte_until(std::int64_t deadline) {
  if (rx_pos_ < rx_.size()) return rx_[rx_pos_++];
  rx_.clear();
  rx_pos_ = 0;
  const std::int64_t left = deadline - clock_.steady_ms();
  if (left < 0) return kReadTimedOut;
  std::uint8_t chunk[kReadChunk];
  const int got = line_->read_some(chunk, sizeof chunk, static_cast<int>(left));
  if (got == BytePort::kTimedOut || got == 0) return kReadTimedOut;
  if (got < 0) {
    mark_lost();
    return kReadFailed;
  }
  rx_.assign(chunk, chunk + got);
  return rx_[rx_pos_++];
}

int CommPort::read_byte() {
  if (!is_opened()) return kReadFailed;
  const int b = read_byte_until(clock_.steady_ms() + time_out_ms_);
  if (b == kReadTimedOut) ++counters_.timeouts;
  if (b == kReadFailed) ++counters_.failures;
  return b;
}

bool CommPort::read_exact(std::uint8_t* out, std::size_t n, std::int64_t deadline) {
  for (std::size_t i = 0; i < n; ++i) {
    const int b = read_byte_until(deadline);
    if (b < 0) {
      if (b == kReadTimedOut)
        ++counters_.timeouts;
      else
        ++counters_.failures;
      return false;
    }
    out[i] = static_cast<std::uint8_t>(b);
  }
  return true;
}

bool CommPort::write(const void* data, std::size_t size) {
  if (!is_opened()) return false;
  if (!line_->write_all(static_cast<const std::uint8_t*>(data), size)) {
    ++counters_.failures;
    mark_lost();
    // A warning only: the owner reports the lost line once, not every refused write.
    note("Serial port " + device_ + ": " + line_->last_error(), 2);
    return false;
  }
  return true;
}

bool CommPort::flush() {
  return is_opened() && line_->drain();
}

bool CommPort::change_rts(bool raised) {
  if (!is_opened()) return false;
  if (line_->set_rts(raised)) return true;
  // Pseudo-terminals and some adapters have no RTS; the bus works without it, so say it
  // once per opening and carry on.
  if (!rts_unsupported_logged_) {
    rts_unsupported_logged_ = true;
    note("Serial port " + device_ + ": RTS not controllable (" + line_->last_error() + ")", 2);
  }
  return false;
}

void CommPort::set_rts() {
  change_rts(true);
}
void CommPort::clear_rts() {
  change_rts(false);
}

void CommPort::clear() {
  rx_.clear();
  rx_pos_ = 0;
  if (is_opened()) line_->discard_input();
}

bool CommPort::read_data2(void* block, std::size_t size, bool drive_rts, std::string_view command) {
  using namespace old_bus;
  if (!is_opened() || block == nullptr || size > kMaxReplyData) return false;
  const std::vector<std::uint8_t> request = encode_request(command);
  if (request.empty()) return false;

  clear();  // a late reply to an earlier request must not pass for this one
  if (drive_rts) change_rts(true);
  const bool sent = write(request.data(), request.size());
  if (drive_rts) {
    line_->drain();
    change_rts(false);
  }
  if (!sent) return false;

  const std::int64_t deadline = clock_.steady_ms() + time_out_ms_;
  std::size_t noise = 0;
  for (;;) {
    const int b = read_byte_until(deadline);
    if (b < 0) {
      if (b == kReadTimedOut)
        ++counters_.timeouts;
      else
        ++counters_.failures;
      note("Serial port " + device_ + ": no reply to " + std::string(command) +
               (b == kReadTimedOut ? " (time-out)" : " (read failed)"),
           2);
      return false;
    }
    if (b == kReplySync) break;
    if (++noise > kMaxNoiseBeforeReply) {
      ++counters_.refused_replies;
      note("Serial port " + device_ + ": noise instead of a reply to " + std::string(command), 2);
      return false;
    }
  }

  std::vector<std::uint8_t> frame(kReplyHeaderSize);
  frame[0] = kReplySync;
  if (!read_exact(frame.data() + 1, kReplyHeaderSize - 1, deadline)) {
    note("Serial port " + device_ + ": short reply to " + std::string(command), 2);
    return false;
  }
  const std::size_t declared = frame[3];
  frame.resize(kReplyHeaderSize + declared + kReplyTrailerSize);
  if (!read_exact(frame.data() + kReplyHeaderSize, declared + kReplyTrailerSize, deadline)) {
    note("Serial port " + device_ + ": short reply to " + std::string(command), 2);
    return false;
  }
  ReplyCheck check = check_reply(frame, command, size);
  if (check == ReplyCheck::kOk) {
    // Anything right behind the frame means the device sent more than one block.
    std::uint8_t extra[16];
    if (rx_pos_ < rx_.size() || line_->read_some(extra, sizeof extra, kTrailingGapMs) > 0)
      check = ReplyCheck::kWrongLength;
  }
  if (check != ReplyCheck::kOk) {
    ++counters_.refused_replies;
    note("Serial port " + device_ + ": " + reply_check_text(check) + " to " + std::string(command) +
             " refused",
         2);
    clear();
    return false;
  }
  std::memcpy(block, frame.data() + kReplyHeaderSize, size);
  return true;
}

bool CommPort::send_data2(const void* data, std::size_t size) {
  if (!is_opened() || (data == nullptr && size > 0)) return false;
  const auto frame = old_bus::encode_output(
      std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(data), size));
  if (frame.empty()) {
    note("Serial port " + device_ + ": output block too long", 1);
    return false;
  }
  return write(frame.data(), frame.size());
}

}  // namespace lib
