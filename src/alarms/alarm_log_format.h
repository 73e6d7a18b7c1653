// The alarm log file (docs/alarm-log.md): every alarm episode that has ended, one line each,
// appended as it ends, so the crew can look back at what went wrong and when.
//
// "alarms.log" in the station home, UTF-8 text. The first line is the header
// "# rigstation alarm log 1"; each further line is one episode, its fields separated by a
// tab:
//
//   started   dd.mm.yyyy hh:mm:ss, local time of the first violation
//   ended     dd.mm.yyyy hh:mm:ss, local time the episode was last seen
//   parameter the parameter's identifier
//   kind      the threshold's kind: 0 sound, 1 relay, 3 SMS, 4 depth interval
//   min       the lower limit, or "-" when not in force
//   max       the upper limit, or "-" when not in force
//   extreme   the farthest value beyond the limit
//   value     the last value beyond the limit
//   unit      the parameter's unit (may be empty)
//   text      the alarm's text as the operator saw it (tabs and line breaks made blanks)
//
// A full file is moved aside as "alarms.log.1" ("alarms.log.1" becoming ".2" and so on, as many
// as the settings keep; lib/log_files.h) and a new file is started; readers read the old files
// first, oldest first, then the current one. Files of earlier versions went aside as
// "alarms.log.old", which readers take as the oldest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace alarms::alarm_log_format {

inline constexpr std::string_view kFileName = "alarms.log";
inline constexpr std::string_view kOldSuffix = ".old";
inline constexpr std::string_view kHeader = "# rigstation alarm log 1";
inline constexpr char kSeparator = '\t';
inline constexpr std::string_view kNoLimit = "-";
inline constexpr std::size_t kFields = 10;

// Field positions.
inline constexpr std::size_t kStarted = 0;
inline constexpr std::size_t kEnded = 1;
inline constexpr std::size_t kParameter = 2;
inline constexpr std::size_t kKind = 3;
inline constexpr std::size_t kMin = 4;
inline constexpr std::size_t kMax = 5;
inline constexpr std::size_t kExtreme = 6;
inline constexpr std::size_t kValue = 7;
inline constexpr std::size_t kUnit = 8;
inline constexpr std::size_t kText = 9;

}  // namespace alarms::alarm_log_format
