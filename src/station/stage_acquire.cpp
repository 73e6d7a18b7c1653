// acquire: the data source's reading of the tick, the lost line's watch and reopening, and
// the WITS records that completed since the last tick.
#include <algorithm>
#include <string>

#include "core/error_log.h"
#include "hardware/comm_port.h"
#include "hardware/comm_protocols.h"
#include "station/stages.h"
#include "station/station.h"
#include "station/wits_intake.h"

namespace station {

std::map<int, int> device_types(const hardware::CommProtocols& bus) {
  std::map<int, int> types;
  for (const auto& [address, type] : bus.device_types()) types[address] = type;
  return types;
}

AcquireStage::AcquireStage(SourceStatus& source, hardware::CommProtocols& bus, lib::Clock& clock,
                           reg::ErrorLog& log, WitsIntake& wits,
                           std::function<void(hardware::CommIncomData&)> adc_data)
    : source_(source),
      bus_(bus),
      clock_(clock),
      log_(log),
      wits_(wits),
      adc_data_(std::move(adc_data)) {}

void AcquireStage::run(TickFrame& frame) {
  frame.tick = ++source_.ticks;
  try_reopen();
  frame.reading = hardware::CommIncomData{};
  const bool ok = bus_.read_data(source_.protocol_id, source_.port_text, frame.reading);
  if (ok) {
    bus_.update_variables(frame.reading);
    ++source_.good_readings;
    source_.last_good_tick = source_.ticks;
    // Plug-ins see the raw reading before any row converts it.
    adc_data_(frame.reading);
  } else {
    ++source_.failures;
  }
  frame.reading_ok = ok;
  source_.stale = !ok;
  watch_line(ok);
  wits_.tick();
  frame.steady_ms = clock_.steady_ms();
}

void AcquireStage::watch_line(bool reading_ok) {
  lib::CommPort& port = bus_.get_port();
  if (reading_ok || source_.lost || !port.is_opened() || !port.line_lost()) return;
  // The device itself is gone (a pulled USB adapter answers reads and writes with errors).
  // Its descriptor is useless now; the same path is tried again on a back-off.
  source_.lost = true;
  source_.lost_reason = port.lost_reason();
  port.close();
  source_.reopen_delay_ms = kFirstReopenDelayMs;
  source_.next_reopen_ms = clock_.steady_ms() + source_.reopen_delay_ms;
  log_.write("Data source lost: serial port '" + source_.port + "' of " + source_.protocol_name +
             " failed (" + source_.lost_reason +
             "); its values are shown as stale and the port is reopened every " +
             std::to_string(kFirstReopenDelayMs / 1000) + " to " +
             std::to_string(kMaxReopenDelayMs / 1000) + " s until it answers");
}

void AcquireStage::try_reopen() {
  if (!source_.lost || clock_.steady_ms() < source_.next_reopen_ms) return;
  if (!bus_.get_port().reopen()) {
    source_.reopen_delay_ms = std::min(source_.reopen_delay_ms * 2, kMaxReopenDelayMs);
    source_.next_reopen_ms = clock_.steady_ms() + source_.reopen_delay_ms;
    return;
  }
  bus_.configure_port(source_.protocol_id, 0);
  bus_.clear();
  source_.lost = false;
  source_.lost_reason.clear();
  source_.reopen_delay_ms = 0;
  ++source_.reopens;
  log_.write("Data source back: serial port '" + source_.port + "' of " + source_.protocol_name +
             " reopened; reading it again");
}

}  // namespace station
