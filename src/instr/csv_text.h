// Reading and writing the fields of the station's own CSV files (the drill-string tally and
// the survey stations). Mud loggers edit these files in spreadsheets, so the reader takes
// what spreadsheets write: ";" or tab separated rows with decimal commas as well as plain
// "," separated rows, quoted fields, a UTF-8 byte-order mark, CRLF line ends and text in
// the 8-bit Cyrillic code page.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace instr::csv {

// One line of a file: its number counted from 1 and its text without the line end.
struct Line {
  int number = 0;
  std::string_view text;
};

// File bytes as UTF-8: a leading byte-order mark is dropped, and bytes that are not UTF-8
// are taken as the 8-bit Cyrillic code page.
std::string decode_file_text(std::string_view bytes);

// The lines of decoded text, with a CR before each LF removed. A final line end does not
// start another line.
std::vector<Line> split_lines(std::string_view text);

// Blank, or a comment ("#" as its first non-blank character).
bool is_skipped_line(std::string_view line);

// The separator of a row: ";" when the row holds one, else a tab when it holds one, else ",".
char detect_separator(std::string_view line);

// The fields of one row. A field that starts with a double quote runs to the closing quote
// and may hold the separator; "" inside it is one quote. Blanks around fields are dropped.
std::vector<std::string> split_fields(std::string_view line, char separator);

// True when every field is empty: spreadsheets save rows of bare separators (";;;;") below
// the data, which are as good as blank lines.
bool all_fields_empty(const std::vector<std::string>& fields);

// A field as the reader above takes it back: quoted when it holds the separator, a quote or
// blanks at its ends.
std::string quote_field(std::string_view text, char separator);

// A finite number in a field ("." or "," as the decimal separator); nullopt for anything else.
std::optional<double> parse_number(std::string_view field);
// A whole number in a field; nullopt for anything else, also for "2.5" and out-of-range text.
std::optional<long long> parse_integer(std::string_view field);

// The shortest decimal text that reads back to the same float ("12.5", "215.9"), with "."
// as the decimal separator. Negative zero is written "0".
std::string float_text(float value);

}  // namespace instr::csv
