#include "journals/troubles_log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "journal_test_support.h"
#include "journals/troubles_file.h"
#include "journals/troubles_format.h"
#include "support/fakes.h"

using namespace journals;
using journal_tests::CollectedLog;
using testing_support::FaultyFileSystem;
using testing_support::TempDir;

namespace {

TroublesLogRecord sample_record(int seed) {
  TroublesLogRecord r;
  r.key = {seed * 10 + 1, -(seed * 10 + 2)};
  r.type_id = 1000 + seed;
  r.second_id = 7 * seed + 3;
  r.start = lib::DateTime{45000.25 + seed};
  r.end = lib::DateTime{45000.75 + seed};
  r.value1 = 1.5f * static_cast<float>(seed) + 0.25f;
  r.value2 = -3.75f - static_cast<float>(seed);
  r.value3 = 1234.5678 * seed + 0.001;
  r.version2_field = 40 + seed;
  r.third_id = -5 - seed;
  r.text = "Поглощение \"частичное\" №" + std::to_string(seed) + "\nвторая строка";
  return r;
}

// A file the way the older stations wrote it: CP1251 text, version 1 or 2 layout.
std::string old_troubles_file(std::int32_t version, const std::vector<TroublesLogRecord>& records) {
  auto out = journal_tests::old_file_head("TROUBLES_LOG_FILE", version, records.size(),
                                          lib::StringEnc::kCp1251);
  for (const auto& r : records) {
    write_key(out, r.key);
    lib::io::write_binary(out, r.type_id);
    lib::io::write_binary(out, r.second_id);
    lib::io::write_binary(out, r.start);
    lib::io::write_binary(out, r.end);
    lib::io::write_binary(out, r.value1);
    lib::io::write_binary(out, r.value2);
    lib::io::write_binary(out, r.value3);
    lib::io::write_binary(out, r.third_id);
    lib::io::write_binary(out, r.text);
    if (version >= 2) lib::io::write_binary(out, r.version2_field);
  }
  return out.release();
}

// A log kept in a file of a temporary folder, through a file system that can fail on demand.
struct LogOnDisk {
  TempDir dir;
  CollectedLog log;
  FaultyFileSystem fs;
  TroublesLog troubles{log.sink(), fs};
  std::string path = dir.file("troubles.dat");
  LogOnDisk() { troubles.set_file_name(path); }
};

// Records every notification with what the log looked like at that moment.
struct Recorder : ITroublesNotifyHandler {
  TroublesLog* log = nullptr;
  std::vector<std::string> calls;
  void record_added(const TroublesLogRecord& r) override { note("added", r); }
  void record_changed(const TroublesLogRecord& r) override { note("changed", r); }
  void record_deleted(const TroublesLogRecord& r) override { note("deleted", r); }
  void note(const std::string& what, const TroublesLogRecord& r) {
    calls.push_back(what + " " + std::to_string(r.type_id) + " size " +
                    std::to_string(log->get_size()));
  }
};

}  // namespace

TEST(TroublesLogFile, EveryFieldSurvivesSaveAndLoadWithCyrillicText) {
  journal_tests::expect_file_round_trip<TroublesLog>(
      std::vector<TroublesLogRecord>{sample_record(1), sample_record(2), sample_record(3)});
}

TEST(TroublesLogFile, WrittenHeadIsSignatureVersion3AndCount) {
  std::string bytes = write_troubles_file({sample_record(1), sample_record(2)});
  lib::io::BinaryMemoryInputStream in(bytes);
  EXPECT_EQ(lib::io::read_binary<std::string>(in), "TROUBLES_LOG_FILE");
  EXPECT_EQ(lib::io::read_binary<std::int32_t>(in), 3);
  EXPECT_EQ(lib::io::read_binary<std::int32_t>(in), 2);
  // The version-2 field is the last item of a record: the first record ends with it.
  TroublesLogRecord first = read_troubles_record(in, 3);
  EXPECT_EQ(first.version2_field, sample_record(1).version2_field);
  EXPECT_EQ(first.text, sample_record(1).text);
}

TEST(TroublesLogFile, Version1Cp1251FileLoadsWithZeroVersion2FieldAndIsSavedAsVersion3) {
  LogOnDisk disk;
  std::vector<TroublesLogRecord> old = {sample_record(1), sample_record(2)};
  lib::write_file_atomically(disk.path, old_troubles_file(1, old), lib::posix_file_system());

  ASSERT_TRUE(disk.troubles.load());
  std::vector<TroublesLogRecord> expected = old;
  for (auto& r : expected) r.version2_field = 0;
  EXPECT_EQ(disk.troubles.records(), expected);

  ASSERT_TRUE(disk.troubles.save());
  const auto saved = read_troubles_file(testing_support::read_file(disk.path));
  EXPECT_EQ(saved.version, 3);
  EXPECT_EQ(saved.records, disk.troubles.records());
}

TEST(TroublesLogFile, Version2FileKeepsItsVersion2FieldAndCp1251Text) {
  auto content = read_troubles_file(old_troubles_file(2, {sample_record(4)}));
  EXPECT_EQ(content.version, 2);
  ASSERT_EQ(content.records.size(), 1u);
  EXPECT_EQ(content.records[0], sample_record(4));
}

TEST(TroublesLogFile, MissingFileOrNoFileNameChangesNothingAndLogsNothing) {
  LogOnDisk disk;
  disk.troubles.add_record(sample_record(1));
  EXPECT_FALSE(disk.troubles.load());
  EXPECT_EQ(disk.troubles.get_size(), 1);
  disk.troubles.set_file_name("");
  EXPECT_FALSE(disk.troubles.save());
  EXPECT_FALSE(disk.troubles.load());
  EXPECT_EQ(disk.troubles.get_size(), 1);
  EXPECT_TRUE(disk.log.lines.empty());
}

TEST(TroublesLogFile, BadFilesLeaveTheLogUnchanged) {
  const std::string good = write_troubles_file({sample_record(1), sample_record(2)});
  std::string foreign = good;
  foreign[4] = 'X';  // "XROUBLES_LOG_FILE"
  std::string unknown_version = good;
  unknown_version[4 + 17] = 4;
  std::string huge_count = good;
  huge_count[4 + 17 + 4] = '\x7F';
  std::string negative_count = good;
  negative_count[4 + 17 + 4 + 3] = '\x80';
  const std::string truncated = good.substr(0, good.size() - 3);
  journal_tests::expect_damaged_files_refused<TroublesLog>(
      "TroublesLog::load", sample_record(9),
      {{"foreign signature", foreign},
       {"foreign signature", journal_tests::old_file_head("MUD_LOG_FILE", 3, 0).release()},
       {"unknown version 4", unknown_version},
       {"does not fit", huge_count},
       {"negative record count", negative_count},
       {"record 2 of 2 is cut short", truncated},
       {"foreign signature", std::string()},
       {"foreign signature", std::string("\xFF\xFF\xFF\xFF")}});
}

TEST(TroublesLogFile, SavingAfterADamagedLoadKeepsTheDamagedFileBesideIt) {
  LogOnDisk disk;
  const std::string damaged = write_troubles_file({sample_record(1)}).substr(0, 40);
  lib::write_file_atomically(disk.path, damaged, lib::posix_file_system());
  ASSERT_FALSE(disk.troubles.load());

  disk.troubles.add_record(sample_record(2));
  ASSERT_TRUE(disk.troubles.save());
  EXPECT_EQ(testing_support::read_file(disk.path + ".damaged"), damaged);
  EXPECT_EQ(read_troubles_file(testing_support::read_file(disk.path)).records.size(), 1u);

  // Only once: the next save replaces the file without another copy.
  ASSERT_TRUE(disk.troubles.save());
  EXPECT_FALSE(std::filesystem::exists(disk.path + ".damaged.1"));
}

TEST(TroublesLogRecords, IndexOfFindsTheRecordByKeyAlone) {
  TroublesLog troubles{{}, lib::posix_file_system()};
  for (int i = 1; i <= 4; ++i) troubles.add_record(sample_record(i));
  TroublesLogRecord probe;  // every field but the key differs from the stored record
  probe.key = sample_record(3).key;
  EXPECT_EQ(troubles.index_of(probe), 2);
  probe.key.high += 1;  // one half matching is not enough
  EXPECT_EQ(troubles.index_of(probe), -1);
  EXPECT_EQ(troubles.index_of(TroublesLogRecord{}), -1);
}

TEST(TroublesLogRecords, BadIndexThrowsTheStandardTextAndChangesNothing) {
  TroublesLog troubles{{}, lib::posix_file_system()};
  Recorder rec;
  rec.log = &troubles;
  troubles.add_record(sample_record(1));
  troubles.add_notify_handler(&rec);
  for (int bad : {-1, 1, 1000}) {
    EXPECT_THAT(
        [&] { troubles.get_record(bad); },
        testing::ThrowsMessage<std::out_of_range>(testing::StrEq("invalid vector<T> subscript")));
    EXPECT_THROW(troubles.set_record(sample_record(2), bad), std::out_of_range);
    EXPECT_THROW(troubles.delete_record(bad), std::out_of_range);
  }
  EXPECT_TRUE(rec.calls.empty());
  ASSERT_EQ(troubles.get_size(), 1);
  EXPECT_EQ(troubles.get_record(0), sample_record(1));
}

TEST(TroublesLogRecords, HandlersHearEveryChangeInTheirOrder) {
  TroublesLog troubles{{}, lib::posix_file_system()};
  Recorder a, b;
  a.log = b.log = &troubles;
  troubles.add_notify_handler(&a);
  troubles.add_notify_handler(&b);
  troubles.add_notify_handler(&a);  // a second registration is ignored

  troubles.add_record(sample_record(1));
  troubles.add_record(sample_record(2));
  troubles.set_record(sample_record(3), 0);
  troubles.delete_record(1);
  // "added" comes before the record is appended, "deleted" before it is removed.
  const std::vector<std::string> expected = {"added 1001 size 0", "added 1002 size 1",
                                             "changed 1003 size 2", "deleted 1002 size 2"};
  EXPECT_EQ(a.calls, expected);
  EXPECT_EQ(b.calls, expected);
  EXPECT_EQ(troubles.get_record(0), sample_record(3));

  troubles.remove_notify_handler(&a);
  troubles.delete_record(0);
  EXPECT_EQ(a.calls.size(), 4u);
  EXPECT_EQ(b.calls.back(), "deleted 1003 size 1");
  EXPECT_EQ(troubles.get_size(), 0);
}

TEST(TroublesLogRecords, HandlerMayRemoveItselfWhileBeingNotified) {
  struct OneShot : ITroublesNotifyHandler {
    TroublesLog* log = nullptr;
    int added = 0;
    void record_added(const TroublesLogRecord&) override {
      ++added;
      log->remove_notify_handler(this);
    }
    void record_changed(const TroublesLogRecord&) override {}
    void record_deleted(const TroublesLogRecord&) override {}
  } once;
  TroublesLog troubles{{}, lib::posix_file_system()};
  once.log = &troubles;
  troubles.add_notify_handler(&once);
  troubles.add_record(sample_record(1));
  troubles.add_record(sample_record(2));
  EXPECT_EQ(once.added, 1);
  EXPECT_EQ(troubles.get_size(), 2);
}

TEST(TroublesDictionary, DefaultLooksUpItsComplicationsAndResultsById) {
  const TroublesDict dict = TroublesDict::default_dict();
  EXPECT_EQ(dict.type_index_of_id(1009), 8);
  EXPECT_EQ(dict.type_index_of_id(1016), -1);
  EXPECT_EQ(dict.result_index_of_id(3), 2);
  EXPECT_EQ(dict.result_index_of_id(0), -1);
  EXPECT_EQ(dict.reason_index_of_id(1), -1);
}

TEST(TroublesDictionary, HostDictionaryReplacesTheDefaultUntilItIsPutBack) {
  TroublesLog troubles{{}, lib::posix_file_system()};
  EXPECT_EQ(troubles.get_dict(), TroublesDict::default_dict());
  TroublesDict own;
  own.types.push_back({1, "Своё", "Группа", true});
  own.reasons.push_back({5, "Причина"});
  troubles.set_dict(own);
  EXPECT_EQ(troubles.get_dict(), own);
  troubles.set_sefault_dict();
  EXPECT_EQ(troubles.get_dict(), TroublesDict::default_dict());
}

TEST(TroublesLogState, RecordsSurviveTheStateFile) {
  TroublesLog a{{}, lib::posix_file_system()}, b{{}, lib::posix_file_system()};
  a.add_record(sample_record(1));
  a.add_record(sample_record(2));
  b.add_record(sample_record(7));
  journal_tests::expect_state_round_trip(a, b, "TroublesLog");
}

TEST(TroublesLogRecords, ConcurrentWritersAndReadersNeverLoseARecord) {
  TroublesLog troubles{{}, lib::posix_file_system()};
  constexpr int kPerThread = 500;
  {
    std::vector<std::jthread> threads;
    for (int t = 0; t < 3; ++t) {
      threads.emplace_back([&troubles, t] {
        for (int i = 0; i < kPerThread; ++i) {
          TroublesLogRecord r;
          r.key = {t, i};
          troubles.add_record(r);
          // Reading alongside the other writers always gives a whole record.
          const int n = troubles.get_size();
          EXPECT_EQ(troubles.get_record(n - 1).type_id, -1);
        }
      });
    }
  }
  ASSERT_EQ(troubles.get_size(), 3 * kPerThread);
  for (int t = 0; t < 3; ++t) {
    TroublesLogRecord probe;
    probe.key = {t, kPerThread - 1};
    EXPECT_GE(troubles.index_of(probe), 0);
  }
}
