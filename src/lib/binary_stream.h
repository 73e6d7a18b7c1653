// Binary streams: little-endian numbers and length-prefixed strings, on every host.
// The frame of each value is described in docs/binary-streams.md.
#pragma once

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "lib/date_time.h"
#include "lib/file_system.h"
#include "lib/str_enc.h"

namespace lib::io {

// Raised on a read past the end, a length that does not fit what is left, or a failed
// file operation. Its message says which.
class StreamError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Strings longer than this are refused on reading, whatever the stream says.
inline constexpr std::uint32_t kMaxStringBytes = 64u << 20;

class OutputStream {
 public:
  virtual ~OutputStream() = default;
  virtual void write(const void* data, std::size_t n) = 0;
  // Bytes written so far.
  virtual std::uint64_t position() const = 0;

  StringEnc string_encoding() const { return enc_; }
  void set_string_encoding(StringEnc enc) { enc_ = enc; }

 private:
  StringEnc enc_ = StringEnc::kUtf8;
};

class InputStream {
 public:
  virtual ~InputStream() = default;
  // Reads exactly n bytes or throws StreamError.
  virtual void read(void* data, std::size_t n) = 0;
  virtual std::uint64_t position() const = 0;
  virtual std::uint64_t size() const = 0;
  virtual void seek(std::uint64_t pos) = 0;
  std::uint64_t remaining() const { return size() - position(); }
  bool at_end() const { return position() >= size(); }

  StringEnc string_encoding() const { return enc_; }
  void set_string_encoding(StringEnc enc) { enc_ = enc; }

 private:
  StringEnc enc_ = StringEnc::kUtf8;
};

// Output into memory.
class BinaryMemoryOutputStream final : public OutputStream {
 public:
  void write(const void* data, std::size_t n) override;
  std::uint64_t position() const override { return data_.size(); }
  const std::string& data() const { return data_; }
  std::string release() { return std::move(data_); }
  void clear() { data_.clear(); }

 private:
  std::string data_;
};

// Input from memory. Holds a view unless constructed from an rvalue string.
class BinaryMemoryInputStream final : public InputStream {
 public:
  explicit BinaryMemoryInputStream(std::string_view bytes) : view_(bytes) {}
  explicit BinaryMemoryInputStream(std::string&& bytes) : owned_(std::move(bytes)), view_(owned_) {}
  BinaryMemoryInputStream(const BinaryMemoryInputStream&) = delete;
  BinaryMemoryInputStream& operator=(const BinaryMemoryInputStream&) = delete;

  void read(void* data, std::size_t n) override;
  std::uint64_t position() const override { return pos_; }
  std::uint64_t size() const override { return view_.size(); }
  void seek(std::uint64_t pos) override;
  // The bytes not yet read.
  std::string_view rest() const { return view_.substr(pos_); }

 private:
  std::string owned_;
  std::string_view view_;
  std::size_t pos_ = 0;
};

// Buffered output to a file. Opening creates a missing file; with append the writes go
// after the existing content, otherwise the file is truncated. Errors throw StreamError.
class BinaryOutputFileStream final : public OutputStream {
 public:
  explicit BinaryOutputFileStream(FileSystem& fs) : fs_(fs) {}
  BinaryOutputFileStream(const std::string& path, bool append, FileSystem& fs);
  ~BinaryOutputFileStream() override;  // flushes, swallowing errors; call close() to see them
  BinaryOutputFileStream(const BinaryOutputFileStream&) = delete;
  BinaryOutputFileStream& operator=(const BinaryOutputFileStream&) = delete;

  void open(const std::string& path, bool append);
  bool is_open() const { return fd_ >= 0; }
  void write(const void* data, std::size_t n) override;
  std::uint64_t position() const override { return pos_; }
  void flush();
  // Flushes the buffer and forces the data to disk.
  void sync();
  void close();

 private:
  FileSystem& fs_;
  std::string path_;
  int fd_ = -1;
  std::uint64_t pos_ = 0;
  std::vector<char> buf_;
};

// Input from a whole file, read into memory on opening (the state files are small; the
// recording files have their own mapped reader). A file larger than `max_bytes` (or an
// endless input) is refused with a StreamError naming the file and the limit.
class BinaryInputStream final : public InputStream {
 public:
  explicit BinaryInputStream(const std::string& path, FileSystem& fs,
                             std::size_t max_bytes = kDefaultMaxFileBytes);
  void read(void* data, std::size_t n) override { mem_.read(data, n); }
  std::uint64_t position() const override { return mem_.position(); }
  std::uint64_t size() const override { return mem_.size(); }
  void seek(std::uint64_t pos) override { mem_.seek(pos); }

 private:
  static std::string load(const std::string& path, FileSystem& fs, std::size_t max_bytes);
  BinaryMemoryInputStream mem_;
};

// ---- values -------------------------------------------------------------------------------

template <class T>
concept BinaryScalar =
    std::is_arithmetic_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, long double>;

namespace detail {
template <std::size_t N>
struct UintOfSize;
template <>
struct UintOfSize<1> {
  using type = std::uint8_t;
};
template <>
struct UintOfSize<2> {
  using type = std::uint16_t;
};
template <>
struct UintOfSize<4> {
  using type = std::uint32_t;
};
template <>
struct UintOfSize<8> {
  using type = std::uint64_t;
};
}  // namespace detail

template <BinaryScalar T>
void write_binary(OutputStream& out, T value) {
  typename detail::UintOfSize<sizeof(T)>::type bits;
  std::memcpy(&bits, &value, sizeof(T));
  unsigned char bytes[sizeof(T)];
  for (std::size_t i = 0; i < sizeof(T); ++i)
    bytes[i] = static_cast<unsigned char>(bits >> (8 * i));
  out.write(bytes, sizeof(T));
}

template <BinaryScalar T>
void read_binary(InputStream& in, T& value) {
  unsigned char bytes[sizeof(T)];
  in.read(bytes, sizeof(T));
  typename detail::UintOfSize<sizeof(T)>::type bits = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    bits |= static_cast<decltype(bits)>(static_cast<decltype(bits)>(bytes[i]) << (8 * i));
  }
  std::memcpy(&value, &bits, sizeof(T));
}

// bool: one byte, 0 or 1 (any non-zero byte reads as true).
void write_binary(OutputStream& out, bool value);
void read_binary(InputStream& in, bool& value);

// String: 32-bit byte count, then the bytes in the stream's string encoding.
void write_binary(OutputStream& out, std::string_view value);
inline void write_binary(OutputStream& out, const std::string& value) {
  write_binary(out, std::string_view(value));
}
inline void write_binary(OutputStream& out, const char* value) {
  write_binary(out, std::string_view(value));
}
void read_binary(InputStream& in, std::string& value);

// Date-time: the day-based double.
void write_binary(OutputStream& out, DateTime value);
void read_binary(InputStream& in, DateTime& value);

// Raw bytes without a length.
void write_bytes(OutputStream& out, std::string_view bytes);
std::string read_bytes(InputStream& in, std::size_t n);

// Convenience reader: read_binary<T>(in).
template <class T>
T read_binary(InputStream& in) {
  T value{};
  read_binary(in, value);
  return value;
}

}  // namespace lib::io
