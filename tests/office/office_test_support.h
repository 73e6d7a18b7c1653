// Recording files for the office link's tests, written with the storage layer's own block
// writers (the reader is the oracle the tests compare with), and files written or grown.
#pragma once

#include <fcntl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "lib/file_system.h"
#include "storage/real_time_records.h"
#include "support/fakes.h"

namespace office_test {

// A recording's bytes, block by block.
struct RecordingBytes {
  std::string bytes;
  std::uint32_t time = 1780000000;  // 28.05.2026
  std::uint32_t params_check = 0;   // of the last parameter block, carried by the values

  RecordingBytes& version() {
    rtf::append_version_block(bytes);
    return *this;
  }
  RecordingBytes& text(const rtf::KeyValueList& kv) {
    rtf::TextWriterRecord(rtf::key_value_text(kv)).append(bytes, params_check);
    return *this;
  }
  RecordingBytes& params(const rtf::ParamList& list) {
    params_check = rtf::append_params_block(bytes, *list);
    return *this;
  }
  // `n` lines of `count` values, one a second; values tell the line and the slot apart.
  RecordingBytes& lines(int n, std::size_t count) {
    for (int i = 0; i < n; ++i) {
      rtf::ValuesLine l;
      l.time = time++;
      l.hundredths = static_cast<std::uint8_t>(i % 100);
      l.first_depth = 1000.0f + static_cast<float>(l.time % 1000) / 10.0f;
      l.bit_depth = l.first_depth - 1;
      l.third_depth = l.first_depth - 20;
      l.operation = static_cast<std::uint8_t>(i % 7);
      for (std::size_t k = 0; k < count; ++k)
        l.values.push_back(static_cast<float>(l.time % 100000) + static_cast<float>(k) / 8.0f);
      rtf::append_values_block(bytes, l, params_check);
    }
    return *this;
  }
  RecordingBytes& garbage(std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) bytes.push_back(static_cast<char>(0xE0 + i % 7));
    return *this;
  }
};

inline rtf::ParamList params(std::size_t count, const std::string& prefix = "п") {
  auto list = std::make_shared<std::vector<rtf::RecordedParam>>();
  for (std::size_t i = 0; i < count; ++i) {
    const std::string id = prefix + std::to_string(i);
    list->push_back({"имя " + id, "ед", id, id, 0, 100});
  }
  return list;
}

// A recording of a run as a station leaves it: two writer runs, a parameter list that
// changes, a damaged stretch, and texts at the start and the end.
inline std::string sample_recording(int lines_per_stretch, std::uint32_t start_time = 1780000000) {
  RecordingBytes r;
  r.time = start_time;
  r.version().text({{"скважина", "31"}, {"номер_рейса", "4"}}).params(params(3));
  r.lines(lines_per_stretch, 3).version().params(params(3)).lines(lines_per_stretch, 3);
  r.params(params(5, "q")).lines(lines_per_stretch, 5).garbage(40);
  r.version().params(params(5, "q")).lines(lines_per_stretch, 5);
  r.text({{"конеч_глубина", "1100"}});
  return r.bytes;
}

inline void write_file(const std::string& path, const std::string& bytes) {
  lib::make_dirs(lib::posix_file_system(), path.substr(0, path.rfind('/')));
  lib::write_file_atomically(path, bytes, lib::posix_file_system(), false);
}

inline void append_file(const std::string& path, const std::string& bytes) {
  lib::FileSystem& fs = lib::posix_file_system();
  const int fd = fs.open(path, O_WRONLY | O_CREAT | O_APPEND, 0644);
  lib::write_all(fs, fd, bytes.data(), bytes.size());
  fs.close(fd);
}

}  // namespace office_test
