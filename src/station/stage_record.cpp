// record: the lines of the run's recording that are due this tick.
#include "station/run_recording.h"
#include "station/stages.h"

namespace station {

void RecordStage::run(TickFrame& frame) {
  if (frame.race_active) recording_.tick(frame.table_version);
}

}  // namespace station
