#include "wits/wits_server_option.h"

#include <limits>

#include "lib/str_utils.h"
#include "wits/wits_servers_format.h"

namespace wits {

std::string server_key(int index, std::string_view field) {
  std::string key = kServerKeyPrefix + std::to_string(index);
  key += field;
  return key;
}

WITSServerOption::WITSServerOption(std::string name_, std::string host_, int port_,
                                   std::string status_)
    : name(std::move(name_)), host(std::move(host_)), port(port_), status(std::move(status_)) {}

void WITSServerOption::read_from_ini_line(const lib::IniFile& ini, std::string_view section,
                                          int index) {
  name = ini.get_string(section, server_key(index, kNameField));
  const long long p = ini.get_int(section, server_key(index, kPortField), kMissingPort);
  port = p >= std::numeric_limits<int>::min() && p <= std::numeric_limits<int>::max()
             ? static_cast<int>(p)
             : kMissingPort;
  host = ini.get_string(section, server_key(index, kHostField), kLoopbackHost);
  status = ini.get_string(section, server_key(index, kStatusField), kMissingStatus);
  enabled = ini.get_bool(section, server_key(index, kEnabledField), false);
  params_file = ini.get_string(section, server_key(index, kParamsFileField));
}

void WITSServerOption::write_to_ini(lib::IniFile& ini, std::string_view section, int index) const {
  ini.set_string(section, server_key(index, kNameField), name);
  ini.set_int(section, server_key(index, kPortField), port);
  ini.set_string(section, server_key(index, kHostField), host);
  ini.set_string(section, server_key(index, kStatusField), status);
  ini.set_bool(section, server_key(index, kEnabledField), enabled);
}

void WITSServerOption::read_from_grid_line(const lib::TextGrid& grid, std::size_t index) {
  const std::size_t row = index + 1;
  enabled = !grid.cell(row, kGridColEnabled).empty();
  name = grid.cell(row, kGridColName);
  host = grid.cell(row, kGridColHost);
  const long long p = lib::str_to_int(grid.cell(row, kGridColPort), -1);
  port = p >= std::numeric_limits<int>::min() && p <= std::numeric_limits<int>::max()
             ? static_cast<int>(p)
             : -1;
  status = grid.cell(row, kGridColStatus);
  if (grid.col_count() > kGridColParamsFile) params_file = grid.cell(row, kGridColParamsFile);
}

void WITSServerOption::write_to_grid_line(lib::TextGrid& grid, std::size_t index) const {
  const std::size_t row = index + 1;
  grid.set_cell(row, kGridColEnabled, enabled ? "1" : "");
  grid.set_cell(row, kGridColName, name);
  grid.set_cell(row, kGridColHost, host);
  grid.set_cell(row, kGridColPort, std::to_string(port));
  grid.set_cell(row, kGridColStatus, status);
  grid.set_cell(row, kGridColParamsFile, params_file);
}

}  // namespace wits
