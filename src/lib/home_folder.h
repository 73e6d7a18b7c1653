// Where a station keeps its files: $RIGCORE_HOME when set, else the folder of the running
// program. Always returned with a trailing '/'.
#pragma once

#include <string>

namespace lib {

inline constexpr const char* kHomeEnvVar = "RIGCORE_HOME";

std::string resolve_home_folder();
// The folder of the running executable, with a trailing '/'.
std::string program_folder();
// Adds a trailing '/' when missing.
std::string with_trailing_slash(std::string folder);

}  // namespace lib
