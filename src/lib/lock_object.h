// The lock record used for the station's process-wide locks.
//   kind 1: in-process lock, re-entrant on one thread;
//   kind 0: inter-process lock: an advisory file lock (flock) on a lock file, plus an
//           in-process mutex because flock does not exclude threads sharing one descriptor;
//           re-entrant on one thread as well; the file lock is held by the outermost level;
//   any other kind: lock and unlock do nothing.
// Satisfies Lockable, so std::lock_guard / std::unique_lock work with it.
#pragma once

#include <mutex>
#include <string>

#include "lib/file_system.h"

namespace lib {

class lock_object {
 public:
  static constexpr int kInterProcess = 0;
  static constexpr int kInProcess = 1;
  static constexpr int kNoLock = 2;

  // In-process or no-op lock.
  explicit lock_object(int kind = kInProcess);
  // Inter-process lock on the given lock file, created when missing. When the file cannot
  // be created or opened, only the in-process part remains (has_file() is false, and
  // file_error() says why), so the guarded work still runs, unprotected from other
  // processes; the owner must tell the operator.
  lock_object(int kind, const std::string& lock_file, FileSystem& fs);
  ~lock_object();
  lock_object(const lock_object&) = delete;
  lock_object& operator=(const lock_object&) = delete;

  void lock();
  void unlock();
  bool try_lock();

  int kind() const { return kind_; }
  bool has_file() const { return fd_ >= 0; }
  const std::string& lock_file() const { return path_; }
  // Why the lock file could not be opened; empty when it was, or for other kinds.
  const std::string& file_error() const { return file_error_; }

 private:
  int kind_;
  std::recursive_mutex mutex_;
  int depth_ = 0;  // nesting on the owning thread; guarded by mutex_
  int fd_ = -1;
  std::string path_;
  std::string file_error_;
  FileSystem* fs_ = nullptr;
};

}  // namespace lib
