// The common body of the mud journals: an ordered list of keyed records under a lock, kept
// in its own binary file and registered in the station's state. A journal that keeps its
// file (set_keep_in_file, as the station's hub does) has the file as its one store: each
// change first reads the file again when another program changed it, then rewrites it, and
// the state carries no records (records found in an older state are merged into the
// file). Otherwise the state carries the records. The record type and its file come from a
// Codec:
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
  KeyedJournal(ErrorSink log, lib::FileSystem& fs)
      : SerialModuleBase(Codec::kSerialName, kStateVersion),
        file_(Codec::kSerialName, fs, std::move(log)) {}

  int get_count() const { return static_cast<int>(list_.size()); }
  // A bad index throws std::out_of_range(kOutOfRangeText) and changes nothing.
  Record get_item(int index) const { return list_.at(index); }
  // Changes. In a journal that keeps its file, the record meant is found again by its key
  // after the file was read again; one another program deleted meanwhile is added again by
  // set_item and left alone by delete_item.
  void add_item(const Record& item) {
    std::lock_guard guard(list_.mutex());
    reread_if_changed();
    list_.add(item);
    store();
  }
  void set_item(int index, const Record& item) {
    std::lock_guard guard(list_.mutex());
    const int at = current_index(index);
    if (at < 0) {
      list_.add(item);
    } else {
      list_.set(at, item);
    }
    store();
  }
  void delete_item(int index) {
    std::lock_guard guard(list_.mutex());
    const int at = current_index(index);
    if (at < 0) return;
    list_.erase(at);
    store();
  }
  void clear() {
    std::lock_guard guard(list_.mutex());
    list_.clear();
    store();
  }
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
  // Makes the file the one store of the records (see the top of this header). Does not
  // read the file; call load.
  void set_keep_in_file(bool keep) {
    std::lock_guard guard(list_.mutex());
    keep_in_file_ = keep;
  }
  bool keeps_file() const {
    std::lock_guard guard(list_.mutex());
    return keep_in_file_;
  }
  // Reads the file again when another program changed it since this journal last read or
  // wrote it; true when it did and the file was read.
  bool check_file_changes() {
    std::lock_guard guard(list_.mutex());
    return file_.changed_on_disk() && load();
  }

  // Replaces the file with the records in the current layout. False, with a log line, on
  // failure; false without one when no file name is set.
  bool save() {
    std::lock_guard guard(list_.mutex());
    if (!file_.replace(Codec::write_file(list_.snapshot()), "save")) return false;
    file_.remember_times();
    return true;
  }

  // Reads the file. A missing file changes nothing. A foreign signature, an unknown version
  // or damage leave the records as they were, with a log line naming the file. Otherwise
  // the file's records replace the current ones when they differ. True when it was read.
  bool load() {
    std::lock_guard guard(list_.mutex());
    auto bytes = file_.read("load");
    if (!bytes) return false;
    file_.remember_times();
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
    if (keeps_file()) {
      JournalList<Record>::add_file_kept_to_serial_list(
          list, Codec::kMinRecordBytes, Codec::read_record,
          [this](std::vector<Record> records) { merge_from_state(std::move(records)); });
    } else {
      list_.add_to_serial_list(list, Codec::kMinRecordBytes, Codec::write_record,
                               Codec::read_record);
    }
  }

  std::recursive_mutex& mutex() const { return list_.mutex(); }

 private:
  void reread_if_changed() {
    if (keep_in_file_ && file_.changed_on_disk()) load();
  }
  // Index `index` of the list the caller saw, in the list as it is after the file was read
  // again; -1 when that record is gone. Throws out_of_range for a bad index.
  int current_index(int index) {
    const Record seen = list_.at(index);
    if (!keep_in_file_ || !file_.changed_on_disk()) return index;
    load();
    return list_.index_of_same(seen);
  }
  void store() {
    if (keep_in_file_) save();
  }
  // Records read from an older state: those whose key the file lacks are added to it.
  void merge_from_state(std::vector<Record> records) {
    std::lock_guard guard(list_.mutex());
    reread_if_changed();
    const int added = list_.add_missing(std::move(records));  // the file's own copy wins
    if (added > 0) file_.report_merged("load", added, save());
  }

  JournalList<Record> list_;
  JournalFile file_;
  bool keep_in_file_ = false;
};

}  // namespace journals
