// The alarm log file (alarm_log_format.h): the station appends each ended alarm episode,
// `rigstation alarms log` reads them back.
//
// Appending never loses an episode to a passing fault: a line the file refuses (a full or
// read-only disk) is kept in memory, reported once, and written ahead of the next one when
// the file takes lines again; at most kMaxPending lines wait, the oldest going first (that
// loss is reported too). The file is bounded by its LogLimits (lib/log_files.h): a full one
// is moved aside as alarms.log.1 ..., and one that cannot be moved aside takes lines only up
// to twice its limit, after which they wait as above. Not thread-safe: the station's tick
// thread owns the writer.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "lib/date_time.h"
#include "lib/file_system.h"
#include "lib/log_files.h"

namespace alarms {

struct AlarmLogRecord {
  lib::DateTime started;
  lib::DateTime ended;
  std::string parameter;
  int kind = 0;
  std::optional<float> min;
  std::optional<float> max;
  float extreme = 0;
  float value = 0;
  std::string unit;
  std::string text;
  bool operator==(const AlarmLogRecord&) const = default;
};

// The line of a record, without the line break.
std::string format_alarm_log_line(const AlarmLogRecord& record);
// The record of a line; nullopt with `why` set when a field is missing or unreadable.
std::optional<AlarmLogRecord> parse_alarm_log_line(const std::string& line, std::string& why);

class AlarmLogWriter {
 public:
  static constexpr std::size_t kMaxPending = 10000;
  using ErrorSink = std::function<void(const std::string&)>;

  AlarmLogWriter(std::string path, lib::FileSystem& fs, ErrorSink errors);
  const std::string& path() const { return path_; }
  void set_limits(const lib::LogLimits& limits) { limits_ = limits; }

  // Appends the record (after any waiting ones); false when it had to wait.
  bool append(const AlarmLogRecord& record);
  // Tries to write the waiting lines; true when none is left.
  bool flush();
  std::size_t pending() const { return pending_.size(); }

 private:
  bool write_pending();

  std::string path_;
  lib::FileSystem& fs_;
  ErrorSink errors_;
  lib::LogLimits limits_;
  std::deque<std::string> pending_;
  bool failing_ = false;
  bool stuck_ = false;  // the full file could not be moved aside; reported
};

struct AlarmLogContents {
  std::vector<AlarmLogRecord> records;
  // One text per damaged line or unreadable file: the file, the line and what was wrong.
  std::vector<std::string> problems;
};

// Reads the old files, oldest first (`path` + ".old" of earlier versions, then ".N" down to
// ".1"), then `path`. A missing file is no problem.
AlarmLogContents read_alarm_log(const std::string& path, lib::FileSystem& fs);

}  // namespace alarms
