#include "hardware/port_search/serial_port_list.h"

#include <algorithm>
#include <cctype>

namespace hardware {

namespace {

constexpr std::string_view kDevFolder = "/dev/";
constexpr std::string_view kConsoleKey = "console=";

// NUL separates too: a command line read with its terminator, or one in argv form.
bool is_blank(char c) {
  return c == '\0' || c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// A kernel device name such as "ttyS0" or "hvc0"; anything else (an earlycon description,
// garbage) names no device file.
bool is_device_name(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.';
  });
}

std::optional<std::string> console_path(std::string_view name) {
  if (name.substr(0, kDevFolder.size()) == kDevFolder) name.remove_prefix(kDevFolder.size());
  if (!is_device_name(name)) return std::nullopt;
  return std::string(kDevFolder) + std::string(name);
}

// Splits a kernel command line into words the way the kernel does: blanks separate, double
// quotes group and are dropped.
std::vector<std::string> command_line_words(std::string_view text) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false;
  bool in_word = false;
  for (char c : text) {
    if (c == '"') {
      quoted = !quoted;
      in_word = true;
    } else if (is_blank(c) && !quoted) {
      if (in_word) words.push_back(word);
      word.clear();
      in_word = false;
    } else {
      word += c;
      in_word = true;
    }
  }
  if (in_word) words.push_back(word);
  return words;
}

void add_unique(std::vector<std::string>& list, std::string path) {
  if (std::find(list.begin(), list.end(), path) == list.end()) list.push_back(std::move(path));
}

}  // namespace

std::string device_path_of(std::string_view name) {
  while (!name.empty() && is_blank(name.front())) name.remove_prefix(1);
  while (!name.empty() && is_blank(name.back())) name.remove_suffix(1);
  if (name.empty()) return {};
  if (name.front() == '/' || name.front() == '.') return std::string(name);
  return std::string(kDevFolder) + std::string(name);
}

bool natural_less(std::string_view a, std::string_view b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (is_digit(a[i]) && is_digit(b[j])) {
      // Compare the two numbers without converting them, so any length works.
      std::size_t ia = i, jb = j;
      while (ia < a.size() && a[ia] == '0') ++ia;
      while (jb < b.size() && b[jb] == '0') ++jb;
      std::size_t ea = ia, eb = jb;
      while (ea < a.size() && is_digit(a[ea])) ++ea;
      while (eb < b.size() && is_digit(b[eb])) ++eb;
      if (ea - ia != eb - jb) return ea - ia < eb - jb;
      const int c = a.substr(ia, ea - ia).compare(b.substr(jb, eb - jb));
      if (c != 0) return c < 0;
      i = ea;
      j = eb;
      continue;
    }
    if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
    ++i;
    ++j;
  }
  // One ran out first: the shorter one comes first.
  if (i < a.size() || j < b.size()) return i >= a.size();
  return a < b;
}

std::vector<std::string> consoles_from_active_list(std::string_view text) {
  std::vector<std::string> paths;
  for (const std::string& word : command_line_words(text)) {
    if (auto path = console_path(word)) add_unique(paths, std::move(*path));
  }
  return paths;
}

std::vector<std::string> consoles_from_command_line(std::string_view text) {
  std::vector<std::string> paths;
  for (const std::string& word : command_line_words(text)) {
    if (word == "--") break;
    if (word.compare(0, kConsoleKey.size(), kConsoleKey) != 0) continue;
    std::string_view value(word);
    value.remove_prefix(kConsoleKey.size());
    value = value.substr(0, value.find(','));  // "ttyS0,115200n8": options follow the name
    if (auto path = console_path(value)) add_unique(paths, std::move(*path));
  }
  return paths;
}

SerialPortLister::SerialPortLister(SerialDeviceSource devices, SystemTextReader reader,
                                   SerialListLog log)
    : devices_(std::move(devices)), reader_(std::move(reader)), log_(std::move(log)) {}

std::set<std::string> SerialPortLister::kernel_consoles() const {
  std::set<std::string> consoles;
  // Either file may be missing (a container, another kernel); each one alone is enough.
  if (const auto active = reader_(kActiveConsoleFile)) {
    for (auto& path : consoles_from_active_list(*active)) consoles.insert(std::move(path));
  }
  if (const auto cmdline = reader_(kKernelCommandLineFile)) {
    for (auto& path : consoles_from_command_line(*cmdline)) consoles.insert(std::move(path));
  }
  return consoles;
}

std::vector<SerialPortEntry> SerialPortLister::entries(
    const std::vector<std::string>& user_paths) const {
  SerialDeviceListing listing = devices_();
  if (!listing.error.empty() && log_) log_("Serial port list unavailable: " + listing.error);

  std::vector<std::string> system_paths;
  for (const std::string& p : listing.paths) {
    std::string path = device_path_of(p);
    if (!path.empty()) add_unique(system_paths, std::move(path));
  }
  std::sort(system_paths.begin(), system_paths.end(),
            [](const std::string& a, const std::string& b) { return natural_less(a, b); });

  std::vector<std::string> named;
  for (const std::string& p : user_paths) {
    std::string path = device_path_of(p);
    if (!path.empty()) add_unique(named, std::move(path));
  }

  const std::set<std::string> consoles = kernel_consoles();
  std::vector<SerialPortEntry> result;
  auto add = [&](const std::string& path) {
    SerialPortEntry e;
    e.path = path;
    e.kernel_console = consoles.count(path) != 0;
    e.named_by_user = std::find(named.begin(), named.end(), path) != named.end();
    e.searched = !e.kernel_console || e.named_by_user;
    result.push_back(std::move(e));
  };
  for (const std::string& path : system_paths) add(path);
  for (const std::string& path : named) {
    if (std::find(system_paths.begin(), system_paths.end(), path) == system_paths.end()) add(path);
  }
  return result;
}

std::vector<std::string> SerialPortLister::ports_to_search(
    const std::vector<std::string>& user_paths) const {
  std::vector<std::string> paths;
  for (SerialPortEntry& e : entries(user_paths)) {
    if (e.searched) paths.push_back(std::move(e.path));
  }
  return paths;
}

}  // namespace hardware
