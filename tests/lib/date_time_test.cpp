#include "lib/date_time.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/fakes.h"

using namespace lib;

namespace {

TEST(DateTime, DayNumbersMatchTheDayBasedConvention) {
  EXPECT_EQ(encode_date_time({1899, 12, 30, 0, 0, 0, 0})->days, 0.0);
  EXPECT_EQ(encode_date_time({1900, 1, 1, 0, 0, 0, 0})->days, 2.0);
  EXPECT_EQ(encode_date_time({1970, 1, 1, 0, 0, 0, 0})->days, kUnixEpochDays);
  EXPECT_EQ(encode_date_time({2000, 1, 1, 0, 0, 0, 0})->days, 36526.0);
  EXPECT_DOUBLE_EQ(encode_date_time({2000, 1, 1, 18, 0, 0, 0})->days, 36526.75);
}

TEST(DateTime, InvalidFieldsAreRefused) {
  EXPECT_FALSE(encode_date_time({2023, 2, 29, 0, 0, 0, 0}));
  EXPECT_TRUE(encode_date_time({2024, 2, 29, 0, 0, 0, 0}));
  EXPECT_FALSE(encode_date_time({1900, 2, 29, 0, 0, 0, 0}));  // century, not leap
  EXPECT_TRUE(encode_date_time({2000, 2, 29, 0, 0, 0, 0}));
  EXPECT_FALSE(encode_date_time({2024, 4, 31, 0, 0, 0, 0}));
  EXPECT_FALSE(encode_date_time({2024, 13, 1, 0, 0, 0, 0}));
  EXPECT_FALSE(encode_date_time({2024, 1, 1, 24, 0, 0, 0}));
  EXPECT_FALSE(encode_date_time({2024, 1, 1, 0, 60, 0, 0}));
  EXPECT_FALSE(encode_date_time({2024, 1, 1, 0, 0, 0, 1000}));
}

TEST(DateTime, DecodeInvertsEncodeToTheMillisecond) {
  for (DateTimeParts p :
       {DateTimeParts{1899, 12, 30, 0, 0, 0, 0}, DateTimeParts{1960, 6, 15, 23, 59, 59, 999},
        DateTimeParts{2024, 2, 29, 12, 30, 1, 7}, DateTimeParts{2099, 12, 31, 0, 0, 0, 1}}) {
    EXPECT_EQ(decode_date_time(*encode_date_time(p)), p) << p.year;
  }
  LocalTime t{1700000000, 123};
  const auto back = to_local_time(to_date_time(t));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->seconds, t.seconds);
  EXPECT_EQ(back->milliseconds, t.milliseconds);
}

// Journal files and the state come from other programs and damaged disks: a date-time may
// be any double. Inside the years 1..9999 everything converts; outside, every conversion
// says "invalid" instead of computing with a value no integer holds.
TEST(DateTime, ConversionsAreBoundedToTheYearsOneToNineThousandNineHundredNinetyNine) {
  const DateTimeParts first{1, 1, 1, 0, 0, 0, 0};
  const DateTimeParts last{9999, 12, 31, 23, 59, 59, 999};
  ASSERT_TRUE(encode_date_time(first));
  ASSERT_TRUE(encode_date_time(last));
  EXPECT_EQ(encode_date_time(first)->days, kMinDateTimeDays);
  EXPECT_LT(encode_date_time(last)->days, kMaxDateTimeDays);
  EXPECT_EQ(decode_date_time(*encode_date_time(first)), first);
  EXPECT_EQ(decode_date_time(*encode_date_time(last)), last);
  EXPECT_EQ(format_date_time(*encode_date_time(last)), "31.12.9999 23:59:59");
  EXPECT_FALSE(encode_date_time({0, 12, 31, 0, 0, 0, 0}));
  EXPECT_FALSE(encode_date_time({10000, 1, 1, 0, 0, 0, 0}));
  EXPECT_FALSE(encode_date_time({-2147483647, 1, 1, 0, 0, 0, 0}));

  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (double days : {nan, -nan, inf, -inf, 1e308, -1e308, kMaxDateTimeDays,
                      std::nextafter(kMinDateTimeDays, -inf), 9.2e18 / 86400.0}) {
    SCOPED_TRACE(days);
    const DateTime dt{days};
    EXPECT_FALSE(is_valid_date_time(dt));
    EXPECT_FALSE(to_local_time(dt));
    EXPECT_FALSE(decode_date_time(dt));
    EXPECT_EQ(format_date_time(dt), kInvalidDateTimeText);
    EXPECT_EQ(format_date(dt), kInvalidDateText);
  }
  EXPECT_TRUE(is_valid_date_time(DateTime{kMinDateTimeDays}));
  EXPECT_TRUE(is_valid_date_time(DateTime{std::nextafter(kMaxDateTimeDays, 0.0)}));

  // Local times past the years give an invalid date-time, not a wrapped one.
  for (std::int64_t seconds :
       {std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max(),
        std::int64_t{-62135596801}, std::int64_t{253402300800}}) {
    SCOPED_TRACE(seconds);
    EXPECT_FALSE(is_valid_date_time(to_date_time(LocalTime{seconds, 0})));
  }
  EXPECT_EQ(to_date_time(LocalTime{-62135596800, 0}).days, kMinDateTimeDays);
  EXPECT_TRUE(is_valid_date_time(to_date_time(LocalTime{253402300799, 999})));
}

TEST(DateTime, FormatsAndParsesTheStationForm) {
  DateTime dt = *encode_date_time({2026, 3, 7, 5, 4, 9, 0});
  EXPECT_EQ(format_date_time(dt), "07.03.2026 05:04:09");
  EXPECT_EQ(format_date(dt), "07.03.2026");
  EXPECT_EQ(parse_date_time("07.03.2026 05:04:09"), dt);
  EXPECT_EQ(parse_date_time("07.03.2026"), encode_date_time({2026, 3, 7, 0, 0, 0, 0}));
  EXPECT_EQ(parse_date_time("07.03.2026 05:04"), encode_date_time({2026, 3, 7, 5, 4, 0, 0}));
  EXPECT_FALSE(parse_date_time("31.02.2026"));
  EXPECT_FALSE(parse_date_time("07.03.2026 xx"));
  EXPECT_FALSE(parse_date_time(""));
}

}  // namespace
