// The journals as `rigstation journal ... list` shows them, read from real files.
#include "journals/journal_tables.h"

#include <gtest/gtest.h>

#include <limits>

#include "journal_test_support.h"
#include "journals/mud_additives.h"
#include "journals/mud_log.h"
#include "journals/troubles_log.h"
#include "support/fakes.h"

using namespace journals;
using journal_tests::CollectedLog;
using testing_support::TempDir;

namespace {

const double kNan = std::numeric_limits<double>::quiet_NaN();
const std::string kInvalid = lib::kInvalidDateTimeText;

// Another program (or a damaged disk) may leave any double in a date-time field; the list
// shows such a date as invalid, shows the rest of the record, and the good dates beside it
// as usual.
TEST(JournalTables, DateTimesNoCalendarHoldsAreShownAsInvalid) {
  TempDir dir;
  const lib::DateTime good = *lib::encode_date_time({2026, 3, 7, 5, 4, 9, 0});
  const std::vector<double> bad = {kNan, 1e308, -1e308, std::numeric_limits<double>::infinity()};

  TroublesLog troubles{{}, lib::posix_file_system()};
  troubles.set_file_name(dir.file("troubles.dat"));
  for (std::size_t i = 0; i < bad.size(); ++i) {
    TroublesLogRecord r;
    r.key = {static_cast<std::int32_t>(i), 0};
    r.start = lib::DateTime{bad[i]};
    r.end = good;
    r.text = "запись " + std::to_string(i);
    troubles.add_record(r);
  }
  ASSERT_TRUE(troubles.save());
  TroublesLog read_back{{}, lib::posix_file_system()};
  read_back.set_file_name(dir.file("troubles.dat"));
  ASSERT_TRUE(read_back.load());
  const JournalTable t = troubles_table(read_back.records(), read_back.get_dict());
  ASSERT_EQ(t.rows.size(), bad.size());
  for (std::size_t i = 0; i < bad.size(); ++i) {
    SCOPED_TRACE(bad[i]);
    EXPECT_EQ(t.rows[i][3], kInvalid);
    EXPECT_EQ(t.rows[i][4], "07.03.2026 05:04:09");
    EXPECT_EQ(t.rows[i][10], "запись " + std::to_string(i));
  }
  EXPECT_NE(format_table(t).find(kInvalid), std::string::npos);

  MudLog mud{{}, lib::posix_file_system()};
  mud.set_file_name(dir.file("mud.dat"));
  MudLogItem item;
  item.time = lib::DateTime{-1e308};
  mud.add_item(item);
  ASSERT_TRUE(mud.save());
  MudLog mud_back{{}, lib::posix_file_system()};
  mud_back.set_file_name(dir.file("mud.dat"));
  ASSERT_TRUE(mud_back.load());
  EXPECT_EQ(mud_log_table(mud_back.items()).rows.at(0).at(2), kInvalid);

  MudAdditives additives{{}, lib::posix_file_system()};
  additives.set_file_name(dir.file("additives.dat"));
  MudAdditive a;
  a.start = lib::DateTime{kNan};
  a.end = lib::DateTime{1e308};
  additives.add_item(a);
  ASSERT_TRUE(additives.save());
  MudAdditives additives_back{{}, lib::posix_file_system()};
  additives_back.set_file_name(dir.file("additives.dat"));
  ASSERT_TRUE(additives_back.load());
  const auto row = additives_table(additives_back.items()).rows.at(0);
  EXPECT_EQ(row.at(4), kInvalid);
  EXPECT_EQ(row.at(5), kInvalid);
}

}  // namespace
