// The rigstation program as a newcomer meets it: its options, its refusals and what a first
// run shows, run as a separate process in a temporary home.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/fakes.h"

namespace {

using testing_support::TempDir;

struct Result {
  int exit_code = -1;
  std::string output;  // stdout and stderr together
};

// Runs rigstation with `args` (already quoted for the shell) and at most 30 s.
Result rigstation(const std::string& args) {
  const std::string command =
      std::string("timeout 30 ") + RIGCORE_TEST_RIGSTATION + " " + args + " 2>&1 </dev/null";
  Result r;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return r;
  char buf[4096];
  std::size_t n = 0;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) r.output.append(buf, n);
  const int status = ::pclose(pipe);
  r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

TEST(Program, EveryToolsHelpShowsHome) {
  for (const char* tool : {"run", "sim bus", "sim bus2017", "ports scan", "bus poll", "params"}) {
    const Result r = rigstation(std::string(tool) + " --help");
    EXPECT_EQ(r.exit_code, 0) << tool << ": " << r.output;
    EXPECT_NE(r.output.find("--home"), std::string::npos) << tool << ": " << r.output;
  }
}

TEST(Program, NegativeSecondsAndAnEmptyHomeAreRefusedWithAReason) {
  TempDir dir;
  Result r = rigstation("run --home " + dir.path() + " --seconds -5");
  EXPECT_NE(r.exit_code, 0) << r.output;
  EXPECT_NE(r.output.find("--seconds: a number of ticks cannot be negative (-5)"),
            std::string::npos)
      << r.output;
  EXPECT_FALSE(std::filesystem::exists(dir.file("global.ini"))) << "nothing may run: " << r.output;

  r = rigstation("run --home '' --seconds 1");
  EXPECT_NE(r.exit_code, 0) << r.output;
  EXPECT_NE(r.output.find("home folder must not be empty"), std::string::npos) << r.output;
  r = rigstation("--home= run --seconds 1");
  EXPECT_NE(r.exit_code, 0) << r.output;
}

TEST(Program, PortsScanTakesTheNamesRunTakes) {
  TempDir dir;
  // A name the station knows is searched for (here on a path with nothing behind it)...
  Result r = rigstation("ports scan --home " + dir.path() + " --protocol console2017 --only " +
                        dir.file("no-such-port"));
  EXPECT_NE(r.exit_code, 2) << "a known name is no usage error: " << r.output;
  // ...a number still works, and a wrong name is refused with the names to use.
  r = rigstation("ports scan --home " + dir.path() + " --protocol 10 --only " +
                 dir.file("no-such-port"));
  EXPECT_NE(r.exit_code, 2) << r.output;
  r = rigstation("ports scan --home " + dir.path() + " --protocol carrier-pigeon");
  EXPECT_EQ(r.exit_code, 2) << r.output;
  EXPECT_NE(r.output.find("console2017"), std::string::npos) << r.output;
}

TEST(Program, TheAlarmLogIsPrintedFromSinceAndADamagedLineIsNamed) {
  TempDir dir;
  {
    std::ofstream log(dir.file("alarms.log"), std::ios::binary);
    log << "# rigstation alarm log 1\n"
        << "01.03.2026 10:00:00\t01.03.2026 10:00:31\tвес_на_крюке\t1\t-\t100\t120.5\t118\tтс\tx\n"
        << "garbage\n"
        << "02.03.2026 09:00:00\t02.03.2026 09:01:00\tдавление_на_входе\t0\t-\t200\t250\t210"
           "\tатм\ty\n";
  }
  Result r = rigstation("alarms log --home " + dir.path());
  EXPECT_EQ(r.exit_code, 1) << r.output;
  EXPECT_NE(r.output.find("line 3: it has 1 fields, not 10"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("вес_на_крюке"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("120.5"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("давление_на_входе"), std::string::npos) << r.output;

  r = rigstation("alarms log --home " + dir.path() + " --since '02.03.2026'");
  EXPECT_EQ(r.output.find("вес_на_крюке"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("давление_на_входе"), std::string::npos) << r.output;

  r = rigstation("alarms log --home " + dir.path() + " --since yesterday");
  EXPECT_EQ(r.exit_code, 2) << r.output;
  EXPECT_NE(r.output.find("--since 'yesterday' is not a time"), std::string::npos) << r.output;
}

TEST(Program, VoiceCheckListsTheMissingWordFilesUntilThereAreNone) {
  TempDir dir;
  Result r = rigstation("voice check --home " + dir.path());
  EXPECT_EQ(r.exit_code, 1) << r.output;
  const std::string folder = dir.path() + "voice/ru/";
  // The phrase words and the parameters of the default thresholds.
  std::vector<std::string> missing;
  std::istringstream lines(r.output);
  std::string line;
  while (std::getline(lines, line))
    if (line.rfind("missing " + folder, 0) == 0) missing.push_back(line.substr(8));
  EXPECT_NE(std::find(missing.begin(), missing.end(), folder + "alarm.wav"), missing.end())
      << r.output;
  EXPECT_NE(std::find(missing.begin(), missing.end(), folder + "давление_на_входе.wav"),
            missing.end())
      << r.output;
  std::filesystem::create_directories(folder);
  for (const auto& f : missing) std::ofstream(f) << "RIFF";
  r = rigstation("voice check --home " + dir.path());
  EXPECT_EQ(r.exit_code, 0) << r.output;
  EXPECT_NE(r.output.find("0 of " + std::to_string(missing.size()) + " word files missing"),
            std::string::npos)
      << r.output;
}

}  // namespace
