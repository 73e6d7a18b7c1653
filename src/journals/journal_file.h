// The file behind one journal: where it is, how it is read and how it is replaced. Shared by
// the four journals so that they report failures alike and never lose what a file held:
//  - a save replaces the file atomically (temporary file, flush, rename), so a crash during
//    the save leaves the previous journal intact;
//  - when the last load found the file damaged (a foreign signature, a cut record, skipped
//    lines), the next save first keeps the damaged file beside it as "<name>.damaged"
//    (".damaged.1", ".damaged.2" ... when that exists), because the journal in memory may
//    hold less than the file did and someone may want to recover the rest by hand.
// Not thread-safe by itself: the owning journal calls it under its own lock.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "lib/date_time.h"
#include "lib/file_system.h"

namespace journals {

// The largest journal file a station reads: years of records take a few MiB; anything
// past this is not a journal (or a path naming an endless device) and is refused as
// unreadable, which also keeps it from being overwritten.
inline constexpr std::size_t kMaxJournalFileBytes = std::size_t{64} << 20;

// Where a journal writes its log lines (the station's error log in production).
using ErrorSink = std::function<void(const std::string& message)>;

class JournalFile {
 public:
  // `owner` names the journal in log lines ("TroublesLog", "MudLog" ...).
  JournalFile(std::string owner, lib::FileSystem& fs, ErrorSink log);

  void set_name(std::string path);
  const std::string& name() const { return path_; }
  bool has_name() const { return !path_.empty(); }

  // The whole file; nullopt when there is no name, the file does not exist (both silent)
  // or it cannot be read or is larger than kMaxJournalFileBytes (logged, and the file
  // counts as damaged).
  std::optional<std::string> read(const char* operation);

  // Replaces the file with `bytes`. False, with a log line, when it could not be written
  // (or the copy of a damaged file could not be kept); the old file is then untouched.
  // False without a line when there is no name.
  bool replace(std::string_view bytes, const char* operation);

  // Logs that the file's content was refused or partly skipped and remembers it, so the
  // next replace keeps a copy of the damaged file first.
  void report_damaged(const char* operation, const std::string& reason);
  // Logs that `count` records found in an older state file were merged into the file
  // (`saved`), or could not be written and wait in memory for the next change.
  void report_merged(const char* operation, int count, bool saved);
  // Logs a problem with the file that does not make it damaged.
  void report(const char* operation, const std::string& text);
  bool damaged() const { return damaged_; }

  // The file as last seen by this journal (after a read or a replace), to notice another
  // program's rewrite: remember_times after each, changed_on_disk to compare. A file that
  // is missing now is no change (nothing to read); one never seen but present is.
  void remember_times();
  bool changed_on_disk() const;

 private:
  bool keep_damaged_copy(const char* operation);

  std::string owner_;
  lib::FileSystem& fs_;
  ErrorSink log_;
  std::string path_;
  bool damaged_ = false;
  std::optional<lib::FileTimes> seen_;
};

}  // namespace journals
