// The binary COPY form the lines travel in: a stream written row by row reads back field by
// field, whatever pieces it arrives in, with floats bit for bit (NaN included) and the
// recordings' times exact to the hundredth on both sides of PostgreSQL's epoch.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "office/pg/pg_binary.h"

namespace {

using office::pg::CopyReader;

TEST(PgBinary, RowsReadBackFieldByFieldInAnyPieces) {
  const float nan_with_payload = [] {
    const std::uint32_t bits = 0x7FC01234u;
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
  }();
  const std::vector<float> values = {1.5f, -0.0f, nan_with_payload,
                                     std::numeric_limits<float>::infinity(), 3.4e38f};
  office::pg::CopyWriter w;
  for (int i = 0; i < 3; ++i) {
    w.row(7);
    w.int4(-7 - i);
    w.int2(static_cast<std::int16_t>(i));
    w.int8(std::int64_t{1} << 40);
    w.float4(values[static_cast<std::size_t>(i)]);
    w.null();
    w.float4_array(values.data(), i == 2 ? 0 : values.size());
    w.text_array({"вес_на_крюке", "", "x"});
  }
  const std::string stream = w.finish();
  for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, stream.size()}) {
    SCOPED_TRACE("pieces of " + std::to_string(piece));
    CopyReader r;
    std::vector<CopyReader::Field> f;
    int rows = 0;
    for (std::size_t at = 0; at < stream.size(); at += piece) {
      r.feed(std::string_view(stream).substr(at, piece));
      while (r.next(f)) {
        ASSERT_EQ(f.size(), 7u);
        EXPECT_EQ(f[0].int4(), -7 - rows);
        EXPECT_EQ(f[1].int2(), rows);
        EXPECT_EQ(f[2].int8(), std::int64_t{1} << 40);
        const float got = f[3].float4();
        EXPECT_EQ(std::memcmp(&got, &values[static_cast<std::size_t>(rows)], 4), 0);
        EXPECT_TRUE(f[4].null);
        const std::vector<float> arr = f[5].float4_array();
        ASSERT_EQ(arr.size(), rows == 2 ? 0u : values.size());
        if (!arr.empty()) {
          EXPECT_EQ(std::memcmp(arr.data(), values.data(), 4 * arr.size()), 0);
        }
        EXPECT_EQ(f[6].text_array(), (std::vector<std::string>{"вес_на_крюке", "", "x"}));
        ++rows;
      }
    }
    EXPECT_EQ(rows, 3);
    EXPECT_TRUE(r.ended());
  }
  CopyReader bad;
  std::vector<CopyReader::Field> f;
  bad.feed("not a COPY stream at all");
  EXPECT_THROW(bad.next(f), CopyReader::Error);
}

TEST(PgBinary, RecordingTimesAreExactOnBothSidesOfTheEpoch) {
  struct Case {
    std::uint32_t seconds;
    std::uint8_t hundredths;
  };
  for (const Case c : {Case{0, 0}, Case{946684799, 99}, Case{946684800, 0}, Case{1780000000, 37},
                       Case{4294967295u, 99}}) {
    std::uint32_t s = 0;
    std::uint8_t h = 0;
    office::pg::split_timestamp(office::pg::timestamp_of(c.seconds, c.hundredths), s, h);
    EXPECT_EQ(s, c.seconds);
    EXPECT_EQ(h, c.hundredths);
  }
  EXPECT_EQ(office::pg::timestamp_of(946684801, 50), 1500000);
}

}  // namespace
