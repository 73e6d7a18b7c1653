// TroublesLog: the journal of drilling complications (kicks, losses, stuck pipe ...). It
// keeps its records in order, classifies them by a TroublesDict, tells registered views
// about every change, and persists itself in its own file (troubles_file.h); it is
// registered in the station's state under "TroublesLog". A log that keeps its file
// (set_keep_in_file, as the station's hub does) has the file as its one store: each change
// first reads the file again when another program changed it, then rewrites it, and the
// state carries no records (records found in an older state are merged into the file).
// Otherwise the state carries the records.
#pragma once

#include <string>
#include <vector>

#include "journals/journal_file.h"
#include "journals/journal_list.h"
#include "journals/troubles_dict.h"
#include "journals/troubles_notify_handler.h"
#include "journals/troubles_record.h"
#include "lib/module_base.h"

namespace journals {

class TroublesLog : public lib::SerialModuleBase {
 public:
  static constexpr const char* kSerialName = "TroublesLog";
  static constexpr unsigned kStateVersion = 1;

  // `log` receives the lines about files that cannot be read or written.
  TroublesLog(ErrorSink log, lib::FileSystem& fs);

  // Changes. Each tells every handler, under the log's lock: add_record says "added" and
  // then appends, set_record replaces and then says "changed", delete_record says "deleted"
  // and then removes. A bad index throws std::out_of_range(kOutOfRangeText) and changes
  // nothing. In a log that keeps its file, the record meant is found again by its key after
  // the file was read again; one another program deleted meanwhile is added again by
  // set_record (told as "added") and left alone by delete_record.
  void add_record(const TroublesLogRecord& record);
  void set_record(const TroublesLogRecord& record, int index);
  void delete_record(int index);
  void clear();

  TroublesLogRecord get_record(int index) const;
  int get_size() const;
  // Position of the record with the same key (other fields may differ), -1 when none.
  int index_of(const TroublesLogRecord& record) const;
  std::vector<TroublesLogRecord> records() const { return list_.snapshot(); }

  void set_dict(TroublesDict dict);
  TroublesDict get_dict() const;
  // Puts the default dictionary back (the name is the one the host has always called).
  void set_sefault_dict();

  // Handlers are not owned; a handler removes itself before it is destroyed.
  void add_notify_handler(ITroublesNotifyHandler* handler);
  void remove_notify_handler(ITroublesNotifyHandler* handler);

  void set_file_name(std::string path);
  std::string get_file_name() const;
  // Makes the file the one store of the records (see the top of this header). Does not
  // read the file; call load.
  void set_keep_in_file(bool keep);
  bool keeps_file() const;
  // Reads the file again when another program changed it since this log last read or
  // wrote it; true when it did and the file was read.
  bool check_file_changes();
  // Replaces the file with the records (current version). False, with a log line, on
  // failure; false without one when no file name is set.
  bool save();
  // Reads the file. A missing file changes nothing. A foreign signature, an unknown version
  // or damage leave the records as they were, with a log line naming the file. Otherwise
  // the file's records replace the current ones when they differ. True when the file was
  // read.
  bool load();

 protected:
  void serial_fields(lib::serial_list& list, unsigned version) override;

 private:
  template <class Notify>
  void notify(Notify call);
  void reread_if_changed();
  // Index `index` of the list the caller saw, in the list as it is after the file was read
  // again; -1 when that record is gone. Throws out_of_range for a bad index.
  int current_index(int index);
  void store();
  // Records read from an older state: those whose key the file lacks are added to it.
  void merge_from_state(std::vector<TroublesLogRecord> records);

  JournalList<TroublesLogRecord> list_;
  TroublesDict dict_;
  std::vector<ITroublesNotifyHandler*> handlers_;
  JournalFile file_;
  bool keep_in_file_ = false;
};

}  // namespace journals
