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

class FileSystem;

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

LocalTime get_local_time(Clock& clock);
DateTime now(Clock& clock);

// The date-times the station can show and convert: 01.01.0001 00:00:00.000 up to
// 31.12.9999 23:59:59.999. Journal files and the state come from other programs and from
// damaged disks, so a DateTime may hold anything a double can (NaN, +-1e308); every
// conversion below checks the range first and answers "invalid" outside it instead of
// computing with a value no integer can hold.
inline constexpr int kMinYear = 1;
inline constexpr int kMaxYear = 9999;
inline constexpr double kMinDateTimeDays = -693593.0;  // 01.01.0001 00:00
inline constexpr double kMaxDateTimeDays = 2958466.0;  // 01.01.10000 00:00, not included
// True when `dt` is finite and within [kMinDateTimeDays, kMaxDateTimeDays).
bool is_valid_date_time(DateTime dt);

// What an invalid date-time is shown as.
inline constexpr const char* kInvalidDateTimeText = "??.??.???? ??:??:??";
inline constexpr const char* kInvalidDateText = "??.??.????";

// Conversions. Keeps the milliseconds. A local time outside the valid years gives an
// invalid DateTime (NaN), never a wrapped one.
DateTime to_date_time(const LocalTime& t);
// Rounds to the nearest millisecond; nullopt for an invalid date-time.
std::optional<LocalTime> to_local_time(DateTime dt);

struct DateTimeParts {
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0, millisecond = 0;
  bool operator==(const DateTimeParts&) const = default;
};
// nullopt when a field is out of range (year 0 or 10000, month 13, 31 April, hour 24 and
// so on).
std::optional<DateTime> encode_date_time(const DateTimeParts& parts);
// nullopt for an invalid date-time.
std::optional<DateTimeParts> decode_date_time(DateTime dt);

// "dd.mm.yyyy hh:mm:ss", the station's short date and long time; kInvalidDateTimeText for
// an invalid date-time.
std::string format_date_time(DateTime dt);
// "dd.mm.yyyy"; kInvalidDateText for an invalid date-time.
std::string format_date(DateTime dt);
// Reads "dd.mm.yyyy", "dd.mm.yyyy hh:mm" or "dd.mm.yyyy hh:mm:ss"; nullopt otherwise.
std::optional<DateTime> parse_date_time(const std::string& text);

// Local UTC offset, in seconds, in force at the given UTC instant.
std::int64_t utc_offset_seconds(std::int64_t utc_seconds);

struct FileTimes {
  DateTime modified;             // local time
  std::int64_t modified_ns = 0;  // nanoseconds since the Unix epoch, for exact change checks
  std::int64_t size = 0;
  // The file's inode: an atomic replace makes a new one, which tells two rewrites within
  // one tick of the file system's clock apart even when the sizes match.
  std::uint64_t inode = 0;
};
// Modification time and size of a file; nullopt (errno set) when it does not exist or
// cannot be looked at.
std::optional<FileTimes> get_file_times(FileSystem& fs, const std::string& path);

}  // namespace lib
