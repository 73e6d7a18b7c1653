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
