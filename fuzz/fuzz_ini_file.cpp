// Feeds arbitrary bytes to the INI reader. Whichever encoding it takes the bytes to be in,
// what it keeps is UTF-8 text it really found, and every name it read can be stored again:
// the text it writes reads back to the same sections, keys and values with nothing to
// report, and writing that again gives the same text. Only the public interface is used,
// so the target holds whatever way the encoding is decided.
#include <cstdint>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "lib/ident.h"
#include "lib/ini_file.h"
#include "lib/str_enc.h"

namespace {

struct Entry {
  std::string section;
  std::string key;
  std::string value;
};

// Names compare without regard to case, Cyrillic included, so one file never holds two
// sections, or two keys of one section, that differ only in letter case.
bool distinct_names(const std::vector<std::string>& names) {
  const std::set<std::string, lib::IdentLess> seen(names.begin(), names.end());
  return seen.size() == names.size();
}

// Every key and value in load order, with each section's keys in their order.
std::vector<Entry> entries_of(const lib::IniFile& ini) {
  std::vector<Entry> out;
  const std::vector<std::string> sections = ini.sections();
  if (!distinct_names(sections)) __builtin_trap();
  for (const std::string& s : sections) {
    if (!ini.has_section(s)) __builtin_trap();
    const std::vector<std::string> keys = ini.keys(s);
    if (!distinct_names(keys)) __builtin_trap();
    for (const std::string& k : keys) {
      const std::optional<std::string> v = ini.find(s, k);
      if (!v) __builtin_trap();  // a listed key that cannot be found
      out.push_back({s, k, *v});
    }
  }
  return out;
}

bool same(const std::vector<Entry>& a, const std::vector<Entry>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].section != b[i].section || a[i].key != b[i].key || a[i].value != b[i].value) {
      return false;
    }
  }
  return true;
}

bool plain_ascii(std::string_view bytes) {
  for (char c : bytes) {
    const auto u = static_cast<unsigned char>(c);
    if (u == 0 || u >= 0x80) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  lib::IniFile read;
  read.load_text(bytes);
  // A conversion is never silent.
  if (read.converted_from_cp1251() && read.problems().empty()) __builtin_trap();
  // Plain ASCII is the same text in either encoding: nothing to convert.
  const bool ascii = plain_ascii(bytes);
  if (ascii && read.converted_from_cp1251()) __builtin_trap();

  const std::vector<Entry> entries = entries_of(read);
  for (const Entry& e : entries) {
    if (!lib::is_valid_utf8(e.section) || !lib::is_valid_utf8(e.key) ||
        !lib::is_valid_utf8(e.value)) {
      __builtin_trap();
    }
    if (e.key.empty() || e.key.find('=') != std::string::npos ||
        e.value.find_first_of("\r\n") != std::string::npos ||
        e.section.find_first_of("\r\n") != std::string::npos) {
      __builtin_trap();
    }
    // The reader returns only text it found.
    if (ascii && (bytes.find(e.section) == std::string_view::npos ||
                  bytes.find(e.key) == std::string_view::npos ||
                  bytes.find(e.value) == std::string_view::npos)) {
      __builtin_trap();
    }
  }

  // What was read is written out and reads back the same, as UTF-8, with nothing repaired.
  const std::string written = read.to_text();
  if (!lib::is_valid_utf8(written)) __builtin_trap();
  lib::IniFile again;
  again.load_text(written);
  if (!again.problems().empty() || again.converted_from_cp1251()) __builtin_trap();
  if (!same(entries_of(again), entries)) __builtin_trap();
  if (again.to_text() != written) __builtin_trap();

  // Every name that was read can be stored through the setters, which refuse only names
  // the file could not read back, and is then found with its value.
  lib::IniFile rebuilt;
  try {
    for (const Entry& e : entries) rebuilt.set_string(e.section, e.key, e.value);
  } catch (const std::invalid_argument&) {
    __builtin_trap();
  }
  for (const Entry& e : entries) {
    if (!rebuilt.find(e.section, e.key)) __builtin_trap();
  }
  lib::IniFile rebuilt_again;
  rebuilt_again.load_text(rebuilt.to_text());
  if (!same(entries_of(rebuilt_again), entries_of(rebuilt))) __builtin_trap();
  return 0;
}
