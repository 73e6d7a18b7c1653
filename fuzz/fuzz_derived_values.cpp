// Feeds arbitrary bytes to the derived values file parser. Every line gives at most one
// definition or one problem; a definition is a trimmed name without "=" and a trimmed
// formula, both found on the line it names; the definitions written back as
// "name = formula" lines parse to the same names and formulas with no problem.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "derived_values_file.h"
#include "derived_values_format.h"

namespace {

std::vector<std::string_view> lines_of(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    lines.push_back(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  return lines;
}

bool trimmed(std::string_view s) {
  const std::string_view blanks = " \t\r\n\v\f";
  return !s.empty() && blanks.find(s.front()) == std::string_view::npos &&
         blanks.find(s.back()) == std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace dv = derived_values;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto lines = lines_of(bytes);

  const dv::ParsedFile parsed = dv::parse_definitions(bytes);
  if (parsed.definitions.size() + parsed.problems.size() > lines.size()) __builtin_trap();
  int previous = 0;
  for (const dv::Definition& d : parsed.definitions) {
    if (d.line <= previous || d.line > static_cast<int>(lines.size())) __builtin_trap();
    previous = d.line;
    if (!trimmed(d.name) || !trimmed(d.formula)) __builtin_trap();
    if (d.name.find(dv::kSeparator) != std::string::npos) __builtin_trap();
    if (d.name.find('\0') != std::string::npos || d.formula.find('\0') != std::string::npos) {
      __builtin_trap();
    }
    const std::string_view line = lines[static_cast<std::size_t>(d.line - 1)];
    const std::size_t at = line.find(d.name);
    if (at == std::string_view::npos ||
        line.find(d.formula, at + d.name.size()) == std::string_view::npos) {
      __builtin_trap();
    }
  }

  // Written back one per line after a byte-order mark (so that a name which itself starts
  // with one keeps it), the definitions read the same.
  std::string written = dv::kUtf8Bom;
  for (const dv::Definition& d : parsed.definitions) {
    written += d.name + " " + dv::kSeparator + " " + d.formula + "\n";
  }
  const dv::ParsedFile again = dv::parse_definitions(written);
  if (!again.problems.empty() || again.definitions.size() != parsed.definitions.size()) {
    __builtin_trap();
  }
  for (std::size_t i = 0; i < again.definitions.size(); ++i) {
    const dv::Definition& a = again.definitions[i];
    const dv::Definition& b = parsed.definitions[i];
    if (a.name != b.name || a.formula != b.formula || a.line != static_cast<int>(i) + 1) {
      __builtin_trap();
    }
  }
  return 0;
}
