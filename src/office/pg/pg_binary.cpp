#include "office/pg/pg_binary.h"

#include <cstring>

namespace office::pg {
namespace {

constexpr char kSignature[] = "PGCOPY\n\377\r\n";  // 11 bytes with the terminating zero
constexpr std::size_t kSignatureBytes = 11;

template <class U>
void put_be(std::string& out, U v) {
  for (int i = static_cast<int>(sizeof(U)) - 1; i >= 0; --i)
    out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

template <class U>
U get_be(std::string_view b, std::size_t at) {
  U v = 0;
  for (std::size_t i = 0; i < sizeof(U); ++i)
    v = static_cast<U>((v << 8) | static_cast<unsigned char>(b[at + i]));
  return v;
}

std::uint32_t float_bits(float f) {
  std::uint32_t u;
  std::memcpy(&u, &f, 4);
  return u;
}

void array_head(std::string& out, std::uint32_t elem_oid, std::size_t n) {
  put_be<std::uint32_t>(out, n == 0 ? 0 : 1);  // dimensions (an empty array has none)
  put_be<std::uint32_t>(out, 0);               // no nulls
  put_be<std::uint32_t>(out, elem_oid);
  if (n != 0) {
    put_be<std::uint32_t>(out, static_cast<std::uint32_t>(n));
    put_be<std::uint32_t>(out, 1);  // lower bound
  }
}

// The elements of a one-dimensional array of `elem_oid`, each handed to `take`.
template <class F>
void array_elements(std::string_view b, std::uint32_t elem_oid, F take) {
  if (b.size() < 12)
    throw CopyReader::Error("an array field of " + std::to_string(b.size()) + " bytes");
  const auto ndim = get_be<std::uint32_t>(b, 0);
  if (get_be<std::uint32_t>(b, 8) != elem_oid)
    throw CopyReader::Error("an array of another element type");
  if (ndim == 0) return;
  if (ndim != 1 || b.size() < 20)
    throw CopyReader::Error("an array of " + std::to_string(ndim) + " dimensions");
  const auto n = get_be<std::uint32_t>(b, 12);
  std::size_t at = 20;
  for (std::uint32_t i = 0; i < n; ++i) {
    if (at + 4 > b.size()) throw CopyReader::Error("an array cut short");
    const auto len = static_cast<std::int32_t>(get_be<std::uint32_t>(b, at));
    at += 4;
    if (len < 0) throw CopyReader::Error("a null in an array");
    if (at + static_cast<std::size_t>(len) > b.size())
      throw CopyReader::Error("an array cut short");
    take(b.substr(at, static_cast<std::size_t>(len)));
    at += static_cast<std::size_t>(len);
  }
}

}  // namespace

std::int64_t timestamp_of(std::uint32_t seconds, std::uint8_t hundredths) {
  return (static_cast<std::int64_t>(seconds) - kPgEpochSeconds) * 1000000 +
         static_cast<std::int64_t>(hundredths) * 10000;
}

void split_timestamp(std::int64_t micros, std::uint32_t& seconds, std::uint8_t& hundredths) {
  std::int64_t s = micros / 1000000;
  std::int64_t rest = micros % 1000000;
  if (rest < 0) {
    rest += 1000000;
    --s;
  }
  seconds = static_cast<std::uint32_t>(s + kPgEpochSeconds);
  hundredths = static_cast<std::uint8_t>(rest / 10000);
}

std::string int2_bytes(std::int16_t v) {
  std::string s;
  put_be<std::uint16_t>(s, static_cast<std::uint16_t>(v));
  return s;
}
std::string int4_bytes(std::int32_t v) {
  std::string s;
  put_be<std::uint32_t>(s, static_cast<std::uint32_t>(v));
  return s;
}
std::string int8_bytes(std::int64_t v) {
  std::string s;
  put_be<std::uint64_t>(s, static_cast<std::uint64_t>(v));
  return s;
}
std::string float4_bytes(float v) {
  std::string s;
  put_be<std::uint32_t>(s, float_bits(v));
  return s;
}
std::string float8_bytes(double v) {
  std::uint64_t u;
  std::memcpy(&u, &v, 8);
  std::string s;
  put_be<std::uint64_t>(s, u);
  return s;
}
std::string bool_bytes(bool v) {
  return std::string(1, v ? '\1' : '\0');
}

std::string float4_array_bytes(const float* values, std::size_t n) {
  std::string s;
  s.reserve(20 + 8 * n);
  array_head(s, kOidFloat4, n);
  for (std::size_t i = 0; i < n; ++i) {
    put_be<std::uint32_t>(s, 4);
    put_be<std::uint32_t>(s, float_bits(values[i]));
  }
  return s;
}

std::string text_array_bytes(const std::vector<std::string>& values) {
  std::string s;
  array_head(s, kOidText, values.size());
  for (const std::string& v : values) {
    put_be<std::uint32_t>(s, static_cast<std::uint32_t>(v.size()));
    s += v;
  }
  return s;
}

std::string bool_array_bytes(const std::vector<bool>& values) {
  std::string s;
  array_head(s, kOidBool, values.size());
  for (const bool v : values) {
    put_be<std::uint32_t>(s, 1);
    s.push_back(v ? '\1' : '\0');
  }
  return s;
}

// ---- COPY in -------------------------------------------------------------------------------

CopyWriter::CopyWriter() {
  out_.append(kSignature, kSignatureBytes);
  put_be<std::uint32_t>(out_, 0);  // flags
  put_be<std::uint32_t>(out_, 0);  // header extension length
}

void CopyWriter::row(std::int16_t fields) {
  put_be<std::uint16_t>(out_, static_cast<std::uint16_t>(fields));
  ++rows_;
}

void CopyWriter::field(std::string_view bytes) {
  put_be<std::uint32_t>(out_, static_cast<std::uint32_t>(bytes.size()));
  out_.append(bytes);
}

void CopyWriter::int2(std::int16_t v) {
  put_be<std::uint32_t>(out_, 2);
  put_be<std::uint16_t>(out_, static_cast<std::uint16_t>(v));
}
void CopyWriter::int4(std::int32_t v) {
  put_be<std::uint32_t>(out_, 4);
  put_be<std::uint32_t>(out_, static_cast<std::uint32_t>(v));
}
void CopyWriter::int8(std::int64_t v) {
  put_be<std::uint32_t>(out_, 8);
  put_be<std::uint64_t>(out_, static_cast<std::uint64_t>(v));
}
void CopyWriter::float4(float v) {
  put_be<std::uint32_t>(out_, 4);
  put_be<std::uint32_t>(out_, float_bits(v));
}
void CopyWriter::text(std::string_view v) {
  field(v);
}
void CopyWriter::null() {
  put_be<std::uint32_t>(out_, 0xFFFFFFFFu);
}

void CopyWriter::float4_array(const float* values, std::size_t n) {
  // Written in place: the lines' values are most of every shipment.
  put_be<std::uint32_t>(out_, static_cast<std::uint32_t>(n == 0 ? 12 : 20 + 8 * n));
  array_head(out_, kOidFloat4, n);
  for (std::size_t i = 0; i < n; ++i) {
    put_be<std::uint32_t>(out_, 4);
    put_be<std::uint32_t>(out_, float_bits(values[i]));
  }
}

void CopyWriter::text_array(const std::vector<std::string>& values) {
  field(text_array_bytes(values));
}

const std::string& CopyWriter::finish() {
  put_be<std::uint16_t>(out_, 0xFFFF);
  return out_;
}

// ---- COPY out ------------------------------------------------------------------------------

std::int16_t CopyReader::Field::int2() const {
  if (bytes.size() != 2) throw Error("an int2 field of " + std::to_string(bytes.size()) + " bytes");
  return static_cast<std::int16_t>(get_be<std::uint16_t>(bytes, 0));
}
std::int32_t CopyReader::Field::int4() const {
  if (bytes.size() != 4) throw Error("an int4 field of " + std::to_string(bytes.size()) + " bytes");
  return static_cast<std::int32_t>(get_be<std::uint32_t>(bytes, 0));
}
std::int64_t CopyReader::Field::int8() const {
  if (bytes.size() != 8) throw Error("an int8 field of " + std::to_string(bytes.size()) + " bytes");
  return static_cast<std::int64_t>(get_be<std::uint64_t>(bytes, 0));
}
float CopyReader::Field::float4() const {
  if (bytes.size() != 4)
    throw Error("a float4 field of " + std::to_string(bytes.size()) + " bytes");
  const std::uint32_t u = get_be<std::uint32_t>(bytes, 0);
  float f;
  std::memcpy(&f, &u, 4);
  return f;
}
std::vector<float> CopyReader::Field::float4_array() const {
  std::vector<float> out;
  array_elements(bytes, kOidFloat4, [&](std::string_view e) {
    Field f{false, e};
    out.push_back(f.float4());
  });
  return out;
}
std::vector<std::string> CopyReader::Field::text_array() const {
  std::vector<std::string> out;
  array_elements(bytes, kOidText, [&](std::string_view e) { out.emplace_back(e); });
  return out;
}

void CopyReader::feed(std::string_view bytes) {
  if (pos_ > 0 && pos_ == buf_.size()) {
    buf_.clear();
    pos_ = 0;
  }
  buf_.append(bytes);
}

bool CopyReader::next(std::vector<Field>& fields) {
  if (ended_) return false;
  // The rows taken before are done with: drop their bytes now and then.
  if (pos_ > (std::size_t{1} << 20)) {
    buf_.erase(0, pos_);
    pos_ = 0;
  }
  const std::string_view b(buf_);
  if (!header_) {
    if (b.size() - pos_ < kSignatureBytes + 8) return false;
    if (b.substr(pos_, kSignatureBytes) != std::string_view(kSignature, kSignatureBytes))
      throw Error("not a binary COPY stream");
    const auto ext = get_be<std::uint32_t>(b, pos_ + kSignatureBytes + 4);
    if (b.size() - pos_ < kSignatureBytes + 8 + ext) return false;
    pos_ += kSignatureBytes + 8 + ext;
    header_ = true;
  }
  if (b.size() - pos_ < 2) return false;
  const auto count = static_cast<std::int16_t>(get_be<std::uint16_t>(b, pos_));
  if (count == -1) {
    ended_ = true;
    pos_ += 2;
    return false;
  }
  if (count < 0) throw Error("a row of " + std::to_string(count) + " fields");
  std::size_t at = pos_ + 2;
  fields.assign(static_cast<std::size_t>(count), Field{});
  for (Field& f : fields) {
    if (b.size() - at < 4) return false;
    const auto len = static_cast<std::int32_t>(get_be<std::uint32_t>(b, at));
    at += 4;
    if (len < 0) {
      f.null = true;
      continue;
    }
    if (b.size() - at < static_cast<std::size_t>(len)) return false;
    f.null = false;
    f.bytes = b.substr(at, static_cast<std::size_t>(len));
    at += static_cast<std::size_t>(len);
  }
  pos_ = at;
  return true;
}

}  // namespace office::pg
