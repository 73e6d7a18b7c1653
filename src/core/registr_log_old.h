// The station's event log, "registr.events.log" in the home folder: plain text lines
// "(dd.mm.yyyy hh:mm:ss) message" for events the crew may want to look up later, such as a
// console relay switching on or off. It grows until it passes its size limit, is then
// renamed to "registr.events.log.old" (replacing the previous old one) and started afresh,
// so a rig PC running for months keeps at most two files of that size. Safe to call from
// any thread. A file that cannot be written hands its lines to the fallback (stderr).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "lib/line_logger.h"

namespace reg {

inline constexpr const char* kEventLogFileName = "registr.events.log";
inline constexpr std::int64_t kDefaultEventLogBytes = 4 << 20;

class RegistrLogOld {
 public:
  RegistrLogOld(lib::Clock& clock, lib::FileSystem& fs);

  // Stores the file name; the text is UTF-8.
  void set_file(const std::string& path);
  std::string file() const { return logger_.file(); }
  void set_max_bytes(std::int64_t max_bytes) { logger_.set_max_bytes(max_bytes); }
  void set_fallback(lib::LineLogger::Fallback fallback) {
    logger_.set_fallback(std::move(fallback));
  }
  // Appends one line; false when it did not reach the file.
  bool add(std::string_view message);

 private:
  lib::LineLogger logger_;
};

}  // namespace reg
