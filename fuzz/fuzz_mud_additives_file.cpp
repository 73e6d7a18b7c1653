// Feeds arbitrary bytes to the mud additives file reader. Whatever it accepts must write
// back and read again to the same records.
#include <cstdint>
#include <string>
#include <string_view>

#include "journals/mud_additives_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    const auto content = journals::read_mud_additives_file(bytes);
    const std::string written = journals::write_mud_additives_file(content.items);
    const auto again = journals::read_mud_additives_file(written);
    if (journals::write_mud_additives_file(again.items) != written) __builtin_trap();
  } catch (const lib::io::StreamError&) {
  }
  return 0;
}
