// output: what the consoles and indicators are sent this tick: the relay mask of the alarm
// pass and what the plug-ins prepared for them.
#include "alarms/min_max_log.h"
#include "core/config.h"
#include "hardware/bus2017/bus2017_format.h"
#include "hardware/bus2017/bus2017_protocol.h"
#include "hardware/comm_out_data.h"
#include "hardware/comm_protocols.h"
#include "hardware/protocol.h"
#include "station/stages.h"
#include "station/station.h"

namespace station {

OutputStage::OutputStage(hardware::CommProtocols& bus, const SourceStatus& source,
                         alarms::MinMaxLog& log, const reg::Config& config,
                         hardware::CommOutData& last,
                         std::function<void(std::map<int, int>&, hardware::CommOutData&)> prepare)
    : bus_(bus),
      source_(source),
      log_(log),
      config_(config),
      last_(last),
      prepare_(std::move(prepare)) {}

void OutputStage::run(TickFrame& /*frame*/) {
  const hardware::Protocol* protocol =
      bus_.protocol_at(bus_.get_protocol_number(source_.protocol_id));
  if (protocol == nullptr || !protocol->send) {
    last_ = {};
    last_.word = log_.relay_mask();
    return;
  }
  // Consoles and indicators show what plug-ins prepare for them; the device types of the
  // last reading tell a plug-in what sits at each address.
  std::map<int, int> types = device_types(bus_);
  hardware::CommOutData out;
  // The consoles switch their relays from the mask of this tick's alarm pass.
  out.word = log_.relay_mask();
  prepare_(types, out);
  // With the console relays in use every console on a 2017 bus is told the mask each tick,
  // so a relay follows its alarm (and drops with it) without a console plug-in.
  if (config_.link.use_pult_relay && source_.protocol_id == hardware::kProtocol2017) {
    for (const int a : hardware::parse_bus_addresses(source_.port_text))
      if (hardware::bus2017::is_console_address(a)) out.pults[a].relays = true;
  }
  last_ = out;
  if (out.pults.empty() && out.indicators.empty()) return;
  bus_.send_data(source_.protocol_id, source_.port_text, out);
}

}  // namespace station
