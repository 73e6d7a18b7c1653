#include "journals/journal_commands.h"

#include "journals/journal_files.h"
#include "journals/mud_additives.h"
#include "journals/mud_log.h"
#include "journals/text_storage.h"
#include "journals/troubles_log.h"
#include "lib/file_system.h"

namespace journals {
namespace {

// Passes the lines on and remembers that there were any.
struct WatchedLog {
  ErrorSink log;
  bool any = false;
  ErrorSink sink() {
    return [this](const std::string& line) {
      any = true;
      if (log) log(line);
    };
  }
};

}  // namespace

const char* journal_file_name(JournalKind kind) {
  switch (kind) {
    case JournalKind::kRemarks:
      return kRemarksFileName;
    case JournalKind::kTroubles:
      return kTroublesFileName;
    case JournalKind::kMudLog:
      return kMudLogFileName;
    case JournalKind::kMudAdditives:
      return kMudAdditivesFileName;
  }
  return kRemarksFileName;
}

JournalTable list_journal(JournalKind kind, const std::string& path, lib::FileSystem& fs,
                          ErrorSink log) {
  switch (kind) {
    case JournalKind::kRemarks: {
      lib::lock_object unused_lock(lib::lock_object::kNoLock);  // nothing is written
      text::Storage storage(unused_lock, log, fs);
      storage.set_file_name(path);
      storage.load_from_file();
      return remarks_table(storage.records());
    }
    case JournalKind::kTroubles: {
      TroublesLog troubles(log, fs);
      troubles.set_file_name(path);
      troubles.load();
      return troubles_table(troubles.records(), troubles.get_dict());
    }
    case JournalKind::kMudLog: {
      MudLog mud(log, fs);
      mud.set_file_name(path);
      mud.load();
      return mud_log_table(mud.items());
    }
    case JournalKind::kMudAdditives: {
      MudAdditives additives(log, fs);
      additives.set_file_name(path);
      additives.load();
      return additives_table(additives.items());
    }
  }
  return {};
}

std::optional<text::Record> add_remark(const std::string& path, text::Record record,
                                       lib::lock_object& file_lock, lib::FileSystem& fs,
                                       ErrorSink log) {
  WatchedLog watched{std::move(log)};
  text::Storage storage(file_lock, watched.sink(), fs);
  storage.set_file_name(path);
  storage.load_from_file();
  if (watched.any) {
    if (watched.log) watched.log("journal: " + path + " was not changed");
    return std::nullopt;
  }
  while (storage.find_by_tyme(record.time) >= 0) ++record.time;
  const std::string folder = path.substr(0, path.find_last_of('/') + 1);
  if (!folder.empty() && !lib::make_dirs(fs, folder)) {
    if (watched.log) {
      watched.log("journal: cannot create the folder '" + folder + "' of " + path + ": " +
                  lib::errno_text(errno) + "; the remark was not added");
    }
    return std::nullopt;
  }
  storage.add_record(record);
  if (!storage.save_to_file()) return std::nullopt;
  return record;
}

}  // namespace journals
