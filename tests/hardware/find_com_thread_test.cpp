// The port search: the probe rules, the walk over protocols and ports, the 2017 address
// scan, stopping, the dialog texts, and one search over a real pseudo-terminal.
#include "hardware/port_search/find_com_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <map>
#include <set>
#include <stdexcept>

#include "hardware/comm_protocols.h"
#include "hardware/port_search/find_com_report.h"
#include "hardware/port_search/serial_port_list.h"
#include "hardware/sim/bus2017_sim.h"
#include "hardware/sim/bus_sim_server.h"
#include "hardware/sim/old_bus_device.h"
#include "lib/pseudo_terminal.h"
#include "support/fakes.h"

namespace {

using hardware::CommIncomData;
using hardware::CommOutData;
using hardware::CommProtocols;
using hardware::FindComProgress;
using hardware::FindComThread;
using hardware::SearchResult;

constexpr std::int32_t kPult = hardware::kProtocolNewPult;
constexpr std::int32_t kBus2017 = hardware::kProtocol2017;
constexpr std::int32_t kEmu = hardware::kProtocolEmulator;
constexpr std::int32_t kJunction = hardware::kProtocolJunctionBox;

// Serial lines by device path: only the listed paths open. Nothing travels on them; the
// fake protocols decide what answers.
struct Lines {
  std::set<std::string> present;
  std::vector<std::string> opened;  // every successful open, in order
  std::vector<std::string> refused;
};

class PathLine : public lib::BytePort {
 public:
  explicit PathLine(Lines& lines) : lines_(lines) {}
  bool open(const std::string& path) override {
    open_ = lines_.present.count(path) != 0;
    (open_ ? lines_.opened : lines_.refused).push_back(path);
    return open_;
  }
  void close() override { open_ = false; }
  bool is_open() const override { return open_; }
  bool set_baud_rate(int) override { return open_; }
  int read_some(std::uint8_t*, std::size_t, int) override { return open_ ? kTimedOut : kFailed; }
  bool write_all(const std::uint8_t*, std::size_t) override { return open_; }
  bool drain() override { return open_; }
  bool discard_input() override { return open_; }
  bool set_rts(bool) override { return true; }
  int native_handle() const override { return open_ ? 5 : -1; }
  std::string last_error() const override { return "no such device"; }

 private:
  Lines& lines_;
  bool open_ = false;
};

struct RecordingAudio : lib::AudioOutput {
  std::vector<std::pair<int, int>> beeps;
  void beep(int hz, int ms) override { beeps.emplace_back(hz, ms); }
  bool play_file(const std::string&) override { return false; }
};

// One read exchange as the fake protocols saw it.
struct Read {
  std::int32_t id;
  std::string device;
  std::string port_text;
  int time_out_ms;
  bool operator==(const Read&) const = default;
};

// A hub whose registry holds fake protocols with the station's ids, in the station's
// order, that answer as the test says. Pauses cost no time.
struct SearchFixture {
  Lines lines;
  testing_support::FakeClock clock;
  RecordingAudio audio;
  std::unique_ptr<CommProtocols> hub;
  // Decides each read: (protocol id, device path, port text) -> answered.
  std::function<bool(std::int32_t, const std::string&, const std::string&)> answers =
      [](std::int32_t, const std::string&, const std::string&) { return false; };
  std::vector<Read> reads;
  std::vector<std::pair<std::int32_t, std::string>> sends;
  std::vector<int> search_pauses;
  std::vector<FindComProgress> progress;
  std::vector<SearchResult> found;

  SearchFixture() {
    hardware::CommProtocolsEnv env;
    env.clock = &clock;
    env.sleep = [](int) {};
    env.line = std::make_unique<PathLine>(lines);
    hub = std::make_unique<CommProtocols>(CommProtocols::kAllProtocols, std::move(env));
    hub->unregister_protocols();
    for (std::int32_t id : {kPult, kBus2017, kEmu, kJunction}) {
      hub->register_protocol(
          id, "fake " + std::to_string(id),
          [this, id](CommProtocols& h, CommIncomData&) {
            reads.push_back({id, h.get_port().device(), h.port_text(), h.get_port().time_out()});
            return answers(id, h.get_port().device(), h.port_text());
          },
          [this, id](CommProtocols& h, CommOutData&) { sends.emplace_back(id, h.port_text()); }, 0,
          4095, 57600, id == kBus2017 ? 250 : 500, CommProtocols::kAllProtocols);
    }
  }

  std::unique_ptr<FindComThread> search(std::vector<std::string> ports,
                                        std::int32_t protocol_filter = FindComThread::kAllProtocols,
                                        std::string port_filter = "") {
    hardware::FindComCallbacks callbacks;
    callbacks.progress = [this](const FindComProgress& p) { progress.push_back(p); };
    callbacks.found = [this](const SearchResult& r) { found.push_back(r); };
    return std::make_unique<FindComThread>(
        *hub, [ports] { return ports; }, std::move(port_filter), protocol_filter, callbacks, audio,
        [this](int ms) { search_pauses.push_back(ms); });
  }

  // Port texts the 2017 protocol was read with on a device, in order.
  std::vector<int> addresses_read(const std::string& device) const {
    std::vector<int> out;
    for (const Read& r : reads)
      if (r.id == kBus2017 && r.device == device) out.push_back(std::stoi(r.port_text));
    return out;
  }
  int reads_of(std::int32_t id, const std::string& device = "") const {
    int n = 0;
    for (const Read& r : reads) n += r.id == id && (device.empty() || r.device == device);
    return n;
  }
};

std::vector<int> range(int from, int to) {
  std::vector<int> v;
  for (int i = from; i <= to; ++i) v.push_back(i);
  return v;
}

// Answers by a script of results, one per read, then stays silent.
auto scripted(std::deque<bool> script) {
  auto shared = std::make_shared<std::deque<bool>>(std::move(script));
  return [shared](std::int32_t, const std::string&, const std::string&) {
    if (shared->empty()) return false;
    const bool ok = shared->front();
    shared->pop_front();
    return ok;
  };
}

// ---- The probe

struct ProbeCase {
  const char* what;
  std::int32_t id;
  std::deque<bool> script;
  bool answered;
  std::size_t reads;
  std::size_t beeps;
};

TEST(FindComProbe, AnswersNeededAndFailureLimits) {
  // Failures count from the last answer: with a running count the fifth failure would end
  // the "reset" probe before its third answer.
  // clang-format off
  const ProbeCase cases[] = {
      {"silent older device: five failures", kPult, {}, false, 5, 0},
      {"silent 2017 address: one failure", kBus2017, {}, false, 1, 0},
      {"one stray answer is not a device", kPult, {true}, false, 6, 1},
      {"two answers make a device", kPult, {true, true}, true, 7, 2},
      {"three answers end the probe at once", kPult, {true, true, true, true}, true, 3, 3},
      {"reset", kPult, {true, false, false, false, true, false, false, false, true}, true, 9, 3},
      {"four failures between", kPult, {true, false, false, false, false, true}, true, 11, 2},
      {"2017: a failure before the second answer", kBus2017, {true, false, true}, false, 2, 1},
      {"2017: answers then a failure", kBus2017, {true, true, false}, true, 3, 2},
  };
  // clang-format on
  for (const ProbeCase& c : cases) {
    SCOPED_TRACE(c.what);
    SearchFixture f;
    f.lines.present = {"/dev/ttyS0"};
    f.answers = scripted(c.script);
    auto search = f.search({"/dev/ttyS0"});
    ASSERT_TRUE(f.hub->get_port().open("/dev/ttyS0"));
    EXPECT_EQ(search->TestIt(c.id, "7"), c.answered);
    EXPECT_EQ(f.reads.size(), c.reads);
    EXPECT_EQ(f.audio.beeps, (std::vector<std::pair<int, int>>(c.beeps, {600, 200})));
    // Every answer is followed by an output exchange with the same port text.
    EXPECT_EQ(f.sends, (std::vector<std::pair<std::int32_t, std::string>>(c.beeps, {c.id, "7"})));
  }
}

// ---- The walk over protocols and ports

TEST(FindComSearch, FindsTheOlderConsoleOnItsPortAndNeverTriesTheEmulator) {
  SearchFixture f;
  f.lines.present = {"/dev/ttyS0", "/dev/ttyUSB0"};
  f.answers = [](std::int32_t id, const std::string& device, const std::string& text) {
    return id == kPult && device == "/dev/ttyUSB0" && text == "/dev/ttyUSB0";
  };
  auto search = f.search({"/dev/ttyS0", "/dev/ttyUSB0"});
  search->Execute();

  const std::vector<SearchResult> expected = {{kPult, "/dev/ttyUSB0", "/dev/ttyUSB0"}};
  EXPECT_EQ(search->get_result(), expected);
  EXPECT_EQ(f.found, expected);
  EXPECT_EQ(f.reads_of(kEmu), 0);
  // The older protocols are probed with the port name, after the port was configured
  // with the protocol's own time-out.
  ASSERT_GT(f.reads_of(kJunction, "/dev/ttyS0"), 0);
  for (const Read& r : f.reads) {
    if (r.id == kBus2017) continue;
    EXPECT_EQ(r.port_text, r.device);
    EXPECT_EQ(r.time_out_ms, 500);
  }
  EXPECT_FALSE(f.hub->get_port().is_opened());
  EXPECT_TRUE(search->finished());
}

TEST(FindComSearch, ThePortFilterLimitsTheSearchToOnePort) {
  SearchFixture f;
  f.lines.present = {"/dev/ttyS0", "/dev/ttyS1"};
  auto search = f.search({"/dev/ttyS0", "/dev/ttyS1"}, kPult, "/dev/ttyS1");
  search->Execute();
  EXPECT_EQ(f.lines.opened, (std::vector<std::string>{"/dev/ttyS1"}));
  EXPECT_EQ(f.reads_of(kPult, "/dev/ttyS1"), 5);
  EXPECT_EQ(f.reads.size(), 5u);
  ASSERT_FALSE(f.progress.empty());
  EXPECT_EQ(f.progress.front().total_steps, 1);
  EXPECT_EQ(f.progress.front().port_index, 1);  // its place in the whole list
}

TEST(FindComSearch, APortThatDoesNotOpenIsSkippedWithoutAProbe) {
  SearchFixture f;
  f.lines.present = {"/dev/ttyS1"};
  auto search = f.search({"/dev/ttyS0", "/dev/ttyS1"}, kPult);
  search->Execute();
  EXPECT_EQ(f.lines.refused, (std::vector<std::string>{"/dev/ttyS0"}));
  EXPECT_EQ(f.reads_of(kPult, "/dev/ttyS0"), 0);
  EXPECT_EQ(f.reads_of(kPult, "/dev/ttyS1"), 5);
  // Progress is reported for probes only.
  for (const FindComProgress& p : f.progress) EXPECT_EQ(p.port, "/dev/ttyS1");
}

TEST(FindComSearch, OnceAPortAnswersTheProtocolIsNotTriedOnLaterPorts) {
  SearchFixture f;
  f.lines.present = {"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2"};
  // A console answers on every port; the junction box only on the last one.
  f.answers = [](std::int32_t id, const std::string& device, const std::string&) {
    return id == kPult || (id == kJunction && device == "/dev/ttyS2");
  };
  auto search = f.search({"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2"});
  search->Execute();
  EXPECT_EQ(search->get_result(),
            (std::vector<SearchResult>{{kPult, "/dev/ttyS0", "/dev/ttyS0"},
                                       {kJunction, "/dev/ttyS2", "/dev/ttyS2"}}));
  EXPECT_EQ(f.reads_of(kPult, "/dev/ttyS1"), 0);
  EXPECT_EQ(f.reads_of(kJunction, "/dev/ttyS1"), 5);
}

TEST(FindComSearch, ProgressCountsTheProtocolPortPairs) {
  SearchFixture f;
  f.lines.present = {"/dev/ttyS0", "/dev/ttyS1"};
  auto search = f.search({"/dev/ttyS0", "/dev/ttyS1"});
  search->Execute();
  // Protocols 5, 10 and 11 (not the emulator) on two ports.
  std::vector<std::tuple<int, int, int, std::string>> steps;  // step, position, index, port
  for (const FindComProgress& p : f.progress) {
    EXPECT_EQ(p.total_steps, 6);
    if (p.address > 1) continue;  // the 2017 scan reports each address
    steps.emplace_back(p.step, p.protocol_position, p.port_index, p.port);
  }
  using Step = std::tuple<int, int, int, std::string>;
  EXPECT_EQ(steps, (std::vector<Step>{{1, 0, 0, "/dev/ttyS0"},
                                      {2, 0, 1, "/dev/ttyS1"},
                                      {3, 1, 0, "/dev/ttyS0"},
                                      {4, 1, 1, "/dev/ttyS1"},
                                      {5, 3, 0, "/dev/ttyS0"},
                                      {6, 3, 1, "/dev/ttyS1"}}));
}

TEST(FindComSearch, TheHubPortIsLeftClosedAndStaleHistoryForgotten) {
  SearchFixture f;
  f.lines.present = {"/dev/ttyS0", "/dev/previous"};
  ASSERT_TRUE(f.hub->get_port().open("/dev/previous"));
  CommIncomData data;
  ASSERT_TRUE(f.hub->check_packet_number(data, 0, 7, 255));
  auto search = f.search({"/dev/ttyS0"}, kPult);
  search->Execute();
  EXPECT_FALSE(f.hub->get_port().is_opened());
  // Packet number 7 again is accepted: the search started from a clean history.
  EXPECT_TRUE(f.hub->check_packet_number(data, 0, 7, 255));
}

TEST(FindComSearch, AnExchangeThatThrowsEndsTheSearchWithThePortClosed) {
  SearchFixture f;
  f.lines.present = {"/dev/ttyS0"};
  f.answers = [](std::int32_t, const std::string&, const std::string&) -> bool {
    throw std::runtime_error("driver fault");
  };
  std::vector<std::string> log;
  std::vector<bool> tuning;
  hardware::FindComCallbacks callbacks;
  callbacks.log = [&log](const std::string& m) { log.push_back(m); };
  callbacks.searching = [&tuning](bool on) { tuning.push_back(on); };
  FindComThread search(
      *f.hub, [] { return std::vector<std::string>{"/dev/ttyS0"}; }, "", kPult, callbacks, f.audio,
      [](int) {});
  search.start();
  search.join();
  EXPECT_TRUE(search.finished());
  EXPECT_EQ(tuning, (std::vector<bool>{true, false})) << "the tuning sound ends with the search";
  EXPECT_FALSE(f.hub->get_port().is_opened());
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find("driver fault"), std::string::npos);
}

TEST(FindComSearch, OneObjectSearchesOnce) {
  SearchFixture f;
  f.lines.present = {"/dev/ttyS0"};
  f.answers = [](std::int32_t id, const std::string&, const std::string&) { return id == kPult; };
  auto search = f.search({"/dev/ttyS0"}, kPult);
  search->start();
  search->join();
  search->start();  // a second search would repeat the result
  search->join();
  EXPECT_EQ(search->get_result().size(), 1u);
  EXPECT_EQ(f.reads.size(), 3u);
}

// ---- The 2017 address scan

// A 2017 bus with modules 1 and 2 on /dev/ttyS1 (and consoles elsewhere, to be sure they
// are not looked for there).
struct Bus2017 : SearchFixture {
  std::set<std::string> devices_at_ttyS1 = {"1", "2"};
  Bus2017() {
    lines.present = {"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2"};
    answers = [this](std::int32_t id, const std::string& device, const std::string& text) {
      if (id != kBus2017) return false;
      if (device == "/dev/ttyS1") return devices_at_ttyS1.count(text) != 0;
      return device == "/dev/ttyS2";  // every address answers there
    };
  }
};

TEST(FindComScan2017, ModulesOneAndTwoMakeOneResultForTheirPort) {
  Bus2017 f;
  auto search = f.search({"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2"});
  search->Execute();
  EXPECT_EQ(search->get_result(), (std::vector<SearchResult>{{kBus2017, "/dev/ttyS1", "1,2"}}));
  // Each find is announced with the addresses so far.
  EXPECT_EQ(f.found, (std::vector<SearchResult>{{kBus2017, "/dev/ttyS1", "1"},
                                                {kBus2017, "/dev/ttyS1", "1,2"}}));
  // A silent port is asked for the module addresses only.
  EXPECT_EQ(f.addresses_read("/dev/ttyS0"), range(1, 32));
  // Once an address answered, every address up to 96 is asked (the answering ones three
  // times, until their third answer).
  std::vector<int> expected = {1, 1, 1, 2, 2, 2};
  for (int a : range(3, 96)) expected.push_back(a);
  EXPECT_EQ(f.addresses_read("/dev/ttyS1"), expected);
  // The bus was found: the port after it is not tried for protocol 10.
  EXPECT_TRUE(f.addresses_read("/dev/ttyS2").empty());
  for (const Read& r : f.reads) {
    if (r.id == kBus2017) {
      EXPECT_EQ(r.time_out_ms, 10);
    }
  }
  // The progress of the scan names every address, asked or not.
  std::vector<int> progress_addresses;
  for (const FindComProgress& p : f.progress)
    if (p.port == "/dev/ttyS0" && p.address != 0) progress_addresses.push_back(p.address);
  EXPECT_EQ(progress_addresses, range(1, 96));
}

TEST(FindComScan2017, WithItsOwnFilterTheConsoleAddressesAreLeftOut) {
  Bus2017 f;
  f.devices_at_ttyS1 = {"40", "70"};  // an indicator and a console only
  auto search = f.search({"/dev/ttyS1", "/dev/ttyS2"}, kBus2017);
  search->Execute();
  // Nothing answered among 1..32 on ttyS1, so nothing beyond was asked there.
  EXPECT_EQ(f.addresses_read("/dev/ttyS1"), range(1, 32));
  // Everything answers on ttyS2, but the filter 10 stops the scan at 64.
  const auto results = search->get_result();
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].port, "/dev/ttyS2");
  std::string all;
  for (int a : range(1, 64)) all += (all.empty() ? "" : ",") + std::to_string(a);
  EXPECT_EQ(results[0].addresses, all);
  EXPECT_EQ(f.reads_of(kPult), 0);
}

TEST(FindComScan2017, EachAddressIsAskedAfterAPause) {
  Bus2017 f;
  auto search = f.search({"/dev/ttyS0"}, kBus2017);
  search->Execute();
  // One pause after configuring the port, one before each of the 32 addresses, one after
  // the protocol's ports; all of 10 ms.
  EXPECT_EQ(f.search_pauses, std::vector<int>(34, 10));
}

// ---- Stopping

TEST(FindComStop, AStopRequestDuringTheAddressScanEndsItAtOnce) {
  Bus2017 f;
  std::unique_ptr<FindComThread> search;
  search = f.search({"/dev/ttyS0", "/dev/ttyS1"});
  auto base = f.answers;
  f.answers = [&](std::int32_t id, const std::string& device, const std::string& text) {
    if (id == kBus2017 && text == "5") search->request_stop();
    return base(id, device, text);
  };
  search->Execute();
  EXPECT_EQ(f.addresses_read("/dev/ttyS0"), range(1, 5));
  EXPECT_EQ(f.reads_of(kBus2017, "/dev/ttyS1"), 0);
  EXPECT_EQ(f.reads_of(kJunction), 0);
  EXPECT_FALSE(f.hub->get_port().is_opened());
}

TEST(FindComStop, AStopRequestEndsAProbeBetweenItsExchanges) {
  SearchFixture f;
  f.lines.present = {"/dev/ttyS0"};
  std::unique_ptr<FindComThread> search = f.search({"/dev/ttyS0"});
  f.answers = [&](std::int32_t, const std::string&, const std::string&) {
    search->request_stop();
    return true;
  };
  search->Execute();
  EXPECT_EQ(f.reads.size(), 1u);
  EXPECT_TRUE(search->get_result().empty());
}

TEST(FindComStop, TheThreadStopsPromptlyWhileProbesKeepFailing) {
  SearchFixture f;
  std::vector<std::string> ports;
  for (int i = 0; i < 50; ++i) {
    ports.push_back("/dev/ttyUSB" + std::to_string(i));
    f.lines.present.insert(ports.back());
  }
  std::atomic<int> reads{0};
  std::atomic<bool> probing{false};
  hardware::FindComCallbacks callbacks;
  callbacks.progress = [&](const FindComProgress&) { probing = true; };
  f.hub->set_protocol_functions(
      kPult,
      [&](CommProtocols&, CommIncomData&) {
        ++reads;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return false;
      },
      nullptr);
  FindComThread search(
      *f.hub, [ports] { return ports; }, "", kPult, callbacks, f.audio, [](int) {});
  search.start();
  while (!probing) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  search.request_stop();
  const int reads_when_asked = reads.load();
  search.join();
  EXPECT_TRUE(search.finished());
  // Promptly means in exchanges, not in milliseconds: at most the one under way when the
  // stop was asked for (it may have passed its stop check just before) follows.
  EXPECT_LE(reads.load(), reads_when_asked + 1);
  EXPECT_LT(reads.load(), 250);  // far from the 250 reads of the whole search
  EXPECT_FALSE(f.hub->get_port().is_opened());
}

// ---- The dialog's texts

TEST(FindComReport, TextsOfProgressAndOutcome) {
  SearchFixture f;
  const hardware::FindComReport report(*f.hub);
  FindComProgress p;
  p.protocol_position = 1;
  p.port = "/dev/ttyUSB0";
  p.address = 33;
  EXPECT_EQ(report.progress_text(p), "Тестируется fake 10 Порт /dev/ttyUSB0, Адрес УСО:33");

  const std::vector<SearchResult> one = {{kPult, "/dev/ttyS1", "/dev/ttyS1"}};
  const std::vector<SearchResult> two = {one[0], {kBus2017, "/dev/ttyS2", "1,2"}};
  EXPECT_EQ(report.outcome_text(one, false), "Найденное УСО: \"fake 5\" на порте /dev/ttyS1");
  EXPECT_EQ(report.outcome_text(two, false), "Найдено несколько УСО");
  EXPECT_EQ(report.outcome_text({}, false), "Не удалось обнаружить подключенных УСО!!!");
  // A cancelled search says so even when it had found something.
  EXPECT_EQ(report.outcome_text(one, true), "Настройка отменена пользователем");

  const lib::TextGrid grid = report.result_grid(two);
  ASSERT_EQ(grid.row_count(), 3u);
  EXPECT_EQ(grid.row(2), (std::vector<std::string>{"10", "fake 10", "/dev/ttyS2", "1,2"}));
  EXPECT_EQ(report.protocol_name(99), "99");
}

TEST(FindComReport, TheChosenResult) {
  const std::vector<SearchResult> one = {{kPult, "/dev/ttyS1", "/dev/ttyS1"}};
  const std::vector<SearchResult> two = {one[0], {kBus2017, "/dev/ttyS2", "1,2"}};
  EXPECT_EQ(hardware::FindComReport::chosen(one, std::nullopt), one[0]);
  EXPECT_EQ(hardware::FindComReport::chosen(two, 1), two[1]);
  EXPECT_EQ(hardware::FindComReport::chosen(two, std::nullopt), std::nullopt);
  EXPECT_EQ(hardware::FindComReport::chosen(two, 2), std::nullopt);
  EXPECT_EQ(hardware::FindComReport::chosen({}, 0), std::nullopt);
}

// ---- A real line

TEST(FindComPty, FindsTheSimulatedConsoleOnANamedPseudoTerminal) {
  lib::PseudoTerminal pty;
  ASSERT_TRUE(pty.create()) << pty.error();
  hardware::OldBusDevice device;
  hardware::BusSimServer server(lib::make_serial_byte_port_from_fd(pty.release_master()), device);
  server.start();
  CommProtocols hub(CommProtocols::kStationMask, {});
  // No system ports: the pseudo-terminal is searched because it is named.
  const hardware::SerialPortLister lister([] { return hardware::SerialDeviceListing{}; },
                                          [](const std::string&) { return std::nullopt; });
  const std::string path = pty.slave_path();
  RecordingAudio audio;
  FindComThread search(
      hub, [&] { return lister.ports_to_search({path}); }, "", FindComThread::kAllProtocols, {},
      audio);
  // A hang stops the test binary at its time limit; how long the search takes is no
  // concern of this test on a shared machine.
  search.start();
  search.join();
  EXPECT_EQ(search.get_result(), (std::vector<SearchResult>{{kPult, path, path}}));
  EXPECT_EQ(audio.beeps.size(), 3u);
  EXPECT_FALSE(hub.get_port().is_opened());
  std::lock_guard g(server.device_lock());
  EXPECT_GE(device.replies(), 3u);
}

TEST(FindComPty, FindsTheModulesOfA2017BusButNotADeviceThatAnswersOnce) {
  lib::PseudoTerminal pty;
  ASSERT_TRUE(pty.create()) << pty.error();
  hardware::Bus2017Sim sim;
  sim.add_module(1);
  sim.add_module(2, 101);
  sim.add_module(3);
  sim.faults(3).answers_left = 1;
  // Asked once modules answered, but an indicator delivers no data, so it is not a find.
  sim.add_indicator(40, 2);
  hardware::BusSimServer server(lib::make_serial_byte_port_from_fd(pty.release_master()), sim);
  server.start();
  CommProtocols hub(CommProtocols::kStationMask, {});
  const std::string path = pty.slave_path();
  RecordingAudio audio;
  FindComThread search(
      hub,
      [&] {
        return std::vector<std::string>{"/dev/rigcore-no-such-port", path};
      },
      "", hardware::kProtocol2017, {}, audio);
  search.start();
  search.join();
  EXPECT_EQ(search.get_result(),
            (std::vector<SearchResult>{{hardware::kProtocol2017, path, "1,2"}}));
  EXPECT_FALSE(hub.get_port().is_opened());
  std::lock_guard g(server.device_lock());
  int asked_consoles = 0;
  int asked_indicator = 0;
  for (const auto& r : sim.requests()) {
    asked_consoles += r.address >= 65;
    asked_indicator += r.address == 40;
  }
  EXPECT_EQ(asked_consoles, 0);  // the protocol filter 10 leaves the consoles out
  EXPECT_GT(asked_indicator, 0);
}

}  // namespace
