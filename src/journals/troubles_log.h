// TroublesLog: the journal of drilling complications (kicks, losses, stuck pipe ...). It
// keeps its records in order, classifies them by a TroublesDict, tells registered views
// about every change, and persists itself in its own file (troubles_file.h) and in the
// station's state under "TroublesLog".
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
  explicit TroublesLog(ErrorSink log = {}, lib::FileSystem& fs = lib::posix_file_system());

  // Changes. Each tells every handler, under the log's lock: add_record says "added" and
  // then appends, set_record replaces and then says "changed", delete_record says "deleted"
  // and then removes. A bad index throws std::out_of_range(kOutOfRangeText) and changes
  // nothing.
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

  JournalList<TroublesLogRecord> list_;
  TroublesDict dict_;
  std::vector<ITroublesNotifyHandler*> handlers_;
  JournalFile file_;
};

}  // namespace journals
