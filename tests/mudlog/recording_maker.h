// Writes small run recordings for the mud log tests with the recorder's own block encoders,
// so the reader sees what a station writes.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "lib/file_system.h"
#include "storage/real_time_records.h"

namespace mudlog_test {

inline rtf::RecordedParam param(const std::string& id, const std::string& unit = "") {
  return {id + " name", unit, id + " short", id, 0, 100};
}

struct Line {
  double depth = 0;
  std::uint32_t time = 0;
  int operation = 2;
  std::vector<float> values;
};

class RecordingMaker {
 public:
  explicit RecordingMaker(std::vector<rtf::RecordedParam> params) : params_(std::move(params)) {
    rtf::append_version_block(bytes_);
  }
  RecordingMaker& text(const rtf::KeyValueList& values) {
    rtf::TextWriterRecord(rtf::key_value_text(values)).append(bytes_, params_check_);
    return *this;
  }
  RecordingMaker& line(const Line& l) {
    if (!params_written_) {
      params_check_ = rtf::append_params_block(bytes_, params_);
      params_written_ = true;
    }
    rtf::ValuesLine v;
    v.time = l.time;
    v.first_depth = static_cast<float>(l.depth);
    v.third_depth = static_cast<float>(l.depth);
    v.bit_depth = static_cast<float>(l.depth);
    v.operation = static_cast<std::uint8_t>(l.operation);
    v.values = l.values;
    rtf::append_values_block(bytes_, v, params_check_);
    return *this;
  }
  // Bytes no reader can take, then a fresh writer's start.
  RecordingMaker& damage() {
    bytes_ += std::string("\x07\x05\x00garbage", 10);
    rtf::append_version_block(bytes_);
    params_written_ = false;
    return *this;
  }
  void save(const std::string& path) const {
    lib::write_file_atomically(path, bytes_, lib::posix_file_system(), false);
  }
  const std::string& bytes() const { return bytes_; }

 private:
  std::vector<rtf::RecordedParam> params_;
  std::string bytes_;
  bool params_written_ = false;
  std::uint32_t params_check_ = 0;  // the values blocks carry their list's check
};

}  // namespace mudlog_test
