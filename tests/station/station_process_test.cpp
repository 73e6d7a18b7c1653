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
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/system.h"
#include "station/station.h"
#include "storage/real_time_reader.h"
#include "support/fakes.h"
#include "web/web_client.h"

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
  // The lines the station printed so far (a line cut by a kill is left out).
  std::vector<std::string> out_lines() const {
    std::vector<std::string> lines;
    const std::string text = out();
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
      lines.push_back(text.substr(start, end - start));
    return lines;
  }
  bool wait_for_lines(std::size_t count, std::chrono::milliseconds limit) const {
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
      if (out_lines().size() >= count) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }
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

// Every entry of a home with its modification time in ns.
std::map<std::string, std::int64_t> home_entries(const std::string& home) {
  std::map<std::string, std::int64_t> out;
  for (const auto& e : std::filesystem::recursive_directory_iterator(home)) {
    struct stat st {};
    ::lstat(e.path().c_str(), &st);
    out[e.path().string()] = std::int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
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

// A second station on the same home is refused, names the first one and touches nothing in
// the home (the first one is held still meanwhile, so only the second could).
TEST(StationProcess, ASecondStationIsRefusedAndTouchesNothingInTheHome) {
  TempDir dir;
  const std::string home = dir.path() + "home/";
  StationProcess st(home, dir.path(), {});
  ASSERT_TRUE(st.wait_for_first_tick(std::chrono::seconds(20))) << st.err();
  st.signal(SIGSTOP);
  const auto before = home_entries(home);
  StationProcess second(home, dir.path(), {});
  const int refused = second.wait();
  const auto after = home_entries(home);
  st.signal(SIGCONT);
  ASSERT_TRUE(WIFEXITED(refused));
  EXPECT_EQ(WEXITSTATUS(refused), 1);
  EXPECT_NE(second.err().find("another station (process " + std::to_string(st.pid()) + ")"),
            std::string::npos)
      << second.err();
  EXPECT_EQ(after, before);
  st.signal(SIGTERM);
  EXPECT_EQ(st.wait(), 0) << st.err();
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
      // The moment a save has begun: its temporary file was just created. The kill follows
      // the event at once: an optimised build's save is over sooner than the watch closes.
      // The bound only keeps a station that never saves from holding the test up.
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
    st.signal(SIGKILL);
    ::close(watch);
    st.wait();
    // Leftovers of the previous kill are gone once this station has opened its home.
    if (st.out().find("tick=1") != std::string::npos) {
      for (const auto& name : stale) EXPECT_FALSE(std::filesystem::exists(home + name)) << name;
    }

    if (std::filesystem::exists(home + "sys.bin")) {
      const reg::StateLoadReport report = load_state(home);
      EXPECT_FALSE(report.damaged()) << "round " << round << ": " << report.error;
      // A hub alone does not know the station's own blocks (its rig tracker and its
      // recorder); they are kept, not damaged.
      EXPECT_EQ(report.blocks.unknown, (std::vector<std::string>{"StationTracker", "RealTimeFile"}))
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

// Runs a rigstation tool to its end; its exit status.
int run_tool(std::vector<std::string> args) {
  args.insert(args.begin(), RIGCORE_TEST_RIGSTATION);
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDOUT_FILENO);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return status;
}

// What one JSON line of `run --json` says of the rig.
struct RigTick {
  double bottom = 0, bit = 0, lag = 0, footage = 0;
  int race = 0;
  bool active = false;
};

std::vector<RigTick> rig_ticks(const StationProcess& st) {
  std::vector<RigTick> ticks;
  for (const std::string& line : st.out_lines()) {
    const auto j = nlohmann::json::parse(line, nullptr, false);
    if (j.is_discarded()) continue;
    const auto& r = j["rig"];
    ticks.push_back({r["bottom"], r["bit"], r["lag"], r["race"]["footage"], r["race"]["number"],
                     r["race"]["active"]});
  }
  return ticks;
}

// Drilling without end: stands of 28 m drilled in 40 s, each followed by a short connection.
// The first start puts the bit on bottom at 1000 m; a restart plays the same frames from
// their beginning without moving the depths, as the rig goes on where it was.
std::string drilling_frames() {
  std::string frames;
  int t = 0;
  for (int stand = 0; stand < 20; ++stand) {
    frames += std::to_string(t) + " hook=80 block=30 pressure=90 rpm=60 wob=8 spm1=60\n";
    t += 40;
    frames += std::to_string(t) + " hook=80 block=2 pressure=90 rpm=60 wob=8 spm1=60\n";
    t += 1;
    frames += std::to_string(t) + " hook=5 block=2 pressure=0 rpm=0 wob=0 spm1=0\n";
    t += 5;
    frames += std::to_string(t) + " hook=5 block=30\n";
    t += 1;
  }
  return frames;
}

// The number after `key` in the start line beginning with `line_start`; NaN when missing.
double restored_number(const std::string& err, const std::string& line_start,
                       const std::string& key) {
  const std::size_t line = err.find(line_start);
  if (line == std::string::npos) return std::nan("");
  const std::size_t end = err.find('\n', line);
  const std::size_t at = err.find(key, line);
  if (at == std::string::npos || at > end) return std::nan("");
  return std::strtod(err.c_str() + at + key.size(), nullptr);
}

TEST(StationProcess, KilledAndStartedAgainItContinuesTheRunDepthsAndLagQueue) {
  TempDir dir;
  const std::string home = dir.path() + "home/";
  const std::string first = dir.path() + "first.txt";
  const std::string again = dir.path() + "again.txt";
  std::ofstream(first) << "start bottom=1000 bit=1000 block=30\n" << drilling_frames();
  std::ofstream(again) << drilling_frames();
  {
    StationProcess make_home(home, dir.path(), {"--seconds", "1"});
    ASSERT_EQ(make_home.wait(), 0) << make_home.err();
  }
  // Mud takes 20 s to come up, so the lag queue holds the marks of 20 s of drilling.
  ASSERT_EQ(
      run_tool({"config", "set", "--home", home, "задержанная_глубина", "время_отставания", "20"}),
      0);

  std::mt19937 random(20261207);
  constexpr int kRounds = 6;
  std::vector<RigTick> before;  // what the killed station printed, tick by tick
  for (int round = 0; round < kRounds; ++round) {
    std::vector<std::string> args = {"--json", "--save-every", "1", "--scenario",
                                     round == 0 ? first : again};
    if (round == 0) args.insert(args.end(), {"--race", "7"});
    StationProcess st(home, dir.path(), args);
    ASSERT_TRUE(st.wait_for_lines(1, std::chrono::seconds(30))) << st.err();
    const std::string err = st.err();
    const std::vector<RigTick> now = rig_ticks(st);
    ASSERT_FALSE(now.empty());
    if (round == 0) {
      EXPECT_NEAR(now.front().bottom, 1000.0, 1.0);
      // The home's first start saved a state without a run; the new run starts afresh.
      EXPECT_NE(err.find("restored registration run: none was started"), std::string::npos) << err;
      EXPECT_NE(err.find("registration run 7 starts"), std::string::npos) << err;
    } else {
      SCOPED_TRACE("round " + std::to_string(round) + "\n" + err);
      ASSERT_GE(before.size(), 4U);
      const RigTick& last = before.back();
      const RigTick& earlier = before[before.size() - 4];
      // The same run goes on, from where the last save left the rig: not from the start of
      // the story, not from nothing, and not from further back than the last few saves.
      EXPECT_NE(err.find("restored registration run 7 (active: it continues)"), std::string::npos);
      EXPECT_TRUE(now.front().active);
      EXPECT_EQ(now.front().race, 7);
      const double bottom = restored_number(err, "restored depths:", "bottom ");
      const double bit = restored_number(err, "restored depths:", "bit ");
      EXPECT_GE(bottom, earlier.bottom - 0.01);
      EXPECT_LE(bottom, last.bottom + 1.0);  // at most one tick of drilling unprinted
      EXPECT_GE(bit, earlier.bit - 0.01);
      EXPECT_LE(bit, last.bit + 1.0);
      const double lag = restored_number(err, "restored lag queue:", "lag depth ");
      EXPECT_GE(lag, earlier.lag - 0.01);
      EXPECT_LE(lag, last.lag + 1.0);
      // Mud from the last 20 s of drilling was on its way up: the queue was not emptied.
      const double marks = restored_number(err, "restored lag queue:", "queue: ");
      if (last.bottom - last.lag > 1.0) {
        EXPECT_GE(marks, 1.0);
      }
      const double footage = restored_number(err, "restored run totals:", "footage ");
      EXPECT_GE(footage, earlier.footage - 0.01);
      EXPECT_LE(footage, last.footage + 1.0);
      EXPECT_NE(err.find("restored recorder: run 7 goes on in '" + home + "records/0007.realtim'"),
                std::string::npos);
      // The first tick drills on from the restored bottom.
      EXPECT_GE(now.front().bottom, bottom - 0.01);
    }
    // A kill at a random moment after a few ticks: in a tick, a save or a sleep.
    const std::size_t ticks = std::uniform_int_distribution<std::size_t>(4, 6)(random);
    ASSERT_TRUE(st.wait_for_lines(ticks, std::chrono::seconds(30))) << st.err();
    std::this_thread::sleep_for(
        std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 999)(random)));
    st.signal(SIGKILL);
    st.wait();
    before = rig_ticks(st);
    ASSERT_GT(before.back().bottom, before.front().bottom) << "the scenario drilled nothing";
  }

  // Each depth of the run has its one line in the depth file, in order, however the kills
  // fell (the writer can be ahead of the last saved state).
  const auto bytes = testing_support::read_file(home + "records/0007.realdep");
  const rtf::RecordingContents depth_file = rtf::read_recording(bytes);
  ASSERT_GT(depth_file.lines.size(), 20U);
  for (std::size_t i = 1; i < depth_file.lines.size(); ++i) {
    EXPECT_GT(depth_file.lines[i].line.first_depth, depth_file.lines[i - 1].line.first_depth)
        << "line " << i;
  }

  // The run ends on a last start, which writes the lag lines still waiting: each depth line
  // has its one lag line, whatever the queue owed between the last save and a kill.
  StationProcess last(home, dir.path(), {"--json", "--scenario", again});
  ASSERT_TRUE(last.wait_for_lines(1, std::chrono::seconds(30))) << last.err();
  ASSERT_EQ(run_tool({"control", "--home", home, "race", "stop"}), 0);
  last.signal(SIGTERM);
  ASSERT_EQ(last.wait(), 0) << last.err();
  const auto depths = [&](const char* ext) {
    std::multiset<float> out;
    for (const auto& l :
         rtf::read_recording(testing_support::read_file(home + "records/0007" + ext)).lines)
      out.insert(l.line.first_depth);
    return out;
  };
  const std::multiset<float> lagged = depths(".reallag");
  for (const float d : depths(".realdep")) EXPECT_EQ(lagged.count(d), 1u) << "depth " << d;
}

// The table of a running station is edited only with its knowledge: without --reload the
// edit is refused; with it, the station takes the table between two ticks and the hook load
// reads its new calibration (a flat 7 t).
TEST(StationProcess, ARunningStationTakesAnEditedTableWhenToldToReload) {
  TempDir dir;
  const std::string home = dir.path() + "home/";
  StationProcess st(home, dir.path(), {"--json"});
  ASSERT_TRUE(st.wait_for_lines(1, std::chrono::seconds(30))) << st.err();
  std::vector<std::string> edit = {"params",  "calibrate", "--home", home, "вес_на_крюке",
                                   "--clear", "--point",   "0",      "7",  "--point",
                                   "5000",    "7"};
  EXPECT_EQ(WEXITSTATUS(run_tool(edit)), 1);
  edit.push_back("--reload");
  ASSERT_EQ(run_tool(edit), 0);
  const auto hook = [&] {
    const auto j = nlohmann::json::parse(st.out_lines().back(), nullptr, false);
    return j.is_discarded() ? -1.0 : j["values"]["вес_на_крюке"]["value"].get<double>();
  };
  const auto end = Clock::now() + std::chrono::seconds(20);
  while (hook() != 7.0 && Clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(hook(), 7.0) << st.err();
  st.signal(SIGTERM);
  EXPECT_EQ(st.wait(), 0);
}

// A terminal closed under the station (SIGHUP) stops it as an operator's stop does.
TEST(StationProcess, AStopSignalEndsTheRunWithItsStateSavedAndItsLinesWritten) {
  for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
    TempDir dir;
    const std::string home = dir.path() + "home/";
    const std::string scenario = dir.path() + "drill.txt";
    std::ofstream(scenario) << "start bottom=1000 bit=1000 block=30\n" << drilling_frames();
    StationProcess st(home, dir.path(),
                      {"--json", "--save-every", "3600", "--race", "3", "--scenario", scenario});
    ASSERT_TRUE(st.wait_for_lines(4, std::chrono::seconds(30))) << st.err();
    st.signal(sig);
    const int status = st.wait();
    ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << sig << " instead of stopping";
    EXPECT_EQ(WEXITSTATUS(status), 0) << st.err();
    EXPECT_NE(st.err().find("state saved to " + home + "sys.bin"), std::string::npos) << st.err();
    const std::vector<RigTick> ticks = rig_ticks(st);
    ASSERT_FALSE(ticks.empty());
    // Every depth line queued before the stop is in the file: the writer was drained.
    const rtf::RecordingContents depth_file =
        rtf::read_recording(testing_support::read_file(home + "records/0003.realdep"));
    EXPECT_TRUE(depth_file.problems.empty());
    ASSERT_FALSE(depth_file.lines.empty());
    EXPECT_GE(depth_file.lines.back().line.first_depth, ticks.back().bottom - 0.2 - 1e-3);
    // The saved state is the one of the last tick: the next start goes on from there.
    StationProcess next(home, dir.path(), {"--seconds", "1"});
    ASSERT_EQ(next.wait(), 0) << next.err();
    EXPECT_NE(next.err().find("restored registration run 3 (active: it continues)"),
              std::string::npos)
        << next.err();
    EXPECT_NEAR(restored_number(next.err(), "restored depths:", "bottom "), ticks.back().bottom,
                0.006);
  }
}

// A remark a browser sent cut inside a character is refused; the station runs on and stops
// with its save, as if nothing had come.
TEST(StationProcess, ARemarkThatIsNotUtf8IsRefusedAndTheStationRunsOn) {
  TempDir dir;
  const std::string home = dir.path() + "home/";
  StationProcess st(home, dir.path(), {"--http", "127.0.0.1:0"});
  ASSERT_TRUE(st.wait_for_first_tick(std::chrono::seconds(30))) << st.err();
  std::smatch port;
  const std::string err = st.err();
  ASSERT_TRUE(std::regex_search(err, port, std::regex("serving http://127.0.0.1:(\\d+)/"))) << err;
  const auto at = static_cast<unsigned short>(std::stoi(port[1]));
  const std::pair<std::string, std::string> auth{
      "Authorization", "Bearer " + testing_support::read_file(home + "web.token").substr(0, 64)};
  const auto post = web_test::http::verb::post;
  EXPECT_EQ(web_test::request(at, post, "/api/remark", "ok text \xc3", {auth}).status, 400);
  EXPECT_EQ(web_test::request(at, post, "/api/remark", "ok text", {auth}).status, 200);
  st.signal(SIGHUP);
  const int status = st.wait();
  ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status) << ": " << st.err();
  EXPECT_EQ(WEXITSTATUS(status), 0) << st.err();
  EXPECT_NE(st.err().find("state saved to " + home + "sys.bin"), std::string::npos) << st.err();
}

}  // namespace
