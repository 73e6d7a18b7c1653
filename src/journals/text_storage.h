// text::Storage: the operator's text remarks, drawn by the host on its time charts. The
// remarks live in a line-oriented file shared with other station programs (remarks_file.h).
// The storage notices when another program rewrote the file and reads it again.
// It is registered in the station's state as module "TextRemarks" (serial name
// "text::Storage"). A storage that keeps its file (set_keep_in_file, as the station's hub
// does) has the file as its one store: the state carries no remarks, and remarks found in
// an older state are merged into the file. Otherwise the state carries the remarks.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "journals/journal_file.h"
#include "journals/journal_list.h"
#include "journals/text_record.h"
#include "lib/date_time.h"
#include "lib/lock_object.h"
#include "lib/module_base.h"

namespace text {

class Storage : public lib::SerialModuleBase {
 public:
  static constexpr const char* kSerialName = "text::Storage";
  // The name the hub registers the storage under in the state file.
  static constexpr const char* kModuleName = "TextRemarks";
  static constexpr unsigned kStateVersion = 1;

  // `file_lock` serialises whole-file writes with the other savers of the process (the
  // station's file lock); `log` receives the lines about files that cannot be used.
  Storage(lib::lock_object& file_lock, journals::ErrorSink log, lib::FileSystem& fs);

  // A bad index throws std::out_of_range(journals::kOutOfRangeText) and changes nothing.
  Record operator[](int index) const;
  int size() const;
  std::vector<Record> records() const { return list_.snapshot(); }
  // Changes. A storage that keeps its file first reads the file again when another program
  // changed it, then changes the remark the caller meant (found again by its time) and
  // rewrites the file before returning, so other programs see the change at once. A
  // remark another program deleted meanwhile: set_item adds the edited one again,
  // delete_record does nothing.
  void add_record(const Record& record);
  void set_item(int index, const Record& record);
  // Removes the remark and remembers it among the deleted records.
  void delete_record(int index);
  // Index of the first remark stamped `time`, -1 when none.
  int find_by_tyme(std::uint32_t time) const;
  // Forgets where every remark was drawn (row -1), so the chart places them afresh.
  void clear_indexes();
  // Hands over the remarks deleted since the last call and forgets them.
  std::vector<DeletedRecord> get_deleted_records();

  void set_file_name(std::string path);
  std::string get_file_name() const;
  // Makes the file the one store of the remarks (see the top of this header). Does not
  // read the file; call load_from_file.
  void set_keep_in_file(bool keep);
  bool keeps_file() const;
  // Rewrites the file (header lines, then one line per remark) under the storage lock and
  // the file lock, and remembers its last-write time. Nothing without a file name. False,
  // with a log line, when the file could not be written; the old file is then intact.
  bool save_to_file();
  // Reads the file; its remarks replace the current ones. Lines that are not remarks are
  // skipped with a log line naming the file and the line. A file of which no line could be
  // used leaves the remarks as they were. A missing file changes nothing. True when read.
  bool load_from_file();
  // Reloads the file when its last-write time (or size) differs from the one remembered
  // after the last load or save; true when it did and the file was read. A file that has
  // gone is not a change: the remarks stay.
  bool check_file_changes();

 protected:
  void serial_fields(lib::serial_list& list, unsigned version) override;

 private:
  // For a storage that keeps its file: reads it again when another program changed it.
  void reread_if_changed();
  // Index `index` of the list the caller saw, in the list as it is after reread_if_changed;
  // -1 when that remark is gone. Throws out_of_range for a bad index.
  int current_index(int index);
  // For a storage that keeps its file: rewrites it.
  void store();
  // Remarks read from an older state: those whose time the file lacks are added to it.
  void merge_from_state(std::vector<Record> records);

  journals::JournalList<Record> list_;
  std::vector<DeletedRecord> deleted_;
  lib::lock_object& file_lock_;
  journals::JournalFile file_;
  bool keep_in_file_ = false;
};

}  // namespace text
