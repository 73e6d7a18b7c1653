// The event log of relay switching: lines land in the home's file, and a log that outgrows
// its limit goes aside so months of running keep the disk bounded.
#include "core/registr_log_old.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "lib/file_system.h"
#include "support/fakes.h"

using ::testing::HasSubstr;
using testing_support::FakeClock;
using testing_support::TempDir;

namespace {

TEST(RegistrLogOld, LinesAreStampedAndTheFileStaysBounded) {
  TempDir dir;
  FakeClock clock;
  clock.set(2026, 3, 1, 10, 0, 5);
  reg::RegistrLogOld log(clock, lib::posix_file_system());
  const std::string path = dir.path() + reg::kEventLogFileName;
  log.set_file(path);
  log.set_limits({2000, 1});
  EXPECT_TRUE(log.add(" Реле №2 АКТИВИРОВАНО"));
  auto text = lib::read_whole_file(path, lib::posix_file_system());
  ASSERT_TRUE(text);
  EXPECT_EQ(*text, "(01.03.2026 10:00:05)  Реле №2 АКТИВИРОВАНО\n");
  for (int i = 0; i < 500; ++i) log.add(" Реле №1 ДЕАКТИВИРОВАНО " + std::to_string(i));
  const auto now = lib::read_whole_file(path, lib::posix_file_system());
  const auto old = lib::read_whole_file(path + ".1", lib::posix_file_system());
  ASSERT_TRUE(now);
  ASSERT_TRUE(old);
  EXPECT_LE(now->size(), 2100u);
  EXPECT_LE(old->size(), 2100u);
  EXPECT_THAT(*now, HasSubstr("ДЕАКТИВИРОВАНО 499"));
}

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
