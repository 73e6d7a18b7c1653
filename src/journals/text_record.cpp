#include "journals/text_record.h"

#include "lib/str_enc.h"

namespace text {

std::string Record::get_short_text(std::size_t max_chars) const {
  const std::string_view first_line = std::string_view(text).substr(0, text.find_first_of("\r\n"));
  std::size_t pos = 0;
  std::size_t chars = 0;
  while (pos < first_line.size() && chars < max_chars) {
    lib::next_utf8_code_point(first_line, pos);
    ++chars;
  }
  std::string out(first_line.substr(0, pos));
  if (pos < text.size()) out += "…";
  return out;
}

}  // namespace text
