#include "params/extended_file.h"

#include <cstdint>

#include "lib/binary_stream.h"
#include "params/extended_file_format.h"

namespace params::extended_file {

std::string write(const std::vector<Param>& rows) {
  lib::io::BinaryMemoryOutputStream out;
  out.set_string_encoding(lib::StringEnc::kUtf8);
  lib::io::write_binary(out, kMark);
  lib::io::write_binary(out, static_cast<std::int32_t>(rows.size()));
  for (const Param& row : rows) row.save_extended_info(out);
  return out.release();
}

ReadResult read(std::string_view bytes, lib::StringEnc encoding) {
  ReadResult result;
  lib::io::BinaryMemoryInputStream in(bytes);
  in.set_string_encoding(encoding);
  const std::string not_marked =
      "the file does not start with the mark " + std::string(kMark) + "; nothing was read";
  try {
    if (lib::io::read_binary<std::string>(in) != kMark) {
      result.problems.push_back(not_marked);
      return result;
    }
  } catch (const lib::io::StreamError&) {
    result.problems.push_back(bytes.empty() ? std::string("the file is empty (0 bytes)")
                                            : not_marked);
    return result;
  }
  result.marked = true;
  try {
    const auto count = lib::io::read_binary<std::int32_t>(in);
    if (count < 0 || static_cast<std::uint64_t>(count) * kMinEntryBytes > in.remaining()) {
      result.problems.push_back("the extended file announces " + std::to_string(count) +
                                " entries, which do not fit the file");
      return result;
    }
    for (std::int32_t i = 0; i < count; ++i) {
      Entry entry;
      lib::io::read_binary(in, entry.identifier);
      entry.info.load(in);
      result.entries.push_back(std::move(entry));
    }
  } catch (const lib::io::StreamError& e) {
    result.problems.push_back("the extended file is cut short after " +
                              std::to_string(result.entries.size()) + " entries: " + e.what());
  }
  return result;
}

}  // namespace params::extended_file
