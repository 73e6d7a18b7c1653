#include "storage/real_time_records.h"

#include <bit>
#include <cstring>
#include <stdexcept>

#include "lib/crc32c.h"
#include "storage/real_time_format.h"

namespace rtf {
namespace {

lib::io::BinaryMemoryOutputStream utf8_memory() {
  lib::io::BinaryMemoryOutputStream out;
  out.set_string_encoding(static_cast<lib::StringEnc>(kStringEncoding));
  return out;
}

std::string params_payload(const std::vector<RecordedParam>& params) {
  auto out = utf8_memory();
  lib::io::write_binary(out, static_cast<std::int32_t>(params.size()));
  for (const RecordedParam& p : params) {
    lib::io::write_binary(out, p.full_name);
    lib::io::write_binary(out, p.unit);
    lib::io::write_binary(out, p.short_name);
    lib::io::write_binary(out, p.identifier);
    lib::io::write_binary(out, p.scale_min);
    lib::io::write_binary(out, p.scale_max);
  }
  return out.release();
}

// Little-endian stores into a buffer already sized for them.
inline void put_u32(char* at, std::uint32_t v) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(at, &v, 4);
  } else {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<char>(v >> (8 * i));
  }
}

inline void put_f32(char* at, float f) {
  std::uint32_t bits;
  std::memcpy(&bits, &f, 4);
  put_u32(at, bits);
}

void check_payload_size(std::uint8_t type, std::size_t size) {
  if (size > kMaxPayloadBytes) {
    throw std::length_error("a recording block of type " + std::to_string(type) + " would hold " +
                            std::to_string(size) + " bytes, more than the " +
                            std::to_string(kMaxPayloadBytes) + " a block can");
  }
}

// The check after a block whose head and payload end `out`, `from` being where it starts.
std::uint32_t append_check(std::string& out, std::size_t from) {
  const std::uint32_t check = lib::crc32c(out.data() + from, out.size() - from);
  char c[kCheckBytes];
  put_u32(c, check);
  out.append(c, sizeof c);
  return check;
}

std::uint32_t append_block(std::string& out, std::uint8_t type, std::string_view payload) {
  check_payload_size(type, payload.size());
  const std::size_t from = out.size();
  const char head[kBlockHeadBytes] = {static_cast<char>(type),
                                      static_cast<char>(payload.size() & 0xFF),
                                      static_cast<char>((payload.size() >> 8) & 0xFF)};
  out.append(head, sizeof head);
  out.append(payload);
  return append_check(out, from);
}

}  // namespace

void append_version_block(std::string& out) {
  char payload[kVersionPayloadBytes];
  put_u32(payload, static_cast<std::uint32_t>(kVersionFirst));
  put_u32(payload + 4, static_cast<std::uint32_t>(kVersionChecked));
  append_block(out, kBlockVersion, std::string_view(payload, sizeof payload));
}

std::uint32_t append_params_block(std::string& out, const std::vector<RecordedParam>& params) {
  const std::string payload = params_payload(params);
  std::uint32_t check = 0;
  for (int copy = 0; copy < kParamsCopies; ++copy) check = append_block(out, kBlockParams, payload);
  return check;
}

void append_values_block(std::string& out, const ValuesLine& line, std::uint32_t params_check) {
  const std::size_t k = line.values.size();
  const std::size_t len = kValFixedBytes + 4 * k;
  check_payload_size(kBlockValues, len);
  const std::size_t from = out.size();
  // The head and the fixed fields are laid out on the stack, the values copied straight
  // from the line: the buffer is written once, never cleared first.
  char b[kBlockHeadBytes + kValFixedBytes];
  b[0] = static_cast<char>(kBlockValues);
  b[1] = static_cast<char>(len & 0xFF);
  b[2] = static_cast<char>((len >> 8) & 0xFF);
  char* p = b + kBlockHeadBytes;
  put_u32(p + kValTime, line.time);
  put_f32(p + kValFirstDepth, line.first_depth);
  put_f32(p + kValThirdDepth, line.third_depth);
  p[kValOperation] = static_cast<char>(line.operation);
  put_f32(p + kValBitDepth, line.bit_depth);
  std::memset(p + kValReserved, 0, kValReservedBytes);
  put_u32(p + kValListCheck, params_check);
  put_u32(p + kValConstA, static_cast<std::uint32_t>(kValConstAValue));
  put_u32(p + kValConstB, static_cast<std::uint32_t>(kValConstBValue));
  put_u32(p + kValConstC, static_cast<std::uint32_t>(kValConstCValue));
  const std::uint8_t h = line.hundredths;
  p[kValHundredthsBy2] = static_cast<char>(h / 2);
  p[kValHundredthsBy7] = static_cast<char>(h / 7);
  p[kValHundredthsBy10] = static_cast<char>(h / 10);
  p[kValHundredths] = static_cast<char>(h);
  put_u32(p + kValCount, static_cast<std::uint32_t>(k));
  out.append(b, sizeof b);
  if constexpr (std::endian::native == std::endian::little) {
    out.append(reinterpret_cast<const char*>(line.values.data()), 4 * k);
  } else {
    for (float v : line.values) {
      char f[4];
      put_f32(f, v);
      out.append(f, 4);
    }
  }
  append_check(out, from);
}

void write_version_block(lib::io::OutputStream& out) {
  std::string block;
  append_version_block(block);
  out.write(block.data(), block.size());
}

std::string text_payload(std::string_view text) {
  auto out = utf8_memory();
  lib::io::write_binary(out, text);
  return out.release();
}

std::string values_payload(const ValuesLine& line, std::uint32_t params_check) {
  std::string block;
  append_values_block(block, line, params_check);
  return block.substr(kBlockHeadBytes, block.size() - kBlockHeadBytes - kCheckBytes);
}

TextWriterRecord::TextWriterRecord(std::string text) : text_(std::move(text)) {
  if (text_.size() + 4 > kMaxPayloadBytes) {
    throw std::length_error("a text of " + std::to_string(text_.size()) +
                            " bytes does not fit one recording block");
  }
}

void OneRecord::write(lib::io::OutputStream& out, std::uint32_t params_check) const {
  std::string block;
  append(block, params_check);
  out.write(block.data(), block.size());
}

void TextWriterRecord::append(std::string& out, std::uint32_t /*params_check*/) const {
  append_block(out, kBlockText, text_payload(text_));
}

ValuesWriterRecord::ValuesWriterRecord(ValuesLine line, ParamList params)
    : line_(std::move(line)), params_(std::move(params)) {
  if (!params_ || params_->size() != line_.values.size()) {
    throw std::invalid_argument("a values line with " + std::to_string(line_.values.size()) +
                                " values for " + std::to_string(params_ ? params_->size() : 0) +
                                " parameters");
  }
  if (line_.values.size() > kMaxValuesPerBlock) {
    throw std::length_error("a values line of " + std::to_string(line_.values.size()) +
                            " values does not fit one recording block");
  }
}

void ValuesWriterRecord::append(std::string& out, std::uint32_t params_check) const {
  append_values_block(out, line_, params_check);
}

bool ValuesWriterRecord::check(const ValuesWriterDequeFileData& file) const {
  if (file.params == params_) return false;
  const std::size_t known = file.params ? file.params->size() : 0;
  if (known != line_.values.size()) return true;
  for (std::size_t i = 0; i < known; ++i) {
    if ((*params_)[i].identifier != (*file.params)[i].identifier) return true;
  }
  return false;
}

std::size_t Records::memory_bytes() const {
  std::size_t n = sizeof(*this) + file.size();
  for (const auto& r : records) n += r->memory_bytes();
  return n;
}

void add_value_name(KeyValueList& list, std::string_view key, std::string value) {
  for (auto& [k, v] : list) {
    if (k == key) {
      v = std::move(value);
      return;
    }
  }
  list.emplace_back(std::string(key), std::move(value));
}

std::string key_value_text(const KeyValueList& list) {
  std::string text;
  for (const auto& [k, v] : list) {
    if (!text.empty()) text += "\r\n";
    text += k;
    text += '=';
    text += v;
  }
  return text;
}

}  // namespace rtf
