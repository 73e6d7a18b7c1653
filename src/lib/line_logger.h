// A log of text lines with a level threshold: a line is written only when its level is
// below the threshold (errors use -1, so a threshold of 0 keeps errors and drops the rest).
// Each line is "(" + dd.mm.yyyy hh:mm:ss + ") " + message, appended in the log's encoding.
// One lock per logger; safe to call from any thread. A log that cannot be written drops
// the line: logging never stops the station.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "lib/date_time.h"
#include "lib/file_system.h"
#include "lib/str_enc.h"

namespace lib {

class LineLogger {
 public:
  explicit LineLogger(int threshold = 0, Clock& clock = system_clock(),
                      FileSystem& fs = posix_file_system());

  void set_file(const std::string& path);
  std::string file() const;
  void set_threshold(int threshold);
  int threshold() const;
  void set_encoding(StringEnc enc);
  // When the file grows past max_bytes it is renamed to file + ".old" (replacing an older
  // one) and a new file is started, so a station running for months keeps its disk.
  // 0 turns the limit off.
  void set_max_bytes(std::int64_t max_bytes);

  // Appends the line when level < threshold; false when it was not written.
  bool write(std::string_view message, int level);

  // The full line as written (without the encoding), for tests and consoles.
  std::string format_line(std::string_view message) const;

 private:
  mutable std::mutex mutex_;
  int threshold_;
  Clock& clock_;
  FileSystem& fs_;
  std::string path_;
  StrEncConverter converter_{StringEnc::kUtf8};
  std::int64_t max_bytes_ = 0;
};

}  // namespace lib
