#include "storage/real_time_file.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "lib/crc32c.h"
#include "params/all_params.h"
#include "recorded_params.h"
#include "storage/data_storage.h"
#include "storage/recording_blocks.h"
#include "support/fakes.h"

using testing::HasSubstr;
using testing_support::FaultyFileSystem;
using testing_support::TempDir;

using namespace recording_test;

namespace {

rtf::ParamList params_of(std::initializer_list<const char*> ids) {
  return recording_test::param_list(ids, "м");
}

std::shared_ptr<rtf::Records> values_task(const std::string& file, const rtf::ParamList& params,
                                          float first_value) {
  auto task = std::make_shared<rtf::Records>();
  task->file = file;
  rtf::ValuesLine line;
  line.time = 1000;
  for (std::size_t i = 0; i < params->size(); ++i) line.values.push_back(first_value + i);
  task->records.push_back(std::make_shared<rtf::ValuesWriterRecord>(line, params));
  return task;
}

struct Recorder {
  TempDir home;
  params::AllParams catalogue{home.path(), lib::posix_file_system()};
  ds_tmp::DataStorage storage{catalogue};
  std::vector<std::string> log;
  std::mutex log_mutex;
  testing_support::FakeClock clock;

  rtf::RealTimeFileServices services(std::size_t max_bytes = rtf::kDefaultMaxQueueBytes) {
    rtf::RealTimeFileServices s;
    s.max_queue_bytes = max_bytes;
    s.log = [this](const std::string& line) {
      std::lock_guard lock(log_mutex);
      log.push_back(line);
    };
    return s;
  }
  std::string all_log() {
    std::lock_guard lock(log_mutex);
    std::string s;
    for (const auto& l : log) s += l + "\n";
    return s;
  }
};

TEST(RealTimeFileNames, RunNumberIsPaddedToFourDigits) {
  EXPECT_EQ(rtf::run_file_names("/r/", 7).time, "/r/0007.realtim");
  EXPECT_EQ(rtf::run_file_names("/r/", 12345).time, "/r/12345.realtim");
}

TEST(RealTimeBlocks, ValuesAndVersionBlocksAreLaidOutByteByByte) {
  rtf::ValuesLine line;
  line.time = 0x01020304;
  line.first_depth = 1.0f;  // 00 00 80 3F
  line.third_depth = 2.0f;  // 00 00 00 40
  line.operation = 5;
  line.bit_depth = 0.5f;  // 00 00 00 3F
  line.hundredths = 99;
  line.values = {1.5f};  // 00 00 C0 3F
  lib::io::BinaryMemoryOutputStream out;
  rtf::ValuesWriterRecord(line, params_of({"a"})).write(out, 0x0A0B0C0D);
  rtf::write_version_block(out);
  const unsigned char values[] = {1,    49,   0,                       // type 1, length 49
                                  0x04, 0x03, 0x02, 0x01,              // time
                                  0,    0,    0x80, 0x3F,              // first depth
                                  0,    0,    0,    0x40,              // third depth
                                  5,                                   // operation
                                  0,    0,    0,    0x3F,              // bit depth
                                  0x0D, 0x0C, 0x0B, 0x0A, 0, 0, 0, 0,  // its list's check, 0
                                  14,   0,    0,    0,    5, 0, 0, 0, 4, 0, 0, 0,  // 14, 5, 4
                                  49,   14,   9,    99,     // 99/2, 99/7, 99/10, 99
                                  1,    0,    0,    0,      // one value
                                  0,    0,    0xC0, 0x3F};  // 1.5
  const unsigned char version[] = {99, 8, 0, 2, 0, 0, 0, 4, 0, 0, 0};
  std::string expected;
  for (const std::string& block :
       {std::string(reinterpret_cast<const char*>(values), sizeof values),
        std::string(reinterpret_cast<const char*>(version), sizeof version)}) {
    const std::uint32_t check = lib::crc32c(block.data(), block.size());
    expected += block + std::string{static_cast<char>(check), static_cast<char>(check >> 8),
                                    static_cast<char>(check >> 16), static_cast<char>(check >> 24)};
  }
  EXPECT_EQ(out.data(), expected);
}

TEST(RealTimeBlocks, OversizedRecordsAreRefusedWhenMadeNotWhenWritten) {
  EXPECT_THROW(rtf::TextWriterRecord(std::string(70000, 'x')), std::length_error);
  rtf::ValuesLine line;
  line.values = {1, 2};
  EXPECT_THROW(rtf::ValuesWriterRecord(line, params_of({"a"})), std::invalid_argument);
}

TEST(RealTimeWriter, TextIntoAnEmptyFileGetsAVersionBlockButNoParameterBlock) {
  Recorder r;
  rtf::RealTimeFile rec(r.storage, r.catalogue, lib::posix_file_system(), r.clock, r.services());
  rec.calculate_file_names(r.home.path(), 3);
  rtf::KeyValueList list;
  rtf::add_value_name(list, "скважина", "12");
  rtf::add_value_name(list, "куст", "4");
  rtf::add_value_name(list, "скважина", "13");
  ASSERT_TRUE(rec.save_text_values(list));
  EXPECT_EQ(rec.get_queue_size(), 4u);
  rec.write_pending();
  for (const std::string* f : {&rec.file_names().time, &rec.file_names().depth,
                               &rec.file_names().lag, &rec.file_names().fast}) {
    const auto blocks = blocks_of(testing_support::read_file(*f));
    ASSERT_EQ(blocks.size(), 2u) << *f;
    EXPECT_EQ(blocks[0].type, 99);
    EXPECT_EQ(blocks[1].type, 3);
    EXPECT_EQ(blocks[1].payload.substr(4), "скважина=13\r\nкуст=4");
  }
}

TEST(RealTimeWriter, AFileWrittenBehindTheWritersBackGetsAVersionBlockFirst) {
  Recorder r;
  rtf::RealTimeFile rec(r.storage, r.catalogue, lib::posix_file_system(), r.clock, r.services());
  const std::string file = r.home.file("0001.realdep");
  const auto ab = params_of({"a", "b"});
  rec.queue_task(values_task(file, ab, 1));
  rec.write_pending();
  // A viewer of the earlier version appends a stretch of its own.
  {
    const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(fd, 0);
    const std::string stretch = plain_version_block() + plain_block(3, std::string("\1\0\0\0x", 5));
    ASSERT_EQ(::write(fd, stretch.data(), stretch.size()), static_cast<ssize_t>(stretch.size()));
    ::close(fd);
  }
  rec.queue_task(values_task(file, ab, 2));
  rec.queue_task(values_task(file, ab, 3));
  rec.write_pending();
  EXPECT_EQ(types_of(testing_support::read_file(file)),
            (std::vector<int>{99, 2, 1, 99, 3, 99, 2, 1, 1}));
}

TEST(RealTimeWriter, AReadOnlyFolderKeepsEveryTaskAndLogsTheFileOnce) {
  Recorder r;
  FaultyFileSystem fs;
  fs.read_only = true;
  rtf::RealTimeFile rec(r.storage, r.catalogue, fs, r.clock, r.services());
  const std::string file = r.home.file("0001.reallag");
  for (int i = 0; i < 3; ++i) rec.queue_task(values_task(file, params_of({"a"}), i));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(rec.write_pending(), 0u);
  EXPECT_EQ(rec.get_queue_size(), 3u);
  EXPECT_FALSE(lib::exists(lib::posix_file_system(), file));
  EXPECT_EQ(r.log.size(), 1u) << r.all_log();
  EXPECT_THAT(r.all_log(), HasSubstr(".nolocking"));
  fs.read_only = false;
  EXPECT_EQ(rec.write_pending(), 3u);
  EXPECT_EQ(types_of(testing_support::read_file(file)), (std::vector<int>{99, 2, 1, 1, 1}));
}

TEST(RealTimeWriter, AFullQueueRefusesNewLinesLogsOnceAndKeepsTheAcceptedOnes) {
  Recorder r;
  const std::string file = r.home.file("0001.realtim");
  const auto one = values_task(file, params_of({"a"}), 1);
  const std::size_t limit = one->memory_bytes() * 3;
  rtf::RealTimeFile rec(r.storage, r.catalogue, lib::posix_file_system(), r.clock,
                        r.services(limit));
  for (int i = 0; i < 5; ++i) rec.queue_task(values_task(file, params_of({"a"}), i));
  EXPECT_EQ(rec.get_queue_size(), 3u);
  EXPECT_LE(rec.queue().bytes(), limit);
  EXPECT_EQ(rec.queue().refused(), 2u);
  ASSERT_EQ(r.log.size(), 1u);
  EXPECT_THAT(r.log[0], HasSubstr("полна"));
  EXPECT_THAT(r.log[0], HasSubstr(file));
  EXPECT_EQ(rec.write_pending(), 3u);
  EXPECT_TRUE(rec.queue_task(values_task(file, params_of({"a"}), 9)));
  EXPECT_THAT(r.log.back(), HasSubstr(": 2"));
  rec.write_pending();
  const auto blocks = blocks_of(testing_support::read_file(file));
  ASSERT_EQ(blocks.size(), 6u);
  // The three accepted lines, then the one after the queue drained: 0, 1, 2, 9.
  EXPECT_EQ(f32_at(blocks[2].payload, 45), 0.0f);
  EXPECT_EQ(f32_at(blocks[4].payload, 45), 2.0f);
  EXPECT_EQ(f32_at(blocks[5].payload, 45), 9.0f);
}

TEST(RealTimeWriter, ATaskThatCanNeverBeWrittenIsDroppedAloneAndLogged) {
  Recorder r;
  rtf::RealTimeFile rec(r.storage, r.catalogue, lib::posix_file_system(), r.clock, r.services());
  const std::string file = r.home.file("0001.realtim");
  // Three parameters with names too long for one parameter block.
  auto huge = std::make_shared<std::vector<rtf::RecordedParam>>();
  for (int i = 0; i < 3; ++i) huge->push_back({std::string(30000, 'x'), "", "", "p", 0, 0});
  rec.queue_task(values_task(file, params_of({"a"}), 1));
  rec.queue_task(values_task(file, huge, 2));
  rec.queue_task(values_task(file, params_of({"a"}), 3));
  EXPECT_EQ(rec.write_pending(), 3u);
  EXPECT_EQ(rec.get_queue_size(), 0u);
  const auto blocks = blocks_of(testing_support::read_file(file));
  ASSERT_EQ(types_of(testing_support::read_file(file)), (std::vector<int>{99, 2, 1, 1}));
  EXPECT_EQ(f32_at(blocks[2].payload, 45), 1.0f);
  EXPECT_EQ(f32_at(blocks[3].payload, 45), 3.0f);
  ASSERT_EQ(r.log.size(), 1u);
  EXPECT_THAT(r.log[0], HasSubstr("отброшена"));
  EXPECT_THAT(r.log[0], HasSubstr(file));
}

TEST(RealTimeWriter, TheTrailerSkipsAMissingFileAndCreatesNothing) {
  Recorder r;
  rtf::RealTimeFile rec(r.storage, r.catalogue, lib::posix_file_system(), r.clock, r.services());
  rec.calculate_file_names(r.home.path(), 1);
  rec.save_end_race_data(rec.file_names().time);
  EXPECT_EQ(rec.get_queue_size(), 0u);
  rec.write_pending();
  EXPECT_FALSE(lib::exists(lib::posix_file_system(), rec.file_names().time));
}

TEST(RealTimeWriter, HeaderAndTrailerCarryTheFilesDepthAndTime) {
  Recorder r;
  r.clock.now.seconds = 1'700'000'000;
  r.storage.set_depth_z(1234.5);
  rtf::RealTimeFile rec(r.storage, r.catalogue, lib::posix_file_system(), r.clock, r.services());
  rec.calculate_file_names(r.home.path(), 8);
  rec.save_start_values({{"скважина", "101"}}, false);
  rec.write_pending();
  r.storage.set_depth_z(1300);
  r.clock.now.seconds += 3600;
  rec.save_end_values();
  rec.write_pending();
  const auto blocks = blocks_of(testing_support::read_file(rec.file_names().depth));
  ASSERT_EQ(blocks.size(), 3u);
  EXPECT_EQ(blocks[1].payload.substr(4),
            "скважина=101\r\nглубинный_файл=0008.realdep\r\nвременной_файл=0008.realtim\r\n"
            "реальн_глубинный_файл=0008.reallag\r\nнач_глубина=1234.5\r\nнач_время=1700000000");
  EXPECT_EQ(blocks[2].payload.substr(4), "конеч_глубина=1300\r\nконеч_время=1700003600");
}

// Opens fail while `refuse` is set; counts every attempt. Safe to flip from the test's
// thread while the writer thread runs.
class GateFileSystem : public lib::FileSystem {
 public:
  std::atomic<bool> refuse{false};
  std::atomic<int> refused_opens{0};
  int open(const std::string& path, int flags, mode_t mode) override {
    if (refuse && path.find(".realtim") != std::string::npos) {
      ++refused_opens;
      errno = EACCES;
      return -1;
    }
    return real().open(path, flags, mode);
  }
  ssize_t read(int fd, void* b, std::size_t n) override { return real().read(fd, b, n); }
  ssize_t write(int fd, const void* b, std::size_t n) override { return real().write(fd, b, n); }
  int fsync(int fd) override { return real().fsync(fd); }
  int close(int fd) override { return real().close(fd); }
  int rename(const std::string& a, const std::string& b) override { return real().rename(a, b); }
  int unlink(const std::string& p) override { return real().unlink(p); }
  std::int64_t file_size(int fd) override { return real().file_size(fd); }

 private:
  static lib::FileSystem& real() { return lib::posix_file_system(); }
};

template <class Pred>
bool eventually(Pred pred) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

TEST(RealTimeWriterThread, StopReturnsOnlyOnceEveryQueuedTaskIsWritten) {
  Recorder r;
  rtf::RealTimeFile rec(r.storage, r.catalogue, lib::posix_file_system(), r.clock, r.services());
  const std::string file = r.home.file("0002.realtim");
  for (int i = 0; i < 10; ++i) rec.queue_task(values_task(file, params_of({"a"}), i));
  rec.start_save_thread();
  rec.stop_save_thread();
  EXPECT_FALSE(rec.save_thread_running());
  EXPECT_EQ(rec.get_queue_size(), 0u);
  const auto blocks = blocks_of(testing_support::read_file(file));
  ASSERT_EQ(blocks.size(), 12u);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(f32_at(blocks[2 + i].payload, 45), float(i));
}

TEST(RealTimeWriterThread, ALockedFileIsRetriedUntilReleasedWhileTheQueueGrows) {
  Recorder r;
  GateFileSystem fs;
  fs.refuse = true;
  rtf::RealTimeFile rec(r.storage, r.catalogue, fs, r.clock, r.services());
  const std::string file = r.home.file("0003.realtim");
  rec.start_save_thread();
  rec.queue_task(values_task(file, params_of({"a"}), 1));
  ASSERT_TRUE(eventually([&] { return fs.refused_opens >= 3; }));
  rec.queue_task(values_task(file, params_of({"a"}), 2));
  EXPECT_EQ(rec.get_queue_size(), 2u);
  fs.refuse = false;
  ASSERT_TRUE(eventually([&] { return rec.get_queue_size() == 0; }));
  rec.stop_save_thread();
  EXPECT_EQ(types_of(testing_support::read_file(file)), (std::vector<int>{99, 2, 1, 1}));
  EXPECT_THAT(r.all_log(), HasSubstr("Permission denied"));
}

TEST(RealTimeWriterThread, AStopDuringAnOutageEndsAfterOneFailureAndSaysWhatIsLeft) {
  Recorder r;
  GateFileSystem fs;
  fs.refuse = true;
  rtf::RealTimeFile rec(r.storage, r.catalogue, fs, r.clock, r.services());
  const std::string file = r.home.file("0004.realtim");
  rec.queue_task(values_task(file, params_of({"a"}), 1));
  rec.start_save_thread();
  rec.stop_save_thread();
  EXPECT_EQ(rec.get_queue_size(), 1u);
  EXPECT_THAT(r.all_log(), HasSubstr("не записано заданий: 1"));
}

}  // namespace
