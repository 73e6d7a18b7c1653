// The list of what a station publishes as a WITS level 0 sender, shared by its reader and
// the documentation (docs/wits-out.md). A text file in UTF-8 in the station home:
//
//   # parameter            code
//   вес_на_крюке           0114
//   давление_на_входе      0121
//
// One entry per line: a parameter identifier of the table, blanks, the four-digit WITS code
// (record then item). '#' starts a comment; blank lines are skipped.
#pragma once

#include <cstddef>
#include <string_view>

namespace wits::out_format {

inline constexpr std::string_view kFileName = "wits_out.cfg";
inline constexpr char kComment = '#';
inline constexpr std::size_t kCodeDigits = 4;

// What a station asked to publish writes when its home has no list yet: three values every
// rig has, and how to name more.
inline constexpr std::string_view kStarterList =
    "# What this station publishes as a WITS level 0 sender (rigstation run --wits-out).\n"
    "# One parameter a line: its identifier in the parameter table, blanks, and the\n"
    "# four-digit WITS code it goes out under (two digits of record, two of item).\n"
    "# '#' starts a comment. Edit the lines below and restart the station.\n"
    "вес_на_крюке        0114   # hook load\n"
    "давление_на_входе   0121   # standpipe pressure\n"
    "обороты_ротора      0120   # rotary speed\n";

}  // namespace wits::out_format
