// calculate: the calculated values of the tick (tank volumes and totals, mud volumes, the
// stands counted from this tick's block position), the pit gain, the announcements, and the
// plug-ins' data event when the source gave a reading.
#include "station/pit_watch.h"
#include "station/stages.h"

namespace station {

void CalculateStage::run(TickFrame& frame) {
  links_.calc_and_store(static_cast<std::uint32_t>(frame.steady_ms / 1000),
                        [&frame](int row) { return frame.current(row); });
  frame.operation = links_.operation();
  frame.active_volume = links_.active_volume();
  pit_.update(frame.operation, frame.active_volume);
  frame.pit_gain = pit_.gain();
  links_.announce();
  if (frame.reading_ok) links_.plugins_data();
}

}  // namespace station
