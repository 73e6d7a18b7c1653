// Feeds arbitrary bytes to the serial port listing as the console files, the system's device
// list and the user's paths (sections separated by 0x01; device and user paths one a
// line) and checks what the search would be given.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "hardware/port_search/serial_port_list.h"

namespace {

std::vector<std::string> split(std::string_view text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(separator, start);
    parts.emplace_back(text.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> sections = split(bytes, '\x01');
  sections.resize(4);
  const std::vector<std::string> devices = split(sections[2], '\n');
  const std::vector<std::string> user = split(sections[3], '\n');

  const hardware::SerialPortLister lister(
      [&] {
        return hardware::SerialDeviceListing{devices, ""};
      },
      [&](const std::string& path) -> std::optional<std::string> {
        if (path == hardware::kActiveConsoleFile) return sections[0];
        if (path == hardware::kKernelCommandLineFile) return sections[1];
        return std::nullopt;
      });
  const auto entries = lister.entries(user);
  const auto searched = lister.ports_to_search(user);
  const auto consoles = lister.kernel_consoles();

  std::set<std::string> seen;
  std::size_t searched_count = 0;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const auto& e = entries[i];
    if (e.path.empty() || !seen.insert(e.path).second) __builtin_trap();  // no blanks, no repeats
    if (e.kernel_console != (consoles.count(e.path) != 0)) __builtin_trap();
    if (e.searched != (!e.kernel_console || e.named_by_user)) __builtin_trap();
    if (e.searched && searched.at(searched_count++) != e.path) __builtin_trap();
    // The system's ports come first, in natural order.
    if (i > 0 && !e.named_by_user && !entries[i - 1].named_by_user &&
        !hardware::natural_less(entries[i - 1].path, e.path))
      __builtin_trap();
  }
  if (searched_count != searched.size()) __builtin_trap();
  for (const std::string& c : consoles) {
    if (c.rfind("/dev/", 0) != 0 || c.find('/', 5) != std::string::npos) __builtin_trap();
  }
  if (devices.size() >= 2) {
    const std::string& a = devices[0];
    const std::string& b = devices[1];
    if (hardware::natural_less(a, a)) __builtin_trap();
    if (hardware::natural_less(a, b) && hardware::natural_less(b, a)) __builtin_trap();
    if (a != b && !hardware::natural_less(a, b) && !hardware::natural_less(b, a)) __builtin_trap();
  }
  return 0;
}
