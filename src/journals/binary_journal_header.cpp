#include "journals/binary_journal_header.h"

#include <string>

namespace journals {

void write_journal_head(lib::io::OutputStream& out, std::string_view signature,
                        std::int32_t version, std::size_t count) {
  lib::io::write_binary(out, signature);
  lib::io::write_binary(out, version);
  lib::io::write_binary(out, static_cast<std::int32_t>(count));
}

std::int32_t read_journal_signature_and_version(lib::io::InputStream& in,
                                                std::string_view signature) {
  // The length is checked first: any other file kind is refused without reading a string
  // of whatever length its first bytes happen to give.
  std::uint32_t length = 0;
  if (in.remaining() >= sizeof length) lib::io::read_binary(in, length);
  if (length != signature.size() || in.remaining() < length ||
      lib::io::read_bytes(in, length) != signature) {
    throw lib::io::StreamError("foreign signature, not a \"" + std::string(signature) + "\" file");
  }
  return lib::io::read_binary<std::int32_t>(in);
}

std::uint32_t read_journal_count(lib::io::InputStream& in, std::size_t min_record_bytes) {
  const auto count = lib::io::read_binary<std::int32_t>(in);
  if (count < 0) throw lib::io::StreamError("negative record count " + std::to_string(count));
  const auto n = static_cast<std::uint32_t>(count);
  if (n > in.remaining() / min_record_bytes) {
    throw lib::io::StreamError("record count " + std::to_string(n) + " does not fit the " +
                               std::to_string(in.remaining()) + " bytes left");
  }
  return n;
}

}  // namespace journals
