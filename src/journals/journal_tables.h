// The journals as plain text tables, as `rigstation journal ... list` prints them: one row
// per record, every cell on one line (multi-line text keeps its escapes). A date-time the
// file holds but no calendar can show (NaN, 1e308 ...) is shown as lib::kInvalidDateTimeText,
// an unset one (0) as "-".
#pragma once

#include <string>
#include <vector>

#include "journals/mud_additive.h"
#include "journals/mud_log_item.h"
#include "journals/text_record.h"
#include "journals/troubles_dict.h"
#include "journals/troubles_record.h"

namespace journals {

struct JournalTable {
  std::vector<std::string> titles;
  std::vector<std::vector<std::string>> rows;
};

JournalTable remarks_table(const std::vector<text::Record>& records);
JournalTable troubles_table(const std::vector<TroublesLogRecord>& records,
                            const TroublesDict& dict);
JournalTable mud_log_table(const std::vector<MudLogItem>& items);
JournalTable additives_table(const std::vector<MudAdditive>& items);

// Columns padded to their widest cell (in characters) and separated by two blanks, the
// titles first; trailing blanks cut; each line ended by "\n".
std::string format_table(const JournalTable& table);

}  // namespace journals
