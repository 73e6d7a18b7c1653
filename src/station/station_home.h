// What a new station needs in its home folder, made on the first start: the settings file
// with its defaults, the "data/" folder and a starter parameter table whose rows are wired
// to the built-in emulator's channels, so a fresh install shows live values at once.
#pragma once

#include <string>
#include <vector>

namespace params {
class AllParams;
}

namespace station {

inline constexpr const char* kParamTableFileName = "params.tbl";
inline constexpr const char* kDataFolder = "data/";
// Plug-in libraries ("*.so") the station loads on start.
inline constexpr const char* kPluginsFolder = "plugins/";

// Creates what is missing; returns one line per thing created (empty on a later start).
// Throws std::runtime_error with a clear message when the folder cannot be written.
std::vector<std::string> ensure_station_home(const std::string& home,
                                             const params::AllParams& catalogue);

// The starter table written on the first start.
void write_starter_table(const std::string& path, const params::AllParams& catalogue);

}  // namespace station
