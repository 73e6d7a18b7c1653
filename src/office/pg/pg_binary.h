// PostgreSQL's binary forms, as COPY ... (FORMAT binary) streams and binary statement
// parameters carry them: big-endian integers and floats, timestamps as microseconds since
// 2000-01-01, arrays with their element type and bounds. The forwarder writes its lines in
// this form (exact floats, no text formatting on the rig) and the export reads them back.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace office::pg {

// Type OIDs of the forms written here.
inline constexpr std::uint32_t kOidBool = 16;
inline constexpr std::uint32_t kOidInt8 = 20;
inline constexpr std::uint32_t kOidInt2 = 21;
inline constexpr std::uint32_t kOidInt4 = 23;
inline constexpr std::uint32_t kOidText = 25;
inline constexpr std::uint32_t kOidFloat4 = 700;
inline constexpr std::uint32_t kOidFloat8 = 701;
inline constexpr std::uint32_t kOidBoolArray = 1000;
inline constexpr std::uint32_t kOidTextArray = 1009;
inline constexpr std::uint32_t kOidFloat4Array = 1021;
inline constexpr std::uint32_t kOidDate = 1082;
inline constexpr std::uint32_t kOidTimestamp = 1114;

// Seconds from 1970-01-01 to 2000-01-01, PostgreSQL's epoch.
inline constexpr std::int64_t kPgEpochSeconds = 946684800;

// A recording's time (local seconds since 1970 and hundredths) as a timestamp's value, and
// back. Exact both ways.
std::int64_t timestamp_of(std::uint32_t seconds, std::uint8_t hundredths);
void split_timestamp(std::int64_t micros, std::uint32_t& seconds, std::uint8_t& hundredths);

// The binary value of one field, without a length.
std::string int2_bytes(std::int16_t v);
std::string int4_bytes(std::int32_t v);
std::string int8_bytes(std::int64_t v);
std::string float4_bytes(float v);
std::string float8_bytes(double v);
std::string bool_bytes(bool v);
std::string float4_array_bytes(const float* values, std::size_t n);
std::string text_array_bytes(const std::vector<std::string>& values);
std::string bool_array_bytes(const std::vector<bool>& values);

// A COPY ... FROM STDIN (FORMAT binary) stream: the header, rows of fields, the trailer.
class CopyWriter {
 public:
  CopyWriter();
  void row(std::int16_t fields);
  void int2(std::int16_t v);
  void int4(std::int32_t v);
  void int8(std::int64_t v);
  void float4(float v);
  void text(std::string_view v);
  void null();
  void timestamp(std::int64_t micros) { int8(micros); }
  void float4_array(const float* values, std::size_t n);
  void text_array(const std::vector<std::string>& values);
  // The stream with its trailer; the writer is done.
  const std::string& finish();
  std::size_t rows() const { return rows_; }

 private:
  void field(std::string_view bytes);
  std::string out_;
  std::size_t rows_ = 0;
};

// A COPY ... TO STDOUT (FORMAT binary) stream, fed in whatever pieces it arrives in.
class CopyReader {
 public:
  class Error : public std::runtime_error {
   public:
    using std::runtime_error::runtime_error;
  };
  struct Field {
    bool null = true;
    std::string_view bytes;
    std::int16_t int2() const;
    std::int32_t int4() const;
    std::int64_t int8() const;
    float float4() const;
    std::string text() const { return std::string(bytes); }
    std::vector<float> float4_array() const;
    std::vector<std::string> text_array() const;
  };

  // Appends bytes; then take rows with next() until it answers false.
  void feed(std::string_view bytes);
  // The next complete row's fields (valid until the next call), false when none is
  // complete yet or the trailer was met. Throws Error on a malformed stream.
  bool next(std::vector<Field>& fields);
  bool ended() const { return ended_; }

 private:
  std::string buf_;
  std::size_t pos_ = 0;
  bool header_ = false;
  bool ended_ = false;
};

}  // namespace office::pg
