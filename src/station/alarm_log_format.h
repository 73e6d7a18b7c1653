// The alarm log's layout is the alarms layer's (alarms/alarm_log_format.h); the station keeps
// its name for it.
#pragma once

#include "alarms/alarm_log_format.h"

namespace station {
namespace alarm_log_format = alarms::alarm_log_format;
}  // namespace station
