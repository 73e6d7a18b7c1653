// The station's event log, "registr.events.log" in the home folder: plain text lines
// "(dd.mm.yyyy hh:mm:ss) message" for events the crew may want to look up later, such as a
// console relay switching on or off. The file is bounded by its LogLimits
// (lib/log_files.h: moved aside as registr.events.log.1 ... when full). Safe to call from
// any thread. A file that cannot be written hands its lines to the fallback (stderr).
#pragma once

#include <string>
#include <string_view>

#include "lib/line_logger.h"

namespace reg {

inline constexpr const char* kEventLogFileName = "registr.events.log";

class RegistrLogOld {
 public:
  RegistrLogOld(lib::Clock& clock, lib::FileSystem& fs);

  // Stores the file name; the text is UTF-8.
  void set_file(const std::string& path);
  std::string file() const { return logger_.file(); }
  void set_limits(const lib::LogLimits& limits) { logger_.set_limits(limits); }
  void set_fallback(lib::LineLogger::Fallback fallback) {
    logger_.set_fallback(std::move(fallback));
  }
  // Appends one line; false when it did not reach the file.
  bool add(std::string_view message);

 private:
  lib::LineLogger logger_;
};

}  // namespace reg
