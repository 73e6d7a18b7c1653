// The office link's settings: section [офис] of the station's settings file (global.ini),
// beside the station's own sections, which they leave alone (docs/office-database.md).
//
//   имя_буровой      the rig's name in the office; empty: the machine's host name
//   адрес_базы       the office database, a libpq connection URI or key=value string; the
//                    password belongs in the service user's ~/.pgpass, not here
//   предел_скорости  the most the link may send, kbit/s; 0: no cap
//
// The command line of `rigstation forward` overrides each of them.
#pragma once

#include <string>
#include <vector>

#include "lib/file_system.h"
#include "lib/options.h"

namespace office {

struct OfficeSettings : lib::ini_options {
  std::string rig;
  std::string database;
  int max_rate_kbit = 0;
  void get_options(lib::options_list& o) override;
};

// The machine's host name; "rig" when it cannot be had.
std::string host_name();

}  // namespace office
