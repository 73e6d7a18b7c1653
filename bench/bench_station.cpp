// One whole data tick of the station on the emulator with a full table of 512 rows: read,
// convert every row, follow the rig, average, record, the alarm pass, publish (data/kvb.dat,
// the live frame). Beside it, in the same run, its yardstick: one averaging pass over 512
// rows at a window of 120; and the same tick with the web view on and fifty clients.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/system.h"
#include "lib/date_time.h"
#include "params/all_params.h"
#include "params/par_tabl.h"
#include "station/station.h"
#include "storage/data_storage.h"
#include "web/server.h"
#include "web/station_link.h"

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;

// Time passes only when the station sleeps, so the emulator's one-second pace costs nothing.
class SteppedClock : public lib::Clock {
 public:
  lib::LocalTime local_now() override { return {1'800'000'000 + steady_ / 1000, 0}; }
  std::int64_t steady_ms() override { return steady_; }
  void advance(int ms) { steady_ += ms; }

 private:
  std::int64_t steady_ = 0;
};

// A day of drilling stands with a connection after each: the block comes down 28 m in
// ten minutes with the bit on bottom, then goes up again in the slips.
std::string drilling_day() {
  std::string text = "start bottom=1000 bit=1000 block=30 race=1\n";
  for (int k = 0; k < 144; ++k) {
    const int t = k * 600;
    text += std::to_string(t) + " hook=80 block=30 pressure=90 rpm=60 wob=8 spm1=60\n";
    text += std::to_string(t + 540) + " block=2\n";
    text += std::to_string(t + 545) + " hook=5 pressure=0 spm1=0\n";
    text += std::to_string(t + 595) + " block=30\n";
  }
  return text;
}

// WebSocket clients on a thread of their own, each reading every message it is sent.
class Browsers {
 public:
  Browsers(unsigned short port, int count) {
    for (int i = 0; i < count; ++i) {
      auto c = std::make_unique<Client>(ioc_);
      c->ws.next_layer().connect(
          asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), port));
      c->ws.handshake("127.0.0.1", "/ws");
      clients_.push_back(std::move(c));
    }
    for (auto& c : clients_) read(*c);
    thread_ = std::thread([this] { ioc_.run(); });
  }
  ~Browsers() {
    asio::post(ioc_, [this] {
      for (auto& c : clients_) {
        beast::error_code ignored;
        c->ws.next_layer().socket().close(ignored);
      }
    });
    thread_.join();
  }
  // The fewest messages any client has read.
  long fewest() const {
    long least = -1;
    for (const auto& c : clients_)
      if (least < 0 || c->messages.load() < least) least = c->messages.load();
    return least;
  }

 private:
  struct Client {
    explicit Client(asio::io_context& ioc) : ws(ioc) {}
    beast::websocket::stream<beast::tcp_stream> ws;
    beast::flat_buffer buffer;
    std::atomic<long> messages{0};
  };
  void read(Client& c) {
    c.ws.async_read(c.buffer, [this, &c](beast::error_code ec, std::size_t) {
      if (ec) return;
      c.buffer.consume(c.buffer.size());
      ++c.messages;
      read(c);
    });
  }
  asio::io_context ioc_;
  std::vector<std::unique_ptr<Client>> clients_;
  std::thread thread_;
};

// A paced run starts its ticks this far apart, as the station starts one every second: long
// enough for the web view's loop to find the tick and pass it on (web::WebServer::kTickPoll)
// before the next. How long a core idled before a tick alone moves the tick's cost by half on
// a virtual machine (docs/performance.md), so both runs idle alike: the rest of the period.
constexpr std::chrono::milliseconds kTickPeriod{15};

struct TickOptions {
  bool follow_the_rig = false;
  int race = 0;
  int web_clients = -1;  // -1: no web view
                         // Ticks started kTickPeriod apart (the wait not measured), for the
                         // comparison with the web
  // view, whose server does its part between two ticks.
  bool paced = false;
};

void station_tick_512_rows(benchmark::State& state, TickOptions options) {
  const std::string home =
      (std::filesystem::temp_directory_path() / "rigcore-bench-station/").string();
  std::error_code ignored;
  std::filesystem::remove_all(home, ignored);
  std::filesystem::create_directories(home);
  // The files rewritten every tick or two go to a memory file system, as the service's
  // runtime folder gives a station in the field.
  const std::string runtime = "/dev/shm/rigcore-bench-runtime/";
  std::filesystem::remove_all(runtime, ignored);
  const bool have_runtime = std::filesystem::create_directories(runtime, ignored);
  SteppedClock clock;
  reg::SystemOptions o;
  o.home_folder = home;
  if (have_runtime) o.runtime_folder = runtime;
  o.clock = &clock;
  o.sleep = [&](int ms) { clock.advance(ms); };
  reg::System hub(o);
  station::Station st(hub);
  station::StationSettings settings;
  settings.protocol = "emulator";
  settings.restore = false;
  if (options.follow_the_rig) {
    settings.scenario = home + "day.txt";
    std::ofstream(settings.scenario) << drilling_day();
  }
  settings.race = options.race;
  st.open(settings);
  // The tick itself: the periodic state save (once a minute, a whole sys.bin) is left out,
  // since the stepped clock would bring one every 60 iterations.
  hub.set_save_period_seconds(0);
  params::ParTabl& table = hub.data_storage().par_tabl();
  table.resize(ds_tmp::kSlots);
  for (int i = 0; i < ds_tmp::kSlots; ++i) {
    params::Param& p = table[i];
    p.channel = params::USOChannel(0, i % 32, params::kChannelAnalog);
    p.averaging = 120;
    p.points = {{1024, 0}, {4095, 100}};
  }
  std::unique_ptr<web::WebServer> server;
  std::unique_ptr<web::StationLink> link;
  std::unique_ptr<Browsers> browsers;
  if (options.web_clients >= 0) {
    web::ServerOptions so;
    so.port = 0;
    so.token = std::string(64, 'b');
    so.max_connections_per_address = so.max_connections;  // every client is on loopback
    server = std::make_unique<web::WebServer>(so, clock);
    server->start();
    link = std::make_unique<web::StationLink>(st, hub, *server);
    if (options.web_clients > 0)
      browsers = std::make_unique<Browsers>(server->port(), options.web_clients);
  }
  long ticks = 0;
  double link_seconds = 0;  // the tick thread's time in the web view's link
  auto next_tick = std::chrono::steady_clock::now();
  for (auto _ : state) {
    const auto link_start = std::chrono::steady_clock::now();
    if (link) link->before_tick();
    auto link_time = std::chrono::steady_clock::now() - link_start;
    clock.advance(1000);
    st.tick();
    if (link) {
      const auto before = std::chrono::steady_clock::now();
      link->after_tick();
      link_time += std::chrono::steady_clock::now() - before;
      link_seconds += std::chrono::duration<double>(link_time).count();
    }
    ++ticks;
    if (!options.paced) continue;
    // Not measured: the clients read the tick (the server's part of it is done between two
    // ticks), then the wait for the next tick's start.
    state.PauseTiming();
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (browsers && browsers->fewest() < ticks && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // Slept in the same steps as the wait for the clients: how the core idled before a tick
    // moves the tick's cost.
    next_tick = std::max(next_tick + kTickPeriod, std::chrono::steady_clock::now());
    while (std::chrono::steady_clock::now() < next_tick)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations());
  if (options.follow_the_rig) state.counters["bottom_m"] = st.rig().bottom;
  if (browsers) state.counters["fewest_messages"] = static_cast<double>(browsers->fewest());
  // What the link itself costs the tick's thread (its wall time: it does not block but for a
  // picture under way), beside the whole difference the web view makes.
  if (link) state.counters["link_us"] = link_seconds * 1e6 / static_cast<double>(ticks);
  browsers.reset();
  link.reset();
  server.reset();
  // The station's writer threads finish before its home goes.
  st.close();
  std::filesystem::remove_all(home, ignored);
  std::filesystem::remove_all(runtime, ignored);
}

// The yardstick: one averaging pass over a full table at a window of 120, full windows.
void BM_AveragingPass512RowsWindow120(benchmark::State& state) {
  params::AllParams catalogue(std::filesystem::temp_directory_path().string() + "/",
                              lib::posix_file_system());
  ds_tmp::DataStorage ds(catalogue);
  ds.par_tabl().resize(ds_tmp::kSlots);
  for (int i = 0; i < ds_tmp::kSlots; ++i) ds.par_tabl()[i].averaging = 120;
  double v = 0;
  for (int t = 0; t < 121; ++t) {
    for (int i = 0; i < ds_tmp::kSlots; ++i) ds.current_values()[i] = v += 0.37;
    ds.average_values().calculate_values(false);
  }
  for (auto _ : state) {
    for (int i = 0; i < ds_tmp::kSlots; ++i) ds.current_values()[i] = v += 0.37;
    ds.average_values().calculate_values(false);
    benchmark::DoNotOptimize(ds[7]);
  }
}
BENCHMARK(BM_AveragingPass512RowsWindow120)->Unit(benchmark::kMicrosecond);

// The emulator gives no winch count: the tick converts, averages and exports.
void BM_StationTick512Rows(benchmark::State& state) {
  station_tick_512_rows(state, {});
}
BENCHMARK(BM_StationTick512Rows)->Unit(benchmark::kMicrosecond);

// The same with a drilling rig played in: depth tracking, operation recognition, lag marks.
void BM_StationTick512RowsFollowingTheRig(benchmark::State& state) {
  station_tick_512_rows(state, {.follow_the_rig = true});
}
BENCHMARK(BM_StationTick512RowsFollowingTheRig)->Unit(benchmark::kMicrosecond);

// The same within a registration run: the stand counter, the run totals (every catalogue
// parameter's run average) and the run's recording on top; the alarm pass over the default
// thresholds as in every tick.
void BM_StationTick512RowsInARun(benchmark::State& state) {
  station_tick_512_rows(state, {.follow_the_rig = true, .race = 1});
}
BENCHMARK(BM_StationTick512RowsInARun)->Unit(benchmark::kMicrosecond);

// The same paced as the station runs: the yardstick of the web view's cost. A tick's cost
// depends on where the drilling day is (the first ticks open the run's files and fill the
// stand counter's history), so the yardstick and the web view's run play the same ticks.
constexpr int kPacedTicks = 1000;
void BM_StationTick512RowsInARunPaced(benchmark::State& state) {
  station_tick_512_rows(state, {.follow_the_rig = true, .race = 1, .paced = true});
}
BENCHMARK(BM_StationTick512RowsInARunPaced)->Unit(benchmark::kMicrosecond)->Iterations(kPacedTicks);

// The same with the web view on and fifty WebSocket clients reading every tick.
void BM_StationTick512RowsInARunWebFiftyClients(benchmark::State& state) {
  station_tick_512_rows(state,
                        {.follow_the_rig = true, .race = 1, .web_clients = 50, .paced = true});
}
BENCHMARK(BM_StationTick512RowsInARunWebFiftyClients)
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(kPacedTicks);

}  // namespace
