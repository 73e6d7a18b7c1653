#include "station/home_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "lib/file_system.h"

namespace station {

namespace {

std::string holder_in(lib::FileSystem& fs, const std::string& path) {
  std::string pid = lib::read_whole_file(path, fs, 64).value_or("");
  while (!pid.empty() && (pid.back() == '\n' || pid.back() == ' ')) pid.pop_back();
  return pid.empty() ? "?" : pid;
}

}  // namespace

HomeLock::HomeLock(lib::FileSystem& fs, const std::string& home) : fs_(fs) {
  const std::string path = home + kHomeLockFileName;
  // A folder that cannot be made shows as the lock file that cannot be opened below.
  lib::make_dirs(fs, home);
  const int fd = fs.open(path, O_RDWR | O_CREAT, 0644);
  if (fd < 0) {
    throw HomeLockError("cannot open the home lock '" + path + "': " + lib::errno_text(errno) +
                        "; the station does not start");
  }
  if (fs.flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    fs.close(fd);
    if (err != EWOULDBLOCK) {
      throw HomeLockError("cannot lock the home lock '" + path + "': " + lib::errno_text(err) +
                          "; the station does not start");
    }
    throw HomeLockError("another station (process " + holder_in(fs, path) +
                        ") is running on the home '" + home + "' (it holds '" + path +
                        "'); this one does not start");
  }
  // A second descriptor rewrites the pid: the lock belongs to the first one and stays.
  const int out = fs.open(path, O_WRONLY | O_TRUNC, 0644);
  if (out >= 0) {
    const std::string pid = std::to_string(::getpid()) + "\n";
    lib::write_all(fs, out, pid.data(), pid.size());
    fs.close(out);
  }
  fd_ = fd;
}

HomeLock::~HomeLock() {
  fs_.close(fd_);
}

std::optional<std::string> home_holder(lib::FileSystem& fs, const std::string& home) {
  const int fd = fs.open(home + kHomeLockFileName, O_RDONLY, 0);
  if (fd < 0) return std::nullopt;  // never started here, or the lock cannot be looked at
  const bool free = fs.flock(fd, LOCK_SH | LOCK_NB) == 0;
  fs.close(fd);
  if (free) return std::nullopt;
  return holder_in(fs, home + kHomeLockFileName);
}

}  // namespace station
