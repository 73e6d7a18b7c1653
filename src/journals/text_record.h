// A text remark the host draws on its time charts: a time stamp, a text, a font size and a
// colour, plus the host's kind, number and extra text. RecordBase holds the drawing state
// the chart keeps on a remark; it is never saved and does not take part in comparisons.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "journals/remarks_format.h"

namespace text {

class RecordBase {
 public:
  bool painted = false;   // drawn on the chart since the flag was last cleared
  int row = -1;           // lane of the chart the remark is drawn in; -1 until placed
  bool selected = false;  // picked by the operator
  bool overlaps = false;  // drawn over another remark
  void clear_paint_flag() { painted = false; }
};

// Characters get_short_text keeps by default: what fits a chart label.
inline constexpr std::size_t kShortTextChars = 40;

class Record : public RecordBase {
 public:
  std::uint32_t time = 0;  // whole seconds of local time; identifies the remark
  std::int32_t kind = 0;
  std::string text;
  std::int32_t size = remarks_format::kDefaultSize;       // font size
  std::uint32_t colour = remarks_format::kDefaultColour;  // 0xRRGGBB
  std::int32_t number = 0;                                // never negative after loading
  std::string extra;

  // The first line of the text, cut to `max_chars` characters with "…" when longer.
  std::string get_short_text(std::size_t max_chars = kShortTextChars) const;

  // The saved fields only.
  bool operator==(const Record& o) const {
    return time == o.time && kind == o.kind && text == o.text && size == o.size &&
           colour == o.colour && number == o.number && extra == o.extra;
  }
};

// A remark the operator removed, so the chart can erase it where it was drawn.
struct DeletedRecord {
  std::uint32_t time = 0;
  int row = -1;
  bool operator==(const DeletedRecord&) const = default;
};

}  // namespace text
