// rigstation forward and rigstation office against a real PostgreSQL: a home shipped whole
// reads back from the office exactly as from the rig's files (CSV and LAS), with its alarm
// episodes, journals and live frame, lines in the partition of their month; a second drain
// ships nothing; the schema is made once however many migrate at once.
#include <gtest/gtest.h>

#include <thread>

#include "alarms/alarm_log_file.h"
#include "alarms/alarm_log_format.h"
#include "journals/journal_commands.h"
#include "journals/journal_files.h"
#include "lib/lock_object.h"
#include "office/office_schema.h"
#include "office/office_test_support.h"
#include "office_pg_support.h"
#include "storage/live_frame.h"
#include "storage/live_frame_format.h"

namespace {

using office_pg_test::count;
using office_pg_test::server;

constexpr std::uint32_t kEndOfMarch = 1775001540;  // 31.03.2026 23:59:00

void make_home(const std::string& home) {
  using office_test::RecordingBytes;
  office_test::write_file(home + "records/0007.realtim", office_test::sample_recording(50));
  office_test::write_file(home + "records/0007.realdep", office_test::sample_recording(20));
  office_test::write_file(home + "records/0007.reallag", office_test::sample_recording(8));
  RecordingBytes fast;
  fast.time = kEndOfMarch;  // two minutes across the end of the month
  fast.version().params(office_test::params(5)).lines(120, 5);
  office_test::write_file(home + "records/0007.fast.realtim", fast.bytes);
  RecordingBytes unset;
  unset.time = 5;  // a rig clock never set: 01.01.1970
  unset.version().params(office_test::params(2)).lines(3, 2);
  office_test::write_file(home + "records/0008.realtim", unset.bytes);

  std::string log = std::string(alarms::alarm_log_format::kHeader) + "\n";
  for (int i = 0; i < 3; ++i) {
    alarms::AlarmLogRecord r;
    r.started = lib::to_date_time({kEndOfMarch + 60 * i, 0});
    r.ended = lib::to_date_time({kEndOfMarch + 60 * i + 20, 0});
    r.parameter = "давление_на_входе";
    r.kind = 1;
    r.max = 250;
    r.extreme = 260.5f + static_cast<float>(i);
    r.value = 255;
    r.unit = "атм.";
    r.text = "Параметр ''Давление'' = 255 атм. (реле №1) !";
    log += alarms::format_alarm_log_line(r) + "\n";
  }
  office_test::write_file(home + std::string(alarms::alarm_log_format::kFileName), log);
  lib::lock_object lock(lib::lock_object::kNoLock);
  text::Record remark;
  remark.time = kEndOfMarch;
  remark.text = "спуск КНБК";
  journals::add_remark(journals::journal_path(home, journals::kRemarksFileName), remark, lock,
                       lib::posix_file_system(), [](const std::string&) {});
  live::LiveFrame frame;
  frame.sequence = 9;
  frame.time = kEndOfMarch;
  frame.race = 7;
  frame.race_active = true;
  frame.bit = 2480.5f;
  frame.operation_name = "Бурение";
  frame.values = {{"вес_на_крюке", "Вес", "т", 82.5f, true, false, true}};
  office_test::write_file(home + live::kFileName, live::encode_live_frame(frame));
}

TEST(OfficeDatabase, AHomeShippedWholeReadsBackAsTheRigsFiles) {
  const std::string db = office_pg_test::fresh_database();
  testing_support::TempDir dir;
  const std::string home = dir.path() + "home/";
  make_home(home);
  const std::string rig = "буровая 7";
  const golden::Run first = golden::run_program(
      {"forward", "--home", home, "--db", server().url(db), "--rig", rig, "--drain"}, dir.path());
  ASSERT_EQ(first.exit_code, 0) << first.err;
  office_pg_test::expect_office_holds_the_home(db, rig, home, dir.path());
  for (const char* kind : {"time", "depth"}) {
    const std::string file =
        home + "records/0007" + (kind == std::string("time") ? ".realtim" : ".realdep");
    ASSERT_EQ(golden::run_program({"rec", "export", file, "--las", dir.file("rig.las")}, dir.path())
                  .exit_code,
              2);
    const golden::Run exp =
        golden::run_program({"office", "export", "--db", server().url(db), "--rig", rig, "--race",
                             "7", "--file", kind, "--las", dir.file("office.las")},
                            dir.path());
    ASSERT_EQ(exp.exit_code, 0) << exp.err;
    EXPECT_EQ(testing_support::read_file(dir.file("office.las")),
              testing_support::read_file(dir.file("rig.las")))
        << kind;
  }
  EXPECT_EQ(count(db,
                  "SELECT string_agg(c.relname || ':' || (SELECT count(*) FROM lines l WHERE "
                  "l.tableoid = c.oid), ',' ORDER BY c.relname) FROM pg_inherits i JOIN "
                  "pg_class c ON c.oid = i.inhrelid WHERE i.inhparent = 'lines'::regclass"),
            "lines_2026_03:60,lines_2026_04:60,lines_2026_05:312,lines_other:3");
  EXPECT_EQ(
      count(db, "SELECT count(*), min(extreme), bool_and(min_limit IS NULL) FROM alarm_episodes"),
      "3|260.5|t");
  EXPECT_EQ(count(db, "SELECT cells[7] FROM journal_rows WHERE journal = 'remarks'"), "спуск КНБК");
  EXPECT_EQ(count(db, "SELECT race, operation_name, vals[1], stale[1] FROM live_frames"),
            "7|Бурение|82.5|t");
  EXPECT_EQ(count(db, "SELECT backlog_lines, last_commit IS NOT NULL FROM rigs"), "0|t");

  // Nothing new: a second drain ships nothing.
  const std::string lines = count(db, "SELECT count(*) FROM lines");
  ASSERT_EQ(golden::run_program(
                {"forward", "--home", home, "--db", server().url(db), "--rig", rig, "--drain"},
                dir.path())
                .exit_code,
            0);
  EXPECT_EQ(count(db, "SELECT count(*) FROM lines"), lines);
  const golden::Run none =
      golden::run_program({"office", "export", "--db", server().url(db), "--rig", rig, "--race",
                           "99", "--csv", dir.file("none.csv")},
                          dir.path());
  EXPECT_EQ(none.exit_code, 1);
  EXPECT_NE(none.err.find("holds no run 99 of rig 'буровая 7'"), std::string::npos) << none.err;
}

TEST(OfficeDatabase, TheSchemaIsMadeOnceThoughTwoMigrateAtOnce) {
  const std::string db = "office_schema_" + std::to_string(::getpid());
  server().create_database(db);
  testing_support::TempDir dir;
  // Before the schema: the forwarder says what to do and a drain gives up.
  office_test::write_file(dir.path() + "records/0001.realtim", office_test::sample_recording(2));
  const golden::Run refused = golden::run_program(
      {"forward", "--home", dir.path(), "--db", server().url(db), "--drain"}, dir.path());
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_NE(refused.err.find("make it with 'rigstation office migrate'"), std::string::npos)
      << refused.err;
  std::vector<std::string> applied[2];
  std::thread a([&] { applied[0] = office::pg::PgOfficeDb(server().url(db)).migrate(); });
  std::thread b([&] { applied[1] = office::pg::PgOfficeDb(server().url(db)).migrate(); });
  a.join();
  b.join();
  EXPECT_EQ(applied[0].size() + applied[1].size(), office::migrations().size());
  const golden::Run again =
      golden::run_program({"office", "migrate", "--db", server().url(db)}, dir.path());
  EXPECT_EQ(again.exit_code, 0);
  EXPECT_NE(again.out.find("is up to date (schema " + std::to_string(office::kSchemaVersion) + ")"),
            std::string::npos)
      << again.out;
}

}  // namespace
