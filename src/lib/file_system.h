// The seam between the library and the operating system's file calls. Production code uses
// posix_file_system(); tests hand a fake to the code under test to inject short writes,
// a full disk or failing renames without touching real hardware.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lib {

// Each call has POSIX semantics: -1 with errno set on failure.
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
void write_file_atomically(const std::string& path, std::string_view bytes,
                           FileSystem& fs = posix_file_system(), bool sync_to_disk = true);

// The prefix of the temporary files write_file_atomically makes for `path` (the process id
// follows it).
std::string atomic_temporary_prefix(const std::string& path);

// Removes what saves of `path` killed midway left behind (the prefix above followed by a
// process id) and returns the names removed. Call it only while no other process may be
// saving the same file (under the station's home lock).
std::vector<std::string> remove_atomic_leftovers(const std::string& path,
                                                 FileSystem& fs = posix_file_system());

// The most read_whole_file takes in unless its caller names a limit for its kind of file:
// far above any settings file, table or journal a station writes, small enough that a
// path naming an endless input (/dev/zero, a FIFO fed forever) stops within a second
// instead of filling the memory.
inline constexpr std::size_t kDefaultMaxFileBytes = std::size_t{64} << 20;

// The whole content of a file, or nullopt (errno set) when it cannot be opened or read.
// A file holding more than `max_bytes` is not taken: nullopt with errno EFBIG, after
// reading at most max_bytes + 1 bytes of it.
std::optional<std::string> read_whole_file(const std::string& path,
                                           FileSystem& fs = posix_file_system(),
                                           std::size_t max_bytes = kDefaultMaxFileBytes);

// Why read_whole_file gave nothing, for a message naming the file: for EFBIG "larger than
// <limit>, the most such a file may hold", else the system's text of `err`.
std::string read_failure_text(int err, std::size_t max_bytes = kDefaultMaxFileBytes);

// A byte count the way people read it: "512 bytes", "4 KiB", "64 MiB".
std::string byte_count_text(std::size_t bytes);

// Creates a folder and its parents; true when it exists afterwards.
bool make_dirs(const std::string& path);

// Text of an errno value.
std::string errno_text(int err);

}  // namespace lib
