// Locks, the line logger and the main-thread message caller.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "lib/line_logger.h"
#include "lib/lock_object.h"
#include "lib/mess_caller.h"
#include "support/fakes.h"

using namespace lib;
using testing_support::FakeClock;
using testing_support::TempDir;

namespace {

// Tries the lock from a fresh thread and lets it go again if that worked.
bool other_thread_can_lock(lock_object& lock) {
  bool got = false;
  std::thread([&] {
    got = lock.try_lock();
    if (got) lock.unlock();
  }).join();
  return got;
}

TEST(LockObject, InProcessKindIsReentrantAndExcludesOtherThreads) {
  lock_object lock(lock_object::kInProcess);
  lock.lock();
  lock.lock();  // same thread again
  EXPECT_FALSE(other_thread_can_lock(lock));
  lock.unlock();
  EXPECT_FALSE(other_thread_can_lock(lock)) << "still held once";
  lock.unlock();
  EXPECT_TRUE(other_thread_can_lock(lock));

  lock_object none(7);  // other kinds do nothing
  none.lock();
  EXPECT_TRUE(other_thread_can_lock(none));
  none.unlock();
}

TEST(LockObject, InterProcessKindExcludesAnotherProcess) {
  TempDir dir;
  const std::string file = dir.file("x.lock");
  lock_object lock(lock_object::kInterProcess, file, lib::posix_file_system());
  ASSERT_TRUE(lock.has_file());
  lock.lock();
  lock.lock();  // re-entrant on this thread
  lock.unlock();

  auto child_can_lock = [&] {
    pid_t pid = fork();
    if (pid == 0) {
      lock_object other(lock_object::kInterProcess, file, lib::posix_file_system());
      _exit(other.try_lock() ? 1 : 0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 1;
  };
  EXPECT_FALSE(child_can_lock()) << "held once more by this process";
  lock.unlock();
  EXPECT_TRUE(child_can_lock());
}

TEST(LockObject, InterProcessLockWithoutItsFileStillGuardsThreads) {
  lock_object lock(lock_object::kInterProcess, "/nonexistent-folder/x.lock",
                   lib::posix_file_system());
  EXPECT_FALSE(lock.has_file());
  lock.lock();
  EXPECT_FALSE(other_thread_can_lock(lock));
  lock.unlock();
}

TEST(LineLogger, WritesOnlyBelowTheThresholdInTheLineForm) {
  TempDir dir;
  FakeClock clock;
  clock.set(2026, 12, 5, 7, 8, 9);
  LineLogger log(0, clock, lib::posix_file_system());
  EXPECT_FALSE(log.write("no file yet", -1));
  log.set_file(dir.file("a.log"));
  EXPECT_TRUE(log.write("ошибка", -1));
  EXPECT_FALSE(log.write("info", 0));
  log.set_threshold(3);
  EXPECT_TRUE(log.write("detail", 2));
  EXPECT_EQ(testing_support::read_file(dir.file("a.log")),
            "(05.12.2026 07:08:09) ошибка\n(05.12.2026 07:08:09) detail\n");
}

TEST(LineLogger, AFullLogMovesAsideKeepingItsOldFilesAndOneThatCannotMoveStopsGrowing) {
  TempDir dir;
  FakeClock clock;
  clock.set(2026, 12, 5, 7, 8, 9);
  testing_support::FaultyFileSystem fs;
  LineLogger log(0, clock, fs);
  const std::string path = dir.file("w.log");
  log.set_file(path);
  log.set_limits({200, 2});
  std::string told;
  log.set_fallback([&](const std::string& text) { told += text; });
  // 60 numbered lines of 31 bytes: six a file, so the oldest went with the third move aside.
  for (int i = 100; i < 160; ++i) ASSERT_TRUE(log.write("line " + std::to_string(i), -1));
  std::string kept;
  for (const std::string& name : {path + ".2", path + ".1", path}) {
    const std::string text = testing_support::read_file(name);
    EXPECT_LE(text.size(), 200u) << name;
    kept += text;
  }
  EXPECT_FALSE(lib::exists(fs, path + ".3"));
  const auto first = kept.find("line ");
  ASSERT_NE(first, std::string::npos);
  const int oldest = std::stoi(kept.substr(first + 5, 3));
  std::string expected;
  for (int i = oldest; i < 160; ++i) expected += log.format_line("line " + std::to_string(i));
  EXPECT_EQ(kept, expected) << "the kept files hold the newest lines, in order, none twice";

  // A folder that refuses renames: the log goes on up to twice its limit, then its lines go to
  // the fallback; the fault is told once, and nothing throws.
  fs.fail_rename = true;
  int written = 0;
  for (int i = 0; i < 40; ++i) written += log.write("stuck " + std::to_string(i), -1) ? 1 : 0;
  EXPECT_LE(testing_support::read_file(path).size(), 400u);
  EXPECT_GT(written, 0);
  EXPECT_LT(written, 40);
  EXPECT_EQ(told.find("cannot move the full log '" + path + "' aside"), 0u) << told;
  EXPECT_EQ(told.find("cannot move", 1), std::string::npos) << told;
  EXPECT_NE(told.find("stuck 39"), std::string::npos);
  fs.fail_rename = false;
  EXPECT_TRUE(log.write("moved again", -1));
  EXPECT_EQ(testing_support::read_file(path), log.format_line("moved again"));
}

TEST(LineLogger, UnwritableFileNeverThrows) {
  LineLogger log(0, lib::system_clock(), lib::posix_file_system());
  log.set_file("/nonexistent-folder/c.log");
  EXPECT_FALSE(log.write("lost", -1));
}

TEST(MessCaller, TasksRunInOrderOnTheDrainingThread) {
  MessCaller caller;
  std::vector<int> order;
  std::thread::id ran_on;
  std::thread([&] {
    for (int i = 0; i < 5; ++i)
      caller.call([&, i] {
        order.push_back(i);
        ran_on = std::this_thread::get_id();
      });
  }).join();
  EXPECT_TRUE(order.empty()) << "nothing runs until the host drains";
  EXPECT_EQ(caller.pending(), 5u);
  EXPECT_EQ(caller.run_pending(), 5u);
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(ran_on, std::this_thread::get_id());
}

TEST(MessCaller, TaskPostedWhileDrainingWaitsForTheNextDrain) {
  MessCaller caller;
  int runs = 0;
  caller.call([&] {
    ++runs;
    caller.call([&] { ++runs; });
  });
  EXPECT_EQ(caller.run_pending(), 1u);
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(caller.run_pending(), 1u);
  EXPECT_EQ(runs, 2);
}

TEST(MessCaller, FullQueueRefusesAndThrowingTaskIsReported) {
  MessCaller caller(2);
  std::vector<std::string> errors;
  caller.set_error_handler([&](const std::string& m) { errors.push_back(m); });
  int runs = 0;
  EXPECT_TRUE(caller.call([] { throw std::runtime_error("boom"); }));
  EXPECT_TRUE(caller.call([&] { ++runs; }));
  EXPECT_FALSE(caller.call([&] { ++runs; }));
  EXPECT_EQ(caller.dropped(), 1u);
  EXPECT_EQ(caller.run_pending(), 2u);
  EXPECT_EQ(runs, 1);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("boom"), std::string::npos);
}

}  // namespace
