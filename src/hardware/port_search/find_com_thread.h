// The port search: on a worker thread, tries every protocol of the hub's registry on every
// serial port with real read exchanges and reports where devices answered, with, for the
// 2017 bus, which device addresses answered.
//
// For each protocol (never the emulator, id 28; only the filtered one when a protocol
// filter is set) and each port (only the filtered one when a port filter is set): open the
// port (a port that does not open is skipped without a probe), configure it for the
// protocol (10 ms read time-out for the 2017 bus, else the protocol's own), drop stale input
// and probe. The 2017 bus is probed address by address from 1 to 96: addresses 33..96 only
// once an address of this port answered, 65..96 never when the protocol filter is 10; the
// answering addresses of one port make one result whose address text grows ("1,2"). Any
// other protocol is probed once with the port name as its port text and makes the result
// (id, port, port). The port is closed after each try, and once a port gave a result for a
// protocol the remaining ports are not tried for it. The hub's port is left closed.
//
// A probe (TestIt) repeats read exchanges: a success is confirmed to the device with an
// empty output and a 600 Hz, 200 ms beep, three successes end it; the failure limit (1 for
// the 2017 bus, which is asked address by address, 5 for the others) counts failures since
// the last success. The device answered when it succeeded at least twice, so one stray reply
// finds nothing.
//
// The acquisition must be paused while the search runs: every exchange takes the hub's port
// lock, but the port is opened and closed under the search's feet. Stop requests are seen
// between exchanges; the search then ends after the exchange in progress.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "lib/audio_output.h"

namespace hardware {

class CommProtocols;

// One found device group.
struct SearchResult {
  std::int32_t protocol_id = 0;
  std::string port;
  // The 2017 bus: the answering addresses, comma-separated ("1,2"); otherwise the port.
  std::string addresses;
  bool operator==(const SearchResult&) const = default;
};

// Where the search is, sent before each probe.
struct FindComProgress {
  int total_steps = 0;        // (protocol, port) pairs the search may try
  int step = 0;               // 1-based number of the current pair
  std::string port;           // device path
  int port_index = 0;         // position of the port in the search's port list
  int protocol_position = 0;  // position of the protocol in the hub's registry
  int address = 0;            // the 2017 bus address being tried; 0 otherwise
};

struct FindComCallbacks {
  // Called on the search thread; keep them short and do not call back into the search.
  std::function<void(const FindComProgress&)> progress;
  std::function<void(const SearchResult&)> found;  // a new result, or one with more addresses
  // Why the search ended early (an exchange threw); the search then counts as finished.
  std::function<void(const std::string& message)> log;
  // True as the search starts, false as it ends however it ends: the tuning sound plays in
  // between.
  std::function<void(bool searching)> searching;
};

class FindComThread {
 public:
  static constexpr std::int32_t kAllProtocols = -1;
  static constexpr int kProbeBeepHz = 600;
  static constexpr int kProbeBeepMs = 200;
  static constexpr int kPauseMs = 10;
  static constexpr int k2017ProbeTimeOutMs = 10;
  static constexpr int kLastBusAddress = 96;
  static constexpr int kFirstIndicatorAddress = 33;
  static constexpr int kFirstConsoleAddress = 65;

  using PortSource = std::function<std::vector<std::string>()>;
  using Sleep = std::function<void(int ms)>;

  // `ports` gives the ports to search (the hub's enum_serial_ports when empty); `sleep`
  // makes the search's own pauses (a real sleep when empty). The hub and the audio output
  // must outlive the search.
  FindComThread(CommProtocols& hub, PortSource ports, std::string port_filter,
                std::int32_t protocol_filter, FindComCallbacks callbacks, lib::AudioOutput& audio,
                Sleep sleep = {});
  // Asks the search to stop and waits for it.
  ~FindComThread();
  FindComThread(const FindComThread&) = delete;
  FindComThread& operator=(const FindComThread&) = delete;

  // Runs Execute on the search thread; later calls do nothing.
  void start();
  void request_stop();
  bool stop_requested() const { return stop_.stop_requested(); }
  void join();
  // True once Execute has returned.
  bool finished() const;

  // One probe of protocol `protocol_id` with `port_text`; true when the device answered.
  bool TestIt(std::int32_t protocol_id, const std::string& port_text);
  // The whole search, on the calling thread. An exception from an exchange ends it (the
  // port is closed, finished() is true) and passes on to the caller.
  void Execute();
  // A copy of the results so far, in the order found.
  std::vector<SearchResult> get_result() const;

 private:
  // Probe one opened port; true when it gave a result.
  bool search_port_2017(std::int32_t id, const std::string& port, FindComProgress& progress);
  bool search_port(std::int32_t id, const std::string& port, FindComProgress& progress);
  bool protocol_wanted(std::int32_t id) const;
  bool port_wanted(const std::string& port) const;
  void report_progress(const FindComProgress& progress);
  void pause(int ms);
  void close_port();
  // Stores a new result or updates the one at `index`; returns its index.
  std::size_t store(const SearchResult& result, std::size_t index);

  CommProtocols& hub_;
  PortSource ports_;
  std::string port_filter_;
  std::int32_t protocol_filter_;
  FindComCallbacks callbacks_;
  lib::AudioOutput& audio_;
  Sleep sleep_;

  std::stop_source stop_;
  mutable std::mutex results_lock_;
  std::vector<SearchResult> results_;
  bool finished_ = false;  // under results_lock_
  bool started_ = false;
  std::jthread thread_;
};

}  // namespace hardware
