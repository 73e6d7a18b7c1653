// The forwarder's state as one JSON object (forward_status_format.h): the line
// `rigstation forward --json` prints and the content of the status file the station's web
// view reads.
#pragma once

#include <cstdint>
#include <string>

#include "lib/date_time.h"
#include "office/forwarder.h"

namespace office {

struct StatusContext {
  std::string rig;
  std::string office;  // the address without its password
  std::int64_t steady_now_ms = 0;
  lib::LocalTime now;
  long pid = 0;
  bool stopped = false;
};

std::string forward_status_json(const ForwarderStatus& status, const StatusContext& context);

}  // namespace office
