// The list of WITS servers the station listens to, in the order they are shown and
// connected. It has no options of its own in the settings sense: the list lives in sections
// of its own of the settings file (wits_servers_format.h), read and written through the
// additional-info hooks of lib::ini_options.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "lib/ini_file.h"
#include "lib/options.h"
#include "lib/string_container.h"
#include "lib/text_grid.h"
#include "wits/wits_server_option.h"

namespace wits {

class WITSReceiverOptions : public lib::ini_options {
 public:
  // Starts with the defaults.
  WITSReceiverOptions();

  // Two disabled servers on this machine: the inclinometry on 27911 and the cementing
  // station on 9090.
  void defaults();

  std::vector<WITSServerOption>& servers() { return servers_; }
  const std::vector<WITSServerOption>& servers() const { return servers_; }

  // The list from "wits_servers"; when that lists no server, from the legacy "zts"; when
  // neither does, the defaults. Returns what had to be corrected.
  std::vector<std::string> read(const lib::IniFile& ini);
  // "count" and each server's keys under "wits_servers"; the parameters file keys and any
  // other keys of the section stay as they are.
  void write(lib::IniFile& ini) const;

  // The same, as the hooks of the settings file machinery.
  void load_additional_info(const lib::IniFile& ini) override { read(ini); }
  void save_additional_info(lib::IniFile& ini) const override { write(ini); }
  // Reads "global.ini" in `home_folder` (with its trailing '/') without ever writing it. A
  // missing file gives the defaults; an unreadable one keeps the defaults and is reported.
  std::vector<std::string> load_from_home(const std::string& home_folder, lib::FileSystem& fs);

  // No options: the list is not a set of keys.
  void get_options(lib::options_list& /*list*/) override {}
  void enum_values(lib::options_list& list) { get_options(list); }

  // "*Любой*" (any server) tagged -1, then each server's name tagged with its position.
  void fill_servers_strings(lib::StringContainer& list) const;

  // ---- the grid editor ------------------------------------------------------------------
  static std::vector<std::string> grid_titles();
  // Titles, then one row per server; an empty list still shows one empty row to type into.
  void fill_to_grid(lib::TextGrid& grid) const;
  // Replaces the list with the grid's rows; rows with every cell blank are left out.
  void read_from_grid(const lib::TextGrid& grid);
  // The grid widget's cell kind of a column: 7 (check box) for the enabled column, 6 (file
  // pick) for the parameters file, 0 (text) for the others.
  static int grid_cell_kind(std::size_t col);

  bool operator==(const WITSReceiverOptions& other) const { return servers_ == other.servers_; }

 private:
  std::vector<WITSServerOption> servers_;
};

}  // namespace wits
