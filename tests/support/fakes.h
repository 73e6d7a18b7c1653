// Test doubles for the OS seams: a settable clock, a file system that injects faults, and
// a temporary folder that cleans up after itself.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "lib/date_time.h"
#include "lib/file_system.h"

namespace testing_support {

class FakeClock : public lib::Clock {
 public:
  lib::LocalTime now{};
  std::int64_t steady = 0;
  lib::LocalTime local_now() override { return now; }
  std::int64_t steady_ms() override { return steady; }
  void set(int y, int mo, int d, int h, int mi, int s) {
    now = *lib::to_local_time(*lib::encode_date_time({y, mo, d, h, mi, s, 0}));
  }
};

// Passes calls to the real file system unless a fault is armed.
class FaultyFileSystem : public lib::FileSystem {
 public:
  std::size_t max_write_chunk = 0;  // >0: every write is cut to this many bytes
  long long fail_after_bytes = -1;  // >=0: writes fail with ENOSPC once this many were written
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
  long long written = 0;
  int opens = 0;
  std::vector<std::string> synced_folders;
  std::vector<std::string> made_folders;

  int open(const std::string& path, int flags, mode_t mode) override {
    ++opens;
    if (!fail_open_with.empty() && path.find(fail_open_with) != std::string::npos) {
      errno = EACCES;
      return -1;
    }
    if (read_only && matches(path) && (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC)) != 0) {
      errno = EROFS;
      return -1;
    }
    int fd = real().open(path, flags, mode);
    if (fd >= 0) {
      if (only_paths_with.empty() || path.find(only_paths_with) != std::string::npos) {
        faulty_fds_.insert(fd);
      } else {
        faulty_fds_.erase(fd);
      }
    }
    return fd;
  }
  ssize_t read(int fd, void* buf, std::size_t n) override { return real().read(fd, buf, n); }
  ssize_t write(int fd, const void* buf, std::size_t n) override {
    if (!faulty_fds_.count(fd)) return real().write(fd, buf, n);
    if (fail_after_bytes >= 0 && written >= fail_after_bytes) {
      errno = ENOSPC;
      return -1;
    }
    if (max_write_chunk > 0 && n > max_write_chunk) n = max_write_chunk;
    if (fail_after_bytes >= 0 && written + static_cast<long long>(n) > fail_after_bytes) {
      n = static_cast<std::size_t>(fail_after_bytes - written);
    }
    ssize_t w = real().write(fd, buf, n);
    if (w > 0) written += w;
    return w;
  }
  ssize_t pwrite(int fd, const void* buf, std::size_t n, off_t offset) override {
    if (!faulty_fds_.count(fd)) return real().pwrite(fd, buf, n, offset);
    if (fail_after_bytes >= 0 && written >= fail_after_bytes) return fail(ENOSPC);
    if (max_write_chunk > 0 && n > max_write_chunk) n = max_write_chunk;
    if (fail_after_bytes >= 0 && written + static_cast<long long>(n) > fail_after_bytes) {
      n = static_cast<std::size_t>(fail_after_bytes - written);
    }
    ssize_t w = real().pwrite(fd, buf, n, offset);
    if (w > 0) written += w;
    return w;
  }
  int fsync(int fd) override {
    if (fail_fsync && faulty_fds_.count(fd)) {
      errno = EIO;
      return -1;
    }
    return real().fsync(fd);
  }
  int close(int fd) override {
    faulty_fds_.erase(fd);
    return real().close(fd);
  }
  int rename(const std::string& from, const std::string& to) override {
    if (read_only && matches(to)) {
      errno = EROFS;
      return -1;
    }
    if (fail_rename && (only_paths_with.empty() || to.find(only_paths_with) != std::string::npos)) {
      errno = EXDEV;
      return -1;
    }
    return real().rename(from, to);
  }
  int unlink(const std::string& path) override {
    if (read_only && matches(path)) {
      errno = EROFS;
      return -1;
    }
    return real().unlink(path);
  }
  std::int64_t file_size(int fd) override { return real().file_size(fd); }
  int flock(int fd, int operation) override {
    if (flock_errno != 0) return fail(flock_errno);
    return real().flock(fd, operation);
  }
  std::vector<std::string> list_folder(const std::string& folder) override {
    if (list_folder_errno != 0 && matches(folder)) {
      errno = list_folder_errno;
      return {};
    }
    return real().list_folder(folder);
  }
  std::optional<lib::FileStatus> stat(const std::string& path) override {
    if (stat_errno != 0 && matches(path)) {
      errno = stat_errno;
      return std::nullopt;
    }
    return real().stat(path);
  }
  int mkdir(const std::string& path, mode_t mode) override {
    if (mkdir_errno != 0 && matches(path)) return fail(mkdir_errno);
    if (read_only && matches(path)) return fail(EROFS);
    const int r = real().mkdir(path, mode);
    if (r == 0) made_folders.push_back(path);
    return r;
  }
  int sync_folder(const std::string& path) override {
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
