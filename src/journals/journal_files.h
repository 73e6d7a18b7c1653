// Where a station keeps its journals unless the host names other files: the folder
// "journals/" of the station home. The hub and the rigstation tool both use these names, so
// the tool lists what the station wrote.
#pragma once

#include <string>

namespace journals {

inline constexpr const char* kJournalsFolder = "journals/";
inline constexpr const char* kRemarksFileName = "remarks.txt";
inline constexpr const char* kTroublesFileName = "troubles.dat";
inline constexpr const char* kMudLogFileName = "mud_log.dat";
inline constexpr const char* kMudAdditivesFileName = "mud_additives.dat";

// `home` ends with '/'.
inline std::string journal_path(const std::string& home, const char* file_name) {
  return home + kJournalsFolder + file_name;
}

}  // namespace journals
