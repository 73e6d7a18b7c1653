// Items per second through the WITS0 record reader: records of record 1 with the usual
// drilling items, read from memory into a record store, as a receiving thread reads them
// from its socket buffer (the item lines are not logged here).
#include <benchmark/benchmark.h>

#include <atomic>
#include <boost/asio/write.hpp>
#include <chrono>
#include <string>
#include <thread>

#include "wits/tcp_byte_source.h"
#include "wits/wits0_format.h"
#include "wits/wits0_reader.h"

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

}  // namespace
