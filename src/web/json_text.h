// How the web view writes JSON. Texts from outside are checked where they come in, but a
// string that still holds ill-formed UTF-8 (a name from some file, a device path) must not
// make the writer throw: on the server's or the station's thread that would end the
// program. Such bytes come out as U+FFFD instead.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace web {

inline std::string json_text(const nlohmann::json& j) {
  return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace web
