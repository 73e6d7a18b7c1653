// The writer killed at random moments: a child process records numbered lines and tells
// the parent each one its writer has put in the file; the parent kills it (SIGKILL) after a
// random wait, and a new writer appends to the same file, round after round. Every line
// told must then be in the file, whole and in order, and the reader must get past every
// cut the kills left.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>
#include <thread>

#include "params/all_params.h"
#include "storage/data_storage.h"
#include "storage/real_time_file.h"
#include "storage/real_time_reader.h"
#include "support/fakes.h"

namespace {

constexpr int kRounds = 20;
constexpr std::uint32_t kLinesPerRoundRoom = 100000;

[[noreturn]] void record_forever(const std::string& home, const std::string& file,
                                 std::uint32_t first, int tell) {
  params::AllParams catalogue{home, lib::posix_file_system()};
  ds_tmp::DataStorage storage{catalogue};
  rtf::RealTimeFileServices s;
  s.written = [tell](const rtf::Records& task) {
    for (const auto& r : task.records) {
      const auto* v = dynamic_cast<const rtf::ValuesWriterRecord*>(r.get());
      if (v == nullptr) continue;
      const auto seq = static_cast<std::uint32_t>(v->line().values[0]);
      if (::write(tell, &seq, sizeof seq) != sizeof seq) ::_exit(3);
    }
  };
  rtf::RealTimeFile rec(storage, catalogue, lib::posix_file_system(), lib::system_clock(), s);
  auto params = std::make_shared<std::vector<rtf::RecordedParam>>();
  params->push_back({"Номер", "", "N", "номер", 0, 1});
  params->push_back({"Ещё", "", "E", "ещё", 0, 1});
  rec.start_save_thread();
  for (std::uint32_t seq = first;; ++seq) {
    while (rec.get_queue_size() > 50) std::this_thread::yield();
    auto task = std::make_shared<rtf::Records>();
    task->file = file;
    rtf::ValuesLine line;
    line.time = seq;
    line.values = {static_cast<float>(seq), 0.5f};
    task->records.push_back(std::make_shared<rtf::ValuesWriterRecord>(line, params));
    rec.queue_task(task);
  }
}

TEST(RecordingKillLoop, EveryLineTheWriterToldOfSurvivesAKillAtAnyMoment) {
  testing_support::TempDir dir;
  const std::string file = dir.file("0001.realtim");
  std::mt19937 random(20261206);
  std::vector<std::uint32_t> told;  // every line a writer said was written, in order
  std::vector<std::uint64_t> ends;  // the file's size after each killed writer
  for (int round = 0; round < kRounds; ++round) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const std::uint32_t first = static_cast<std::uint32_t>(round) * kLinesPerRoundRoom;
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::close(fds[0]);
      record_forever(dir.path(), file, first, fds[1]);
    }
    ::close(fds[1]);
    // The kill falls at a random moment after the writer's first line is in.
    std::uint32_t seq = 0;
    ASSERT_EQ(::read(fds[0], &seq, sizeof seq), static_cast<ssize_t>(sizeof seq));
    told.push_back(seq);
    std::this_thread::sleep_for(
        std::chrono::microseconds(std::uniform_int_distribution<int>(0, 30000)(random)));
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "round " << round << ": the writer ended by itself";
    while (::read(fds[0], &seq, sizeof seq) == sizeof seq) told.push_back(seq);
    ::close(fds[0]);
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    ends.push_back(static_cast<std::uint64_t>(st.st_size));
  }
  ASSERT_GT(told.size(), static_cast<std::size_t>(kRounds)) << "the writers wrote too little";

  const rtf::RecordingContents c = rtf::read_recording(testing_support::read_file(file));
  std::vector<std::uint32_t> found;
  for (const rtf::RecordedLine& l : c.lines) {
    ASSERT_EQ(l.line.values.size(), 2u);
    EXPECT_EQ(l.line.values[1], 0.5f);
    found.push_back(static_cast<std::uint32_t>(l.line.values[0]));
  }
  // In order, no line twice, and every told line among them.
  for (std::size_t i = 1; i < found.size(); ++i) ASSERT_LT(found[i - 1], found[i]) << i;
  std::size_t j = 0;
  for (std::uint32_t t : told) {
    while (j < found.size() && found[j] < t) ++j;
    ASSERT_TRUE(j < found.size() && found[j] == t) << "line " << t << " was told but is lost";
  }
  // A kill mostly falls between writes, but one that lands inside a write leaves a cut
  // block at the end of what that writer wrote. The reader must go on exactly where the next
  // writer began, and only the last writer's cut may end the file.
  for (std::size_t i = 0; i < c.problems.size(); ++i) {
    const rtf::ReadProblem& p = c.problems[i];
    if (c.cut_at_end && i + 1 == c.problems.size()) {
      EXPECT_GE(p.offset, ends[ends.size() - 2]) << p.what;
      continue;
    }
    const auto skipped_at = p.what.find("skipped ");
    ASSERT_NE(skipped_at, std::string::npos) << p.what;
    const std::uint64_t resumed = p.offset + std::stoull(p.what.substr(skipped_at + 8));
    EXPECT_NE(std::find(ends.begin(), ends.end(), resumed), ends.end())
        << p.what << " at " << p.offset << ": the reader went on mid-stretch";
  }
  EXPECT_GE(c.versions, static_cast<std::size_t>(kRounds) - 1);
}

}  // namespace
