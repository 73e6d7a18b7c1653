// The lock a running station holds on its home folder, so that a second station on the same
// home is refused instead of fighting over the bus, the state file and the shared export.
//
// The host takes it before anything else touches the home, in particular before it builds
// the hub (whose construction makes folders and reads the journals): a refused station must
// leave the home exactly as it found it. The lock is the flock of "<home>rigstation.lock",
// which holds the process id of its holder; it lasts as long as this object (and ends with
// the process, whatever kills it). Not thread-safe; one owner.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>

namespace lib {
class FileSystem;
}

namespace station {

// The file in the home folder a running station holds locked (its process id inside).
inline constexpr const char* kHomeLockFileName = "rigstation.lock";

// Why the home could not be taken; the text names the lock file and the other station's
// process or the system's reason.
class HomeLockError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class HomeLock {
 public:
  // Makes the home folder when it is missing and takes its lock; throws HomeLockError when
  // another process holds it or it cannot be taken. `fs` must outlive the lock.
  HomeLock(lib::FileSystem& fs, const std::string& home);
  ~HomeLock();
  HomeLock(const HomeLock&) = delete;
  HomeLock& operator=(const HomeLock&) = delete;

 private:
  lib::FileSystem& fs_;
  int fd_ = -1;
};

// The process id (as its lock file gives it, "?" when it gives none) of the station running
// on `home`; nullopt when none runs there.
std::optional<std::string> home_holder(lib::FileSystem& fs, const std::string& home);

}  // namespace station
