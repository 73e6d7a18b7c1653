#include "lib/date_time.h"

#include "lib/file_system.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>

namespace lib {
namespace {

// Days since 1970-01-01 of a proleptic Gregorian date, and back (H. Hinnant's algorithms).
std::int64_t days_from_civil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civil_from_days(std::int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
}

bool is_leap(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int days_in_month(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && is_leap(y) ? 29 : kDays[m - 1];
}

class SystemClock final : public Clock {
 public:
  LocalTime local_now() override {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    LocalTime t;
    t.seconds = ts.tv_sec + utc_offset_seconds(ts.tv_sec);
    t.milliseconds = static_cast<int>(ts.tv_nsec / 1000000);
    return t;
  }
  std::int64_t steady_ms() override {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  }
};

}  // namespace

Clock& system_clock() {
  static SystemClock clock;
  return clock;
}

std::int64_t utc_offset_seconds(std::int64_t utc_seconds) {
  time_t t = static_cast<time_t>(utc_seconds);
  tm local{};
  if (localtime_r(&t, &local) == nullptr) return 0;
  return local.tm_gmtoff;
}

LocalTime get_local_time(Clock& clock) {
  return clock.local_now();
}
DateTime now(Clock& clock) {
  return to_date_time(clock.local_now());
}

bool is_valid_date_time(DateTime dt) {
  // NaN fails both comparisons.
  return dt.days >= kMinDateTimeDays && dt.days < kMaxDateTimeDays;
}

DateTime to_date_time(const LocalTime& t) {
  // Seconds of the valid years, checked before any arithmetic that could overflow.
  constexpr std::int64_t kMinSeconds =
      static_cast<std::int64_t>(kMinDateTimeDays - kUnixEpochDays) * 86400;
  constexpr std::int64_t kMaxSeconds =
      static_cast<std::int64_t>(kMaxDateTimeDays - kUnixEpochDays) * 86400;
  if (t.seconds < kMinSeconds || t.seconds >= kMaxSeconds || t.milliseconds < 0 ||
      t.milliseconds > 999) {
    return DateTime{std::numeric_limits<double>::quiet_NaN()};
  }
  // Whole days and the time of day separately, so far-off dates keep millisecond precision.
  std::int64_t day = t.seconds >= 0 ? t.seconds / 86400 : -((-t.seconds + 86399) / 86400);
  std::int64_t sec_of_day = t.seconds - day * 86400;
  double frac = (static_cast<double>(sec_of_day) + t.milliseconds / 1000.0) / kSecondsPerDay;
  return DateTime{static_cast<double>(day) + kUnixEpochDays + frac};
}

std::optional<LocalTime> to_local_time(DateTime dt) {
  if (!is_valid_date_time(dt)) return std::nullopt;
  // Within the valid years the milliseconds fit an int64 with room to spare (about 3.2e14).
  double ms_total = std::round((dt.days - kUnixEpochDays) * kSecondsPerDay * 1000.0);
  auto ms = static_cast<std::int64_t>(ms_total);
  LocalTime t;
  t.seconds = ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
  t.milliseconds = static_cast<int>(ms - t.seconds * 1000);
  return t;
}

std::optional<DateTime> encode_date_time(const DateTimeParts& p) {
  if (p.year < kMinYear || p.year > kMaxYear || p.month < 1 || p.month > 12 || p.day < 1 ||
      p.day > days_in_month(p.year, p.month) || p.hour < 0 || p.hour > 23 || p.minute < 0 ||
      p.minute > 59 || p.second < 0 || p.second > 59 || p.millisecond < 0 || p.millisecond > 999) {
    return std::nullopt;
  }
  LocalTime t;
  t.seconds =
      days_from_civil(p.year, static_cast<unsigned>(p.month), static_cast<unsigned>(p.day)) *
          86400 +
      p.hour * 3600 + p.minute * 60 + p.second;
  t.milliseconds = p.millisecond;
  return to_date_time(t);
}

std::optional<DateTimeParts> decode_date_time(DateTime dt) {
  const auto local = to_local_time(dt);
  if (!local) return std::nullopt;
  const LocalTime& t = *local;
  std::int64_t day = t.seconds >= 0 ? t.seconds / 86400 : -((-t.seconds + 86399) / 86400);
  std::int64_t sec = t.seconds - day * 86400;
  DateTimeParts p;
  civil_from_days(day, p.year, p.month, p.day);
  p.hour = static_cast<int>(sec / 3600);
  p.minute = static_cast<int>(sec / 60 % 60);
  p.second = static_cast<int>(sec % 60);
  p.millisecond = t.milliseconds;
  return p;
}

std::string format_date_time(DateTime dt) {
  const auto parts = decode_date_time(dt);
  if (!parts) return kInvalidDateTimeText;
  const DateTimeParts& p = *parts;
  char buf[48];
  std::snprintf(buf, sizeof buf, "%02d.%02d.%04d %02d:%02d:%02d", p.day, p.month, p.year, p.hour,
                p.minute, p.second);
  return buf;
}

std::string format_date(DateTime dt) {
  const auto parts = decode_date_time(dt);
  if (!parts) return kInvalidDateText;
  const DateTimeParts& p = *parts;
  char buf[24];
  std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", p.day, p.month, p.year);
  return buf;
}

std::optional<DateTime> parse_date_time(const std::string& text) {
  DateTimeParts p;
  int consumed = 0;
  int n = std::sscanf(text.c_str(), "%2d.%2d.%4d%n", &p.day, &p.month, &p.year, &consumed);
  if (n != 3) return std::nullopt;
  const char* rest = text.c_str() + consumed;
  if (*rest != '\0') {
    int used = 0;
    int m = std::sscanf(rest, " %2d:%2d%n", &p.hour, &p.minute, &used);
    if (m != 2) return std::nullopt;
    rest += used;
    if (*rest == ':') {
      int used2 = 0;
      if (std::sscanf(rest, ":%2d%n", &p.second, &used2) != 1) return std::nullopt;
      rest += used2;
    }
    while (*rest == ' ') ++rest;
    if (*rest != '\0') return std::nullopt;
  }
  return encode_date_time(p);
}

std::optional<FileTimes> get_file_times(FileSystem& fs, const std::string& path) {
  const std::optional<FileStatus> st = fs.stat(path);
  if (!st) return std::nullopt;
  FileTimes ft;
  ft.modified_ns = st->modified_ns;
  // Floor division: a time before the epoch still splits into seconds and a positive rest.
  std::int64_t seconds = st->modified_ns / 1000000000;
  std::int64_t rest_ns = st->modified_ns % 1000000000;
  if (rest_ns < 0) {
    --seconds;
    rest_ns += 1000000000;
  }
  LocalTime lt;
  lt.seconds = seconds + utc_offset_seconds(seconds);
  lt.milliseconds = static_cast<int>(rest_ns / 1000000);
  ft.modified = to_date_time(lt);
  ft.size = st->size;
  ft.inode = st->inode;
  return ft;
}

}  // namespace lib
