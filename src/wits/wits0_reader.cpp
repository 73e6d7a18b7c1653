#include "wits/wits0_reader.h"

#include <utility>

#include "wits/wits0_format.h"

namespace wits {

void RecordStore::set_item(int record, int item, std::string value) {
  std::lock_guard lock(mutex_);
  WITSRecord& r = records_[record];
  r.ready = false;
  r.items[item] = std::move(value);
}

void RecordStore::set_ready(int record) {
  std::lock_guard lock(mutex_);
  records_[record].ready = true;
}

bool RecordStore::take_ready(WITSRecords& records) {
  std::lock_guard lock(mutex_);
  bool any = false;
  for (auto& [number, record] : records_) {
    if (!record.ready) continue;
    record.ready = false;
    records[number] = record;
    any = true;
  }
  return any;
}

WITSRecords RecordStore::snapshot() const {
  std::lock_guard lock(mutex_);
  return records_;
}

namespace {

// How much of the start sequence is matched after `matched` bytes of it were and `byte`
// came: the longest start of the sequence that ends the bytes seen. So "&&&" CR LF is a
// start: the third '&' keeps "&&" matched instead of starting over.
std::size_t advance_start(std::size_t matched, char byte) {
  for (std::size_t k = matched + 1; k > 0; --k) {
    // Does kRecordStart[0..k) equal the last k bytes of (kRecordStart[0..matched) + byte)?
    if (kRecordStart[k - 1] != byte) continue;
    if (kRecordStart.substr(0, k - 1) == kRecordStart.substr(matched + 1 - k, k - 1)) return k;
  }
  return 0;
}

enum class LineResult { kLine, kStreamEnded, kTooLong };

// One line without its CR LF. A CR not followed by LF is part of the line.
LineResult read_line(ByteSource& source, std::string& line) {
  line.clear();
  bool after_cr = false;
  while (true) {
    const auto byte = source.next_byte();
    if (!byte) return LineResult::kStreamEnded;
    const char c = static_cast<char>(*byte);
    if (after_cr) {
      if (c == '\n') return LineResult::kLine;
      line.push_back('\r');
      after_cr = false;
      if (line.size() > kMaxLineBytes) return LineResult::kTooLong;
    }
    if (c == '\r') {
      after_cr = true;
      continue;
    }
    line.push_back(c);
    if (line.size() > kMaxLineBytes) return LineResult::kTooLong;
  }
}

bool is_end_line(std::string_view line) {
  return (!line.empty() && line[0] == kEndMark) || (line.size() > 1 && line[1] == kEndMark);
}

}  // namespace

bool read_record(ByteSource& source, RecordStore& store, ReadEvents& events) {
  std::size_t matched = 0;
  while (matched < kRecordStart.size()) {
    const auto byte = source.next_byte();
    if (!byte) return false;
    matched = advance_start(matched, static_cast<char>(*byte));
  }
  events.on_start();

  int current = -1;
  std::string line;
  line.reserve(kMaxLineBytes + 1);
  while (true) {
    switch (read_line(source, line)) {
      case LineResult::kStreamEnded:
        return true;
      case LineResult::kTooLong:
        events.on_overlong_line();
        return true;
      case LineResult::kLine:
        break;
    }
    if (is_end_line(line)) {
      if (current != -1) {
        store.set_ready(current);
        events.on_ready(current);
      }
      return true;
    }
    int record = 0;
    int item = 0;
    if (!WITSCommIncomData::parse_code(line, record, item)) continue;
    current = record;
    events.on_item_line(line);
    store.set_item(record, item,
                   line.size() > kValueColumn ? line.substr(kValueColumn) : std::string());
  }
}

}  // namespace wits
