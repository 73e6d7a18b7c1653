#include "core/shared_values.h"

#include <fcntl.h>

#include <mutex>
#include <utility>

#include "core/shared_values_format.h"
#include "lib/binary_stream.h"

namespace reg {

std::string encode_shared_values(const SharedValues& v) {
  lib::io::BinaryMemoryOutputStream out;
  for (double d :
       {v.bottom_hole_depth, v.bit_depth, v.hook_load, v.block_position, v.inlet_pressure}) {
    lib::io::write_binary(out, static_cast<float>(d));
  }
  return out.release();
}

std::optional<SharedValues> decode_shared_values(std::string_view bytes) {
  if (bytes.size() != kvb::kFileBytes) return std::nullopt;
  lib::io::BinaryMemoryInputStream in(bytes);
  float f[kvb::kValueCount];
  for (float& x : f) lib::io::read_binary(in, x);
  return SharedValues{f[0], f[1], f[2], f[3], f[4]};
}

SharedValuesWriter::SharedValuesWriter(std::string path, lib::lock_object& lock,
                                       lib::FileSystem& fs)
    : path_(std::move(path)), lock_(lock), fs_(fs) {}

SharedValuesWriter::~SharedValuesWriter() {
  close_file();
}

void SharedValuesWriter::close_file() {
  if (fd_ >= 0) fs_.close(fd_);
  fd_ = -1;
}

bool SharedValuesWriter::write(const SharedValues& v) {
  const std::string bytes = encode_shared_values(v);
  std::lock_guard guard(lock_);
  if (fd_ >= 0) {
    // Another program may have deleted, replaced or cut the file; writing on through the
    // old descriptor would feed a file nobody can open any more.
    auto status = fs_.fstat(fd_);
    if (!status || status->links == 0 || status->size != static_cast<std::int64_t>(bytes.size())) {
      close_file();
    }
  }
  if (fd_ < 0) {
    try {
      // Rewritten every second: atomic for readers, but not worth a disk flush.
      lib::write_file_atomically(path_, bytes, fs_, /*sync_to_disk=*/false);
    } catch (const std::exception&) {
      return false;
    }
    fd_ = fs_.open(path_, O_WRONLY, 0);
    return true;  // this tick's record is in place; keeping the file open may wait
  }
  if (fs_.pwrite(fd_, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size())) {
    return true;
  }
  // A short or failed write may have left a mixed record: make it whole next time.
  close_file();
  return false;
}

std::optional<SharedValues> read_shared_values(const std::string& path, lib::lock_object& lock,
                                               lib::FileSystem& fs) {
  std::lock_guard guard(lock);
  auto bytes = lib::read_whole_file(path, fs);
  if (!bytes) return std::nullopt;
  return decode_shared_values(*bytes);
}

}  // namespace reg
