// What `rigstation journal` does, as library calls, so the tool, the tests and any other
// program read and change a station's journal files exactly alike: each call opens the
// file, reads it, and for a change rewrites it atomically. A running station's hub sees
// such a change on its next tick (the journals keep their files, journal_files.h).
#pragma once

#include <optional>
#include <string>

#include "journals/journal_file.h"
#include "journals/journal_tables.h"
#include "journals/text_record.h"
#include "lib/lock_object.h"

namespace journals {

enum class JournalKind { kRemarks, kTroubles, kMudLog, kMudAdditives };

// The file name of a kind of journal in the "journals/" folder of a home.
const char* journal_file_name(JournalKind kind);

// Reads the journal file at `path` and tables its records. Lines about a file that could
// not be (wholly) read go to `log`; what could be read is tabled anyway.
JournalTable list_journal(JournalKind kind, const std::string& path, lib::FileSystem& fs,
                          ErrorSink log);

// Adds `record` to the remarks file at `path` (its folder is created when missing); a
// remark already stamped with the record's time moves it to the next free second, since
// the time identifies a remark. A file that did not read cleanly is left unchanged: the
// operator looks at it first. The remark as added, or nullopt with the reason in `log`.
std::optional<text::Record> add_remark(const std::string& path, text::Record record,
                                       lib::lock_object& file_lock, lib::FileSystem& fs,
                                       ErrorSink log);

}  // namespace journals
