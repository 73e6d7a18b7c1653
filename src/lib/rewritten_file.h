// A small file the station rewrites whole every tick or two for programs beside it
// (data/kvb.dat, the live frame), at a path they open afresh each time they read.
//
// Rewritten in place through a descriptor kept open while the file at the path is still the
// one written last (cut to the new size when it shrinks): one or two calls instead of a
// temporary file, a rename and new pages each time, which is most of what such a file costs.
// Replaced atomically (write_file_atomically, never flushed to disk) the first time and when
// someone else removed, replaced, cut or grew the file, so it never goes missing once it
// exists.
//
// An in-place write is not atomic for a reader that reads at that moment: it may read parts
// of two contents, or a content with the other's size. Readers either hold a lock the
// writer's caller also holds around every write (a file of one fixed size), or check what
// they read (a length and a CRC) and read again.
//
// Not thread-safe: one writer per object.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "lib/file_system.h"

namespace lib {

class RewrittenFile {
 public:
  RewrittenFile(std::string path, FileSystem& fs);
  ~RewrittenFile();
  RewrittenFile(const RewrittenFile&) = delete;
  RewrittenFile& operator=(const RewrittenFile&) = delete;

  // Puts `bytes` in the file. A write cut short in place (a full memory file system) is made
  // good at once by replacing the file whole. Throws io::StreamError naming the file when it
  // cannot be written at all; the file then holds the last content written or is replaced
  // whole at the next call.
  void write(std::string_view bytes);

  const std::string& path() const { return path_; }

 private:
  bool write_in_place(std::string_view bytes);
  void close_file();

  std::string path_;
  FileSystem& fs_;
  int fd_ = -1;
  std::int64_t size_ = 0;  // of what was written last: any other size is someone else's doing
};

}  // namespace lib
