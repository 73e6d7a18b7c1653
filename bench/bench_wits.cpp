// Items per second through the WITS0 record reader: records of record 1 with the usual
// drilling items, read from memory into a record store, as a receiving thread reads them
// from its socket buffer (the item lines are not logged here).
#include <benchmark/benchmark.h>

#include <string>

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

}  // namespace
