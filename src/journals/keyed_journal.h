// The common body of the mud journals: an ordered list of keyed records under a lock, kept
// in its own binary file and in the station's state. The record type and its file come
// from a Codec:
//   using Record;                                    // has `key` and operator==
//   static constexpr const char* kSerialName;        // name in the state and in log lines
//   static constexpr std::size_t kMinRecordBytes;    // smallest record, current layout
//   static std::string write_file(const std::vector<Record>&);
//   static std::vector<Record> read_file(std::string_view);   // throws lib::io::StreamError
//   static void write_record(lib::io::OutputStream&, const Record&);
//   static Record read_record(lib::io::InputStream&);          // current layout
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "journals/journal_file.h"
#include "journals/journal_list.h"
#include "lib/module_base.h"

namespace journals {

template <class Codec>
class KeyedJournal : public lib::SerialModuleBase {
 public:
  using Record = typename Codec::Record;
  static constexpr unsigned kStateVersion = 1;

  // `log` receives the lines about files that cannot be read or written.
  explicit KeyedJournal(ErrorSink log = {}, lib::FileSystem& fs = lib::posix_file_system())
      : SerialModuleBase(Codec::kSerialName, kStateVersion),
        file_(Codec::kSerialName, fs, std::move(log)) {}

  int get_count() const { return static_cast<int>(list_.size()); }
  // A bad index throws std::out_of_range(kOutOfRangeText) and changes nothing.
  Record get_item(int index) const { return list_.at(index); }
  void add_item(const Record& item) { list_.add(item); }
  void set_item(int index, const Record& item) { list_.set(index, item); }
  void delete_item(int index) { list_.erase(index); }
  void clear() { list_.clear(); }
  // Position of the record with the same key (other fields may differ), -1 when none.
  int index_of(const Record& item) const { return list_.index_of(item.key); }
  std::vector<Record> items() const { return list_.snapshot(); }

  void set_file_name(std::string path) {
    std::lock_guard guard(list_.mutex());
    file_.set_name(std::move(path));
  }
  std::string get_file_name() const {
    std::lock_guard guard(list_.mutex());
    return file_.name();
  }

  // Replaces the file with the records in the current layout. False, with a log line, on
  // failure; false without one when no file name is set.
  bool save() {
    std::lock_guard guard(list_.mutex());
    return file_.replace(Codec::write_file(list_.snapshot()), "save");
  }

  // Reads the file. A missing file changes nothing. A foreign signature, an unknown version
  // or damage leave the records as they were, with a log line naming the file. Otherwise
  // the file's records replace the current ones when they differ. True when it was read.
  bool load() {
    std::lock_guard guard(list_.mutex());
    auto bytes = file_.read("load");
    if (!bytes) return false;
    try {
      list_.replace_if_different(Codec::read_file(*bytes));
    } catch (const lib::io::StreamError& e) {
      file_.report_damaged("load", e.what());
      return false;
    }
    return true;
  }

 protected:
  void serial_fields(lib::serial_list& list, unsigned /*version*/) override {
    list_.add_to_serial_list(list, Codec::kMinRecordBytes, Codec::write_record, Codec::read_record);
  }

  std::recursive_mutex& mutex() const { return list_.mutex(); }

 private:
  JournalList<Record> list_;
  JournalFile file_;
};

}  // namespace journals
