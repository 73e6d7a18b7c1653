#include "lib/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "lib/binary_stream.h"

namespace lib {
namespace {

template <class F>
auto retry_eintr(F f) {
  decltype(f()) r;
  do {
    r = f();
  } while (r == -1 && errno == EINTR);
  return r;
}

class PosixFileSystem final : public FileSystem {
 public:
  int open(const std::string& path, int flags, mode_t mode) override {
    return retry_eintr([&] { return ::open(path.c_str(), flags | O_CLOEXEC, mode); });
  }
  ssize_t read(int fd, void* buf, std::size_t n) override {
    return retry_eintr([&] { return ::read(fd, buf, n); });
  }
  ssize_t write(int fd, const void* buf, std::size_t n) override {
    return retry_eintr([&] { return ::write(fd, buf, n); });
  }
  int fsync(int fd) override {
    return retry_eintr([&] { return ::fsync(fd); });
  }
  int close(int fd) override { return ::close(fd); }
  int rename(const std::string& from, const std::string& to) override {
    return ::rename(from.c_str(), to.c_str());
  }
  int unlink(const std::string& path) override { return ::unlink(path.c_str()); }
  std::int64_t file_size(int fd) override {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return -1;
    return st.st_size;
  }
};

std::string parent_folder(const std::string& path) {
  std::string parent = std::filesystem::path(path).parent_path().string();
  return parent.empty() ? "." : parent;
}

}  // namespace

static FileStatus status_of(const struct stat& st) {
  FileStatus status;
  if (S_ISREG(st.st_mode)) {
    status.kind = FileStatus::Kind::regular;
  } else if (S_ISDIR(st.st_mode)) {
    status.kind = FileStatus::Kind::folder;
  }
  status.size = st.st_size;
  status.permissions = static_cast<unsigned>(st.st_mode & 07777);
  status.modified_ns =
      static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  status.inode = static_cast<std::uint64_t>(st.st_ino);
  status.links = static_cast<std::uint64_t>(st.st_nlink);
  status.device = static_cast<std::uint64_t>(st.st_dev);
  return status;
}

std::optional<FileStatus> FileSystem::stat(const std::string& path) {
  struct stat st {};
  if (retry_eintr([&] { return ::stat(path.c_str(), &st); }) != 0) return std::nullopt;
  return status_of(st);
}

std::optional<FileStatus> FileSystem::fstat(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return std::nullopt;
  return status_of(st);
}

namespace {

class InotifyWatch final : public FolderWatch {
 public:
  explicit InotifyWatch(int fd) : fd_(fd) {}
  ~InotifyWatch() override { ::close(fd_); }
  bool changed() override {
    alignas(inotify_event) char events[4096];
    bool any = false;
    for (;;) {
      const ssize_t n = ::read(fd_, events, sizeof events);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;  // EAGAIN: the queue is empty
      any = true;
      for (ssize_t at = 0; at < n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(events + at);
        if ((e->mask & (IN_Q_OVERFLOW | IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) != 0)
          blind_ = true;
        at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
      }
    }
    return any || blind_;
  }

 private:
  int fd_;
  bool blind_ = false;  // the folder went away, or events were lost: every look is a change
};

}  // namespace

std::unique_ptr<FolderWatch> FileSystem::watch_folder(const std::string& folder) {
  const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd < 0) return nullptr;
  constexpr std::uint32_t kChanges = IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_CREATE |
                                     IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF |
                                     IN_MOVE_SELF | IN_ONLYDIR;
  if (::inotify_add_watch(fd, folder.c_str(), kChanges) < 0) {
    const int err = errno;
    ::close(fd);
    errno = err;
    return nullptr;
  }
  return std::make_unique<InotifyWatch>(fd);
}

ssize_t FileSystem::pwrite(int fd, const void* buf, std::size_t n, off_t offset) {
  return retry_eintr([&] { return ::pwrite(fd, buf, n, offset); });
}

ssize_t FileSystem::pread(int fd, void* buf, std::size_t n, off_t offset) {
  return retry_eintr([&] { return ::pread(fd, buf, n, offset); });
}

int FileSystem::ftruncate(int fd, off_t length) {
  return retry_eintr([&] { return ::ftruncate(fd, length); });
}

std::optional<std::string> FileSystem::read_link(const std::string& path) {
  std::string target(256, '\0');
  for (;;) {
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n < 0) return std::nullopt;
    // A target that fills the buffer may have been cut: try again with more room.
    if (static_cast<std::size_t>(n) < target.size()) {
      target.resize(static_cast<std::size_t>(n));
      return target;
    }
    target.resize(target.size() * 2);
  }
}

int FileSystem::symlink(const std::string& target, const std::string& path) {
  return ::symlink(target.c_str(), path.c_str());
}

int FileSystem::mkdir(const std::string& path, mode_t mode) {
  return ::mkdir(path.c_str(), mode);
}

int FileSystem::sync_folder(const std::string& path) {
  const int fd =
      retry_eintr([&] { return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
  if (fd < 0) return -1;
  // EINVAL: a file system that has nothing to flush for folders.
  if (retry_eintr([&] { return ::fsync(fd); }) != 0 && errno != EINVAL) {
    const int err = errno;
    ::close(fd);
    errno = err;
    return -1;
  }
  return ::close(fd);
}

int FileSystem::flock(int fd, int operation) {
  return retry_eintr([&] { return ::flock(fd, operation); });
}

std::vector<std::string> FileSystem::list_folder(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return names;
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  return names;
}

FileSystem& posix_file_system() {
  static PosixFileSystem fs;
  return fs;
}

std::string errno_text(int err) {
  return std::strerror(err);
}

bool write_all(FileSystem& fs, int fd, const void* data, std::size_t n) {
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    ssize_t w = fs.write(fd, p, n);
    if (w < 0) return false;
    if (w == 0) {  // no progress: treat as a full device rather than spin
      errno = ENOSPC;
      return false;
    }
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

void write_file_atomically(const std::string& path, std::string_view bytes, FileSystem& fs,
                           bool sync_to_disk) {
  // The pid keeps two processes replacing the same file from sharing one temporary file.
  const std::string tmp = atomic_temporary_prefix(path) + std::to_string(::getpid());
  int fd = fs.open(tmp, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) {
    throw io::StreamError("cannot create '" + tmp + "': " + errno_text(errno));
  }
  auto fail = [&](const char* what) {
    int err = errno;
    fs.close(fd);
    fs.unlink(tmp);
    throw io::StreamError(std::string(what) + " '" + tmp + "': " + errno_text(err));
  };
  if (!write_all(fs, fd, bytes.data(), bytes.size())) fail("cannot write");
  if (sync_to_disk && fs.fsync(fd) != 0) fail("cannot flush");
  if (fs.close(fd) != 0) {
    int err = errno;
    fs.unlink(tmp);
    throw io::StreamError("cannot close '" + tmp + "': " + errno_text(err));
  }
  if (fs.rename(tmp, path) != 0) {
    int err = errno;
    fs.unlink(tmp);
    throw io::StreamError("cannot replace '" + path + "': " + errno_text(err));
  }
  if (sync_to_disk && fs.sync_folder(parent_folder(path)) != 0) {
    throw io::StreamError("'" + path + "' was replaced, but its folder '" + parent_folder(path) +
                          "' cannot be flushed to disk (" + errno_text(errno) +
                          "); a power loss may bring back the previous content");
  }
}

std::string atomic_temporary_prefix(const std::string& path) {
  return path + ".tmp";
}

std::vector<std::string> remove_atomic_leftovers(const std::string& path, FileSystem& fs) {
  const std::filesystem::path target(path);
  std::string folder = target.parent_path().string();
  if (folder.empty()) folder = ".";
  const std::string prefix = atomic_temporary_prefix(target.filename().string());
  std::vector<std::string> removed;
  for (const std::string& name : fs.list_folder(folder)) {
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string pid = name.substr(prefix.size());
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    if (fs.unlink(folder + "/" + name) == 0) removed.push_back(name);
  }
  return removed;
}

std::optional<std::string> read_whole_file(const std::string& path, FileSystem& fs,
                                           std::size_t max_bytes) {
  int fd = fs.open(path, O_RDONLY, 0);
  if (fd < 0) return std::nullopt;
  auto fail = [&](int err) -> std::optional<std::string> {
    fs.close(fd);
    errno = err;
    return std::nullopt;
  };
  std::string out;
  // A device or a FIFO reports size 0 and may never end: the limit, not the size, bounds
  // the loop.
  const std::int64_t size = fs.file_size(fd);
  if (size > 0 && static_cast<std::uint64_t>(size) > max_bytes) return fail(EFBIG);
  if (size > 0) out.reserve(static_cast<std::size_t>(size));
  char buf[1 << 15];
  for (;;) {
    // One byte past the limit is enough to know the file is too large.
    const std::size_t room = max_bytes - out.size() + 1;
    ssize_t r = fs.read(fd, buf, std::min(sizeof buf, room));
    if (r < 0) return fail(errno);
    if (r == 0) break;
    out.append(buf, static_cast<std::size_t>(r));
    if (out.size() > max_bytes) return fail(EFBIG);
  }
  fs.close(fd);
  return out;
}

std::string byte_count_text(std::size_t bytes) {
  constexpr std::size_t kKiB = 1024, kMiB = kKiB * 1024;
  if (bytes >= kMiB && bytes % kMiB == 0) return std::to_string(bytes / kMiB) + " MiB";
  if (bytes >= kKiB && bytes % kKiB == 0) return std::to_string(bytes / kKiB) + " KiB";
  return std::to_string(bytes) + " bytes";
}

std::string read_failure_text(int err, std::size_t max_bytes) {
  if (err == EFBIG) {
    return "larger than " + byte_count_text(max_bytes) + ", the most such a file may hold";
  }
  return errno_text(err);
}

bool exists(FileSystem& fs, const std::string& path) {
  return fs.stat(path).has_value();
}

bool is_folder(FileSystem& fs, const std::string& path) {
  const auto status = fs.stat(path);
  return status && status->is_folder();
}

bool missing(FileSystem& fs, const std::string& path) {
  if (fs.stat(path)) return false;
  return errno == ENOENT || errno == ENOTDIR;
}

bool make_dirs(FileSystem& fs, const std::string& path) {
  std::string folder = path;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (folder.empty()) folder = ".";
  if (const auto status = fs.stat(folder)) {
    if (status->is_folder()) return true;
    errno = ENOTDIR;
    return false;
  }
  if (errno != ENOENT) return false;
  const std::string parent = std::filesystem::path(folder).parent_path().string();
  if (!parent.empty() && parent != folder && !make_dirs(fs, parent)) return false;
  if (fs.mkdir(folder, 0755) == 0) return true;
  // Another process may have made it meanwhile.
  const int err = errno;
  if (err == EEXIST && is_folder(fs, folder)) return true;
  errno = err == EEXIST ? ENOTDIR : err;
  return false;
}

}  // namespace lib
