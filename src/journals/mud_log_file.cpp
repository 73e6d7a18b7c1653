#include "journals/mud_log_file.h"

#include "journals/binary_journal_header.h"
#include "journals/mud_log_format.h"

namespace journals {

namespace fmt = mud_log_format;
static_assert(fmt::kMeasurements == kMudMeasurementCount);

void write_mud_log_item(lib::io::OutputStream& out, const MudLogItem& item) {
  write_key(out, item.key);
  lib::io::write_binary(out, item.time);
  lib::io::write_binary(out, item.mud_type);
  for (double v : item.values) lib::io::write_binary(out, v);
}

MudLogItem read_mud_log_item(lib::io::InputStream& in, std::int32_t version) {
  MudLogItem item;
  item.key = read_key(in);
  lib::io::read_binary(in, item.time);
  lib::io::read_binary(in, item.mud_type);
  const std::size_t stored =
      version >= fmt::kVersionAllMeasurements ? fmt::kMeasurements : fmt::kMeasurementsBeforeV3;
  for (std::size_t i = 0; i < stored; ++i) lib::io::read_binary(in, item.values[i]);
  return item;
}

std::string write_mud_log_file(const std::vector<MudLogItem>& items) {
  lib::io::BinaryMemoryOutputStream out;
  // Set rather than relied upon: the reader takes versions 2 and 3 as UTF-8.
  out.set_string_encoding(lib::StringEnc::kUtf8);
  write_journal_head(out, fmt::kSignature, fmt::kCurrentVersion, items.size());
  for (const auto& item : items) write_mud_log_item(out, item);
  return out.release();
}

MudLogFileContent read_mud_log_file(std::string_view bytes) {
  lib::io::BinaryMemoryInputStream in(bytes);
  MudLogFileContent content;
  content.version = read_journal_signature_and_version(in, fmt::kSignature);
  if (content.version < fmt::kVersionCp1251 || content.version > fmt::kVersionAllMeasurements) {
    throw lib::io::StreamError("unknown version " + std::to_string(content.version));
  }
  in.set_string_encoding(content.version >= fmt::kVersionUtf8 ? lib::StringEnc::kUtf8
                                                              : lib::StringEnc::kCp1251);
  const std::size_t min_bytes = content.version >= fmt::kVersionAllMeasurements
                                    ? fmt::kMinRecordBytes
                                    : fmt::kMinRecordBytesBeforeV3;
  const std::uint32_t count = read_journal_count(in, min_bytes);
  content.items.reserve(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    try {
      content.items.push_back(read_mud_log_item(in, content.version));
    } catch (const lib::io::StreamError& e) {
      throw lib::io::StreamError("record " + std::to_string(i + 1) + " of " +
                                 std::to_string(count) + " is cut short: " + e.what());
    }
  }
  return content;
}

}  // namespace journals
