#include "storage/real_time_records.h"

#include <stdexcept>

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

}  // namespace

void write_block(lib::io::OutputStream& out, std::uint8_t type, std::string_view payload) {
  if (payload.size() > kMaxPayloadBytes) {
    throw std::length_error("a recording block of type " + std::to_string(type) + " would hold " +
                            std::to_string(payload.size()) + " bytes, more than the " +
                            std::to_string(kMaxPayloadBytes) + " a block can");
  }
  // Head and payload leave in one write, so a cut file ends in a cut block, never in a
  // head whose payload went elsewhere.
  std::string block;
  block.reserve(kBlockHeadBytes + payload.size());
  block.push_back(static_cast<char>(type));
  block.push_back(static_cast<char>(payload.size() & 0xFF));
  block.push_back(static_cast<char>((payload.size() >> 8) & 0xFF));
  block.append(payload);
  out.write(block.data(), block.size());
}

void write_version_block(lib::io::OutputStream& out) {
  lib::io::BinaryMemoryOutputStream p;
  lib::io::write_binary(p, kVersionFirst);
  lib::io::write_binary(p, kVersionSecond);
  write_block(out, kBlockVersion, p.data());
}

void write_params_block(lib::io::OutputStream& out, const std::vector<RecordedParam>& params) {
  write_block(out, kBlockParams, params_payload(params));
}

std::string text_payload(std::string_view text) {
  auto out = utf8_memory();
  lib::io::write_binary(out, text);
  return out.release();
}

std::string values_payload(const ValuesLine& line) {
  lib::io::BinaryMemoryOutputStream out;
  lib::io::write_binary(out, line.time);
  lib::io::write_binary(out, line.first_depth);
  lib::io::write_binary(out, line.third_depth);
  lib::io::write_binary(out, line.operation);
  lib::io::write_binary(out, line.bit_depth);
  const char reserved[kValReservedBytes] = {};
  out.write(reserved, sizeof reserved);
  lib::io::write_binary(out, kValConstAValue);
  lib::io::write_binary(out, kValConstBValue);
  lib::io::write_binary(out, kValConstCValue);
  const std::uint8_t h = line.hundredths;
  lib::io::write_binary(out, static_cast<std::uint8_t>(h / 2));
  lib::io::write_binary(out, static_cast<std::uint8_t>(h / 7));
  lib::io::write_binary(out, static_cast<std::uint8_t>(h / 10));
  lib::io::write_binary(out, h);
  lib::io::write_binary(out, static_cast<std::int32_t>(line.values.size()));
  for (float v : line.values) lib::io::write_binary(out, v);
  return out.release();
}

TextWriterRecord::TextWriterRecord(std::string text) : text_(std::move(text)) {
  if (text_.size() + 4 > kMaxPayloadBytes) {
    throw std::length_error("a text of " + std::to_string(text_.size()) +
                            " bytes does not fit one recording block");
  }
}

void TextWriterRecord::write(lib::io::OutputStream& out) const {
  write_block(out, kBlockText, text_payload(text_));
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

void ValuesWriterRecord::write(lib::io::OutputStream& out) const {
  write_block(out, kBlockValues, values_payload(line_));
}

bool ValuesWriterRecord::check(const ValuesWriterDequeFileData& file) const {
  if (file.names.size() != line_.values.size()) return true;
  for (std::size_t i = 0; i < file.names.size(); ++i) {
    if ((*params_)[i].identifier != file.names[i]) return true;
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
