#include "alarms/alarm_log_file.h"

#include <fcntl.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <utility>

#include "alarms/alarm_log_format.h"
#include "alarms/min_max_value.h"

namespace alarms {
namespace fmt = alarm_log_format;

namespace {

std::string one_line(std::string text) {
  for (char& c : text) {
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

std::string limit_text(const std::optional<float>& limit) {
  return limit ? alarms::float32_to_str(*limit) : std::string(fmt::kNoLimit);
}

// The whole text must be a number ("nan" and "inf" included).
bool read_float(const std::string& text, float& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const float v = std::strtof(text.c_str(), &end);
  if (end != text.c_str() + text.size()) return false;
  out = v;
  return true;
}

std::vector<std::string> split_fields(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t from = 0;
  while (true) {
    const std::size_t at = line.find(fmt::kSeparator, from);
    fields.push_back(line.substr(from, at == std::string::npos ? std::string::npos : at - from));
    if (at == std::string::npos) break;
    from = at + 1;
  }
  return fields;
}

void read_one(const std::string& path, lib::FileSystem& fs, AlarmLogContents& out) {
  if (lib::missing(fs, path)) return;
  const auto text = lib::read_whole_file(path, fs);
  if (!text) {
    out.problems.push_back("'" + path + "': cannot be read (" + lib::read_failure_text(errno) +
                           "); its alarms are not shown");
    return;
  }
  std::size_t from = 0;
  int number = 0;
  while (from < text->size()) {
    std::size_t end = text->find('\n', from);
    if (end == std::string::npos) end = text->size();
    std::string line = text->substr(from, end - from);
    from = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (number == 1) {
      if (line != fmt::kHeader) {
        out.problems.push_back("'" + path + "' line 1: the header is '" + line + "', not '" +
                               std::string(fmt::kHeader) +
                               "'; the lines are read as this "
                               "version's");
      }
      if (line.rfind("#", 0) == 0) continue;
    }
    std::string why;
    if (auto record = parse_alarm_log_line(line, why)) {
      out.records.push_back(std::move(*record));
    } else {
      out.problems.push_back("'" + path + "' line " + std::to_string(number) + ": " + why +
                             "; the line is skipped");
    }
  }
}

}  // namespace

std::string format_alarm_log_line(const AlarmLogRecord& r) {
  const char sep = fmt::kSeparator;
  return lib::format_date_time(r.started) + sep + lib::format_date_time(r.ended) + sep +
         one_line(r.parameter) + sep + std::to_string(r.kind) + sep + limit_text(r.min) + sep +
         limit_text(r.max) + sep + alarms::float32_to_str(r.extreme) + sep +
         alarms::float32_to_str(r.value) + sep + one_line(r.unit) + sep + one_line(r.text);
}

std::optional<AlarmLogRecord> parse_alarm_log_line(const std::string& line, std::string& why) {
  const std::vector<std::string> f = split_fields(line);
  if (f.size() != fmt::kFields) {
    why = "it has " + std::to_string(f.size()) + " fields, not " + std::to_string(fmt::kFields);
    return std::nullopt;
  }
  AlarmLogRecord r;
  const auto started = lib::parse_date_time(f[fmt::kStarted]);
  const auto ended = lib::parse_date_time(f[fmt::kEnded]);
  if (!started || !ended) {
    why = "the time '" + (started ? f[fmt::kEnded] : f[fmt::kStarted]) + "' is not a date-time";
    return std::nullopt;
  }
  r.started = *started;
  r.ended = *ended;
  r.parameter = f[fmt::kParameter];
  const std::string& kind = f[fmt::kKind];
  const auto [kind_end, kind_ec] = std::from_chars(kind.data(), kind.data() + kind.size(), r.kind);
  if (kind.empty() || kind_ec != std::errc() || kind_end != kind.data() + kind.size()) {
    why = "the kind '" + kind + "' is not a whole number";
    return std::nullopt;
  }
  for (const auto& [pos, target] : {std::pair{fmt::kMin, &r.min}, std::pair{fmt::kMax, &r.max}}) {
    if (f[pos] == fmt::kNoLimit) continue;
    float v = 0;
    if (!read_float(f[pos], v)) {
      why = "the limit '" + f[pos] + "' is not a number";
      return std::nullopt;
    }
    *target = v;
  }
  if (!read_float(f[fmt::kExtreme], r.extreme) || !read_float(f[fmt::kValue], r.value)) {
    why = "the value '" + f[fmt::kExtreme] + "' or '" + f[fmt::kValue] + "' is not a number";
    return std::nullopt;
  }
  r.unit = f[fmt::kUnit];
  r.text = f[fmt::kText];
  return r;
}

AlarmLogWriter::AlarmLogWriter(std::string path, lib::FileSystem& fs, ErrorSink errors)
    : path_(std::move(path)), fs_(fs), errors_(std::move(errors)) {}

bool AlarmLogWriter::append(const AlarmLogRecord& record) {
  if (pending_.size() >= kMaxPending) {
    pending_.pop_front();
    if (errors_) {
      errors_("AlarmLogWriter : '" + path_ + "' has refused " + std::to_string(kMaxPending) +
              " alarm lines in a row; the oldest waiting one is dropped");
    }
  }
  pending_.push_back(format_alarm_log_line(record) + "\n");
  return write_pending();
}

bool AlarmLogWriter::flush() {
  return pending_.empty() || write_pending();
}

bool AlarmLogWriter::write_pending() {
  std::int64_t add = 0;
  for (const std::string& line : pending_) add += static_cast<std::int64_t>(line.size());
  std::int64_t size = 0;
  if (const auto st = fs_.stat(path_)) size = st->size;
  bool room = true;
  int err = 0;
  if (lib::log_room(size, add, limits_) == lib::LogRoom::kRotate) {
    if (const int rotate_err = lib::rotate_log(fs_, path_, limits_.keep); rotate_err == 0) {
      stuck_ = false;
    } else {
      if (!stuck_ && errors_) {
        errors_("AlarmLogWriter : cannot move the full alarm log '" + path_ + "' aside (" +
                lib::errno_text(rotate_err) + "); it takes lines up to twice its limit");
      }
      stuck_ = true;
      room = lib::unrotated_log_may_grow(size, add, limits_);
      err = rotate_err;
    }
  }
  bool ok = false;
  if (room) {
    const int fd = fs_.open(path_, O_WRONLY | O_APPEND | O_CREAT, 0644);
    err = errno;
    ok = fd >= 0;
    if (ok) {
      if (fs_.file_size(fd) == 0) {
        const std::string header = std::string(fmt::kHeader) + "\n";
        ok = lib::write_all(fs_, fd, header.data(), header.size());
      }
      while (ok && !pending_.empty()) {
        const std::string& line = pending_.front();
        ok = lib::write_all(fs_, fd, line.data(), line.size());
        if (ok) pending_.pop_front();
      }
      err = errno;
      fs_.close(fd);
    }
  }
  if (!ok && !failing_ && errors_) {
    errors_("AlarmLogWriter : cannot write the alarm log '" + path_ + "' (" + lib::errno_text(err) +
            "); " + std::to_string(pending_.size()) +
            " ended alarm(s) wait in memory and are written once the file takes them");
  } else if (ok && failing_ && errors_) {
    errors_("AlarmLogWriter : the alarm log '" + path_ + "' is written again");
  }
  failing_ = !ok;
  return ok;
}

AlarmLogContents read_alarm_log(const std::string& path, lib::FileSystem& fs) {
  AlarmLogContents out;
  read_one(path + std::string(fmt::kOldSuffix), fs, out);
  for (int n = lib::LogLimits::kMaxKeep; n >= 1; --n) read_one(lib::old_log_name(path, n), fs, out);
  read_one(path, fs, out);
  return out;
}

}  // namespace alarms
