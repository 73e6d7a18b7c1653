// What a new station needs in its home folder, made on the first start: the settings file
// with its defaults, the "data/" folder, a starter parameter table whose rows are wired
// to the built-in emulator's channels, so a fresh install shows live values at once, and
// the starter layout of the mud log.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "params/uso_channel.h"

namespace lib {
class FileSystem;
}
namespace params {
class AllParams;
}

namespace station {

inline constexpr const char* kParamTableFileName = "params.tbl";
inline constexpr const char* kDataFolder = "data/";
// Plug-in libraries ("*.so") the station loads on start.
inline constexpr const char* kPluginsFolder = "plugins/";

// Creates what is missing; returns one line per thing created (empty on a later start).
// `starter_module` is the bus address the starter rows read: 0 for the emulator and the
// older bus, a module's address on a 2017 bus. Throws std::runtime_error with a clear
// message (the path and the system's reason) when the folder cannot be written.
std::vector<std::string> ensure_station_home(lib::FileSystem& fs, const std::string& home,
                                             const params::AllParams& catalogue,
                                             int starter_module = 0);

// A starter row: catalogue identifier, input, and the two calibration points that map the
// emulator's raw range onto a plausible engineering range.
struct StarterRow {
  const char* identifier;
  params::ChannelType type;
  int channel;
  double raw_low, value_low, raw_high, value_high;
  int averaging;
};

// The rows of the starter table, in table order.
std::span<const StarterRow> starter_rows();

// The starter table written on the first start, its rows reading module `module_address`.
// Throws std::runtime_error when a row is not in the catalogue (nothing is written then)
// or the file cannot be written.
void write_starter_table(lib::FileSystem& fs, const std::string& path,
                         const params::AllParams& catalogue, int module_address = 0,
                         std::span<const StarterRow> rows = starter_rows());

}  // namespace station
