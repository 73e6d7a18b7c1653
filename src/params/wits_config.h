// Reading the WITS configuration text file into mapping lines; the table applies them
// (ParTabl::load_wits_config).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace params::wits_config {

struct Line {
  std::string text;  // the whole line in UTF-8, without its line end
  std::string identifier;
  std::string full_name;   // empty: keep the row's
  std::string short_name;  // empty: keep the row's
  std::string unit;        // empty: keep the row's
  std::string server;      // empty: the server given by the caller
  std::string code;        // "RRII" of the item that feeds the row; empty: none given
  int line_number = 0;     // in the file, from 1
};

// True for a code of exactly four decimal digits ("0108").
bool is_item_code(std::string_view code);

// The mapping lines of a file, in file order. Blank lines and version lines are passed
// over; missing tokens are empty, tokens past the sixth are ignored.
std::vector<Line> parse(std::string_view bytes);

}  // namespace params::wits_config
