// Feeds arbitrary bytes to the troubles log file reader. Whatever it accepts must write
// back and read again to the same records.
#include <cstdint>
#include <string>
#include <string_view>

#include "journals/troubles_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    const auto content = journals::read_troubles_file(bytes);
    const std::string written = journals::write_troubles_file(content.records);
    const auto again = journals::read_troubles_file(written);
    if (journals::write_troubles_file(again.records) != written) __builtin_trap();
  } catch (const lib::io::StreamError&) {
  }
  return 0;
}
