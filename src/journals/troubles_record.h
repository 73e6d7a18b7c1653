// One entry of the troubles log: a drilling complication with its type, the period it
// lasted, three values and a free text. Which dictionaries the second and third ids refer
// to, and what the values mean, is the host's business; the log only keeps them.
#pragma once

#include <cstdint>
#include <string>

#include "journals/journal_key.h"
#include "lib/date_time.h"

namespace journals {

struct TroublesLogRecord {
  JournalKey key;
  std::int32_t type_id = -1;  // a TroublesLogRecTypeItem id of the dictionary
  std::int32_t second_id = 0;
  lib::DateTime start;
  lib::DateTime end;
  float value1 = 0;
  float value2 = 0;
  double value3 = 0;
  std::int32_t version2_field = 0;  // absent from version-1 files, read as 0
  std::int32_t third_id = 0;
  std::string text;

  bool operator==(const TroublesLogRecord&) const = default;
};

}  // namespace journals
