// Feeds arbitrary bytes to the readers of the WITS text files that come from outside: a
// capture of another sender (by the test server), the item dictionary (by the dump) and the
// station's sender list. The first byte chooses the reader, the rest is the file.
#include <cstdint>
#include <set>
#include <string_view>
#include <utility>

#include "wits/wits0_format.h"
#include "wits/wits0_frames.h"
#include "wits/wits0_reader.h"
#include "wits/wits_dictionary.h"
#include "wits/wits_out_list.h"

namespace {

struct ReadyCount : wits::ReadEvents {
  int ready = 0;
  void on_ready(int) override { ++ready; }
};

void capture(std::string_view bytes) {
  const wits::CaptureFrames c = wits::frames_from_capture(bytes);
  for (const std::string& frame : c.frames) {
    // Every frame we would send is one record the receiver takes whole and makes ready.
    wits::MemoryByteSource source(frame);
    wits::RecordStore store;
    ReadyCount events;
    if (!wits::read_record(source, store, events) || events.ready != 1) __builtin_trap();
    if (source.position() != frame.size()) __builtin_trap();
  }
}

void dictionary(std::string_view bytes) {
  const wits::WitsDictionary d = wits::WitsDictionary::parse(bytes, "fuzz.csv");
  if (d.size() > bytes.size()) __builtin_trap();
  for (int r = 0; r < 100; ++r)
    if (const auto* item = d.find(r, 8);
        item && item->unit.find_first_not_of('-') == std::string::npos && !item->unit.empty())
      __builtin_trap();
}

void out_list(std::string_view bytes) {
  const wits::OutList list = wits::parse_out_list(bytes, "fuzz.cfg");
  std::set<std::pair<int, int>> codes;
  for (const wits::OutEntry& e : list.entries) {
    if (e.record < 0 || e.record > 99 || e.item < 0 || e.item > 99 || e.identifier.empty())
      __builtin_trap();
    if (!codes.insert({e.record, e.item}).second) __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  switch (data[0] % 3) {
    case 0:
      capture(bytes);
      break;
    case 1:
      dictionary(bytes);
      break;
    default:
      out_list(bytes);
      break;
  }
  return 0;
}
