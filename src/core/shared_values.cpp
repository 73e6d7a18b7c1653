#include "core/shared_values.h"

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
    : file_(std::move(path), fs), lock_(lock) {}

bool SharedValuesWriter::write(const SharedValues& v) {
  const std::string bytes = encode_shared_values(v);
  std::lock_guard guard(lock_);
  try {
    file_.write(bytes);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

std::optional<SharedValues> read_shared_values(const std::string& path, lib::lock_object& lock,
                                               lib::FileSystem& fs) {
  std::lock_guard guard(lock);
  auto bytes = lib::read_whole_file(path, fs);
  if (!bytes) return std::nullopt;
  return decode_shared_values(*bytes);
}

}  // namespace reg
