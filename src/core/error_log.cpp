#include "core/error_log.h"

namespace reg {
namespace {
// A station left running for months must not fill its disk with one repeating error.
constexpr std::int64_t kMaxErrorLogBytes = 16 << 20;
}  // namespace

ErrorLog::ErrorLog(lib::Clock& clock, lib::FileSystem& fs) : logger_(0, clock, fs) {
  logger_.set_max_bytes(kMaxErrorLogBytes);
}

void ErrorLog::set_file(const std::string& path) {
  logger_.set_file(path);
  logger_.set_encoding(lib::StringEnc::kUtf8);
}

void ErrorLog::write(std::string_view message, int level) {
  logger_.write(message, level);
}

}  // namespace reg
