#include "journals/mud_additives_file.h"

#include "journals/binary_journal_header.h"
#include "journals/mud_additives_format.h"

namespace journals {

namespace fmt = mud_additives_format;

void write_mud_additive(lib::io::OutputStream& out, const MudAdditive& item) {
  write_key(out, item.key);
  lib::io::write_binary(out, item.text);
  lib::io::write_binary(out, item.number);
  lib::io::write_binary(out, item.start);
  lib::io::write_binary(out, item.end);
}

MudAdditive read_mud_additive(lib::io::InputStream& in) {
  MudAdditive item;
  item.key = read_key(in);
  lib::io::read_binary(in, item.text);
  lib::io::read_binary(in, item.number);
  lib::io::read_binary(in, item.start);
  lib::io::read_binary(in, item.end);
  return item;
}

std::string write_mud_additives_file(const std::vector<MudAdditive>& items) {
  lib::io::BinaryMemoryOutputStream out;
  // Set rather than relied upon: the reader takes version 2 as UTF-8.
  out.set_string_encoding(lib::StringEnc::kUtf8);
  write_journal_head(out, fmt::kSignature, fmt::kCurrentVersion, items.size());
  for (const auto& item : items) write_mud_additive(out, item);
  return out.release();
}

MudAdditivesFileContent read_mud_additives_file(std::string_view bytes) {
  lib::io::BinaryMemoryInputStream in(bytes);
  MudAdditivesFileContent content;
  content.version = read_journal_signature_and_version(in, fmt::kSignature);
  if (content.version < fmt::kVersionCp1251 || content.version > fmt::kVersionUtf8) {
    throw lib::io::StreamError("unknown version " + std::to_string(content.version));
  }
  in.set_string_encoding(content.version >= fmt::kVersionUtf8 ? lib::StringEnc::kUtf8
                                                              : lib::StringEnc::kCp1251);
  const std::uint32_t count = read_journal_count(in, fmt::kMinRecordBytes);
  content.items.reserve(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    try {
      content.items.push_back(read_mud_additive(in));
    } catch (const lib::io::StreamError& e) {
      throw lib::io::StreamError("record " + std::to_string(i + 1) + " of " +
                                 std::to_string(count) + " is cut short: " + e.what());
    }
  }
  return content;
}

}  // namespace journals
