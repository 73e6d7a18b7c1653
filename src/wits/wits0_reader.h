// Reading one WITS level 0 record from a byte stream into a record store (wits0_format.h).
// The reader knows nothing of sockets: a receiving thread gives it a ByteSource over its
// connection, tests and the fuzz target give it bytes in memory.
#pragma once

#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "wits/wits_data.h"

namespace wits {

// The next byte of a stream, or nothing when the stream delivered none (time-out, closed
// or failed connection). Not thread-safe: one reader at a time.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::optional<unsigned char> next_byte() = 0;
};

// A source over bytes in memory, for tests and tools; it ends where the bytes end.
class MemoryByteSource : public ByteSource {
 public:
  explicit MemoryByteSource(std::string_view bytes) : bytes_(bytes) {}
  std::optional<unsigned char> next_byte() override {
    if (pos_ >= bytes_.size()) return std::nullopt;
    return static_cast<unsigned char>(bytes_[pos_++]);
  }
  std::size_t position() const { return pos_; }

 private:
  std::string_view bytes_;
  std::size_t pos_ = 0;
};

// One server's records, shared between its receiving thread (writer) and the thread that
// reads the receiver. Every member takes the store's own lock.
class RecordStore {
 public:
  // Makes sure the record exists, clears its ready flag and sets the item.
  void set_item(int record, int item, std::string value);
  // Makes sure the record exists and sets its ready flag.
  void set_ready(int record);
  // Copies every ready record into `records` (replacing what was there) and clears its
  // flag; true when at least one was copied.
  bool take_ready(WITSRecords& records);
  // A copy of everything, ready or not.
  WITSRecords snapshot() const;

 private:
  mutable std::mutex mutex_;
  WITSRecords records_;
};

// What the reader tells its thread besides the store.
class ReadEvents {
 public:
  virtual ~ReadEvents() = default;
  // The start of a record was found.
  virtual void on_start() {}
  // A line that was taken as an item, without its CR LF.
  virtual void on_item_line(std::string_view /*line*/) {}
  // The record was made ready.
  virtual void on_ready(int /*record*/) {}
  // A line ran past kMaxLineBytes and the record was abandoned.
  virtual void on_overlong_line() {}
};

// Reads single bytes up to and including the next start "&&" CR LF, then the record's lines
// until its end line. False when the stream delivered nothing before a start was found (the
// caller drops the connection); true otherwise, also when the stream stopped mid-record or a
// line was too long, in which case the record read so far stays not ready. Only the record
// of the last item line before the end line is made ready.
bool read_record(ByteSource& source, RecordStore& store, ReadEvents& events);

}  // namespace wits
