#include "lib/lock_object.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace lib {

lock_object::lock_object(int kind) : kind_(kind) {}

lock_object::lock_object(int kind, const std::string& lock_file) : kind_(kind), path_(lock_file) {
  if (kind_ == kInterProcess && !path_.empty()) {
    fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  }
}

lock_object::~lock_object() {
  if (fd_ >= 0) ::close(fd_);
}

void lock_object::lock() {
  if (kind_ != kInProcess && kind_ != kInterProcess) return;
  mutex_.lock();
  if (kind_ == kInterProcess && depth_ == 0 && fd_ >= 0) {
    while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ++depth_;
}

bool lock_object::try_lock() {
  if (kind_ != kInProcess && kind_ != kInterProcess) return true;
  if (!mutex_.try_lock()) return false;
  if (kind_ == kInterProcess && depth_ == 0 && fd_ >= 0) {
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      mutex_.unlock();
      return false;
    }
  }
  ++depth_;
  return true;
}

void lock_object::unlock() {
  if (kind_ != kInProcess && kind_ != kInterProcess) return;
  if (--depth_ == 0 && kind_ == kInterProcess && fd_ >= 0) ::flock(fd_, LOCK_UN);
  mutex_.unlock();
}

}  // namespace lib
