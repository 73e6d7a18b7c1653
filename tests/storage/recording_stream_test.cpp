// The recording files read as a stream and exported as LAS a piece at a time: whatever the
// size of the reader's chunks, it must find exactly what a reading of the whole file in
// memory finds (every line, every damaged place at its offset), and the LAS text written in
// pieces must be the very text of the export in memory. And the writer's batches: one write
// for many lines, parameter blocks still exactly where the list changes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <thread>

#include "params/all_params.h"
#include "recorded_params.h"
#include "storage/data_storage.h"
#include "storage/las_export.h"
#include "storage/las_format.h"
#include "storage/real_time_file.h"
#include "storage/real_time_reader.h"
#include "storage/recording_blocks.h"
#include "support/fakes.h"

using testing::HasSubstr;
using testing_support::FaultyFileSystem;
using testing_support::TempDir;
using namespace recording_test;

namespace {

rtf::ParamList params_of(std::initializer_list<const char*> ids) {
  return recording_test::param_list(ids, "атм.");
}

std::shared_ptr<rtf::Records> values_task(const std::string& file, const rtf::ParamList& params,
                                          int n) {
  auto task = std::make_shared<rtf::Records>();
  task->file = file;
  rtf::ValuesLine line;
  line.time = 1000 + static_cast<std::uint32_t>(n);
  line.first_depth = 500.25f + 0.5f * static_cast<float>(n);
  line.bit_depth = line.first_depth - 1;
  line.third_depth = 490.5f;
  line.operation = static_cast<std::uint8_t>(n % 7);
  for (std::size_t i = 0; i < params->size(); ++i) {
    line.values.push_back(static_cast<float>(n) + 0.125f * static_cast<float>(i));
  }
  task->records.push_back(std::make_shared<rtf::ValuesWriterRecord>(line, params));
  return task;
}

// A recorder writing into a temporary folder.
struct Writer {
  TempDir home;
  params::AllParams catalogue{home.path(), lib::posix_file_system()};
  ds_tmp::DataStorage storage{catalogue};
  std::string file = home.file("0003.realdep");

  // Two runs of the writer: a header, lines over three parameter lists (the second list
  // a new object with the first one's names), and a second run after a restart.
  void write_two_runs() {
    const auto ab = params_of({"a", "b"});
    const auto abc = params_of({"a", "b", "c"});
    for (int run = 0; run < 2; ++run) {
      rtf::RealTimeFile rec(storage, catalogue, lib::posix_file_system(), lib::system_clock());
      rec.save_text_values(file, {{"скважина", "12"}, {"номер_рейса", "3"}});
      for (int i = 0; i < 30; ++i) {
        const auto& list = i < 10 ? ab : i < 20 ? abc : params_of({"b", "a"});
        rec.queue_task(values_task(file, list, run * 100 + i));
      }
      rec.write_pending();
    }
  }
  std::string bytes() const { return testing_support::read_file(file); }
};

struct Seen {
  std::vector<std::uint64_t> line_offsets;
  std::vector<std::vector<float>> values;
  std::vector<std::uint64_t> problem_offsets;
  std::vector<std::string> problems;
};

Seen seen_in_memory(std::string_view bytes) {
  const rtf::RecordingContents c = rtf::read_recording(bytes);
  Seen s;
  for (const auto& l : c.lines) {
    s.line_offsets.push_back(l.offset);
    s.values.push_back(l.line.values);
  }
  for (const auto& p : c.problems) {
    s.problem_offsets.push_back(p.offset);
    s.problems.push_back(p.what);
  }
  return s;
}

struct SeeingVisitor final : rtf::RecordingVisitor {
  Seen s;
  void on_line(const rtf::LineView& l) override {
    s.line_offsets.push_back(l.offset);
    std::vector<float> v;
    for (std::size_t i = 0; i < l.count; ++i) v.push_back(l.value(i));
    s.values.push_back(v);
  }
  void on_problem(rtf::ReadProblem&& p, bool) override {
    s.problem_offsets.push_back(p.offset);
    s.problems.push_back(p.what);
  }
};

Seen seen_streamed(const std::string& path, std::size_t chunk) {
  SeeingVisitor v;
  rtf::scan_recording_file(path, lib::posix_file_system(), v, chunk);
  return v.s;
}

void expect_same(const Seen& a, const Seen& b, const std::string& what) {
  EXPECT_EQ(a.line_offsets, b.line_offsets) << what;
  EXPECT_EQ(a.values, b.values) << what;
  EXPECT_EQ(a.problem_offsets, b.problem_offsets) << what;
  EXPECT_EQ(a.problems, b.problems) << what;
}

TEST(RecordingStream, ChunksOfAnySizeFindWhatTheWholeFileHoldsCutDamagedOrWhole) {
  Writer w;
  w.write_two_runs();
  const std::string whole = w.bytes();
  const Seen full = seen_in_memory(whole);
  ASSERT_EQ(full.line_offsets.size(), 60u);
  ASSERT_TRUE(full.problems.empty());

  const std::string path = w.home.file("variant.realdep");
  auto check = [&](const std::string& bytes, const std::string& what) {
    lib::write_file_atomically(path, bytes, lib::posix_file_system(), false);
    const Seen memory = seen_in_memory(bytes);
    // Chunks shorter than a version block, shorter than a line, and larger than the file.
    for (std::size_t chunk : {1u, 7u, 11u, 64u, 333u, 1u << 20}) {
      expect_same(seen_streamed(path, chunk), memory,
                  what + ", chunks of " + std::to_string(chunk));
    }
  };
  check(whole, "whole");
  // Cut at every byte of the last two lines and of the second run's start.
  for (std::size_t cut = whole.size() - 120; cut < whole.size(); ++cut) {
    check(whole.substr(0, cut), "cut at " + std::to_string(cut));
  }
  // A damaged type byte, a damaged length that claims more than the run holds, and a
  // stretch of garbage longer than the larger chunks, each followed by the second run.
  std::string damaged = whole;
  damaged[full.line_offsets[3]] = 77;
  check(damaged, "unknown type");
  damaged = whole;
  damaged[full.line_offsets[5] + 2] = static_cast<char>(0x7F);
  check(damaged, "long length");
  damaged = whole;
  damaged.insert(full.line_offsets[40], std::string(5000, '\x55'));
  check(damaged, "garbage");
  const Seen g = seen_in_memory(damaged);
  ASSERT_EQ(g.problems.size(), 1u);
  EXPECT_EQ(g.problem_offsets[0], full.line_offsets[40]);
  // A file of the earlier version, two runs, whole and with a damaged line.
  std::string old = plain_version_block() + plain_params_block({"a"});
  for (int i = 0; i < 20; ++i) {
    rtf::ValuesLine l;
    l.values = {static_cast<float>(i)};
    old += plain_block(1, rtf::values_payload(l));
  }
  old += old;
  check(old, "version 2.3");
  old[old.size() / 4] = 77;
  check(old, "version 2.3, damaged");
}

TEST(RecordingStream, AFailedReadNamesTheFileAndANoMoreThanLimitStopsThere) {
  Writer w;
  w.write_two_runs();
  struct FailingRead final : FaultyFileSystem {
    long long left = 400;  // bytes read before the disk fails
    ssize_t read(int fd, void* buf, std::size_t n) override {
      if (left <= 0) {
        errno = EIO;
        return -1;
      }
      const ssize_t got = FaultyFileSystem::read(fd, buf, std::min<std::size_t>(n, left));
      if (got > 0) left -= got;
      return got;
    }
  } fs;
  SeeingVisitor v;
  try {
    rtf::scan_recording_file(w.file, fs, v, 64);
    ADD_FAILURE() << "a failed read went unnoticed";
  } catch (const lib::io::StreamError& e) {
    EXPECT_THAT(e.what(), HasSubstr(w.file));
    EXPECT_THAT(e.what(), HasSubstr("offset 400"));
  }
  // The lines before the failure were handed on.
  EXPECT_FALSE(v.s.line_offsets.empty());

  EXPECT_THROW(rtf::scan_recording_file(w.home.file("нет.realdep"), lib::posix_file_system(), v),
               lib::io::StreamError);

  // A limit at the end of a line: the lines up to it, and no cut block reported.
  const Seen full = seen_in_memory(w.bytes());
  SeeingVisitor limited;
  const rtf::ScanTotals t = rtf::scan_recording_file(w.file, lib::posix_file_system(), limited, 64,
                                                     full.line_offsets[12]);
  EXPECT_EQ(limited.s.line_offsets.size(), 12u);
  EXPECT_TRUE(limited.s.problems.empty());
  EXPECT_EQ(t.bytes, full.line_offsets[12]);
}

TEST(LasStream, TheTextWrittenInPiecesIsTheTextOfTheExportInMemory) {
  Writer w;
  w.write_two_runs();
  {
    // A third run taken up after a restart writes lines again whose time and depth come
    // before the end of the second: the export leaves them out, in both passes.
    rtf::RealTimeFile rec(w.storage, w.catalogue, lib::posix_file_system(), lib::system_clock());
    for (int i = 0; i < 10; ++i) rec.queue_task(values_task(w.file, params_of({"a"}), 120 + i));
    rec.write_pending();
  }
  for (bool by_time : {false, true}) {
    for (const std::vector<std::string>& params :
         {std::vector<std::string>{}, std::vector<std::string>{"C", "нет", "a"}}) {
      rtf::LasOptions o;
      o.by_time = by_time;
      o.params = params;
      const rtf::LasResult memory = rtf::export_las(rtf::read_recording(w.bytes()), o);
      std::string pieces;
      int calls = 0;
      const rtf::LasResult streamed =
          rtf::export_las_file(w.file, lib::posix_file_system(), o, [&](std::string_view p) {
            pieces.append(p);
            ++calls;
          });
      EXPECT_EQ(pieces, memory.text);
      EXPECT_EQ(streamed.unknown_params, memory.unknown_params);
      EXPECT_EQ(streamed.lines, 60u);
      EXPECT_EQ(streamed.dropped_lines, 10u);
      EXPECT_EQ(memory.dropped_lines, 10u);
      EXPECT_GE(calls, 1);
    }
  }
  // A file that grows between the two passes (the station still writing it): the lines
  // after the first pass's end are not in the export, whose span they would break.
  rtf::LasOptions o;
  const std::string before = rtf::export_las(rtf::read_recording(w.bytes()), o).text;
  std::string text;
  bool appended = false;
  o.progress_every = 1;
  o.progress = [&](std::size_t, std::size_t) {
    if (appended) return;
    appended = true;
    rtf::RealTimeFile rec(w.storage, w.catalogue, lib::posix_file_system(), lib::system_clock());
    rec.queue_task(values_task(w.file, params_of({"z"}), 999));
    rec.write_pending();
  };
  const rtf::LasResult r = rtf::export_las_file(w.file, lib::posix_file_system(), o,
                                                [&](std::string_view p) { text.append(p); });
  ASSERT_TRUE(appended);
  EXPECT_EQ(r.lines, 60u);
  EXPECT_EQ(text, before);
}

TEST(LasStream, NonFiniteValuesAreWrittenAsTheNullValue) {
  rtf::RecordingContents c;
  rtf::RecordedLine l;
  l.params = params_of({"a", "b", "c"});
  l.line.first_depth = 100;
  l.line.values = {std::numeric_limits<float>::quiet_NaN(), 2.5f,
                   -std::numeric_limits<float>::infinity()};
  c.param_lists.push_back(l.params);
  c.lines.push_back(l);
  const std::string text = rtf::export_las(c, {}).text;
  const std::string data = text.substr(text.rfind('\n', text.size() - 2) + 1);
  EXPECT_EQ(data, "100 0 0 0 -999.25 2.5 -999.25\n");
}

TEST(LasStream, AFailedWriteLeavesTheEarlierExportAndNoTemporaryFile) {
  Writer w;
  w.write_two_runs();
  const std::string las = w.home.file("out.las");
  lib::write_file_atomically(las, "earlier", lib::posix_file_system(), false);
  FaultyFileSystem fs;
  fs.only_paths_with = "out.las";
  fs.fail_after_bytes = 1000;
  try {
    rtf::export_las_to_file(w.file, las, fs, {});
    ADD_FAILURE() << "a full disk went unnoticed";
  } catch (const lib::io::StreamError& e) {
    EXPECT_THAT(e.what(), HasSubstr("out.las"));
  }
  EXPECT_EQ(testing_support::read_file(las), "earlier");
  for (const std::string& name : lib::posix_file_system().list_folder(w.home.path())) {
    EXPECT_EQ(name.find("out.las.tmp"), std::string::npos) << name;
  }
  const rtf::LasResult ok = rtf::export_las_to_file(w.file, las, lib::posix_file_system(), {});
  EXPECT_EQ(ok.lines, 60u);
  EXPECT_EQ(testing_support::read_file(las),
            rtf::export_las(rtf::read_recording(w.bytes()), {}).text);
}

bool is_link(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

TEST(LasExportTarget, NoRecordingIsWrittenOverAndALinkIsFollowedToItsFile) {
  Writer w;
  w.write_two_runs();
  auto& fs = lib::posix_file_system();
  const std::string recording = w.bytes();
  const std::string las = rtf::export_las(rtf::read_recording(recording), {}).text;
  const std::string other = w.home.file("0007.realtim");
  const std::string renamed = w.home.file("old.las");  // a recording under another name
  for (const std::string& f : {other, renamed}) {
    lib::write_file_atomically(f, recording, fs, false);
  }
  ASSERT_EQ(::link(w.file.c_str(), w.home.file("hard.las").c_str()), 0);
  ASSERT_EQ(::symlink(w.file.c_str(), w.home.file("to_input.las").c_str()), 0);
  ASSERT_EQ(::symlink("0099.reallag", w.home.file("to_recording.las").c_str()), 0);
  const std::pair<std::string, const char*> refused[] = {
      {w.file, "it is the recording being exported"},
      {w.home.file("hard.las"), "it is the recording being exported"},
      {w.home.file("to_input.las"), "it is the recording being exported"},
      {other, "named as a recording file"},
      {w.home.file("0099.realdep"), "named as a recording file"},
      {w.home.file("to_recording.las"), "0099.reallag', where it leads, is named as a recording"},
      {renamed, "it is a recording file"},
      {w.home.path(), "Is a directory"}};
  for (const auto& [path, why] : refused) {
    try {
      rtf::export_las_to_file(w.file, path, fs, {});
      ADD_FAILURE() << "written to " << path;
    } catch (const lib::io::StreamError& e) {
      EXPECT_THAT(e.what(), HasSubstr(why)) << path;
    }
  }
  for (const std::string& f : {w.file, other, renamed}) {
    EXPECT_EQ(testing_support::read_file(f), recording) << f;
  }
  EXPECT_FALSE(lib::exists(fs, w.home.file("0099.realdep")));
  EXPECT_TRUE(is_link(w.home.file("to_input.las")));

  // A link to a file: the file gets the export and the link stays; a link to nothing gets
  // its file. Nothing temporary is left beside either.
  lib::write_file_atomically(w.home.file("target.las"), "earlier", fs, false);
  ASSERT_EQ(::symlink("target.las", w.home.file("link.las").c_str()), 0);
  ASSERT_EQ(::symlink("made.las", w.home.file("dangling.las").c_str()), 0);
  for (const char* name : {"link.las", "dangling.las"}) {
    EXPECT_EQ(rtf::export_las_to_file(w.file, w.home.file(name), fs, {}).lines, 60u);
    EXPECT_TRUE(is_link(w.home.file(name))) << name;
  }
  EXPECT_EQ(testing_support::read_file(w.home.file("target.las")), las);
  EXPECT_EQ(testing_support::read_file(w.home.file("made.las")), las);
  for (const std::string& name : fs.list_folder(w.home.path())) {
    EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
  }
}

TEST(LasExportTarget, AFifoAndADeviceAreWrittenStraightAndStayWhatTheyAre) {
  Writer w;
  w.write_two_runs();
  auto& fs = lib::posix_file_system();
  const std::string las = rtf::export_las(rtf::read_recording(w.bytes()), {}).text;
  const std::string fifo = w.home.file("pipe.las");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  // The reader is there before the export starts, and reads until the export has returned.
  const int in = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(in, 0);
  std::string got;
  std::atomic<bool> done{false};
  std::thread reader([&] {
    char buf[4096];
    for (;;) {
      pollfd p{in, POLLIN, 0};
      ::poll(&p, 1, 20);
      const ssize_t n = ::read(in, buf, sizeof buf);
      if (n > 0) {
        got.append(buf, static_cast<std::size_t>(n));
      } else if (done) {
        return;
      }
    }
  });
  EXPECT_NO_THROW(rtf::export_las_to_file(w.file, fifo, fs, {}));
  done = true;
  reader.join();
  ::close(in);
  EXPECT_EQ(got, las);
  struct stat st {};
  ASSERT_EQ(::stat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));

  // Devices made in the test's folder: the null device takes the export, the full one
  // refuses it, and both are still devices afterwards.
  const std::string null = w.home.file("null"), full = w.home.file("full");
  if (::mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0 ||
      ::mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0) {
    GTEST_SKIP() << "making device nodes needs root";
  }
  EXPECT_EQ(rtf::export_las_to_file(w.file, null, fs, {}).lines, 60u);
  try {
    rtf::export_las_to_file(w.file, full, fs, {});
    ADD_FAILURE() << "the full device took the export";
  } catch (const lib::io::StreamError& e) {
    EXPECT_THAT(e.what(), HasSubstr("No space left on device"));
  }
  for (const std::string& device : {null, full}) {
    ASSERT_EQ(::stat(device.c_str(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode)) << device;
  }
}

TEST(ExportProgress, StepsAreToldOnceEachAndOnlyWhenCrossed) {
  rtf::ProgressSteps steps(1000, 10);
  std::vector<int> told;
  for (std::size_t done = 1; done <= 1000; ++done) {
    if (const auto p = steps.advance(done)) told.push_back(*p);
  }
  EXPECT_EQ(told, (std::vector<int>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
  // Coarse calls skip steps rather than repeat them; nothing for an empty job.
  rtf::ProgressSteps coarse(1000, 10);
  EXPECT_EQ(coarse.advance(250), 20);
  EXPECT_EQ(coarse.advance(260), std::nullopt);
  EXPECT_EQ(coarse.advance(1000), 100);
  EXPECT_EQ(coarse.advance(1000), std::nullopt);
  EXPECT_EQ(rtf::ProgressSteps(0, 1).advance(0), std::nullopt);
}

}  // namespace
