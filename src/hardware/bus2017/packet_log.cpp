#include "hardware/bus2017/packet_log.h"

namespace hardware {

void configure_packet_log(lib::LineLogger& log, const std::string& home_folder, int level) {
  std::string path = home_folder;
  if (!path.empty() && path.back() != '/') path.push_back('/');
  path += kPacketLogFileName;
  log.set_file(path);
  log.set_threshold(level);
}

}  // namespace hardware
