// How the commands print JSON. Names and captions come from the station's files; one that
// still holds ill-formed UTF-8 comes out with U+FFFD in its place, where the library's
// plain dump() would throw and end the command without a word.
#pragma once

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

namespace rigstation {

// Prints `j` and a newline on stdout; `indent` as dump() takes it (-1: one line).
inline void print_json(const nlohmann::json& j, int indent = -1) {
  const std::string text = j.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace);
  std::printf("%s\n", text.c_str());
}

}  // namespace rigstation
