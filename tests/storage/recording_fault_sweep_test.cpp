// The recorder appends each batch of lines with one write and cuts off what a failed write
// left. The sweep fails each file-system call of a batch in turn (and cuts every write short
// once) and shows that no line is lost, doubled or damaged.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <mutex>

#include "params/all_params.h"
#include "recorded_params.h"
#include "storage/data_storage.h"
#include "storage/real_time_file.h"
#include "storage/real_time_reader.h"
#include "support/fault_sweep.h"

using testing::AllOf;
using testing::AnyOf;
using testing::HasSubstr;
using testing_support::disarm;
using testing_support::FaultyFileSystem;
using testing_support::FileFault;
using testing_support::read_file;
using testing_support::sweep_file_faults;
using testing_support::TempDir;

namespace {

std::shared_ptr<rtf::Records> line_task(const std::string& file, const rtf::ParamList& params,
                                        float value) {
  auto task = std::make_shared<rtf::Records>();
  task->file = file;
  rtf::ValuesLine line;
  line.time = 1000 + static_cast<std::uint32_t>(value);
  line.values.assign(params->size(), value);
  task->records.push_back(std::make_shared<rtf::ValuesWriterRecord>(line, params));
  return task;
}

}  // namespace

// Lines 1 and 2 are in the file; lines 3 to 5 (the last under another parameter list) are
// queued when the fault strikes. Whichever call fails, the file still begins with what was
// written, a failed batch stays queued and its failure is logged with the file, and once the
// fault is gone the recovery is logged and the file reads back as lines 1 to 5, each once,
// without a damaged block.
TEST(RecordingWriterFaults, EveryFailingCallKeepsTheWrittenLinesAndWritesEachOnce) {
  sweep_file_faults([](const FileFault& fault) {
    TempDir home;
    params::AllParams catalogue{home.path(), lib::posix_file_system()};
    ds_tmp::DataStorage storage{catalogue};
    testing_support::FakeClock clock;
    FaultyFileSystem fs;
    std::mutex log_mutex;
    std::string log;
    rtf::RealTimeFileServices services;
    services.log = [&](const std::string& line) {
      std::lock_guard lock(log_mutex);
      log += line + "\n";
    };
    rtf::RealTimeFile rec(storage, catalogue, fs, clock, services);
    const std::string file = home.file("0001.realtim");
    const auto ab = recording_test::param_list({"a", "b"}, "м");
    const auto abc = recording_test::param_list({"a", "b", "c"}, "м");
    rec.queue_task(line_task(file, ab, 1));
    rec.queue_task(line_task(file, ab, 2));
    EXPECT_EQ(rec.write_pending(), 2u);
    const std::string written = read_file(file);
    rec.queue_task(line_task(file, ab, 3));
    rec.queue_task(line_task(file, ab, 4));
    rec.queue_task(line_task(file, abc, 5));

    fault.arm(fs);
    const std::size_t done = rec.write_pending();
    const long long calls = disarm(fs);
    EXPECT_EQ(read_file(file).substr(0, written.size()), written) << "failed " << fs.failed_call;
    if (done < 3) {
      EXPECT_EQ(rec.get_queue_size(), 3 - done);
      EXPECT_THAT(log, AllOf(HasSubstr(file), AnyOf(HasSubstr(lib::errno_text(EIO)),
                                                    HasSubstr(lib::errno_text(ENOSPC)))))
          << "failed " << fs.failed_call;
    }
    for (int retry = 0; retry < 3 && rec.get_queue_size() > 0; ++retry) rec.write_pending();
    EXPECT_EQ(rec.get_queue_size(), 0u);
    if (done < 3) {
      EXPECT_THAT(log, HasSubstr("возобновлена"));
    }

    const rtf::RecordingContents contents = rtf::read_recording(read_file(file));
    std::vector<float> values;
    for (const auto& l : contents.lines) values.push_back(l.line.values.front());
    EXPECT_EQ(values, (std::vector<float>{1, 2, 3, 4, 5})) << "failed " << fs.failed_call;
    EXPECT_EQ(contents.lines.back().params->size(), 3u);
    EXPECT_TRUE(contents.problems.empty()) << contents.problems.front().what;
    return calls;
  });
}
