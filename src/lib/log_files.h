// Log files that keep their disk bounded: when the next line would take a log past its size
// limit, the file is moved aside as "<log>.1" ("<log>.1" becoming "<log>.2" and so on, the
// oldest beyond `keep` replaced) and a new file is started. A station left running for months
// thus holds at most (keep + 1) × max_bytes of each log.
//
// A log that cannot be moved aside (a folder that refuses renames, a failing disk) keeps
// growing, but only up to kUnrotatedFactor × max_bytes: past that its lines are refused as for
// a file that cannot be written. Nothing here throws or waits: each step is one system call
// whose failure is a result.
#pragma once

#include <cstdint>
#include <string>

#include "lib/file_system.h"

namespace lib {

struct LogLimits {
  static constexpr std::int64_t kDefaultMaxBytes = std::int64_t{8} << 20;
  static constexpr int kDefaultKeep = 3;
  // The most old files a log keeps; readers of a log look no further back.
  static constexpr int kMaxKeep = 99;
  // How far past its limit a log that cannot be moved aside may grow.
  static constexpr std::int64_t kUnrotatedFactor = 2;

  std::int64_t max_bytes = kDefaultMaxBytes;  // at least 1
  int keep = kDefaultKeep;                    // old files kept, 1 .. kMaxKeep
  bool operator==(const LogLimits&) const = default;
};

// "<path>.<n>": the n-th newest old file of a log (n from 1).
std::string old_log_name(const std::string& path, int n);

// Moves the log aside as described above; 0, or the errno of the step that failed (the log
// itself then stays where it was, whole).
int rotate_log(FileSystem& fs, const std::string& path, int keep);

// What to do before appending `add` bytes to a log of `size` bytes.
enum class LogRoom {
  kAppend,  // there is room
  kRotate,  // move it aside first
};
LogRoom log_room(std::int64_t size, std::int64_t add, const LogLimits& limits);

// True when a log that could not be moved aside may still take `add` more bytes.
bool unrotated_log_may_grow(std::int64_t size, std::int64_t add, const LogLimits& limits);

}  // namespace lib
