// Where a command writes what it exports, a path the operator names: a new or existing file,
// a symbolic link, a FIFO another program reads, a device, or "-" for the standard output.
// Each is written as what it is:
// - a regular file, new or existing, is replaced whole: the text goes to a temporary file
//   beside it (atomic_temporary_prefix and the process id), is flushed and renamed over it
//   once complete; an export that fails or is given up removes the temporary file and leaves
//   the earlier file as it was;
// - a symbolic link is followed (through any number of links) to the file it names, which is
//   then written as above: the link stays a link, and a link to nothing gets its file;
// - a FIFO or a device is opened and written straight, with no temporary file (what was
//   written before a failure has gone to the reader already);
// - "-" is the standard output, written straight and left open;
// - a folder is refused.
//
// Every call goes through lib::FileSystem. Failures throw lib::io::StreamError naming the
// path and the system's reason. Not thread-safe: one object, one export.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "lib/file_system.h"

namespace lib {

class ExportTarget {
 public:
  // The path meaning the standard output.
  static constexpr const char* kStandardOutput = "-";

  // Follows links and looks at what is there, opening nothing. Throws when a link cannot be
  // read or leads round in a circle, when the path names a folder, or when what is there
  // cannot be looked at.
  ExportTarget(std::string path, FileSystem& fs);
  ~ExportTarget();  // an export not committed: its temporary file is removed
  ExportTarget(const ExportTarget&) = delete;
  ExportTarget& operator=(const ExportTarget&) = delete;

  const std::string& path() const { return path_; }  // as named
  // The file written: the path after its links; "-" for the standard output.
  const std::string& target() const { return target_; }
  // What the target is before the export (for "-", the standard output); nullopt: nothing
  // there yet.
  const std::optional<FileStatus>& status() const { return status_; }
  // Written straight (a FIFO, a device, the standard output), not replaced.
  bool streamed() const { return streamed_; }

  // Writes the next bytes; the first write opens the temporary file or the stream, so an
  // export that fails before it has anything to write leaves the target untouched.
  void write(std::string_view bytes);
  // Ends the export: a file is flushed and renamed over the target, a stream is closed
  // (the standard output flushed only).
  void commit();

 private:
  void open();
  [[noreturn]] void fail(const std::string& what, const std::string& path, int err);
  void discard();

  std::string path_;
  FileSystem& fs_;
  std::string target_;
  std::optional<FileStatus> status_;
  bool streamed_ = false;
  std::string temporary_;  // empty for a stream
  int fd_ = -1;
};

}  // namespace lib
