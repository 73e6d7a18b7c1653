#include "core/error_log.h"

#include <cstdio>

namespace reg {
ErrorLog::ErrorLog(lib::Clock& clock, lib::FileSystem& fs) : logger_(0, clock, fs) {
  logger_.set_fallback([](const std::string& text) {
    std::fputs(("rigstation: error log: " + text).c_str(), stderr);
  });
}

void ErrorLog::set_file(const std::string& path) {
  logger_.set_file(path);
  logger_.set_encoding(lib::StringEnc::kUtf8);
}

void ErrorLog::write(std::string_view message, int level) {
  logger_.write(message, level);
}

}  // namespace reg
