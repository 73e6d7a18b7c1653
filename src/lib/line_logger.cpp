#include "lib/line_logger.h"

#include <fcntl.h>

#include <cerrno>

namespace lib {

LineLogger::LineLogger(int threshold, Clock& clock, FileSystem& fs)
    : threshold_(threshold), clock_(clock), fs_(fs) {}

void LineLogger::set_file(const std::string& path) {
  std::lock_guard lock(mutex_);
  path_ = path;
}

std::string LineLogger::file() const {
  std::lock_guard lock(mutex_);
  return path_;
}

void LineLogger::set_threshold(int threshold) {
  std::lock_guard lock(mutex_);
  threshold_ = threshold;
}

int LineLogger::threshold() const {
  std::lock_guard lock(mutex_);
  return threshold_;
}

void LineLogger::set_encoding(StringEnc enc) {
  std::lock_guard lock(mutex_);
  converter_.set_encoding(enc);
}

void LineLogger::set_limits(const LogLimits& limits) {
  std::lock_guard lock(mutex_);
  limits_ = limits;
}

LogLimits LineLogger::limits() const {
  std::lock_guard lock(mutex_);
  return limits_;
}

std::string LineLogger::format_line(std::string_view message) const {
  const std::string stamp = format_date_time(to_date_time(clock_.local_now()));
  std::string line;
  line.reserve(stamp.size() + message.size() + 4);
  line.push_back('(');
  line.append(stamp);
  line.append(") ");
  line.append(message);
  line.push_back('\n');
  return line;
}

void LineLogger::set_fallback(Fallback fallback) {
  std::lock_guard lock(mutex_);
  fallback_ = std::move(fallback);
}

bool LineLogger::write(std::string_view message, int level) {
  std::lock_guard lock(mutex_);
  if (level >= threshold_ || path_.empty()) return false;
  return append(format_line(message));
}

bool LineLogger::write_lines(const std::vector<std::string>& messages, int level) {
  std::lock_guard lock(mutex_);
  if (level >= threshold_ || path_.empty()) return false;
  if (messages.empty()) return true;
  std::string lines;
  for (const std::string& message : messages) lines += format_line(message);
  return append(lines);
}

bool LineLogger::append(const std::string& line) {
  const std::string bytes = converter_.from_utf8(line);
  const auto add = static_cast<std::int64_t>(bytes.size());
  bool ok = false;
  int err = 0;
  std::int64_t size = 0;
  if (const auto status = fs_.stat(path_)) size = status->size;
  bool room = true;
  if (log_room(size, add, limits_) == LogRoom::kRotate) {
    if (const int rotate_err = rotate_log(fs_, path_, limits_.keep); rotate_err == 0) {
      stuck_ = false;
    } else {
      if (!stuck_ && fallback_) {
        fallback_("cannot move the full log '" + path_ + "' aside (" + errno_text(rotate_err) +
                  "); it grows to at most " +
                  byte_count_text(
                      static_cast<std::size_t>(limits_.max_bytes * LogLimits::kUnrotatedFactor)) +
                  ", then its lines follow here\n");
      }
      stuck_ = true;
      room = unrotated_log_may_grow(size, add, limits_);
      err = rotate_err;
    }
  }
  if (room) {
    const int fd = fs_.open(path_, O_WRONLY | O_CREAT | O_APPEND, 0644);
    err = errno;
    if (fd >= 0) {
      ok = write_all(fs_, fd, bytes.data(), bytes.size());
      err = errno;
      fs_.close(fd);
    }
  }
  if (ok) {
    failing_ = false;
  } else if (fallback_) {
    if (!failing_) {
      fallback_("cannot write the log '" + path_ + "' (" + errno_text(err) +
                "); its lines follow here until it can be written again\n");
    }
    failing_ = true;
    fallback_(line);
  }
  return ok;
}

}  // namespace lib
