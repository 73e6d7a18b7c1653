// Reading the derived values file (derived_values_format.h) into definitions. Reading never
// fails as a whole: each unusable line is reported with its number and skipped.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace derived_values {

struct Definition {
  std::string name;
  std::string formula;
  int line = 0;  // 1-based, for messages
};

struct ParsedFile {
  std::vector<Definition> definitions;  // in file order
  std::vector<std::string> problems;    // one message per skipped line
};

ParsedFile parse_definitions(std::string_view text);

}  // namespace derived_values
