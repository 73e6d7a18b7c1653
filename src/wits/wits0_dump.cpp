#include "wits/wits0_dump.h"

#include <fmt/format.h>

#include "wits/wits0_format.h"
#include "wits/wits_data.h"

namespace wits {

std::string format_frame(int record, const std::vector<std::string>& item_lines,
                         const WitsDictionary* dictionary) {
  std::string out = fmt::format("record {:02} ({} item{})\n", record, item_lines.size(),
                                item_lines.size() == 1 ? "" : "s");
  for (const std::string& line : item_lines) {
    int r = 0;
    int i = 0;
    WITSCommIncomData::parse_code(line, r, i);
    const std::string value = line.size() > kValueColumn ? line.substr(kValueColumn) : "";
    const DictionaryItem* entry = dictionary ? dictionary->find(r, i) : nullptr;
    if (entry == nullptr) {
      out += fmt::format("  {:02}{:02} {:<5} (not in the dictionary) = {}\n", r, i, "?", value);
      continue;
    }
    out += fmt::format("  {:02}{:02} {:<5} {} = {}{}\n", r, i, entry->mnemonic, entry->description,
                       value, entry->unit.empty() ? "" : " " + entry->unit);
  }
  return out;
}

namespace {

class FrameCollector : public ReadEvents {
 public:
  void on_start() override {
    lines.clear();
    ready = -1;
  }
  void on_item_line(std::string_view line) override { lines.emplace_back(line); }
  void on_ready(int record) override { ready = record; }

  std::vector<std::string> lines;
  int ready = -1;
};

}  // namespace

int dump_frames(ByteSource& source, const WitsDictionary* dictionary, int count,
                const std::function<void(const std::string&)>& print) {
  RecordStore store;
  FrameCollector frame;
  int printed = 0;
  while (count <= 0 || printed < count) {
    if (!read_record(source, store, frame)) break;
    if (frame.ready < 0) continue;
    print(format_frame(frame.ready, frame.lines, dictionary));
    ++printed;
    // The store is only the reader's scratch here: keep it from growing.
    WITSRecords drop;
    store.take_ready(drop);
  }
  return printed;
}

}  // namespace wits
