#include "lib/log_files.h"

#include <cerrno>

namespace lib {

std::string old_log_name(const std::string& path, int n) {
  return path + "." + std::to_string(n);
}

int rotate_log(FileSystem& fs, const std::string& path, int keep) {
  // Oldest first, so no rename replaces a file that has not moved on yet; gaps (a file
  // removed by hand) are no error.
  for (int n = keep - 1; n >= 1; --n) {
    if (fs.rename(old_log_name(path, n), old_log_name(path, n + 1)) != 0 && errno != ENOENT)
      return errno;
  }
  if (fs.rename(path, old_log_name(path, 1)) != 0 && errno != ENOENT) return errno;
  return 0;
}

LogRoom log_room(std::int64_t size, std::int64_t add, const LogLimits& limits) {
  // An empty file takes even a line longer than the limit: moving it aside would not help.
  if (size > 0 && size + add > limits.max_bytes) return LogRoom::kRotate;
  return LogRoom::kAppend;
}

bool unrotated_log_may_grow(std::int64_t size, std::int64_t add, const LogLimits& limits) {
  return size + add <= limits.max_bytes * LogLimits::kUnrotatedFactor;
}

}  // namespace lib
