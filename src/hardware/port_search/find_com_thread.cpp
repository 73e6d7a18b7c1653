#include "hardware/port_search/find_com_thread.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <limits>

#include "hardware/comm_incom_data.h"
#include "hardware/comm_out_data.h"
#include "hardware/comm_protocols.h"
#include "hardware/protocol.h"

namespace hardware {

namespace {

constexpr int kFailureLimit2017 = 1;  // each address is asked once: 96 of them must be quick
constexpr int kFailureLimit = 5;
constexpr int kSuccessesToStop = 3;
constexpr int kSuccessesToAnswer = 2;
constexpr std::size_t kNoResult = std::numeric_limits<std::size_t>::max();

std::vector<std::string> hub_ports(CommProtocols& hub) {
  std::vector<std::string> names;
  hub.enum_serial_ports(names);
  return names;
}

}  // namespace

FindComThread::FindComThread(CommProtocols& hub, PortSource ports, std::string port_filter,
                             std::int32_t protocol_filter, FindComCallbacks callbacks,
                             lib::AudioOutput& audio, Sleep sleep)
    : hub_(hub),
      ports_(ports ? std::move(ports) : PortSource([&hub] { return hub_ports(hub); })),
      port_filter_(std::move(port_filter)),
      protocol_filter_(protocol_filter),
      callbacks_(std::move(callbacks)),
      audio_(audio),
      sleep_(std::move(sleep)) {}

FindComThread::~FindComThread() {
  request_stop();
  join();
}

void FindComThread::start() {
  if (started_) return;  // one search per object: its results would mix with the next
  started_ = true;
  thread_ = std::jthread([this] {
    try {
      Execute();
    } catch (const std::exception& e) {
      if (callbacks_.log) callbacks_.log(std::string("Port search failed: ") + e.what());
    } catch (...) {
      if (callbacks_.log) callbacks_.log("Port search failed");
    }
  });
}

void FindComThread::request_stop() {
  stop_.request_stop();
}

void FindComThread::join() {
  if (thread_.joinable()) thread_.join();
}

bool FindComThread::finished() const {
  std::lock_guard guard(results_lock_);
  return finished_;
}

std::vector<SearchResult> FindComThread::get_result() const {
  std::lock_guard guard(results_lock_);
  return results_;
}

void FindComThread::pause(int ms) {
  if (sleep_)
    sleep_(ms);
  else
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void FindComThread::report_progress(const FindComProgress& progress) {
  if (callbacks_.progress) callbacks_.progress(progress);
}

std::size_t FindComThread::store(const SearchResult& result, std::size_t index) {
  {
    std::lock_guard guard(results_lock_);
    if (index < results_.size()) {
      results_[index] = result;
    } else {
      index = results_.size();
      results_.push_back(result);
    }
  }
  if (callbacks_.found) callbacks_.found(result);
  return index;
}

bool FindComThread::TestIt(std::int32_t protocol_id, const std::string& port_text) {
  CommIncomData data;
  CommOutData out;
  const int failure_limit = protocol_id == kProtocol2017 ? kFailureLimit2017 : kFailureLimit;
  int failures = 0;
  int successes = 0;
  while (!stop_requested()) {
    if (hub_.read_data(protocol_id, port_text, data)) {
      ++successes;
      // Consoles expect their output after a reading; the beep tells the person at the
      // device that it was heard.
      hub_.send_data(protocol_id, port_text, out);
      audio_.beep(kProbeBeepHz, kProbeBeepMs);
      if (successes >= kSuccessesToStop) break;
      failures = 0;
    } else if (++failures >= failure_limit) {
      break;
    }
  }
  return successes >= kSuccessesToAnswer;
}

bool FindComThread::protocol_wanted(std::int32_t id) const {
  if (id == kProtocolEmulator) return false;  // it answers anywhere, without a device
  return protocol_filter_ == kAllProtocols || id == protocol_filter_;
}

bool FindComThread::port_wanted(const std::string& port) const {
  return port_filter_.empty() || port == port_filter_;
}

bool FindComThread::search_port(std::int32_t id, const std::string& port,
                                FindComProgress& progress) {
  progress.address = 0;
  report_progress(progress);
  if (!TestIt(id, port)) return false;
  store(SearchResult{id, port, port}, kNoResult);
  return true;
}

bool FindComThread::search_port_2017(std::int32_t id, const std::string& port,
                                     FindComProgress& progress) {
  std::string addresses;
  std::size_t index = kNoResult;  // no result for this port yet
  for (int address = 1; address <= kLastBusAddress && !stop_requested(); ++address) {
    progress.address = address;
    report_progress(progress);
    // Indicator and console addresses are asked only on a port where an address already
    // answered, which keeps a silent port short; a search for the 2017 bus alone leaves
    // the consoles out.
    if (address >= kFirstIndicatorAddress && addresses.empty()) continue;
    if (address >= kFirstConsoleAddress && protocol_filter_ == kProtocol2017) continue;
    pause(kPauseMs);
    if (!TestIt(id, std::to_string(address))) continue;
    if (!addresses.empty()) addresses += ',';
    addresses += std::to_string(address);
    index = store(SearchResult{id, port, addresses}, index);
  }
  return !addresses.empty();
}

void FindComThread::close_port() {
  std::lock_guard port_guard(hub_.port_lock());
  hub_.get_port().close();
}

void FindComThread::Execute() {
  // However the search ends, the hub's port is left closed and the search counts as done.
  struct Finish {
    FindComThread& search;
    ~Finish() {
      search.close_port();
      std::lock_guard guard(search.results_lock_);
      search.finished_ = true;
    }
  } finish{*this};
  struct Tuning {
    const FindComCallbacks& callbacks;
    explicit Tuning(const FindComCallbacks& c) : callbacks(c) {
      if (callbacks.searching) callbacks.searching(true);
    }
    ~Tuning() {
      if (callbacks.searching) callbacks.searching(false);
    }
  } tuning{callbacks_};

  const std::vector<std::string> ports = ports_();
  close_port();
  hub_.clear();
  std::vector<std::int32_t> ids;
  hub_.enum_protocols_ids(ids);

  FindComProgress progress;
  progress.total_steps =
      static_cast<int>(std::count_if(ids.begin(), ids.end(),
                                     [this](std::int32_t id) { return protocol_wanted(id); }) *
                       std::count_if(ports.begin(), ports.end(),
                                     [this](const std::string& p) { return port_wanted(p); }));

  for (std::size_t position = 0; position < ids.size() && !stop_requested(); ++position) {
    const std::int32_t id = ids[position];
    if (!protocol_wanted(id)) continue;
    progress.protocol_position = static_cast<int>(position);
    for (std::size_t port_index = 0; port_index < ports.size() && !stop_requested(); ++port_index) {
      const std::string& port = ports[port_index];
      if (!port_wanted(port)) continue;
      ++progress.step;
      progress.port = port;
      progress.port_index = static_cast<int>(port_index);
      bool opened = false;
      {
        std::lock_guard port_guard(hub_.port_lock());
        opened = hub_.get_port().open(port);
      }
      if (!opened) continue;
      hub_.configure_port(id, id == kProtocol2017 ? k2017ProbeTimeOutMs : 0);
      hub_.clear();
      pause(kPauseMs);
      const bool found = id == kProtocol2017 ? search_port_2017(id, port, progress)
                                             : search_port(id, port, progress);
      close_port();
      if (found) break;  // one place per protocol is enough
    }
    pause(kPauseMs);
  }
}

}  // namespace hardware
