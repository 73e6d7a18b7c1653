// Builds parameter files byte by byte, the way the writers of every file version laid
// them out, without the code under test. Tests use it for old versions and to pin the
// layout the current writer must produce.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "lib/str_enc.h"
#include "params/param.h"

namespace params_test {

struct RowFields {
  std::string full_name, short_name, unit, identifier;
  std::int32_t channel = -1;
  float range = 0, zero = 0, scale_min = 0, scale_max = 0;
  std::int32_t averaging = 1;
  std::uint8_t attribute = 0;
  std::int32_t module = 0;
  std::int32_t type = 0;
};

// The row `r` describes, as the table holds it.
inline params::Param param_of(const RowFields& r) {
  params::Param p;
  p.full_name = r.full_name;
  p.short_name = r.short_name;
  p.unit = r.unit;
  p.identifier = r.identifier;
  p.channel = params::USOChannel(r.module, r.channel, r.type);
  p.range = r.range;
  p.zero = r.zero;
  p.scale_min = r.scale_min;
  p.scale_max = r.scale_max;
  p.averaging = r.averaging;
  p.attribute = r.attribute;
  return p;
}

class FileBuilder {
 public:
  // Files start in the 8-bit code page; a header of version 1+ switches to UTF-8.
  FileBuilder& header(std::int32_t version) {
    raw_text("ver=");
    i32(version);
    version_ = version;
    if (version >= 1) utf8_ = true;
    return *this;
  }
  FileBuilder& text(const std::string& utf8) {
    return raw_text(utf8_ ? utf8 : lib::utf8_to_cp1251(utf8));
  }
  FileBuilder& raw_text(const std::string& bytes) {
    bytes_ += bytes;
    bytes_ += '\0';
    return *this;
  }
  FileBuilder& i32(std::int32_t v) { return put(&v, 4); }
  FileBuilder& f32(float v) { return put(&v, 4); }
  FileBuilder& f64(double v) { return put(&v, 8); }
  FileBuilder& u8(std::uint8_t v) { return put(&v, 1); }

  FileBuilder& row(const RowFields& r) {
    text(r.full_name).text(r.short_name).text(r.unit).text(r.identifier);
    i32(r.channel).f32(r.range).f32(r.zero).f32(r.scale_min).f32(r.scale_max);
    i32(r.averaging).u8(r.attribute);
    if (version_ >= 3) i32(r.module);
    if (version_ >= 4) i32(r.type);
    return *this;
  }
  FileBuilder& end_rows() { return raw_text("\n"); }
  FileBuilder& calibration(std::int32_t index,
                           const std::vector<std::pair<double, double>>& points) {
    i32(index).i32(static_cast<std::int32_t>(points.size()));
    for (const auto& [x, y] : points) f64(x).f64(y);
    return *this;
  }
  FileBuilder& end_calibration() { return i32(-10); }
  FileBuilder& db_set(const std::vector<std::string>& ids) {
    i32(static_cast<std::int32_t>(ids.size()));
    for (const auto& id : ids) text(id);
    return *this;
  }

  const std::string& bytes() const { return bytes_; }

 private:
  // The test machines are little-endian, like the files.
  FileBuilder& put(const void* p, std::size_t n) {
    bytes_.append(static_cast<const char*>(p), n);
    return *this;
  }

  std::string bytes_;
  std::int32_t version_ = 0;
  bool utf8_ = false;
};

// The companion file: stream strings are a 32-bit length and the bytes.
class ExtendedBuilder {
 public:
  explicit ExtendedBuilder(bool utf8 = true) : utf8_(utf8) {}
  ExtendedBuilder& str(const std::string& utf8) {
    const std::string b = utf8_ ? utf8 : lib::utf8_to_cp1251(utf8);
    i32(static_cast<std::int32_t>(b.size()));
    bytes_ += b;
    return *this;
  }
  ExtendedBuilder& i32(std::int32_t v) {
    bytes_.append(reinterpret_cast<const char*>(&v), 4);
    return *this;
  }
  ExtendedBuilder& entry(const std::string& id,
                         const std::vector<std::pair<std::string, std::string>>& pairs) {
    str(id).i32(static_cast<std::int32_t>(pairs.size()));
    for (const auto& [k, v] : pairs) str(k).str(v);
    return *this;
  }
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
  bool utf8_;
};

}  // namespace params_test
