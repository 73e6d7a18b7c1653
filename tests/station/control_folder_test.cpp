#include "station/control_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "station/control_format.h"
#include "support/fakes.h"

using station::ControlFolder;

namespace {

TEST(ControlFolder, CommandsAreCarriedOutInOrderAndAnswered) {
  testing_support::TempDir dir;
  ControlFolder station_side(dir.path(), lib::posix_file_system());
  ControlFolder tool_side(dir.path(), lib::posix_file_system());
  std::string error;
  ASSERT_TRUE(station_side.prepare(error)) << error;
  const std::string first = tool_side.submit("bottom 1234.5");
  const std::string second = tool_side.submit("bit 1200");
  EXPECT_FALSE(tool_side.take_answer(first));
  std::vector<std::string> seen;
  EXPECT_EQ(station_side.poll([&](const std::string& c) {
    seen.push_back(c);
    return "ok " + c;
  }),
            2);
  EXPECT_EQ(seen, (std::vector<std::string>{"bottom 1234.5", "bit 1200"}));
  EXPECT_EQ(tool_side.take_answer(first), "ok bottom 1234.5");
  EXPECT_EQ(tool_side.take_answer(second), "ok bit 1200");
  // Answered commands and taken answers leave nothing behind.
  EXPECT_TRUE(std::filesystem::is_empty(station_side.folder()));
  EXPECT_EQ(station_side.poll([](const std::string&) { return std::string("ok"); }), 0);
}

TEST(ControlFolder, OversizedCommandIsAnsweredWithAnErrorAndAFloodWaitsItsTurn) {
  testing_support::TempDir dir;
  ControlFolder folder(dir.path(), lib::posix_file_system());
  std::string error;
  ASSERT_TRUE(folder.prepare(error));
  std::ofstream(folder.folder() + "big.cmd")
      << std::string(station::control_format::kMaxCommandBytes + 1, 'x');
  int handled = 0;
  EXPECT_EQ(folder.poll([&](const std::string&) {
    ++handled;
    return std::string("ok");
  }),
            1);
  EXPECT_EQ(handled, 0);
  EXPECT_EQ(folder.take_answer("big").value_or("").rfind("error", 0), 0u);

  for (int i = 0; i < 40; ++i) folder.submit("block 1");
  EXPECT_EQ(folder.poll([](const std::string&) { return std::string("ok"); }),
            station::control_format::kMaxCommandsPerTick);
}

}  // namespace
