// Feeds arbitrary bytes to the WITS0 record reader, reading records until the stream gives
// nothing before a start, and checks what the store then holds.
#include <cstdint>
#include <string_view>

#include "wits/wits0_format.h"
#include "wits/wits0_reader.h"

namespace {

struct CountingEvents : wits::ReadEvents {
  int starts = 0;
  int ready = 0;
  void on_start() override { ++starts; }
  void on_ready(int record) override {
    if (record < 0 || record > 99) __builtin_trap();
    ++ready;
  }
  void on_item_line(std::string_view line) override {
    if (line.size() > wits::kMaxLineBytes) __builtin_trap();
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  wits::MemoryByteSource source(bytes);
  wits::RecordStore store;
  CountingEvents events;
  std::size_t reads = 0;
  while (wits::read_record(source, store, events)) {
    // Every true result consumed at least the start sequence.
    if (++reads * wits::kRecordStart.size() > size) __builtin_trap();
  }
  // The reader stops only when the bytes are used up.
  if (source.position() != size) __builtin_trap();
  if (events.starts != static_cast<int>(reads)) __builtin_trap();

  wits::WITSRecords taken;
  const bool any = store.take_ready(taken);
  if (any != (events.ready > 0 && !taken.empty())) __builtin_trap();
  for (const auto& [number, record] : store.snapshot()) {
    if (number < 0 || number > 99 || record.ready) __builtin_trap();
    for (const auto& [item, value] : record.items) {
      if (item < 0 || item > 99 || value.size() > wits::kMaxLineBytes - wits::kValueColumn)
        __builtin_trap();
    }
  }
  return 0;
}
