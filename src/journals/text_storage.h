// text::Storage: the operator's text remarks, drawn by the host on its time charts. The
// remarks live in a line-oriented file shared with other station programs (remarks_file.h)
// and in the station's state (module "TextRemarks", serial name "text::Storage"). The
// storage notices when another program rewrote the file and reads it again.
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
  explicit Storage(lib::lock_object& file_lock, journals::ErrorSink log = {},
                   lib::FileSystem& fs = lib::posix_file_system());

  // A bad index throws std::out_of_range(journals::kOutOfRangeText) and changes nothing.
  Record operator[](int index) const;
  int size() const;
  std::vector<Record> records() const { return list_.snapshot(); }
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
  void remember_file_times();

  journals::JournalList<Record> list_;
  std::vector<DeletedRecord> deleted_;
  lib::lock_object& file_lock_;
  journals::JournalFile file_;
  std::optional<lib::FileTimes> file_times_;
};

}  // namespace text
