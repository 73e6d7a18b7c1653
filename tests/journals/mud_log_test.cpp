#include "journals/mud_log.h"

#include <gtest/gtest.h>

#include "journal_test_support.h"
#include "journals/mud_log_format.h"
#include "lib/ini_file.h"
#include "support/fakes.h"

using namespace journals;
using journal_tests::CollectedLog;
using testing_support::TempDir;

namespace {

MudLogItem sample_item(int seed) {
  MudLogItem item;
  item.key = {seed, 1000 + seed};
  item.time = lib::DateTime{45123.5 + seed};
  item.mud_type = "Полимер-глинистый №" + std::to_string(seed);
  // Distinct values everywhere, so a field written into its neighbour's place shows.
  for (std::size_t i = 0; i < item.values.size(); ++i) {
    item.values[i] = 100.0 * seed + static_cast<double>(i) + 0.125;
  }
  return item;
}

// The item as a version 1 or 2 file holds it: the last two measurements did not exist yet.
MudLogItem old_item(int seed) {
  MudLogItem item = sample_item(seed);
  item[kMudLubricant] = item[kMudMbt] = 0;
  return item;
}

// The head and records as the older stations wrote them: 16 measurements, text in the
// given encoding.
std::string old_mud_log_file(std::int32_t version, lib::StringEnc enc,
                             const std::vector<MudLogItem>& items) {
  auto out = journal_tests::old_file_head("MUD_LOG_FILE", version, items.size(), enc);
  for (const auto& item : items) {
    write_key(out, item.key);
    lib::io::write_binary(out, item.time);
    lib::io::write_binary(out, item.mud_type);
    for (std::size_t i = 0; i < 16; ++i) lib::io::write_binary(out, item.values[i]);
  }
  return out.release();
}

std::size_t head_size() {
  return 4 + std::string_view(mud_log_format::kSignature).size() + 4 + 4;
}

}  // namespace

TEST(MudLogFile, EveryFieldSurvivesSaveAndLoadWithCyrillicText) {
  journal_tests::expect_file_round_trip<MudLog>(
      std::vector<MudLogItem>{sample_item(1), sample_item(2), sample_item(3)});
}

TEST(MudLogFile, Version1Cp1251FileLoadsWithLubricantAndMbtZeroAndSavesAllEighteen) {
  TempDir dir;
  const std::string path = dir.file("mud.dat");
  lib::write_file_atomically(path, old_mud_log_file(1, lib::StringEnc::kCp1251, {sample_item(1)}),
                             lib::posix_file_system());
  MudLog mud{{}, lib::posix_file_system()};
  mud.set_file_name(path);
  ASSERT_TRUE(mud.load());
  ASSERT_EQ(mud.get_count(), 1);
  MudLogItem edited = old_item(1);  // "смазка" and "mbt" read as zero
  EXPECT_EQ(mud.get_item(0), edited);
  edited[kMudLubricant] = 2.5;
  edited[kMudMbt] = 7.25;
  mud.set_item(0, edited);
  ASSERT_TRUE(mud.save());
  const std::string saved = testing_support::read_file(path);
  EXPECT_EQ(saved.size(), head_size() + 8 + 8 + 4 + edited.mud_type.size() + 18 * 8);
  const auto content = read_mud_log_file(saved);
  EXPECT_EQ(content.version, 3);
  EXPECT_EQ(content.items, std::vector<MudLogItem>{edited});
}

TEST(MudLogFile, Version2IsUtf8WithSixteenMeasurements) {
  const auto content = read_mud_log_file(
      old_mud_log_file(2, lib::StringEnc::kUtf8, {sample_item(2), sample_item(3)}));
  EXPECT_EQ(content.version, 2);
  EXPECT_EQ(content.items, (std::vector<MudLogItem>{old_item(2), old_item(3)}));
}

TEST(MudLogFile, BadFilesLeaveTheJournalUnchanged) {
  const std::string good = write_mud_log_file({sample_item(1)});
  std::string foreign = good;
  foreign[5] = 'A';
  std::string unknown_version = good;
  unknown_version[4 + 12] = 9;
  journal_tests::expect_damaged_files_refused<MudLog>(
      "MudLog::load", sample_item(5),
      {{"foreign signature", foreign},
       {"unknown version 9", unknown_version},
       {"cut short", good.substr(0, good.size() - 1)},
       {"does not fit", good.substr(0, head_size() + 10)}});
}

// Each option must write into its own measurement: a value set through the editor lands in
// the record field, and so in the file, at that measurement's place.
TEST(MudLogOptions, EditingThroughTheEditorLandsInTheRightMeasurement) {
  for (std::size_t m = 0; m < kMudMeasurementCount; ++m) {
    MudLogItem item;
    lib::options_list options = item.options();
    lib::Option* option = options.find("РАСТВОР", kMudMeasurements[m].key);
    ASSERT_NE(option, nullptr) << kMudMeasurements[m].key;
    EXPECT_EQ(option->assign(42.5 + static_cast<double>(m)), std::nullopt);
    for (std::size_t i = 0; i < kMudMeasurementCount; ++i) {
      EXPECT_EQ(item.values[i], i == m ? 42.5 + static_cast<double>(m) : 0.0)
          << kMudMeasurements[m].key << " wrote into measurement " << i;
    }
  }

  // The mud type is picked from its dictionary; measurements are typed in.
  EXPECT_STREQ(MudLogItem::dict_of("ТИП_РАСТВОРА"), "@drilling_mud_types_dict");
  EXPECT_EQ(MudLogItem::dict_of("плотность"), nullptr);
  // "стабильность" is the second measurement of the file record.
  MudLogItem item;
  item.options().find("РАСТВОР", "стабильность")->assign(1.75);
  const std::string bytes = write_mud_log_file({item});
  lib::io::BinaryMemoryInputStream in(bytes);
  in.seek(head_size() + 8 + 8 + 4 + 8);
  EXPECT_EQ(lib::io::read_binary<double>(in), 1.75);
}

TEST(MudLogOptions, RecordGoesThroughAnIniSectionAndBack) {
  MudLogItem item = sample_item(4);
  lib::IniFile ini;
  item.save(ini);
  MudLogItem back;
  EXPECT_TRUE(back.load(ini).empty());
  EXPECT_EQ(back.mud_type, item.mud_type);
  EXPECT_EQ(back.values, item.values);
}

TEST(MudLogRecords, IndexOfByKeyAndBadIndices) {
  MudLog mud{{}, lib::posix_file_system()};
  for (int i = 1; i <= 3; ++i) mud.add_item(sample_item(i));
  MudLogItem probe;
  probe.key = sample_item(2).key;
  EXPECT_EQ(mud.index_of(probe), 1);
  probe.key.low = 99;
  EXPECT_EQ(mud.index_of(probe), -1);

  EXPECT_THROW(mud.get_item(3), std::out_of_range);
  EXPECT_THROW(mud.set_item(-1, probe), std::out_of_range);
  EXPECT_THROW(mud.delete_item(7), std::out_of_range);
  mud.delete_item(0);
  EXPECT_EQ(mud.get_item(0), sample_item(2));
  mud.clear();
  EXPECT_EQ(mud.get_count(), 0);
}

TEST(MudLogState, ItemsSurviveTheStateFile) {
  MudLog a{{}, lib::posix_file_system()}, b{{}, lib::posix_file_system()};
  a.add_item(sample_item(1));
  a.add_item(sample_item(2));
  journal_tests::expect_state_round_trip(a, b, "MudLog");
}
