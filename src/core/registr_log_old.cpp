#include "core/registr_log_old.h"

#include <cstdio>

namespace reg {

RegistrLogOld::RegistrLogOld(lib::Clock& clock, lib::FileSystem& fs) : logger_(0, clock, fs) {
  logger_.set_fallback([](const std::string& text) {
    std::fputs(("rigstation: event log: " + text).c_str(), stderr);
  });
}

void RegistrLogOld::set_file(const std::string& path) {
  logger_.set_file(path);
  logger_.set_encoding(lib::StringEnc::kUtf8);
}

bool RegistrLogOld::add(std::string_view message) {
  // Every event is kept: the threshold only filters levels, and events have none.
  return logger_.write(message, -1);
}

}  // namespace reg
