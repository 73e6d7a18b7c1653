// A log of text lines with a level threshold: a line is written only when its level is
// below the threshold (errors use -1, so a threshold of 0 keeps errors and drops the rest).
// Each line is "(" + dd.mm.yyyy hh:mm:ss + ") " + message, appended in the log's encoding.
// One lock per logger; safe to call from any thread. The file is bounded by its LogLimits
// (log_files.h: moved aside as <file>.1 ... when full). Logging never stops the station: a log
// that cannot be written, or that has outgrown its limit and cannot be moved aside, hands its
// lines to the fallback sink when one is set (the error log sends them to stderr), else
// drops them.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "lib/date_time.h"
#include "lib/file_system.h"
#include "lib/log_files.h"
#include "lib/str_enc.h"

namespace lib {

class LineLogger {
 public:
  LineLogger(int threshold, Clock& clock, FileSystem& fs);

  void set_file(const std::string& path);
  std::string file() const;
  void set_threshold(int threshold);
  int threshold() const;
  void set_encoding(StringEnc enc);
  void set_limits(const LogLimits& limits);
  LogLimits limits() const;

  // Where lines go that the file refused. The sink is told once why the file cannot be
  // written (until a line gets through again), then gets every refused line as formatted;
  // it is also told once when a full file cannot be moved aside.
  using Fallback = std::function<void(const std::string& text)>;
  void set_fallback(Fallback fallback);

  // Appends the line when level < threshold; false when it was not written to the file.
  bool write(std::string_view message, int level);
  // The same for several lines at once, with one stamp and one write (a busy writer's lines).
  bool write_lines(const std::vector<std::string>& messages, int level);

  // The full line as written (without the encoding), for tests and consoles.
  std::string format_line(std::string_view message) const;

 private:
  // Appends formatted lines under the lock, moving the file aside first when it is full.
  bool append(const std::string& lines);

  mutable std::mutex mutex_;
  int threshold_;
  Clock& clock_;
  FileSystem& fs_;
  std::string path_;
  StrEncConverter converter_{StringEnc::kUtf8};
  LogLimits limits_;
  Fallback fallback_;
  bool failing_ = false;  // the last line did not reach the file; the fallback was told why
  bool stuck_ = false;    // the full file could not be moved aside; the fallback was told
};

}  // namespace lib
