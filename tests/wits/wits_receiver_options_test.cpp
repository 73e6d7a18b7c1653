#include "wits/wits_receiver_options.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>

#include "support/fakes.h"
#include "wits/wits_servers_format.h"

using namespace wits;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing_support::TempDir;

namespace {

lib::IniFile ini_of(const std::string& text) {
  lib::IniFile ini;
  ini.load_text(text);
  return ini;
}

std::vector<std::string> names_of(const WITSReceiverOptions& o) {
  std::vector<std::string> out;
  for (const auto& s : o.servers()) out.push_back(s.name);
  return out;
}

void expect_defaults(const WITSReceiverOptions& o) {
  ASSERT_EQ(o.servers().size(), 2u);
  EXPECT_EQ(o.servers()[0], WITSServerOption("Инклинометрия", "127.0.0.1", 27911, "LWD/MWD"));
  EXPECT_EQ(o.servers()[1], WITSServerOption("СКЦ", "127.0.0.1", 9090, "СКЦ"));
  EXPECT_FALSE(o.servers()[0].enabled || o.servers()[1].enabled);
}

TEST(WITSOptionsTest, LegacySectionIsReadAndSavedUnderTheNewOne) {
  lib::IniFile ini = ini_of(
      "[wits_servers]\ncount=0\n"
      "[zts]\ncount=2\nserver0name=A\nserver0host=10.0.0.5\nserver0port=5000\n"
      "server0status=ok\nserver0enabled=1\nserver0params_file=a.txt\nserver1name=B\n");
  WITSReceiverOptions o;
  o.read(ini);
  ASSERT_THAT(names_of(o), ElementsAre("A", "B"));
  EXPECT_EQ(o.servers()[0].host, "10.0.0.5");
  EXPECT_EQ(o.servers()[0].port, 5000);
  EXPECT_TRUE(o.servers()[0].enabled);
  EXPECT_EQ(o.servers()[0].params_file, "a.txt");
  // Missing keys take their own defaults.
  EXPECT_EQ(o.servers()[1].port, kMissingPort);
  EXPECT_EQ(o.servers()[1].host, kLoopbackHost);
  EXPECT_EQ(o.servers()[1].status, kMissingStatus);
  EXPECT_FALSE(o.servers()[1].enabled);

  o.write(ini);
  EXPECT_EQ(ini.get_int("wits_servers", "count", 0), 2);
  EXPECT_EQ(ini.get_string("wits_servers", "server1name"), "B");
  EXPECT_FALSE(ini.has_key("wits_servers", "server0params_file")) << "never written";
  WITSReceiverOptions again;
  again.read(ini_of(ini.to_text()));
  EXPECT_EQ(again, o);
}

// Each field is a key of its own, stored as it is: names with blanks, commas and quotes
// are neither quoted nor have their quotes doubled, and read back the same.
TEST(WITSOptionsTest, NamesWithBlanksCommasAndQuotesAreStoredAsTheyAre) {
  WITSReceiverOptions o;
  o.servers() = {WITSServerOption("ГТИ \"Север\", куст 5", "10.0.0.7", 5001, "a,\"b\" c"),
                 WITSServerOption("\"\"", "h", 1, "\"")};
  lib::IniFile ini;
  o.write(ini);
  const std::string text = ini.to_text();
  EXPECT_NE(text.find("server0name=ГТИ \"Север\", куст 5\n"), std::string::npos) << text;
  EXPECT_NE(text.find("server1name=\"\"\n"), std::string::npos) << text;
  WITSReceiverOptions again;
  EXPECT_THAT(again.read(ini_of(text)), IsEmpty());
  EXPECT_EQ(again, o);
  ASSERT_EQ(again.servers().size(), 2u);
  EXPECT_EQ(again.servers()[0].status, "a,\"b\" c");
}

TEST(WITSOptionsTest, SavingKeepsTheParametersFileKeys) {
  lib::IniFile ini =
      ini_of("[wits_servers]\ncount=1\nserver0name=A\nserver0params_file=/p/a.txt\n");
  WITSReceiverOptions o;
  o.read(ini);
  o.servers()[0].port = 7000;
  o.write(ini);
  WITSReceiverOptions again;
  again.read(ini);
  EXPECT_EQ(again.servers()[0].port, 7000);
  EXPECT_EQ(again.servers()[0].params_file, "/p/a.txt");
}

TEST(WITSOptionsTest, DamagedCountsAndPorts) {
  WITSReceiverOptions o;
  auto problems = o.read(ini_of("[wits_servers]\ncount=99999999\nserver0name=A\n"));
  expect_defaults(o);
  EXPECT_EQ(problems.size(), 1u);

  o.read(ini_of("[wits_servers]\ncount=1\nserver0name=A\nserver0port=99999999999\n"));
  EXPECT_EQ(o.servers()[0].port, kMissingPort) << "a port beyond 32 bits is not a port";
  o.read(ini_of("[wits_servers]\ncount=1\nserver0port=abc\n"));
  EXPECT_EQ(o.servers()[0].port, kMissingPort);
  EXPECT_EQ(o.servers()[0].name, "");
}

TEST(WITSOptionsTest, EqualityIgnoresTheParametersFile) {
  WITSServerOption a("A", "h", 1, "s"), b = a;
  b.params_file = "other";
  EXPECT_EQ(a, b);
  b.enabled = true;
  EXPECT_NE(a, b);
  WITSReceiverOptions x, y;
  EXPECT_EQ(x, y);
  y.servers().pop_back();
  EXPECT_NE(x, y);
}

TEST(WITSOptionsTest, ServerPickList) {
  WITSReceiverOptions o;
  lib::StringContainer list;
  list.add("stale");
  o.fill_servers_strings(list);
  EXPECT_EQ(list.comma_text(), "*Любой*,Инклинометрия,СКЦ");
  EXPECT_EQ(std::vector<std::int64_t>({list.tag(0), list.tag(1), list.tag(2)}),
            std::vector<std::int64_t>({-1, 0, 1}));
}

TEST(WITSOptionsTest, GridRoundTripAndTypedCells) {
  WITSReceiverOptions o;
  o.servers()[1].enabled = true;
  o.servers()[1].params_file = "f.txt";
  lib::TextGrid grid;
  o.fill_to_grid(grid);
  ASSERT_EQ(grid.row_count(), 3u);
  EXPECT_EQ(grid.cell(1, kGridColEnabled), "");
  EXPECT_EQ(grid.cell(2, kGridColEnabled), "1");
  EXPECT_EQ(grid.cell(2, kGridColPort), "9090");

  grid.set_data_row_count(4);  // an empty row left by the editor
  WITSReceiverOptions back;
  back.read_from_grid(grid);
  EXPECT_EQ(back, o);
  EXPECT_EQ(back.servers()[1].params_file, "f.txt");

  grid.set_cell(1, kGridColPort, "abc");
  grid.set_cell(1, kGridColEnabled, "x");
  back.read_from_grid(grid);
  EXPECT_EQ(back.servers()[0].port, -1);
  EXPECT_TRUE(back.servers()[0].enabled);
}

TEST(WITSOptionsTest, EmptyListShowsOneEmptyRowAndReadsBackEmpty) {
  WITSReceiverOptions o;
  o.servers().clear();
  lib::TextGrid grid;
  o.fill_to_grid(grid);
  EXPECT_EQ(grid.row_count(), 2u);
  EXPECT_TRUE(grid.row_is_blank(1));
  WITSReceiverOptions back;
  back.read_from_grid(grid);
  EXPECT_TRUE(back.servers().empty());
}

TEST(WITSOptionsTest, LoadFromHomeReadsGlobalIniWithoutWritingIt) {
  TempDir dir;
  WITSReceiverOptions o;
  o.servers().clear();
  EXPECT_THAT(o.load_from_home(dir.path(), lib::posix_file_system()), IsEmpty());
  expect_defaults(o);

  const std::string text = "[wits_servers]\ncount=1\nserver0name=Буровая\nserver0port=1234\n";
  std::ofstream(dir.file(kGlobalIniFileName)) << text;
  o.load_from_home(dir.path(), lib::posix_file_system());
  ASSERT_THAT(names_of(o), ElementsAre("Буровая"));
  EXPECT_EQ(testing_support::read_file(dir.file(kGlobalIniFileName)), text);

  // A folder where the file should be cannot be read: the defaults, with the reason.
  TempDir other;
  std::filesystem::create_directory(other.file(kGlobalIniFileName));
  EXPECT_EQ(o.load_from_home(other.path(), lib::posix_file_system()).size(), 1u);
  expect_defaults(o);
}

TEST(WITSOptionsTest, HooksCarryTheListThroughTheSettingsFile) {
  TempDir dir;
  const std::string path = dir.file("global.ini");
  std::ofstream(path) << "[чужое]\nk=v\n";
  WITSReceiverOptions o;
  o.servers().resize(1);
  o.servers()[0] = WITSServerOption("A", "h", 1, "s");
  o.save_to_file(path, lib::posix_file_system());
  WITSReceiverOptions back;
  back.load_from_file(path, lib::posix_file_system());
  EXPECT_EQ(back, o);
  EXPECT_THAT(testing_support::read_file(path), ::testing::HasSubstr("[чужое]\nk=v"));
}

}  // namespace
