#include "wits/zts_thread.h"

#include <stdexcept>
#include <string_view>
#include <vector>

#include "wits/tcp_byte_source.h"
#include "wits/wits0_format.h"

namespace wits {

std::string thread_log_file_name(const std::string& server_name) {
  std::string name = "wits_" + server_name + ".log";
  for (std::size_t i = 5; i + 4 < name.size(); ++i)
    if (name[i] == '.') name[i] = '_';
  return name;
}

namespace {

// The thread's log lines of a record are written together once the record is ready (or the
// read ends): between its first item and its end the record is hidden from read_data, and a
// file write per line would keep it hidden far longer than reading it takes.
class ThreadEvents : public ReadEvents {
 public:
  ThreadEvents(ZTSThread& thread, lib::LineLogger& log, lib::Clock& clock,
               std::function<void(std::int64_t)> on_record)
      : thread_(thread), log_(log), clock_(clock), on_record_(std::move(on_record)) {}
  void on_start() override { thread_.set_is_working(ZTSThreadStatus::kReceiving); }
  void on_item_line(std::string_view line) override {
    lines_.emplace_back(line);
    if (lines_.size() >= kMaxHeldLines) flush();
  }
  void on_ready(int record) override {
    on_record_(clock_.steady_ms());
    lines_.push_back("record " + std::to_string(record) + " ready!");
    flush();
  }
  void on_overlong_line() override {
    lines_.push_back("line longer than " + std::to_string(kMaxLineBytes) +
                     " bytes: the record was dropped, waiting for the next one");
    flush();
  }
  void flush() {
    if (lines_.empty()) return;
    log_.write_lines(lines_, -1);
    lines_.clear();
  }

 private:
  // A record that never ends is still logged, a batch at a time.
  static constexpr std::size_t kMaxHeldLines = 256;
  ZTSThread& thread_;
  lib::LineLogger& log_;
  lib::Clock& clock_;
  std::function<void(std::int64_t)> on_record_;
  std::vector<std::string> lines_;
};

}  // namespace

ZTSThread::ZTSThread(const ZTSEnvironment& env, StatusChanged on_change, std::uint64_t generation)
    : env_(env),
      on_change_(std::move(on_change)),
      generation_(generation),
      log_(0, *env.clock, *env.fs) {
  log_.set_limits(env.log_limits);
}

ZTSThread::~ZTSThread() {
  stop();
}

void ZTSThread::start() {
  if (thread_.joinable()) return;
  log_.set_file(env_.log_folder + thread_log_file_name(option_.name));
  running_ = true;
  thread_ = std::jthread([this](std::stop_token stop) { execute(stop); });
}

void ZTSThread::stop() {
  if (!thread_.joinable()) return;
  thread_.request_stop();
  thread_.join();
}

ZTSThreadStatus ZTSThread::is_working() const {
  std::lock_guard lock(mutex_);
  return status_;
}

void ZTSThread::set_is_working(ZTSThreadStatus status) {
  bool changed = false;
  {
    std::lock_guard lock(mutex_);
    changed = status_ != status;
    status_ = status;
  }
  if (changed && on_change_) on_change_();
}

bool ZTSThread::check_wd_counter() {
  std::lock_guard lock(mutex_);
  const bool stuck = progress_ == checked_progress_;
  checked_progress_ = progress_;
  return stuck;
}

std::int64_t ZTSThread::progress() const {
  std::lock_guard lock(mutex_);
  return progress_;
}

bool ZTSThread::read_wits_data(WITSCommIncomData& data) {
  WITSRecords taken;
  if (!store_.take_ready(taken)) return false;
  WITSRecords& mine = data.servers()[option_.name];
  for (auto& [number, record] : taken) mine[number] = std::move(record);
  return true;
}

std::optional<std::int64_t> ZTSThread::last_record_ms() const {
  std::lock_guard lock(mutex_);
  return last_record_ms_;
}

void ZTSThread::log(std::string_view text) {
  log_.write(text, -1);
}

void ZTSThread::pause(std::stop_token& stop, std::chrono::milliseconds how_long) {
  std::unique_lock lock(pause_mutex_);
  pause_cv_.wait_for(lock, stop, how_long, [] { return false; });
}

void ZTSThread::execute(std::stop_token stop) {
  TcpByteSource connection(env_.waits.stream_timeout);
  std::stop_callback interrupt(stop, [&connection] { connection.interrupt(); });
  ThreadEvents events(*this, log_, *env_.clock, [this](std::int64_t ms) {
    std::lock_guard lock(mutex_);
    last_record_ms_ = ms;
  });
  set_is_working(ZTSThreadStatus::kNotConnected);
  log("Thread started");
  std::string last_failure;
  try {
    if (option_.port < 1 || option_.port > 65535)
      throw std::out_of_range("port " + std::to_string(option_.port) + " is not a TCP port");
    while (!stop.stop_requested()) {
      {
        std::lock_guard lock(mutex_);
        ++progress_;
      }
      if (!connection.is_open()) {
        connection.close();
        pause(stop, env_.waits.reconnect);
        if (stop.stop_requested()) break;
        // A refused connection is a lost one: the server may be restarting, and the next
        // pass tries again. Each new reason is logged once, not every half second.
        if (const auto failure = connection.connect(option_.host, option_.port)) {
          if (*failure != last_failure) log("Connection failed: " + *failure);
          last_failure = *failure;
        } else {
          last_failure.clear();
          log("Socket connected");
        }
      }
      bool lost = !connection.is_open();
      if (!lost) {
        if (!connection.wait_for_data(env_.waits.data)) {
          if (stop.stop_requested()) break;
          set_is_working(ZTSThreadStatus::kConnected);
        } else {
          // Every record already here is taken before the pause, so a sender of many records
          // a second is followed instead of falling further behind with every pass.
          int records = 0;
          do {
            lost = !read_record(connection, store_, events);
            events.flush();
          } while (!lost && ++records < kMaxRecordsPerPass && !stop.stop_requested() &&
                   connection.has_data_now());
        }
      }
      if (lost) {
        set_is_working(ZTSThreadStatus::kNotConnected);
        connection.close();
      }
      pause(stop, env_.waits.pass);
    }
    connection.close();
  } catch (const std::exception& e) {
    connection.close();
    if (env_.receiver_log)
      env_.receiver_log->write("Thread exception (" + option_.name + "): " + e.what(), -1);
  }
  set_is_working(ZTSThreadStatus::kNotConnected);
  log("Thread stopped");
  running_ = false;
}

}  // namespace wits
