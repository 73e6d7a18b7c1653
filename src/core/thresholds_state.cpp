#include "core/thresholds_state.h"

namespace reg {

void ThresholdsStateCopy::get_serial_list(lib::serial_list& list, unsigned& version) {
  if (!list.reading()) {
    live_.get_serial_list(list, version);
    return;
  }
  // Read whole, so a damaged or newer block is still reported as such, then let go.
  alarms::MinMaxValues saved(live_.section());
  saved.get_serial_list(list, version);
}

}  // namespace reg
