#include "storage/file_stored_values.h"

#include <cmath>
#include <limits>
#include <stdexcept>

namespace rtf {

void write_extended(lib::io::OutputStream& out, long double value) {
  std::uint64_t significand = 0;
  std::uint16_t sign_exponent = std::signbit(value) ? 0x8000 : 0;
  if (std::isnan(value)) {
    sign_exponent |= 0x7FFF;
    significand = 0xC000000000000000ull;
  } else if (std::isinf(value)) {
    sign_exponent |= 0x7FFF;
    significand = 0x8000000000000000ull;
  } else if (value != 0) {
    int e = 0;
    const long double m = std::frexp(std::fabs(value), &e);  // m in [0.5, 1)
    int biased = e - 1 + 16383;
    if (biased >= 0x7FFF) {
      sign_exponent |= 0x7FFF;  // beyond the format: infinity
      significand = 0x8000000000000000ull;
    } else if (biased <= 0) {
      // Too small for a normal number: a denormal, the shift losing what does not fit.
      const int shift = 1 - biased;
      significand = shift >= 64 ? 0 : static_cast<std::uint64_t>(std::ldexp(m, 64 - shift));
    } else {
      sign_exponent |= static_cast<std::uint16_t>(biased);
      significand = static_cast<std::uint64_t>(std::ldexp(m, 64));
    }
  }
  lib::io::write_binary(out, significand);
  lib::io::write_binary(out, sign_exponent);
}

long double read_extended(lib::io::InputStream& in) {
  const auto significand = lib::io::read_binary<std::uint64_t>(in);
  const auto sign_exponent = lib::io::read_binary<std::uint16_t>(in);
  const bool negative = (sign_exponent & 0x8000) != 0;
  const int exponent = sign_exponent & 0x7FFF;
  long double v;
  if (exponent == 0x7FFF) {
    v = (significand << 1) == 0 ? std::numeric_limits<long double>::infinity()
                                : std::numeric_limits<long double>::quiet_NaN();
  } else {
    const int e = exponent == 0 ? 1 - 16383 : exponent - 16383;
    v = std::ldexp(static_cast<long double>(significand), e - 63);
  }
  return negative ? -v : v;
}

void FileStoredValue::serialize(lib::serial_list& list) {
  list.add_custom([this](lib::io::OutputStream& out) { write_extended(out, sum); },
                  [this](lib::io::InputStream& in) { sum = read_extended(in); });
  list.add(count).add(last);
}

void FileStoredValues::clear() {
  for (FileStoredValue& v : items_) v.clear();
}

bool FileStoredValues::calculate_save_values(ValuesLine& line,
                                             const std::vector<int>& catalogue_index,
                                             float first_depth, float bit_depth, float third_depth,
                                             std::uint8_t operation, std::uint32_t time,
                                             std::uint8_t hundredths) {
  if (items_.empty()) return false;
  line.time = time;
  line.hundredths = hundredths;
  line.first_depth = first_depth;
  line.bit_depth = bit_depth;
  line.third_depth = third_depth;
  line.operation = operation;
  // Sized once: a line of the whole table grown value by value would move its values ten
  // times.
  line.values.resize(catalogue_index.size());
  float* out = line.values.data();
  for (std::size_t i = 0; i < catalogue_index.size(); ++i) {
    const int c = catalogue_index[i];
    if (c < 0) {
      out[i] = 0;
      continue;
    }
    FileStoredValue& item = items_.at(static_cast<std::size_t>(c));
    const auto x = static_cast<float>(item.calc());
    item.last = x;
    out[i] = x;
  }
  for (FileStoredValue& item : items_) item.restart();
  return true;
}

void FileStoredValues::serialize(lib::serial_list& list) {
  auto n = static_cast<std::uint32_t>(items_.size());
  list.add(n);
  if (list.reading()) {
    if (n > list.input()->remaining() / (kExtendedBytes + 12)) {
      throw lib::io::StreamError("a set of " + std::to_string(n) +
                                 " stored values does not fit the data left");
    }
    items_.assign(n, FileStoredValue{});
  }
  for (FileStoredValue& v : items_) v.serialize(list);
}

void LagFileStoredLine::serialize(lib::serial_list& list) {
  list.add(depth).add(remaining).add(values);
  std::vector<RecordedParam> copy = params ? *params : std::vector<RecordedParam>{};
  auto n = static_cast<std::uint32_t>(copy.size());
  list.add(n);
  if (list.reading()) {
    // Each parameter takes at least four string counts and two floats.
    if (n > list.input()->remaining() / 24) {
      throw lib::io::StreamError("a lag line of " + std::to_string(n) +
                                 " parameters does not fit the data left");
    }
    copy.assign(n, RecordedParam{});
  }
  for (RecordedParam& p : copy) {
    list.add(p.full_name).add(p.unit).add(p.short_name).add(p.identifier);
    list.add(p.scale_min).add(p.scale_max);
  }
  list.add(delay);
  if (list.reading()) {
    if (copy.size() != values.size()) {
      throw lib::io::StreamError("a lag line with " + std::to_string(values.size()) +
                                 " values for " + std::to_string(copy.size()) + " parameters");
    }
    params = std::make_shared<const std::vector<RecordedParam>>(std::move(copy));
  }
}

}  // namespace rtf
