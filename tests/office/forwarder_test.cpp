// The forwarder against an office in memory: every recorded line reaches the office exactly
// once whichever shipment the link breaks in (before its commit or after it), the waits after
// failures, the rate cap, the live frame (the newest only, never queued), the alarm log
// across its rename, the journals, and files it cannot ship.
#include <gtest/gtest.h>

#include <filesystem>

#include "alarms/alarm_log_file.h"
#include "alarms/alarm_log_format.h"
#include "fake_office_db.h"
#include "journals/journal_commands.h"
#include "journals/journal_files.h"
#include "lib/lock_object.h"
#include "office/forwarder.h"
#include "office/recording_files.h"
#include "office_test_support.h"
#include "storage/live_frame.h"
#include "storage/live_frame_format.h"
#include "storage/real_time_reader.h"

namespace {

using office_test::FakeOfficeDb;

struct Rig {
  testing_support::TempDir dir;
  testing_support::FakeClock clock;
  FakeOfficeDb db{clock};
  std::vector<std::string> said;
  office::ForwarderOptions options;
  std::unique_ptr<office::Forwarder> fw;

  explicit Rig(std::size_t batch_lines = 0, std::int64_t kbit = 0) {
    clock.set(2026, 3, 1, 10, 0, 0);
    options.home = dir.path();
    options.rig = "буровая-7";
    options.batch_lines = batch_lines;
    options.max_rate_kbit = kbit;
    fw = make();
  }
  std::unique_ptr<office::Forwarder> make() {
    return std::make_unique<office::Forwarder>(
        options, db, lib::posix_file_system(), clock,
        [this](std::int64_t ms) { clock.steady += ms; },
        [this](const std::string& s) { said.push_back(s); });
  }
  // Rounds, the clock moved on by each wait, until one ends with everything shipped.
  bool drain(office::Forwarder* f = nullptr, int max_rounds = 100) {
    if (!f) f = fw.get();
    for (int i = 0; i < max_rounds; ++i) {
      if (f->round()) return true;
      clock.steady += std::max<std::int64_t>(f->idle_ms(), 1);
    }
    return false;
  }
  std::string record(const std::string& name) const { return dir.path() + "records/" + name; }
  bool said_with(const std::string& part) const {
    return std::any_of(said.begin(), said.end(),
                       [&](const std::string& s) { return s.find(part) != std::string::npos; });
  }
};

// The office holds every line the reader finds in the home's recordings, with its values,
// and nothing else.
void expect_office_holds_the_recordings(const Rig& rig) {
  std::size_t total = 0;
  for (const auto& e : std::filesystem::directory_iterator(rig.dir.path() + "records")) {
    const auto file = office::recording_of_name(e.path().filename().string());
    ASSERT_TRUE(file);
    const rtf::RecordingContents c = rtf::read_recording(testing_support::read_file(e.path()));
    for (const rtf::RecordedLine& l : c.lines) {
      const auto it = rig.db.lines.find({file->race, static_cast<int>(file->kind), l.offset});
      ASSERT_NE(it, rig.db.lines.end()) << file->name << ": line at " << l.offset << " lost";
      EXPECT_EQ(it->second.values, l.line.values);
      EXPECT_EQ(
          *rig.db.param_lists.at({file->race, static_cast<int>(file->kind), it->second.params_at}),
          *l.params);
    }
    total += c.lines.size();
  }
  EXPECT_EQ(rig.db.lines.size(), total);
}

void write_recordings(const Rig& rig) {
  office_test::write_file(rig.record("0001.realtim"), office_test::sample_recording(40));
  office_test::write_file(rig.record("0001.reallag"), office_test::sample_recording(9, 1790000000));
  office_test::write_file(rig.record("0002.fast.realtim"), office_test::sample_recording(12));
}

TEST(Forwarder, EveryLineOnceWhicheverShipmentTheLinkBreaksIn) {
  Rig clean(25);
  write_recordings(clean);
  ASSERT_TRUE(clean.drain());
  expect_office_holds_the_recordings(clean);
  const int shipments = clean.db.shipments;
  ASSERT_GE(shipments, 6);
  for (int k = 1; k <= shipments; ++k) {
    for (const bool after_commit : {false, true}) {
      SCOPED_TRACE("shipment " + std::to_string(k) + (after_commit ? " after" : " before") +
                   " its commit");
      Rig rig(25);
      write_recordings(rig);
      rig.db.fail_shipment = k;
      rig.db.after_commit = after_commit;
      ASSERT_TRUE(rig.drain());
      expect_office_holds_the_recordings(rig);
      EXPECT_TRUE(rig.said_with("office link lost: connection cut; trying again in 1 s"));
    }
  }
}

TEST(Forwarder, WaitsDoubleFromASecondToAMinuteAndStartOverAfterASuccess) {
  Rig rig;
  office_test::write_file(rig.record("0001.realtim"), office_test::sample_recording(3));
  rig.db.refuse_opens = 9;
  ASSERT_TRUE(rig.drain());
  auto gaps = [&](std::size_t from) {
    std::vector<std::int64_t> g;
    for (std::size_t i = from + 1; i < rig.db.open_attempts_ms.size(); ++i)
      g.push_back(rig.db.open_attempts_ms[i] - rig.db.open_attempts_ms[i - 1]);
    return g;
  };
  EXPECT_EQ(gaps(0),
            (std::vector<std::int64_t>{1000, 2000, 4000, 8000, 16000, 32000, 60000, 60000, 60000}));
  const std::size_t before = rig.db.open_attempts_ms.size();
  office_test::append_file(rig.record("0001.realtim"),
                           office_test::RecordingBytes{}.lines(3, 5).bytes);
  rig.db.fail_shipment = rig.db.shipments + 1;
  rig.db.refuse_opens = 1;
  ASSERT_TRUE(rig.drain());
  EXPECT_EQ(gaps(before - 1).size(), 2u);
  EXPECT_EQ(rig.db.open_attempts_ms.back() - rig.db.open_attempts_ms[before], 2000);
  expect_office_holds_the_recordings(rig);
}

TEST(Forwarder, TheRateCapHoldsTheAverageAndSizesTheShipments) {
  Rig rig(0, 64);  // 64 kbit/s: 8000 bytes a second, shipments of about two seconds
  office_test::RecordingBytes r;
  r.version().params(office_test::params(20)).lines(1500, 20);
  office_test::write_file(rig.record("0001.realtim"), r.bytes);
  ASSERT_TRUE(rig.drain());
  expect_office_holds_the_recordings(rig);
  const auto& shipped = rig.db.shipped_at;
  ASSERT_GT(shipped.size(), 10u);
  std::uint64_t bytes = 0;
  for (std::size_t i = 0; i + 1 < shipped.size(); ++i) {
    EXPECT_LE(shipped[i].second, 16384u + 224u) << "shipment " << i;
    bytes += shipped[i].second;
  }
  const double seconds = static_cast<double>(shipped.back().first - shipped.front().first) / 1000.0;
  EXPECT_GE(seconds, static_cast<double>(bytes) * 8.0 / 64000.0);
  EXPECT_LE(seconds, static_cast<double>(bytes) * 8.0 / 64000.0 + 2.0);
}

void write_frame(const Rig& rig, std::uint32_t sequence) {
  live::LiveFrame f;
  f.sequence = sequence;
  f.time = 1780000000 + sequence;
  f.values = {
      {"вес_на_крюке", "Вес", "т", 80.0f + static_cast<float>(sequence), false, false, true}};
  office_test::write_file(rig.dir.path() + live::kFileName, live::encode_live_frame(f));
}

TEST(Forwarder, TheLiveFrameGoesNewestOnlyAndIsNeverQueuedWhileTheLinkIsDown) {
  Rig rig;
  auto sequences = [&] {
    std::vector<std::uint32_t> s;
    for (const auto& f : rig.db.live_frames) s.push_back(f.sequence);
    return s;
  };
  write_frame(rig, 1);
  ASSERT_TRUE(rig.drain());
  write_frame(rig, 2);
  rig.clock.steady += 1000;
  ASSERT_TRUE(rig.fw->round());  // too soon after the last one
  write_frame(rig, 3);
  rig.clock.steady += 2500;
  ASSERT_TRUE(rig.fw->round());
  rig.clock.steady += 5000;
  ASSERT_TRUE(rig.fw->round());  // the same frame: the station has stopped
  EXPECT_EQ(sequences(), (std::vector<std::uint32_t>{1, 3}));

  // The link breaks; frames 4 and 5 are written while it is down.
  office_test::write_file(rig.record("0001.realtim"), office_test::sample_recording(3));
  rig.db.fail_shipment = rig.db.shipments + 1;
  rig.db.refuse_opens = 3;
  EXPECT_FALSE(rig.fw->round());
  write_frame(rig, 4);
  rig.clock.steady += 1000;
  EXPECT_FALSE(rig.fw->round());
  write_frame(rig, 5);
  ASSERT_TRUE(rig.drain());
  EXPECT_EQ(sequences(), (std::vector<std::uint32_t>{1, 3, 5}));

  office_test::write_file(rig.dir.path() + live::kFileName, "not a frame");
  rig.clock.steady += 5000;
  ASSERT_TRUE(rig.fw->round());
  EXPECT_EQ(rig.db.live_frames.size(), 3u);
  EXPECT_TRUE(rig.said_with("not handed on: a frame of 11 bytes is too short"));
  // Nothing new for half a minute: the office still hears from the rig, once.
  const std::size_t touched = rig.db.touches.size();
  rig.clock.steady += office::kContactEveryMs;
  ASSERT_TRUE(rig.fw->round());
  ASSERT_TRUE(rig.fw->round());
  EXPECT_EQ(rig.db.touches.size(), touched + 1);
}

alarms::AlarmLogRecord episode(int minute) {
  alarms::AlarmLogRecord r;
  r.started = *lib::parse_date_time("01.03.2026 10:" + std::to_string(10 + minute) + ":00");
  r.ended = *lib::parse_date_time("01.03.2026 10:" + std::to_string(10 + minute) + ":30");
  r.parameter = "вес_на_крюке";
  r.kind = 0;
  r.max = 100.5f;
  r.extreme = 120;
  r.value = 110;
  r.unit = "т";
  r.text = "Параметр ''Вес'' = 110 т !";
  return r;
}

TEST(Forwarder, AlarmEpisodesGoOnceAcrossTheLogsRename) {
  namespace fmt = alarms::alarm_log_format;
  Rig rig;
  const std::string log = rig.dir.path() + std::string(fmt::kFileName);
  auto lines = [](int from, int to) {
    std::string s;
    for (int m = from; m < to; ++m) s += alarms::format_alarm_log_line(episode(m)) + "\n";
    return s;
  };
  office_test::write_file(log, std::string(fmt::kHeader) + "\n" + lines(0, 2) + "garbage\n");
  ASSERT_TRUE(rig.drain());
  EXPECT_EQ(rig.db.episodes.size(), 2u);
  EXPECT_TRUE(rig.said_with("the line is not shipped"));
  // Two more episodes, the second half-written when the round comes; then the station
  // renames the log and starts a new one.
  const std::string third = alarms::format_alarm_log_line(episode(3));
  office_test::append_file(log, lines(2, 3) + third.substr(0, 10));
  ASSERT_TRUE(rig.drain());
  EXPECT_EQ(rig.db.episodes.size(), 3u);
  office_test::append_file(log, third.substr(10) + "\n");
  std::filesystem::rename(log, log + std::string(fmt::kOldSuffix));
  office_test::write_file(log, std::string(fmt::kHeader) + "\n" + lines(4, 6));
  ASSERT_TRUE(rig.drain());
  ASSERT_EQ(rig.db.episodes.size(), 6u);
  for (int m = 0; m < 6; ++m)
    EXPECT_EQ(rig.db.episodes[static_cast<std::size_t>(m)].started, episode(m).started);
}

TEST(Forwarder, AJournalGoesWhenItChangesAndADamagedOneLeavesTheOfficesCopy) {
  Rig rig;
  lib::lock_object lock(lib::lock_object::kNoLock);
  const std::string remarks = journals::journal_path(rig.dir.path(), journals::kRemarksFileName);
  auto add = [&](std::uint32_t time, const std::string& text) {
    text::Record r;
    r.time = time;
    r.text = text;
    ASSERT_TRUE(journals::add_remark(remarks, r, lock, lib::posix_file_system(),
                                     [](const std::string&) {}));
  };
  add(1780000000, "долото сменено");
  ASSERT_TRUE(rig.drain());
  ASSERT_EQ(rig.db.journals.count("remarks"), 1u);
  EXPECT_EQ(rig.db.journals["remarks"].table.rows.size(), 1u);
  const int shipments = rig.db.shipments;
  rig.clock.steady += 5000;
  ASSERT_TRUE(rig.drain());
  EXPECT_EQ(rig.db.shipments, shipments);  // nothing changed, nothing shipped
  add(1780000100, "промывка");
  ASSERT_TRUE(rig.drain());
  EXPECT_EQ(rig.db.journals["remarks"].table.rows.size(), 2u);

  office_test::write_file(journals::journal_path(rig.dir.path(), journals::kTroublesFileName),
                          "not a troubles log");
  ASSERT_TRUE(rig.drain());
  EXPECT_EQ(rig.db.journals.count("troubles"), 0u);
  EXPECT_TRUE(rig.said_with("does not read cleanly"));
}

TEST(Forwarder, AnotherForwarderOfTheHomeDoesNotMakeALineGoTwice) {
  Rig rig(10);
  office_test::write_file(rig.record("0001.realtim"), office_test::sample_recording(12));
  ASSERT_TRUE(rig.drain());
  // A second forwarder ships the next lines; the first one's positions are old now.
  office_test::append_file(rig.record("0001.realtim"),
                           office_test::RecordingBytes{}.lines(30, 5).bytes);
  auto other = rig.make();
  ASSERT_TRUE(rig.drain(other.get()));
  office_test::append_file(rig.record("0001.realtim"),
                           office_test::RecordingBytes{}.lines(7, 5).bytes);
  ASSERT_TRUE(rig.drain());
  EXPECT_TRUE(rig.said_with("going on from where the office stands"));
  expect_office_holds_the_recordings(rig);
}

TEST(Forwarder, ARecordingShorterThanTheOfficesCopyIsSaidAndLeftAlone) {
  Rig rig;
  office_test::write_file(rig.record("0003.realdep"), office_test::sample_recording(10));
  ASSERT_TRUE(rig.drain());
  office_test::write_file(rig.record("0003.realdep"), office_test::sample_recording(2));
  ASSERT_TRUE(rig.drain());
  EXPECT_EQ(rig.fw->status().skipped_files, 1u);
  EXPECT_TRUE(rig.said_with("it was replaced or cut; it is not shipped"));
}

}  // namespace
