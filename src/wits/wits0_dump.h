// Printing the records a WITS level 0 stream carries, with the item names of a dictionary:
// what `rigstation wits dump` shows.
#pragma once

#include <functional>
#include <string>

#include "wits/wits0_reader.h"
#include "wits/wits_dictionary.h"

namespace wits {

// One complete frame, as the dump prints it:
//   record 01 (2 items)
//     0108 DBTM  Depth Bit (meas) = 1500.25 M
//     0199 ?     (not in the dictionary) = 7
// Values are shown as sent. `dictionary` may be null (names then unknown).
std::string format_frame(int record, const std::vector<std::string>& item_lines,
                         const WitsDictionary* dictionary);

// Reads frames from `source` and hands each complete one to `print`, formatted, until
// `count` frames were printed (0: no limit) or the stream stops (closed, timed out). Frames
// without items (keep-alives) and frames cut short are not printed. Returns the number printed.
int dump_frames(ByteSource& source, const WitsDictionary* dictionary, int count,
                const std::function<void(const std::string&)>& print);

}  // namespace wits
