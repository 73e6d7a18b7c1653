#include "journals/troubles_file.h"

#include "journals/binary_journal_header.h"
#include "journals/troubles_format.h"

namespace journals {

namespace fmt = troubles_format;

void write_troubles_record(lib::io::OutputStream& out, const TroublesLogRecord& r) {
  using lib::io::write_binary;
  write_key(out, r.key);
  write_binary(out, r.type_id);
  write_binary(out, r.second_id);
  write_binary(out, r.start);
  write_binary(out, r.end);
  write_binary(out, r.value1);
  write_binary(out, r.value2);
  write_binary(out, r.value3);
  write_binary(out, r.third_id);
  write_binary(out, r.text);
  write_binary(out, r.version2_field);
}

TroublesLogRecord read_troubles_record(lib::io::InputStream& in, std::int32_t version) {
  using lib::io::read_binary;
  TroublesLogRecord r;
  r.key = read_key(in);
  read_binary(in, r.type_id);
  read_binary(in, r.second_id);
  read_binary(in, r.start);
  read_binary(in, r.end);
  read_binary(in, r.value1);
  read_binary(in, r.value2);
  read_binary(in, r.value3);
  read_binary(in, r.third_id);
  read_binary(in, r.text);
  if (version >= fmt::kVersionWithExtra) read_binary(in, r.version2_field);
  return r;
}

std::string write_troubles_file(const std::vector<TroublesLogRecord>& records) {
  lib::io::BinaryMemoryOutputStream out;
  // Set rather than relied upon: the reader takes version 3 as UTF-8 whatever the
  // stream's default is.
  out.set_string_encoding(lib::StringEnc::kUtf8);
  write_journal_head(out, fmt::kSignature, fmt::kCurrentVersion, records.size());
  for (const auto& r : records) write_troubles_record(out, r);
  return out.release();
}

TroublesFileContent read_troubles_file(std::string_view bytes) {
  lib::io::BinaryMemoryInputStream in(bytes);
  TroublesFileContent content;
  content.version = read_journal_signature_and_version(in, fmt::kSignature);
  if (content.version < fmt::kVersionWithoutExtra || content.version > fmt::kVersionUtf8) {
    throw lib::io::StreamError("unknown version " + std::to_string(content.version));
  }
  // Versions 1 and 2 come from the stations that kept their text in the Cyrillic code page.
  in.set_string_encoding(content.version >= fmt::kVersionUtf8 ? lib::StringEnc::kUtf8
                                                              : lib::StringEnc::kCp1251);
  const std::size_t min_bytes =
      content.version >= fmt::kVersionWithExtra ? fmt::kMinRecordBytes : fmt::kMinRecordBytesV1;
  const std::uint32_t count = read_journal_count(in, min_bytes);
  content.records.reserve(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    try {
      content.records.push_back(read_troubles_record(in, content.version));
    } catch (const lib::io::StreamError& e) {
      throw lib::io::StreamError("record " + std::to_string(i + 1) + " of " +
                                 std::to_string(count) + " is cut short: " + e.what());
    }
  }
  return content;
}

}  // namespace journals
