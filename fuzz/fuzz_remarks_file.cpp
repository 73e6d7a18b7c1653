// Feeds arbitrary bytes to the remarks file reader. It never refuses a file, only lines;
// the remarks it takes must write back and read again unchanged and without a problem.
#include <cstdint>
#include <string>
#include <string_view>

#include "journals/remarks_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto content = text::read_remarks_file(bytes);
  const std::string written = text::write_remarks_file(content.records);
  const auto again = text::read_remarks_file(written);
  if (!again.problems.empty() || again.records != content.records) __builtin_trap();
  return 0;
}
