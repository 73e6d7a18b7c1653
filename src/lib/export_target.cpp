#include "lib/export_target.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "lib/binary_stream.h"

namespace lib {
namespace {

// As the system counts them before it gives up with ELOOP.
constexpr int kMaxLinks = 40;

std::string folder_of(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

ExportTarget::ExportTarget(std::string path, FileSystem& fs) : path_(std::move(path)), fs_(fs) {
  if (path_ == kStandardOutput) {
    target_ = path_;
    streamed_ = true;
    status_ = fs_.fstat(STDOUT_FILENO);
    return;
  }
  target_ = path_;
  for (int links = 0;; ++links) {
    const std::optional<std::string> next = fs_.read_link(target_);
    if (!next) {
      if (errno == EINVAL || errno == ENOENT) break;  // not a link, or nothing there
      fail("cannot read the link", target_, errno);
    }
    if (links == kMaxLinks) fail("cannot follow", path_, ELOOP);
    target_ = !next->empty() && next->front() == '/' ? *next : folder_of(target_) + *next;
  }
  status_ = fs_.stat(target_);
  if (!status_ && errno != ENOENT) fail("cannot look at", target_, errno);
  if (status_ && status_->is_folder()) fail("cannot write into", target_, EISDIR);
  streamed_ = status_ && !status_->is_regular();
}

ExportTarget::~ExportTarget() {
  discard();
}

void ExportTarget::fail(const std::string& what, const std::string& path, int err) {
  throw io::StreamError(what + " '" + path + "'" + (path == path_ ? "" : " (for '" + path_ + "')") +
                        ": " + errno_text(err));
}

void ExportTarget::discard() {
  if (fd_ >= 0 && fd_ != STDOUT_FILENO) fs_.close(fd_);
  fd_ = -1;
  if (!temporary_.empty()) fs_.unlink(temporary_);
  temporary_.clear();
}

void ExportTarget::open() {
  if (target_ == kStandardOutput) {
    fd_ = STDOUT_FILENO;
    return;
  }
  if (streamed_) {
    // No O_CREAT and no O_TRUNC: what is there is written to, never made or cut.
    fd_ = fs_.open(target_, O_WRONLY | O_CLOEXEC, 0);
    if (fd_ < 0) fail("cannot open", target_, errno);
    return;
  }
  // The pid keeps two exports to the same file from sharing one temporary file.
  temporary_ = atomic_temporary_prefix(target_) + std::to_string(::getpid());
  fd_ = fs_.open(temporary_, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    const int err = errno;
    temporary_.clear();
    fail("cannot create", atomic_temporary_prefix(target_) + std::to_string(::getpid()), err);
  }
}

void ExportTarget::write(std::string_view bytes) {
  if (fd_ < 0) open();
  if (!write_all(fs_, fd_, bytes.data(), bytes.size())) {
    const int err = errno;
    const std::string written = temporary_.empty() ? target_ : temporary_;
    discard();
    fail("cannot write", written, err);
  }
}

void ExportTarget::commit() {
  if (fd_ < 0) open();
  if (target_ == kStandardOutput) {
    fd_ = -1;
    return;
  }
  if (streamed_) {
    const int fd = fd_;
    fd_ = -1;
    if (fs_.close(fd) != 0) fail("cannot close", target_, errno);
    return;
  }
  auto give_up = [&](const char* what, const std::string& path) {
    const int err = errno;
    discard();
    fail(what, path, err);
  };
  if (fs_.fsync(fd_) != 0) give_up("cannot flush", temporary_);
  const int fd = fd_;
  fd_ = -1;
  if (fs_.close(fd) != 0) give_up("cannot close", temporary_);
  if (fs_.rename(temporary_, target_) != 0) give_up("cannot replace", target_);
  temporary_.clear();
}

}  // namespace lib
