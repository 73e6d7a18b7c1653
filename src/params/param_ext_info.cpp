#include "params/param_ext_info.h"

#include <cstdint>

#include "lib/str_utils.h"

namespace params {

std::string ParamExtInfo::get(std::string_view key) const {
  auto it = values_.find(key);
  return it == values_.end() ? std::string() : it->second;
}

double ParamExtInfo::get_float(std::string_view key) const {
  auto it = values_.find(key);
  return it == values_.end() ? 0.0 : lib::str_to_float(it->second);
}

void ParamExtInfo::set(std::string_view key, std::string_view value) {
  values_.insert_or_assign(std::string(key), std::string(value));
}

void ParamExtInfo::save(lib::io::OutputStream& out) const {
  lib::io::write_binary(out, static_cast<std::int32_t>(values_.size()));
  for (const auto& [key, value] : values_) {
    lib::io::write_binary(out, key);
    lib::io::write_binary(out, value);
  }
}

void ParamExtInfo::load(lib::io::InputStream& in) {
  const auto count = lib::io::read_binary<std::int32_t>(in);
  // Every pair takes at least its two 4-byte lengths, which bounds an honest count.
  if (count < 0 || static_cast<std::uint64_t>(count) * 8 > in.remaining()) {
    throw lib::io::StreamError("extended information announces " + std::to_string(count) +
                               " pairs, which do not fit the data left");
  }
  Map read;
  for (std::int32_t i = 0; i < count; ++i) {
    std::string key = lib::io::read_binary<std::string>(in);
    std::string value = lib::io::read_binary<std::string>(in);
    read.insert_or_assign(std::move(key), std::move(value));
  }
  values_ = std::move(read);
}

}  // namespace params
