// The event log of relay switching: lines land in the home's file (its bounds are the line
// logger's, tests/lib/runtime_test.cpp, and the station's settings, station_logs_test.cpp).
#include "core/registr_log_old.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "lib/file_system.h"
#include "support/fakes.h"

using ::testing::HasSubstr;
using testing_support::FakeClock;
using testing_support::TempDir;

namespace {

TEST(RegistrLogOld, AnUnwritableFileHandsItsLinesToTheFallback) {
  TempDir dir;
  FakeClock clock;
  testing_support::FaultyFileSystem fs;
  fs.read_only = true;
  reg::RegistrLogOld log(clock, fs);
  log.set_file(dir.path() + reg::kEventLogFileName);
  std::string fallback;
  log.set_fallback([&](const std::string& t) { fallback += t; });
  EXPECT_FALSE(log.add(" Реле №3 АКТИВИРОВАНО"));
  EXPECT_THAT(fallback, HasSubstr("Реле №3 АКТИВИРОВАНО"));
}

}  // namespace
