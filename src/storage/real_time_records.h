// What the recorder queues for its writer thread: one task (Records) per target file, each a
// list of records that the writer turns into blocks (real_time_format.h). A task is built
// on the producer's thread and never changed after it is queued; from then on only the
// writer thread reads it, so the records hold copies of everything they write (the
// parameter list is a shared, immutable snapshot, never a view of the live table).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "lib/binary_stream.h"

namespace rtf {

// What a parameter block says of one parameter.
struct RecordedParam {
  std::string full_name;
  std::string unit;
  std::string short_name;
  std::string identifier;
  float scale_min = 0;
  float scale_max = 0;
  bool operator==(const RecordedParam&) const = default;
};
using ParamList = std::shared_ptr<const std::vector<RecordedParam>>;

// One line of values as a values block holds it.
struct ValuesLine {
  std::uint32_t time = 0;       // local seconds
  std::uint8_t hundredths = 0;  // 0..99
  float first_depth = 0;
  float bit_depth = 0;
  float third_depth = 0;
  std::uint8_t operation = 0;
  std::vector<float> values;
};

// What the writer remembers of a file between two of its writes. A file whose status
// differs from the remembered one was written behind the writer's back (a viewer appended
// to it, or it was replaced), and gets a fresh version and parameter block.
struct ValuesWriterDequeFileData {
  // The list the last parameter block was written from (null: none yet). Lists are
  // immutable and shared, so a record with this very list needs no comparison of names,
  // and remembering it costs no copy.
  ParamList params;
  // The check of that parameter block, which every values block after it carries.
  std::uint32_t params_check = 0;
  bool written = false;  // false: nothing written by this writer since it started
  std::int64_t modified_ns = 0;
  std::int64_t size = 0;
  std::uint64_t inode = 0;
};

class OneRecord {
 public:
  virtual ~OneRecord() = default;
  // Appends the record's whole block (head, payload, check) to a byte buffer: the writer
  // gathers a batch of blocks in one buffer and hands it to the file with one call.
  // `params_check` is the check of the parameter block in force in the file.
  virtual void append(std::string& out, std::uint32_t params_check) const = 0;
  // Appends the record's block to a stream.
  void write(lib::io::OutputStream& out, std::uint32_t params_check = 0) const;
  // True when the parameter list of the record is not the one the file was last given.
  virtual bool check(const ValuesWriterDequeFileData&) const { return false; }
  // The record's parameter list; null for records that need none.
  virtual ParamList get_provider() const { return nullptr; }
  // Bytes the record holds in memory while it waits, for the queue's limit.
  virtual std::size_t memory_bytes() const = 0;
};

class TextWriterRecord final : public OneRecord {
 public:
  // Throws std::length_error when the text cannot fit one block.
  explicit TextWriterRecord(std::string text);
  void append(std::string& out, std::uint32_t params_check) const override;
  std::size_t memory_bytes() const override { return sizeof(*this) + text_.size(); }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

class ValuesWriterRecord final : public OneRecord {
 public:
  // Throws std::invalid_argument when the line has not one value per parameter, or
  // std::length_error when it has more values than a block can hold.
  ValuesWriterRecord(ValuesLine line, ParamList params);
  void append(std::string& out, std::uint32_t params_check) const override;
  bool check(const ValuesWriterDequeFileData& file) const override;
  ParamList get_provider() const override { return params_; }
  std::size_t memory_bytes() const override {
    return sizeof(*this) + line_.values.size() * sizeof(float);
  }
  const ValuesLine& line() const { return line_; }

 private:
  ValuesLine line_;
  ParamList params_;
};

// One task of the writer: records for one file, written in order with one append.
struct Records {
  std::string file;
  std::vector<std::shared_ptr<const OneRecord>> records;
  std::size_t memory_bytes() const;
};

// ---- blocks -----------------------------------------------------------------------------
// Every block is written in the framing of version 2.4: head, payload, check. Throws
// std::length_error when a payload does not fit the 16-bit length.
void write_version_block(lib::io::OutputStream& out);
void append_version_block(std::string& out);
// A parameter block in all its copies; the check of the block, which the values blocks read
// against it carry.
std::uint32_t append_params_block(std::string& out, const std::vector<RecordedParam>& params);
// A whole values block, encoded in place without intermediate buffers.
void append_values_block(std::string& out, const ValuesLine& line, std::uint32_t params_check);
std::string text_payload(std::string_view text);
std::string values_payload(const ValuesLine& line, std::uint32_t params_check = 0);

// Key=value lines of a text block, in the order they were set.
using KeyValueList = std::vector<std::pair<std::string, std::string>>;
// Sets the value of `key`, replacing an earlier one in place.
void add_value_name(KeyValueList& list, std::string_view key, std::string value);
// The lines joined by "\r\n".
std::string key_value_text(const KeyValueList& list);

}  // namespace rtf
