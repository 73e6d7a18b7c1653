#include "lib/rewritten_file.h"

#include <fcntl.h>

#include <utility>

namespace lib {

RewrittenFile::RewrittenFile(std::string path, FileSystem& fs) : path_(std::move(path)), fs_(fs) {}

RewrittenFile::~RewrittenFile() {
  close_file();
}

void RewrittenFile::close_file() {
  if (fd_ >= 0) fs_.close(fd_);
  fd_ = -1;
}

bool RewrittenFile::write_in_place(std::string_view bytes) {
  if (fd_ < 0) return false;
  // Another program may have deleted, replaced or cut the file; writing on through the old
  // descriptor would feed a file nobody can open any more.
  const auto status = fs_.fstat(fd_);
  if (!status || status->links == 0 || status->size != size_) {
    close_file();
    return false;
  }
  const auto size = static_cast<std::int64_t>(bytes.size());
  if (fs_.pwrite(fd_, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size()) &&
      (size >= size_ || fs_.ftruncate(fd_, size) == 0)) {
    size_ = size;
    return true;
  }
  // A short or failed write may have left parts of two contents: replaced whole instead.
  close_file();
  return false;
}

void RewrittenFile::write(std::string_view bytes) {
  if (write_in_place(bytes)) return;
  write_file_atomically(path_, bytes, fs_, /*sync_to_disk=*/false);
  // Kept open for the next write; when it cannot be opened the next write replaces it again.
  fd_ = fs_.open(path_, O_WRONLY | O_CLOEXEC, 0);
  size_ = static_cast<std::int64_t>(bytes.size());
}

}  // namespace lib
