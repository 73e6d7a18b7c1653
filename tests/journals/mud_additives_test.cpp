#include "journals/mud_additives.h"

#include <gtest/gtest.h>

#include "journal_test_support.h"
#include "support/fakes.h"

using namespace journals;
using journal_tests::CollectedLog;
using testing_support::TempDir;

namespace {

MudAdditive sample_additive(int seed) {
  MudAdditive a;
  a.key = {-seed, seed * 3};
  a.text = "КМЦ «высоковязкая», партия " + std::to_string(seed);
  a.number = 250 * seed - 1;
  a.start = lib::DateTime{45200.125 + seed};
  a.end = lib::DateTime{45200.875 + seed};
  return a;
}

std::string additives_file(std::int32_t version, lib::StringEnc enc,
                           const std::vector<MudAdditive>& items) {
  auto out = journal_tests::old_file_head("MUD_ADDITIVES_FILE", version, items.size(), enc);
  for (const auto& a : items) write_mud_additive(out, a);
  return out.release();
}

// The file without its last byte: the last record is cut short.
std::string cut(std::string bytes) {
  bytes.pop_back();
  return bytes;
}

// A provider with a catalogue, as a host would install.
struct Catalogue : lib::DictsProvider {
  void get_dict_items(const std::string&, lib::StringContainer& items) override {
    items.clear();
    items.add("Бентонит", 7);
  }
  std::string get_item(const lib::StringContainer&, int) override { return "Бентонит"; }
  int index_of(const lib::StringContainer&, const std::string&) override { return 7; }
  bool allow_manual_edit() override { return false; }
};

}  // namespace

TEST(MudAdditivesFile, Version1TextIsCp1251AndVersion2Utf8) {
  const std::vector<MudAdditive> items = {sample_additive(3)};
  EXPECT_EQ(read_mud_additives_file(additives_file(1, lib::StringEnc::kCp1251, items)).items,
            items);
  EXPECT_EQ(read_mud_additives_file(additives_file(2, lib::StringEnc::kUtf8, items)).items, items);
  // The same bytes read under the wrong version's encoding would not give the text back.
  EXPECT_NE(read_mud_additives_file(additives_file(1, lib::StringEnc::kUtf8, items)).items, items);
}

TEST(MudAdditivesFile, BadFilesLeaveTheJournalUnchanged) {
  journal_tests::expect_damaged_files_refused<MudAdditives>(
      "MudAdditives::load", sample_additive(8),
      {{"foreign signature", journal_tests::old_file_head("MUD_ADDITIVES_FILX", 2, 0).release()},
       {"unknown version 3", additives_file(3, lib::StringEnc::kUtf8, {sample_additive(1)})},
       {"unknown version 0", additives_file(0, lib::StringEnc::kUtf8, {})},
       {"cut short",
        cut(additives_file(2, lib::StringEnc::kUtf8, {sample_additive(1), sample_additive(2)}))},
       {"does not fit",
        additives_file(2, lib::StringEnc::kUtf8, {sample_additive(1)}).substr(0, 50)}});
}

TEST(MudAdditivesDictionaries, DefaultProviderUntilTheHostSetsItsOwn) {
  MudAdditives additives{{}, lib::posix_file_system()};
  lib::DictsProvider* standard = additives.get_dict_provider();
  ASSERT_NE(standard, nullptr);
  lib::StringContainer items{"x"};
  standard->get_dict_items("@mud_additives", items);
  EXPECT_TRUE(items.empty());
  EXPECT_TRUE(standard->allow_manual_edit());

  lib::StringContainer list;
  list.add("Барит", 4);
  list.add("Мел", 9);
  EXPECT_EQ(standard->get_item(list, 9), "Мел");
  EXPECT_EQ(standard->get_item(list, 5), "");
  EXPECT_EQ(standard->index_of(list, "Барит"), 4);
  EXPECT_EQ(standard->index_of(list, "Соль"), -1);

  additives.set_dicts_provider(std::make_unique<Catalogue>());
  EXPECT_FALSE(additives.get_dict_provider()->allow_manual_edit());
  additives.set_default_dicts_provider();
  EXPECT_TRUE(additives.get_dict_provider()->allow_manual_edit());
  additives.set_dicts_provider(nullptr);  // never left without a provider
  ASSERT_NE(additives.get_dict_provider(), nullptr);
}

TEST(MudAdditivesState, ItemsSurviveTheStateFileAndABadCountIsRefused) {
  MudAdditives a{{}, lib::posix_file_system()}, b{{}, lib::posix_file_system()};
  a.add_item(sample_additive(1));
  a.add_item(sample_additive(2));
  b.add_item(sample_additive(3));
  journal_tests::expect_state_round_trip(a, b, "MudAdditives");

  // A block whose count exceeds its records is refused whole: the journal keeps what it had.
  MudAdditives target{{}, lib::posix_file_system()};
  target.add_item(sample_additive(5));
  lib::io::BinaryMemoryOutputStream out;
  lib::io::write_binary(out, std::uint32_t{1000});
  write_mud_additive(out, sample_additive(1));
  lib::io::BinaryMemoryInputStream in(out.data());
  lib::serial_list reader(in, 1);
  unsigned version = 1;
  EXPECT_THROW(target.get_serial_list(reader, version), lib::io::StreamError);
  EXPECT_EQ(target.items(), std::vector<MudAdditive>{sample_additive(5)});
}
