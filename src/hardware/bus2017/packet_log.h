// The packet log "packets.log" in the station home folder. Its threshold is the protocol
// hub's packet-log level: lines of a lower level are written, and the hub's default of -1
// keeps the file silent in normal operation. Levels: 1 frame markers and errors, 2 packet
// dumps and inner-checksum lines, 3 checksum and port steps.
#pragma once

#include <string>

#include "lib/line_logger.h"

namespace hardware {

inline constexpr const char* kPacketLogFileName = "packets.log";

// Points the logger at home_folder/packets.log with the given level as threshold.
void configure_packet_log(lib::LineLogger& log, const std::string& home_folder, int level);

}  // namespace hardware
