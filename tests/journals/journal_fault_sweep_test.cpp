// Every journal that keeps its file rewrites it at each change. The sweeps fail each call
// of that rewrite in turn (and cut every write short once) and show that no record is lost.
#include <gtest/gtest.h>

#include "journal_test_support.h"
#include "journals/journal_file.h"
#include "journals/mud_additives.h"
#include "journals/mud_additives_file.h"
#include "journals/mud_log.h"
#include "journals/mud_log_file.h"
#include "journals/remarks_file.h"
#include "journals/text_storage.h"
#include "journals/troubles_file.h"
#include "journals/troubles_log.h"
#include "support/fault_sweep.h"

using journal_tests::CollectedLog;
using testing_support::disarm;
using testing_support::FaultyFileSystem;
using testing_support::FileFault;
using testing_support::read_file;
using testing_support::sweep_file_faults;
using testing_support::TempDir;

namespace {

// One journal of each kind, behind the same three calls: its records made from a seed, the
// file holding some of them, and adding one.
struct Remarks {
  lib::lock_object lock;
  text::Storage journal;
  Remarks(journals::ErrorSink log, lib::FileSystem& fs) : journal(lock, std::move(log), fs) {}
  static text::Record record(int seed) {
    text::Record r;
    r.time = 1700000000u + static_cast<std::uint32_t>(seed) * 60;
    r.text = "отбор шлама №" + std::to_string(seed);
    r.number = seed;
    return r;
  }
  static std::string file_of(const std::vector<text::Record>& r) {
    return text::write_remarks_file(r);
  }
  void add(int seed) { journal.add_record(record(seed)); }
};

struct Troubles {
  journals::TroublesLog journal;
  Troubles(journals::ErrorSink log, lib::FileSystem& fs) : journal(std::move(log), fs) {}
  static journals::TroublesLogRecord record(int seed) {
    journals::TroublesLogRecord r;
    r.key = {seed, -seed};
    r.type_id = 1000 + seed;
    r.start = lib::DateTime{45000.25 + seed};
    r.text = "прихват №" + std::to_string(seed);
    return r;
  }
  static std::string file_of(const std::vector<journals::TroublesLogRecord>& r) {
    return journals::write_troubles_file(r);
  }
  void add(int seed) { journal.add_record(record(seed)); }
};

struct MudLog {
  journals::MudLog journal;
  MudLog(journals::ErrorSink log, lib::FileSystem& fs) : journal(std::move(log), fs) {}
  static journals::MudLogItem record(int seed) {
    journals::MudLogItem item;
    item.key = {seed, 1000 + seed};
    item.mud_type = "Полимер-глинистый №" + std::to_string(seed);
    item.values[0] = 1.1 + seed;
    return item;
  }
  static std::string file_of(const std::vector<journals::MudLogItem>& r) {
    return journals::write_mud_log_file(r);
  }
  void add(int seed) { journal.add_item(record(seed)); }
};

struct MudAdditives {
  journals::MudAdditives journal;
  MudAdditives(journals::ErrorSink log, lib::FileSystem& fs) : journal(std::move(log), fs) {}
  static journals::MudAdditive record(int seed) {
    journals::MudAdditive a;
    a.key = {-seed, seed * 3};
    a.text = "КМЦ, партия " + std::to_string(seed);
    a.number = 250 * seed;
    return a;
  }
  static std::string file_of(const std::vector<journals::MudAdditive>& r) {
    return journals::write_mud_additives_file(r);
  }
  void add(int seed) { journal.add_item(record(seed)); }
};

template <class Journal>
std::string file_of_seeds(std::initializer_list<int> seeds) {
  std::vector<decltype(Journal::record(0))> records;
  for (int s : seeds) records.push_back(Journal::record(s));
  return Journal::file_of(records);
}

template <class Journal>
class JournalRewrite : public ::testing::Test {};
using Journals = ::testing::Types<Remarks, Troubles, MudLog, MudAdditives>;
TYPED_TEST_SUITE(JournalRewrite, Journals);

}  // namespace

// Whichever call of the rewrite fails, the file holds the records saved before it or all of
// them, never a mix, and the failure is logged with the file's name. The record that could not
// be written stays in memory, and the next change writes it.
TYPED_TEST(JournalRewrite, EveryFailingCallLosesNoRecord) {
  using J = TypeParam;
  sweep_file_faults([](const FileFault& fault) {
    TempDir dir;
    CollectedLog log;
    FaultyFileSystem fs;
    J j(log.sink(), fs);
    const std::string path = dir.file("journal.dat");
    j.journal.set_file_name(path);
    j.journal.set_keep_in_file(true);
    j.add(1);
    j.add(2);
    const std::string before = file_of_seeds<J>({1, 2});
    EXPECT_EQ(read_file(path), before);

    fault.arm(fs);
    j.add(3);
    const long long calls = disarm(fs);
    const std::string now = read_file(path);
    const std::string after = file_of_seeds<J>({1, 2, 3});
    EXPECT_TRUE(now == before || now == after) << "failed " << fs.failed_call;
    EXPECT_TRUE(now == after || log.mentions(path)) << "failed " << fs.failed_call;
    EXPECT_TRUE(fault.any() || log.lines.empty()) << log.lines.front();
    j.add(4);
    EXPECT_EQ(read_file(path), file_of_seeds<J>({1, 2, 3, 4})) << "failed " << fs.failed_call;
    return calls;
  });
}

// A journal file that could not be read is copied aside before the first save replaces it.
// Whichever call fails, its bytes survive whole, in place or as the copy; an earlier copy is
// never written over; the save goes ahead only once the copy is made, and after the fault
// the next save does.
TEST(JournalFile, EveryFailingCallOfASaveOverADamagedFileKeepsItsBytes) {
  sweep_file_faults([](const FileFault& fault) {
    TempDir dir;
    CollectedLog log;
    FaultyFileSystem fs;
    journals::JournalFile file{"Test", fs, log.sink()};
    const std::string path = dir.file("j.dat");
    lib::write_file_atomically(path + ".damaged", "earlier damage", lib::posix_file_system());
    lib::write_file_atomically(path, "damaged bytes", lib::posix_file_system());
    file.set_name(path);
    file.report_damaged("load", "broken");

    fault.arm(fs);
    const bool saved = file.replace("new", "save");
    const long long calls = disarm(fs);
    EXPECT_EQ(read_file(path + ".damaged"), "earlier damage") << "failed " << fs.failed_call;
    // A name that could not be looked at is passed over as taken.
    auto copied = [&] {
      return read_file(path + ".damaged.1") == "damaged bytes" ||
             read_file(path + ".damaged.2") == "damaged bytes";
    };
    if (saved) {
      EXPECT_TRUE(copied()) << "failed " << fs.failed_call;
      EXPECT_EQ(read_file(path), "new");
    } else {
      EXPECT_TRUE(copied() || read_file(path) == "damaged bytes") << "failed " << fs.failed_call;
      EXPECT_TRUE(log.mentions(path)) << "failed " << fs.failed_call;
    }
    EXPECT_TRUE(saved || fault.fail_call >= 0);

    EXPECT_TRUE(file.replace("new", "save"));
    EXPECT_EQ(read_file(path), "new");
    EXPECT_TRUE(copied()) << "failed " << fs.failed_call;
    return calls;
  });
}
