// Items per second through the WITS0 record reader: records of record 1 with the usual
// drilling items, read from memory into a record store, as a receiving thread reads them
// from its socket buffer (the item lines are not logged here).
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <boost/asio/write.hpp>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "wits/tcp_byte_source.h"
#include "wits/wits0_format.h"
#include "wits/wits0_frames.h"
#include "wits/wits0_reader.h"
#include "wits/wits0_server.h"
#include "wits/wits_receiver.h"

namespace {

struct Silent : wits::ReadEvents {};

// `records` copies of a record with `items` items: "&&", 01II1234.56 lines, "!!".
std::string stream_of(int records, int items) {
  std::string out;
  for (int r = 0; r < records; ++r) {
    out += wits::kRecordStart;
    for (int i = 0; i < items; ++i)
      wits::append_item_line(out, 1, 8 + i, std::to_string(1000 + r % 100) + ".25");
    out += wits::kRecordEnd;
  }
  return out;
}

void BM_ReadRecords(benchmark::State& state) {
  const int items = static_cast<int>(state.range(0));
  constexpr int kRecords = 100;
  const std::string bytes = stream_of(kRecords, items);
  wits::RecordStore store;
  Silent events;
  for (auto _ : state) {
    wits::MemoryByteSource source(bytes);
    while (wits::read_record(source, store, events)) {
    }
    wits::WITSRecords taken;
    benchmark::DoNotOptimize(store.take_ready(taken));
  }
  state.SetItemsProcessed(state.iterations() * kRecords * items);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(BM_ReadRecords)->Arg(8)->Arg(40);

// A sender on the loopback that writes the same stream again and again, as fast as the
// reader takes it, so the reader never waits for the network's pace.
class FloodingSender {
 public:
  explicit FloodingSender(std::string bytes)
      : bytes_(std::move(bytes)), acceptor_(io_, {boost::asio::ip::make_address("127.0.0.1"), 0}) {
    thread_ = std::thread([this] {
      boost::system::error_code ec;
      wits::tcp::socket client(io_);
      acceptor_.accept(client, ec);
      while (!ec && !stop_) boost::asio::write(client, boost::asio::buffer(bytes_), ec);
    });
  }
  ~FloodingSender() {
    stop_ = true;
    thread_.join();
  }
  int port() const { return acceptor_.local_endpoint().port(); }
  void stop() { stop_ = true; }

 private:
  std::string bytes_;
  boost::asio::io_context io_;
  wits::tcp::acceptor acceptor_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// The same records through a TCP connection on this machine: the receiving thread's own byte
// source (wits::TcpByteSource) under the reader, one read_record per record.
void BM_ReadRecordsLoopback(benchmark::State& state) {
  const int items = static_cast<int>(state.range(0));
  constexpr int kRecords = 100;
  FloodingSender sender(stream_of(kRecords, items));
  wits::TcpByteSource source(std::chrono::milliseconds(5000));
  if (const auto error = source.connect("127.0.0.1", sender.port())) {
    state.SkipWithError(error->c_str());
    return;
  }
  wits::RecordStore store;
  Silent events;
  for (auto _ : state) {
    for (int r = 0; r < kRecords; ++r) {
      if (!wits::read_record(source, store, events)) {
        state.SkipWithError("the stream stopped");
        break;
      }
    }
    wits::WITSRecords taken;
    benchmark::DoNotOptimize(store.take_ready(taken));
  }
  sender.stop();
  source.close();
  state.SetItemsProcessed(state.iterations() * kRecords * items);
}
BENCHMARK(BM_ReadRecordsLoopback)->Arg(8)->Arg(40)->UseRealTime();

// A sender of `rate` records a second (record 1: a sequence number in item 1 and eight
// drilling items) on the loopback, read by a WITSReceiver exactly as the station runs it (its
// thread, its waits, its logs on disk), taken once a second as the station's tick takes them.
// lag_s: how far the newest record handed out trails the newest one sent, in seconds of the
// sender's stream, the worst of the reads after the first second; taken_ratio: the sequence
// number handed out last against the number sent by then. A receiver that keeps up stays
// within a pass of its loop (a few tenths of a second) and near 1 whatever the rate.
void BM_FollowSender(benchmark::State& state) {
  using namespace std::chrono_literals;
  const int rate = static_cast<int>(state.range(0));
  std::string folder = (std::filesystem::temp_directory_path() / "rigcore-bench-XXXXXX").string();
  if (::mkdtemp(folder.data()) == nullptr) {
    state.SkipWithError("no temporary folder");
    return;
  }
  folder += '/';
  wits::Wits0ServerOptions sender_options;
  sender_options.keep_alive = 0ms;
  sender_options.max_pending_bytes = std::size_t{64} << 20;
  wits::Wits0Server sender(sender_options);
  if (const auto error = sender.start()) {
    state.SkipWithError(error->c_str());
    return;
  }
  double worst_lag = 0;
  double taken_ratio = 0;
  {
    wits::WITSReceiver receiver(folder, lib::system_clock(), lib::posix_file_system());
    wits::WITSReceiverOptions servers;
    servers.servers().assign({wits::WITSServerOption("A", "127.0.0.1", sender.port(), "")});
    servers.servers()[0].enabled = true;
    receiver.set_options(servers);
    const auto connect_until = std::chrono::steady_clock::now() + 5s;
    while (sender.client_count() == 0 && std::chrono::steady_clock::now() < connect_until)
      std::this_thread::sleep_for(10ms);
    std::atomic<long> sent{0};
    std::atomic<bool> stop{false};
    std::thread pacer([&] {
      const auto start = std::chrono::steady_clock::now();
      while (!stop) {
        const auto due = static_cast<long>(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() * rate);
        std::string frames;
        for (long n = sent + 1; n <= due; ++n) {
          wits::FrameItems items{{1, std::to_string(n)}};
          for (int i = 8; i < 16; ++i) items.emplace_back(i, "1500.25");
          frames += wits::make_frame(1, items);
        }
        if (!frames.empty()) sender.publish(std::move(frames));
        sent = std::max<long>(sent, due);
        std::this_thread::sleep_for(1ms);
      }
    });
    for (auto _ : state) {
      wits::WITSCommIncomData reading;
      for (int second = 1; second <= 5; ++second) {
        std::this_thread::sleep_for(1s);
        const long sent_now = sent;
        receiver.read_data(reading);
        const double taken = reading.servers().contains("A") ? reading.get_value("A", "0101") : 0;
        if (second > 1) worst_lag = std::max(worst_lag, (sent_now - taken) / rate);
        taken_ratio = sent_now > 0 ? taken / static_cast<double>(sent_now) : 0;
      }
    }
    stop = true;
    pacer.join();
  }
  sender.stop();
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  state.counters["lag_s"] = worst_lag;
  state.counters["taken_ratio"] = taken_ratio;
}
BENCHMARK(BM_FollowSender)
    ->Arg(50)
    ->Arg(1000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
