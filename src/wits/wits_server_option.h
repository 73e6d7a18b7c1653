// One WITS level 0 server the station listens to.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "lib/ini_file.h"
#include "lib/text_grid.h"

namespace wits {

// Columns of a server's row in the list editor (row 0 holds the titles).
inline constexpr std::size_t kGridColEnabled = 0;
inline constexpr std::size_t kGridColName = 1;
inline constexpr std::size_t kGridColHost = 2;
inline constexpr std::size_t kGridColPort = 3;
inline constexpr std::size_t kGridColStatus = 4;
inline constexpr std::size_t kGridColParamsFile = 5;

struct WITSServerOption {
  // Shown to the user and the key of the server's records in a WITS reading.
  std::string name = "NONE";
  std::string host;
  int port = 0;
  // A free label shown in the server table.
  std::string status = " ---- ";
  bool enabled = false;
  // Loaded and shown; the receiver does not use it.
  std::string params_file;

  WITSServerOption() = default;
  // A disabled server without a parameters file.
  WITSServerOption(std::string name, std::string host, int port, std::string status);

  // Reads server `index` of `section`; each missing key takes its own default
  // (wits_servers_format.h). A port that is not a 32-bit number takes the default too.
  void read_from_ini_line(const lib::IniFile& ini, std::string_view section, int index);
  // Writes name, port, host, status and enabled of server `index`.
  void write_to_ini(lib::IniFile& ini, std::string_view section, int index) const;
  // Reads grid row index + 1: a non-empty enabled cell means true; a port cell that is not
  // a whole number reads as -1. The parameters file column is taken when the grid has it.
  void read_from_grid_line(const lib::TextGrid& grid, std::size_t index);
  // Writes grid row index + 1 ("1" or "" in the enabled column).
  void write_to_grid_line(lib::TextGrid& grid, std::size_t index) const;

  // params_file does not take part: it is not part of what identifies a connection.
  bool operator==(const WITSServerOption& other) const {
    return enabled == other.enabled && name == other.name && host == other.host &&
           port == other.port && status == other.status;
  }
};

// The INI key of one field of server `index`, e.g. "server0port".
std::string server_key(int index, std::string_view field);

}  // namespace wits
