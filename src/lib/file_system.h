// The seam between the library and the operating system's file calls. Production code uses
// posix_file_system(); tests hand a fake to the code under test to inject short writes,
// a full disk or failing renames without touching real hardware.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lib/folder_watch.h"

namespace lib {

// What stat tells about a path.
struct FileStatus {
  enum class Kind { regular, folder, other };
  Kind kind = Kind::other;
  std::int64_t size = 0;
  unsigned permissions = 0;      // the mode's permission bits (07777)
  std::int64_t modified_ns = 0;  // nanoseconds since the Unix epoch
  // An atomic replace makes a new inode, which tells two rewrites within one tick of the
  // file system's clock apart even when the sizes match.
  std::uint64_t inode = 0;
  // Names the file has; 0 once an open file was removed or replaced by a rename.
  std::uint64_t links = 0;
  // The device holding the file: with the inode, tells whether two paths are one file.
  std::uint64_t device = 0;
  bool is_folder() const { return kind == Kind::folder; }
  bool is_regular() const { return kind == Kind::regular; }
};

// Each call has POSIX semantics: -1 (or nullopt) with errno set on failure.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  virtual int open(const std::string& path, int flags, mode_t mode) = 0;
  virtual ssize_t read(int fd, void* buf, std::size_t n) = 0;
  virtual ssize_t write(int fd, const void* buf, std::size_t n) = 0;
  virtual int fsync(int fd) = 0;
  virtual int close(int fd) = 0;
  virtual int rename(const std::string& from, const std::string& to) = 0;
  virtual int unlink(const std::string& path) = 0;
  // Size of an open file, or -1.
  virtual std::int64_t file_size(int fd) = 0;
  // An advisory whole-file lock on an open file (flock: LOCK_EX, LOCK_UN, LOCK_NB ...).
  // The lock belongs to the open file, so closing another descriptor of the same file
  // does not release it. The default is the real call, for seams that do not fake locks.
  virtual int flock(int fd, int operation);
  // The names (not paths) of the entries of a folder, in no particular order; empty when
  // it cannot be read. The default reads the real folder.
  virtual std::vector<std::string> list_folder(const std::string& folder);
  // Status of a path, following symbolic links; nullopt (errno set, ENOENT when it does not
  // exist) otherwise. The default asks the real file system.
  virtual std::optional<FileStatus> stat(const std::string& path);
  // What the symbolic link at `path` holds, as it holds it (relative to the link's folder
  // unless it starts with '/'); nullopt (errno set: EINVAL when the path is not a link,
  // ENOENT when nothing is there) otherwise. The default is the real call.
  virtual std::optional<std::string> read_link(const std::string& path);
  // Makes `path` a symbolic link holding `target`. The default is the real call.
  virtual int symlink(const std::string& target, const std::string& path);
  // Creates one folder (its parent must exist). The default is the real call.
  virtual int mkdir(const std::string& path, mode_t mode);
  // Flushes a folder's entries to disk, so a rename or a new file in it survives a power
  // loss. The default is the real call.
  virtual int sync_folder(const std::string& path);
  // Writes at an offset without moving the file position. The default is the real call.
  virtual ssize_t pwrite(int fd, const void* buf, std::size_t n, off_t offset);
  // Reads at an offset without moving the file position. The default is the real call.
  virtual ssize_t pread(int fd, void* buf, std::size_t n, off_t offset);
  // Cuts or extends an open file to `length` bytes. The default is the real call.
  virtual int ftruncate(int fd, off_t length);
  // Status of an open file. The default is the real call.
  virtual std::optional<FileStatus> fstat(int fd);
  // A watch of one folder's changes; null (errno set) when the folder cannot be watched. The
  // default watches the real folder (inotify).
  virtual std::unique_ptr<FolderWatch> watch_folder(const std::string& folder);
};

// The real file system. Retries calls interrupted by signals.
FileSystem& posix_file_system();

// Writes all bytes, looping over short writes; false (errno set) when the file system
// refuses or stops making progress.
bool write_all(FileSystem& fs, int fd, const void* data, std::size_t n);

// Replaces `path` with `bytes` so that a reader, a crash or a power loss sees either the old
// file or the new one, never a mix: the bytes go to a temporary file beside it, are flushed
// to disk, and the temporary file is renamed over the target. Throws lib::io::StreamError
// with the path and the system's reason on failure; the old file is then untouched and the
// temporary file removed.
// With sync_to_disk false the flush is skipped: readers still never see a partial file,
// but a power loss may lose the newest content (right for files rewritten every second).
// The folder is synced after the rename; when that fails the new file is in place but the
// rename may not survive a power loss, and the StreamError says so.
void write_file_atomically(const std::string& path, std::string_view bytes, FileSystem& fs,
                           bool sync_to_disk = true);

// The prefix of the temporary files write_file_atomically makes for `path` (the process id
// follows it).
std::string atomic_temporary_prefix(const std::string& path);

// Removes what saves of `path` killed midway left behind (the prefix above followed by a
// process id) and returns the names removed. Call it only while no other process may be
// saving the same file (under the station's home lock).
std::vector<std::string> remove_atomic_leftovers(const std::string& path, FileSystem& fs);

// The most read_whole_file takes in unless its caller names a limit for its kind of file:
// far above any settings file, table or journal a station writes, small enough that a
// path naming an endless input (/dev/zero, a FIFO fed forever) stops within a second
// instead of filling the memory.
inline constexpr std::size_t kDefaultMaxFileBytes = std::size_t{64} << 20;

// The whole content of a file, or nullopt (errno set) when it cannot be opened or read.
// A file holding more than `max_bytes` is not taken: nullopt with errno EFBIG, after
// reading at most max_bytes + 1 bytes of it.
std::optional<std::string> read_whole_file(const std::string& path, FileSystem& fs,
                                           std::size_t max_bytes = kDefaultMaxFileBytes);

// Why read_whole_file gave nothing, for a message naming the file: for EFBIG "larger than
// <limit>, the most such a file may hold", else the system's text of `err`.
std::string read_failure_text(int err, std::size_t max_bytes = kDefaultMaxFileBytes);

// A byte count the way people read it: "512 bytes", "4 KiB", "64 MiB".
std::string byte_count_text(std::size_t bytes);

// True when `path` exists (of any kind) / is a folder. A path whose status cannot be read
// (no permission on a parent) counts as absent; callers that must tell the two apart use
// fs.stat.
bool exists(FileSystem& fs, const std::string& path);
bool is_folder(FileSystem& fs, const std::string& path);
// True only when the system says nothing is there (ENOENT, ENOTDIR): the test before
// creating a file with defaults, which must not overwrite one that merely could not be
// looked at.
bool missing(FileSystem& fs, const std::string& path);

// Creates a folder and its parents; true when it is a folder afterwards, else false with
// errno set (ENOTDIR when the path or a parent is something else).
bool make_dirs(FileSystem& fs, const std::string& path);

// Text of an errno value.
std::string errno_text(int err);

}  // namespace lib
