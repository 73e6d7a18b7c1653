// Helpers shared by the journal tests: a log that collects lines, builders of journal files
// the way older station versions wrote them (which the current writers never do), and the
// checks every binary journal must pass whatever its record.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "lib/binary_stream.h"
#include "lib/file_system.h"
#include "lib/module_list.h"
#include "support/fakes.h"

namespace journal_tests {

struct CollectedLog {
  std::vector<std::string> lines;
  auto sink() {
    return [this](const std::string& line) { lines.push_back(line); };
  }
  bool mentions(const std::string& text) const {
    for (const auto& l : lines) {
      if (l.find(text) != std::string::npos) return true;
    }
    return false;
  }
};

// A stream holding a journal file head (signature, version, record count) with its text in
// `enc`; the records follow.
inline lib::io::BinaryMemoryOutputStream old_file_head(const char* signature, std::int32_t version,
                                                       std::size_t count,
                                                       lib::StringEnc enc = lib::StringEnc::kUtf8) {
  lib::io::BinaryMemoryOutputStream out;
  out.set_string_encoding(enc);
  lib::io::write_binary(out, signature);
  lib::io::write_binary(out, version);
  lib::io::write_binary(out, static_cast<std::int32_t>(count));
  return out;
}

// Pushes the file's modification time forward, so a rewrite within the same clock tick is
// still seen as a change.
inline void touch_later(const std::string& path, int seconds) {
  auto t = std::filesystem::last_write_time(path);
  std::filesystem::last_write_time(path, t + std::chrono::seconds(seconds));
}

// Saves `from` through a module list and reads the bytes back into `to`.
inline lib::ModuleList::LoadReport state_round_trip(lib::ModuleBaseOld& from,
                                                    lib::ModuleBaseOld& to,
                                                    const std::string& name) {
  lib::ModuleList out_list;
  out_list.register_module(from, name);
  lib::io::BinaryMemoryOutputStream out;
  out_list.serialize(out, nullptr, 1);
  lib::ModuleList in_list;
  in_list.register_module(to, name);
  lib::io::BinaryMemoryInputStream in(out.data());
  return in_list.deserialize(in, 1, {});
}

// The journals name their record calls differently: add_item / items() or add_record /
// records().
template <class Journal, class Record>
void add_to(Journal& journal, const Record& record) {
  if constexpr (requires { journal.add_record(record); }) {
    journal.add_record(record);
  } else {
    journal.add_item(record);
  }
}

template <class Journal>
auto contents_of(const Journal& journal) {
  if constexpr (requires { journal.records(); }) {
    return journal.records();
  } else {
    return journal.items();
  }
}

// Saving `records` and loading them into a fresh journal from the same file gives every
// field back, with nothing logged.
template <class Journal, class Record>
void expect_file_round_trip(const std::vector<Record>& records) {
  testing_support::TempDir dir;
  CollectedLog log;
  Journal saved(log.sink(), lib::posix_file_system());
  saved.set_file_name(dir.file("journal.dat"));
  for (const Record& r : records) add_to(saved, r);
  ASSERT_TRUE(saved.save());
  Journal loaded({}, lib::posix_file_system());
  loaded.set_file_name(dir.file("journal.dat"));
  ASSERT_TRUE(loaded.load());
  EXPECT_EQ(contents_of(loaded), records);
  EXPECT_TRUE(log.lines.empty());
}

// Each damaged file (the reason the log must give, the bytes) is refused whole: load fails,
// the journal keeps the one record it had, and the log names the loader, the file and the
// reason.
template <class Journal, class Record>
void expect_damaged_files_refused(const std::string& loader, const Record& kept,
                                  const std::vector<std::pair<const char*, std::string>>& cases) {
  for (const auto& [reason, bytes] : cases) {
    SCOPED_TRACE(reason);
    testing_support::TempDir dir;
    CollectedLog log;
    Journal journal(log.sink(), lib::posix_file_system());
    const std::string path = dir.file("journal.dat");
    journal.set_file_name(path);
    add_to(journal, kept);
    lib::write_file_atomically(path, bytes, lib::posix_file_system());
    EXPECT_FALSE(journal.load());
    EXPECT_EQ(contents_of(journal), std::vector<Record>{kept});
    EXPECT_TRUE(log.mentions(loader + " : "));
    EXPECT_TRUE(log.mentions(path));
    EXPECT_TRUE(log.mentions(reason));
  }
}

// Records saved to the state file under `name` replace what the reading journal held.
template <class Journal>
void expect_state_round_trip(Journal& from, Journal& to, const std::string& name) {
  std::string serial_name;
  from.get_serial_name(serial_name);
  EXPECT_EQ(serial_name, name);
  EXPECT_EQ(state_round_trip(from, to, name).read, 1);
  EXPECT_EQ(contents_of(to), contents_of(from));
}

}  // namespace journal_tests
