#include "wits/wits_receiver_options.h"

#include <memory>

#include "lib/str_utils.h"
#include "wits/wits_servers_format.h"

namespace wits {

WITSReceiverOptions::WITSReceiverOptions() {
  defaults();
}

void WITSReceiverOptions::defaults() {
  servers_.clear();
  servers_.emplace_back("Инклинометрия", kLoopbackHost, 27911, "LWD/MWD");
  servers_.emplace_back("СКЦ", kLoopbackHost, 9090, "СКЦ");
}

std::vector<std::string> WITSReceiverOptions::read(const lib::IniFile& ini) {
  std::vector<std::string> problems;
  auto count_of = [&](const char* section) {
    long long n = ini.get_int(section, kCountKey, 0);
    if (n < 0 || n > kMaxServers) {
      problems.push_back(std::string("[") + section + "] count " + std::to_string(n) +
                         " is not a server count, read as 0");
      n = 0;
    }
    return static_cast<int>(n);
  };
  const char* section = kServersSection;
  int count = count_of(section);
  if (count == 0) {
    section = kLegacyServersSection;
    count = count_of(section);
  }
  if (count == 0) {
    defaults();
    return problems;
  }
  std::vector<WITSServerOption> read_servers(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) read_servers[i].read_from_ini_line(ini, section, i);
  servers_ = std::move(read_servers);
  return problems;
}

void WITSReceiverOptions::write(lib::IniFile& ini) const {
  ini.set_int(kServersSection, kCountKey, static_cast<long long>(servers_.size()));
  for (std::size_t i = 0; i < servers_.size(); ++i) {
    servers_[i].write_to_ini(ini, kServersSection, static_cast<int>(i));
  }
}

std::vector<std::string> WITSReceiverOptions::load_from_home(const std::string& home_folder,
                                                             lib::FileSystem& fs) {
  const std::string path = home_folder + kGlobalIniFileName;
  std::unique_ptr<lib::IniFile> ini;
  try {
    ini = lib::get_readonly_ini_file(path, fs);
  } catch (const lib::IniError& e) {
    defaults();
    return {e.what()};
  }
  return read(*ini);
}

void WITSReceiverOptions::fill_servers_strings(lib::StringContainer& list) const {
  list.clear();
  list.add("*Любой*", -1);
  for (std::size_t i = 0; i < servers_.size(); ++i) {
    list.add(servers_[i].name, static_cast<std::int64_t>(i));
  }
}

std::vector<std::string> WITSReceiverOptions::grid_titles() {
  return {"Вкл.", "Имя", "Адрес", "Порт", "Статус", "Файл параметров"};
}

void WITSReceiverOptions::fill_to_grid(lib::TextGrid& grid) const {
  grid = lib::TextGrid(grid_titles());
  grid.set_data_row_count(servers_.empty() ? 1 : servers_.size());
  for (std::size_t i = 0; i < servers_.size(); ++i) servers_[i].write_to_grid_line(grid, i);
}

void WITSReceiverOptions::read_from_grid(const lib::TextGrid& grid) {
  std::vector<WITSServerOption> read_servers;
  for (std::size_t row = 1; row < grid.row_count(); ++row) {
    if (grid.row_is_blank(row)) continue;
    WITSServerOption server;
    server.read_from_grid_line(grid, row - 1);
    read_servers.push_back(std::move(server));
  }
  servers_ = std::move(read_servers);
}

int WITSReceiverOptions::grid_cell_kind(std::size_t col) {
  if (col == kGridColEnabled) return 7;
  if (col == kGridColParamsFile) return 6;
  return 0;
}

}  // namespace wits
