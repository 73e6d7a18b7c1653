#include "wits/wits_receiver.h"

#include <set>
#include <utility>

namespace wits {

const char* status_name(ZTSThreadStatus status) {
  switch (status) {
    case ZTSThreadStatus::kNotConnected:
      return "нет связи";
    case ZTSThreadStatus::kConnected:
      return "подключен";
    case ZTSThreadStatus::kReceiving:
      return "прием";
  }
  return "?";
}

WITSReceiver::WITSReceiver(std::string log_folder, lib::Clock& clock, lib::FileSystem& fs,
                           ZTSWaits waits)
    : clock_(clock),
      fs_(fs),
      log_folder_(std::move(log_folder)),
      waits_(waits),
      log_(0, clock, fs) {
  log_.set_file(log_folder_ + kReceiverLogFileName);
}

WITSReceiver::~WITSReceiver() {
  terminate();
}

void WITSReceiver::set_options(const WITSReceiverOptions& options) {
  if (have_options_ && options == options_) return;
  terminate();
  options_ = options;
  have_options_ = true;
  for (const WITSServerOption& server : options_.servers())
    if (server.enabled) add_thread(server);
  wd_active_ = true;
}

void WITSReceiver::set_log_limits(const lib::LogLimits& limits) {
  log_limits_ = limits;
  log_.set_limits(limits);
}

std::unique_ptr<ZTSThread> WITSReceiver::make_thread(const WITSServerOption& option) {
  ZTSEnvironment env{log_folder_, &clock_, &fs_, &log_, waits_, log_limits_};
  auto thread = std::make_unique<ZTSThread>(
      env, [this] { notify(); }, ++generations_);
  thread->set_options(option);
  thread->start();
  return thread;
}

void WITSReceiver::add_thread(const WITSServerOption& option) {
  threads_.push_back(make_thread(option));
}

void WITSReceiver::terminate() {
  for (auto& thread : threads_) thread->stop();
  threads_.clear();
}

bool WITSReceiver::read_data(WITSCommIncomData& data) {
  std::set<std::string> live;
  for (const auto& thread : threads_) live.insert(thread->options().name);
  std::erase_if(data.servers(), [&](const auto& entry) { return !live.contains(entry.first); });
  bool any = false;
  for (const auto& thread : threads_) any = thread->read_wits_data(data) || any;
  return any;
}

void WITSReceiver::on_wd_timer() {
  for (auto& thread : threads_) {
    if (!thread->check_wd_counter()) continue;
    const WITSServerOption option = thread->options();
    log_.write("Thread " + option.name + " is not running, killing it...", -1);
    thread->stop();
    thread.reset();
    log_.write("Thread killed.", -1);
    thread = make_thread(option);
    log_.write("Thread restarted", -1);
  }
}

void WITSReceiver::set_on_change(std::function<void()> on_change) {
  std::lock_guard lock(change_mutex_);
  on_change_ = std::move(on_change);
}

void WITSReceiver::notify() {
  std::lock_guard lock(change_mutex_);
  if (on_change_) on_change_();
}

std::string WITSReceiver::status_text() const {
  if (threads_.empty()) return "Прием WITS откл.";
  std::string text;
  for (const auto& thread : threads_) {
    if (!text.empty()) text += '\n';
    text += thread->options().name + ": " + status_name(thread->is_working());
    if (!thread->running()) text += " (поток остановлен)";
  }
  return text;
}

}  // namespace wits
