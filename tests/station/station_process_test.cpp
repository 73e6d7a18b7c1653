// The real rigstation program on a scratch home: stopped by a hang-up, refused when the home
// is taken, and killed at random moments (during saves too) without ever leaving a damaged
// state file or stale temporary files behind.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/system.h"
#include "station/station.h"
#include "support/fakes.h"

using testing_support::TempDir;

namespace {

using Clock = std::chrono::steady_clock;

// A running "rigstation run" with its output in files of its own folder.
class StationProcess {
 public:
  StationProcess(const std::string& home, const std::string& out_dir,
                 std::vector<std::string> extra) {
    stdout_ = out_dir + "stdout." + std::to_string(++count_);
    stderr_ = out_dir + "stderr." + std::to_string(count_);
    std::vector<std::string> args = {
        RIGCORE_TEST_RIGSTATION, "run", "--home", home, "--protocol", "emulator"};
    args.insert(args.end(), extra.begin(), extra.end());
    pid_ = ::fork();
    if (pid_ == 0) {
      const int out = ::open(stdout_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int err = ::open(stderr_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(out, STDOUT_FILENO);
      ::dup2(err, STDERR_FILENO);
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
  }
  ~StationProcess() {
    if (pid_ > 0 && !waited_) {
      ::kill(pid_, SIGKILL);
      wait();
    }
  }
  pid_t pid() const { return pid_; }
  void signal(int sig) const { ::kill(pid_, sig); }
  // The exit status as waitpid gives it.
  int wait() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    waited_ = true;
    return status;
  }
  std::string out() const { return testing_support::read_file(stdout_); }
  std::string err() const { return testing_support::read_file(stderr_); }
  // Waits until the station printed its first tick (its signal handlers are in place then).
  bool wait_for_first_tick(std::chrono::milliseconds limit) const {
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
      if (out().find("tick=1") != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

 private:
  static inline int count_ = 0;
  pid_t pid_ = -1;
  bool waited_ = false;
  std::string stdout_, stderr_;
};

std::set<std::string> files_starting(const std::string& folder, const std::string& prefix) {
  std::set<std::string> out;
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    const std::string name = e.path().filename().string();
    if (name.rfind(prefix, 0) == 0) out.insert(name);
  }
  return out;
}

// Loads the home's state file into a fresh hub, as the next start would.
reg::StateLoadReport load_state(const std::string& home) {
  TempDir elsewhere;
  reg::System hub(reg::SystemOptions{elsewhere.path()});
  hub.register_modules();
  return hub.load_from_file(home);
}

TEST(StationProcess, AHangUpStopsTheStationWithASave) {
  TempDir dir;
  const std::string home = dir.path() + "home/";
  StationProcess st(home, dir.path(), {"--save-every", "3600"});
  ASSERT_TRUE(st.wait_for_first_tick(std::chrono::seconds(20))) << st.err();
  EXPECT_FALSE(std::filesystem::exists(home + "sys.bin")) << "no periodic save came yet";

  // A second station on the same home is refused and names the first one.
  StationProcess second(home, dir.path(), {});
  const int refused = second.wait();
  ASSERT_TRUE(WIFEXITED(refused));
  EXPECT_EQ(WEXITSTATUS(refused), 1);
  EXPECT_NE(second.err().find("another station (process " + std::to_string(st.pid()) + ")"),
            std::string::npos)
      << second.err();

  st.signal(SIGHUP);
  const int status = st.wait();
  ASSERT_TRUE(WIFEXITED(status)) << "killed by the hang-up instead of stopping: " << status;
  EXPECT_EQ(WEXITSTATUS(status), 0) << st.err();
  EXPECT_NE(st.err().find("state saved to " + home + "sys.bin"), std::string::npos) << st.err();
  EXPECT_FALSE(load_state(home).damaged());
}

TEST(StationProcess, KilledAtAnyMomentTheLastStateStaysIntact) {
  TempDir dir;
  const std::string home = dir.path() + "home/";
  {
    // A first, clean start makes the home; the kills below hit a running station.
    StationProcess first(home, dir.path(), {"--seconds", "1"});
    const int status = first.wait();
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << first.err();
  }
  std::mt19937 random(20261206);
  // A fixed number of rounds, not as many as fit in some seconds: a slow machine runs the
  // same test, only longer (each round's waits are bounded).
  constexpr int kRounds = 20;
  int during_save = 0;
  std::set<std::string> stale;  // temporary files the last kill left
  for (int round = 0; round < kRounds; ++round) {
    // Watches the home for the temporary file of a save being created.
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ::inotify_add_watch(watch, home.c_str(), IN_CREATE);
    StationProcess st(home, dir.path(), {"--save-every", "1"});
    const std::string own_tmp = "sys.bin.tmp" + std::to_string(st.pid());
    if (round % 2 == 0) {
      // Any moment: while starting, between saves or in one.
      std::uniform_int_distribution<int> ms(50, 1500);
      std::this_thread::sleep_for(std::chrono::milliseconds(ms(random)));
    } else {
      // The moment a save has begun: its temporary file was just created. The bound only
      // keeps a station that never saves from holding the test up.
      const auto end = Clock::now() + std::chrono::seconds(15);
      bool seen = false;
      while (!seen && Clock::now() < end) {
        pollfd p{watch, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        alignas(inotify_event) char buf[4096];
        const ssize_t n = ::read(watch, buf, sizeof buf);
        for (ssize_t i = 0; i + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
          const auto* e = reinterpret_cast<const inotify_event*>(buf + i);
          if (e->len > 0 && own_tmp == e->name) seen = true;
          i += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        }
      }
    }
    ::close(watch);
    // Leftovers of the previous kill are gone once this station has opened its home.
    if (!stale.empty() && st.wait_for_first_tick(std::chrono::milliseconds(1))) {
      for (const auto& name : stale) EXPECT_FALSE(std::filesystem::exists(home + name)) << name;
    }
    st.signal(SIGKILL);
    st.wait();

    if (std::filesystem::exists(home + "sys.bin")) {
      const reg::StateLoadReport report = load_state(home);
      EXPECT_FALSE(report.damaged()) << "round " << round << ": " << report.error;
      // A hub alone does not know the station's own blocks (its rig tracker and its
      // recorder); they are kept, not damaged.
      EXPECT_EQ(report.blocks.unknown,
                (std::vector<std::string>{"StationTracker", "RealTimeFile"}))
          << "round " << round;
      EXPECT_EQ(report.blocks.skipped, 2) << "round " << round;
    }
    stale = files_starting(home, "sys.bin.tmp");
    if (stale.count(own_tmp)) ++during_save;  // this kill came in the middle of a save
  }
  EXPECT_GE(during_save, 1) << "no kill landed inside a save; the test proved too little";

  // A last, clean run removes what the kills left and finds an intact state.
  StationProcess last(home, dir.path(), {"--seconds", "2", "--save-every", "1"});
  const int status = last.wait();
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0) << last.err();
  EXPECT_EQ(last.err().find("damaged"), std::string::npos) << last.err();
  EXPECT_TRUE(files_starting(home, "sys.bin.tmp").empty());
  EXPECT_TRUE(files_starting(home, "sys.bin.damaged-").empty())
      << "no start ever found a damaged state file";
  EXPECT_FALSE(load_state(home).damaged());
  RecordProperty("kills", kRounds);
  RecordProperty("kills_during_a_save", during_save);
}

}  // namespace
