#include "lib/binary_stream.h"

#include <fcntl.h>

#include <cerrno>

namespace lib::io {
namespace {
constexpr std::size_t kFileBufferBytes = 64 * 1024;
}

// ---- memory streams -------------------------------------------------------------------------

void BinaryMemoryOutputStream::write(const void* data, std::size_t n) {
  data_.append(static_cast<const char*>(data), n);
}

void BinaryMemoryInputStream::read(void* data, std::size_t n) {
  if (n > view_.size() - pos_) {
    throw StreamError("read past the end of the data: " + std::to_string(n) + " bytes wanted at " +
                      std::to_string(pos_) + ", " + std::to_string(view_.size() - pos_) + " left");
  }
  if (n > 0) std::memcpy(data, view_.data() + pos_, n);
  pos_ += n;
}

void BinaryMemoryInputStream::seek(std::uint64_t pos) {
  if (pos > view_.size()) {
    throw StreamError("seek to " + std::to_string(pos) + " past the end (" +
                      std::to_string(view_.size()) + " bytes)");
  }
  pos_ = static_cast<std::size_t>(pos);
}

// ---- file output ----------------------------------------------------------------------------

BinaryOutputFileStream::BinaryOutputFileStream(const std::string& path, bool append, FileSystem& fs)
    : fs_(fs) {
  open(path, append);
}

BinaryOutputFileStream::~BinaryOutputFileStream() {
  try {
    close();
  } catch (const StreamError&) {
    // A destructor cannot report; callers that care call close() themselves.
  }
}

void BinaryOutputFileStream::open(const std::string& path, bool append) {
  close();
  int flags = O_WRONLY | O_CREAT | (append ? O_APPEND : O_TRUNC);
  int fd = fs_.open(path, flags, 0644);
  if (fd < 0) throw StreamError("cannot open '" + path + "' for writing: " + errno_text(errno));
  fd_ = fd;
  path_ = path;
  pos_ = 0;
  buf_.clear();
  buf_.reserve(kFileBufferBytes);
}

void BinaryOutputFileStream::write(const void* data, std::size_t n) {
  if (fd_ < 0) throw StreamError("write to a file stream that is not open");
  if (buf_.size() + n > kFileBufferBytes) flush();
  if (n >= kFileBufferBytes) {
    if (!write_all(fs_, fd_, data, n)) {
      throw StreamError("cannot write '" + path_ + "': " + errno_text(errno));
    }
  } else {
    const char* p = static_cast<const char*>(data);
    buf_.insert(buf_.end(), p, p + n);
  }
  pos_ += n;
}

void BinaryOutputFileStream::flush() {
  if (fd_ < 0 || buf_.empty()) return;
  bool ok = write_all(fs_, fd_, buf_.data(), buf_.size());
  int err = errno;
  buf_.clear();
  if (!ok) throw StreamError("cannot write '" + path_ + "': " + errno_text(err));
}

void BinaryOutputFileStream::sync() {
  flush();
  if (fd_ >= 0 && fs_.fsync(fd_) != 0) {
    throw StreamError("cannot flush '" + path_ + "' to disk: " + errno_text(errno));
  }
}

void BinaryOutputFileStream::close() {
  if (fd_ < 0) return;
  int fd = fd_;
  try {
    flush();
  } catch (...) {
    fs_.close(fd);
    fd_ = -1;
    throw;
  }
  fd_ = -1;
  if (fs_.close(fd) != 0) throw StreamError("cannot close '" + path_ + "': " + errno_text(errno));
}

// ---- file input -----------------------------------------------------------------------------

BinaryInputStream::BinaryInputStream(const std::string& path, FileSystem& fs, std::size_t max_bytes)
    : mem_(load(path, fs, max_bytes)) {}

std::string BinaryInputStream::load(const std::string& path, FileSystem& fs,
                                    std::size_t max_bytes) {
  auto bytes = read_whole_file(path, fs, max_bytes);
  if (!bytes) {
    throw StreamError("cannot read '" + path + "': " + read_failure_text(errno, max_bytes));
  }
  return std::move(*bytes);
}

// ---- values ---------------------------------------------------------------------------------

void write_binary(OutputStream& out, bool value) {
  std::uint8_t b = value ? 1 : 0;
  out.write(&b, 1);
}

void read_binary(InputStream& in, bool& value) {
  std::uint8_t b = 0;
  in.read(&b, 1);
  value = b != 0;
}

void write_binary(OutputStream& out, std::string_view value) {
  std::string encoded;
  std::string_view bytes = value;
  if (out.string_encoding() != StringEnc::kUtf8) {
    encoded = StrEncConverter(out.string_encoding()).from_utf8(value);
    bytes = encoded;
  }
  if (bytes.size() > kMaxStringBytes) {
    throw StreamError("string of " + std::to_string(bytes.size()) + " bytes is too long to write");
  }
  write_binary(out, static_cast<std::uint32_t>(bytes.size()));
  out.write(bytes.data(), bytes.size());
}

void read_binary(InputStream& in, std::string& value) {
  std::uint32_t n = 0;
  read_binary(in, n);
  // Check the length against what is left before allocating, so a damaged length
  // cannot make us reserve gigabytes.
  if (n > in.remaining() || n > kMaxStringBytes) {
    throw StreamError("string length " + std::to_string(n) + " at offset " +
                      std::to_string(in.position() - 4) + " does not fit the " +
                      std::to_string(in.remaining()) + " bytes left");
  }
  std::string bytes(n, '\0');
  in.read(bytes.data(), n);
  // Damaged UTF-8 is mended here, where it enters: every reader of a file gets text it can
  // show and write as JSON.
  value = in.string_encoding() == StringEnc::kUtf8 && is_valid_utf8(bytes)
              ? std::move(bytes)
              : StrEncConverter(in.string_encoding()).to_utf8(bytes);
}

void write_binary(OutputStream& out, DateTime value) {
  write_binary(out, value.days);
}
void read_binary(InputStream& in, DateTime& value) {
  read_binary(in, value.days);
}

void write_bytes(OutputStream& out, std::string_view bytes) {
  out.write(bytes.data(), bytes.size());
}

std::string read_bytes(InputStream& in, std::size_t n) {
  if (n > in.remaining()) {
    throw StreamError("block of " + std::to_string(n) + " bytes at offset " +
                      std::to_string(in.position()) + " does not fit the " +
                      std::to_string(in.remaining()) + " bytes left");
  }
  std::string out(n, '\0');
  in.read(out.data(), n);
  return out;
}

}  // namespace lib::io
