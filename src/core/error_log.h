// The station's error log, "registr.errors.log" in the home folder. Operator-facing
// messages of failed calculations, checks and file operations land here as
// "(dd.mm.yyyy hh:mm:ss) message" lines. Errors are written at level -1 under a threshold
// of 0. The file is bounded by its LogLimits (lib/log_files.h; the station sets them from its
// settings). Safe to call from any thread. A log that cannot be written (a read-only or full
// home) says so once on stderr and writes its lines there instead, so nothing the operator
// must see is lost silently.
#pragma once

#include <string>
#include <string_view>

#include "lib/line_logger.h"

namespace reg {

inline constexpr const char* kErrorLogFileName = "registr.errors.log";
inline constexpr int kErrorLevel = -1;

class ErrorLog {
 public:
  ErrorLog(lib::Clock& clock, lib::FileSystem& fs);

  // Stores the file name and switches the log's text to UTF-8.
  void set_file(const std::string& path);
  std::string file() const { return logger_.file(); }
  void write(std::string_view message, int level = kErrorLevel);
  void set_threshold(int threshold) { logger_.set_threshold(threshold); }
  void set_limits(const lib::LogLimits& limits) { logger_.set_limits(limits); }
  // Where lines go when the file refuses them; stderr unless replaced (tests capture it).
  void set_fallback(lib::LineLogger::Fallback fallback) {
    logger_.set_fallback(std::move(fallback));
  }

 private:
  lib::LineLogger logger_;
};

}  // namespace reg
