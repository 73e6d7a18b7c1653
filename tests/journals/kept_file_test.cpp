// A journal that keeps its file shares it with other programs: a change it makes never
// undoes theirs, and an edit or deletion by index applies to the record its caller saw.
#include <gtest/gtest.h>

#include "journal_test_support.h"
#include "journals/mud_log.h"
#include "journals/troubles_log.h"
#include "support/fakes.h"

using namespace journals;
using journal_tests::CollectedLog;
using testing_support::TempDir;

namespace {

MudLogItem item(std::int32_t key, const std::string& mud_type) {
  MudLogItem m;
  m.key = {key, 0};
  m.mud_type = mud_type;
  return m;
}

std::vector<std::string> types_in_file(const std::string& path) {
  MudLog reader{{}, lib::posix_file_system()};
  reader.set_file_name(path);
  reader.load();
  std::vector<std::string> out;
  for (const auto& m : reader.items()) out.push_back(m.mud_type);
  return out;
}

using Texts = std::vector<std::string>;

TEST(KeptFile, ChangesFollowTheRecordTheCallerSawAfterAnotherProgramChangedTheFile) {
  TempDir dir;
  CollectedLog log;
  const std::string path = dir.file("mud_log.dat");
  MudLog station(log.sink(), lib::posix_file_system());
  station.set_file_name(path);
  station.set_keep_in_file(true);
  station.add_item(item(1, "первый"));
  station.add_item(item(2, "второй"));
  station.add_item(item(3, "третий"));
  EXPECT_EQ(types_in_file(path), (Texts{"первый", "второй", "третий"}));

  MudLog other{{}, lib::posix_file_system()};  // another program on the same file
  other.set_file_name(path);
  ASSERT_TRUE(other.load());
  other.delete_item(0);
  other.add_item(item(4, "от другой программы"));
  ASSERT_TRUE(other.save());

  // Index 2 is "третий" in the list the station's caller saw; it is now at index 1.
  station.set_item(2, item(3, "третий, исправлен"));
  EXPECT_EQ(types_in_file(path), (Texts{"второй", "третий, исправлен", "от другой программы"}));

  // A record the other program deleted: deleting it again changes nothing, editing it
  // brings it back.
  ASSERT_TRUE(other.load());
  other.delete_item(0);  // "второй"
  ASSERT_TRUE(other.save());
  const int second = station.index_of(item(2, ""));
  ASSERT_GE(second, 0);  // the station has not read the change yet
  station.delete_item(second);
  EXPECT_EQ(types_in_file(path), (Texts{"третий, исправлен", "от другой программы"}));
  EXPECT_TRUE(log.lines.empty());

  ASSERT_TRUE(other.load());
  other.clear();
  ASSERT_TRUE(other.save());
  station.set_item(0, item(3, "третий, снова"));
  EXPECT_EQ(types_in_file(path), Texts{"третий, снова"});
}

struct Told : ITroublesNotifyHandler {
  std::vector<std::string> events;
  void record_added(const TroublesLogRecord& r) override { events.push_back("added " + r.text); }
  void record_changed(const TroublesLogRecord& r) override {
    events.push_back("changed " + r.text);
  }
  void record_deleted(const TroublesLogRecord& r) override {
    events.push_back("deleted " + r.text);
  }
};

TEST(KeptFile, TroublesEditedAfterAnotherProgramDeletedThemAreAddedAgainAndSaidSo) {
  TempDir dir;
  const std::string path = dir.file("troubles.dat");
  TroublesLog station{{}, lib::posix_file_system()};
  station.set_file_name(path);
  station.set_keep_in_file(true);
  Told told;
  station.add_notify_handler(&told);
  TroublesLogRecord r;
  r.key = {1, 1};
  r.text = "Затяжка";
  station.add_record(r);

  TroublesLog other{{}, lib::posix_file_system()};
  other.set_file_name(path);
  ASSERT_TRUE(other.load());
  other.delete_record(0);
  ASSERT_TRUE(other.save());

  r.text = "Затяжка, ликвидирована";
  station.set_record(r, 0);
  station.delete_record(0);
  EXPECT_EQ(told.events, (std::vector<std::string>{"added Затяжка", "added Затяжка, ликвидирована",
                                                   "deleted Затяжка, ликвидирована"}));
  TroublesLog reader{{}, lib::posix_file_system()};
  reader.set_file_name(path);
  ASSERT_TRUE(reader.load());
  EXPECT_EQ(reader.get_size(), 0);
  station.remove_notify_handler(&told);
}

}  // namespace
