// The head every binary journal file starts with: its signature as a string, a 32-bit
// version and a 32-bit record count. The readers refuse a foreign signature and a count
// that cannot fit the bytes that follow before they allocate anything.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "lib/binary_stream.h"

namespace journals {

void write_journal_head(lib::io::OutputStream& out, std::string_view signature,
                        std::int32_t version, std::size_t count);

// Reads and checks the signature, then returns the version. Throws lib::io::StreamError
// ("foreign signature" when the file is of another kind).
std::int32_t read_journal_signature_and_version(lib::io::InputStream& in,
                                                std::string_view signature);

// Reads the record count and checks that `count` records of at least `min_record_bytes`
// fit what is left; throws lib::io::StreamError otherwise.
std::uint32_t read_journal_count(lib::io::InputStream& in, std::size_t min_record_bytes);

}  // namespace journals
