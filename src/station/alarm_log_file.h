// The alarm log file is read and written by the alarms layer (alarms/alarm_log_file.h), so
// that programs beside the station (the office forwarder) read it too; the station keeps
// its names for it.
#pragma once

#include "alarms/alarm_log_file.h"

namespace station {

using alarms::AlarmLogContents;
using alarms::AlarmLogRecord;
using alarms::AlarmLogWriter;
using alarms::format_alarm_log_line;
using alarms::parse_alarm_log_line;
using alarms::read_alarm_log;

}  // namespace station
