// One record of the mud additives journal: an additive put into the mud. What the text, the
// number and the two times stand for is the host's choice (typically the additive's name
// from its dictionary, an amount and the period it was added in); the journal only keeps
// them.
#pragma once

#include <cstdint>
#include <string>

#include "journals/journal_key.h"
#include "lib/date_time.h"

namespace journals {

struct MudAdditive {
  JournalKey key;
  std::string text;
  std::int32_t number = 0;
  lib::DateTime start;
  lib::DateTime end;

  bool operator==(const MudAdditive&) const = default;
};

}  // namespace journals
