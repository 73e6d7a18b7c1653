// What a view of the troubles log implements to hear about every change. The log calls the
// handlers while it holds its lock, so a handler may read the log back but must not wait
// for another thread that needs the log.
#pragma once

#include "journals/troubles_record.h"

namespace journals {

class ITroublesNotifyHandler {
 public:
  virtual ~ITroublesNotifyHandler() = default;
  virtual void record_added(const TroublesLogRecord& record) = 0;
  virtual void record_changed(const TroublesLogRecord& record) = 0;
  virtual void record_deleted(const TroublesLogRecord& record) = 0;
};

}  // namespace journals
