// Time as the station keeps it:
//  - LocalTime: whole seconds of local wall-clock time since 1970-01-01 (UTC seconds plus
//    the zone offset in force) and milliseconds; recording records and run totals use it;
//  - DateTime: days since 1899-12-30 as a double, the fraction being the time of day;
//    file stamps, journals and records use it.
// Every reading of the clock goes through a Clock, so tests can run with a fake one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace lib {

struct LocalTime {
  std::int64_t seconds = 0;  // local wall-clock seconds since 1970-01-01 00:00
  int milliseconds = 0;      // 0..999
};

struct DateTime {
  double days = 0;  // days since 1899-12-30 00:00, local time
  auto operator<=>(const DateTime&) const = default;
};

// 1970-01-01 as a DateTime.
inline constexpr double kUnixEpochDays = 25569.0;
inline constexpr double kSecondsPerDay = 86400.0;

class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalTime local_now() = 0;
  // Milliseconds of a monotonic clock; only differences mean anything.
  virtual std::int64_t steady_ms() = 0;
};

// The system clock (real local time zone, monotonic steady clock).
Clock& system_clock();

LocalTime get_local_time(Clock& clock = system_clock());
DateTime now(Clock& clock = system_clock());

// Conversions. local_time_to_date_time keeps the milliseconds.
DateTime to_date_time(const LocalTime& t);
// Rounds to the nearest millisecond.
LocalTime to_local_time(DateTime dt);

struct DateTimeParts {
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0, millisecond = 0;
  bool operator==(const DateTimeParts&) const = default;
};
// nullopt when a field is out of range (month 13, 31 April, hour 24 and so on).
std::optional<DateTime> encode_date_time(const DateTimeParts& parts);
DateTimeParts decode_date_time(DateTime dt);

// "dd.mm.yyyy hh:mm:ss", the station's short date and long time.
std::string format_date_time(DateTime dt);
// "dd.mm.yyyy".
std::string format_date(DateTime dt);
// Reads "dd.mm.yyyy", "dd.mm.yyyy hh:mm" or "dd.mm.yyyy hh:mm:ss"; nullopt otherwise.
std::optional<DateTime> parse_date_time(const std::string& text);

// Local UTC offset, in seconds, in force at the given UTC instant.
std::int64_t utc_offset_seconds(std::int64_t utc_seconds);

struct FileTimes {
  DateTime modified;             // local time
  std::int64_t modified_ns = 0;  // nanoseconds since the Unix epoch, for exact change checks
  std::int64_t size = 0;
};
// Modification time and size of a file; nullopt when it does not exist.
std::optional<FileTimes> get_file_times(const std::string& path);

}  // namespace lib
