// The station's journals live in the journal files of its home: the running hub and the
// rigstation tool (and any other program) read and change the same records.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/error_log.h"
#include "core/locks.h"
#include "core/system.h"
#include "journals/journal_commands.h"
#include "journals/journal_files.h"
#include "journals/mud_additives.h"
#include "journals/mud_log.h"
#include "journals/text_storage.h"
#include "journals/troubles_log.h"
#include "lib/binary_stream.h"
#include "lib/module_list.h"
#include "support/fakes.h"

using namespace reg;
using journals::JournalKind;
using testing_support::read_file;
using testing_support::TempDir;

namespace {

text::Record remark(std::uint32_t time, const std::string& text) {
  text::Record r;
  r.time = time;
  r.text = text;
  return r;
}

journals::TroublesLogRecord trouble(std::int32_t key, const std::string& text) {
  journals::TroublesLogRecord r;
  r.key = {key, key};
  r.type_id = 1002;
  r.text = text;
  return r;
}

// What `rigstation journal <kind> list` shows of the home's journal: the text column of
// each row (the last column for remarks and troubles, the third for additives).
struct ToolView {
  std::string home;
  std::vector<std::string> log;

  journals::JournalTable table(JournalKind kind) {
    return journals::list_journal(
        kind, journals::journal_path(home, journals::journal_file_name(kind)),
        lib::posix_file_system(), [this](const std::string& line) { log.push_back(line); });
  }
  std::vector<std::string> column(JournalKind kind, std::size_t col) {
    std::vector<std::string> out;
    for (const auto& row : table(kind).rows) out.push_back(row.at(col));
    return out;
  }
  std::vector<std::string> remarks() { return column(JournalKind::kRemarks, 6); }
  std::vector<std::string> troubles() { return column(JournalKind::kTroubles, 10); }
};

std::vector<std::string> hub_remarks(System& hub) {
  std::vector<std::string> out;
  for (const auto& r : hub.text_remarks().records()) out.push_back(r.text);
  return out;
}

using Texts = std::vector<std::string>;

TEST(SystemJournals, WhatTheHubAddsTheToolListsAtOnce) {
  TempDir dir;
  System hub(SystemOptions{dir.path()});
  hub.register_modules();
  ToolView tool{hub.get_exe_path(), {}};

  hub.text_remarks().add_record(remark(1700000000, "Промывка перед подъёмом"));
  hub.troubles_log().add_record(trouble(7, "Поглощение на 1520 м"));
  journals::MudLogItem mud;
  mud.key = {3, 3};
  mud.mud_type = "глинистый";
  mud.values[0] = 1.18;
  hub.mud_log().add_item(mud);
  journals::MudAdditive additive;
  additive.key = {4, 4};
  additive.text = "бентонит";
  hub.mud_additives().add_item(additive);

  EXPECT_EQ(tool.remarks(), Texts{"Промывка перед подъёмом"});
  EXPECT_EQ(tool.troubles(), Texts{"Поглощение на 1520 м"});
  EXPECT_EQ(tool.column(JournalKind::kMudLog, 3), Texts{"глинистый"});
  EXPECT_EQ(tool.column(JournalKind::kMudAdditives, 2), Texts{"бентонит"});

  // Edits and deletions reach the files the same way.
  text::Record edited = hub.text_remarks()[0];
  edited.text = "Промывка 2 ч";
  hub.text_remarks().set_item(0, edited);
  hub.troubles_log().delete_record(0);
  EXPECT_EQ(tool.remarks(), Texts{"Промывка 2 ч"});
  EXPECT_EQ(tool.troubles(), Texts{});
  EXPECT_EQ(tool.log, std::vector<std::string>{});
}

TEST(SystemJournals, WhatTheToolAddsTheHubSeesAndNeverOverwrites) {
  TempDir dir;
  System hub(SystemOptions{dir.path()});
  hub.register_modules();
  ToolView tool{hub.get_exe_path(), {}};
  const std::string remarks_path =
      journals::journal_path(hub.get_exe_path(), journals::kRemarksFileName);
  std::vector<std::string> log;
  auto sink = [&](const std::string& line) { log.push_back(line); };

  hub.text_remarks().add_record(remark(1700000000, "от станции"));
  ASSERT_TRUE(journals::add_remark(remarks_path, remark(1700000100, "от оператора"),
                                   file_lock_obj(), lib::posix_file_system(), sink));
  hub.on_data();  // the next tick reads the changed file
  EXPECT_EQ(hub_remarks(hub), (Texts{"от станции", "от оператора"}));

  // A change the hub makes before its next tick still keeps what the tool wrote.
  ASSERT_TRUE(journals::add_remark(remarks_path, remark(1700000200, "ещё от оператора"),
                                   file_lock_obj(), lib::posix_file_system(), sink));
  hub.text_remarks().add_record(remark(1700000300, "снова от станции"));
  EXPECT_EQ(tool.remarks(),
            (Texts{"от станции", "от оператора", "ещё от оператора", "снова от станции"}));

  // An edit by index means the remark the hub's caller saw, even after another program
  // removed one before it.
  {
    text::Storage other(file_lock_obj(), sink, lib::posix_file_system());
    other.set_file_name(remarks_path);
    ASSERT_TRUE(other.load_from_file());
    other.delete_record(0);
    ASSERT_TRUE(other.save_to_file());
  }
  text::Record edited = hub.text_remarks()[1];  // "от оператора", as the hub saw it
  edited.text = "от оператора, исправлено";
  hub.text_remarks().set_item(1, edited);
  EXPECT_EQ(tool.remarks(),
            (Texts{"от оператора, исправлено", "ещё от оператора", "снова от станции"}));

  // The same for a binary journal written by another program.
  {
    journals::TroublesLog other(sink, lib::posix_file_system());
    other.set_file_name(journals::journal_path(hub.get_exe_path(), journals::kTroublesFileName));
    other.load();
    other.add_record(trouble(11, "Затяжка"));
    ASSERT_TRUE(other.save());
  }
  hub.troubles_log().add_record(trouble(12, "Посадка"));
  EXPECT_EQ(tool.troubles(), (Texts{"Затяжка", "Посадка"}));
  EXPECT_EQ(log, std::vector<std::string>{});
}

// Older stations kept the journals in "sys.bin" only. Their records are moved into the
// journal files when such a state is loaded, the file's own copy of a record winning; the
// state saved afterwards carries no journal records, so they are moved once.
TEST(SystemJournals, AJournalsFolderThatCannotBeMadeIsAStartProblem) {
  TempDir dir;
  testing_support::FaultyFileSystem fs;
  fs.mkdir_errno = EROFS;
  fs.only_paths_with = "/journals";
  SystemOptions o;
  o.home_folder = dir.path();
  o.file_system = &fs;
  System hub(o);
  const std::string folder = dir.path() + journals::kJournalsFolder;
  ASSERT_EQ(hub.start_problems().size(), 1u);
  const std::string& problem = hub.start_problems()[0];
  EXPECT_NE(problem.find(folder), std::string::npos) << problem;
  EXPECT_NE(problem.find(lib::errno_text(EROFS)), std::string::npos) << problem;
  EXPECT_NE(problem.find("journals are not saved"), std::string::npos) << problem;
}

TEST(SystemJournals, RecordsOfAnOlderStateAreMovedIntoTheFilesOnce) {
  TempDir dir;
  {
    // The older state: journals registered without files, their records in the blocks.
    text::Storage old_remarks(file_lock_obj(), {}, lib::posix_file_system());
    old_remarks.add_record(remark(1600000000, "из старого состояния"));
    old_remarks.add_record(remark(1600000100, "старая копия"));
    journals::TroublesLog old_troubles{{}, lib::posix_file_system()};
    old_troubles.add_record(trouble(5, "старое осложнение"));
    journals::MudAdditives old_additives{{}, lib::posix_file_system()};
    journals::MudAdditive a;
    a.key = {9, 9};
    a.text = "старая добавка";
    old_additives.add_item(a);
    lib::ModuleList list;
    list.register_module(old_remarks, "TextRemarks");
    list.register_module(old_additives, "MudAdditives");
    list.register_module(old_troubles, "TroublesLog");
    lib::io::BinaryMemoryOutputStream out;
    lib::io::write_binary(out, list.get_serial_version());
    list.serialize(out, nullptr, kStateDataVersion);
    lib::write_file_atomically(dir.file(kStateFileName), out.data(), lib::posix_file_system());
  }
  // The remarks file already holds a newer copy of one of them.
  lib::make_dirs(lib::posix_file_system(), dir.file(journals::kJournalsFolder));
  {
    text::Storage file_remarks(file_lock_obj(), {}, lib::posix_file_system());
    file_remarks.set_file_name(dir.path() + journals::kJournalsFolder + journals::kRemarksFileName);
    file_remarks.add_record(remark(1600000100, "копия файла"));
    ASSERT_TRUE(file_remarks.save_to_file());
  }

  {
    System hub(SystemOptions{dir.path()});
    hub.register_modules();
    hub.load_from_file(dir.path());
    EXPECT_EQ(hub_remarks(hub), (Texts{"копия файла", "из старого состояния"}));
    ToolView tool{hub.get_exe_path(), {}};
    EXPECT_EQ(tool.remarks(), (Texts{"копия файла", "из старого состояния"}));
    EXPECT_EQ(tool.troubles(), Texts{"старое осложнение"});
    EXPECT_EQ(tool.column(JournalKind::kMudAdditives, 2), Texts{"старая добавка"});
    const std::string errors = read_file(dir.file(kErrorLogFileName));
    EXPECT_NE(errors.find("записей из старого файла состояния: 1, перенесены в файл '" +
                          dir.path() + "journals/remarks.txt'"),
              std::string::npos)
        << errors;
    hub.save_to_file(dir.path());
  }

  // The state saved now carries no journal records ...
  text::Storage state_remarks(file_lock_obj(), {}, lib::posix_file_system());
  lib::ModuleList list;
  list.register_module(state_remarks, "TextRemarks");
  lib::io::BinaryInputStream in(dir.file(kStateFileName), lib::posix_file_system());
  lib::io::read_binary<std::uint32_t>(in);
  list.deserialize(in, kStateDataVersion, {});
  EXPECT_EQ(state_remarks.size(), 0);

  // ... so a record deleted from the file after the move stays deleted.
  {
    System hub(SystemOptions{dir.path()});
    hub.register_modules();
    hub.text_remarks().delete_record(1);
  }
  System hub(SystemOptions{dir.path()});
  hub.register_modules();
  hub.load_from_file(dir.path());
  EXPECT_EQ(hub_remarks(hub), Texts{"копия файла"});
}

}  // namespace
