// Test doubles for the OS seams: a settable clock, a file system that injects faults, and
// a temporary folder that cleans up after itself.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "lib/date_time.h"
#include "lib/file_system.h"

namespace testing_support {

// Set by the test's thread while a module's own thread (the voice, a receiver) reads it, so
// every field is atomic. The wall clock's two parts are set one after the other: a reader
// may see a new second with the old milliseconds, which no test relies on.
class FakeClock : public lib::Clock {
 public:
  struct WallClock {
    WallClock() = default;  // not an aggregate: braces mean a lib::LocalTime
    std::atomic<std::int64_t> seconds{0};
    std::atomic<int> milliseconds{0};
    WallClock& operator=(const lib::LocalTime& t) {
      seconds = t.seconds;
      milliseconds = t.milliseconds;
      return *this;
    }
  };
  WallClock now;
  std::atomic<std::int64_t> steady{0};
  lib::LocalTime local_now() override { return {now.seconds, now.milliseconds}; }
  std::int64_t steady_ms() override { return steady; }
  void set(int y, int mo, int d, int h, int mi, int s) {
    now = *lib::to_local_time(*lib::encode_date_time({y, mo, d, h, mi, s, 0}));
  }
};

// Passes calls to the real file system unless a fault is armed.
class FaultyFileSystem : public lib::FileSystem {
 public:
  std::size_t max_write_chunk = 0;              // >0: every write is cut to this many bytes
  std::atomic<long long> fail_after_bytes{-1};  // >=0: writes fail with ENOSPC after this many
  bool fail_fsync = false;
  bool fail_rename = false;
  // A read-only disk: opening for writing, renaming and removing fail with EROFS.
  bool read_only = false;
  std::string fail_open_with;   // non-empty: opening a path holding this fails with EACCES
  std::string only_paths_with;  // non-empty: faults hit only files whose path holds this
  // Non-zero: the call fails with this errno (for paths that `only_paths_with` selects).
  int mkdir_errno = 0;
  int stat_errno = 0;
  int sync_folder_errno = 0;
  int list_folder_errno = 0;  // the listing comes back empty
  int flock_errno = 0;        // every fd
  std::atomic<long long> written{0};
  std::atomic<int> opens{0};
  std::vector<std::string> synced_folders;
  std::vector<std::string> made_folders;

  // Sweeps (support/fault_sweep.h). Every call through the seam is numbered from 0 in
  // `calls`; the call numbered `fail_call` fails whatever its path: a write with ENOSPC,
  // any other call with EIO (a close still closes, a rename or an unlink changes nothing),
  // and `failed_call` names it. With `short_writes` every write takes at most half of what
  // it is given.
  std::atomic<long long> calls{0};
  std::atomic<long long> fail_call{-1};
  std::atomic<bool> short_writes{false};
  std::string failed_call;

  int open(const std::string& path, int flags, mode_t mode) override {
    ++opens;
    if (swept("open")) return fail(EIO);
    if (!fail_open_with.empty() && path.find(fail_open_with) != std::string::npos) {
      return fail(EACCES);
    }
    if (read_only && matches(path) && (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC)) != 0) {
      return fail(EROFS);
    }
    int fd = real().open(path, flags, mode);
    if (fd >= 0) {
      std::lock_guard guard(fds_mutex_);
      if (only_paths_with.empty() || path.find(only_paths_with) != std::string::npos) {
        faulty_fds_.insert(fd);
      } else {
        faulty_fds_.erase(fd);
      }
    }
    return fd;
  }
  ssize_t read(int fd, void* buf, std::size_t n) override {
    if (swept("read")) return fail(EIO);
    return real().read(fd, buf, n);
  }
  ssize_t write(int fd, const void* buf, std::size_t n) override {
    if (swept("write")) return fail(ENOSPC);
    if (short_writes && n > 1) n /= 2;
    if (!faulty(fd)) return real().write(fd, buf, n);
    if (!cut_write(n)) return fail(ENOSPC);
    ssize_t w = real().write(fd, buf, n);
    if (w > 0) written += w;
    return w;
  }
  ssize_t pwrite(int fd, const void* buf, std::size_t n, off_t offset) override {
    if (swept("pwrite")) return fail(ENOSPC);
    if (short_writes && n > 1) n /= 2;
    if (!faulty(fd)) return real().pwrite(fd, buf, n, offset);
    if (!cut_write(n)) return fail(ENOSPC);
    ssize_t w = real().pwrite(fd, buf, n, offset);
    if (w > 0) written += w;
    return w;
  }
  int fsync(int fd) override {
    if (swept("fsync")) return fail(EIO);
    if (fail_fsync && faulty(fd)) return fail(EIO);
    return real().fsync(fd);
  }
  int close(int fd) override {
    {
      std::lock_guard guard(fds_mutex_);
      faulty_fds_.erase(fd);
    }
    const bool swept_now = swept("close");
    const int r = real().close(fd);
    return swept_now ? fail(EIO) : r;
  }
  int rename(const std::string& from, const std::string& to) override {
    if (swept("rename")) return fail(EIO);
    if (read_only && matches(to)) return fail(EROFS);
    if (fail_rename && (only_paths_with.empty() || to.find(only_paths_with) != std::string::npos)) {
      return fail(EXDEV);
    }
    return real().rename(from, to);
  }
  int unlink(const std::string& path) override {
    if (swept("unlink")) return fail(EIO);
    if (read_only && matches(path)) return fail(EROFS);
    return real().unlink(path);
  }
  std::int64_t file_size(int fd) override {
    if (swept("file_size")) return fail(EIO);
    return real().file_size(fd);
  }
  int flock(int fd, int operation) override {
    if (swept("flock")) return fail(EIO);
    if (flock_errno != 0) return fail(flock_errno);
    return real().flock(fd, operation);
  }
  std::vector<std::string> list_folder(const std::string& folder) override {
    if (swept("list_folder") || (list_folder_errno != 0 && matches(folder))) {
      errno = list_folder_errno != 0 ? list_folder_errno : EIO;
      return {};
    }
    return real().list_folder(folder);
  }
  std::optional<lib::FileStatus> stat(const std::string& path) override {
    if (swept("stat") || (stat_errno != 0 && matches(path))) {
      errno = stat_errno != 0 ? stat_errno : EIO;
      return std::nullopt;
    }
    return real().stat(path);
  }
  std::optional<lib::FileStatus> fstat(int fd) override {
    if (swept("fstat")) {
      errno = EIO;
      return std::nullopt;
    }
    return real().fstat(fd);
  }
  int ftruncate(int fd, off_t length) override {
    if (swept("ftruncate")) return fail(EIO);
    return real().ftruncate(fd, length);
  }
  int mkdir(const std::string& path, mode_t mode) override {
    if (swept("mkdir")) return fail(EIO);
    if (mkdir_errno != 0 && matches(path)) return fail(mkdir_errno);
    if (read_only && matches(path)) return fail(EROFS);
    const int r = real().mkdir(path, mode);
    if (r == 0) made_folders.push_back(path);
    return r;
  }
  int sync_folder(const std::string& path) override {
    if (swept("sync_folder")) return fail(EIO);
    if (sync_folder_errno != 0 && matches(path)) return fail(sync_folder_errno);
    const int r = real().sync_folder(path);
    if (r == 0) synced_folders.push_back(path);
    return r;
  }

 private:
  static lib::FileSystem& real() { return lib::posix_file_system(); }
  static int fail(int err) {
    errno = err;
    return -1;
  }
  bool matches(const std::string& path) const {
    return only_paths_with.empty() || path.find(only_paths_with) != std::string::npos;
  }
  bool faulty(int fd) {
    std::lock_guard guard(fds_mutex_);
    return faulty_fds_.count(fd) != 0;
  }
  // Counts the call; true when it is the one to fail.
  bool swept(const char* call) {
    if (calls++ != fail_call) return false;
    failed_call = call;
    return true;
  }
  // Cuts `n` to what the disk still takes; false when it is full.
  bool cut_write(std::size_t& n) {
    if (max_write_chunk > 0 && n > max_write_chunk) n = max_write_chunk;
    const long long limit = fail_after_bytes;
    if (limit < 0) return true;
    if (written >= limit) return false;
    if (written + static_cast<long long>(n) > limit) n = static_cast<std::size_t>(limit - written);
    return true;
  }
  std::mutex fds_mutex_;
  std::set<int> faulty_fds_;
};

// Every path opens as an endless input (a device like /dev/zero, a FIFO fed forever): size 0
// and reads that never end. Counts what was read, so a test sees the reader stop.
class EndlessFileSystem : public lib::FileSystem {
 public:
  long long bytes_read = 0;
  int open_fds = 0;

  int open(const std::string&, int, mode_t) override {
    ++open_fds;
    return 3;
  }
  ssize_t read(int, void* buf, std::size_t n) override {
    std::memset(buf, 0, n);
    bytes_read += static_cast<long long>(n);
    return static_cast<ssize_t>(n);
  }
  ssize_t write(int, const void*, std::size_t) override {
    errno = EROFS;
    return -1;
  }
  int fsync(int) override { return 0; }
  int close(int) override {
    --open_fds;
    return 0;
  }
  int rename(const std::string&, const std::string&) override {
    errno = EROFS;
    return -1;
  }
  int unlink(const std::string&) override { return 0; }
  std::int64_t file_size(int) override { return 0; }
};

class TempDir {
 public:
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "rigcore-test-XXXXXX").string();
    path_ = ::mkdtemp(tmpl.data());
    path_ += '/';
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

inline std::string read_file(const std::string& path) {
  auto s = lib::read_whole_file(path, lib::posix_file_system());
  return s ? *s : std::string();
}

}  // namespace testing_support
