#include "lib/lock_object.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>

namespace lib {

lock_object::lock_object(int kind) : kind_(kind) {}

lock_object::lock_object(int kind, const std::string& lock_file, FileSystem& fs)
    : kind_(kind), path_(lock_file), fs_(&fs) {
  if (kind_ == kInterProcess) {
    if (path_.empty()) {
      file_error_ = "no lock file named";
      return;
    }
    fd_ = fs_->open(path_, O_RDWR | O_CREAT, 0666);
    if (fd_ < 0) file_error_ = errno_text(errno);
  }
}

lock_object::~lock_object() {
  if (fd_ >= 0) fs_->close(fd_);
}

void lock_object::lock() {
  if (kind_ != kInProcess && kind_ != kInterProcess) return;
  mutex_.lock();
  if (kind_ == kInterProcess && depth_ == 0 && fd_ >= 0) {
    fs_->flock(fd_, LOCK_EX);
  }
  ++depth_;
}

bool lock_object::try_lock() {
  if (kind_ != kInProcess && kind_ != kInterProcess) return true;
  if (!mutex_.try_lock()) return false;
  if (kind_ == kInterProcess && depth_ == 0 && fd_ >= 0) {
    if (fs_->flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      mutex_.unlock();
      return false;
    }
  }
  ++depth_;
  return true;
}

void lock_object::unlock() {
  if (kind_ != kInProcess && kind_ != kInterProcess) return;
  if (--depth_ == 0 && kind_ == kInterProcess && fd_ >= 0) fs_->flock(fd_, LOCK_UN);
  mutex_.unlock();
}

}  // namespace lib
