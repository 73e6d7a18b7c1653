// Encoding of one threshold line (threshold_line_format.h): the items as comma text, then
// one more pair of double quotes around the whole line and nothing else.
//
// Builds before this layout doubled every quote of the comma text once more before adding
// the outer pair, so a name or a phone list that needed quoting came out as ""a b"". Those
// lines are still read: decode_threshold_line recognises the doubled form and undoes it, so
// settings and saved state written by an older build keep every threshold. Only the plain
// form is ever written.
#pragma once

#include <string>
#include <string_view>

#include "lib/string_container.h"

namespace alarms {

// The comma text of `items` enclosed in one more pair of double quotes.
std::string encode_threshold_line(const lib::StringContainer& items);

// What decode_threshold_line found the line to be.
enum class LineForm {
  kPlain,    // the current form (or a line without quotes inside, the same in both forms)
  kDoubled,  // the form of older builds, every inner quote doubled
};

struct DecodedLine {
  lib::StringContainer items;
  LineForm form = LineForm::kPlain;
};

// Strips one enclosing pair of double quotes (blanks around the line are dropped first; a
// line without that pair is taken as it is) and splits the rest as comma text.
//
// The rest is taken as the older doubled form when
//   1. every run of double quotes in it has an even length (the doubling never leaves an odd
//      run, while the current form always has one around an item with other text in it),
//   2. as it stands it is not well-formed comma text (a quoted item not closed, or text
//      after a closing quote before the next comma), and
//   3. with each quote pair halved it is well-formed comma text.
// Anything else is read in the current form, so whatever this program writes reads back
// exactly. A doubled line reads as a current one only when each of its quoted items was
// empty or made of quotes alone (an empty name or phone list, written """"): such an item
// then reads as half its quotes, """" as one quote.
DecodedLine decode_threshold_line(std::string_view line);

}  // namespace alarms
