// The ordered, lock-guarded record list behind each binary journal. Every access takes the
// list's re-entrant lock, so the host's views, the state file writer and a notified handler
// that reads the list back all see whole records. Records are handed out as copies: a
// reference into the list would outlive the lock.
#pragma once

#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "journals/journal_key.h"
#include "lib/serial_list.h"

namespace journals {

// The text of the out-of-range error every journal raises for a bad index; the host's views
// show it as is.
inline constexpr const char* kOutOfRangeText = "invalid vector<T> subscript";

// Record: a value type with a `key` member (JournalKey) and operator==.
template <class Record>
class JournalList {
 public:
  std::recursive_mutex& mutex() const { return mutex_; }

  std::size_t size() const {
    std::lock_guard guard(mutex_);
    return records_.size();
  }

  // Indices are ints, as the views hold them; a negative one is out of range like any other.
  Record at(int index) const {
    std::lock_guard guard(mutex_);
    check(index);
    return records_[static_cast<std::size_t>(index)];
  }

  void add(Record record) {
    std::lock_guard guard(mutex_);
    records_.push_back(std::move(record));
  }

  void set(int index, Record record) {
    std::lock_guard guard(mutex_);
    check(index);
    records_[static_cast<std::size_t>(index)] = std::move(record);
  }

  void erase(int index) {
    std::lock_guard guard(mutex_);
    check(index);
    records_.erase(records_.begin() + index);
  }

  void clear() {
    std::lock_guard guard(mutex_);
    records_.clear();
  }

  // Position of the first record with the same key, -1 when none.
  int index_of(const JournalKey& key) const {
    return find_if([&](const Record& r) { return r.key == key; });
  }

  // Position of the record `record` stands for: the one with its key, or for a record that
  // was never given a key the first equal one; -1 when none.
  int index_of_same(const Record& record) const {
    if (is_set(record.key)) return index_of(record.key);
    return find_if([&](const Record& r) { return r == record; });
  }

  // Adds the records this list has no copy of (by index_of_same: the list's own copy wins);
  // returns how many were added.
  int add_missing(std::vector<Record> records) {
    std::lock_guard guard(mutex_);
    int added = 0;
    for (auto& r : records) {
      if (index_of_same(r) >= 0) continue;
      add(std::move(r));
      ++added;
    }
    return added;
  }

  // Position of the first record that satisfies `pred`, -1 when none.
  template <class Pred>
  int find_if(Pred pred) const {
    std::lock_guard guard(mutex_);
    for (std::size_t i = 0; i < records_.size(); ++i) {
      if (pred(records_[i])) return static_cast<int>(i);
    }
    return -1;
  }

  // Calls `change` on every record, in order, under the lock.
  template <class Change>
  void update_all(Change change) {
    std::lock_guard guard(mutex_);
    for (auto& r : records_) change(r);
  }

  std::vector<Record> snapshot() const {
    std::lock_guard guard(mutex_);
    return records_;
  }

  // Takes `records` when they differ from the current ones; true when it did.
  bool replace_if_different(std::vector<Record> records) {
    std::lock_guard guard(mutex_);
    if (records == records_) return false;
    records_ = std::move(records);
    return true;
  }

  // The list in the station's state: a 32-bit count, then each record through `write`
  // / `read`. A count that cannot fit the bytes left (each record takes at least
  // `min_record_bytes`) is refused before anything is allocated; a failed read leaves the
  // list as it was.
  template <class Write, class Read>
  void add_to_serial_list(lib::serial_list& list, std::size_t min_record_bytes, Write write,
                          Read read) {
    std::lock_guard guard(mutex_);
    list.add_custom(
        [&](lib::io::OutputStream& out) {
          lib::io::write_binary(out, static_cast<std::uint32_t>(records_.size()));
          for (const auto& r : records_) write(out, r);
        },
        [&](lib::io::InputStream& in) {
          records_ = read_state_records(in, min_record_bytes, read);
        });
  }

  // The state block of a journal whose file is its one store: it carries no records (a
  // count of 0), so the state never brings back what was since changed in the file.
  // Records found in a block (an older station kept its journals in the state) are handed
  // to `take`, which merges them into the file.
  template <class Read, class Take>
  static void add_file_kept_to_serial_list(lib::serial_list& list, std::size_t min_record_bytes,
                                           Read read, Take take) {
    list.add_custom(
        [](lib::io::OutputStream& out) { lib::io::write_binary(out, std::uint32_t{0}); },
        [&](lib::io::InputStream& in) {
          auto records = read_state_records(in, min_record_bytes, read);
          if (!records.empty()) take(std::move(records));
        });
  }

  template <class Read>
  static std::vector<Record> read_state_records(lib::io::InputStream& in,
                                                std::size_t min_record_bytes, Read read) {
    const auto count = lib::io::read_binary<std::uint32_t>(in);
    if (count > in.remaining() / min_record_bytes) {
      throw lib::io::StreamError("journal of " + std::to_string(count) +
                                 " records does not fit the data left");
    }
    std::vector<Record> records;
    records.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) records.push_back(read(in));
    return records;
  }

 private:
  void check(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= records_.size()) {
      throw std::out_of_range(kOutOfRangeText);
    }
  }

  mutable std::recursive_mutex mutex_;
  std::vector<Record> records_;
};

}  // namespace journals
