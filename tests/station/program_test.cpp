// The rigstation program as a newcomer meets it: its options, its refusals and what a first
// run shows, run as a separate process in a temporary home.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

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

TEST(Program, AFirstRunShowsEveryStarterValueFreshAndPlausible) {
  TempDir dir;
  const Result r = rigstation("run --home " + dir.path() + " --json --seconds 2");
  ASSERT_EQ(r.exit_code, 0) << r.output;
  std::istringstream lines(r.output);
  std::string line;
  int ticks = 0;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] != '{') continue;
    const auto j = nlohmann::json::parse(line);
    ++ticks;
    EXPECT_EQ(j["source"]["stale"], false) << line;
    ASSERT_TRUE(j["values"].contains("сумм_газ")) << line;
    for (const auto& [id, v] : j["values"].items()) {
      EXPECT_EQ(v["stale"], false) << id;
      EXPECT_GE(v["value"].get<double>(), 0.0) << id;
    }
  }
  EXPECT_EQ(ticks, 2) << r.output;
}

}  // namespace
