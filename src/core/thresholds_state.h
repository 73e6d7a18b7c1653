// The alarm thresholds' block in the state file ("MinMaxValues"). The thresholds in force are
// the settings file's, one owner as for the parameter table: a threshold added to or removed
// from global.ini takes effect at the next start, whatever sys.bin holds. The state still
// carries the list, as its layout has it (older programs read it); a list read back from it is
// checked like any block and then dropped. The alarms under way are the alarm log's own block
// ("MinMaxLog"), restored as they were.
#pragma once

#include <string>

#include "alarms/min_max_values.h"
#include "lib/module_base.h"

namespace reg {

class ThresholdsStateCopy final : public lib::ModuleBaseOld {
 public:
  // `live` is the list in force; it must outlive this.
  explicit ThresholdsStateCopy(alarms::MinMaxValues& live) : live_(live) {}

  void get_serial_list(lib::serial_list& list, unsigned& version) override;
  void get_serial_name(std::string& name) override { live_.get_serial_name(name); }

 private:
  alarms::MinMaxValues& live_;
};

}  // namespace reg
